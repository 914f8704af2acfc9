#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
# The shipped Windows executable: its form (the PE check, run with Debian's
# own Python, which has python3-pefile) and as a release artifact: what only
# real builds show. The pipeline's logic (the notices, the bill of materials,
# the folder, the lock, signing's failures) has its unit tests in pipeline/,
# the rebuild from launcher.tar without git its rehearsal. A build in another
# folder, named relative to the working folder and starting with "-", under
# an ASCII locale with umask 077 and git's tar.umask=user and
# core.autocrlf=true gives the same bytes and the same release set; the file
# names no path of the build machine; the build gives no warning. The release
# set's bill of materials validates against CycloneDX's schema and names the
# file and what only a real link shows: the components whose code is in it,
# and the hash code the optimiser dropped, listed apart. Signed with a
# throwaway self-signed publisher made here, the file verifies and keeps its
# form and mode, a changed byte does not verify, the signature is its only
# difference from the unsigned file and the bill of materials names both.
#   check_release.sh WINDOWS_BUILD_FOLDER CYCLONEDX_SCHEMA_FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"; kill "${server:-}" 2>/dev/null || true' EXIT
cd "$work"
exe=$1/launcher/Pellimantor.exe
release=$1/release
fail() { echo "FAIL: $*"; exit 1; }
sha() { sha256sum "$1" | cut -c1-64; }

/usr/bin/python3 "$root/tests/check_pe.py" "$exe" "$root/resources/pellimantor.ico" || fail "the executable's form differs"
printf '[tar]\n\tumask = user\n[core]\n\tautocrlf = true\n' >gitconfig
# Its folder named as given, relative, so that a name taken for an option would show.
(umask 077; GIT_CONFIG_GLOBAL=$work/gitconfig LC_ALL=C LANG=C PYTHONCOERCECLOCALE=0 PYTHONUTF8=0 \
    PELLIMANTOR_WINDOWS_BUILD=-odd "$root/scripts/build-windows" >/dev/null 2>odd.log) \
    && diff -r "$release" ./-odd/release >/dev/null && [ -z "$(find ./-odd/release ! -perm 644 ! -perm 755)" ] \
    || fail "a build into the folder -odd under an ASCII locale, umask 077 and other git settings failed or differs"
! grep 'warning:' odd.log || fail "the build warned (its link compiles Qt's code too)"
toolkit=$(dirname "$(dirname "$(grep -o -m 1 -E '^\S+/libQt5Core\.a' "$1/launcher/Pellimantor.map")")")
cmp -s "$release/source/configure-options" "$toolkit/share/pellimantor/config.opt" \
    || fail "the configure arguments shipped are not those Qt's configure recorded"
! grep -r -a -o -F -e "$root" -e "$1" -e "$work" -e "$HOME" -e "${PELLIMANTOR_CACHE:-$HOME/.cache}" --exclude='*.tar*' "$exe" "$release" \
    || fail "the release set names a path of the build machine"

/usr/bin/python3 - "$2" "$release/Pellimantor.cdx.json" "$(sha "$exe")" <<'PY' || fail "the bill of materials does not validate or names another file"
import json, sys, jsonschema
folder, bom, digest = sys.argv[1], json.load(open(sys.argv[2])), sys.argv[3]
load = lambda name: json.load(open(f"{folder}/{name}.SNAPSHOT.schema.json"))
store = {f"http://cyclonedx.org/schema/{name}.SNAPSHOT.schema.json": load(name) for name in ("spdx", "jsf-0.82")}
schema = load("bom-1.5")
jsonschema.Draft7Validator(schema, resolver=jsonschema.RefResolver.from_schema(schema, store=store)).validate(bom)
assert bom["metadata"]["component"]["hashes"] == [{"alg": "SHA-256", "content": digest}]
names = {c["name"] for c in bom["components"]}
assert {"Data Compression Library (zlib)", "GCC runtime libraries (libgcc, libstdc++)"} <= names and "MD5" not in names
assert {"name": "pellimantor:dropped-member", "value": "libQt5Core.a(qcryptographichash.o)"} in bom["metadata"]["component"]["properties"]
PY

openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.pem -days 2 -subj /CN=Publisher -addext extendedKeyUsage=codeSigning 2>/dev/null
echo secret >password
openssl pkcs12 -export -inkey signer.key -in signer.pem -passout file:password -out signer.p12
PELLIMANTOR_WINDOWS_BUILD=signed PELLIMANTOR_SIGN_PKCS12=signer.p12 PELLIMANTOR_SIGN_PASSWORD_FILE=password \
    "$root/scripts/build-windows" >/dev/null 2>signed.log || fail "the signed build failed"
signed=signed/launcher/Pellimantor.exe
osslsigncode verify -CAfile signer.pem -in "$signed" >/dev/null || fail "the signed file does not verify"
{ head -c 4096 "$signed"; printf X; tail -c +4098 "$signed"; } >changed.exe
! osslsigncode verify -CAfile signer.pem -in changed.exe >/dev/null 2>&1 || fail "a file with a changed byte verifies"
osslsigncode remove-signature -in "$signed" -out unsigned.exe >/dev/null
cmp unsigned.exe "$exe" || fail "the signed file differs from the unsigned one beyond its signature"
[ "$(stat -c %a "$signed")" = "$(stat -c %a "$exe")" ] && cmp "$signed" signed/release/Pellimantor.exe || fail "the signed file lost its mode or is not the one shipped"
grep -q "$(sha "$signed")" signed/release/Pellimantor.cdx.json && grep -q "$(sha "$exe")" signed/release/Pellimantor.cdx.json \
    || fail "the bill of materials of a signed file does not name both its hashes"
/usr/bin/python3 "$root/tests/check_pe.py" "$signed" "$root/resources/pellimantor.ico" >/dev/null || fail "the signed file's form differs"

echo "release checks passed"
