#!/usr/bin/env bash
# Measures what video output costs a capture: the same stretch of the demo show
# captured without video, to MP4 and to Y4M, one after the other, with wall
# time, processor time, peak memory and file size of each.
# Usage: tools/capture/measure-video.sh [SECONDS]   (default 60; needs a build in
# ${MIVOLA_BUILD_DIR:-build} with mivola-capture and the demo content)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${MIVOLA_BUILD_DIR:-build}
seconds=${1:-60}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
capture=("$build/tools/capture/mivola-capture" --content "$build/content/demo" --quiet
         --modes 1280x720,1920x1080 --no-multisample --max-seconds "$seconds")
printf '%-10s %10s %10s %14s %12s\n' output "wall s" "CPU s" "peak RSS MB" "size MB"
for kind in none mp4 y4m; do
  args=()
  [ "$kind" != none ] && args=(--video "$out/show.$kind")
  /usr/bin/time -v -o "$out/time.txt" "${capture[@]}" "${args[@]}" >/dev/null
  wall=$(awk -F': ' '/Elapsed \(wall clock\)/ {n = split($2, t, ":"); s = 0; for (i = 1; i <= n; ++i) s = s * 60 + t[i]; print s}' "$out/time.txt")
  cpu=$(awk -F': ' '/User time|System time/ {s += $2} END {printf "%.1f", s}' "$out/time.txt")
  rss=$(awk -F': ' '/Maximum resident set size/ {printf "%.0f", $2 / 1024}' "$out/time.txt")
  size=-
  [ "$kind" != none ] && size=$(awk -v b="$(stat -c %s "$out/show.$kind")" 'BEGIN {printf "%.1f", b / 1e6}')
  printf '%-10s %10s %10s %14s %12s\n' "$kind" "$wall" "$cpu" "$rss" "$size"
  rm -f "$out/show.$kind"
done
