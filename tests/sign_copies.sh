#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
# Signed copies of Windows launchers, for the self-check: for each EXE, in its
# OUT folder, signed.exe (the file signed by a throwaway publisher made here)
# and resigned.exe (that one signed again by a second publisher).
#   sign_copies.sh EXE OUT [EXE OUT]...
set -euo pipefail
while [ $# -ge 2 ]; do
    mkdir -p "$2" && input=$1
    for name in signed resigned; do
        openssl req -x509 -newkey rsa:2048 -nodes -keyout "$2/$name.key" -out "$2/$name.crt" -days 2 \
            -subj "/CN=Pellimantor test publisher $name" 2>/dev/null
        rm -f "$2/$name.exe"
        osslsigncode sign -certs "$2/$name.crt" -key "$2/$name.key" -h sha256 -in "$input" -out "$2/$name.exe" >/dev/null
        input=$2/$name.exe
    done
    shift 2
done
