#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
# The shipped Windows executable: its form (the PE check, run with Debian's
# own Python, which has python3-pefile) and as a release artifact: what only
# a whole build shows (the pipeline's logic, the notices naming every member
# of the link map among it, has its unit tests in pipeline/, the rebuild from
# launcher.tar without git its rehearsal). A build in another folder, named
# relative to the working folder and starting with "-", under an ASCII locale
# with umask 077 and git's tar.umask=user and core.autocrlf=true gives the
# same bytes and the same release set; of two builds into one folder at once,
# each that reports success has its file; the file names no path of the build
# machine; the build gives no warning. The release set's bill of materials validates against CycloneDX's
# schema and names the file and the components only a real link shows. Signed
# with a throwaway self-signed publisher made here, it
# verifies and keeps its form and mode, a changed byte does not verify, the
# signature is its only difference from the unsigned file and the bill of
# materials names both. A signing that fails (a wrong password, a timestamp
# server that does not answer) leaves no file; a missing certificate stops the
# build before it removes anything, and a folder of files that no build made
# is refused and keeps them.
#   check_release.sh WINDOWS_BUILD_FOLDER CYCLONEDX_SCHEMA_FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"; kill "${server:-}" 2>/dev/null || true' EXIT
cd "$work"
exe=$1/launcher/Pellimantor.exe
release=$1/release
fail() { echo "FAIL: $*"; exit 1; }
build() { PELLIMANTOR_WINDOWS_BUILD=$work/$1 "$root/scripts/build-windows" 2>"$1.log" | tail -n 1; }
sha() { sha256sum "$1" | cut -c1-64; }
# A signing that fails says why and leaves no executable, release set or partial file.
refused() {
    ! build "$1" >/dev/null && grep -q "$2" "$1.log" && [ ! -e "$1/launcher/Pellimantor.exe" ] && [ ! -e "$1/release" ] \
        && ! ls -d "$1"/signing.* >/dev/null 2>&1 || fail "$1: a failed signing left a file or did not say '$2'"
}

/usr/bin/python3 "$root/tests/check_pe.py" "$exe" "$root/resources/pellimantor.ico" || fail "the executable's form differs"
printf '[tar]\n\tumask = user\n[core]\n\tautocrlf = true\n' >gitconfig
# Its folder named as given, relative, so that a name taken for an option would show.
(umask 077; GIT_CONFIG_GLOBAL=$work/gitconfig LC_ALL=C LANG=C PYTHONCOERCECLOCALE=0 PYTHONUTF8=0 \
    PELLIMANTOR_WINDOWS_BUILD=-odd "$root/scripts/build-windows" >/dev/null 2>odd.log) \
    && diff -r "$release" ./-odd/release >/dev/null && [ -z "$(find ./-odd/release ! -perm 644 ! -perm 755)" ] \
    || fail "a build into the folder -odd under an ASCII locale, umask 077 and other git settings failed or differs"
! grep 'warning:' odd.log || fail "the build warned (its link compiles Qt's code too)"
for n in 1 2; do (PELLIMANTOR_WINDOWS_BUILD=$work/shared "$root/scripts/build-windows" >"twin$n.out" 2>"twin$n.log"; echo $? >"twin$n.status") & done
wait
grep -q -x 0 twin1.status twin2.status || fail "of two builds into one folder at once, neither succeeded"
for n in 1 2; do
    [ "$(cat "twin$n.status")" != 0 ] || cmp -s "$exe" "$(tail -n 1 "twin$n.out")" || fail "a build that reported success beside another has no file"
done
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
assert {"Data Compression Library (zlib)", "GCC runtime libraries (libgcc, libstdc++)"} <= {c["name"] for c in bom["components"]}
PY

openssl req -x509 -newkey rsa:2048 -nodes -keyout signer.key -out signer.pem -days 2 -subj /CN=Publisher -addext extendedKeyUsage=codeSigning 2>/dev/null
echo secret >password
openssl pkcs12 -export -inkey signer.key -in signer.pem -passout file:password -out signer.p12
signed=$(PELLIMANTOR_SIGN_PKCS12=signer.p12 PELLIMANTOR_SIGN_PASSWORD_FILE=password build signed)
osslsigncode verify -CAfile signer.pem -in "$signed" >/dev/null || fail "the signed file does not verify"
{ head -c 4096 "$signed"; printf X; tail -c +4098 "$signed"; } >changed.exe
! osslsigncode verify -CAfile signer.pem -in changed.exe >/dev/null 2>&1 || fail "a file with a changed byte verifies"
osslsigncode remove-signature -in "$signed" -out unsigned.exe >/dev/null
cmp unsigned.exe "$exe" || fail "the signed file differs from the unsigned one beyond its signature"
[ "$(stat -c %a "$signed")" = "$(stat -c %a "$exe")" ] && cmp "$signed" signed/release/Pellimantor.exe || fail "the signed file lost its mode or is not the one shipped"
grep -q "$(sha "$signed")" signed/release/Pellimantor.cdx.json && grep -q "$(sha "$exe")" signed/release/Pellimantor.cdx.json \
    || fail "the bill of materials of a signed file does not name both its hashes"
/usr/bin/python3 "$root/tests/check_pe.py" "$signed" "$root/resources/pellimantor.ico" >/dev/null || fail "the signed file's form differs"

# Inputs are checked before anything goes: a missing certificate keeps the last build's files.
! PELLIMANTOR_SIGN_PKCS12=missing.p12 PELLIMANTOR_SIGN_PASSWORD_FILE=password build signed >/dev/null \
    && grep -q PELLIMANTOR_SIGN_PKCS12 signed.log && [ -f signed/launcher/Pellimantor.exe ] && [ -d signed/release ] \
    || fail "a missing certificate did not stop the build before it removed the last build's files"
mkdir -p foreign/release && echo mine >foreign/release/notes.txt
! build foreign >/dev/null && grep -q "no build made" foreign.log && [ -f foreign/release/notes.txt ] \
    || fail "a folder of files that no build made was built in"
PELLIMANTOR_SIGN_PKCS12=signer.p12 PELLIMANTOR_SIGN_PASSWORD_FILE=<(echo wrong) refused wrong "Wrong password"
# A timestamp server that takes the connection and never answers.
python3 -c 'import socket, time; s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(); print(s.getsockname()[1], flush=True); time.sleep(120)' >port &
server=$!
until [ -s port ]; do sleep 0.1; done
PELLIMANTOR_SIGN_PKCS12=signer.p12 PELLIMANTOR_SIGN_PASSWORD_FILE=password PELLIMANTOR_SIGN_TIMESTAMP=http://127.0.0.1:$(cat port) \
    PELLIMANTOR_SIGN_TIME_LIMIT=3 refused wrong "no answer within 3 s"
! PELLIMANTOR_SIGN_TIME_LIMIT=0 build limit >/dev/null && grep -q "at least 1" limit.log || fail "a time limit of 0 was taken"
echo "release checks passed"
