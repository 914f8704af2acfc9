# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""From the link map and the final link's evidence to the notices and the bill of materials, on tiny fixtures."""
from __future__ import annotations

import hashlib
import json
import os
import subprocess
from pathlib import Path
from typing import Any, Callable, Optional

import pytest

from .. import components, licences, outputs, presence, records, release_set, runtime
from ..model import Component, Licensing, Manifest, Package, PipelineError, Replacement, RuntimePackage, SourceFile, SourcePackage
from ..model import ThirdParty
from .conftest import FIXTURES, write

QT = os.path.join(FIXTURES, "qt")
MAP = open(os.path.join(FIXTURES, "link.map")).read()
CAL = "src/corelib/time/qcalendar.cpp"
RECIPE = Manifest(None, SourcePackage("qtbase-opensource-src", "5.15.8+dfsg-11", (SourceFile("q.dsc", "0"),)),  # type: ignore[arg-type]
                  (SourceFile("qt-listing.patch", "1"),), (Replacement(CAL, SourceFile("cal.cpp", "2"), "qt6-base",
                                                                       "6.4.2+dfsg-10", "q/x", SourceFile("cal.patch", "3")),),
                  (), "/", (Package("cmake", "3.25.1-1"),))
REPLACED = {"cal.cpp": "LGPL-3.0-only"}
MEMBERS = {"qcalendar.o": ["corelib/time/qcalendar.cpp"], "qlocale.o": ["corelib/qlocale.cpp", "corelib/qforward.h"],
           "strtoll.o": ["3rdparty/freebsd/strtoll.c"]}


def licensing() -> Licensing:
    """The fixtures' toolkit records, made as a toolkit build makes them: three members of one archive."""
    compiled = {hashlib.sha256(name.encode()).hexdigest(): ["src/" + f for f in files] for name, files in MEMBERS.items()}
    archives = {"libQt5Core.a": [(name, name.encode()) for name in MEMBERS]}
    return records.licensing_of(records.read_tree(QT, compiled), compiled, archives)


def link(text: str = MAP, dropped: Optional[set[str]] = None) -> components.Link:
    """The fixtures' link: three toolkit members, the runtime members of three packages, one of ours."""
    gcc, mingw = RuntimePackage("g-dev", "gcc-mingw-w64", "25.2"), RuntimePackage("m-dev", "mingw-w64", "10.0.0-3")
    packages = {m.path: gcc if "/gcc/" in m.path else mingw for m in components.link_map(text, "/b")}
    files = open(os.path.join(FIXTURES, "mingw-w64.files")).read().split()
    return components.Link("/b", "/tk", licensing(), packages, files,
                           runtime.parse_copyright(open(FIXTURES + "/copyright").read()),
                           {CAL: {"cal.patch"}, "src/corelib/corelib.pro": {"speed.patch"}}, dropped or set())


@pytest.mark.parametrize("file, tag", [("corelib/qlocale.cpp", "LGPL"), ("corelib/qgpl.cpp", "GPL"),
                                       ("corelib/time/qcalendar.cpp", "LGPL"), ("corelib/qnotag.cpp", None)])
def test_licence_tags(file: str, tag: Optional[str]) -> None:
    tree = records.read_tree(QT, {"": ["src/" + file]})
    assert records.tag_of(tree, "src/" + file)[0] == tag


def test_archive_members_by_name_and_bytes(tmp_path: Path) -> None:
    names = {"a.o": "short\n", "a_rather_long_member_name.o": "long\n"}
    write(tmp_path, dict(names))
    subprocess.run(["ar", "rcs", "lib.a", *names], cwd=tmp_path, check=True)
    assert {name: body.decode() for name, body in records.members(str(tmp_path / "lib.a"))} == names


