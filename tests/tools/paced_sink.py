#!/usr/bin/python3
"""A sound device that takes samples at the real rate: reads a FIFO (where ALSA's file plugin
writes Wine's mixed stream, 48 kHz stereo 32-bit float) at exactly 48 000 frames a second and
writes each piece to OUT with, in OUT.times, the raw monotonic time at which it was taken.

    paced_sink.py FIFO OUT      (runs until killed)

The pipe is made as small as Linux allows, so that it adds little more than one device period.
"""
import fcntl
import os
import signal
import sys
import time

FRAME = 8
RATE = 48000
PIECE = 120  # frames: 2.5 ms
F_SETPIPE_SZ = 1031

fifo, out_path = sys.argv[1], sys.argv[2]
fd = os.open(fifo, os.O_RDWR)  # keeps the pipe open whoever writes
try:
    fcntl.fcntl(fd, F_SETPIPE_SZ, 4096)
except OSError:
    pass
clock = time.CLOCK_MONOTONIC_RAW
signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
with open(out_path, "wb") as out, open(out_path + ".times", "w") as times:
    start = time.clock_gettime(clock)
    n = 0
    while True:
        due = start + n * PIECE / RATE
        now = time.clock_gettime(clock)
        if due > now:
            time.sleep(due - now)
        data = b""
        while len(data) < PIECE * FRAME:
            data += os.read(fd, PIECE * FRAME - len(data))
        taken = time.clock_gettime(clock)
        # Nothing came for a while (no stream open): the real rate starts again from here.
        if taken - due > 0.05:
            start, n = taken, 0
        out.write(data)
        times.write(f"{taken:.6f}\n")
        n += 1
        if n % 40 == 0:
            out.flush()
            times.flush()
