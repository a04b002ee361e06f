#!/usr/bin/env bash
# Every performance figure of the product in one run on this machine, each next to a baseline
# measured in the same run, written to docs/performance.md; the raw outputs stay in
# build/bench/*.log. Not part of the tests.
#
#   tools/bench.sh
#
# Builds trees of its own with the benchmarks on, so that the test trees are left alone:
# build/bench-win (the program, its installer and the Windows benchmark programs, run under
# Wine + Xvfb) and build/bench-native (the pattern matcher against std::regex and RE2, without
# the sanitizers). A figure that cannot be taken is reported as such, with its log; the exit code
# is then 1. About five minutes on two cores once both trees are built.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
root=$PWD
# shellcheck source=tools/process-lib.sh
. tools/process-lib.sh
win=build/bench-win
native=build/bench-native
out=$root/build/bench
jobs=${QD_JOBS:-2}
mkdir -p "$out"
rm -f "$out"/*.log "$out"/*.rc "$out"/*.json

die() { echo "bench: $*" >&2; exit 1; }

tools/install-deps.sh >"$out/deps.log" 2>&1 || die "installing packages failed (see $out/deps.log)"

echo "== Building $win and $native"
{
    configure_windows_tree "$win" -DQD_BENCH=ON &&
        cmake --build "$win" -j "$jobs" --target Quillodrome installer empty_dialog startup_bench \
            player_bench toolbar_bench pedal_bench controls_bench http_client_bench toolbar_fixtures \
            press_latency_bench audio_fixtures
} >"$out/build-win.log" 2>&1 || die "the Windows tree does not build (see $out/build-win.log)"
{
    configure_tree "$native" -DQD_BENCH=ON -DQD_SANITIZE=OFF &&
        cmake --build "$native" -j "$jobs" --target pattern_bench
} >"$out/build-native.log" 2>&1 || die "the native tree does not build (see $out/build-native.log)"

# The program as it was before the pedal had a reader of its own, for the pedal's figures: the
# parent of the commit that brought pedal/pedal_reader.h, built once into build/bench-baseline
# (a tree of its own, made from that commit's files).
baseline=build/bench-baseline
build_baseline() {
    local added
    added=$(git log --diff-filter=A --format=%H -- pedal/pedal_reader.h | tail -n 1)
    [ -n "$added" ] || { echo "no commit brought pedal/pedal_reader.h"; return 1; }
    if [ "$(cat "$baseline/commit" 2>/dev/null)" != "$added^" ]; then
        rm -rf "$baseline" && mkdir -p "$baseline/src" &&
            git archive "$added^" | tar -x -C "$baseline/src" &&
            echo "$added^" >"$baseline/commit" || return 1
    fi
    (cd "$baseline/src" && . tools/process-lib.sh &&
        configure_windows_tree "$root/$baseline/win" -DQD_BENCH=OFF &&
        cmake --build "$root/$baseline/win" -j "$jobs" --target Quillodrome) &&
        cp "$win/bin/toolbar_bench.exe" "$win/bin/empty_dialog.exe" "$baseline/win/bin/"
}
build_baseline >"$out/build-baseline.log" 2>&1 ||
    echo "   the program before the pedal reader does not build (see $out/build-baseline.log)"

# The machine, and how busy it is: other people's builds share the cores.
{
    echo "cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -n 1)"
    echo "cores=$(nproc)"
    echo "memory_kib=$(awk '/^MemTotal:/ {print $2}' /proc/meminfo)"
    echo "debian=$(cat /etc/debian_version)"
    echo "kernel=$(uname -r)"
    echo "wine=$(wine --version 2>/dev/null)"
    echo "compiler=$(x86_64-w64-mingw32-g++-posix -dumpfullversion 2>/dev/null)"
    echo "native_compiler=$(g++ -dumpfullversion)"
    echo "date=$(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "load_start=$(cut -d' ' -f1-3 /proc/loadavg)"
} >"$out/machine.log"

# step NAME COMMAND…: runs one benchmark into NAME.log and keeps its exit code in NAME.rc.
step() {
    local name=$1
    shift
    echo "== $name"
    "$@" >"$out/$name.log" 2>&1
    local rc=$?
    echo "$rc" >"$out/$name.rc"
    [ "$rc" -eq 0 ] || echo "   failed ($rc): see $out/$name.log"
}

winpath() { local p; p=$(cd "$(dirname "$1")" && pwd)/$(basename "$1"); echo "Z:${p//\//\\}"; }

# A 60-minute MP3, a typist's long interview.
long=$out/long60.mp3
if [ ! -s "$long" ]; then
    if ! sox -n -r 22050 -c 1 -b 16 "$out/long60.wav" synth 3600 sine 300-3000 vol 0.2 ||
        ! lame --quiet -b 64 "$out/long60.wav" "$long"; then
        die "cannot make $long"
    fi
    rm -f "$out/long60.wav"
fi
short=$win/tests/app/fixtures/interview.wav

# The same installer script around the empty dialog program: what the wizard itself weighs.
sizes() {
    local version
    version=$(sed -n 's/^QD_VERSION:STRING=//p' "$win/CMakeCache.txt")
    makensis -V2 -INPUTCHARSET UTF8 -DQD_VERSION="$version" -DQD_EXE="$root/$win/bin/empty_dialog.exe" \
        -DQD_ICON="$root/res/art/quillodrome.ico" -DQD_SIDE="$root/res/art/wizard_side.bmp" \
        -DQD_SOUNDTOUCH_DLL="$root/$win/bin/libSoundTouchDLL.dll" \
        -DQD_SOUNDTOUCH_LICENCE="$(ls "$root"/build/third-party/soundtouch-[0-9]*/COPYING.TXT | head -n 1)" \
        -DQD_PUBLISHER="Brenvale (test)" -DQD_OUTFILE="$out/EmptySetup.exe" \
        installer/quillodrome.nsi >&2 || return 1
    echo "program: bytes=$(stat -c %s "$win/bin/Quillodrome.exe")"
    echo "empty dialog program: bytes=$(stat -c %s "$win/bin/empty_dialog.exe")"
    echo "installer: bytes=$(stat -c %s "$win/installer/QuillodromeSetup.exe")"
    echo "empty dialog installer: bytes=$(stat -c %s "$out/EmptySetup.exe")"
}

