#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The video presentation of the whole program on a real X server (Xvfb, 1920x1080) with real
# input from xdotool, each step checked by window geometry and screenshot pixels: Enter goes
# full screen and back; enlarge map puts the map in the main place and full screen gives it
# back to the front picture; CH3 shows the third-channel window beside the main window,
# which it follows until dragged; its return button brings the third channel full screen;
# the magnifier shows what is under the pointer twice as large and Escape stops it.
#   xvfb_presentation.sh MUBVIEWER CARD_DIR [SHOT_DIR]
# SHOT_DIR, when given, receives the screenshots for the documentation.
set -euo pipefail
viewer=$1
card_src=$2
shots=${3:-}
[ -z "$shots" ] || mkdir -p "$shots"

source "$(dirname "$0")/xvfb_common.sh"
run_inside_xvfb 1920x1080 "$@"
prepare_viewer "$card_src"
# The magnifier tells of Escape on its trace line.
export MUB_TRACE=1

geometry() {  # sets X, Y, WIDTH, HEIGHT of a window
  eval "$(xdotool getwindowgeometry --shell "$1")"
}
screen_shot() {  # the whole screen, or a part of it: screen_shot FILE [WxH+X+Y]
  if [ -n "${2:-}" ]; then
    import -silent -window root -crop "$2" +repage "$1"
  else
    import -silent -window root "$1"
  fi
}
differ() {  # the number of pixels that differ between two images
  local ae
  ae=$(compare -metric AE "$1" "$2" null: 2>&1 || true)
  printf '%.0f\n' "${ae%% *}"  # large counts come as 1.2e+06
}
# Mean red, green and blue of an image, 0..255 each.
mean_rgb() {
  convert "$1" -resize 1x1! -format '%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]\n' info:
}
# The camera a part of the screen shows, by its background colour (front blue, rear green,
# third red); a picture on its once-a-second white flash is taken again.
camera() {
  local r g b try
  for try in 1 2 3 4; do
    screen_shot "$work/camera.png" "$1"
    read -r r g b < <(mean_rgb "$work/camera.png")
    if [ "$b" -gt $((r + 20)) ] && [ "$b" -gt $((g + 20)) ]; then echo front; return; fi
    if [ "$g" -gt $((r + 20)) ] && [ "$g" -gt $((b + 20)) ]; then echo rear; return; fi
    if [ "$r" -gt $((g + 20)) ] && [ "$r" -gt $((b + 20)) ]; then echo third; return; fi
    sleep 0.3
  done
  echo "none ($r $g $b)"
}
# The bounding box of what is not black: WxH+X+Y.
lit_box() {
  convert "$1" -fuzz 4% -format '%@' info:
}
# The window fills the screen, and the picture fills the rectangle computed for 1920x1080
# (1696x896 at 112,40) with this camera, moving.
full_screen_shows() {
  geometry "$win"
  [ "$X" -eq 0 ] && [ "$Y" -eq 0 ] && [ "$WIDTH" -eq 1920 ] && [ "$HEIGHT" -eq 1080 ] ||
    fail "full screen is ${WIDTH}x${HEIGHT} at $X,$Y"
  # The band from just above to just below the picture: only the picture is lit there.
  screen_shot "$work/band1.png" 1920x904+0+36
  box=$(lit_box "$work/band1.png")
  [ "$box" = "1696x896+112+4" ] || fail "the lit part of full screen is $box, not 1696x896 at 112,40"
  seen=$(camera 1696x896+112+40)
  [ "$seen" = "$1" ] || fail "full screen shows $seen, not the $1 camera"
  sleep 1
  screen_shot "$work/band2.png" 1920x904+0+36
  moved=$(differ "$work/band1.png" "$work/band2.png")
  [ "$moved" -gt 1000 ] || fail "the full-screen picture does not move (AE=$moved)"
}
drag() {  # drag WINDOW X Y DX DY: press at (X, Y) of the window, move by (DX, DY), release
  xdotool mousemove --window "$1" "$2" "$3" mousedown 1 sleep 0.2 mousemove_relative --sync -- "$4" "$5" sleep 0.2 mouseup 1
  sleep 0.5
}
# The one visible window of the viewer with this size.
window_sized() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$viewer_pid" 2>/dev/null); do
    eval "$(xdotool getwindowgeometry --shell "$w")"
    if [ "$WIDTH" -eq "$1" ] && [ "$HEIGHT" -eq "$2" ]; then
      echo "$w"
      return 0
    fi
  done
  return 1
}
wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
  local until=$(( $(date +%s) + $1 ))
  shift
  until "$@"; do
    [ "$(date +%s)" -lt "$until" ] || return 1
    sleep 0.2
  done
}

