#!/usr/bin/env bash
# Sets up, builds and runs every test: the native tree (portable code under AddressSanitizer and
# UndefinedBehaviorSanitizer, fuzz corpora replayed), the Windows tree under Wine, and last the
# README's run command on a private display, whose toolbar must show up. The closing line,
# "N passed, N failed", counts all of them.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${QD_JOBS:-2}

tools/install-deps.sh || exit 1

status=0
summary=()

run_ctest() {
    local name=$1
    shift
    local log="$root/build/$name-ctest.log"
    "$@" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -n 1)
    summary+=("$name: ${line:-no result}")
    [ "$rc" -eq 0 ] || status=1
}

mkdir -p build
echo "== Native tree"
if cmake -S . -B build/native -G Ninja -DQD_BENCH=OFF >build/native-configure.log 2>&1 ||
    { cat build/native-configure.log; false; }; then
    if cmake --build build/native -j "$jobs"; then
        run_ctest native ctest --test-dir build/native -j "$jobs" --output-on-failure
    else
        status=1
        summary+=("native: build failed")
    fi
else
    status=1
    summary+=("native: configure failed")
fi

echo "== Windows tree (run under Wine)"
mkdir -p build
if cmake -S . -B build/win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DQD_BENCH=OFF >build/win-configure.log 2>&1 || { cat build/win-configure.log; false; }; then
    if cmake --build build/win -j "$jobs"; then
        # Two at a time is safe: the tests share one Wine session, and those that use a shared
        # part of it (the screen and focus, the program's profile, COM ports, sound, proxy
        # settings) hold a RESOURCE_LOCK for it (cmake/QdTesting.cmake lists them).
        run_ctest windows tools/wine-session.sh run build/win/wine \
            ctest --test-dir build/win -j "$jobs" --output-on-failure
    else
        status=1
        summary+=("windows: build failed")
    fi
else
    status=1
    summary+=("windows: configure failed")
fi

echo "== Run command on a private display"
# The toolbar picture must be a window of its own size that is not the empty screen around it.
check_shot() {
    /usr/bin/python3 - "$root/build/run/quillodrome.png" "$root/build/run/screen.png" <<'PY'
import sys
from PIL import Image
shot = Image.open(sys.argv[1]).convert("RGB")
screen = Image.open(sys.argv[2]).convert("RGB")
w, h = shot.size
background = screen.getpixel((screen.width - 1, screen.height - 1))
colours = shot.getcolors(w * h)
empty = sum(n for n, c in colours if c == background)
print(f"toolbar picture {w}x{h}: {len(colours)} colours, {100 * empty // (w * h)}% background")
sys.exit(0 if w >= 200 and h >= 30 and len(colours) >= 8 and empty < w * h // 2 else 1)
PY
}
# At 150 % the toolbar keeps the layout of its 96-DPI skin: same size, the same picture but for
# the scrolling caption and the sliders' thumbs.
check_dpi() {
    /usr/bin/python3 - "$root/build/run/quillodrome.png" "$root/build/run/quillodrome-144dpi.png" <<'PY'
import sys
from PIL import Image, ImageChops
a = Image.open(sys.argv[1]).convert("RGB")
b = Image.open(sys.argv[2]).convert("RGB")
if a.size != b.size:
    print(f"toolbar at 144 DPI is {b.size[0]}x{b.size[1]}, at 96 DPI {a.size[0]}x{a.size[1]}")
    sys.exit(1)
diff = ImageChops.difference(a, b).convert("L")
same = sum(1 for v in diff.getdata() if v <= 40) * 100 // (a.size[0] * a.size[1])
print(f"toolbar at 144 DPI: {b.size[0]}x{b.size[1]}, {same}% of its pixels as at 96 DPI")
sys.exit(0 if same >= 85 else 1)
PY
}
rm -f build/run/quillodrome*.png build/run/screen*.png
smoke=1
if env -u DISPLAY tools/run.sh && check_shot && env -u DISPLAY QD_DPI=144 tools/run.sh >/dev/null &&
    check_dpi; then
    summary+=("run: the toolbar showed and closed, at 96 and at 144 DPI")
else
    status=1
    smoke=0
    summary+=("run: FAILED (pictures and logs in build/run)")
fi

echo "== Summary"
passed=0
failed=0
for s in "${summary[@]}"; do
    echo "$s"
    if [[ $s =~ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
        failed=$((failed + BASH_REMATCH[1]))
        passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
    fi
done
passed=$((passed + smoke))
failed=$((failed + 1 - smoke))
echo "$passed passed, $failed failed"
exit $status
