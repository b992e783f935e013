#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Capture and export in the whole program on a real X server (Xvfb) with real input from
# xdotool and the real dialogs. The card's reads are slowed (SLOW_READS, loaded with
# LD_PRELOAD) so that the test can act in the middle of an export:
# - tick three rows and export them, with the telemetry box ticked, into a folder typed
#   into the folder chooser; keys, PLAY, a double-click and capture do nothing meanwhile;
#   the title runs through Make File 000/003 to 002/003; FFmpeg decodes every AVI with
#   the described number of pictures; the GPX files are well-formed; the checksums check,
#   and fail after a changed byte;
# - export again and cancel in the second file: it is short and valid, no third is begun;
# - capture a one-channel and a three-channel recording through the save dialog, the latter
#   without and with the third-channel window shown, and check the JPEG files' sizes;
#   cancel the dialog: a playing recording plays on, a paused one stays paused;
# - as root, export onto a small tmpfs that fills up part-way: what was written stays whole.
#   xvfb_capture_export.sh MUBVIEWER CARD_DIR SLOW_READS [SHOTS_DIR]
#   (SHOTS_DIR gets capture-dialog.png)
set -euo pipefail
viewer=$1
card_src=$2
slow_reads=$3
shots=${4:-}
mubinfo=$(dirname "$viewer")/../tools/mubinfo/mubinfo

if [ -z "${XVFB_CE_INNER:-}" ]; then
  export XVFB_CE_INNER=1
  exec xvfb-run -a -s "-screen 0 1280x900x24" bash "$0" "$@"
fi

work=$(mktemp -d)
viewer_pid=
spy_pid=
cleanup() {
  if [ -n "$spy_pid" ]; then kill "$spy_pid" 2>/dev/null || true; fi
  if [ -n "$viewer_pid" ]; then kill "$viewer_pid" 2>/dev/null || true; wait "$viewer_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

[ -n "$shots" ] && mkdir -p "$shots"
cp -r "$card_src" "$work/card"
mkdir -p "$work/config" "$work/runtime" "$work/tmp" "$work/out" "$work/stills"
chmod 700 "$work/runtime"
# A folder of its own for the single-instance lock and the temporary files.
export TMPDIR=$work/tmp
export MUB_VIEWER_CONFIG_DIR=$work/config MUB_NO_REMOVABLE=1 XDG_RUNTIME_DIR=$work/runtime
export XDG_CONFIG_HOME=$work/config SDL_AUDIODRIVER=dummy LANG=en_US.UTF-8 LANGUAGE=en
# The capture and export lines the test waits for are trace lines.
export MUB_TRACE=1
unset QT_QPA_PLATFORM

fail() {
  echo "FAIL: $*"
  echo "--- the viewer's output (last lines):"
  grep -v aviAddData "$work/viewer.log" 2>/dev/null | tail -n 40 || true
  exit 1
}

# Places in the window (the normal layout).
all_button="938 50"
export_button="883 228"
capture_button="499 482"
play_button="268 481"
ch3_button="855 17"
cancel_button="435 93"  # in the progress window
telemetry_box="14 93"   # in the progress window
list_x=660      # the rows' check boxes
list_row0_y=91  # the first row, below the header
list_row_h=14

start_viewer() {  # [wrapper...]
  "$@" "$viewer" --card "$work/card" > "$work/viewer.log" 2>&1 &
  viewer_pid=$!
  win=$(timeout 30 xdotool search --all --sync --onlyvisible --pid "$viewer_pid" --name "MUB Viewer" | head -n 1) ||
    fail "no viewer window appeared"
  known=$win
  sleep 3  # the card is listed
}

stop_viewer() {
  kill -TERM "$viewer_pid"
  wait "$viewer_pid" || true
  viewer_pid=
}

click() {  # x y [count]
  xdotool mousemove --window "$win" "$1" "$2" click --repeat "${3:-1}" --delay 80 1
}

# A visible window of the viewer other than those in $known (the main one and the windows
# the test opened on purpose): a dialog or message box.
wait_dialog() {
  for _ in $(seq 1 100); do
    for w in $(xdotool search --onlyvisible --pid "$viewer_pid" 2>/dev/null); do
      case " $known " in *" $w "*) ;; *) echo "$w"; return 0 ;; esac
    done
    sleep 0.1
  done
  return 1
}

