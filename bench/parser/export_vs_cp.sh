#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times mubexport of one ~100 MB recording (front, rear and third channel) against cp of
# the same container file, each including the fsync of what it wrote; prints both times
# (best of 3) and their ratio.
#   bench/parser/export_vs_cp.sh [BUILD_DIR]     (default build/default)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/default}
work=${MUB_BENCH_DIR:-${TMPDIR:-/tmp}}/mub_export_bench
mkdir -p "$work"
if [ ! -d "$work/card/RECORD" ]; then
  "$build/tools/mubcard/mubcard" --out "$work/card" --per-category 1 --letters T --duration 42 \
    --synthetic --front 1920x1080 --rear 1280x720 --third 1280x720 --seed 2 > /dev/null 2>&1
fi
file=$(find "$work/card/RECORD" -name 'REC_*.mub' | head -1)
name=$(basename "$file" .mub).avi
size=$(stat -c %s "$file")

best() {  # best wall time in seconds of 3 runs of "$@", output discarded
  local best=""
  for _ in 1 2 3; do
    rm -rf "$work/out"; mkdir -p "$work/out"
    local t0 t1
    t0=$(date +%s.%N)
    "$@" > /dev/null 2>&1
    sync "$work"/out/* 2>/dev/null || sync  # the written file reaches the disk
    t1=$(date +%s.%N)
    best=$(awk -v a="$t0" -v b="$t1" -v m="$best" 'BEGIN { d = b - a; if (m == "" || d < m) print d; else print m }')
  done
  echo "$best"
}

cat "$file" > /dev/null  # warm the page cache for both
t_cp=$(best cp "$file" "$work/out/")
t_export=$(best "$build/tools/mubexport/mubexport" --card "$work/card" --out "$work/out" "$name")
rm -rf "$work/out"
awk -v s="$size" -v c="$t_cp" -v e="$t_export" 'BEGIN {
  printf "recording: %.1f MB\ncp:        %.3f s (%.0f MB/s)\nmubexport: %.3f s (%.0f MB/s)\nratio mubexport/cp: %.2f\n",
         s / 1e6, c, s / 1e6 / c, e, s / 1e6 / e, e / c }'
