# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The toolkit's inputs, in one manifest: Debian's Qt source package files
with their SHA-256, our patches, the files replaced in (each by its own
hash) with our patches to them, the exact configure arguments and the
target; and Qt's source tree made from them, as the toolkit compiles it."""
from __future__ import annotations

import dataclasses
import glob
import os
from typing import Optional

from debian.deb822 import Dsc
from debian.debian_support import Version

from .model import Manifest, Package, PipelineError, Replacement, SourceFile, SourcePackage, Target, sha256_of
from .tools import run

TOOLKIT = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "toolkit")
# Where Qt is unpacked and compiled: a fixed path, which the compiled files
# name as /qt, so that no path of the build machine goes into them.
BUILD_ROOT = "/var/tmp/pellimantor-qt"
PREFIX = "/opt/pellimantor-qt"
QT_PACKAGE = "qtbase-opensource-src"
# The toolchain of a target's toolkit and of the launcher linked against it:
# compilers, binutils, MinGW-w64's headers and runtime, CMake and Ninja. Their
# versions are part of the manifest, so a toolkit is rebuilt when one changes,
# and a recipient learns before building whether the bytes can match.
BUILD_TOOLS = ("cmake", "ninja-build")


def mingw_tools(arch: str) -> tuple[str, ...]:
    return ("gcc-mingw-w64-%s-posix" % arch, "g++-mingw-w64-%s-posix" % arch, "gcc-mingw-w64-%s-posix-runtime" % arch,
            "gcc-mingw-w64-base", "binutils-mingw-w64-%s" % arch, "mingw-w64-%s-dev" % arch, "mingw-w64-common",
            *BUILD_TOOLS)


TARGETS = {
    "windows": Target("windows", "i686-w64-mingw32", ("sub-corelib", "sub-winmain"), mingw_tools("i686")),
    "windows64": Target("windows64", "x86_64-w64-mingw32", ("sub-corelib", "sub-winmain"), mingw_tools("x86-64")),
    "linux": Target("linux", "", ("sub-corelib",), ("gcc-12", "g++-12", "binutils", "libc6-dev", "libstdc++-12-dev",
                                                     *BUILD_TOOLS)),
}
# Qt 5.15.8's calendar code is GPL-3.0 only; Qt 6.4.2's, relicensed, takes its
# place, adapted to Qt 5.15's headers by our patch. The file is taken by its
# own hash: the one our patch was made against.
# (Our patch is named here; the manifest records it with its hash.)
REPLACEMENTS = (Replacement(path="src/corelib/time/qcalendar.cpp", package="qt6-base", version="6.4.2+dfsg-10",
                            member="qtbase-everywhere-src-6.4.2/src/corelib/time/qcalendar.cpp",
                            file=SourceFile("qt6-base_6.4.2+dfsg-10_qcalendar.cpp",
                                            "36a3a00e73037a26dd99eb16315383a026f1bdf0351fb51c0ead8672694af768"),
                            patch=SourceFile("qcalendar-qt6.patch", "")),)

# Only the core module (and on Windows the WinMain adapter), with bundled
# zlib and double-conversion, and without the parts of the core module that
# the launcher never reaches (QUrl::topLevelDomain among them, which would
# bring in the public suffix list). No PCRE2: directory name filters are
# matched by QRegExp instead (toolkit/patches/qt-wildcard.patch).
# Only the C locale's data (toolkit/patches/qt-locale-data.patch): the
# launcher formats nothing for people. Compiled for link-time optimisation:
# the program's link compiles only the code it reaches (the linker cannot
# drop unreached functions on Windows, where it keeps every function's
# unwind table). Optimised for size, except the files that listing and
# ordering a folder run through (toolkit/patches/qt-speed-files.patch),
# which keep Qt's optimisation for speed.
COMMON = ("-static", "-release", "-gc-binaries", "-opensource", "-confirm-license", "-prefix", PREFIX,
          "-nomake", "examples", "-nomake", "tests", "-no-gui", "-no-widgets", "-no-dbus", "-no-opengl", "-no-openssl",
          "-no-icu", "-no-iconv", "-no-glib", "-no-zstd", "-no-pcre", "-qt-zlib", "-qt-doubleconversion", "-no-pch",
          "-silent", "-no-feature-big_codecs", "-no-feature-mimetype", "-no-feature-timezone",
          "-no-feature-translation", "-no-feature-settings", "-no-feature-topleveldomain",
          "-no-feature-statemachine", "-no-feature-animation", "-no-feature-jalalicalendar",
          "-no-feature-hijricalendar", "-no-feature-datetimeparser", "-no-feature-easingcurve",
          "-no-feature-sha3-fast", "-no-feature-gestures", "-no-feature-temporaryfile", "-no-feature-library",
          "-no-feature-regularexpression", "-no-feature-localedata", "-ltcg", "-optimize-size",
          "-no-feature-sharedmemory", "-no-feature-systemsemaphore", "-no-feature-itemmodel",
          "-no-feature-filesystemwatcher", "-no-feature-commandlineparser", "-no-feature-xmlstream",
          "QMAKE_CFLAGS+=-ffile-prefix-map=%s=/qt" % BUILD_ROOT,
          "QMAKE_CXXFLAGS+=-ffile-prefix-map=%s=/qt" % BUILD_ROOT)


