#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The settings dialog in the whole program on a real X server (Xvfb) with real input from
# xdotool: F3 on a sample card opens it; choosing preset C, moving the system-volume
# slider, clearing the effect-sound box and choosing the previous time zone, then saving,
# leaves the card's file with exactly those changes and its line ends normalised; Esc
# after changes leaves the file as it was.
#   xvfb_settings.sh MUBVIEWER MUBCARD [SCREENSHOT.png]
# LANG picks the dialog's language (Korean by default).
set -euo pipefail
viewer=$1
mubcard=$2
shot=${3:-}

source "$(dirname "$0")/../viewer/xvfb_common.sh"
run_inside_xvfb 1280x900 "$@"
make_work

"$mubcard" --out "$work/card" --seed 3 --per-category 1 --duration 1 --synthetic > "$work/mubcard.log" 2>&1 ||
  fail "mubcard could not make the card"
cfg=$work/card/SETTING/blackbox.cfg
cp "$cfg" "$work/original.cfg"
grep -q $'\r' "$work/original.cfg" || fail "the sample card's file has no CR LF line ends to normalise"

mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
# A folder of its own for the single-instance lock: a viewer running elsewhere on the
# machine must not make this one a second copy.
mkdir -p "$work/tmp"
export TMPDIR=$work/tmp
export MUB_VIEWER_CONFIG_DIR=$work/config MUB_NO_REMOVABLE=1 XDG_RUNTIME_DIR=$work/runtime
export XDG_CONFIG_HOME=$work/config SDL_AUDIODRIVER=dummy LANG=${LANG:-ko_KR.UTF-8}
case "$LANG" in C | C.* | POSIX) export LANG=ko_KR.UTF-8 ;; esac
unset QT_QPA_PLATFORM

"$viewer" --card "$work/card" > "$work/viewer.log" 2>&1 &
viewer_pid=$!
win=$(timeout 30 xdotool search --sync --onlyvisible --pid "$viewer_pid" --name "MUB Viewer" | head -n 1) ||
  fail "no viewer window appeared"
sleep 1

# Template 115's dialog units in pixels: 4 horizontal units are 6 pixels, 8 vertical 13.
px() { echo $(( ($1 * 6 + 2) / 4 )); }
py() { echo $(( ($1 * 13 + 4) / 8 )); }
# Clicks the control at dialog units (x, y, h): 6 pixels in from its left, half-way down.
click_at() {
  xdotool mousemove --window "$dlg" $(( $(px "$1") + 6 )) $(( $(py "$2") + $(py "$3") / 2 )) click "${4:-1}"
  sleep 0.3
}
dialog_window() {  # the visible window of the viewer that has the dialog's width
  for w in $(xdotool search --onlyvisible --pid "$viewer_pid" --name '.' 2>/dev/null); do
    [ "$w" = "$win" ] && continue
    eval "$(xdotool getwindowgeometry --shell "$w")"
    if [ "$WIDTH" -eq "$(px 687)" ]; then echo "$w"; return 0; fi
  done
  return 1
}
open_settings() {
  xdotool windowfocus --sync "$win" 2>/dev/null || true
  xdotool key --window "$win" F3
  for _ in $(seq 1 100); do
    if dlg=$(dialog_window); then sleep 0.5; return 0; fi
    sleep 0.1
  done
  fail "F3 opened no settings dialog"
}
wait_closed() {  # a save flushes the card's file: give a busy disk time
  for _ in $(seq 1 300); do
    dialog_window > /dev/null || return 0
    sleep 0.1
  done
  fail "the dialog did not close"
}

open_settings
eval "$(xdotool getwindowgeometry --shell "$dlg")"
[ "$HEIGHT" -eq "$(py 423)" ] || fail "the dialog is ${WIDTH}x${HEIGHT}"
if [ -n "$shot" ]; then import -silent -window "$dlg" "$shot"; fi

click_at 224 23 10      # preset C
click_at 124 151 18     # the system-volume slider's left end: one step down
click_at 228 123 10     # effect sounds off
click_at 470 42 12 4    # time zone: the wheel moves to the previous entry
click_at 595 387 20     # save
wait_closed

tr -d '\r' < "$work/original.cfg" |
  sed -e 's/^const=40$/const=30/' -e 's/^event=20$/event=40/' -e 's/^park=30$/park=20/' \
      -e 's/^mub_update=0$/mub_update=1/' -e 's/^voice_volume=3$/voice_volume=1/' \
      -e 's/^use_tick=1$/use_tick=0/' -e 's/^local_time=9.0000$/local_time=8.0000/' > "$work/expected.cfg"
cmp "$work/expected.cfg" "$cfg" || { diff "$work/expected.cfg" "$cfg" || true; fail "the saved file differs"; }
cp "$cfg" "$work/saved.cfg"

# Changes, then Esc: nothing is written.
open_settings
click_at 124 23 10      # preset B
click_at 20 262 10      # lane-departure warning on
xdotool key Escape
wait_closed
cmp "$work/saved.cfg" "$cfg" || fail "Esc wrote the file"

kill -TERM "$viewer_pid"
wait "$viewer_pid" || true
viewer_pid=
echo "xvfb settings: saved exactly the four changes, Esc wrote nothing"