# Keys go to the window with the input focus, as a person's would.
press() {  # window key
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key "$2"
}

answer_dialog() {  # window text...: types the text into the dialog's field and presses Return
  local dialog=$1
  shift
  press "$dialog" ctrl+a
  xdotool type --delay 20 "$*"
  xdotool key Return
}

tick_rows() {  # rows...
  for row in "$@"; do
    click "$list_x" $((list_row0_y + row * list_row_h))
    sleep 0.2
  done
}

# The newest recordings first, as "All" lists them.
mapfile -t newest < <(find "$work/card/RECORD" -name '*.mub' -printf '%f\n' |
  awk -F_ '{ print $2 $3 " " $0 }' | sort -r | cut -d' ' -f2 | sed 's/\.mub$/.avi/')

row_with_letter() {  # letter: the first row of "All" whose recording has that channel letter
  for i in "${!newest[@]}"; do
    [ "${newest[$i]: -5:1}" = "$1" ] && { echo "$i"; return 0; }
  done
  return 1
}

described() {  # name frames|size N: channel 0's picture count, or channel N's picture size
  local info
  info=$("$mubinfo" --card "$work/card" "$1")
  case $2 in
    frames) sed -n 's/^frames: channel 0 \([0-9]*\),.*/\1/p' <<< "$info" ;;
    size) sed -n "s/^channel $3: \([0-9]*x[0-9]*\),.*/\1/p" <<< "$info" ;;
  esac
}

decoded_frames() {  # file: the pictures of its first video stream that FFmpeg decodes
  ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$1"
}

front() { import -silent -window "$win" -crop 600x330+20+80 +repage "$1"; }
changed_pixels() {  # a.png b.png
  local ae
  ae=$(compare -metric AE "$1" "$2" null: 2>&1 || true)
  echo "${ae%% *}"
}

visible_windows() { xdotool search --onlyvisible --pid "$viewer_pid" 2>/dev/null | wc -l; }

wait_log() {  # pattern count seconds: until the viewer's output has count lines matching
  for _ in $(seq 1 $(($3 * 10))); do
    [ "$(grep -c "$1" "$work/viewer.log")" -ge "$2" ] && return 0
    sleep 0.1
  done
  return 1
}

export_into() {  # folder: clicks export and answers the chooser; sets $progress
  click $export_button
  chooser=$(wait_dialog) || fail "no folder chooser appeared"
  [ "$(xdotool getwindowname "$chooser")" = "Choose the save folder" ] ||
    fail "the folder chooser is titled '$(xdotool getwindowname "$chooser")'"
  answer_dialog "$chooser" "$1"
  progress=$(timeout 20 xdotool search --all --sync --onlyvisible --pid "$viewer_pid" --name "MUB File Download" |
    head -n 1) || fail "no progress window appeared"
  # Out of the way of the pictures, as a person would put it.
  xdotool windowmove --sync "$progress" 40 760 2>/dev/null || true
}

end_export() {  # nth: waits for the nth closing message and answers it
  wait_log '^Export => ' "$1" 60 || fail "export $1 did not end"
  press "$(wait_dialog)" Return
  sleep 0.3
}

# ---- export of three ticked rows, slowed
# A viewer built with AddressSanitizer needs its runtime first among the preloaded.
preload=$slow_reads
asan_runtime=$(ldd "$viewer" | awk '/libasan/ { print $3 }')
[ -z "$asan_runtime" ] || preload="$asan_runtime:$slow_reads"
start_viewer env LD_PRELOAD="$preload" MUB_SLOW_READ_US=1000
xprop -spy -id "$win" _NET_WM_NAME > "$work/titles.log" 2>/dev/null &
spy_pid=$!
click $all_button
sleep 0.5
tick_rows 0 1 2
export_into "$work/out"
xdotool mousemove --window "$progress" $telemetry_box click 1

