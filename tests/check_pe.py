#!/usr/bin/env python3
# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
# Reads the shipped Windows launcher back: an i386 PE32 image of the GUI
# subsystem with no link time; relocatable (ASLR, relocations present), DEP
# compatible and terminal-server aware; importing only DLLs that Windows 10
# and 11 always take from their system folder (their known DLLs), so that no
# DLL beside it is loaded in their place; carrying the launcher's mark as the
# section .plmark; whose resources are exactly the icon group
# IDI_ICON1 (the 16, 32 and 48-pixel 32-bit images of the given .ico) and the
# version record 0.0.0.0, all in language 0x0409.
#   check_pe.py LAUNCHER_EXE ICON_FILE

import struct
import sys

import pefile

pe, ico = pefile.PE(sys.argv[1]), open(sys.argv[2], "rb").read()
header, optional, fixed = pe.FILE_HEADER, pe.OPTIONAL_HEADER, pe.VS_FIXEDFILEINFO[0]
resources = {(kind.id, str(name.name or name.id), language.id): pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size)
             for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries for name in kind.directory.entries for language in name.directory.entries}
# The .ico's directory gives each image's size and offset; the group's, each image's resource id.
images = [ico[offset:offset + size] for *_, size, offset in struct.iter_unpack("<4B2H2I", ico[6:6 + 16 * ico[4]])]
members = list(struct.iter_unpack("<4B2HIH", resources.get((14, "IDI_ICON1", 0x409), b"")[6:]))
dlls = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
strings = {key.decode(): value.decode() for block in pe.FileInfo[0] for table in getattr(block, "StringTable", []) for key, value in table.entries.items()}
checks = {
    "i386, PE32, GUI subsystem, no link time": (header.Machine, optional.Magic, optional.Subsystem, header.TimeDateStamp) == (0x14C, 0x10B, 2, 0),
    "ASLR with relocations, DEP, terminal-server aware":
        optional.DllCharacteristics & 0x8140 == 0x8140 and optional.DATA_DIRECTORY[5].Size > 0 and not header.Characteristics & 1,
    f"imports {sorted(dlls)}: known DLLs only": "kernel32.dll" in dlls and not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT") and dlls <= {
        name + ".dll" for name in ("advapi32", "clbcatq", "combase", "comdlg32", "coml2", "difxapi", "gdi32", "gdiplus", "imagehlp",
                                   "imm32", "kernel32", "msctf", "msvcrt", "normaliz", "nsi", "ole32", "oleaut32", "psapi", "rpcrt4",
                                   "sechost", "setupapi", "shcore", "shell32", "shlwapi", "user32", "wldap32", "ws2_32")},
    "the launcher's mark, section .plmark": [s.get_data()[:32] for s in pe.sections if s.Name == b".plmark\0"]
        == [struct.pack("<3I", 12, 8, 0x50454c4c) + b"Pellimantor\0launcher"],
    f"resources {sorted(resources)}: the .ico's 16, 32 and 48-pixel 32-bit images, group IDI_ICON1, version record 1, all 0x0409":
        {key[:2] for key in resources if key[0] != 3} == {(14, "IDI_ICON1"), (16, "1")} and {key[2] for key in resources} == {0x409}
        and [(m[0], m[1], m[5]) for m in members] == [(16, 16, 32), (32, 32, 32), (48, 48, 32)] and [resources.get((3, str(m[7]), 0x409)) for m in members] == images,
    f"version record {strings}: 0.0.0.0, the product's names, translation 0x0409 code page 1200":
        (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS) == (0, 0, 0, 0)
        and [var.entry for block in pe.FileInfo[0] for var in getattr(block, "Var", [])] == [{b"Translation": "0x0409 0x04b0"}]
        and strings == {"CompanyName": "", "FileDescription": "", "FileVersion": "0.0.0.0", "LegalCopyright": "",
                        "OriginalFilename": "Pellimantor.exe", "ProductName": "Pellimantor", "ProductVersion": "0.0.0.0"},
}
for name, passed in checks.items():
    print(f"{'PASS' if passed else 'FAIL'}: {name}")
sys.exit(0 if all(checks.values()) else 1)
