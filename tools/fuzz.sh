#!/usr/bin/env bash
# Runs every fuzz target with libFuzzer for a while each, starting from its committed corpus:
#   tools/fuzz.sh [SECONDS]      (60 by default)
# Builds them with clang in build/fuzz. New inputs that libFuzzer keeps go to build/fuzz/corpus/
# (the committed corpora stay as they are: add a finding there by hand, with a name saying what
# it is); a crash stops that target and leaves its input in build/fuzz/findings/. The last line
# of each target's run (executions, coverage) is repeated at the end.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=${QD_JOBS:-2}
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DQD_FUZZ=ON -DQD_BENCH=OFF \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >build/fuzz-configure.log 2>&1 ||
    { cat build/fuzz-configure.log; exit 1; }
targets=(pattern_fixed_fuzz pattern_any_fuzz http_response_fuzz version_reply_fuzz)
cmake --build build/fuzz -j "$jobs" --target "${targets[@]}" || exit 1
mkdir -p build/fuzz/findings
status=0
summary=()
for t in "${targets[@]}"; do
    mkdir -p "build/fuzz/corpus/$t"
    echo "== $t for $seconds s"
    log=build/fuzz/$t.log
    build/fuzz/tests/fuzz/$t -max_total_time="$seconds" -max_len=65536 \
        -artifact_prefix="build/fuzz/findings/$t-" "build/fuzz/corpus/$t" "tests/fuzz/corpus/$t" \
        >"$log" 2>&1
    rc=$?
    [ $rc -eq 0 ] || status=1
    summary+=("$t: exit $rc; $(grep -E '^(#[0-9]+|Done)' "$log" | tail -n 1)")
done
echo "== Summary"
printf '%s\n' "${summary[@]}"
exit $status
