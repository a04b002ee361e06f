#!/usr/bin/env bash
# Idle cost of the running toolbar: CPU seconds used over 30 s with a recording loaded, the
# serial pedal connected and released and the caption scrolling, next to an empty dialog
# program measured the same way in the same session. Needs a built Windows tree.
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

# CPU seconds (user + system) of the process whose command line names $1, over $seconds.
measure() {
    local name=$1 pid='' ticks0 ticks1
    sleep 5
    # Other sessions on this machine may run the same program: take the one of our prefix.
    for pid in $(pgrep -f "$name"); do
        tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && break
        pid=
    done
    [ -n "$pid" ] || { echo "no $name process of this session" >&2; exit 1; }
    ticks0=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    sleep "$seconds"
    ticks1=$(awk '{print $14 + $15}' "/proc/$pid/stat")
    echo "scale=3; ($ticks1 - $ticks0) / $(getconf CLK_TCK)" | bc
}
"$WINE" "$bin/Quillodrome.exe" >/dev/null 2>&1 &
toolbar=$(measure 'Quillodrome.exe')
"$WINE" taskkill /im Quillodrome.exe >/dev/null 2>&1 || true
"$WINE" "$bin/empty_dialog.exe" >/dev/null 2>&1 &
empty=$(measure 'empty_dialog.exe')
"$WINE" taskkill /im empty_dialog.exe >/dev/null 2>&1 || true
sleep 1
echo "CPU over ${seconds} s: toolbar (file loaded, pedal polled, caption scrolling) ${toolbar} s; empty dialog ${empty} s"
