#!/usr/bin/env bash
# Start-up and footprint figures of the product under Wine (not part of the tests):
# executable size, time to the first window against an empty dialog program, and Open of a
# 60-minute MP3 until its duration is known.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build/win}
cmake --build "$build" --target Quillodrome startup_bench empty_dialog player_bench
bench=$root/build/bench
mkdir -p "$bench"
if [ ! -s "$bench/long60.mp3" ]; then
    sox -n -r 22050 -c 1 -b 16 "$bench/long60.wav" synth 3600 sine 300-3000 vol 0.2
    lame --quiet -b 64 "$bench/long60.wav" "$bench/long60.mp3"
    rm -f "$bench/long60.wav"
fi
bin="Z:${root//\//\\}\\${build//\//\\}\\bin"
echo "Quillodrome.exe: $(stat -c %s "$build/bin/Quillodrome.exe") bytes"
tools/wine-session.sh run "$bench/wine" bash -c "
    \"\$WINE\" reg add 'HKCU\\Software\\Brenvale\\Quillodrome\\Settings' /v Installing /t REG_DWORD /d 0 /f >/dev/null 2>&1
    \"\$WINE\" reg add 'HKCU\\Software\\Brenvale\\Quillodrome\\Settings' /v 'Port Type' /t REG_DWORD /d 0 /f >/dev/null 2>&1
    \"\$WINE\" '$root/$build/bin/startup_bench.exe' '$bin\\empty_dialog.exe' '$bin\\Quillodrome.exe' 2>/dev/null
    \"\$WINE\" '$root/$build/bin/player_bench.exe' 'Z:${bench//\//\\}\\long60.mp3' 2>/dev/null
"
