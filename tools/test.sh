#!/usr/bin/env bash
# Sets up, builds and runs every test: the layout of the sources (tools/check-format.sh), the
# native tree (portable code under AddressSanitizer and UndefinedBehaviorSanitizer, fuzz corpora
# replayed), the Windows tree under Wine, and last the README's run command on a private display,
# whose toolbar must show up. The closing line, "N passed, N failed", counts all of them; a tree
# that does not build counts as one failure.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
root=$PWD
jobs=${QD_JOBS:-2}
# shellcheck source=tools/process-lib.sh
. tools/process-lib.sh

tools/install-deps.sh || exit 1

status=0
summary=()
# Parts that are a single check (or a tree that did not build) count as one test each in the
# closing line.
checks_passed=0
checks_failed=0
check_passed() {
    checks_passed=$((checks_passed + 1))
    summary+=("$1")
}
check_failed() {
    checks_failed=$((checks_failed + 1))
    status=1
    summary+=("$1")
}

run_ctest() {
    local name=$1
    shift
    local log="$root/build/$name-ctest.log"
    "$@" 2>&1 | tee "$log"
    local rc=${PIPESTATUS[0]}
    local line
    line=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -n 1)
    if [ -z "$line" ]; then
        check_failed "$name: no result (see $log)"
        return
    fi
    summary+=("$name: $line")
    [ "$rc" -eq 0 ] || status=1
}

echo "== Layout of the sources"
if tools/check-format.sh; then
    check_passed "format: every tracked .cpp and .h file as .clang-format lays it out"
else
    check_failed "format: FAILED (files named above; tools/check-format.sh --fix rewrites them)"
fi

mkdir -p build
echo "== Native tree"
if configure_tree build/native -DQD_BENCH=OFF; then
    if cmake --build build/native -j "$jobs"; then
        run_ctest native ctest --test-dir build/native -j "$jobs" --output-on-failure
    else
        check_failed "native: build failed"
    fi
else
    check_failed "native: configure failed"
fi

echo "== Windows tree (run under Wine)"
if configure_windows_tree build/win -DQD_BENCH=OFF; then
    if cmake --build build/win -j "$jobs"; then
        # Two at a time is safe: the tests share one Wine session, and those that use a shared
        # part of it (the screen and focus, the program's profile, COM ports, sound, proxy
        # settings) hold a RESOURCE_LOCK for it (cmake/QdTesting.cmake lists them).
        run_ctest windows tools/wine-session.sh run build/win/wine \
            ctest --test-dir build/win -j "$jobs" --output-on-failure
    else
        check_failed "windows: build failed"
    fi
else
    check_failed "windows: configure failed"
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
if env -u DISPLAY tools/run.sh && check_shot && env -u DISPLAY QD_DPI=144 tools/run.sh >/dev/null &&
    check_dpi; then
    check_passed "run: the toolbar showed and closed, at 96 and at 144 DPI"
else
    check_failed "run: FAILED (pictures and logs in build/run)"
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
passed=$((passed + checks_passed))
failed=$((failed + checks_failed))
echo "$passed passed, $failed failed"
exit $status
