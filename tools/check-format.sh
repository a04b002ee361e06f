#!/usr/bin/env bash
# Checks that every tracked C++ source and header is laid out as .clang-format says, and names
# the files that are not.
#
#   tools/check-format.sh         fails, listing the files that differ
#   tools/check-format.sh --fix   rewrites those files in place
#
# One major version of clang-format is used everywhere (tools/install-deps.sh installs it):
# another version lays out some constructs differently and would flag files that are fine.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

formatter=clang-format-14
fix=0
case "${1:-}" in
"") ;;
--fix) fix=1 ;;
*)
    echo "usage: $0 [--fix]" >&2
    exit 2
    ;;
esac

command -v "$formatter" >/dev/null || {
    echo "check-format: $formatter is missing (tools/install-deps.sh installs it)" >&2
    exit 1
}
files=$(git ls-files -- '*.cpp' '*.h') || {
    echo "check-format: not a git checkout: the tracked files cannot be listed" >&2
    exit 1
}

tracked=()
while IFS= read -r f; do
    [ -f "$f" ] && tracked+=("$f")
done <<<"$files"
# One run over every file; each line of its report names a file and a place in it.
report=$("$formatter" --style=file --dry-run "${tracked[@]}" 2>&1) || {
    echo "$report" >&2
    echo "check-format: $formatter failed" >&2
    exit 1
}
mapfile -t differ < <(sed -nE 's/^(.+):[0-9]+:[0-9]+: warning: code should be clang-formatted.*/\1/p' \
    <<<"$report" | uniq)

if [ ${#differ[@]} -eq 0 ]; then
    echo "check-format: every tracked .cpp and .h file follows .clang-format"
    exit 0
fi
if [ "$fix" -eq 1 ]; then
    "$formatter" --style=file -i "${differ[@]}" || exit 1
    printf 'check-format: reformatted %s\n' "${differ[@]}"
    exit 0
fi
printf 'check-format: %s differs from .clang-format\n' "${differ[@]}" >&2
echo "check-format: ${#differ[@]} file(s) to reformat (tools/check-format.sh --fix)" >&2
exit 1
