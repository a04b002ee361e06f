#!/usr/bin/env bash
# Makes a code-signing identity for builds that were given none: a private certificate
# authority and a code-signing certificate it issued, as PEM files in DIR:
#   ca.crt ca.key codesign.crt codesign.key
# Windows does not trust such an authority, so what it signs is for development and tests only.
# Does nothing when DIR already holds an identity, so that a build keeps the signer it pinned.
#
#   make-signing-identity.sh DIR "authority name" "signer name"
set -euo pipefail
dir=$1
ca_name=$2
signer_name=$3
if [ -s "$dir/codesign.crt" ] && [ -s "$dir/codesign.key" ] && [ -s "$dir/ca.crt" ]; then
    exit 0
fi
mkdir -p "$dir"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 -keyout "$tmp/ca.key" \
    -out "$tmp/ca.crt" -subj "/O=$ca_name/CN=$ca_name" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    2>/dev/null
openssl req -newkey rsa:2048 -nodes -sha256 -keyout "$tmp/codesign.key" -out "$tmp/codesign.csr" \
    -subj "/O=$signer_name/CN=$signer_name" 2>/dev/null
printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning" "subjectKeyIdentifier=hash" \
    "authorityKeyIdentifier=keyid" >"$tmp/ext"
openssl x509 -req -sha256 -days 3650 -in "$tmp/codesign.csr" -CA "$tmp/ca.crt" \
    -CAkey "$tmp/ca.key" -set_serial "0x$(openssl rand -hex 8)" -extfile "$tmp/ext" \
    -out "$tmp/codesign.crt" 2>/dev/null
chmod 600 "$tmp/ca.key" "$tmp/codesign.key"
# The certificate last: its presence marks a complete identity.
mv "$tmp/ca.key" "$tmp/ca.crt" "$tmp/codesign.key" "$dir/"
mv "$tmp/codesign.crt" "$dir/"
