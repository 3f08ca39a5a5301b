#!/bin/sh
# Stage: the editor plays a WAVC sound of the demo game on a real X server (Xvfb, openbox) into a private
# PulseAudio server's null sink, whose monitor is recorded meanwhile; the recording must hold the tone the
# sound holds, not silence. Needs an existing dev build (bench_sound):
#   sh tools/check-sound.sh [BUILD_DIR]
set -e
cd "$(dirname "$0")/.."
build=${1:-build/dev}
work=$(mktemp -d "${TMPDIR:-/tmp}/quillmere-sound.XXXXXX")
trap 'rm -rf "$work"' EXIT
RECORD="$work/recording.raw" sh tools/sound-session.sh "$build/bench/bench_sound" --play "$work/play" \
  | tee "$work/report"
expected=$(sed -n 's/^tone: \([0-9.]*\) Hz.*/\1/p' "$work/report")
python3 tools/heard-tone.py "$work/recording.raw" "$expected"
