#!/usr/bin/env bash
# The maker's web host on loopback (tools/update-server.py), with a development certificate
# authority of its own.
#
#   update-server.sh start STATE [SITE_DIR]  make (or reuse while valid) the authority
#                          STATE/ca.pem, STATE/ca.der and a server certificate it issued for
#                          the maker's host name ($QD_UPDATE_HOST, default www.brenvale.fr),
#                          localhost and 127.0.0.1; serve SITE_DIR (default build/win/site);
#                          ports in STATE/ports ("https=N", "proxy=N"), process id in
#                          STATE/server.pid, log in STATE/server.log, requests in
#                          STATE/requests.log
#   update-server.sh stop STATE             stop that server, by its process id
#   update-server.sh run STATE CMD...       run CMD with http_proxy and https_proxy pointing at
#                          the server's proxy
#   update-server.sh trust STATE            make the current Wine prefix ($WINEPREFIX, with the
#                          wine of $WINE or the PATH) trust the authority: its certificate goes
#                          into the current user's Root store
#
# A Windows program started with http_proxy=http://127.0.0.1:<proxy port> then reaches
# https://<host>/... on this server. Nothing here touches the host's own trust store.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:-}
state=${2:-}
usage() {
    echo "usage: $0 start STATE [SITE_DIR] | stop STATE | trust STATE | run STATE CMD..." >&2
    exit 2
}
[ -n "$cmd" ] && [ -n "$state" ] || usage
host=${QD_UPDATE_HOST:-www.brenvale.fr}

# shellcheck source=tools/process-lib.sh
. "$here/process-lib.sh"
stop() { stop_pidfile "$state/server.pid"; }

valid() { [ -f "$1" ] && openssl x509 -checkend 86400 -noout -in "$1" >/dev/null 2>&1; }

make_certs() {
    local d=$state
    # The authority outlives the server certificate: a prefix that trusts it keeps trusting
    # the server after the server certificate is renewed or issued for another host name.
    if ! valid "$d/ca.pem" || [ ! -f "$d/ca.key" ]; then
        openssl req -x509 -newkey rsa:2048 -nodes -days 3650 \
            -subj "/CN=Quillodrome Development Authority" -keyout "$d/ca.key" -out "$d/ca.pem" \
            -addext "basicConstraints=critical,CA:TRUE" \
            -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
        rm -f "$d/server.pem"
    fi
    openssl x509 -in "$d/ca.pem" -outform DER -out "$d/ca.der"
    local names="DNS:$host,DNS:localhost,IP:127.0.0.1"
    if valid "$d/server.pem" && [ "$(cat "$d/server.names" 2>/dev/null)" = "$names" ] &&
        openssl verify -CAfile "$d/ca.pem" "$d/server.pem" >/dev/null 2>&1; then
        return 0
    fi
    openssl req -newkey rsa:2048 -nodes -subj "/CN=$host" -keyout "$d/server.key" \
        -out "$d/server.csr" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n'`
          `'extendedKeyUsage=serverAuth\nsubjectAltName=%s\n' "$names" >"$d/server.ext"
    openssl x509 -req -in "$d/server.csr" -CA "$d/ca.pem" -CAkey "$d/ca.key" -CAcreateserial \
        -days 365 -extfile "$d/server.ext" -out "$d/server.pem" 2>/dev/null
    echo "$names" >"$d/server.names"
}

# The Root store of the current user is a registry key per certificate, named by the
# certificate's SHA-1 thumbprint, whose "Blob" holds the serialised certificate: one property
# record (id 32, the encoded certificate; a reserved 1; its length) followed by the DER bytes.
trust() {
    [ -f "$state/ca.der" ] || { echo "update-server: no $state/ca.der (start first)" >&2; exit 1; }
    # Without a prefix Wine would take the user's own ~/.wine.
    [ -n "${WINEPREFIX:-}" ] || { echo "update-server: WINEPREFIX is not set" >&2; exit 1; }
    local wine=${WINE:-wine} thumb blob
    thumb=$(openssl x509 -inform DER -in "$state/ca.der" -noout -fingerprint -sha1 |
        sed 's/.*=//; s/://g' | tr 'a-f' 'A-F')
    blob=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read();
print((struct.pack("<III",32,1,len(d))+d).hex())' "$state/ca.der")
    "$wine" reg add "HKCU\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumb" \
        /v Blob /t REG_BINARY /d "$blob" /f >"$state/trust.log" 2>&1 </dev/null ||
        { cat "$state/trust.log" >&2; return 1; }
}

case "$cmd" in
start)
    site=${3:-$here/../build/win/site}
    [ -d "$site" ] || { echo "update-server: no site folder $site" >&2; exit 1; }
    mkdir -p "$state"
    state=$(cd "$state" && pwd)
    site=$(cd "$site" && pwd)
    stop
    make_certs
    start_server update-server "$state" \
        /usr/bin/python3 "$here/update-server.py" --state "$state" --site "$site"
    ;;
stop)
    [ -d "$state" ] && state=$(cd "$state" && pwd) && stop
    ;;
trust)
    state=$(cd "$state" && pwd)
    trust
    ;;
run)
    shift 2
    [ $# -gt 0 ] || usage
    port=$(sed -n 's/^proxy=//p' "$state/ports" 2>/dev/null || true)
    [ -n "$port" ] || { echo "update-server: no server running in $state" >&2; exit 1; }
    export http_proxy=http://127.0.0.1:$port https_proxy=http://127.0.0.1:$port
    exec "$@"
    ;;
*)
    usage
    ;;
esac