# Keys, PLAY, a double-click on a row and capture do nothing while exporting.
front "$work/idle-a.png"
windows=$(visible_windows)
press "$win" space
press "$win" Right
click $play_button
xdotool mousemove --window "$win" 760 $list_row0_y click --repeat 2 --delay 80 1
click $capture_button
sleep 1.5
front "$work/idle-b.png"
[ "$(changed_pixels "$work/idle-a.png" "$work/idle-b.png")" = 0 ] || fail "something played during the export"
[ "$(visible_windows)" -eq "$windows" ] || fail "a window opened during the export"
! grep -q '^Export => ' "$work/viewer.log" || fail "the export ended before the keys were tried"
end_export 1
kill "$spy_pid"
spy_pid=

mapfile -t titles < <(grep -o 'Make File [0-9/]* \[[^]]*\]' "$work/titles.log" | uniq)
want_titles=("Make File 000/003 [${newest[0]}]" "Make File 001/003 [${newest[1]}]" "Make File 002/003 [${newest[2]}]")
[ "${titles[*]}" = "${want_titles[*]}" ] || fail "titles: ${titles[*]}"
[ "$(xdotool getwindowname "$win")" = "${want_titles[2]}" ] || fail "title '$(xdotool getwindowname "$win")' after the export"
for i in 0 1 2; do
  avi="$work/out/${newest[$i]}"
  [ -f "$avi" ] || fail "${newest[$i]} was not written"
  [ -z "$(ffprobe -v error "$avi" 2>&1)" ] || fail "ffprobe finds fault with ${newest[$i]}"
  ffmpeg -nostdin -v error -xerror -i "$avi" -f null - || fail "ffmpeg cannot decode ${newest[$i]}"
  [ "$(decoded_frames "$avi")" = "$(described "${newest[$i]}" frames)" ] ||
    fail "${newest[$i]}: $(decoded_frames "$avi") pictures, described $(described "${newest[$i]}" frames)"
  [ -f "${avi%.avi}.csv" ] || fail "no telemetry beside ${newest[$i]}"
