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
python3 - "$work/recording.raw" "$expected" <<'PY'
import array, math, sys
samples = array.array("h")
with open(sys.argv[1], "rb") as f:
    samples.frombytes(f.read())
expected = float(sys.argv[2])
left = samples[0::2]
rate = 44100
# The part that is not silence: 10 ms windows louder than -40 dBFS.
window = rate // 100
loud = [i for i in range(0, len(left) - window, window)
        if math.sqrt(sum(x * x for x in left[i:i + window]) / window) > 327]
if not loud:
    sys.exit("check-sound: the recording is silent: no sample reached the sound server")
part = left[loud[0]:loud[-1] + window]
rms = math.sqrt(sum(x * x for x in part) / len(part))
crossings = sum(1 for a, b in zip(part, part[1:]) if a < 0 <= b)
heard = crossings / (len(part) / rate)
print(f"recorded {len(left) / rate:.2f} s, sound for {len(part) / rate:.2f} s at RMS {rms:.0f}, "
      f"{heard:.1f} Hz (the sound holds {expected:.1f} Hz)")
if abs(heard - expected) > 0.03 * expected:
    sys.exit("check-sound: the recording does not hold the sound's tone")
PY
