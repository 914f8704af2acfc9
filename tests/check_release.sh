#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
# The shipped Windows executable: its form (the PE check, run with Debian's
# own Python, which has python3-pefile) and as a release artifact. A build in
# another folder gives the same bytes, and the file names no path of the build
# machine. Signed with a throwaway self-signed publisher made here, it verifies
# and keeps its form, a changed byte does not verify, and the signature is its
# only difference from the unsigned file; a wrong password leaves no file.
#   check_release.sh WINDOWS_BUILD_FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
exe=$1/launcher/Pellimantor.exe
fail() { echo "FAIL: $*"; exit 1; }
build() { PELLIMANTOR_WINDOWS_BUILD=$work/$1 "$root/scripts/build-windows" 2>"$1.log" | tail -n 1; }

/usr/bin/python3 "$root/tests/check_pe.py" "$exe" "$root/resources/pellimantor.ico" || fail "the executable's form differs"
cmp "$exe" "$(build other)" || fail "a build in another folder differs from $exe"
! grep -a -o -F -e "$root" -e "$1" -e "$work" -e "$HOME" -e "${PELLIMANTOR_CACHE:-$HOME/.cache}" "$exe" || fail "$exe names a path of the build machine"

openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.pem -days 2 -subj /CN=Publisher -addext extendedKeyUsage=codeSigning 2>/dev/null
echo secret >password
openssl pkcs12 -export -inkey signer.key -in signer.pem -passout file:password -out signer.p12
signed=$(PELLIMANTOR_SIGN_PKCS12=signer.p12 PELLIMANTOR_SIGN_PASSWORD_FILE=password build signed)
osslsigncode verify -CAfile signer.pem -in "$signed" >/dev/null || fail "the signed file does not verify"
{ head -c 4096 "$signed"; printf X; tail -c +4098 "$signed"; } >changed.exe
! osslsigncode verify -CAfile signer.pem -in changed.exe >/dev/null 2>&1 || fail "a file with a changed byte verifies"
osslsigncode remove-signature -in "$signed" -out unsigned.exe >/dev/null
cmp unsigned.exe "$exe" || fail "the signed file differs from the unsigned one beyond its signature"
! PELLIMANTOR_SIGN_PKCS12=signer.p12 PELLIMANTOR_SIGN_PASSWORD_FILE=<(echo wrong) build wrong || fail "a wrong password signed"
grep -q "signing failed" wrong.log && [ ! -e wrong/launcher/Pellimantor.exe ] || fail "a wrong password left a file or no message"
/usr/bin/python3 "$root/tests/check_pe.py" "$signed" "$root/resources/pellimantor.ico" >/dev/null || fail "the signed file's form differs"
echo "release checks passed"
