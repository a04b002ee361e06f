#!/usr/bin/env bash
# Download benchmark of the HTTP client (not part of the test run): the same 32 MiB body from the
# loopback HTTPS test server, fetched by WinHttpClient::Send under Wine and by curl, in one run.
#
#   tests/tools/http_bench.sh BUILD_DIR [BYTES] [REPETITIONS]
# BUILD_DIR is the Windows tree holding bin/http_client_bench.exe.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR [BYTES] [REPETITIONS]}" && pwd)
bytes=${2:-33554432}
runs=${3:-3}
state=$build/http-bench
"$root/tests/tools/http_test_env.sh" start "$state"
trap '"$root/tests/tools/http_test_env.sh" stop "$state"' EXIT
port=$(sed -n 's/^https=//p' "$state/ports")
url="https://localhost:$port/r?body=$bytes"

best=
for _ in $(seq 1 "$runs"); do
    t=$(curl -s --noproxy '*' -o /dev/null --cacert "$state/ca.pem" -w '%{time_total}' "$url")
    best=$(printf '%s\n%s\n' "$t" "${best:-$t}" | sort -g | head -1)
done
awk -v b="$bytes" -v t="$best" 'BEGIN { printf "curl: bytes=%d seconds=%.3f mib_per_s=%.1f\n", b, t, b / 1048576 / t }' 

QD_HTTP_STATE=$state "$root/tools/wine-session.sh" run "$build/wine-bench" \
    sh -c '"$WINE" "$@"' sh "$build/bin/http_client_bench.exe" "$bytes" "$runs"
