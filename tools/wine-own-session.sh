#!/usr/bin/env bash
# Runs one Windows test program in a Wine session of its own (prefix, wineserver, Xvfb with
# openbox) with a serial pedal simulator mapped into that prefix, then stops both.
#
#   wine-own-session.sh STATE PROGRAM [ARGS…]
#
# For the end-to-end tests that start the real program many times: whatever those runs leave
# behind in their wineserver cannot reach the other tests' shared session, and their mouse
# input lands on a display nobody else uses. QD_PEDAL_SIM is set for the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
state=$1
shift
mkdir -p "$state"
state=$(cd "$state" && pwd)
sim=$state/pedal-sim
"$root/tools/wine-session.sh" start "$state/wine" >/dev/null
stop() {
    /usr/bin/python3 "$root/tests/tools/pedal_sim.py" stop "$sim" >/dev/null 2>&1 || true
    "$root/tools/wine-session.sh" stop "$state/wine"
}
trap stop EXIT
/usr/bin/python3 "$root/tests/tools/pedal_sim.py" start "$sim" "$state/wine/prefix"
export QD_PEDAL_SIM=$sim
"$root/tools/wine-run.sh" "$state/wine" "$@"
