# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""From the link map to the notices and the bill of materials, on tiny fixtures."""
import contextlib
import hashlib
import json
import os
import subprocess

import pytest

import components
import licences
import outputs
import release_set
import records
import runtime
from conftest import FIXTURES, write
from model import Manifest, PipelineError, Replacement, RuntimePackage, SourceFile, SourcePackage

QT = os.path.join(FIXTURES, "qt")
MAP = open(os.path.join(FIXTURES, "link.map")).read()
CAL = "src/corelib/time/qcalendar.cpp"
RECIPE = Manifest(None, SourcePackage("qtbase-opensource-src", "5.15.8+dfsg-11", (SourceFile("q.dsc", "0"),)),
                  (SourceFile("qt-listing.patch", "1"),), (Replacement(CAL, SourceFile("cal.cpp", "2"), "qt6-base",
                                                                       "6.4.2", "q/x", SourceFile("cal.patch", "3")),),
                  (), "/")
REPLACED = {"cal.cpp": "LGPL-3.0-only"}


def link(text=MAP):
    """The fixtures' link: three toolkit members, the runtime members of three packages, one of ours."""
    entries, parties, tags = records.attributions(QT), {}, {}
    record = lambda *files: records.member_record(QT, ["src/" + f for f in files], entries, tags, parties)
    licensing = {"members": {"libQt5Core.a(qcalendar.o)": record("corelib/time/qcalendar.cpp"),
                             "libQt5Core.a(qlocale.o)": record("corelib/qlocale.cpp", "corelib/qforward.h"),
                             "libQt5Core.a(strtoll.o)": record("3rdparty/freebsd/strtoll.c")}}
    licensing.update(qt={t: {"licence": records.TAGS[t][0], "text": records.licence_text(QT, f, t)}
                         for t, f in tags.items()},
                     third_party={k: records.third_party(QT, e) for k, e in parties.items()})
    gcc, mingw = RuntimePackage("g-dev", "gcc-mingw-w64", "25.2"), RuntimePackage("m-dev", "mingw-w64", "10.0.0-3")
    packages = {m.path: gcc if "/gcc/" in m.path else mingw for m in components.link_map(text, "/b")}
    files = open(os.path.join(FIXTURES, "mingw-w64.files")).read().split()
    return components.Link("/b", "/tk", licensing, packages, files,
                           runtime.parse_copyright(open(FIXTURES + "/copyright").read()),
                           {CAL: {"cal.patch"}, "src/corelib/corelib.pro": {"speed.patch"}})


@pytest.mark.parametrize("file, tag", [("corelib/qlocale.cpp", "LGPL"), ("corelib/qgpl.cpp", "GPL"),
                                       ("corelib/time/qcalendar.cpp", "LGPL"), ("corelib/qnotag.cpp", None)])
def test_licence_tags(file, tag):
    assert records.tag_of(QT, "src/" + file)[0] == tag


def test_archive_members_by_name_and_bytes(tmp_path):
    names = {"a.o": "short\n", "a_rather_long_member_name.o": "long\n"}
    write(tmp_path, names)
    subprocess.run(["ar", "rcs", "lib.a", *names], cwd=tmp_path, check=True)
    assert {name: body.decode() for name, body in records.members(str(tmp_path / "lib.a"))} == names


def test_what_the_link_took_its_components_and_their_licences():
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


def gpl_calendar(data):
    data.licensing["members"]["libQt5Core.a(qcalendar.o)"].licences["src/corelib/time/qcalendar.cpp"] = "GPL-3.0-only"


@pytest.mark.parametrize("text, change, message", ids="gpl unrecorded package runtime-gpl map ltrans".split(), argvalues=[
    (MAP, gpl_calendar, r"libQt5Core.a\(qcalendar.o\): src/corelib/time/qcalendar.cpp is under GPL-3.0-only"),
    (MAP, lambda data: data.licensing["members"].pop("libQt5Core.a(qlocale.o)"), "qlocale.o.: not in the toolkit's"),
    (MAP, lambda data: data.packages.update({"/usr/i686-w64-mingw32/lib/libmingwex.a": RuntimePackage("x", "x", "1")}),
     "misc.o.: from x, a package of no known component"),
    (MAP.replace("misc.o)", "gpl.o)", 1), lambda data: None, "gpl.o. is under GPL-3.0-or-later, which the licence"),
    (MAP.replace("qlocale.o)", "qlocale.o", 1), lambda data: None, "names no archive member it understands"),
    (MAP + "LOAD /opt/blob.ltrans0.ltrans.o\n", lambda data: None, "blob.ltrans0.ltrans.o: "),
])
def test_what_the_policy_or_the_records_refuse_stops_with_its_name(text, change, message):
    with pytest.raises(PipelineError, match=message):
        data = link(text)
        change(data)
        components.components(components.link_map(text, "/b"), data)


