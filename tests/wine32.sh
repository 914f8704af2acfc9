#!/bin/sh
# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
# Runs its arguments where this machine runs 32-bit Wine; otherwise exits with
# 77, CTest's skip, saying why.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo "skipped: no 32-bit Wine here (scripts/setup wine32 installs it where the kernel runs 32-bit programs)"
    exit 77
fi
exec "$@"
