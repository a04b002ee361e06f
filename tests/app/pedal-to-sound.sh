#!/usr/bin/env bash
# What the typist hears: the real Quillodrome.exe with the serial pedal simulator on COM5 and a
# sound device that takes samples at the real rate (tests/tools/paced_sink.py behind ALSA's file
# plugin), playing a steady tone. From the switch closing to the first non-silent sample reaching
# the device, and from the switch opening to the last one, over presses at random moments, so
# that they fall at every phase of the toolbar's timer. Both ends are on the host's raw monotonic
# clock: the switch's moment is the simulator's acknowledgement, the sound's the time the sink
# took the piece that holds the sample (plus the sample's place in it).
#
# Then a few presses after the switch has rested released for over 30 s, when the pedal's
# reader probes at its slower pace.
#
#   pedal-to-sound.sh WINDOWS_BUILD [PRESSES [RESTED]]      (16 and 3 when not given)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
win=$(cd "$1" && pwd)
presses=${2:-16}
rested=${3:-3}
state=$win/pedal-sound-session
sim=$win/pedal-sound-sim
sink_pid=
app_pid=

stop() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
    [ -n "$sink_pid" ] && kill "$sink_pid" 2>/dev/null && wait "$sink_pid" 2>/dev/null
    /usr/bin/python3 "$root/tests/tools/pedal_sim.py" stop "$sim"
    "$root/tools/wine-session.sh" stop "$state"
}
"$root/tools/wine-session.sh" start "$state" >/dev/null
trap stop EXIT
/usr/bin/python3 "$root/tests/tools/pedal_sim.py" start "$sim" "$state/prefix"

rm -f "$state/switch.txt"
# shellcheck source=tests/tools/paced-device.sh
. "$root/tests/tools/paced-device.sh"
start_paced_device "$root" "$state"

# Loud all the way, so that its first and last non-silent samples are where playback starts and
# stops: five minutes of 440 Hz at half scale.
tone=$state/tone.wav
sox -n -r 44100 -c 1 -b 16 "$tone" synth 300 sine 440 vol 0.5