start_viewer

# The newest driving recording has all three channels; it lasts some 15 s, so each part
# below that needs it playing starts it again.
play_newest() {
  xdotool mousemove --window "$win" 760 90 click --repeat 2 --delay 80 1
  sleep 2
}
sleep 3
play_newest

# ---- Enter: full screen. The front picture fills the rectangle computed for 1920x1080.
xdotool key --window "$win" Return
sleep 1.5
full_screen_shows front
# Where the list was, the front picture shows: the list is hidden.
seen=$(camera 320x150+650+65)
[ "$seen" = front ] || fail "the list's place shows $seen, not the front picture"
if [ -n "$shots" ]; then
  screen_shot "$work/whole.png"
  convert "$work/whole.png" -resize 50% "$shots/fullscreen.png"
fi

# ---- Enter again: back to 975x736, centred.
xdotool key --window "$win" Return
sleep 1.5
geometry "$win"
[ "$WIDTH" -eq 975 ] && [ "$HEIGHT" -eq 736 ] || fail "restored to ${WIDTH}x${HEIGHT}"
[ "$X" -eq $(( (1920 - 975) / 2 )) ] && [ "$Y" -eq $(( (1080 - 736) / 2 )) ] || fail "restored at $X,$Y, not centred"
screen_shot "$work/list.png" "320x150+$((X + 650))+$((Y + 65))"
read -r r g b < <(mean_rgb "$work/list.png")
# The list is grey on black, not the blue picture.
[ $((b - r)) -lt 20 ] || fail "the list does not show again (mean $r $g $b)"

# ---- Enlarge map, once a GPS fix enabled it: the map (blank white, as no provider is set)
# takes the main place and the front picture the side place. Full screen gives the main
# place back to the front picture first and leaves the map out.
map_in_main_place() {
  screen_shot "$work/main.png" "640x360+$((X + 4))+$((Y + 64))"
  read -r r g b < <(mean_rgb "$work/main.png")
  [ "$r" -gt 240 ] && [ "$g" -gt 240 ] && [ "$b" -gt 240 ]
}
play_newest
sleep 1  # the tick after the first fix enables the button
xdotool mousemove --window "$win" 565 50 click 1
wait_for 5 map_in_main_place ||
  fail "enlarge map did not put the map in the main place (mean $r $g $b)"
seen=$(camera "320x180+$((X + 650))+$((Y + 268))")
[ "$seen" = front ] || fail "after enlarge map the side place shows $seen, not the front picture"
xdotool key --window "$win" Return
sleep 1.5
full_screen_shows front
xdotool key --window "$win" Return
sleep 1.5
geometry "$win"

# ---- CH3: the third-channel window docks to the left of the main window, with a moving
# (red) third picture. The main window moves right first, so the dock is on screen.
drag "$win" 300 20 300 0
geometry "$win"
main_x=$X main_y=$Y
play_newest
xdotool mousemove --window "$win" 855 17 click 1
wait_for 10 window_sized 655 401 > /dev/null || fail "no third-channel window appeared"
ch3=$(window_sized 655 401)
docked() {
  geometry "$win"
  local mx=$X my=$Y
  geometry "$ch3"
  [ "$X" -eq $((mx - 655)) ] && [ "$Y" -eq "$my" ]
}
wait_for 5 docked || fail "the third-channel window is at $X,$Y, not left of the main window at $main_x,$main_y"
sleep 1
geometry "$ch3"
screen_shot "$work/ch3a.png" "640x360+$((X + 8))+$((Y + 34))"
sleep 1
screen_shot "$work/ch3b.png" "640x360+$((X + 8))+$((Y + 34))"
moved=$(differ "$work/ch3a.png" "$work/ch3b.png")
[ "$moved" -gt 1000 ] || fail "the third picture does not move (AE=$moved)"
seen=$(camera "640x360+$((X + 8))+$((Y + 34))")
[ "$seen" = third ] || fail "the third-channel window shows $seen, not the third camera"
if [ -n "$shots" ]; then
  geometry "$ch3"
  screen_shot "$shots/ch3-beside.png" "$((655 + 975))x736+$X+$Y"