def configure_arguments(target: Target) -> tuple[str, ...]:
    """Qt's configure arguments for a target, every one as configure receives it."""
    if not target.triple:
        return COMMON
    # The compilers are found on PATH by these names (the toolkit build points
    # them to MinGW-w64's posix-thread variant). -MD: each object's dependency
    # record, from which the notices learn what each toolkit member holds.
    # The archives of compiled-for-link objects are made by the cross
    # compiler's own ar and nm, which read them through its plugin.
    return COMMON + ("-xplatform", "win32-g++", "-device-option", "CROSS_COMPILE=%s-" % target.triple,
                     "-static-runtime", "QMAKE_CFLAGS+=-MD", "QMAKE_CXXFLAGS+=-MD",
                     "QMAKE_AR_LTCG=%s-gcc-ar cqs" % target.triple, "QMAKE_NM_LTCG=%s-gcc-nm -P" % target.triple)


def newest_dsc(folder: str, package: str) -> Optional[str]:
    """The .dsc of a source package's newest version in `folder`, by Debian's version order; None if there is none."""
    found = glob.glob(os.path.join(glob.escape(folder), package + "_*.dsc"))
    if not found:
        return None
    return max(found, key=lambda path: Version(os.path.basename(path)[len(package) + 1:-4]))


def source_package(folder: str, package: str) -> SourcePackage:
    """A Debian source package in `folder`: its newest .dsc and the files it lists, each checked by its SHA-256."""
    path = newest_dsc(folder, package)
    if not path:
        raise PipelineError("no source package %s in %s" % (package, folder))
    with open(path, encoding="utf-8") as f:
        dsc = Dsc(f)
    files = [SourceFile.of(path)]
    for entry in dsc["Checksums-Sha256"]:
        member = os.path.join(folder, entry["name"])
        if not os.path.exists(member) or sha256_of(member) != entry["sha256"]:
            raise PipelineError("%s, which %s lists, is missing from %s or differs"
                                % (entry["name"], files[0].name, folder))
        files.append(SourceFile(entry["name"], entry["sha256"]))
    return SourcePackage(package, dsc["Version"], tuple(files))


def checked(folder: str, wanted: SourceFile) -> str:
    """The path of a file in `folder` with the name and SHA-256 that `wanted` records."""
    path = os.path.join(folder, wanted.name)
    if not os.path.exists(path):
        raise PipelineError("%s is not in %s" % (wanted.name, folder))
    if sha256_of(path) != wanted.sha256:
        raise PipelineError("%s in %s is not the file recorded (SHA-256 %s)" % (wanted.name, folder, wanted.sha256))
    return path


def patch_paths(toolkit: str = "") -> list[str]:
    """Every patch the toolkit is built with, in the order they are applied: toolkit/patches/*.patch by name."""
    toolkit = toolkit or TOOLKIT
    return sorted(glob.glob(os.path.join(glob.escape(toolkit), "patches", "*.patch")))


def installed(names: tuple[str, ...]) -> tuple[Package, ...]:
    """The installed version of each Debian package named (of this machine's architecture, or of none)."""
    native = run(["dpkg", "--print-architecture"]).strip()
    try:
        listed = run(["dpkg-query", "-W", "-f", "${Package}\t${Version}\t${Architecture}\n", *names])
    except PipelineError:
        listed = ""
    found = {}
    for line in listed.splitlines():
        name, version, arch = line.split("\t")
        if version and arch in (native, "all"):
            found[name] = version
    missing = [name for name in names if name not in found]
    if missing:
        raise PipelineError("the toolchain's packages %s are not installed (scripts/setup cross installs them)"
                            % ", ".join(missing))
    return tuple(Package(name, found[name]) for name in names)


