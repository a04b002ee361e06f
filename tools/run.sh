#!/usr/bin/env bash
# Sets up, builds and starts Quillodrome under Wine with a generated French demo recording.
#
# On a desktop (DISPLAY set and reachable) the toolbar appears there and the command returns when
# it is closed. On a headless machine it runs on a private Xvfb display, saves a picture of the
# toolbar window to build/run/quillodrome.png (and of the whole screen to build/run/screen.png;
# with QD_DPI=144, say, as on a screen set to 150 %: quillodrome-144dpi.png and screen-144dpi.png),
# says where, and closes the program (QD_KEEP_RUNNING=1 keeps it running until Ctrl-C). It fails
# when no toolbar appears.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# shellcheck source=tools/process-lib.sh
. tools/process-lib.sh

tools/install-deps.sh
mkdir -p build/run
configure_windows_tree build/win -DQD_BENCH=OFF
cmake --build build/win --target Quillodrome -j "${QD_JOBS:-2}"

demo=$root/build/demo
tools/demo-recording.sh "$demo" >/dev/null

state=$root/build/run/wine
headless=1
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    export QD_DESKTOP_DISPLAY=$DISPLAY
    headless=0
fi
tools/wine-session.sh start "$state"
trap 'tools/wine-session.sh stop "$state"' EXIT
# Ctrl-C and kill end the script through its exit trap, which stops the session.
trap 'exit 130' INT
trap 'exit 143' TERM
# shellcheck disable=SC1091
. "$state/env.sh"

# The demo reopens the recording; the first-run wait is skipped once.
windemo="Z:${demo//\//\\}\\entretien_demo.mp3"
key='HKCU\Software\Brenvale\Quillodrome\Settings'
"$WINE" reg add "$key" /v Recent /t REG_SZ /d "$windemo" /f >/dev/null 2>&1
"$WINE" reg add "$key" /v Installing /t REG_DWORD /d 0 /f >/dev/null 2>&1
# QD_DPI=144 (say) shows the program as on a screen set to 150 %; the default is 96 (100 %).
"$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "${QD_DPI:-96}" /f \
    >/dev/null 2>&1
"$WINE" "$root/build/win/bin/Quillodrome.exe" >"$state/logs/quillodrome.log" 2>&1 </dev/null &
pid=$!

if [ "$headless" -eq 0 ]; then
    echo "Quillodrome runs on $DISPLAY; close its window to end."
    wait "$pid" || true
    exit 0
fi

# The toolbar is the program's only visible window (Wine marks its X windows with the process
# id); the first start in a fresh prefix may take a while on a busy machine.
window=
for _ in $(seq 1 600); do
    window=$(xdotool search --onlyvisible --pid "$pid" 2>/dev/null | head -n 1 || true)
    [ -n "$window" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if [ -z "$window" ]; then
    echo "run: Quillodrome showed no window (see $state/logs/quillodrome.log)" >&2
    exit 1
fi
sleep 1 # let the skin and the caption paint
suffix=
[ "${QD_DPI:-96}" = 96 ] || suffix=-${QD_DPI}dpi
shot=$root/build/run/quillodrome$suffix.png
import -window "$window" "$shot"
import -window root "$root/build/run/screen$suffix.png"
eval "$(xdotool getwindowgeometry --shell "$window")"
echo "Quillodrome ran on a private display (no desktop here): its ${WIDTH}x$HEIGHT toolbar at" \
    "$X,$Y; screenshot: $shot"

if [ "${QD_KEEP_RUNNING:-0}" = 1 ]; then
    echo "Running until Ctrl-C."
    wait "$pid" || true
    exit 0
fi

close_quillodrome "$pid" run || exit 1
wait "$pid" || { echo "run: Quillodrome ended with status $?" >&2; exit 1; }