# shellcheck disable=SC1091
. "$state/env.sh"
"$WINE" reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$sim/com5" /f >/dev/null 2>&1
key='HKCU\Software\Brenvale\Quillodrome\Settings'
"$WINE" reg add "$key" /v Installing /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$WINE" reg add "$key" /v "Port Type" /t REG_DWORD /d 1 /f >/dev/null 2>&1
"$WINE" reg add "$key" /v "Port Num" /t REG_DWORD /d 4 /f >/dev/null 2>&1
"$WINE" reg add "$key" /v "Auto Rewind" /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$WINE" reg add "$key" /v Recent /t REG_SZ /d "Z:${tone//\//\\}" /f >/dev/null 2>&1

# The port exists before the program looks for it.
/usr/bin/python3 - "$sim" <<'PY'
import socket, sys
s = socket.create_connection(("127.0.0.1", int(open(sys.argv[1] + "/port").read())))
s.sendall(b"open 5\n")
reply = s.recv(200).decode().strip()
if not reply.startswith("ok"):
    sys.exit("simulator: " + reply)
PY
"$WINE" "$win/bin/Quillodrome.exe" >"$state/logs/quillodrome.log" 2>&1 &
app_pid=$!

# The presses: one to warm up, then PRESSES, each held 0.6 to 1.2 s after a pause of 0.6 to
# 1.2 s, then RESTED after 31 to 32 s each. Each line of switch.txt: "press|release SENT
# ACKNOWLEDGED PAUSE" (CLOCK_MONOTONIC_RAW, the sink's clock; PAUSE "short" or "rested").
/usr/bin/python3 - "$sim" "$presses" "$rested" "$state/switch.txt" <<'PY'
import random, socket, sys, time

sim, presses, rested, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
clock = time.CLOCK_MONOTONIC_RAW
s = socket.create_connection(("127.0.0.1", int(open(sim + "/port").read())))
s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
f = s.makefile("rw")

def ask(line):
    f.write(line + "\n")
    f.flush()
    return f.readline().strip()

# The pedal's reader runs once the program writes to the port (it polls by writing a byte the
# closed switch sends back).
deadline = time.monotonic() + 60
while ask("received 5").split()[1] == "0":
    if time.monotonic() > deadline:
        sys.exit("the program never wrote to COM5")
    time.sleep(0.2)
time.sleep(3)
rng = random.Random()
with open(out, "w") as log:
    for n in range(presses + 1 + rested):
        pause = "short" if n <= presses else "rested"
        time.sleep(rng.uniform(0.6, 1.2) if pause == "short" else rng.uniform(31, 32))
        for what, hold in (("press", rng.uniform(0.6, 1.2)), ("release", 0)):
            sent = time.clock_gettime(clock)
            reply = ask(f"{what} 5")
            acked = time.clock_gettime(clock)
            if reply != "ok":
                sys.exit(f"simulator: {what}: {reply}")
            log.write(f"{what} {sent:.6f} {acked:.6f} {pause}\n")
            time.sleep(hold)
PY
sleep 1
"$WINE" taskkill /im Quillodrome.exe >/dev/null 2>&1 || true
wait "$app_pid" 2>/dev/null || true
app_pid=
kill "$sink_pid"
wait "$sink_pid" 2>/dev/null || true
sink_pid=

/usr/bin/python3 - "$state/sink.raw" "$state/switch.txt" <<'PY'
import statistics, struct, sys

raw, switch = sys.argv[1], sys.argv[2]
RATE, PIECE, LOUD = 48000, 120, 0.01
times = [float(t) for t in open(raw + ".times")]
data = open(raw, "rb").read()
# Per piece: the time the sink took it, and the first and last frame with a loud channel.
pieces = []
for k, t in enumerate(times):
    chunk = struct.unpack_from("<%df" % (2 * PIECE), data, k * PIECE * 8)
    loud = [i // 2 for i, v in enumerate(chunk) if abs(v) > LOUD]
    pieces.append((t, loud[0] if loud else None, loud[-1] if loud else None))

events = [(w, float(a), float(b), p) for w, a, b, p in (line.split() for line in open(switch))]
press, release, lost = [], [], 0
rested = {"press": [], "release": []}
for i, (what, sent, acked, pause) in enumerate(events):
    end = events[i + 1][1] if i + 1 < len(events) else sent + 1.0
    if what == "press":
        # The first loud sample of a piece taken after the request went out.
        heard = next((t + first / RATE for t, first, _ in pieces
                      if sent <= t < end and first is not None), None)
        value = None if heard is None else (heard - acked) * 1000
        target = press
    else:
        heard = [t + (last + 1) / RATE for t, _, last in pieces
                 if sent - 1.0 <= t < end and last is not None]
        # Silence must have come before the next press.
        value = (heard[-1] - acked) * 1000 if heard else None
        target = release
    if i < 2:
        if value is not None:
            print(f"first {what} (warming up, not counted): {value:.1f} ms")
        continue
    if value is None:
        lost += 1
    elif pause == "rested":
        rested[what].append(value)
    else:
        target.append(value)

def line(name, v):
    if not v:
        return f"{name}  n=0: nothing heard"
    return "%s  n=%d  min %.1f  median %.1f  max %.1f ms" % (
        name, len(v), min(v), statistics.median(v), max(v))

print(line("switch closed to sound   ", press))
print(line("switch opened to silence ", release))
if rested["press"]:
    print(line("after 30 s at rest, switch closed to sound  ", rested["press"]))
    print(line("after 30 s at rest, switch opened to silence", rested["release"]))
gaps = [(b - a) * 1000 for _, a, b, _ in events]
print("simulator request to acknowledgement: median %.2f ms, max %.2f ms" % (
    statistics.median(gaps), max(gaps)))
if lost:
    print(f"{lost} switch changes without a change of sound")
PY
