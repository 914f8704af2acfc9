# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The toolkit's inputs: the manifest, Qt's tree as compiled, offline builds, the commands' faults."""
import contextlib
import hashlib
import os
import subprocess
import sys

import pytest

import manifest
import release_set
import toolkit
from conftest import PIPELINE, write
from model import Manifest, PipelineError, RuntimePackage, SourceFile

CAL = "src/corelib/time/qcalendar.cpp"
QT5, QT6, OURS = "return 31; // 5.15\n", "return 31;\n", "return 31; // ours\n"
ORIG = "qtbase-opensource-src_5.15.8.orig.tar.xz"


def sha(text):
    return hashlib.sha256(text.encode()).hexdigest()


@pytest.fixture
def inputs(tmp_path, monkeypatch):
    """A source folder (Qt's package, the Qt 6 file) and our changes (the calendar patch, one patch)."""
    dsc = "Source: qtbase-opensource-src\nVersion: 5.15.8-1\nChecksums-Sha256:\n %s 5 %s\n" % (sha("orig\n"), ORIG)
    src = write(tmp_path / "src", {"qtbase-opensource-src_5.15.8-1.dsc": dsc, ORIG: "orig\n", "qt6.cpp": QT6})
    kit = write(tmp_path / "kit", {"cal.patch": (CAL, QT6, OURS), "patches/qt-listing.patch": ("q.cpp", "a\n", "b\n")})
    monkeypatch.setattr(manifest, "REPLACEMENTS", [dict(path=CAL, package="qt6-base", version="6.4.2", member="q/x",
                                                        file=SourceFile("qt6.cpp", sha(QT6)), patch="cal.patch")])
    return src, kit


@pytest.mark.parametrize("versions, newest", [(["1.9", "1.10"], "1.10"), (["1.0", "1.0~rc1"], "1.0"),
                                              (["5.15.8-11+deb12u3", "5.15.8-11+deb12u10"], "5.15.8-11+deb12u10")])
def test_newest_dsc_by_debian_version(tmp_path, versions, newest):
    write(tmp_path, {"q_%s.dsc" % v: "" for v in versions})
    assert manifest.newest_dsc(str(tmp_path), "q") == str(tmp_path / ("q_%s.dsc" % newest))


def test_manifest_names_every_input(inputs):
    recipe = manifest.build("windows", *inputs)
    assert Manifest.from_json(recipe.to_json()) == recipe
    assert [f.name for f in recipe.inputs()] == ["qtbase-opensource-src_5.15.8-1.dsc", ORIG, "qt-listing.patch",
                                                 "qt6.cpp", "cal.patch"]


@pytest.mark.parametrize("changed", ["cal.patch", "patches/qt-listing.patch", "patches/zz-mine.patch"])
def test_cache_key_follows_every_patch(inputs, changed):
    before = manifest.build("windows", *inputs).key
    write(inputs[1], {changed: ("x", "1\n", "2\n")})
    assert manifest.build("windows", *inputs).key != before


# Qt's tree as the toolkit compiles it: the replaced file with our patch to it, then our patches, so that a patch
# (zz-mine.patch) to the replaced file reaches what is compiled; a fault in an input stops it with the input named.
@pytest.mark.parametrize("name, text, message", [
    ("kit/patches/zz-mine.patch", (CAL, OURS, OURS.replace("31", "32")), None),
    ("src/qt6.cpp", None, "qt6.cpp is not in"),
    ("src/qt6.cpp", QT5, "qt6.cpp in .* is not the file recorded"),
    ("src/" + ORIG, "other\n", ORIG + ", which qtbase-opensource-src_5.15.8-1.dsc lists, is missing from .* or"),
    ("kit/patches/zz-mine.patch", (CAL, QT6 + "x\n", "y\n"), "the patch zz-mine.patch does not apply"),
    ("kit/patches/cal.patch", ("x", "1\n", "2\n"), "two inputs named cal.patch"),
    ("src/manifest.json", Manifest(manifest.TARGETS["windows"], manifest.SourcePackage("q", "1", (SourceFile("q.dsc", "0"),)), (), (), (), "/")
     .to_json(), "not the ones its manifest.json records: q.dsc, qt6.cpp, "),
])
def test_the_tree_as_compiled_or_the_input_at_fault_named(inputs, tmp_path, name, text, message):
    os.remove(tmp_path / name) if text is None else write(tmp_path, {name: text})
    tree = write(tmp_path / "tree", {CAL: QT5, "q.cpp": "a\n"})
    with pytest.raises(PipelineError, match=message) if message else contextlib.nullcontext():
        recipe = manifest.build("windows", *inputs)
        manifest.place(recipe, manifest.input_paths(recipe, *inputs), tree)
        assert [open(os.path.join(tree, f)).read() for f in (CAL, "q.cpp")] == [OURS.replace("31", "32"), "b\n"]


@pytest.mark.parametrize("offline, message", [
    (lambda src, cache: toolkit.build("windows", cache, src), "qt6.cpp is not in"),
    (lambda src, cache: toolkit.build("windows", cache + "/a b", src), "holds white space"),
    (lambda src, cache: release_set.mingw_inputs(RuntimePackage("m", "mingw-w64", "10.0.0-3"), src, True),
     "mingw-w64_10.0.0-3.files is not in"),
])
def test_given_a_folder_nothing_is_fetched(inputs, tmp_path, monkeypatch, offline, message):
    monkeypatch.setattr(toolkit, "fetch", lambda *args: pytest.fail("fetched %s" % (args,)))
    os.remove(os.path.join(inputs[0], "qt6.cpp"))
    with pytest.raises(PipelineError, match=message):
        offline(inputs[0], str(tmp_path / "cache"))


# Each command imports only what it needs; a fault ends it with its message, no traceback.
@pytest.mark.parametrize("argv, status, output", [(["sources"], 0, ""), (["toolkit", "linux", "--sources", "/none"], 1,
                                                                          "is not in /none")])
def test_commands(argv, status, output):
    blocked = "import runpy, sys; sys.modules['license_expression'] = None; sys.argv[0] = %r; " % PIPELINE
    done = subprocess.run([sys.executable, "-c", blocked + "runpy.run_path(sys.argv[0], run_name='__main__')", *argv],
                          capture_output=True, text=True)
    assert (done.returncode, "Traceback" in done.stderr, output in done.stderr) == (status, False, True)
