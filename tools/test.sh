#!/usr/bin/env bash
# Sets up, builds and runs every test: the native tree (portable code under AddressSanitizer and
# UndefinedBehaviorSanitizer, fuzz corpora replayed) and the Windows tree under Wine.
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
echo "$passed passed, $failed failed"
exit $status
