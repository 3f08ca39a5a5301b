#!/usr/bin/env python3
"""heard-tone.py RECORDING EXPECTED [TIMES]: the recording of a null sink's monitor (raw s16le, 2 channels,
44100 Hz) must hold a tone: its loud parts' frequency within 3 % of EXPECTED, which is a number of Hz or
a RIFF WAVE file whose first channel holds the tone (read with Python's own wave module). With TIMES and a
file, the recording must hold that many loud stretches apart from each other, each at least a third as
long as the file's loud part: it was played that often (under Wine a playing is now and then cut short)."""
import array
import math
import sys
import wave


def frequency(samples, rate):
    crossings = sum(1 for a, b in zip(samples, samples[1:]) if a < 0 <= b)
    return crossings / (len(samples) / rate)


def loud_windows(samples, rate):
    """The starts of the 10 ms windows louder than -40 dBFS."""
    window = rate // 100
    return [i for i in range(0, len(samples) - window, window)
            if math.sqrt(sum(x * x for x in samples[i:i + window]) / window) > 327]


def tone_of(path):
    """The tone's frequency, and how long it is loud."""
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2:
            sys.exit(f"heard-tone: {path} is not 16-bit")
        first = array.array("h", w.readframes(w.getnframes()))[0::w.getnchannels()]
        rate = w.getframerate()
        return frequency(first, rate), len(loud_windows(first, rate)) / 100


recording, wanted = sys.argv[1], sys.argv[2]
times = int(sys.argv[3]) if len(sys.argv) > 3 else 0
expected, length = tone_of(wanted) if wanted.lower().endswith(".wav") else (float(wanted), 0.0)
samples = array.array("h")
with open(recording, "rb") as f:
    samples.frombytes(f.read())
left = samples[0::2]
rate = 44100
window = rate // 100
loud = loud_windows(left, rate)
if not loud:
    sys.exit("heard-tone: the recording is silent: no sample reached the sound server")
# The loud windows only, so that silence between two playings does not count.
part = array.array("h")
for i in loud:
    part.extend(left[i:i + window])
rms = math.sqrt(sum(x * x for x in part) / len(part))
heard = frequency(part, rate)
print(f"recorded {len(left) / rate:.2f} s, sound for {len(part) / rate:.2f} s at RMS {rms:.0f}, "
      f"{heard:.1f} Hz (the sound holds {expected:.1f} Hz)")
if abs(heard - expected) > 0.03 * expected:
    sys.exit("heard-tone: the recording does not hold the sound's tone")
# Stretches: runs of loud windows with less than half a second of quiet between them.
stretches = []
for i in loud:
    if stretches and i - stretches[-1][1] <= rate // 2:
        stretches[-1][1] = i + window
    else:
        stretches.append([i, i + window])
print("heard: " + ", ".join(f"{(b - a) / rate:.2f} s at {a / rate:.2f} s" for a, b in stretches))
if times and sum(1 for a, b in stretches if (b - a) / rate >= length / 3) < times:
    sys.exit(f"heard-tone: the sound, loud for {length:.2f} s, was not heard {times} times")
