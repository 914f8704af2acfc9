# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""A static Qt 5.15 core module built as its manifest says, cached under
CACHE/qt-TARGET-KEY (KEY: the manifest's SHA-256). The source files come
from a folder: a release set's source folder, from which nothing is fetched,
or CACHE/src, where what is missing is fetched from Debian's source packages.
The toolkit keeps its manifest, copies of its inputs (which a release set
ships), the configure arguments as configure recorded them, and the record
of what each archive member holds (records.py)."""
from __future__ import annotations

import os
import shutil
import sys
import tarfile
import tempfile
from typing import Optional

from . import manifest as manifests
from . import records
from .model import Manifest, Package, PipelineError, sha256_of, write_text
from .tools import run

HOST_TOOLS = ("sub-moc-install_subtargets", "sub-rcc-install_subtargets")


def records_of(prefix: str) -> str:
    """Where a toolkit keeps its manifest, its inputs (source/) and its records."""
    return os.path.join(prefix, "share", "pellimantor")


def sources_of(cache: str) -> str:
    """Where source files are fetched to and kept."""
    return os.path.join(cache, "src")


def fetch(package: str, folder: str) -> None:
    """Downloads a Debian source package's newest version into `folder` (needs deb-src entries)."""
    print("toolkit: fetching Debian's source package %s" % package, file=sys.stderr)
    run(["apt-get", "source", "--download-only", package], cwd=folder)


def fetch_inputs(folder: str) -> None:
    """Fetches into `folder` what the manifest needs and it lacks: Qt's package, and each file replaced in,
    taken from its package and kept only if it has the recorded hash."""
    if not manifests.newest_dsc(folder, manifests.QT_PACKAGE):
        fetch(manifests.QT_PACKAGE, folder)
    for item in manifests.REPLACEMENTS:
        wanted = os.path.join(folder, item.file.name)
        if os.path.exists(wanted):
            continue
        if not manifests.newest_dsc(folder, item.package):
            fetch(item.package, folder)
        origin = manifests.source_package(folder, item.package)
        archive = next(f.name for f in origin.files if ".orig.tar." in f.name)
        with tarfile.open(os.path.join(folder, archive)) as tar, open(wanted + ".part", "wb") as out:
            member = tar.extractfile(item.member)
            if not member:
                raise PipelineError("%s holds no file %s" % (archive, item.member))
            out.write(member.read())
        if sha256_of(wanted + ".part") != item.file.sha256:
            raise PipelineError("%s of %s %s is not the file our patch was made against"
                                % (item.member, item.package, origin.version))
        os.replace(wanted + ".part", wanted)


def input_folder(cache: str, sources: Optional[str] = None) -> str:
    """The folder the source files are taken from: a release set's (`sources`), or the cache's, where what is
    missing is fetched first."""
    if sources:
        return sources
    os.makedirs(sources_of(cache), exist_ok=True)
    fetch_inputs(sources_of(cache))
    return sources_of(cache)


def compilers(triple: str, folder: str) -> None:
    """A PATH folder with the cross tools by the names configure is given: MinGW-w64's posix-thread compilers,
    since Qt's threading needs C++ thread support."""
    os.makedirs(folder)
    for tool in ("gcc", "g++", "gcc-ar", "gcc-nm"):
        os.symlink("/usr/bin/%s-%s-posix" % (triple, tool), os.path.join(folder, "%s-%s" % (triple, tool)))
    for tool in ("ar", "ranlib", "nm", "strip", "objcopy", "objdump", "windres"):
        os.symlink("/usr/bin/%s-%s" % (triple, tool), os.path.join(folder, "%s-%s" % (triple, tool)))


def compile_qt(recipe: Manifest, source: str, work: str, stage: str) -> str:
    """Configures and builds the modules the manifest names, and installs them with the host tools into `stage`."""
    env = dict(os.environ)
    if recipe.target.triple:
        compilers(recipe.target.triple, os.path.join(work, "tools"))
        env["PATH"] = os.path.join(work, "tools") + os.pathsep + env["PATH"]
    build = os.path.join(work, "build")
    os.makedirs(build)
    run([os.path.join(source, "configure"), *recipe.configure], build, env, echo=True)
    with open(os.path.join(build, "config.opt"), encoding="utf-8") as f:
        if f.read().splitlines() != list(recipe.configure):
            raise PipelineError("configure recorded other arguments than the manifest's")
    modules = list(recipe.target.modules)
    # Makefiles for the source tree, then only the modules and the host tools
    # they need (moc, rcc, qmake), installed with the mkspecs.
    run(["make", "sub-src-qmake_all"], build, env, echo=True)
    run(["make", "-j%d" % (os.cpu_count() or 1), "-C", "src", *(m + "-make_first" for m in modules)], build, env,
        echo=True)
    install = "INSTALL_ROOT=" + stage
    run(["make", "-C", "src", *(m + "-install_subtargets" for m in modules), *HOST_TOOLS, install], build, env,
        echo=True)
    run(["make", "sub-qmake-qmake-aux-pro-install_subtargets", "install_mkspecs", install], build, env)
    return build


def keep_inputs(paths: dict[str, str], folder: str) -> None:
    """Copies of the inputs inside the toolkit (linked where the file system allows)."""
    os.makedirs(folder)
    for name, path in paths.items():
        try:
            os.link(path, os.path.join(folder, name))
        except OSError:
            shutil.copyfile(path, os.path.join(folder, name))


def build(target: str, cache: str, sources: Optional[str] = None,
          toolchain: Optional[tuple[Package, ...]] = None) -> str:
    """The toolkit's folder for `target`, built first when the cache does not hold it, with the toolchain
    installed (unless given). Built from a release set's source folder with another toolchain than the one
    it records, it says so before anything is built."""
    if any(c.isspace() for c in cache):
        raise PipelineError("the cache folder '%s' holds white space, which Qt's build cannot take; "
                            "set PELLIMANTOR_CACHE to a path without any" % cache)
    folder = input_folder(cache, sources)
    shipped = manifests.recorded(folder) if sources else None
    recipe = manifests.build(target, folder, manifests.installed(manifests.TARGETS[target].tools)
                             if toolchain is None else toolchain, shipped=shipped)
    differences = manifests.toolchain_differences(recipe, shipped) if shipped else []
    if shipped and differences and recipe.target == shipped.target:
        print("warning: this toolchain is not the one the shipped file was built with, so the file built will not "
              "have the shipped SHA-256:\n  " + "\n  ".join(differences), file=sys.stderr)
    paths = manifests.input_paths(recipe, folder)
    prefix = os.path.join(cache, "qt-%s-%s" % (target, recipe.key))
    share = records_of(prefix)
    if not os.path.exists(os.path.join(prefix, ".complete")):
        print("toolkit: building static Qt for %s (several minutes)" % target, file=sys.stderr)
        work = os.path.join(recipe.build_root, recipe.key)
        shutil.rmtree(prefix, ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
        source, stage = os.path.join(work, "source"), os.path.join(work, "stage")
        manifests.unpack(recipe, paths, source)
        build_tree = compile_qt(recipe, source, work, stage)
        installed = os.path.join(stage, manifests.PREFIX.lstrip("/"))
        records_folder = records_of(installed)
        os.makedirs(records_folder)
        keep_inputs(paths, os.path.join(records_folder, "source"))
        write_text(os.path.join(records_folder, "manifest.json"), recipe.to_json())
        shutil.copyfile(os.path.join(build_tree, "config.opt"), os.path.join(records_folder, "config.opt"))
        if recipe.target.triple:
            records.write_records(source, build_tree, installed, records_folder)
        shutil.move(installed, prefix)
        open(os.path.join(prefix, ".complete"), "w").close()
        shutil.rmtree(work)
    elif recipe.target.triple and not records.is_current(share):
        # The way members are read changed since the toolkit was built: Qt's source again, for the records only.
        with tempfile.TemporaryDirectory() as work:
            manifests.unpack(recipe, paths, os.path.join(work, "source"))
            records.write_records(os.path.join(work, "source"), None, prefix, share)
    return prefix


def load(prefix: str) -> Manifest:
    with open(os.path.join(records_of(prefix), "manifest.json"), encoding="utf-8") as f:
        return Manifest.from_json(f.read())
