#!/usr/bin/env bash
# The marker program in the signatures an update can arrive with, for the update tests:
#   make-signed-markers.sh MARKER SIGNING_DIR OUT_DIR
# OUT_DIR/marker_maker.exe     signed with the build's identity (SIGNING_DIR/sign.sh)
# OUT_DIR/marker_pedal.exe     signed by the pedal maker's test identity (SIGNING_DIR/pedal)
# OUT_DIR/marker_foreign.exe   signed by a certificate of the maker's name from another authority
# OUT_DIR/marker_tampered.exe  marker_maker.exe with one byte of its code changed afterwards
# The unsigned marker program itself stays as built.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
marker=$1
signing=$2
out=$3
mkdir -p "$out"
sign_with() { # identity-dir file
    "$root/tools/sign-file.sh" "$1/codesign.crt" "$1/codesign.key" "$1/ca.crt" "$2"
}
"$root/tools/make-signing-identity.sh" "$signing/foreign" "Another authority" "Brenvale (test)"
for kind in maker pedal foreign tampered; do
    cp -f "$marker" "$out/marker_$kind.exe"
done
"$signing/sign.sh" "$out/marker_maker.exe" "$out/marker_tampered.exe"
sign_with "$signing/pedal" "$out/marker_pedal.exe"
sign_with "$signing/foreign" "$out/marker_foreign.exe"
# One byte a third of the way in: inside the code, which the signature's digest covers.
size=$(stat -c %s "$out/marker_tampered.exe")
offset=$((size / 3))
byte=$(od -An -tu1 -j "$offset" -N1 "$out/marker_tampered.exe" | tr -d ' ')
printf "$(printf '\\%03o' $(((byte + 1) % 256)))" |
    dd of="$out/marker_tampered.exe" bs=1 seek="$offset" conv=notrunc status=none