def test_what_the_link_took_its_components_and_their_licences() -> None:
    taken = components.link_map(MAP, "/b")
    assert {m.label for m in taken} == {
        "libQt5Core.a(qcalendar.o)", "libQt5Core.a(qlocale.o)", "libQt5Core.a(strtoll.o)", "main.cpp.obj",
        "liblauncher_logic.a(discovery.cpp.obj)", "crtbegin.o", "libstdc++.a(cp-demangle.o)",
        "libmingwex.a(lib32_libmingwex_a-misc.o)", "libpthread.a(libwinpthread_la-misc.o)"}
    found = components.components(taken, link())
    assert sorted(found) == ["freebsd", "gcc-mingw-w64", "mingw-w64", "pellimantor", "qt"]
    assert found["mingw-w64"].member_licences == {
        "libmingwex.a(lib32_libmingwex_a-misc.o)": "LicenseRef-MinGW-w64-Lucent",
        "libpthread.a(libwinpthread_la-misc.o)": "MIT"}
    assert found["gcc-mingw-w64"].member_licences["libstdc++.a(cp-demangle.o)"].endswith("WITH GCC-exception-2.0")
    # A patch of Qt's build files only, which no member records, is every part's.
    assert [p.key for p in found["qt"].parts] == ["qt-LGPL"] and found["qt"].changes == {"cal.patch", "speed.patch"}
    assert found["qt"].parts[0].changes == {"cal.patch", "speed.patch"}
    # A member whose code the optimiser dropped brings in nothing.
    assert "freebsd" not in components.components(taken, link(dropped={"libQt5Core.a(strtoll.o)"}))


def gpl_calendar(data: components.Link, dropped: bool = False) -> None:
    """The calendar file under the GPL-3.0: refused, even where the optimiser dropped its code."""
    data.licensing.members["libQt5Core.a(qcalendar.o)"].licences["src/corelib/time/qcalendar.cpp"] = "GPL-3.0-only"
    if dropped:
        data.dropped.add("libQt5Core.a(qcalendar.o)")


@pytest.mark.parametrize("text, change, message", ids="gpl gpl-dropped unrecorded package runtime-gpl map ltrans".split(), argvalues=[
    (MAP, gpl_calendar, r"libQt5Core.a\(qcalendar.o\): src/corelib/time/qcalendar.cpp is under GPL-3.0-only"),
    (MAP, lambda data: gpl_calendar(data, dropped=True), "qcalendar.o.: src/"),
    (MAP, lambda data: data.licensing.members.pop("libQt5Core.a(qlocale.o)"), "qlocale.o.: not in the toolkit's"),
    (MAP, lambda data: data.packages.update({"/usr/i686-w64-mingw32/lib/libmingwex.a": RuntimePackage("x", "x", "1")}),
     "misc.o.: from x, a package of no known component"),
    (MAP.replace("misc.o)", "gpl.o)", 1), lambda data: None, "gpl.o. is under GPL-3.0-or-later, which the licence"),
    (MAP.replace("qlocale.o)", "qlocale.o", 1), lambda data: None, "names no archive member it understands"),
    (MAP + "LOAD /opt/blob.ltrans0.ltrans.o\n", lambda data: None, "blob.ltrans0.ltrans.o: "),
])
def test_what_the_policy_or_the_records_refuse_stops_with_its_name(text: str, change: Callable[[components.Link], Any],
                                                                    message: str) -> None:
    data = link(text if "names no archive" not in message else MAP)
    change(data)
    with pytest.raises(PipelineError, match=message):
        components.components(components.link_map(text, "/b"), data)


@pytest.mark.parametrize("expression, allowed", [
    ("GPL-3.0-or-later WITH GCC-exception-3.1", True), ("GPL-3.0-or-later WITH Classpath-exception-2.0", False),
    ("LicenseRef-Qt-Commercial OR LGPL-3.0-only", True), ("MIT AND (GPL-3.0-only OR BSD-3-Clause)", True),
    ("MIT AND GPL-2.0-only", False), ("LicenseRef-MinGW-w64-Lucent AND ZPL-2.1", True), ("MPL-2.0", False)])
def test_licence_policy(expression: str, allowed: bool) -> None:
    assert licences.is_allowed(licences.parse(expression)) == allowed


