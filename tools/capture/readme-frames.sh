#!/usr/bin/env bash
# Renders the README's pictures of the demo show with mivola-capture: the loading
# screen, the radio intro, the invaders, the interface after a click on "next",
# the fade to the end screen and the end screen itself.
# Usage: tools/capture/readme-frames.sh [OUTPUT_DIR]   (default docs/frames)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${MIVOLA_BUILD_DIR:-build}
out=$(realpath -m "${1:-docs/frames}")
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target mivola-capture demo_content
mkdir -p "$out"
# 15 frames a second keeps the run short; the times are seconds of virtual time
# (the intro starts once loading is over, a few seconds in).
"$build/tools/capture/mivola-capture" --content "$build/content/demo" --fps 15 --windowed \
  --event "52 mouse 1140 612" --event "52.2 lbutton down" --event "52.4 lbutton up" \
  --event "58 key escape down" --event "58.3 key escape up" --max-seconds 75 \
  --frame-at 0.2,14,30,46,55,58.5,70 --frame-dir "$out" >/dev/null
ls "$out"
