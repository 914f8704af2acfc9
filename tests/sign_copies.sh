#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
# Signed copies of a Windows launcher, for the self-check: OUT/signed.exe, the
# file signed by a throwaway publisher made here, and OUT/resigned.exe, that
# one signed again by a second.
#   sign_copies.sh EXE OUT
set -euo pipefail
mkdir -p "$2" && cd "$2"
input=$1
for name in signed resigned; do
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$name.key" -out "$name.crt" -days 2 \
        -subj "/CN=Pellimantor test publisher $name" 2>/dev/null
    rm -f "$name.exe"
    osslsigncode sign -certs "$name.crt" -key "$name.key" -h sha256 -in "$input" -out "$name.exe" >/dev/null
    input=$name.exe
done
