#!/usr/bin/env bash
# Signs a Windows program or DLL in place with Authenticode, SHA-256:
#   sign-file.sh CERT KEY CHAIN FILE...
# CERT and KEY are PEM files (a key password comes from QD_SIGNING_KEY_PASSWORD); CHAIN is a PEM
# file of further certificates to embed (the issuing authority), or "-" for none. A time-stamp
# server in QD_SIGNING_TIMESTAMP (an RFC 3161 address) keeps the signature valid after the
# certificate expires.
set -euo pipefail
cert=$1
key=$2
chain=$3
shift 3
args=(-certs "$cert" -key "$key" -h sha256 -n "Quillodrome" -i "${QD_SIGNING_URL:-https://www.brenvale.fr/}")
[ "$chain" = - ] || args+=(-ac "$chain")
[ -z "${QD_SIGNING_KEY_PASSWORD:-}" ] || args+=(-pass "$QD_SIGNING_KEY_PASSWORD")
[ -z "${QD_SIGNING_TIMESTAMP:-}" ] || args+=(-ts "$QD_SIGNING_TIMESTAMP")
for file in "$@"; do
    rm -f "$file.signing"
    if ! osslsigncode sign "${args[@]}" -in "$file" -out "$file.signing" >"$file.signing.log" 2>&1; then
        cat "$file.signing.log" >&2
        rm -f "$file.signing" "$file.signing.log"
        echo "sign-file: could not sign $file" >&2
        exit 1
    fi
    rm -f "$file.signing.log"
    mv -f "$file.signing" "$file"
done
