#!/usr/bin/env bash
# Takes the pictures of the help pages (site/vexo/recherche/projets/Quillodrome/images/) from
# the real program under Wine on a private display: the toolbar with the demo recording and a
# simulated serial pedal on COM1, the pedal settings dialog (OPTION) with the pedal held down,
# and the About box; the pedal lamp and pin images come from the program's own art, enlarged.
#
#   tools/site-screenshots.sh      (builds Quillodrome.exe first when it is missing)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
# shellcheck source=tools/process-lib.sh
. tools/process-lib.sh
out=$root/site/vexo/recherche/projets/Quillodrome/images
work=$root/build/site-shots
mkdir -p "$out" "$work"

if [ ! -x build/win/bin/Quillodrome.exe ]; then
    configure_windows_tree build/win -DQD_BENCH=OFF
    cmake --build build/win --target Quillodrome -j "${QD_JOBS:-2}"
fi
recording=$(tools/demo-recording.sh "$root/build/demo")

# The lamp and pin images, four times their size with their pixels kept sharp.
for art in pedal_up pedal_down no_pedal top_on top_off; do
    convert "res/art/$art.bmp" -filter point -resize 400% -strip \
        -define png:exclude-chunk=date,time "$out/$art.png"
done

state=$work/wine
pedal=$work/pedal
tools/wine-session.sh start "$state" >/dev/null
cleanup() {
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
    tests/tools/pedal_sim.py stop "$pedal" || true
    tools/wine-session.sh stop "$state"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# shellcheck disable=SC1091
. "$state/env.sh"

# The simulated pedal, steered one line at a time over its control port.
tests/tools/pedal_sim.py start "$pedal" "$WINEPREFIX"
pedal_say() {
    local answer
    exec 3<>"/dev/tcp/127.0.0.1/$(cat "$pedal/port")"
    echo "$1" >&3
    read -r answer <&3
    exec 3<&-
    echo "$answer"
}
com1=$(pedal_say "open 1" | sed -n 's/^ok //p')
[ -n "$com1" ] || { echo "site-screenshots: the pedal simulator made no COM1" >&2; exit 1; }
"$WINE" reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$com1" /f >/dev/null 2>&1

# The recording where a typist would keep it, so that the caption shows a plain Windows path.
mkdir -p "$WINEPREFIX/drive_c/Transcriptions"
cp "$recording" "$WINEPREFIX/drive_c/Transcriptions/entretien_03.mp3"
windemo='C:\Transcriptions\entretien_03.mp3'
key='HKCU\Software\Brenvale\Quillodrome\Settings'
"$WINE" reg add "$key" /v Recent /t REG_SZ /d "$windemo" /f >/dev/null 2>&1
# Position in tenths of a second.
for value in "Position 124" "Installing 0" "Port Type 1" "Port Num 0" "Auto Rewind 20" "Allways Top 1" \
    "Volume 3600"; do
    "$WINE" reg add "$key" /v "${value% *}" /t REG_DWORD /d "${value##* }" /f >/dev/null 2>&1
done

"$WINE" build/win/bin/Quillodrome.exe >"$state/logs/quillodrome.log" 2>&1 </dev/null &
pid=$!

wait_window() { # TITLE (a regular expression): the program's visible window with that title
    local w=
    for _ in $(seq 1 300); do
        w=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n 1 || true)
        # Windows of the start-up come and go: take one that is still there a moment later.
        if [ -n "$w" ]; then
            sleep 0.3
            xwininfo -id "$w" >/dev/null 2>&1 && { echo "$w"; return 0; }
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "site-screenshots: no window \"$1\" (see $state/logs)" >&2
    return 1
}
# A dialog with its frame and title, as the window manager draws it.
shoot_frame() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    local frame
    frame=$(xwininfo -id "$1" -children | sed -n 's/^  Parent window id: \(0x[0-9a-f]*\).*/\1/p')
    import -window "${frame:-$1}" "$2"
}

toolbar=$(wait_window "^Quillodrome C:")
sleep 2 # the skin, the caption and the first pedal readings
import -window "$toolbar" "$out/toolbar.png"

# OPTION, then the pedal held down so that the dialog's lamp lights.
xdotool mousemove --window "$toolbar" 77 13 click 1
settings=$(wait_window "^Réglages$")
pedal_say "press 1" >/dev/null
sleep 1
shoot_frame "$settings" "$out/reglages.png"
pedal_say "release 1" >/dev/null
xdotool key --window "$settings" Escape
sleep 1

xdotool mousemove --window "$toolbar" 131 13 click 1
about=$(wait_window "^About Quillodrome$")
sleep 1
shoot_frame "$about" "$out/a-propos.png"
xdotool key --window "$about" Return
sleep 0.5
xdotool key --window "$toolbar" Escape
wait "$pid" 2>/dev/null || true
pid=
# Without time stamps, a picture that did not change stays byte for byte the same.
mogrify -strip -define png:exclude-chunk=date,time "$out"/*.png
echo "site-screenshots: pictures in $out"
