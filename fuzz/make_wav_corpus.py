#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_wav: small WAV files of the layouts the
loader meets (plain, odd chunk order, extensible format, short or lying
headers, unplayable rates). Run from the repository: fuzz/make_wav_corpus.py"""
import math
import os
import struct

out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "wav")
os.makedirs(out, exist_ok=True)


def chunk(tag, payload):
    return tag + struct.pack("<I", len(payload)) + payload + (b"\0" if len(payload) % 2 else b"")


def fmt(channels, rate, bits, tag=1, extra=b""):
    align = channels * max(bits // 8, 1)
    body = struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits)
    if extra:
        body += struct.pack("<H", len(extra)) + extra
    return chunk(b"fmt ", body)


def riff(*chunks):
    body = b"WAVE" + b"".join(chunks)
    return b"RIFF" + struct.pack("<I", len(body)) + body


def tone(frames, channels, bits, rate, freq=440.0):
    samples = []
    for i in range(frames):
        v = math.sin(2 * math.pi * freq * i / rate)
        for _ in range(channels):
            if bits == 8:
                samples.append(struct.pack("<B", int(128 + 100 * v)))
            elif bits == 16:
                samples.append(struct.pack("<h", int(20000 * v)))
            else:
                samples.append(struct.pack("<i", int(2e6 * v))[:3])
    return b"".join(samples)


files = {
    "mono8_8k.wav": riff(fmt(1, 8000, 8), chunk(b"data", tone(400, 1, 8, 8000))),
    "stereo16_44k.wav": riff(fmt(2, 44100, 16), chunk(b"data", tone(300, 2, 16, 44100))),
    "list_before_data.wav": riff(fmt(1, 22050, 16), chunk(b"LIST", b"INFOISFT\x06\0\0\0mk 01\0"),
                                 chunk(b"data", tone(200, 1, 16, 22050))),
    "extensible24.wav": riff(fmt(2, 48000, 24, tag=0xFFFE,
                                 extra=struct.pack("<HI", 24, 3) + b"\x01\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71"),
                             chunk(b"data", tone(100, 2, 24, 48000))),
    "data_longer_than_file.wav": riff(fmt(2, 44100, 16))
    + b"data" + struct.pack("<I", 617400) + tone(100, 2, 16, 44100),
    "no_samples.wav": riff(fmt(1, 44100, 16), chunk(b"data", b"")),
    "rate_1hz.wav": riff(fmt(1, 1, 8), chunk(b"data", tone(16, 1, 8, 8000))),
    "truncated_header.wav": riff(fmt(2, 44100, 16))[:30],
    "not_riff.wav": b"RIFX" + riff(fmt(1, 8000, 8), chunk(b"data", tone(32, 1, 8, 8000)))[4:],
}
for name, data in files.items():
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)
