#!/usr/bin/env bash
# The card pulled from under the running viewer, for real: the card lives on a tmpfs that
# is lazily unmounted while a recording plays, then mounted again, then emptied while one
# plays. Each time the viewer must stay alive and answering, tell the user once, show an
# empty list and a still picture, and list the card again when it is back.
# Needs root (mounting); exits 77, a skip, where mounting is not permitted.
#   xvfb_card_pull.sh VIEWER CARD
set -euo pipefail
viewer=$1
card_src=$2

# A mount namespace of its own, so nothing mounted here is seen, or left, outside.
if [ -z "${CARD_PULL_NS:-}" ]; then
  [ "$(id -u)" -eq 0 ] || { echo "skipped: mounting needs root"; exit 77; }
  export CARD_PULL_NS=1
  exec unshare --mount --propagation private bash "$0" "$@" ||
    { echo "skipped: no mount namespace"; exit 77; }
fi

source "$(dirname "$0")/xvfb_common.sh"
run_inside_xvfb 1280x900 "$@"
prepare_viewer "$card_src"

mv "$work/card" "$work/card.src"
mkdir "$work/card"
insert_card() {
  mount -t tmpfs -o size=256m tmpfs "$work/card" || { echo "skipped: tmpfs cannot be mounted"; exit 77; }
  cp -r "$work/card.src/." "$work/card/"
}
insert_card

front() {  # the front picture's place, cut out of a screenshot of the window
  import -silent -window "$win" -crop 600x330+20+80 +repage "$1"
}
differ() {
  local ae
  ae=$(compare -metric AE "$1" "$2" null: 2>&1 || true)
  echo "${ae%% *}"
}
list_rows() {  # below the list's header: rows are light text on dark, an empty list is dark
  import -silent -window "$win" -crop 300x100+652+90 +repage "$work/list.png"
  convert "$work/list.png" -colorspace Gray -format '%[fx:mean]' info:
}
play_newest() {  # double-clicks the newest row; the picture must move within 20 s (sanitizer builds are slow)
  xdotool mousemove --window "$win" 760 90 click --repeat 2 --delay 80 1
  front "$work/a.png"
  for _ in $(seq 1 20); do
    sleep 1
    front "$work/b.png"
    [ "$(differ "$work/a.png" "$work/b.png")" -gt 1000 ] && return 0
  done
  fail "$1: the recording does not play"
}
# The notice that the card is gone: a second top-level window of the viewer's, named as
# the main one; answered with Return.
notice() {
  xdotool search --onlyvisible --pid "$viewer_pid" --name "MUB Viewer" 2>/dev/null | grep -vx "$win" | head -n 1
}
card_gone_handled() {
  local box=
  for _ in $(seq 1 60); do
    box=$(notice) && [ -n "$box" ] && break
    kill -0 "$viewer_pid" 2>/dev/null || fail "$1: the viewer died"
    sleep 0.25
  done
  [ -n "$box" ] || fail "$1: no notice that the card is gone"
  xdotool windowfocus --sync "$box" 2>/dev/null || true
  xdotool key Return
  for _ in $(seq 1 40); do
    [ -z "$(notice)" ] && break
    sleep 0.25
  done
  [ -z "$(notice)" ] || fail "$1: the notice did not go"
  # The card watch looks every second: a second notice would be up by now.
  sleep 2.5
  [ -z "$(notice)" ] || fail "$1: the notice came more than once"
  kill -0 "$viewer_pid" 2>/dev/null || fail "$1: the viewer died"
  # Still answering: the window moves when dragged.
  eval "$(xdotool getwindowgeometry --shell "$win")"
  local was_x=$X
  xdotool mousemove --window "$win" 300 20 mousedown 1 sleep 0.2 mousemove_relative --sync 20 0 sleep 0.2 mouseup 1
  sleep 0.5
  eval "$(xdotool getwindowgeometry --shell "$win")"
  [ "$X" -eq $((was_x + 20)) ] || fail "$1: the window no longer answers"
  local mean
  mean=$(list_rows)
  awk -v m="$mean" 'BEGIN { exit !(m < 0.01) }' || fail "$1: the list still shows rows (mean $mean)"
  front "$work/c.png"
  sleep 1
  front "$work/d.png"
  [ "$(differ "$work/c.png" "$work/d.png")" -lt 1000 ] || fail "$1: the picture still moves"
}

start_viewer
sleep 3

# ---- Pulled: the file system goes away under the open recording.
play_newest "first insert"
umount -l "$work/card"
card_gone_handled "unmounted"

# ---- Back: the card is listed again by itself and plays.
insert_card
for _ in $(seq 1 40); do
  mean=$(list_rows)
  awk -v m="$mean" 'BEGIN { exit !(m > 0.03) }' && break
  sleep 0.25
done
awk -v m="$mean" 'BEGIN { exit !(m > 0.03) }' || fail "the card put back is not listed (mean $mean)"
play_newest "second insert"

# ---- Emptied: every file goes while a recording plays.
rm -rf "${work:?}/card/"*
card_gone_handled "emptied"
# Nothing of the card is held open: it can be unmounted at once.
sleep 1
umount "$work/card" || fail "the viewer still holds the emptied card open: $(ls -l /proc/$viewer_pid/fd | grep -F "$work/card" | head -n 3)"

kill -TERM "$viewer_pid"
status=0
wait "$viewer_pid" || status=$?
viewer_pid=
[ "$status" -eq 0 ] || fail "the viewer ended with status $status after SIGTERM"
echo "xvfb card pull: unmounted and emptied under playback, told once each, listed again when back"
