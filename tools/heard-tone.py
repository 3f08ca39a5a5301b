#!/usr/bin/env python3
"""heard-tone.py RECORDING EXPECTED: the recording of a null sink's monitor (raw s16le, 2 channels,
44100 Hz) must hold a tone: its loud part's frequency within 3 % of EXPECTED, which is a number of Hz or
a RIFF WAVE file whose first channel holds the tone (read with Python's own wave module)."""
import array
import math
import sys
import wave


def frequency(samples, rate):
    crossings = sum(1 for a, b in zip(samples, samples[1:]) if a < 0 <= b)
    return crossings / (len(samples) / rate)


def tone_of(path):
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2:
            sys.exit(f"heard-tone: {path} is not 16-bit")
        frames = array.array("h", w.readframes(w.getnframes()))
        return frequency(frames[0::w.getnchannels()], w.getframerate())


recording, wanted = sys.argv[1], sys.argv[2]
expected = tone_of(wanted) if wanted.lower().endswith(".wav") else float(wanted)
samples = array.array("h")
with open(recording, "rb") as f:
    samples.frombytes(f.read())
left = samples[0::2]
rate = 44100
# The part that is not silence: 10 ms windows louder than -40 dBFS.
window = rate // 100
loud = [i for i in range(0, len(left) - window, window)
        if math.sqrt(sum(x * x for x in left[i:i + window]) / window) > 327]
if not loud:
    sys.exit("heard-tone: the recording is silent: no sample reached the sound server")
part = left[loud[0]:loud[-1] + window]
rms = math.sqrt(sum(x * x for x in part) / len(part))
heard = frequency(part, rate)
print(f"recorded {len(left) / rate:.2f} s, sound for {len(part) / rate:.2f} s at RMS {rms:.0f}, "
      f"{heard:.1f} Hz (the sound holds {expected:.1f} Hz)")
if abs(heard - expected) > 0.03 * expected:
    sys.exit("heard-tone: the recording does not hold the sound's tone")