# The final link's evidence: nm of the unstripped file, the optimiser's call graph after inlining, its report.
ARCHIVES = """/tk/lib/libQt5Core.a[kept.o]:
__ZN4Kept3runEv T 0
__ZN4Kept4goneEv T 0
__ZN7QStringD1Ev T 0
/tk/lib/libQt5Core.a[inlined.o]:
__ZN7Inlined4stepEv T 0
__ZN7QStringD1Ev T 0
/tk/lib/libQt5Core.a[dropped.o]:
__Z3md5PKc T 0
__ZN7QStringD1Ev T 0
/tk/lib/libQt5Core.a[reported.o]:
__ZN8Reported5countEv T 0
/tk/lib/libQt5Core.a[caller.o]:
__ZN6Caller4mainEv T 0
__ZN8Reported5countEv U
/tk/lib/libQt5Core.a[header.o]:
__ZN7QStringD1Ev T 0
/tk/lib/libQt5Core.a[shared.o]:
__ZN6Shared3fooEv T 0
__ZN6Shared4goneEv T 0
/tk/lib/libQt5Core.a[both.o]:
__ZN6Shared3fooEv T 0
__ZN4Both4goneEv T 0
/tk/lib/libQt5Core.a[twin.o]:
__ZN4Kept3runEv T 0
"""
SYMBOLS = ("00401000 t __ZN4Kept3runEv.isra.0\n00402000 t __ZN6Caller4mainEv\n00403000 t __ZN7QStringD1Ev\n"
           "00404000 t __ZN6Shared3fooEv\n")
DUMP = ("_ZN7Inlined4stepEv/41 (step) @0x1\n  Type: function definition analyzed\n_ZN6Caller4mainEv/50 (main) @0x2\n"
        "  Type: function definition\n_Z3md5PKc/62 (md5) @0x3\n  Type: function\n  Body removed by symtab\n"
        "Reclaiming functions: md5/60\n")
REPORT = ("optimized:  Inlined step/41 into main/50 which now has time 2 (cross module).\n"
          "optimized:  Inlined count/77 into main/50 which now has time 2 (cross module).\n"
          "optimized:  Inlined md5/60 into gone/61 which now has time 2 (cross module).\n")


@pytest.mark.parametrize("member, report, present", [
    ("kept.o", REPORT, True),  # its own symbol is left in the file
    ("inlined.o", REPORT, True),  # its function is inlined into code the optimiser kept
    ("reported.o", REPORT, True),  # the report alone names it, where the receiving code refers to it
    ("reported.o", "", False), ("dropped.o", REPORT, False),
    ("header.o", REPORT, True),  # it defines nothing of its own: it cannot be told apart
    ("shared.o", REPORT, True),  # in the file, a symbol that only members otherwise dropped define
])
def test_a_member_is_dropped_only_when_no_code_of_its_own_is_left(member: str, report: str, present: bool) -> None:
    # (twin.o, which also defines Kept::run, is in the archive but was not taken.)
    labels = ["libQt5Core.a(%s)" % name for name in "kept inlined dropped reported caller header shared both".split()]
    labels = [label.replace(")", ".o)") for label in labels]
    found = presence.present(labels, presence.archive_symbols(ARCHIVES), presence.parse(SYMBOLS, DUMP, report))
    assert ("libQt5Core.a(%s)" % member in found) == present


NAMES = ["Pellimantor.exe", "NOTICES.txt"] + ["source/" + n for n in (
    "launcher.tar REBUILD.txt manifest.json configure-options mingw-w64_10.0.0-3.files q.dsc qt-listing.patch cal.cpp "
    "cal.patch").split()]


def release(dropped: Optional[set[str]] = None, names: list[str] = NAMES, signed: str = "") -> tuple[Json, str]:
    """The bill of materials (parsed) and the notices of the fixtures' link."""
    data = link(dropped=dropped)
    found = components.components(components.link_map(MAP, "/b"), data)
    found = components.describe(found, RECIPE, data.licensing, components.Ours("abc", "MIT", [NAMES[6][7:]]),
                        {p.source: p for p in data.packages.values()})
    keys, app = components.order(found), outputs.Application("abc", 0, "abc", "0" * 64, signed, "MIT")
    gone = sorted(dropped or ())
    bom = outputs.bill_of_materials(keys, found, app, RECIPE, dict.fromkeys(names, "0" * 64), REPLACED, gone)
    dates = {"cal.patch": "2026-12-07", "qt-listing.patch": "undated"}
    return json.loads(bom), outputs.notices(keys, found, "MIT", RECIPE, dates, gone, data.licensing)


