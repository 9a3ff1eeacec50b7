#!/usr/bin/env bash
# Signs Windows programs in place (Authenticode, with osslsigncode):
#   ORVA_SIGN_PKCS12=<certificate and key, PKCS#12> [ORVA_SIGN_PASSWORD=<its password>]
#   [ORVA_SIGN_TIMESTAMP=<RFC 3161 time-stamp server>] sign-windows.sh <program.exe>...
# scripts/build-windows.sh signs ORVA's programs with it, and makensis the
# installer and its uninstaller. A time stamp keeps a signature valid after
# the certificate expires. The password reaches osslsigncode in a file that
# only this user can read: a command line is in every user's process listing.
set -euo pipefail

: "${ORVA_SIGN_PKCS12:?names the code-signing certificate (PKCS#12) to sign with}"
work=$(mktemp -d)
signing=""
trap 'rm -rf "$work" ${signing:+"$signing"}' EXIT
printf '%s' "${ORVA_SIGN_PASSWORD:-}" >"$work/password"
timestamp=()
if [ -n "${ORVA_SIGN_TIMESTAMP:-}" ]; then
    timestamp=(-ts "$ORVA_SIGN_TIMESTAMP")
fi

for program in "$@"; do
    # Written beside the program and renamed over it: never half a program.
    # (osslsigncode writes no file that exists: one a killed run left goes.)
    signing=$program.signing
    rm -f "$signing"
    osslsigncode sign -pkcs12 "$ORVA_SIGN_PKCS12" -readpass "$work/password" -h sha256 -n ORVA \
        ${timestamp[@]+"${timestamp[@]}"} -in "$program" -out "$signing" >/dev/null
    mv -f "$signing" "$program"
    signing=""
done
