#!/usr/bin/env bash
# Capture and export in the whole program on a real X server (Xvfb) with real input from
# xdotool and the real dialogs: tick three rows of the list, export them into a folder
# typed into the folder chooser, and check the AVI files with FFmpeg and the checksums
# with sha256sum; play a recording, capture it through the save dialog and check the
# JPEG files; cancel the dialog and see the recording play on. As root, export again onto
# a small tmpfs that fills up part-way: what was written before stays whole.
#   xvfb_capture_export.sh MUBVIEWER CARD_DIR [SHOTS_DIR]   (SHOTS_DIR gets capture-dialog.png)
set -euo pipefail
viewer=$1
card_src=$2
shots=${3:-}

if [ -z "${XVFB_CE_INNER:-}" ]; then
  export XVFB_CE_INNER=1
  exec xvfb-run -a -s "-screen 0 1280x900x24" bash "$0" "$@"
fi

work=$(mktemp -d)
viewer_pid=
cleanup() {
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
list_x=660      # the rows' check boxes
list_row0_y=91  # the first row, below the header
list_row_h=14

start_viewer() {  # [wrapper...]
  "$@" "$viewer" --card "$work/card" > "$work/viewer.log" 2>&1 &
  viewer_pid=$!
  win=$(timeout 30 xdotool search --sync --onlyvisible --pid "$viewer_pid" --name "MUB Viewer" | head -n 1) ||
    fail "no viewer window appeared"
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

# The newest visible window of the viewer other than the main one: a dialog or message box.
wait_dialog() {
  for _ in $(seq 1 100); do
    for w in $(xdotool search --onlyvisible --pid "$viewer_pid" 2>/dev/null); do
      [ "$w" != "$win" ] && { echo "$w"; return 0; }
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

# ---- export of three ticked rows
start_viewer
click $all_button
sleep 0.5
tick_rows 0 1 2
click $export_button
chooser=$(wait_dialog) || fail "no folder chooser appeared"
[ "$(xdotool getwindowname "$chooser")" = "Choose the save folder" ] ||
  fail "the folder chooser is titled '$(xdotool getwindowname "$chooser")'"
answer_dialog "$chooser" "$work/out"
titles=
for _ in $(seq 1 600); do
  title=$(xdotool getwindowname "$win")
  case "$titles" in *"$title"*) ;; *) titles="$titles|$title" ;; esac
  grep -q '^Export => ' "$work/viewer.log" && break
  sleep 0.05
done
grep -q '^Export => ' "$work/viewer.log" || fail "the export did not end"
done_box=$(wait_dialog) || fail "no closing message"
press "$done_box" Return
[ "$(xdotool getwindowname "$win")" = "Make File 002/003 [${newest[2]}]" ] ||
  fail "title '$(xdotool getwindowname "$win")' after the export"
for i in 0 1 2; do
  avi="$work/out/${newest[$i]}"
  [ -f "$avi" ] || fail "${newest[$i]} was not written (titles seen: $titles)"
  [ -z "$(ffprobe -v error "$avi" 2>&1)" ] || fail "ffprobe finds fault with ${newest[$i]}"
  ffmpeg -nostdin -v error -xerror -i "$avi" -f null - || fail "ffmpeg cannot decode ${newest[$i]}"
done
[ "$(find "$work/out" -name '*.avi' | wc -l)" -eq 3 ] || fail "not three AVI files"
(cd "$work/out" && sha256sum -c --strict --quiet SHA256SUMS) || fail "the checksums do not check"
cp "$work/out/${newest[1]}" "$work/changed.avi"
printf 'Z' | dd of="$work/out/${newest[1]}" bs=1 seek=5000 conv=notrunc status=none
! (cd "$work/out" && sha256sum -c --quiet SHA256SUMS > /dev/null 2>&1) || fail "a changed byte passes the checksums"
mv "$work/changed.avi" "$work/out/${newest[1]}"

# ---- still capture through the save dialog, of the third row playing
row=2
xdotool mousemove --window "$win" 760 $((list_row0_y + row * list_row_h)) click --repeat 2 --delay 80 1
sleep 2
click $capture_button
saver=$(wait_dialog) || fail "no save dialog appeared"
sleep 0.5
[ -n "$shots" ] && import -silent -window "$saver" "$shots/capture-dialog.png"
answer_dialog "$saver" "$work/stills/shot.jpg"
for _ in $(seq 1 50); do grep -q '^Capture => ' "$work/viewer.log" && break; sleep 0.1; done
capture_line=$(grep '^Capture => ' "$work/viewer.log" | tail -n 1) || fail "no capture"
# Front, and rear where there is one (the third channel's window is not shown).
letter=${newest[$row]: -5:1}
case $letter in T | D) want=2 ;; *) want=1 ;; esac
[ "$(find "$work/stills" -name 'shot_*.jpg' | wc -l)" -eq "$want" ] || fail "not $want stills for a $letter recording"
identify -format '%m %z %[channels]\n' "$work/stills/shot_front.jpg" | grep -q '^JPEG 8 srgb' ||
  fail "the front still is $(identify -format '%m %z %[channels]' "$work/stills/shot_front.jpg")"

# Cancelling the dialog lets the recording play on.
click $capture_button
saver=$(wait_dialog) || fail "no save dialog appeared the second time"
press "$saver" Escape
sleep 1
front() { import -silent -window "$win" -crop 600x330+20+80 +repage "$1"; }
front "$work/a.png"
sleep 1.5
front "$work/b.png"
moved=$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true)
[ "${moved%% *}" -gt 1000 ] 2>/dev/null || fail "the recording did not play on after a cancelled capture (AE=$moved)"
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

echo "xvfb capture/export: titles$titles; $capture_line; full target $full"