done
[ "$(find "$work/out" -name '*.avi' | wc -l)" -eq 3 ] || fail "not three AVI files"
gpx=("$work"/out/*.gpx)
[ -f "${gpx[0]}" ] || fail "no GPS track was written"
xmllint --noout "${gpx[@]}" || fail "a GPS track is not well-formed"
(cd "$work/out" && sha256sum -c --strict --quiet SHA256SUMS) || fail "the checksums do not check"
cp "$work/out/${newest[1]}" "$work/changed.avi"
printf 'Z' | dd of="$work/out/${newest[1]}" bs=1 seek=5000 conv=notrunc status=none
! (cd "$work/out" && sha256sum -c --quiet SHA256SUMS > /dev/null 2>&1) || fail "a changed byte passes the checksums"
mv "$work/changed.avi" "$work/out/${newest[1]}"

# ---- cancel in the second file
mkdir -p "$work/cut"
export_into "$work/cut"
for _ in $(seq 1 300); do
  case $(xdotool getwindowname "$win") in "Make File 001/003"*) break ;; esac
  sleep 0.05
done
sleep 0.5  # some pictures into it
xdotool mousemove --window "$progress" $cancel_button click 1
end_export 2
second="$work/cut/${newest[1]}"
[ -f "$second" ] || fail "the second file was not kept"
ffmpeg -nostdin -v error -xerror -i "$second" -f null - || fail "ffmpeg cannot decode the shortened file"
short=$(decoded_frames "$second")
[ "$short" -gt 0 ] && [ "$short" -lt "$(described "${newest[1]}" frames)" ] ||
  fail "the cancelled file holds $short pictures"
[ ! -e "$work/cut/${newest[2]}" ] || fail "a third file was begun after the cancel"

# ---- still capture through the save dialog: the export is over, the window answers again
capture() {  # row base: plays the row and captures it into base.jpg
  xdotool mousemove --window "$win" 760 $((list_row0_y + $1 * list_row_h)) click --repeat 2 --delay 80 1
  sleep 2
  local before
  before=$(grep -c '^Capture => ' "$work/viewer.log" || true)
  click $capture_button
  saver=$(wait_dialog) || fail "no save dialog appeared"
  sleep 0.5
  [ -n "$shots" ] && import -silent -window "$saver" "$shots/capture-dialog.png"
  answer_dialog "$saver" "$work/stills/$2.jpg"
  wait_log '^Capture => ' $((before + 1)) 5 || fail "no capture"
}
expect_stills() {  # base name suffix:channel...: exactly these stills, each of its channel's size
  local base=$1 name=$2
  shift 2
  [ "$(find "$work/stills" -name "${base}_*.jpg" | wc -l)" -eq $# ] || fail "not $# stills of $name"
  for pair in "$@"; do
    local file="$work/stills/${base}_${pair%%:*}.jpg"
    [ "$(identify -format '%m %z %[channels] %wx%h' "$file")" = "JPEG 8 srgb $(described "$name" size "${pair##*:}")" ] ||
      fail "$(basename "$file") is $(identify -format '%m %z %[channels] %wx%h' "$file")"
  done
}
one=$(row_with_letter N) || fail "no front-only recording on the card"
capture "$one" one
expect_stills one "${newest[$one]}" front:0
three=$(row_with_letter T) || fail "no three-channel recording on the card"
capture "$three" three
# The third-channel window is not shown: front and rear.
expect_stills three "${newest[$three]}" front:0 rear:1
# CH3 shows it: all three.
click $ch3_button
for _ in $(seq 1 50); do
  ch3=$(xdotool search --onlyvisible --pid "$viewer_pid" 2>/dev/null | grep -vx "$win" | head -n 1) && break
  sleep 0.1
done
[ -n "${ch3:-}" ] || fail "CH3 showed no third-channel window"
known="$win $ch3"
capture "$three" third
expect_stills third "${newest[$three]}" front:0 rear:1 3ch:2
capture_line=$(grep '^Capture => ' "$work/viewer.log" | tail -n 1)

# Cancelling the dialog lets a playing recording play on and leaves a paused one paused.
for was in playing paused; do
  if [ $was = paused ]; then
    press "$win" space
    sleep 0.5
  fi
  click $capture_button
  saver=$(wait_dialog) || fail "no save dialog appeared ($was)"
  press "$saver" Escape
  sleep 1
  front "$work/a.png"
  sleep 1.5
  front "$work/b.png"
  moved=$(changed_pixels "$work/a.png" "$work/b.png")
  case $was in
    playing) [ "$moved" -gt 1000 ] 2>/dev/null || fail "the recording did not play on after a cancelled capture (AE=$moved)" ;;
    paused) [ "$moved" = 0 ] || fail "a paused recording moved after a cancelled capture (AE=$moved)" ;;
  esac
done
stop_viewer

# ---- a target that fills up part-way (root only)
full=skipped
if [ "$(id -u)" -eq 0 ] && unshare -m true 2>/dev/null; then
  size0=$(stat -c %s "$(find "$work/card/RECORD" -name "${newest[0]%.avi}.mub")")
  mkdir -p "$work/full"
  # Room for the first file and its checksum lines, not for the second.
  start_viewer unshare -m sh -c "mount --make-rprivate / && mount -t tmpfs -o size=$((size0 + 65536)) tmpfs '$work/full' && exec \"\$0\" \"\$@\""
  click $all_button
  sleep 0.5
  tick_rows 0 1 2
  click $export_button
  chooser=$(wait_dialog) || fail "no folder chooser appeared (full target)"
  answer_dialog "$chooser" "$work/full"
  for _ in $(seq 1 600); do grep -q '^Export => ' "$work/viewer.log" && break; sleep 0.05; done
  summary=$(grep '^Export => ' "$work/viewer.log") || fail "the export onto a full target did not end"
  case "$summary" in *"No space left on device"*) ;; *) fail "no word of the full disk: $summary" ;; esac
  pid=$viewer_pid
  ls_full=$(nsenter -t "$pid" -m ls "$work/full")
  [ "$(nsenter -t "$pid" -m sh -c "cd '$work/full' && sha256sum -c --quiet SHA256SUMS && ls *.avi")" = "${newest[0]}" ] ||
    fail "the full target holds: $ls_full"
  case "$ls_full" in *.part*) fail "a partial file stayed: $ls_full" ;; esac
  press "$(wait_dialog)" Return
  stop_viewer
  full=checked
fi

echo "xvfb capture/export: ${titles[*]}; cancelled at $short pictures; $capture_line; full target $full"