Json = dict[str, Any]


@pytest.mark.parametrize("names, message", [(NAMES + ["source/x"], "does not name: source/x"),
                                            (NAMES[:4] + NAMES[5:], "names manifest.json, which the release set")])
def test_every_file_of_the_set_is_referenced(names: list[str], message: str) -> None:
    with pytest.raises(PipelineError, match=message):
        release(names=names)


def test_what_the_set_says_of_the_file() -> None:
    bom, notices = release()
    items = bom["components"] + bom["components"][0]["components"]
    assert all(c["version"] for c in items) and "Version: \n" not in notices
    assert items[1]["purl"].endswith("src@5.15.8%2Bdfsg-11?arch=source#src/3rdparty/freebsd")
    # The notices name every member and object the link took, the patches with their dates, the file replaced in.
    assert all(m.label in notices for m in components.link_map(MAP, "/b"))
    assert "Modified by us: source/cal.patch (2026-12-07), source/speed.patch (undated)\n" in notices
    assert ("Replaced by us: %s, with Qt 6.4.2's file, q/x of qt6-base 6.4.2+dfsg-10 (source/cal.cpp), adapted by "
            "source/cal.patch" % CAL) in notices
    assert {a["licenses"][0]["expression"] for c in items for a in c.get("pedigree", {}).get("ancestors", [])
            if a["type"] == "file"} == {"LGPL-3.0-only"}
    assert bom["formulation"][0]["components"][0]["purl"] == "pkg:deb/debian/cmake@3.25.1-1"
    assert outputs.rebuild("a @QT@\n@TOOLCHAIN@\nb", "c", RECIPE, "MIT") == (
        "a 5.15.8+dfsg-11\n     cmake                                3.25.1-1\nb")
    # The file's own hash is the one of the file in the set, signed or not.
    for signed in ("", "1" * 64):
        assert release(signed=signed)[0]["metadata"]["component"]["hashes"] == [
            {"alg": "SHA-256", "content": signed or "0" * 64}]


def test_code_dropped_whole_is_listed_apart() -> None:
    bom, notices = release(dropped={"libQt5Core.a(strtoll.o)"})
    assert "freebsd" not in bom["dependencies"][0]["dependsOn"] and "freebsd" not in json.dumps(bom["components"])
    assert {"name": "pellimantor:dropped-member", "value": "libQt5Core.a(strtoll.o)"} in bom["metadata"]["component"][
        "properties"]
    listed = notices.split("dropped whole by its optimisation")
    assert "FreeBSD" not in listed[0] and "  libQt5Core.a(strtoll.o): FreeBSD strtoll and strtoull\n" in listed[1]


def test_components_bundled_in_one_folder_have_their_own_purls() -> None:
    data = link()
    party = ThirdParty("Keccak", "", "CC0-1.0", "", "", "src/3rdparty/sha3", "CC0", "KeccakSponge.c KeccakSponge.h")
    data.licensing.third_party.update(sha3_keccak=party,
                                      sha3_endian=ThirdParty(**dict(party.__dict__, files="brg_endian.h")))
    found = {key: Component(key) for key in ("sha3_keccak", "sha3_endian", "freebsd")}
    found = components.describe(found, RECIPE, data.licensing, components.Ours("abc", "MIT", []), {})
    assert [found[key].purl.split("#")[1] for key in found] == [
        "src/3rdparty/sha3/KeccakSponge.c", "src/3rdparty/sha3/brg_endian.h", "src/3rdparty/freebsd"]


# Every patch is credited, in whatever form its paths come (applied with -p1); its date is its header's.
@pytest.mark.parametrize("text, paths", [("+++ b/src/x.cpp\n", ["src/x.cpp"]), ("+++ qtbase/src/x.cpp\n", ["src/x.cpp"]),
                                         ("no diff\n", [""])])
def test_every_patch_is_credited(text: str, paths: list[str]) -> None:
    assert components.changed_files(RECIPE, {"qt-listing.patch": text}) == dict(
        {CAL: {"cal.patch"}}, **{path: {"qt-listing.patch"} for path in paths})


