#!/usr/bin/env python3
"""Reads the shipped Windows launcher back and checks its form: a 32-bit x86
PE32 image of the GUI subsystem that imports Windows system DLLs only, and
whose resources are exactly the icon group IDI_ICON1 (16, 32 and 48 pixels at
32 bits per pixel, the images of the given .ico) and the version record, all
in language 0x0409, with nothing else (no manifest).

Usage: check_pe.py LAUNCHER_EXE ICON_FILE"""

import struct
import sys

import pefile

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16
US_ENGLISH = 0x0409
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "ole32.dll", "oleaut32.dll",
    "msvcrt.dll", "ws2_32.dll", "userenv.dll", "netapi32.dll", "version.dll", "winmm.dll",
    "mpr.dll", "shlwapi.dll", "uuid.dll", "gdi32.dll", "rpcrt4.dll", "secur32.dll", "crypt32.dll",
}
VERSION_STRINGS = {
    "CompanyName": "", "FileDescription": "", "FileVersion": "0.0.0.0", "LegalCopyright": "",
    "OriginalFilename": "Pellimantor.exe", "ProductName": "Pellimantor", "ProductVersion": "0.0.0.0",
}

failures = []


def expect(condition, message):
    if not condition:
        failures.append(message)


def ico_images(path):
    data = open(path, "rb").read()
    _, _, count = struct.unpack_from("<HHH", data, 0)
    images = {}
    for i in range(count):
        width, _, _, _, _, bits, size, offset = struct.unpack_from("<BBBBHHII", data, 6 + 16 * i)
        images[width or 256] = (bits, data[offset:offset + size])
    return images


def resources(pe):
    """Yields (type id, name, language, data) for every resource."""
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return
    for type_entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        for name_entry in type_entry.directory.entries:
            name = str(name_entry.name) if name_entry.name is not None else name_entry.id
            for lang_entry in name_entry.directory.entries:
                rva, size = lang_entry.data.struct.OffsetToData, lang_entry.data.struct.Size
                yield type_entry.id, name, lang_entry.id, pe.get_data(rva, size)


def check_headers(pe):
    expect(pe.FILE_HEADER.Machine == 0x14C, f"machine is {pe.FILE_HEADER.Machine:#x}, expected i386 (0x14c)")
    expect(pe.OPTIONAL_HEADER.Magic == 0x10B, f"optional header magic {pe.OPTIONAL_HEADER.Magic:#x}, expected PE32 (0x10b)")
    expect(pe.OPTIONAL_HEADER.Subsystem == 2, f"subsystem {pe.OPTIONAL_HEADER.Subsystem}, expected Windows GUI (2)")
    dlls = {entry.dll.decode().lower() for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    expect("kernel32.dll" in dlls, f"imports {sorted(dlls)}, expected KERNEL32.dll among them")
    expect(dlls <= SYSTEM_DLLS, f"imports non-system DLLs: {sorted(dlls - SYSTEM_DLLS)}")
    expect(not hasattr(pe, "DIRECTORY_ENTRY_DELAY_IMPORT"), "has delay-load imports")


def check_resources(pe, icon_path):
    found = list(resources(pe))
    kinds = sorted({(kind, name) for kind, name, _, _ in found if kind != RT_ICON})
    expect(kinds == [(RT_GROUP_ICON, "IDI_ICON1"), (RT_VERSION, 1)],
           f"resources other than icons are {kinds}, expected the group IDI_ICON1 and version record 1 only")
    for kind, name, language, _ in found:
        expect(language == US_ENGLISH, f"resource type {kind} name {name} in language {language:#06x}, expected 0x0409")

    icons = {name: data for kind, name, _, data in found if kind == RT_ICON}
    groups = [data for kind, _, _, data in found if kind == RT_GROUP_ICON]
    expected = ico_images(icon_path)
    if len(groups) != 1:
        expect(False, f"{len(groups)} icon groups, expected 1")
        return
    group = groups[0]
    _, kind, count = struct.unpack_from("<HHH", group, 0)
    members = {}
    for i in range(count):
        width, height, _, _, _, bits, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        members[icon_id] = (width, height, bits)
        expect(icons.get(icon_id) == expected.get(width, (None, None))[1],
               f"icon image {icon_id} ({width}x{height}) differs from the {width}-pixel image of {icon_path}")
    sizes = sorted((w, h, b) for w, h, b in members.values())
    expect(kind == 1 and sizes == [(16, 16, 32), (32, 32, 32), (48, 48, 32)],
           f"icon group holds {sizes}, expected 16x16, 32x32 and 48x48 at 32 bits per pixel")
    expect(sorted(icons) == sorted(members), f"icon images {sorted(icons)}, group names {sorted(members)}")


def check_version(pe):
    fixed = pe.VS_FIXEDFILEINFO[0] if getattr(pe, "VS_FIXEDFILEINFO", None) else None
    expect(fixed is not None, "no fixed version information")
    if fixed:
        numbers = (fixed.FileVersionMS, fixed.FileVersionLS, fixed.ProductVersionMS, fixed.ProductVersionLS)
        expect(numbers == (0, 0, 0, 0), f"fixed file and product versions {numbers}, expected all 0 (0.0.0.0)")
    tables, translations = {}, []
    for info in getattr(pe, "FileInfo", [[]])[0]:
        for table in getattr(info, "StringTable", []):
            tables[table.LangID.decode()] = {k.decode(): v.decode() for k, v in table.entries.items()}
        for var in getattr(info, "Var", []):
            translations.append(var.entry)
    expect(list(tables) == ["040904b0"], f"string blocks {list(tables)}, expected 040904b0 only")
    strings = {k: v.rstrip("\0") for k, v in tables.get("040904b0", {}).items()}
    expect(strings == VERSION_STRINGS, f"version strings {strings}, expected {VERSION_STRINGS}")
    expect(translations == [{b"Translation": "0x0409 0x04b0"}],
           f"translation entries {translations}, expected 0x0409 with code page 1200")


def main():
    exe, icon = sys.argv[1], sys.argv[2]
    pe = pefile.PE(exe)
    check_headers(pe)
    check_resources(pe, icon)
    check_version(pe)
    for failure in failures:
        print(f"FAIL: {failure}")
    print(f"{exe}: {'as expected' if not failures else f'{len(failures)} problem(s)'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
