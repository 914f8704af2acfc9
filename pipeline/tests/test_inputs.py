# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The toolkit's inputs: the manifest, Qt's tree as compiled, offline builds, the commands' faults."""
from __future__ import annotations

import contextlib
import hashlib
import io
import os
import subprocess
import sys
from pathlib import Path
from typing import Any, Callable, Optional, Union

import pytest

from .. import manifest, release_set, sources, toolkit, tools
from ..model import Manifest, Package, PipelineError, Replacement, RuntimePackage, SourceFile, SourcePackage
from .conftest import write

CAL = "src/corelib/time/qcalendar.cpp"
QT5, QT6, OURS = "return 31; // 5.15\n", "return 31;\n", "return 31; // ours\n"
ORIG = "qtbase-opensource-src_5.15.8.orig.tar.xz"
TOOLS = (Package("g++-mingw-w64-i686-posix", "12.2.0-14"), Package("cmake", "3.25.1-1"))
Inputs = tuple[str, str]


def sha(text: str) -> str:
    return hashlib.sha256(text.encode()).hexdigest()


@pytest.fixture
def inputs(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> Inputs:
    """A source folder (Qt's package, the Qt 6 file) and our changes (the calendar patch, one patch)."""
    dsc = "Source: qtbase-opensource-src\nVersion: 5.15.8-1\nChecksums-Sha256:\n %s 5 %s\n" % (sha("orig\n"), ORIG)
    src = write(tmp_path / "src", {"qtbase-opensource-src_5.15.8-1.dsc": dsc, ORIG: "orig\n", "qt6.cpp": QT6})
    kit = write(tmp_path / "kit", {"cal.patch": (CAL, QT6, OURS), "patches/qt-listing.patch": ("q.cpp", "a\n", "b\n")})
    monkeypatch.setattr(manifest, "REPLACEMENTS", (Replacement(CAL, SourceFile("qt6.cpp", sha(QT6)), "qt6-base",
                                                                "6.4.2", "q/x", SourceFile("cal.patch", "")),))
    return src, kit


def recipe_of(inputs: Inputs, toolchain: tuple[Package, ...] = TOOLS) -> Manifest:
    src, kit = inputs
    return manifest.build("windows", src, toolchain, kit, manifest.recorded(src))


@pytest.mark.parametrize("versions, newest", [(["1.9", "1.10"], "1.10"), (["1.0", "1.0~rc1"], "1.0"),
                                              (["5.15.8-11+deb12u3", "5.15.8-11+deb12u10"], "5.15.8-11+deb12u10")])
def test_newest_dsc_by_debian_version(tmp_path: Path, versions: list[str], newest: str) -> None:
    write(tmp_path, {"q_%s.dsc" % v: "" for v in versions})
    assert manifest.newest_dsc(str(tmp_path), "q") == str(tmp_path / ("q_%s.dsc" % newest))


def test_manifest_names_every_input(inputs: Inputs) -> None:
    recipe = recipe_of(inputs)
    assert Manifest.from_json(recipe.to_json()) == recipe
    assert [f.name for f in recipe.inputs()] == ["qtbase-opensource-src_5.15.8-1.dsc", ORIG, "qt-listing.patch",
                                                 "qt6.cpp", "cal.patch"]


# The toolkit's key follows every patch and the toolchain's versions; a recipient whose toolchain differs is told.
@pytest.mark.parametrize("changed, toolchain", [("cal.patch", TOOLS), ("patches/qt-listing.patch", TOOLS),
                                                ("patches/zz-mine.patch", TOOLS), ("", TOOLS[:1]),
                                                ("", (TOOLS[0], Package("cmake", "3.25.2-1")))])
def test_cache_key_follows_every_patch_and_tool(inputs: Inputs, changed: str, toolchain: tuple[Package, ...]) -> None:
    before = recipe_of(inputs)
    if changed:
        write(inputs[1], {changed: ("x", "1\n", "2\n")})
    after = recipe_of(inputs, toolchain)
    assert after.key != before.key
    assert manifest.toolchain_differences(after, before) == ([] if changed else [
        "cmake %s here, 3.25.1-1 in the release set" % (toolchain[1].version if toolchain[1:] else "(none)")])


# Qt's tree as the toolkit compiles it: the replaced file with our patch to it, then our patches, so that a patch
# (zz-mine.patch) to the replaced file reaches what is compiled; a fault in an input stops it with the input named.
@pytest.mark.parametrize("name, text, message", [
    ("kit/patches/zz-mine.patch", (CAL, OURS, OURS.replace("31", "32")), None),
    ("src/qt6.cpp", None, "qt6.cpp is not in"),
    ("src/qt6.cpp", QT5, "qt6.cpp in .* is not the file recorded"),
    ("src/" + ORIG, "other\n", ORIG + ", which qtbase-opensource-src_5.15.8-1.dsc lists, is missing from .* or"),
    ("kit/patches/zz-mine.patch", (CAL, QT6 + "x\n", "y\n"), "the patch zz-mine.patch does not apply"),
    ("kit/patches/cal.patch", ("x", "1\n", "2\n"), "two inputs named cal.patch"),
    ("src/manifest.json", Manifest(manifest.TARGETS["windows"], SourcePackage("q", "1", (SourceFile("q.dsc", "0"),)), (), (), (), "/")
     .to_json(), "not the ones its manifest.json records: q.dsc, qt6.cpp, "),
])
def test_the_tree_as_compiled_or_the_input_at_fault_named(inputs: Inputs, tmp_path: Path, name: str,
                                                          text: Union[None, str, tuple[str, str, str]],
                                                          message: Optional[str]) -> None:
    os.remove(tmp_path / name) if text is None else write(tmp_path, {name: text})
    tree = write(tmp_path / "tree", {CAL: QT5, "q.cpp": "a\n"})
    expected: contextlib.AbstractContextManager[Any] = contextlib.nullcontext()
    if message:
        expected = pytest.raises(PipelineError, match=message)
    with expected:
        recipe = recipe_of(inputs)
        manifest.place(recipe, manifest.input_paths(recipe, *inputs), tree)
        assert [open(os.path.join(tree, f)).read() for f in (CAL, "q.cpp")] == [OURS.replace("31", "32"), "b\n"]


def test_a_toolchain_that_differs_is_told_before_the_build(inputs: Inputs, tmp_path: Path,
                                                          monkeypatch: pytest.MonkeyPatch,
                                                          capsys: pytest.CaptureFixture[str]) -> None:
    write(inputs[0], {"manifest.json": recipe_of(inputs).to_json()})
    monkeypatch.setattr(manifest, "TOOLKIT", inputs[1])
    monkeypatch.setattr(manifest, "unpack", lambda *args: pytest.fail("built before the warning"))
    with pytest.raises(pytest.fail.Exception):
        toolkit.build("windows", str(tmp_path / "cache"), inputs[0], (TOOLS[0], Package("cmake", "3.25.2-1")))
    assert "cmake 3.25.2-1 here, 3.25.1-1 in the release set" in capsys.readouterr().err


@pytest.mark.parametrize("offline, message", [
    (lambda src, cache: toolkit.build("windows", cache, src, TOOLS), "qt6.cpp is not in"),
    (lambda src, cache: toolkit.build("windows", cache + "/a b", src, TOOLS), "holds white space"),
    (lambda src, cache: release_set.mingw_inputs(RuntimePackage("m", "mingw-w64", "10.0.0-3"), src, True),
     "mingw-w64_10.0.0-3.files is not in"),
])
def test_given_a_folder_nothing_is_fetched(inputs: Inputs, tmp_path: Path, monkeypatch: pytest.MonkeyPatch,
                                           offline: Callable[[str, str], object], message: str) -> None:
    monkeypatch.setattr(toolkit, "fetch", lambda *args: pytest.fail("fetched %s" % (args,)))
    os.remove(os.path.join(inputs[0], "qt6.cpp"))
    with pytest.raises(PipelineError, match=message):
        offline(inputs[0], str(tmp_path / "cache"))


# A command ends with its message and status 1, never a traceback; a program that fails is named, with what
# it last said.
@pytest.mark.parametrize("argv, status, output", [
    (["cache", "--cache", "/c"], 0, "/c\n"), (["toolkit", "windows", "--sources", "/none"], 1, "is not in /none\n"),
    (["release", "--sign-time-limit", "0"], 1, "pipeline release: PELLIMANTOR_SIGN_TIME_LIMIT is a number of "),
])
def test_commands(argv: list[str], status: int, output: str) -> None:
    done = subprocess.run([sys.executable, "-m", "pipeline", *argv], capture_output=True, text=True,
                          cwd=os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
    assert (done.returncode, "Traceback" in done.stderr, output in done.stdout + done.stderr) == (status, False, True)


def test_a_program_that_fails_is_named_with_its_last_words() -> None:
    with pytest.raises(PipelineError, match=r"^sh -c 'echo one; echo two >&2; exit 3' failed \(status 3\):\n"
                                            r"  \| one\n  \| two$"):
        tools.run(["sh", "-c", "echo one; echo two >&2; exit 3"])


# Source entries copied from the machine's own binary entries of its release, of both forms; others left out.
ENTRY = "Types: deb\nURIs: http://m/debian\nSuites: bookworm bookworm-updates\nComponents: main\nSigned-By: /k.gpg\n"
@pytest.mark.parametrize("name, text, entries", [
    ("sources.list.d/d.sources", ENTRY, ENTRY.replace("deb", "deb-src", 1)),
    ("sources.list.d/d.sources", ENTRY + "Enabled: no\n", ""),
    ("sources.list.d/d.sources", ENTRY.replace("bookworm b", "trixie b").replace(" bookworm-updates", ""), ""),
    ("sources.list.d/d.sources", ENTRY.replace("http://m/debian", "cdrom:[Debian]/"), ""),
    ("sources.list.d/pellimantor-src.sources", ENTRY, ""),
    ("sources.list", "deb [arch=amd64 signed-by=/k.gpg] http://m/debian bookworm-security main contrib # x\n",
     "Types: deb-src\nURIs: http://m/debian\nSuites: bookworm-security\nComponents: main contrib\nSigned-By: /k.gpg\n"),
    ("sources.list", "# deb http://m bookworm main\ndeb-src http://m bookworm main\ndeb http://m trixie main\n", ""),
])
def test_source_entries(tmp_path: Path, name: str, text: str, entries: str) -> None:
    out = io.StringIO()
    sources.write(out, write(tmp_path, {name: text}), "bookworm")
    assert out.getvalue() == entries
