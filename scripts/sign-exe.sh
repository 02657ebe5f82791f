#!/usr/bin/env bash
# sign-exe.sh <in.exe> <out.exe>
#   Signs a program with Authenticode (SHA-256) and verifies the signature:
#     KELP_SIGN_PFX        the certificate and its private key (PKCS#12)
#     KELP_SIGN_PASSWORD   the PKCS#12 file's password
#     KELP_SIGN_TIMESTAMP  optional: an RFC 3161 timestamp server, so that the
#                          signature stays valid after the certificate expires
#     KELP_SIGN_CAFILE     optional: the trusted roots to verify against (PEM)
#                          [the system's, /etc/ssl/certs/ca-certificates.crt]
#   Exit code 0 only when the signed copy was written and verifies.
#
# sign-exe.sh --throwaway <in.exe> <work folder>
#   Makes a self-signed code-signing certificate on the fly, signs a copy of
#   the program with it as above (trusting that certificate alone), and
#   checks that a copy changed after signing no longer verifies.
#
# Uses osslsigncode and openssl (scripts/setup-debian.sh installs them).
set -euo pipefail

sign() {
  local in=$1 out=$2
  : "${KELP_SIGN_PFX:?}" "${KELP_SIGN_PASSWORD?KELP_SIGN_PASSWORD is not set}"
  local args=(sign -pkcs12 "$KELP_SIGN_PFX" -h sha256 -n Kelp)
  [ -n "${KELP_SIGN_TIMESTAMP:-}" ] && args+=(-ts "$KELP_SIGN_TIMESTAMP")
  rm -f "$out"
  # The password through a pipe, not on a command line others can read.
  printf '%s' "$KELP_SIGN_PASSWORD" | osslsigncode "${args[@]}" -readpass /dev/stdin -in "$in" -out "$out" >/dev/null ||
    { echo "sign-exe: signing $in failed" >&2; return 1; }
  verify "$out"
}

verify() {
  local args=(verify -in "$1")
  [ -n "${KELP_SIGN_CAFILE:-}" ] && args+=(-CAfile "$KELP_SIGN_CAFILE")
  local report
  if ! report=$(osslsigncode "${args[@]}" 2>&1); then
    echo "$report" | tail -n 5 >&2
    echo "sign-exe: the signature of $1 does not verify" >&2
    return 1
  fi
  echo "sign-exe: $1 signed by $(sed -n 's/^\s*Subject: //p' <<<"$report" | head -n1), signature verified"
}

if [ "${1:-}" = --throwaway ]; then
  [ $# -eq 3 ] || { echo "usage: $0 --throwaway <in.exe> <work folder>" >&2; exit 2; }
  in=$2 work=$3
  mkdir -p "$work"
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Kelp throw-away test signer" \
    -addext "extendedKeyUsage=codeSigning" -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
  password=$(openssl rand -hex 12)
  openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signer.pfx" \
    -passout "pass:$password"
  export KELP_SIGN_PFX=$work/signer.pfx KELP_SIGN_PASSWORD=$password KELP_SIGN_CAFILE=$work/cert.pem
  unset KELP_SIGN_TIMESTAMP
  sign "$in" "$work/signed.exe"
  # One byte of the code changed after signing: the signature must fail.
  cp "$work/signed.exe" "$work/tampered.exe"
  python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(1100); b = f.read(1); f.seek(1100); f.write(bytes([b[0] ^ 0xff]))' \
    "$work/tampered.exe"
  if verify "$work/tampered.exe" 2>/dev/null; then
    echo "sign-exe: a copy changed after signing still verifies" >&2
    exit 1
  fi
  echo "sign-exe: a copy changed after signing is refused"
  exit 0
fi

[ $# -eq 2 ] || { echo "usage: $0 <in.exe> <out.exe> | --throwaway <in.exe> <work folder>" >&2; exit 2; }
sign "$1" "$2"
