#!/usr/bin/env bash
# Tries the whole update path by hand against this build: the maker's site of the build (target
# site) announces the next build (one revision later) and carries its update installer; the
# development update server (tools/update-server.sh) plays the maker's host; Quillodrome starts
# under Wine with the server's proxy and its authority trusted, and offers the update.
#
#   tools/try-update.sh
#
# On a desktop, answer the prompt and follow the installer's wizard; the script returns when the
# program and the installer have ended. On a headless machine it runs on a private display,
# saves a picture of the prompt to build/try-update/prompt.png and stops.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# shellcheck source=tools/process-lib.sh
. tools/process-lib.sh
try=$root/build/try-update

tools/install-deps.sh
configure_windows_tree build/win -DQD_BENCH=OFF
cmake --build build/win --target Quillodrome site installer_next -j "${QD_JOBS:-2}"
version=$(sed -n 's/^QD_VERSION:STRING=//p' build/win/CMakeCache.txt)
next=${version%.*}.$((${version##*.} + 1))

mkdir -p "$try"
rm -rf "$try/site"
cp -r build/win/site "$try/site"
cp build/win/tests/installer/next/QuillodromeUpdateFr.exe "$try/site/vexo/download/"
sed -i "s/^program=.*/program=$next/" "$try/site/vexo/PHP/Quillodrome/version.ini"
tools/demo-recording.sh build/demo >/dev/null

headless=1
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    export QD_DESKTOP_DISPLAY=$DISPLAY
    headless=0
fi
tools/update-server.sh start "$try/server" "$try/site"
tools/wine-session.sh start "$try/wine"
trap 'tools/wine-session.sh stop "$try/wine"; tools/update-server.sh stop "$try/server"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# shellcheck disable=SC1091
. "$try/wine/env.sh"
tools/update-server.sh trust "$try/server"
key='HKCU\Software\Brenvale\Quillodrome\Settings'
"$WINE" reg add "$key" /v Installing /t REG_DWORD /d 0 /f >/dev/null 2>&1
# Without a pedal, so that the program's own update is offered (a USB pedal that is not plugged
# in would be offered the driver first).
"$WINE" reg add "$key" /v "Port Type" /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$WINE" reg add "$key" /v Recent /t REG_SZ /d "Z:${root//\//\\}\\build\\demo\\entretien_demo.mp3" \
    /f >/dev/null 2>&1
echo "The site announces $next to this build ($version); requests: $try/server/requests.log"
# The session's environment clears any proxy: the program gets the server's here.
http_proxy=http://127.0.0.1:$(sed -n 's/^proxy=//p' "$try/server/ports") \
    "$WINE" build/win/bin/Quillodrome.exe >"$try/quillodrome.log" 2>&1 </dev/null &
pid=$!
if [ "$headless" -eq 0 ]; then
    wait "$pid" || true
    # An accepted update leaves the installer's wizard running on its own.
    read -r -p "Press Enter once the installer (if any) has ended: " _ || true
    exit 0
fi
for _ in $(seq 1 300); do
    [ "$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | wc -l)" -ge 2 ] && break
    sleep 0.1
done
sleep 0.5
import -window root "$try/prompt.png"
echo "Headless: the program's prompt is in $try/prompt.png"
close_quillodrome "$pid" try-update || exit 1
