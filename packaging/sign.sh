#!/usr/bin/env bash
# Signs Windows files (exe, MSI) in place with Authenticode, using osslsigncode:
#   CERT=cert.pem KEY=key.pem [PASSFILE=pass.txt] [TIMESTAMP=http://…] packaging/sign.sh FILE...
# CERT is the code-signing certificate (PEM or DER, with its chain in a PEM
# file), KEY its private key (PEM or DER; PASSFILE holds its password when it
# is encrypted), TIMESTAMP the URL of an RFC 3161 time-stamping service (the
# signature then stays valid after the certificate expires). A certificate
# that does not belong to the key signs nothing; a file that is signed already
# gets the new signature instead of its old one.
set -euo pipefail
fail() { echo "sign.sh: $*" >&2; exit 1; }
[ $# -gt 0 ] || fail "keine Datei zum Signieren angegeben"
[ -n "${CERT:-}" ] && [ -r "$CERT" ] || fail "Zertifikat '${CERT:-}' nicht gefunden (CERT=…)"
[ -n "${KEY:-}" ] && [ -r "$KEY" ] || fail "Schlüssel '${KEY:-}' nicht gefunden (KEY=…)"
for f in "$@"; do [ -f "$f" ] || fail "Datei '$f' nicht gefunden"; done

passin=() pass=()
if [ -n "${PASSFILE:-}" ]; then
  passin=(-passin "file:$PASSFILE")
  pass=(-readpass "$PASSFILE")
fi
public_of_cert() {
  openssl x509 -in "$CERT" -noout -pubkey 2>/dev/null ||
    openssl x509 -inform DER -in "$CERT" -noout -pubkey 2>/dev/null
}
public_of_key() {
  openssl pkey -in "$KEY" "${passin[@]}" -pubout 2>/dev/null ||
    openssl pkey -inform DER -in "$KEY" "${passin[@]}" -pubout 2>/dev/null
}
cert_public="$(public_of_cert)" || fail "'$CERT' ist kein lesbares Zertifikat"
key_public="$(public_of_key)" || fail "'$KEY' ist kein lesbarer privater Schlüssel (falsches Kennwort?)"
[ "$cert_public" = "$key_public" ] ||
  fail "Zertifikat '$CERT' und Schlüssel '$KEY' gehören nicht zusammen; nichts signiert"

timestamp=()
[ -z "${TIMESTAMP:-}" ] || timestamp=(-ts "$TIMESTAMP")
for f in "$@"; do
  unsigned="$f.unsigned.tmp" signed="$f.signed.tmp"
  rm -f "$unsigned" "$signed"
  # osslsigncode signs only a file without a signature.
  osslsigncode remove-signature -in "$f" -out "$unsigned" >/dev/null 2>&1 || cp "$f" "$unsigned"
  if ! osslsigncode sign -certs "$CERT" -key "$KEY" "${pass[@]}" -h sha256 -n Quillmark \
      "${timestamp[@]}" -in "$unsigned" -out "$signed" >"$f.sign.log" 2>&1; then
    cat "$f.sign.log" >&2
    rm -f "$unsigned" "$signed" "$f.sign.log"
    fail "'$f' konnte nicht signiert werden; die Datei bleibt, wie sie war"
  fi
  mv "$signed" "$f"
  rm -f "$unsigned" "$f.sign.log"
  echo "signiert: $f"
done
