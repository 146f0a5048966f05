#!/usr/bin/env bash
# Signs Windows programs and packages (Authenticode, SHA-256) with
# osslsigncode, in place, and verifies each signature; without a certificate
# it signs nothing and says so. The certificate comes from the environment,
# never from the repository:
#   VQ_SIGN_PKCS12         a .pfx/.p12 file holding the certificate and its key, or
#   VQ_SIGN_CERT, VQ_SIGN_KEY   the certificate (chain) and its key, PEM files
#   VQ_SIGN_PASSWORD_FILE  the key's password, if it has one, in a file
#   VQ_SIGN_TIMESTAMP      a time-stamping server (RFC 3161) to ask, if any
#   VQ_SIGN_CA             the root the signature is verified against (by
#                          default VQ_SIGN_CERT, which a self-signed one is;
#                          with neither, the system's roots)
#   packaging/sign-windows.sh FILE...
set -euo pipefail
[ $# -gt 0 ] || { echo "usage: $0 FILE..." >&2; exit 2; }

if [ -n "${VQ_SIGN_PKCS12:-}" ]; then
    key_args=(-pkcs12 "$VQ_SIGN_PKCS12")
elif [ -n "${VQ_SIGN_CERT:-}" ] && [ -n "${VQ_SIGN_KEY:-}" ]; then
    key_args=(-certs "$VQ_SIGN_CERT" -key "$VQ_SIGN_KEY")
else
    echo "sign-windows: no certificate (VQ_SIGN_PKCS12, or VQ_SIGN_CERT and VQ_SIGN_KEY): $# files left unsigned"
    exit 0
fi
if [ -n "${VQ_SIGN_PASSWORD_FILE:-}" ]; then
    key_args+=(-readpass "$VQ_SIGN_PASSWORD_FILE")
fi
stamp_args=()
if [ -n "${VQ_SIGN_TIMESTAMP:-}" ]; then
    stamp_args=(-ts "$VQ_SIGN_TIMESTAMP")
fi
ca=${VQ_SIGN_CA:-${VQ_SIGN_CERT:-}}

for file in "$@"; do
    signed=$file.signing
    rm -f "$signed"
    osslsigncode sign "${key_args[@]}" "${stamp_args[@]}" -h sha256 -n "VQ8 Comm" \
        -in "$file" -out "$signed" >/dev/null
    mv "$signed" "$file"
    verify_args=()
    if [ -n "$ca" ]; then
        verify_args=(-CAfile "$ca")
    fi
    osslsigncode verify "${verify_args[@]}" -in "$file" >/dev/null ||
        { echo "sign-windows: the signature of $file does not verify" >&2; exit 1; }
    echo "signed: $(basename "$file")"
done
