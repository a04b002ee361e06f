#!/usr/bin/env bash
# Press to sound and release to silence, the audio engine beside the DirectShow player, the
# engine's clock against real time and the processor time while playing, under Wine with a sound device that takes samples at the
# real rate (tests/tools/paced_sink.py behind ALSA's file plugin; ALSA's null device does not
# pace). Prints the medians; tools/bench.sh keeps them in docs/performance.md.
#
#   press-latency.sh WINDOWS_BUILD RECORDING
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
win=$(cd "$1" && pwd)
recording=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
state=$win/latency-session
sink_pid=

stop() {
    [ -n "$sink_pid" ] && kill "$sink_pid" 2>/dev/null && wait "$sink_pid" 2>/dev/null
    "$root/tools/wine-session.sh" stop "$state"
}
"$root/tools/wine-session.sh" start "$state" >/dev/null
trap stop EXIT
rm -f "$state/calls.txt"
# shellcheck source=tests/tools/paced-device.sh
. "$root/tests/tools/paced-device.sh"
start_paced_device "$root" "$state"

# shellcheck disable=SC1091
. "$state/env.sh"
winpath() { printf 'Z:%s' "${1//\//\\}"; }
# The session's wineserver, whose processor time the bench counts apart from the program's.
for f in /proc/[0-9]*/comm; do
    grep -q '^wineserver' "$f" 2>/dev/null || continue
    pid=${f#/proc/}
    pid=${pid%/comm}
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
        export QD_WINESERVER_PID=$pid
done
"$WINE" "$win/bin/press_latency_bench.exe" "$(winpath "$recording")" \
    "$(winpath "$state/calls.txt")" >"$state/logs/press-latency.log" 2>&1
sleep 0.5
kill "$sink_pid"
wait "$sink_pid" 2>/dev/null || true
sink_pid=

/usr/bin/python3 - "$state/sink.raw" "$state/calls.txt" <<'PY'
import statistics, struct, sys

raw, calls = sys.argv[1], sys.argv[2]
times = [float(t) for t in open(raw + ".times")]
data = open(raw, "rb").read()
piece = 120
loud = []  # (time, is the piece loud)
for k, t in enumerate(times):
    chunk = struct.unpack_from("<%df" % (2 * piece), data, k * piece * 8)
    loud.append((t, max(abs(v) for v in chunk) > 0.01))

def first_loud_after(t):
    return next((s for s, l in loud if s >= t and l), None)

def last_loud_before(t0, t1):
    heard = [s for s, l in loud if t0 <= s < t1 and l]
    return heard[-1] if heard else None

events, clock = [], None
for line in open(calls):
    parts = line.split()
    if parts[0] == "clock":
        clock = float(parts[1])
    else:
        events.append((parts[0], parts[1], float(parts[2])))
for player in ("engine", "dshow"):
    ev = [e for e in events if e[0] == player]
    press, release = [], []
    for i, (_, what, t) in enumerate(ev):
        end = ev[i + 1][2] if i + 1 < len(ev) else t + 0.5
        if what == "play":
            s = first_loud_after(t)
            if s is not None and s < end:
                press.append((s - t) * 1000)
        else:
            s = last_loud_before(t - 1.0, end)
            if s is not None:
                release.append(max(0.0, s - t) * 1000)
    fmt = lambda v: "%.0f ms (n=%d, min %.0f, max %.0f)" % (
        statistics.median(v), len(v), min(v), max(v)) if v else "no sound heard"
    name = "audio engine" if player == "engine" else "DirectShow"
    print(f"{name}: press to sound {fmt(press)}; release to silence {fmt(release)}")
if clock is not None:
    print(f"audio engine clock at 150 %: {clock:.3f} x the speed in real time")
PY
grep -E '^(cpu while playing|longest call)' "$state/logs/press-latency.log" | tr -d '\r'
