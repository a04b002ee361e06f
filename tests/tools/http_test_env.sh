#!/usr/bin/env bash
# The HTTP client tests' loopback servers, as a CTest fixture.
#
#   http_test_env.sh start STATE   make a private certificate authority, a server certificate
#                                  for "localhost" issued by it and an untrusted self-signed one,
#                                  then start tests/tools/http_test_server.py; its ports end up
#                                  in STATE/ports, the authority in STATE/ca.der
#   http_test_env.sh stop STATE    stop the server started by start, by its process id
#
# The authority is trusted only inside the test Wine prefix: the tests add STATE/ca.der to that
# prefix's current-user Root store themselves. Nothing here touches the host's trust store.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:-}
state=${2:-}
[ -n "$cmd" ] && [ -n "$state" ] || { echo "usage: $0 start|stop STATE" >&2; exit 2; }

# shellcheck source=tools/process-lib.sh
. "$here/../../tools/process-lib.sh"
stop() { stop_pidfile "$state/server.pid"; }

make_certs() {
    local d=$state
    # Certificates from an earlier run are kept while they have a day left.
    if [ -f "$d/server.pem" ] && [ -f "$d/selfsigned.pem" ] && [ -f "$d/ca.der" ] &&
        openssl x509 -checkend 86400 -noout -in "$d/server.pem" >/dev/null &&
        openssl x509 -checkend 86400 -noout -in "$d/ca.pem" >/dev/null; then
        return 0
    fi
    local o="openssl"
    $o req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Quillodrome Test Authority" \
        -keyout "$d/ca.key" -out "$d/ca.pem" \
        -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
    $o x509 -in "$d/ca.pem" -outform DER -out "$d/ca.der"
    $o req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout "$d/server.key" \
        -out "$d/server.csr" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n'`
          `'extendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost\n' >"$d/server.ext"
    $o x509 -req -in "$d/server.csr" -CA "$d/ca.pem" -CAkey "$d/ca.key" -CAcreateserial \
        -days 30 -extfile "$d/server.ext" -out "$d/server.pem" 2>/dev/null
    $o req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=localhost" \
        -keyout "$d/selfsigned.key" -out "$d/selfsigned.pem" \
        -addext "subjectAltName=DNS:localhost" 2>/dev/null
}

case "$cmd" in
start)
    mkdir -p "$state"
    state=$(cd "$state" && pwd)
    stop
    make_certs
    start_server http_test_env "$state" env PYTHONPATH="$here/../../tools" \
        /usr/bin/python3 "$here/http_test_server.py" --state "$state"
    ;;
stop)
    [ -d "$state" ] && state=$(cd "$state" && pwd) && stop
    ;;
*)
    echo "usage: $0 start|stop STATE" >&2
    exit 2
    ;;
esac
