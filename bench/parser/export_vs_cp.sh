#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Times mubexport of the road card's recording (a minute of 1080p front, 720p rear and
# third, ~150 MB) against two anchors from the same run: cp of the container file, and
# ffmpeg copying the exported file's video and sound streams into a new AVI
# (`-map 0:v -map 0:a -c copy`). Each includes the sync of the file it wrote; the source
# is in the page cache; medians of three runs. Prints the figures and SUMMARY lines.
#   bench/parser/export_vs_cp.sh [BUILD_DIR]     (default build/default)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build/default}
card=$build/bench/cards/road3ch
if [ ! -f "$card/made.stamp" ]; then
  echo "export_vs_cp: no road card in $card (parser_bench makes it)" >&2
  exit 1
fi
work=${MUB_BENCH_DIR:-${TMPDIR:-/tmp}}/mub_export_bench
rm -rf "$work"; mkdir -p "$work"
file=$(find "$card/RECORD" -name '*.mub' | sort | head -1)
name=$(basename "$file" .mub).avi
size=$(stat -c %s "$file")
"$build/tools/mubexport/mubexport" --card "$card" --out "$work" "$name" > /dev/null 2>&1
mv "$work/$name" "$work/source.avi"

median3() {  # median wall time in seconds of 3 runs of "$@" writing into $work/out
  local times=()
  for _ in 1 2 3; do
    rm -rf "$work/out"; mkdir -p "$work/out"
    local t0 t1
    t0=$(date +%s.%N)
    "$@" > /dev/null 2>&1
    sync "$work"/out/*  # the written file reaches the disk
    t1=$(date +%s.%N)
    times+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')")
  done
  printf '%s\n' "${times[@]}" | sort -g | sed -n 2p
}

cat "$file" "$work/source.avi" > /dev/null  # warm the page cache for all
load=$(cut -d' ' -f1 /proc/loadavg)
t_cp=$(median3 cp "$file" "$work/out/")
t_export=$(median3 "$build/tools/mubexport/mubexport" --card "$card" --out "$work/out" "$name")
t_ffmpeg=$(median3 ffmpeg -nostdin -v error -i "$work/source.avi" -map 0:v -map 0:a -c copy "$work/out/copy.avi")
rm -rf "$work"
awk -v s="$size" -v c="$t_cp" -v e="$t_export" -v f="$t_ffmpeg" -v l="$load" 'BEGIN {
  printf "recording: %.1f MB, load %s\n", s / 1e6, l
  printf "cp:               %.3f s (%.0f MB/s)\n", c, s / 1e6 / c
  printf "mubexport:        %.3f s (%.0f MB/s)\n", e, s / 1e6 / e
  printf "ffmpeg -c copy:   %.3f s\n", f
  printf "SUMMARY|export vs cp of the container file, sync included|%.3g s|%.3g s|%.2f|ratio <= 1.3\n", e, c, e / c
  printf "SUMMARY|export vs ffmpeg -map 0:v -map 0:a -c copy (ffmpeg / ours)|%.3g s|%.3g s|%.2f|ffmpeg / ours >= 2.5\n", e, f, f / e }'
