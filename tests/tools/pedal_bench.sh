#!/usr/bin/env bash
# Runs the pedal benchmark (tests/pedal/pedal_bench.cpp) of a Windows build tree inside its own
# Wine session, against the serial pedal simulator and the fake Ftd2xx.dll.
#
#   pedal_bench.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR}" && pwd)
state=$build/wine-bench
sim=$build/pedal-sim-bench
exec "$root/tools/wine-session.sh" run "$state" bash -c '
    set -e
    /usr/bin/python3 "$0/tests/tools/pedal_sim.py" start "$2" "$WINEPREFIX"
    trap "/usr/bin/python3 \"$0/tests/tools/pedal_sim.py\" stop \"$2\"" EXIT
    QD_PEDAL_SIM=$2 QD_FAKE_FTD2XX=$1/fake_ftd2xx "$0/tools/wine-run.sh" "$QD_WINE_STATE" \
        "$1/bin/pedal_bench.exe"
' "$root" "$build" "$sim"