startup() {
    tools/wine-session.sh run "$out/wine" bash -c '
        "$WINE" reg add "HKCU\\Software\\Brenvale\\Quillodrome\\Settings" /v Installing /t REG_DWORD /d 0 /f >/dev/null 2>&1
        "$WINE" reg add "HKCU\\Software\\Brenvale\\Quillodrome\\Settings" /v "Port Type" /t REG_DWORD /d 0 /f >/dev/null 2>&1
        "$WINE" "$0/bin/startup_bench.exe" "$1" "$2" 2>/dev/null
        "$WINE" "$0/bin/player_bench.exe" "$3" "$4" 2>/dev/null
        "$WINE" "$0/bin/player_bench.exe" --memory engine "$3" 2>/dev/null
        "$WINE" "$0/bin/player_bench.exe" --memory dshow "$3" 2>/dev/null
    ' "$root/$win" "$(winpath "$win/bin/empty_dialog.exe")" "$(winpath "$win/bin/Quillodrome.exe")" \
        "$(winpath "$long")" "$(winpath "$short")"
}

controls() {
    tools/wine-session.sh run "$out/controls-wine" \
        sh -c 'tools/wine-run.sh "$QD_WINE_STATE" "$0"' "$root/$win/bin/controls_bench.exe"
}

pattern() {
    "$native/tests/bench/pattern_bench" --benchmark_filter='^(header|body64k|no_end_tag)/' \
        --benchmark_out="$out/pattern.json" --benchmark_out_format=json
}

step sizes sizes
step startup startup
QD_BASELINE_BIN=$root/$baseline/win/bin step idle tools/toolbar-bench.sh "$win"
step pedal tests/tools/pedal_bench.sh "$win"
step toolbar tools/wine-own-session.sh "$out/toolbar-session" "$root/$win/bin/toolbar_bench.exe" \
    "$(winpath "$long")" "$(winpath "$win/bin/empty_dialog.exe")"
step toolbar-baseline tools/wine-own-session.sh "$out/toolbar-baseline-session" \
    "$root/$baseline/win/bin/toolbar_bench.exe" "$(winpath "$long")" \
    "$(winpath "$win/bin/empty_dialog.exe")"
step controls controls
step pattern pattern
step http tests/tools/http_bench.sh "$win"
step press tests/player/press-latency.sh "$win" "$win/tests/player/fixtures/tone440.wav"
step switch-sound tests/app/pedal-to-sound.sh "$win"
# The same with the program before the pedal had a reader of its own: ten presses, none rested.
step switch-sound-baseline tests/app/pedal-to-sound.sh "$baseline/win" 10 0

echo "load_end=$(cut -d' ' -f1-3 /proc/loadavg)" >>"$out/machine.log"
/usr/bin/python3 tools/bench_report.py "$out" docs/performance.md || die "the report could not be written"
echo "Wrote docs/performance.md (raw outputs in build/bench/*.log)"
! grep -qv '^0$' "$out"/*.rc
