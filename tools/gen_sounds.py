#!/usr/bin/env python3
"""Synthesises the alarm sounds offered in the program's "sounds" folder.

Usage (from the source tree's top folder):

    python3 tools/gen_sounds.py [--out res/sounds]

Every sound is a short 16-bit mono PCM WAVE file at 22,050 Hz, made from
sine partials with smooth attack and decay envelopes, so that any player
reads it. The tool uses Python's standard library only and writes the same
bytes on every run. The sounds are the project's own work and carry its
licence.

The files, committed under res/sounds/ and copied beside the program:

    radio-detected.wav       a radio comes into range (rising bell)
    radio-out-of-range.wav   a radio is no longer found (falling bell)
    device-connected.wav     a connection is made
    device-disconnected.wav  a connection ends
    beep.wav                 a plain double beep
    alert.wav                an insistent two-tone alert
"""

import argparse
import math
import os
import struct
import wave

RATE = 22050
PEAK = 0.6  # of full scale, so that mixed partials never clip


def tone(freq, seconds, partials=((1.0, 1.0),), attack=0.005, decay=None):
  """A note: partials are (frequency ratio, amplitude); `decay` is the time
  constant of an exponential fade, or None for a flat note with a short
  release."""
  n = int(seconds * RATE)
  out = []
  release = min(0.02, seconds / 4)
  for i in range(n):
    t = i / RATE
    env = min(1.0, t / attack) if attack > 0 else 1.0
    if decay is not None:
      env *= math.exp(-t / decay)
    left = seconds - t
    if left < release:
      env *= left / release
    v = sum(a * math.sin(2 * math.pi * freq * r * t) for r, a in partials)
    out.append(env * v)
  return out


def silence(seconds):
  return [0.0] * int(seconds * RATE)


def mix_at(track, sound, start):
  offset = int(start * RATE)
  if len(track) < offset + len(sound):
    track.extend([0.0] * (offset + len(sound) - len(track)))
  for i, v in enumerate(sound):
    track[offset + i] += v
  return track


BELL = ((1.0, 1.0), (2.0, 0.35), (3.01, 0.15), (4.2, 0.08))
SOFT = ((1.0, 1.0), (2.0, 0.2))
SQUAREISH = ((1.0, 1.0), (3.0, 0.3), (5.0, 0.15))


def chime_up():
  """Radio detected: a rising three-note bell."""
  track = []
  for k, f in enumerate((659.3, 784.0, 1046.5)):
    mix_at(track, tone(f, 0.9, BELL, decay=0.25), 0.14 * k)
  return track


def chime_down():
  """Radio out of range: the same bell, falling."""
  track = []
  for k, f in enumerate((1046.5, 784.0, 523.3)):
    mix_at(track, tone(f, 0.9, BELL, decay=0.25), 0.16 * k)
  return track


def connect():
  """Device connected: two short soft notes, up a fifth."""
  return tone(587.3, 0.12, SOFT) + silence(0.03) + tone(880.0, 0.22, SOFT, decay=0.15)


def disconnect():
  """Device disconnected: two short soft notes, down a fifth."""
  return tone(880.0, 0.12, SOFT) + silence(0.03) + tone(587.3, 0.22, SOFT, decay=0.15)


def beep():
  """A plain double beep."""
  b = tone(1000.0, 0.09, SQUAREISH)
  return b + silence(0.07) + b


def alert():
  """An insistent two-tone alert, three times."""
  track = []
  for _ in range(3):
    track += tone(988.0, 0.11, SQUAREISH) + tone(740.0, 0.11, SQUAREISH) + silence(0.05)
  return track


SOUNDS = {
    "radio-detected.wav": chime_up,
    "radio-out-of-range.wav": chime_down,
    "device-connected.wav": connect,
    "device-disconnected.wav": disconnect,
    "beep.wav": beep,
    "alert.wav": alert,
}


def write_wav(path, samples):
  peak = max(1e-9, max(abs(v) for v in samples))
  scale = PEAK * 32767 / peak
  frames = b"".join(struct.pack("<h", int(round(v * scale))) for v in samples)
  with wave.open(path, "wb") as w:
    w.setnchannels(1)
    w.setsampwidth(2)
    w.setframerate(RATE)
    w.writeframes(frames)


def main():
  parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
  parser.add_argument("--out", default=os.path.join("res", "sounds"))
  args = parser.parse_args()
  os.makedirs(args.out, exist_ok=True)
  for name, make in SOUNDS.items():
    write_wav(os.path.join(args.out, name), make())


if __name__ == "__main__":
  main()
