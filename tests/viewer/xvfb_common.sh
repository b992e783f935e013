# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=bash
# Shared by the whole-program tests on Xvfb; sourced, not run. The caller sets viewer (the
# program) and uses win, work and fail.
# shellcheck disable=SC2034,SC2154

# Runs the calling script again inside a new Xvfb server with one screen of this size
# ("1920x1080"), unless it already runs inside one.
run_inside_xvfb() {
  local size=$1
  shift
  if [ -z "${XVFB_TEST_INNER:-}" ]; then
    export XVFB_TEST_INNER=1
    exec xvfb-run -a -s "-screen 0 ${size}x24" bash "$0" "$@"
  fi
}

# A work folder with a copy of the card, removed at exit with the viewer it started, and the
# viewer's environment pointing into it.
# A work folder, removed at exit with the viewer started from it (viewer_pid).
make_work() {
  work=$(mktemp -d)
  viewer_pid=
  trap stop_and_clean EXIT
}

prepare_viewer() {
  local card_src=$1
  make_work
  cp -r "$card_src" "$work/card"
  mkdir -p "$work/config" "$work/runtime" "$work/tmp"
  chmod 700 "$work/runtime"
  # A folder of its own for the single-instance lock: a viewer running elsewhere on the
  # machine must not make this one a second copy.
  export TMPDIR=$work/tmp
  export MUB_VIEWER_CONFIG_DIR=$work/config MUB_NO_REMOVABLE=1 XDG_RUNTIME_DIR=$work/runtime
  export XDG_CONFIG_HOME=$work/config SDL_AUDIODRIVER=dummy LANG=ko_KR.UTF-8
  unset QT_QPA_PLATFORM
}

stop_and_clean() {
  if [ -n "$viewer_pid" ]; then kill "$viewer_pid" 2>/dev/null || true; wait "$viewer_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}

# Starts the viewer on the card copy; sets viewer_pid and win (its main window).
start_viewer() {
  "$viewer" --card "$work/card" > "$work/viewer.log" 2>&1 &
  viewer_pid=$!
  win=$(timeout 30 xdotool search --sync --onlyvisible --pid "$viewer_pid" --name "MUB Viewer" | head -n 1) ||
    fail "no viewer window appeared"
}

fail() {
  echo "FAIL: $*"
  echo "--- the viewer's output (last lines, without the player's pacing lines):"
  grep -v '^\[' "$work/viewer.log" 2>/dev/null | tail -n 40 || true
  exit 1
}