@pytest.mark.parametrize("expression, allowed", [
    ("GPL-3.0-or-later WITH GCC-exception-3.1", True), ("GPL-3.0-or-later WITH Classpath-exception-2.0", False),
    ("LicenseRef-Qt-Commercial OR LGPL-3.0-only", True), ("MIT AND (GPL-3.0-only OR BSD-3-Clause)", True),
    ("MIT AND GPL-2.0-only", False), ("LicenseRef-MinGW-w64-Lucent AND ZPL-2.1", True), ("MPL-2.0", False)])
def test_licence_policy(expression, allowed):
    assert licences.is_allowed(licences.parse(expression)) == allowed


NAMES = ["Pellimantor.exe", "NOTICES.txt"] + ["source/" + n for n in (
    "launcher.tar REBUILD.txt manifest.json configure-options mingw-w64_10.0.0-3.files q.dsc qt-listing.patch cal.cpp "
    "cal.patch").split()]


@pytest.mark.parametrize("names, message", [(NAMES, None), (NAMES + ["source/x"], "does not name: source/x"),
                                            (NAMES[:4] + NAMES[5:], "names manifest.json, which the release set")])
def test_every_component_versioned_and_every_file_referenced(names, message):
    data = link()
    found = components.components(components.link_map(MAP, "/b"), data)
    ours = {"version": "abc", "text": "MIT", "runtime_files": [NAMES[6][7:]]}
    components.describe(found, RECIPE, data.licensing, ours, {p.source: p for p in data.packages.values()})
    keys, app = components.order(found), outputs.Application("abc", 0, "abc", "0" * 64, "", "MIT")
    with pytest.raises(PipelineError, match=message) if message else contextlib.nullcontext():
        bom = json.loads(outputs.bill_of_materials(keys, found, app, RECIPE, dict.fromkeys(names, "0" * 64), REPLACED))
        items, notices = bom["components"] + bom["components"][0]["components"], outputs.notices(keys, found, "MIT", RECIPE)
        assert all(c["version"] for c in items) and "Version: \n" not in notices
        assert found["freebsd"].purl.endswith("src@5.15.8%2Bdfsg-11?arch=source#src/3rdparty/freebsd")
        # The notices name every member and object the link took, and the file replaced in, with its origin.
        assert all(m.label in notices for m in components.link_map(MAP, "/b"))
        assert "Replaced by us: %s, with q/x of qt6-base 6.4.2 (source/cal.cpp), adapted by source/cal.patch" % CAL in notices
        assert {a["licenses"][0]["expression"] for c in items for a in c.get("pedigree", {}).get("ancestors", [])
                if a["type"] == "file"} == {"LGPL-3.0-only"}
        # The file's own hash is the one of the file in the set, signed or not.
        for signed in ("", "1" * 64):
            app = outputs.Application("abc", 0, "abc", "0" * 64, signed, "MIT")
            bom = json.loads(outputs.bill_of_materials(keys, found, app, RECIPE, dict.fromkeys(names, "0" * 64), REPLACED))
            assert bom["metadata"]["component"]["hashes"] == [{"alg": "SHA-256", "content": signed or "0" * 64}]


def test_a_patch_the_tree_adds_goes_into_the_source_and_marks_it_modified(tmp_path):
    # An unpacked launcher.tar whose recipient added a patch of their own.
    write(str(tmp_path), {"a.txt": "a\n", "toolkit/patches/zz-mine.patch": "+x\n",
                          "SOURCE": "commit c\ntime 1\n\n%s a.txt\n" % hashlib.sha256(b"a\n").hexdigest()})
    _, _, modified, files, _ = release_set.source_of(str(tmp_path))
    assert modified and files["toolkit/patches/zz-mine.patch"][0] == b"+x\n"
