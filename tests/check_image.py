#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
# The Windows self-check on a moved image, made independently of it: Debian's
# python3-pefile maps LAUNCHER at ADDRESS (hex) with its relocations applied,
# and writes the load address into the header as Windows does; CHECK
# (check_image.cpp), run under Wine, places that image there and asks about
# each file. The launcher's file and its signed and appended copies are the
# launcher; a copy with one byte of code changed and another program are not;
# a hard link to CHECK itself is the running program's own file by identity,
# though it does not hold the image, and a copy of CHECK is not.
#   check_image.py CHECK LAUNCHER SIGNED_COPY OTHER_PROGRAM ADDRESS

import os
import shutil
import subprocess
import sys
import tempfile

import pefile

check, launcher, signed, other, address = sys.argv[1:]
pe = pefile.PE(launcher)
image = bytearray(pe.get_memory_mapped_image(ImageBase=int(address, 16)))
base_field = pe.OPTIONAL_HEADER.get_field_absolute_offset("ImageBase")
width = 8 if pe.OPTIONAL_HEADER.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE_PLUS else 4
image[base_field:base_field + width] = int(address, 16).to_bytes(width, "little")
text = next(s for s in pe.sections if s.Name.rstrip(b"\0") == b".text")
changed = bytearray(open(launcher, "rb").read())
changed[text.PointerToRawData + text.SizeOfRawData // 2] ^= 0xFF

# Beside CHECK, so that a hard link to it can be made.
with tempfile.TemporaryDirectory(dir=os.path.dirname(os.path.abspath(check))) as work:
    files = {"image.bin": bytes(image), "changed.exe": bytes(changed),
             "appended.exe": open(launcher, "rb").read() + b"appended"}
    for name, content in files.items():
        with open(os.path.join(work, name), "wb") as f:
            f.write(content)
    for name, source in (("launcher.exe", launcher), ("signed.exe", signed), ("other.exe", other), ("copy.exe", check)):
        shutil.copyfile(source, os.path.join(work, name))
    os.link(check, os.path.join(work, "link.exe"))
    answers = ["launcher.exe", "1", "signed.exe", "1", "appended.exe", "1", "changed.exe", "0", "other.exe", "0",
               "link.exe", "1", "copy.exe", "0"]
    sys.exit(subprocess.run([os.environ["WINELOADER"], os.path.abspath(check), "image.bin", address] + answers, cwd=work).returncode)
