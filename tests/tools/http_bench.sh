#!/usr/bin/env bash
# Download benchmark of the HTTP client (not part of the test run): the same body (32 MiB unless
# told) from the loopback HTTPS test server, taken in turns by bare WinHTTP reading into one
# buffer, WinHttpClient::Send and DownloadToFile (with the file write) under Wine, and by curl.
# Each way runs in a process of its own so that its peak working set is its own; the best time
# of each way is printed, with its line.
#
#   tests/tools/http_bench.sh BUILD_DIR [BYTES] [REPETITIONS]
# BUILD_DIR is the Windows tree holding bin/http_client_bench.exe.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:?usage: $0 BUILD_DIR [BYTES] [REPETITIONS]}" && pwd)
bytes=${2:-33554432}
runs=${3:-3}
state=$build/http-bench
if [ "${QD_BENCH_TURNS:-}" != 1 ]; then
    "$root/tests/tools/http_test_env.sh" start "$state"
    trap '"$root/tests/tools/http_test_env.sh" stop "$state"' EXIT
fi
port=$(sed -n 's/^https=//p' "$state/ports")
url="https://localhost:$port/r?body=$bytes"

# curl's own time, and its peak resident set from time(1) (kilobytes).
curl_line() {
    local t kib
    t=$(/usr/bin/time -f '%M' -o "$state/curl.rss" curl -s --noproxy '*' -o /dev/null \
        --cacert "$state/ca.pem" -w '%{time_total}' "$url")
    kib=$(tail -n 1 "$state/curl.rss")
    awk -v b="$bytes" -v t="$t" -v k="$kib" 'BEGIN {
        printf "curl: bytes=%d seconds=%.3f mib_per_s=%.1f peak_ws=%d peak_over_body=%.2f\n",
               b, t, b / 1048576 / t, k * 1024, k * 1024 / b }'
}

# Inside the Wine session: the turns, one line per way and turn.
if [ "${QD_BENCH_TURNS:-}" = 1 ]; then
    for _ in $(seq 1 "$runs"); do
        for way in winhttp send download; do
            "$WINE" "$build/bin/http_client_bench.exe" "$way" "$bytes" "Z:$state/download.bin"
        done
        curl_line
    done
    exit 0
fi

lines=$state/lines
QD_BENCH_TURNS=1 QD_HTTP_STATE=$state "$root/tools/wine-session.sh" run "$build/wine-bench" \
    "$0" "$build" "$bytes" "$runs" >"$lines"
echo "best of $runs:"
awk -F': ' '{ split($2, f, " "); sub("seconds=", "", f[2]); s = f[2] + 0
              if (!($1 in best) || s < best[$1]) { best[$1] = s; line[$1] = $0 }
              if (!($1 in order)) order[$1] = ++n; name[order[$1]] = $1 }
            END { for (i = 1; i <= n; ++i) print line[name[i]] }' "$lines"
