#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The whole program on a real X server (Xvfb) with real input from xdotool: start on a
# sample card, see the window centred and drag it, double-click the newest recording, see
# the front picture move, pause it with Space, check that a second copy ends at once while
# the first runs, and that kill ends the viewer through its normal shutdown (the
# configuration is saved).
#   xvfb_smoke.sh MUBVIEWER CARD_DIR
set -euo pipefail
viewer=$1
card_src=$2

source "$(dirname "$0")/xvfb_common.sh"
run_inside_xvfb 1280x900 "$@"
prepare_viewer "$card_src"
start_viewer
eval "$(xdotool getwindowgeometry --shell "$win")"  # X, Y, WIDTH, HEIGHT
[ "$WIDTH" -eq 975 ] && [ "$HEIGHT" -eq 736 ] || fail "window is ${WIDTH}x${HEIGHT}, not 975x736"

# Centred on the screen; dragged by its background (with no window manager to move it, the
# window follows the mouse itself).
[ "$X" -eq $(( (1280 - WIDTH) / 2 )) ] && [ "$Y" -eq $(( (900 - HEIGHT) / 2 )) ] ||
  fail "window at $X,$Y, not centred"
xdotool mousemove --window "$win" 300 20 mousedown 1 sleep 0.2 mousemove_relative --sync 40 30 sleep 0.2 mouseup 1
sleep 0.5
was_x=$X was_y=$Y
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$X" -eq $((was_x + 40)) ] && [ "$Y" -eq $((was_y + 30)) ] ||
  fail "dragging by 40,30 moved the window from $was_x,$was_y to $X,$Y"

# A second copy finds the first and ends at once, silently.
start=$(date +%s)
timeout 20 "$viewer" --card "$work/card" > "$work/second.log" 2>&1 || fail "the second copy failed or hung"
# Sanitizer builds start too slowly for the bound to mean anything.
[ -n "${MUB_NO_TIMING_ASSERTS:-}" ] || [ $(( $(date +%s) - start )) -lt 10 ] || fail "the second copy took too long to end"
kill -0 "$viewer_pid" || fail "the first copy died"

# The list fills within a few seconds of the card being seen; the newest row is first.
sleep 3
front() {  # the front picture's place, cut out of a screenshot of the window
  import -silent -window "$win" -crop 600x330+20+80 +repage "$1"
}
xdotool mousemove --window "$win" 760 90 click --repeat 2 --delay 80 1
sleep 3
front "$work/a.png"
sleep 1.5
front "$work/b.png"
moved=$(compare -metric AE "$work/a.png" "$work/b.png" null: 2>&1 || true)
[ "${moved%% *}" -gt 1000 ] 2>/dev/null || fail "the front picture did not change while playing (AE=$moved)"
mean=$(convert "$work/b.png" -colorspace Gray -format '%[fx:mean]' info:)
awk -v m="$mean" 'BEGIN { exit !(m > 0.05) }' || fail "the front picture is black (mean $mean)"

# Space pauses: the picture stands still.
xdotool key --window "$win" space
sleep 1
front "$work/c.png"
sleep 1.5
front "$work/d.png"
still=$(compare -metric AE "$work/c.png" "$work/d.png" null: 2>&1 || true)
[ "${still%% *}" -lt 1000 ] 2>/dev/null || fail "the picture moved while paused (AE=$still)"

# kill (SIGTERM) ends it through its normal shutdown: it exits by itself and saves the
# configuration on the way out.
kill -TERM "$viewer_pid"
for _ in $(seq 1 100); do
  kill -0 "$viewer_pid" 2>/dev/null || break
  sleep 0.1
done
! kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer did not end within 10 s of SIGTERM"
status=0
wait "$viewer_pid" || status=$?
viewer_pid=
[ "$status" -eq 0 ] || fail "the viewer ended with status $status after SIGTERM"
grep -qi '^brightness=' "$work/config/config.cfg" && grep -qi '^volume=' "$work/config/config.cfg" ||
  fail "the configuration was not saved on the way out"

echo "xvfb smoke: window ${WIDTH}x${HEIGHT} dragged to $X,$Y, moving picture AE=$moved, paused AE=$still"
