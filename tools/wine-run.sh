#!/usr/bin/env bash
# Runs one Windows program inside the test session whose state folder is $1 (CTest's emulator).
# QD_TEST_HOME, when set, replaces the session's HOME (the capture tests use one whose ALSA
# default device records to a file).
set -euo pipefail
state=$1
shift
if [ ! -f "$state/env.sh" ]; then
    echo "wine-run: no Wine session in $state; start one with tools/wine-session.sh start $state" >&2
    exit 2
fi
# shellcheck disable=SC1091
. "$state/env.sh"
if [ -n "${QD_TEST_HOME:-}" ]; then
    export HOME="$state/$QD_TEST_HOME"
fi
# Wine's background services (the desktop process among them) inherit the standard handles of
# the program that started them and may outlive it by many seconds: give the program a file,
# not our caller's pipe, and pass its output on when it ends.
out=$(mktemp "$state/run.XXXXXX")
trap 'rm -f "$out"' EXIT
set +e
"$WINE" "$@" >"$out" 2>&1 </dev/null
rc=$?
set -e
cat "$out"
exit $rc
