# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The licence of each runtime archive member the link takes, from what Debian
states for the files it is built from: GCC's runtime by a table (libiberty's
demangler under its own terms), MinGW-w64's from its machine-readable
copyright file, each member matched to its source files by name in its
own folder of the source package's file list. A member matched to nothing stops the release set."""
from __future__ import annotations

import os
import re
import tarfile
from typing import Optional, cast

from debian.copyright import Copyright, License

from . import licences

GCC = "GPL-3.0-or-later WITH GCC-exception-3.1"
# libstdc++'s demangler is libiberty's cp-demangle.c, whose header grants this exception.
GCC_MEMBERS = {"cp-demangle.o": "GPL-2.0-or-later WITH GCC-exception-2.0"}
GCC_ARCHIVES = {"libgcc.a", "libgcc_eh.a", "libstdc++.a", "crtbegin.o", "crtend.o"}
# MinGW-w64's start-up objects, by the source file each is built from.
MINGW_OBJECTS = {"crt2.o": "crtexe", "dllcrt2.o": "crtdll"}
# The folder of MinGW-w64's source each archive is built from (the rest: the
# C runtime's), so that a member is matched only to its own library's files.
ARCHIVE_FOLDERS = {"libpthread.a": "mingw-w64-libraries/winpthreads/",
                   "libwinpthread.a": "mingw-w64-libraries/winpthreads/"}
GCC_EXCEPTION_2 = """GCC-exception-2.0 (libiberty's cp-demangle.c):

In addition to the permissions in the GNU General Public License, the Free
Software Foundation gives you unlimited permission to link the compiled
version of this file into combinations with other programs, and to
distribute those combinations without any restriction coming from the use
of this file. (The General Public License restrictions do apply in other
respects; for example, they cover modification of the file, and
distribution when not linked into a combine executable.)
"""
# Debian's licence names as SPDX identifiers; others become LicenseRef-MinGW-w64-<name>.
SPDX = {"ZPL-2.1": "ZPL-2.1", "expat": "MIT", "BSD-3-clause": "BSD-3-Clause", "BSD-2-clause-NetBSD": "BSD-2-Clause",
        "ISC": "ISC", "LGPL-2.1+": "LGPL-2.1-or-later", "LGPL-2+": "LGPL-2.0-or-later", "GPL-2+": "GPL-2.0-or-later",
        "GPL-3+": "GPL-3.0-or-later"}


def spdx(synopsis: str) -> str:
    """A Debian licence synopsis ("A and B", "A or B") as an SPDX expression."""
    def one(name: str) -> str:
        return SPDX.get(name, "LicenseRef-MinGW-w64-" + re.sub(r"[^A-Za-z0-9.-]+", "-", name))
    alternatives = [" AND ".join(one(n.strip()) for n in part.split(" and ")) for part in synopsis.split(" or ")]
    return " OR ".join("(%s)" % a if " " in a and len(alternatives) > 1 else a for a in alternatives)


def file_list(archive: str) -> list[str]:
    """The files in a source package's orig archive, below its top folder, in order (a folder is no source file,
    though it may have a source file's stem: mingw-w64-crt/misc)."""
    with tarfile.open(archive) as tar:
        return sorted(m.name.split("/", 1)[1] for m in tar.getmembers() if m.isfile() and "/" in m.name)


def source_folder(archive: str) -> str:
    """The folder of MinGW-w64's source that an archive is built from."""
    return ARCHIVE_FOLDERS.get(archive, "mingw-w64-crt/")


def mingw_sources(member: str, archive: str, files: list[str]) -> list[str]:
    """The source files a MinGW-w64 member is built from, in its archive's own folder: by its stem, or for an
    import stub by its DLL's .def file."""
    folder = source_folder(archive)
    stem = MINGW_OBJECTS.get(member) or (re.sub(r"^.*?_l?a-", "", member[:-2]) if member.endswith(".o") else member)
    found = [f for f in files if f.startswith(folder) and os.path.splitext(os.path.basename(f))[0] == stem]
    if not found:
        dll = re.match(r"^lib(.+)\.a$", archive)
        if dll and re.match(r"^lib%s(_def)?[sht]?\d*\.o$" % re.escape(dll.group(1)), member):
            found = [f for f in files if f.startswith(folder)
                     and re.match(r"^%s\.def(\.in)?$" % re.escape(dll.group(1)), os.path.basename(f))]
    return found


def mingw_licence(member: str, archive: str, files: list[str], copyright: Copyright) -> Optional[str]:
    """The licence of a MinGW-w64 member: every licence Debian states for any file it may be built from, at once
    (the catch-all "*" only where nothing more particular names the file); None when no file is found."""
    found: list[str] = []
    for path in mingw_sources(member, archive, files):
        matching = [p for p in copyright.all_files_paragraphs() if p.matches(path)]
        particular = [p for p in matching if tuple(p.files) != ("*",)] or matching
        stated = [cast(Optional[License], p.license) for p in particular]
        found.extend(spdx(licence.synopsis) for licence in stated if licence)
    return licences.conjunction(found) if found else None


def gcc_licence(member: str, archive: str) -> Optional[str]:
    return GCC_MEMBERS.get(member, GCC) if archive in GCC_ARCHIVES else None


def parse_copyright(text: str) -> Copyright:
    return Copyright(text.splitlines(keepends=True), strict=False)


def licence_text(expression: str) -> str:
    """Texts an expression needs beyond the package's copyright file."""
    return GCC_EXCEPTION_2 if "GCC-exception-2.0" in expression else ""