@pytest.mark.parametrize("text, date", [("Date: 2026-12-08\nSPDX-License-Identifier: MIT\n\n--- a/x\n", "2026-12-08"),
                                        ("Why.\n\n--- a/x\n+Date: 1999-01-01\n", "undated")])
def test_patch_dates(text: str, date: str) -> None:
    assert outputs.patch_date(text) == date


def test_a_patch_the_tree_adds_goes_into_the_source_and_marks_it_modified(tmp_path: Path) -> None:
    # An unpacked launcher.tar whose recipient added a patch of their own.
    write(str(tmp_path), {"a.txt": "a\n", "toolkit/patches/zz-mine.patch": "+x\n",
                          "SOURCE": "commit c\ntime 1\n\n%s a.txt\n" % hashlib.sha256(b"a\n").hexdigest()})
    source = release_set.source_of(str(tmp_path))
    assert source.modified and source.files["toolkit/patches/zz-mine.patch"][0] == b"+x\n"


# Debian's licence names as SPDX; expressions joined once each; versions and package URLs as their rules ask.
@pytest.mark.parametrize("made, expected", [
    (lambda: runtime.spdx("expat"), "MIT"), (lambda: runtime.spdx("GPL-2+ or BSD-3-clause"), "GPL-2.0-or-later OR BSD-3-Clause"),
    (lambda: runtime.spdx("public domain and ZPL-2.1 or ISC"),
     "(LicenseRef-MinGW-w64-public-domain AND ZPL-2.1) OR ISC"),
    (lambda: licences.conjunction(["MIT", "MIT AND Zlib", "LGPL-3.0-only OR GPL-2.0-only"]),
     "MIT AND Zlib AND (LGPL-3.0-only OR GPL-2.0-only)"),
    (lambda: components.plain_version("v2.0.1"), "v2.0.1"),
    (lambda: components.plain_version("d4e2a10, fetched on 2021-06-11"), "d4e2a10"),
    (lambda: components.plain_version("https://x/y commit 0123456789abcdef"), "0123456789abcdef"),
    (lambda: components.plain_version("no version"), ""),
    (lambda: components.purl("deb/debian", "q", "5.15.8+dfsg-11~1", "?arch=source", "src/3rdparty/zlib"),
     "pkg:deb/debian/q@5.15.8%2Bdfsg-11~1?arch=source#src/3rdparty/zlib"),
])
def test_names_and_versions(made: Callable[[], str], expected: str) -> None:
    assert made() == expected


# What each object was compiled from, by its dependency record (paths relative to where make ran), and which
# qt_attribution.json entry covers a file.
def test_objects_by_their_dependency_records(tmp_path: Path) -> None:
    write(tmp_path, {"qt/src/a.cpp": "", "qt/src/a.h": "", "build/src/.obj/a.o": "object",
                     "build/src/.obj/a.d": ".obj/a.o: ../../qt/src/a.cpp \\\n ../../qt/src/a.h /usr/include/stdio.h\n"})
    assert records.objects_of(str(tmp_path / "qt"), str(tmp_path / "build")) == {
        hashlib.sha256(b"object").hexdigest(): ["src/a.cpp", "src/a.h"]}


@pytest.mark.parametrize("entry, file, covered", [
    ({"Folder": "src/3rdparty/sha3", "Files": "brg_endian.h"}, "src/3rdparty/sha3/brg_endian.h", True),
    ({"Folder": "src/3rdparty/sha3", "Files": "brg_endian.h"}, "src/3rdparty/sha3/KeccakSponge.c", False),
    ({"Folder": "src/3rdparty", "Path": "zlib"}, "src/3rdparty/zlib/src/crc32.c", True),
    ({"Folder": "src/3rdparty", "Path": "zlib"}, "src/3rdparty/zlibx/a.c", False),
    ({"Folder": "src/corelib/codecs"}, "src/corelib/codecs/qtsciicodec.cpp", True),
    ({"Folder": "src/corelib/codecs"}, "src/corelib/text/qstring.cpp", False),
])
def test_what_an_attribution_covers(entry: dict[str, str], file: str, covered: bool) -> None:
    assert records.covers(entry, file) == covered
