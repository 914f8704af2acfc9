#!/usr/bin/env python3
# Reads the shipped Windows launcher back: an i386 PE32 image of the GUI
# subsystem with no link time; relocatable (ASLR, relocations present), DEP
# compatible and terminal-server aware; importing no more than the Windows
# system DLLs it imports today; whose resources are exactly the icon group
# IDI_ICON1 (the 16, 32 and 48-pixel 32-bit images of the given .ico) and the
# version record 0.0.0.0, all in language 0x0409.
#   check_pe.py LAUNCHER_EXE ICON_FILE

import struct
import sys

import pefile

SYSTEM_DLLS = {"advapi32.dll", "kernel32.dll", "msvcrt.dll", "netapi32.dll", "ole32.dll", "shell32.dll",
               "user32.dll", "userenv.dll", "version.dll", "winmm.dll", "ws2_32.dll"}
STRINGS = {"CompanyName": "", "FileDescription": "", "FileVersion": "0.0.0.0", "LegalCopyright": "",
           "OriginalFilename": "Pellimantor.exe", "ProductName": "Pellimantor", "ProductVersion": "0.0.0.0"}

pe = pefile.PE(sys.argv[1])
ico = open(sys.argv[2], "rb").read()
header, optional, fixed = pe.FILE_HEADER, pe.OPTIONAL_HEADER, pe.VS_FIXEDFILEINFO[0]
icons = [ico[offset:offset + size] for *_, size, offset in
         (struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i) for i in range(struct.unpack_from("<H", ico, 4)[0]))]
resources = {(kind.id, str(name.name) if name.name else name.id, language.id):
             pe.get_data(language.data.struct.OffsetToData, language.data.struct.Size)
             for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries for name in kind.directory.entries
             for language in name.directory.entries}
group = resources.get((14, "IDI_ICON1", 0x409), b"")
members = [struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i) for i in range(len(group) // 14)]
dlls = {entry.dll.decode().lower() for entry in pe.DIRECTORY_ENTRY_IMPORT}
info = {key.decode(): value.decode().rstrip("\0") for block in pe.FileInfo[0]
        for table in getattr(block, "StringTable", []) for key, value in table.entries.items()}
translations = [var.entry for block in pe.FileInfo[0] for var in getattr(block, "Var", [])]
checks = {
    "i386, PE32, GUI subsystem, no link time":
        (header.Machine, optional.Magic, optional.Subsystem, header.TimeDateStamp) == (0x14C, 0x10B, 2, 0),
    "ASLR with relocations, DEP, terminal-server aware": optional.DllCharacteristics & 0x8140 == 0x8140
        and optional.DATA_DIRECTORY[5].Size > 0 and not header.Characteristics & 1,
    f"imports {sorted(dlls)}: system DLLs only":
        "kernel32.dll" in dlls and dlls <= SYSTEM_DLLS and not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"),
    f"resources {sorted(resources)}: icons, group IDI_ICON1, version record 1, all 0x0409":
        {key[:2] for key in resources if key[0] != 3} == {(14, "IDI_ICON1"), (16, 1)}
        and {key[2] for key in resources} == {0x409},
    "icon group: the .ico's 16, 32 and 48-pixel 32-bit images":
        [(member[0], member[1], member[5]) for member in members] == [(16, 16, 32), (32, 32, 32), (48, 48, 32)]
        and [resources.get((3, member[-1], 0x409)) for member in members] == icons,
    f"version record {info} {translations}: 0.0.0.0, the product's names, translation 0x0409 code page 1200":
        (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS) == (0, 0, 0, 0)
        and info == STRINGS and translations == [{b"Translation": "0x0409 0x04b0"}],
}
for name, passed in checks.items():
    print(f"{'PASS' if passed else 'FAIL'}: {name}")
sys.exit(0 if all(checks.values()) else 1)
