#!/usr/bin/env bash
# A private Windows run-time for the tests and the demo: a fresh Wine prefix and HOME under a
# state folder, Xvfb on a display number of its own choosing with openbox (so that topmost
# windows and frames behave as on a desktop), a null ALSA output, and a persistent wineserver.
#
#   wine-session.sh start STATE     make everything fresh and start the servers
#   wine-session.sh stop STATE      stop what start started, by process id
#   wine-session.sh run STATE CMD…  start, run CMD with the session's environment, stop
#
# STATE/env.sh holds the environment a Windows program of the session needs.
set -euo pipefail

WINE=${WINE:-/usr/lib/wine/wine64}
WINESERVER=${WINESERVER:-/usr/lib/wine/wineserver64}
[ -x "$WINE" ] || WINE=$(command -v wine64 || command -v wine)
[ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)

die() { echo "wine-session: $*" >&2; exit 1; }

stop_session() {
    local state=$1
    [ -f "$state/env.sh" ] || return 0
    # The prefix's processes are found by its absolute path.
    state=$(cd "$state" && pwd)
    # shellcheck disable=SC1091
    (. "$state/env.sh"; "$WINESERVER" -k >/dev/null 2>&1 || true)
    prefix_pids "$state/prefix" >>"$state/pids"
    if [ -f "$state/pids" ]; then
        while read -r pid; do
            [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
        done <"$state/pids"
        sleep 0.3
        while read -r pid; do
            [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
        done <"$state/pids"
        rm -f "$state/pids"
    fi
    if [ -f "$state/display" ]; then
        # A server killed outright leaves its lock and socket behind; remove them only while
        # the lock still names our server, which is gone by now.
        local n xpid
        n=$(cat "$state/display")
        xpid=$(cat "$state/xvfb.pid" 2>/dev/null || true)
        if [ -n "$xpid" ] && [ "$(tr -d ' ' 2>/dev/null <"/tmp/.X$n-lock")" = "$xpid" ] &&
            ! kill -0 "$xpid" 2>/dev/null; then
            rm -f "/tmp/.X$n-lock" "/tmp/.X11-unix/X$n"
        fi
        rm -f "$state/display" "$state/xvfb.pid"
    fi
    rm -f "$state/env.sh"
}

start_session() {
    local state=$1
    mkdir -p "$state"
    state=$(cd "$state" && pwd)
    stop_session "$state"
    rm -rf "$state/prefix" "$state/home" "$state/capture-home"
    mkdir -p "$state/home" "$state/capture-home" "$state/logs"
    : >"$state/pids"

    # Wine mixes into ALSA's default device: a null sink normally, a raw capture file for the
    # tests that listen to what the player produces. Each sound stream opens the device anew,
    # and the file plugin would empty its file then: the capture is appended to through a pipe,
    # so that offsets taken before a player opens a stream stay valid.
    printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' >"$state/home/.asoundrc"
    printf 'pcm.!default { type file slave.pcm "null" file "|cat >>%s/capture.raw" format "raw" }\n' \
        "$state" >"$state/capture-home/.asoundrc"

    local n display xauth=
    if [ -n "${QD_DESKTOP_DISPLAY:-}" ]; then
        # A real desktop: show the program there, with the desktop's own window manager. The
        # session's HOME hides the desktop's cookie file, so it is named explicitly.
        display=$QD_DESKTOP_DISPLAY
        xauth=${XAUTHORITY:-$HOME/.Xauthority}
    else
        # The server takes the first free display number itself and writes it to the file
        # once it accepts connections: no race with other sessions choosing a number.
        rm -f "$state/displayfd"
        Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -ac \
            3>"$state/displayfd" >"$state/logs/xvfb.log" 2>&1 &
        echo $! >>"$state/pids"
        echo $! >"$state/xvfb.pid"
        for _ in $(seq 1 200); do
            grep -q '^[0-9][0-9]*$' "$state/displayfd" 2>/dev/null && break
            kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null || break
            sleep 0.05
        done
        n=$(grep -m1 '^[0-9][0-9]*$' "$state/displayfd" 2>/dev/null) ||
            die "Xvfb did not start (see $state/logs/xvfb.log)"
        echo "$n" >"$state/display"
        display=":$n"
        DISPLAY=$display openbox --sm-disable >"$state/logs/openbox.log" 2>&1 &
        echo $! >>"$state/pids"
    fi

    # Wine's debugger is kept from starting: on a crash it waits for ever for someone to use
    # it, so a test that crashed ran into CTest's timeout instead of failing at once.
    cat >"$state/env.sh" <<ENV
export QD_WINE_STATE='$state'
export WINE='$WINE'
export WINESERVER='$WINESERVER'
export WINEPREFIX='$state/prefix'
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES='mscoree,mshtml,winemenubuilder.exe,winedbg.exe='
export DISPLAY='$display'
${xauth:+export XAUTHORITY='$xauth'}
export HOME='$state/home'
export XDG_RUNTIME_DIR='$state/home'
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy
ENV
    # shellcheck disable=SC1091
    . "$state/env.sh"
    mkdir -p "$WINEPREFIX"
    # A persistent server: each Windows process then starts in tens of milliseconds.
    "$WINESERVER" -p >"$state/logs/wineserver.log" 2>&1
    "$WINE" wineboot -i >"$state/logs/wineboot.log" 2>&1 || die "wineboot failed (see $state/logs/wineboot.log)"
    # Dialogs use "MS Shell Dlg", that is Tahoma. Without a Tahoma of its own the prefix falls
    # back to a wider system font and every dialog unit grows from 6 to 7 pixels; Wine's own
    # Tahoma has the metrics of the Windows one.
    local fonts
    for fonts in /usr/share/wine/fonts /usr/lib/wine/fonts; do
        if ls "$fonts"/tahoma*.ttf >/dev/null 2>&1; then
            cp "$fonts"/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
            break
        fi
    done
    # Wine's Tahoma has Latin and Cyrillic only; Windows' has Greek and falls back to the system's
    # East Asian fonts. Linking it to the Debian fonts tools/install-deps.sh installs shows a file
    # name in Greek or Japanese as letters rather than boxes.
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
        /v Tahoma /t REG_MULTI_SZ /f \
        /d 'DejaVuSans.ttf,DejaVu Sans\0fonts-japanese-gothic.ttf,VL Gothic' >/dev/null 2>&1 ||
        die "the font link was not set"
    # The session's desktop (explorer) closes once no program has used it for a while, and the
    # next program starts a new one; a low-level keyboard hook set after that sees none of
    # SendInput's keys. A console program waiting for ever on a pipe keeps the first desktop:
    # cmd.exe loads user32, which attaches it. It has no window, and the stop ends it with the
    # rest of the prefix (the sleep carries the session's environment too).
    (sleep infinity | "$WINE" cmd /c pause) </dev/null >/dev/null 2>&1 &
}

# Every process of the session's prefix (the wineserver, Wine's services, test programs).
prefix_pids() {
    local prefix=$1 f pid
    # This script and whoever called it may carry the session's environment too.
    local self=" $$ " p=$$
    while [ "$p" -gt 1 ] 2>/dev/null; do
        p=$(awk '{print $4}' "/proc/$p/stat" 2>/dev/null || echo 1)
        self+="$p "
    done
    for f in /proc/[0-9]*/environ; do
        pid=${f#/proc/}
        pid=${pid%/environ}
        case "$self" in *" $pid "*) continue ;; esac
        tr '\0' '\n' 2>/dev/null <"$f" | grep -qxF "WINEPREFIX=$prefix" && echo "$pid"
    done
    return 0
}

cmd=${1:-}
state=${2:-}
[ -n "$cmd" ] && [ -n "$state" ] || die "usage: $0 start|stop|run STATE [CMD…]"
case "$cmd" in
start) start_session "$state" ;;
stop) stop_session "$state" ;;
run)
    shift 2
    start_session "$state"
    state=$(cd "$state" && pwd)
    trap 'stop_session "$state"' EXIT
    # shellcheck disable=SC1091
    (. "$state/env.sh"; "$@")
    ;;
*) die "unknown command $cmd" ;;
esac
