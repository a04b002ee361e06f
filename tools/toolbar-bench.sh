#!/usr/bin/env bash
# Idle cost of the running toolbar: CPU seconds used over 30 s with a recording loaded, the
# serial pedal connected and released and the caption scrolling, next to an empty dialog
# program measured the same way in the same session; each with the session's wineserver, Xvfb
# and other Wine processes. Then the toolbar without a recording (the pedal not read) and, when
# QD_BASELINE_BIN names the folder of a program built before the pedal had a reader of its own,
# that program as the first. Needs a built Windows tree.
#
#   toolbar-bench.sh [BUILD_DIR]    (build/win when not given)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(cd "${1:-build/win}" && pwd)
bin=$build/bin
state=$root/build/bench/wine
sim=$root/build/bench/pedal-sim
seconds=${QD_BENCH_SECONDS:-30}
tools/wine-session.sh start "$state" >/dev/null
/usr/bin/python3 tests/tools/pedal_sim.py start "$sim" "$state/prefix"
trap '/usr/bin/python3 tests/tools/pedal_sim.py stop "$sim"; tools/wine-session.sh stop "$state"' EXIT
# shellcheck disable=SC1091
. "$state/env.sh"
# COM5 through the simulator, as the tests map it.
/usr/bin/python3 - "$sim" <<'PY'
import socket, sys
port = int(open(sys.argv[1] + "/port").read())
s = socket.create_connection(("127.0.0.1", port))
s.sendall(b"open 5\n")
print("simulator:", s.recv(200).decode().strip())
PY
"$WINE" reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$sim/com5" /f >/dev/null 2>&1
key='HKCU\Software\Brenvale\Quillodrome\Settings'
fixture=$build/tests/app/fixtures/interview.wav
"$WINE" reg add "$key" /v Installing /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$WINE" reg add "$key" /v "Port Type" /t REG_DWORD /d 1 /f >/dev/null 2>&1
"$WINE" reg add "$key" /v "Port Num" /t REG_DWORD /d 4 /f >/dev/null 2>&1
"$WINE" reg add "$key" /v Recent /t REG_SZ /d "Z:${fixture//\//\\}" /f >/dev/null 2>&1

# CPU seconds (user + system) over $seconds: "PROGRAM WINESERVER XVFB OTHERS", the process whose
# command line names $1, the session's wineserver, its Xvfb and the session's other Wine
# processes (services, explorer).
measure() {
    local name=$1 pid='' p f server='' others=() xvfb
    # Past the start, and past the 30 s after which the pedal's reader, the pedal at rest,
    # polls at its quiet pace.
    sleep "${QD_BENCH_SETTLE:-35}"
    # Other sessions on this machine may run the same program: take the one of our prefix.
    for p in $(pgrep -f "$name"); do
        tr '\0' '\n' 2>/dev/null <"/proc/$p/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && pid=$p && break
    done
    [ -n "$pid" ] || { echo "no $name process of this session" >&2; exit 1; }
    for f in /proc/[0-9]*/environ; do
        p=${f#/proc/}
        p=${p%/environ}
        [ "$p" = "$pid" ] && continue
        tr '\0' '\n' 2>/dev/null <"$f" | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
        case "$(cat "/proc/$p/comm" 2>/dev/null)" in
            wineserver*) server=$p ;;
            *) others+=("$p") ;;
        esac
    done
    xvfb=$(cat "$state/xvfb.pid")
    ticks() { local t=0 q; for q in "$@"; do t=$((t + $(awk '{print $14 + $15}' "/proc/$q/stat" 2>/dev/null || echo 0))); done; echo "$t"; }
    local a0 b0 c0 d0 a1 b1 c1 d1
    a0=$(ticks "$pid") b0=$(ticks ${server:+"$server"}) c0=$(ticks "$xvfb") d0=$(ticks "${others[@]}")
    sleep "$seconds"
    a1=$(ticks "$pid") b1=$(ticks ${server:+"$server"}) c1=$(ticks "$xvfb") d1=$(ticks "${others[@]}")
    local hz
    hz=$(getconf CLK_TCK)
    echo "scale=3; ($a1 - $a0) / $hz; ($b1 - $b0) / $hz; ($c1 - $c0) / $hz; ($d1 - $d0) / $hz" | bc | tr '\n' ' '
}
# One program's run: its figures, then it is ended.
run_measured() {
    local exe=$1 name=$2 figures
    "$WINE" "$exe" >/dev/null 2>&1 &
    figures=$(measure "$name")
    "$WINE" taskkill /im "$name" >/dev/null 2>&1 || true
    sleep 1
    echo "$figures"
}
session_line() {
    local what=$1
    shift
    echo "session CPU over ${seconds} s, $what: program $1 s; wineserver $2 s; xvfb $3 s; other wine $4 s"
}
read -r -a toolbar < <(run_measured "$bin/Quillodrome.exe" Quillodrome.exe)
read -r -a empty < <(run_measured "$bin/empty_dialog.exe" empty_dialog.exe)
echo "CPU over ${seconds} s: toolbar (file loaded, pedal polled, caption scrolling) ${toolbar[0]} s; empty dialog ${empty[0]} s"
session_line "recording loaded, serial pedal released and read" "${toolbar[@]}"
session_line "empty dialog" "${empty[@]}"
# No recording: the pedal is connected but not read.
"$WINE" reg add "$key" /v Recent /t REG_SZ /d "" /f >/dev/null 2>&1
read -r -a idle < <(run_measured "$bin/Quillodrome.exe" Quillodrome.exe)
session_line "no recording, serial pedal connected" "${idle[@]}"
# The program as it was before the pedal had a reader of its own (tools/bench.sh builds it).
if [ -n "${QD_BASELINE_BIN:-}" ] && [ -f "$QD_BASELINE_BIN/Quillodrome.exe" ]; then
    "$WINE" reg add "$key" /v Recent /t REG_SZ /d "Z:${fixture//\//\\}" /f >/dev/null 2>&1
    read -r -a before < <(run_measured "$QD_BASELINE_BIN/Quillodrome.exe" Quillodrome.exe)
    session_line "recording loaded, serial pedal released, loop of ticks" "${before[@]}"
fi