def toolchain_differences(recipe: Manifest, shipped: Manifest) -> list[str]:
    """What differs between the toolchain a release set was built with and this one, one package a line."""
    here = {p.name: p.version for p in recipe.toolchain}
    there = {p.name: p.version for p in shipped.toolchain}
    return ["%s %s here, %s in the release set" % (name, here.get(name, "(none)"), there.get(name, "(none)"))
            for name in sorted(set(here) | set(there)) if here.get(name) != there.get(name)]


def build(target: str, folder: str, toolchain: tuple[Package, ...], toolkit: str = "",
          shipped: Optional[Manifest] = None) -> Manifest:
    """The manifest of the toolkit for `target` from the source files in `folder`, our changes in `toolkit` and the
    toolchain. A release set's folder holds the manifest it was built with (`shipped`): the source files must be
    the ones it records."""
    toolkit = toolkit or TOOLKIT
    patches = patch_paths(toolkit)
    replacements = []
    for item in REPLACEMENTS:
        checked(folder, item.file)
        replacements.append(dataclasses.replace(item, patch=SourceFile.of(os.path.join(toolkit, item.patch.name))))
    recipe = Manifest(target=TARGETS[target], qt=source_package(folder, QT_PACKAGE),
                      patches=tuple(SourceFile.of(p) for p in patches), replacements=tuple(replacements),
                      configure=configure_arguments(TARGETS[target]), build_root=BUILD_ROOT, toolchain=toolchain)
    names = [f.name for f in recipe.inputs()]
    twice = sorted({name for name in names if names.count(name) > 1})
    if twice:
        raise PipelineError("two inputs named %s: rename the patch of yours" % ", ".join(twice))
    if shipped:
        def sources(m: Manifest) -> set[SourceFile]:
            return set(m.qt.files) | {r.file for r in m.replacements}
        if sources(recipe) != sources(shipped):
            raise PipelineError("the source files taken from %s are not the ones its manifest.json records: %s"
                                % (folder, ", ".join(sorted({f.name for f in sources(recipe) ^ sources(shipped)}))))
    return recipe


def recorded(folder: str) -> Optional[Manifest]:
    """The manifest a release set's source folder holds; None for a folder of fetched files."""
    path = os.path.join(folder, "manifest.json")
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8") as f:
        return Manifest.from_json(f.read())


def input_paths(manifest: Manifest, folder: str, toolkit: str = "") -> dict[str, str]:
    """Where each input the manifest names lies (source files in `folder`, our changes in `toolkit`), each checked."""
    toolkit = toolkit or TOOLKIT
    paths = {f.name: checked(folder, f) for f in manifest.qt.files}
    paths.update((p.name, checked(os.path.join(toolkit, "patches"), p)) for p in manifest.patches)
    for item in manifest.replacements:
        paths[item.file.name] = checked(folder, item.file)
        paths[item.patch.name] = checked(toolkit, item.patch)
    return paths


def apply(patch: str, name: str, *target: str) -> None:
    """Applies a patch (to a tree with -p1, or to one file); one that does not apply stops with its name."""
    with open(patch, "rb") as f:
        try:
            run(["patch", "--batch", "--forward", "--no-backup-if-mismatch", "--reject-file=-", "--quiet", *target],
                stdin=f)
        except PipelineError as error:
            raise PipelineError("the patch %s does not apply to Qt's source: %s" % (name, error)) from None


def place(manifest: Manifest, paths: dict[str, str], tree: str) -> None:
    """Puts the replaced files (each with our patch) in an unpacked tree, then applies the patches in name order,
    so that a patch to a replaced file changes what is compiled."""
    for item in manifest.replacements:
        target = os.path.join(tree, item.path)
        with open(paths[item.file.name], "rb") as f, open(target, "wb") as out:
            out.write(f.read())
        apply(paths[item.patch.name], item.patch.name, target)
    for patch in manifest.patches:
        apply(paths[patch.name], patch.name, "-d", tree, "-p1")


def unpack(manifest: Manifest, paths: dict[str, str], tree: str) -> None:
    """Qt's source as the toolkit compiles it, into `tree`: Debian's package, the replacements, our patches."""
    run(["dpkg-source", "--no-check", "-x", paths[manifest.qt.dsc.name], tree])
    place(manifest, paths, tree)