fi
# Paused meanwhile: the docking does not depend on the pictures, and a recording that ends
# on a busy machine would hide the window before its return below.
xdotool key --window "$win" space

# Moving the main window moves it along.
drag "$win" 300 20 40 30
wait_for 5 docked || fail "the third-channel window did not follow the main window"

# Dragged by the user, it stays where it was put.
geometry "$ch3"
drag "$ch3" 300 15 0 60
geometry "$ch3"
ch3_x=$X ch3_y=$Y
geometry "$win"
[ "$ch3_y" -eq $((Y + 60)) ] || fail "dragging the third-channel window by 60 put it at $ch3_x,$ch3_y (main at $X,$Y)"
drag "$win" 300 20 -30 -20
geometry "$ch3"
[ "$X" -eq "$ch3_x" ] && [ "$Y" -eq "$ch3_y" ] || fail "the dragged window followed the main window to $X,$Y"

# ---- Its return button: the third channel fills the full-screen picture (the recording
# started again first, so that it plays on meanwhile).
play_newest
xdotool mousemove --window "$ch3" $((655 - 53 + 12)) 17 click 1
sleep 1.5
! window_sized 655 401 > /dev/null || fail "the third-channel window is still there after its return"
full_screen_shows third

# ---- The magnifier, over the normal window: what is under the pointer, twice as large.
xdotool key --window "$win" Return
sleep 1.5
geometry "$win"
main_x=$X main_y=$Y
play_newest
xdotool mousemove --window "$win" 441 481 click 1
wait_for 10 window_sized 425 330 > /dev/null || fail "no magnifier appeared"
zoom=$(window_sized 425 330)
geometry "$zoom"
[ "$X" -eq 850 ] && [ "$Y" -eq 465 ] || fail "the magnifier is at $X,$Y, not 850,465"
# The pointer over the title bar: the source is 212x165 around it.
px=$((main_x + 150)) py=$((main_y + 18))
# The magnifier follows on its timer: on a busy machine that may take a few of its ticks.
zoom_shows_source() {
  import -silent -window "$zoom" "$work/zoom1.png"
  screen_shot "$work/under.png" "212x165+$((px - 106))+$((py - 82))"
  convert "$work/zoom1.png" -resize '212x165!' "$work/zoom_half.png"
  rmse=$(compare -metric RMSE "$work/zoom_half.png" "$work/under.png" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p' || true)
  awk -v e="$rmse" 'BEGIN { exit !(e != "" && e < 0.08) }'
}
zoom_moved() {
  import -silent -window "$zoom" "$work/zoom2.png"
  followed=$(differ "$work/zoom1.png" "$work/zoom2.png")
  [ "$followed" -gt 1000 ]
}
xdotool mousemove "$px" "$py"
wait_for 6 zoom_shows_source || fail "the magnifier does not show what is under the pointer (RMSE $rmse)"
# It follows the pointer...
xdotool mousemove $((main_x + 130)) $((main_y + 110))
wait_for 6 zoom_moved || true
[ "$followed" -gt 1000 ] || fail "the magnifier did not follow the pointer (AE=$followed)"
[ -z "$shots" ] || screen_shot "$shots/magnifier.png" "975x736+$main_x+$main_y"
# ...until Escape stops it.
# Without a window manager the keyboard goes where the focus is put.
xdotool windowfocus --sync "$zoom" key Escape
sleep 0.3
import -silent -window "$zoom" "$work/zoom3.png"
xdotool mousemove "$px" "$py"
sleep 0.6
import -silent -window "$zoom" "$work/zoom4.png"
still=$(differ "$work/zoom3.png" "$work/zoom4.png")
[ "$still" -eq 0 ] || fail "the magnifier still refreshes after Escape (AE=$still)"
grep -q '^VK_ESCAPE' "$work/viewer.log" || fail "Escape did not reach the magnifier"

kill -TERM "$viewer_pid"
wait "$viewer_pid" || fail "the viewer ended with status $?"
viewer_pid=
echo "xvfb presentation: full screen $box, third-channel window docked and dragged, magnifier RMSE $rmse"
