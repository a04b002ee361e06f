#!/usr/bin/env bash
# Runs the update loop's end-to-end test: the build's own maker's site, announcing the next
# build and carrying its update installer, served by the development update server; the test
# in a Wine session of its own.
#
#   update-loop-test.sh STATE PROGRAM SITE NEXT_INSTALLER_DIR NEXT_VERSION
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
state=$1 program=$2 site=$3 next_dir=$4 next=$5
mkdir -p "$state"
state=$(cd "$state" && pwd)
rm -rf "$state/site" "$state/session"
cp -r "$site" "$state/site"
cp "$next_dir/QuillodromeUpdateFr.exe" "$state/site/vexo/download/QuillodromeUpdateFr.exe"
sed -i "s/^program=.*/program=$next/" "$state/site/vexo/PHP/Quillodrome/version.ini"
"$root/tools/update-server.sh" start "$state/server" "$state/site"
trap '"$root/tools/update-server.sh" stop "$state/server"' EXIT
QD_UPDATE_PROXY_PORT=$(sed -n 's/^proxy=//p' "$state/server/ports") QD_NEXT_VERSION=$next \
    QD_HTTP_STATE=$state/server "$root/tools/wine-own-session.sh" "$state/session" "$program"
