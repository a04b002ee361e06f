#!/usr/bin/env bash
# Runs the update check's end-to-end test: the development update server (tools/update-server.sh)
# on a site folder the test fills, and the test in a Wine session of its own.
#
#   update-test.sh STATE PROGRAM
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
state=$1
program=$2
mkdir -p "$state/server" "$state/site"
state=$(cd "$state" && pwd)
rm -rf "${state:?}/site"/*
"$root/tools/update-server.sh" start "$state/server" "$state/site"
trap '"$root/tools/update-server.sh" stop "$state/server"' EXIT
# The test trusts the server's authority itself, from $QD_HTTP_STATE/ca.der.
QD_UPDATE_STATE=$state/server QD_UPDATE_SITE=$state/site QD_HTTP_STATE=$state/server \
    "$root/tools/wine-own-session.sh" "$state/session" "$program"
