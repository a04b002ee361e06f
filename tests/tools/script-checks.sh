# Helpers for the end-to-end shell tests, sourced: numbered checks with a failure count, waiting
# for a condition, and comparisons that say what they got.
failures=0

check() { # check DESCRIPTION COMMAND...
    if "${@:2}"; then
        echo "ok    $1"
    else
        echo "FAIL  $1"
        failures=$((failures + 1))
    fi
}
same() { [ "$1" = "$2" ] || { echo "      got [$1], expected [$2]"; false; }; }
quiet() { "$@" >/dev/null; }
wait_for() { # wait_for SECONDS COMMAND...
    local end=$((SECONDS + $1))
    until "${@:2}"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.2
    done
}
# The closing line and the exit status of a test.
finish() {
    echo "== $failures failure(s)"
    [ "$failures" -eq 0 ]
}
