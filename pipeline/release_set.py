# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""Writes the release set of a Windows build into BUILD/release: what a
publisher ships with Pellimantor.exe.
  Pellimantor.exe       the executable
  NOTICES.txt           each component whose code the link took: name,
                        version, copyright and full licence text, ours first
  Pellimantor.cdx.json  bill of materials (CycloneDX 1.5)
  source/               the launcher's source (launcher.tar), the toolkit's
                        corresponding source as its manifest names it, what
                        the runtime's licences are read from, and how to
                        rebuild (REBUILD.txt)
This module reads and writes; components.py and outputs.py compute. The same
source gives the same files: no time but the commit's, no path of the build
machine, identifiers derived from the contents; from a checkout (git) or
from an unpacked launcher.tar alike. Given a release set's source folder,
it reads the runtime's source file list from there and fetches nothing."""
from __future__ import annotations

import glob
import hashlib
import io
import os
import re
import shutil
import sys
import tarfile
import tempfile
from dataclasses import dataclass
from typing import Optional

from . import components as stages
from . import licences, outputs, presence, records, runtime
from . import manifest as manifests
from . import toolkit as toolkits
from .model import PipelineError, RuntimePackage, read_text, sha256_of, write_text
from .tools import run

# In an unpacked launcher.tar: the commit it was made from, its time and its files with their SHA-256 there.
SOURCE_FILE = "SOURCE"
Files = dict[str, tuple[bytes, bool]]
"""The launcher's source files by path: contents, and whether executable."""


@dataclass(frozen=True)
class Inputs:
    """What a release set is made from: the launcher's tree, the toolkit, the build folder, the executable's
    SHA-256 unsigned and signed (empty if not signed), and a release set's source folder if given."""
    root: str
    toolkit: str
    build: str
    unsigned: str
    signed: str = ""
    sources: Optional[str] = None


@dataclass(frozen=True)
class LauncherSource:
    """The launcher's source: its commit and commit time, whether the tree differs from the commit, its files,
    and the SOURCE file of an unpacked tree (else empty)."""
    commit: str
    time: int
    modified: bool
    files: Files
    recorded: str = ""


def file_entry(path: str) -> tuple[bytes, bool]:
    """A file of the launcher's source as it is kept: its contents and whether it is executable."""
    with open(path, "rb") as f:
        return f.read(), os.access(path, os.X_OK)


def add_own_patches(root: str, files: Files) -> bool:
    """Adds to `files` each toolkit patch in the tree that they lack (a recipient's own, or one git does not track),
    since the toolkit is built with every one; True if any was added."""
    added = False
    for path in manifests.patch_paths(os.path.join(root, "toolkit")):
        name = "toolkit/patches/" + os.path.basename(path)
        if name not in files:
            files[name] = file_entry(path)
            added = True
    return added


def source_of(root: str) -> LauncherSource:
    """The launcher's source, from a git checkout or from an unpacked launcher.tar."""
    if os.path.exists(os.path.join(root, SOURCE_FILE)):
        recorded = read_text(os.path.join(root, SOURCE_FILE))
        lines = recorded.splitlines()
        fields = dict(line.split(" ", 1) for line in lines[:2])
        files: Files = {}
        modified = False
        for digest, name in (line.split(" ", 1) for line in lines[3:]):
            files[name] = file_entry(os.path.join(root, name))
            modified |= hashlib.sha256(files[name][0]).hexdigest() != digest
        modified |= add_own_patches(root, files)
        return LauncherSource(fields["commit"], int(fields["time"]), modified, files, recorded)
    git = ["git", "-C", root, "-c", "core.autocrlf=false", "-c", "core.eol=lf", "-c", "tar.umask=0022"]
    commit = run([*git, "rev-parse", "HEAD"]).strip()
    time = int(run([*git, "log", "-1", "--format=%ct", commit]))
    modified = bool(run([*git, "status", "--porcelain", "--untracked-files=no"]).strip())
    with tempfile.TemporaryFile() as archive:
        run([*git, "archive", "--format=tar", commit], stdout=archive)
        archive.seek(0)
        files = {}
        with tarfile.open(fileobj=archive) as tar:
            for member in tar.getmembers():
                data = tar.extractfile(member) if member.isfile() else None
                if data:
                    files[member.name] = (data.read(), bool(member.mode & 0o100))
    modified |= add_own_patches(root, files)
    return LauncherSource(commit, time, modified, files)


def source_archive(source: LauncherSource) -> bytes:
    """launcher.tar: the files under pellimantor/, with SOURCE, in name order, owned by no one, at the commit's time.
    SOURCE keeps the commit's own hashes (from an unpacked tree), so that a change shows."""
    files = source.files
    listing = source.recorded or "commit %s\ntime %d\n\n%s" % (source.commit, source.time, "".join(
        "%s %s\n" % (hashlib.sha256(files[name][0]).hexdigest(), name) for name in sorted(files)))
    entries = dict(files, **{SOURCE_FILE: (listing.encode(), False)})
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for name in sorted(entries):
            data, executable = entries[name]
            info = tarfile.TarInfo("pellimantor/" + name)
            info.size, info.mtime, info.mode = len(data), source.time, 0o755 if executable else 0o644
            tar.addfile(info, io.BytesIO(data))
    return out.getvalue()


def runtime_package(path: str) -> Optional[RuntimePackage]:
    """The Debian package that holds a file, with its source, version, Built-Using, copyright file and the
    common licences that file names; None when no package holds it."""
    try:
        binary = run(["dpkg-query", "-S", path]).split(":")[0]
    except PipelineError:
        return None
    fields = run(["dpkg-query", "-W", "-f=${source:Package}\t${source:Version}\t${Built-Using}", binary]).split("\t")
    source, version, built_using = (fields + [""])[:3]
    text, common = read_text("/usr/share/doc/%s/copyright" % binary), ""
    for name in sorted(set(re.findall(r"/usr/share/common-licenses/([A-Za-z0-9.+-]+[A-Za-z0-9+])", text))):
        if os.path.exists("/usr/share/common-licenses/" + name):
            common += "\n\n--- /usr/share/common-licenses/%s ---\n\n%s" % (name,
                                                                        read_text("/usr/share/common-licenses/" + name))
    return RuntimePackage(binary, source, version, tuple(re.findall(r"([a-z0-9.+-]+) \(= ([^)]+)\)", built_using)),
                          text, common)


def mingw_inputs(package: RuntimePackage, folder: str, offline: bool) -> dict[str, str]:
    """MinGW-w64's source file list (made from its orig archive, fetched into `folder` if need be, unless
    `offline`) and copyright file, as the files the release set ships: name → text."""
    stem = "mingw-w64_%s" % package.version
    listing = os.path.join(folder, stem + ".files")
    if not os.path.exists(listing):
        if offline:
            raise PipelineError("%s is not in %s" % (os.path.basename(listing), folder))
        upstream = package.version.rsplit("-", 1)[0]
        origs = [f for f in os.listdir(folder)
                 if f.startswith("mingw-w64_%s.orig.tar." % upstream) and not f.endswith(".asc")]
        if not origs:
            toolkits.fetch("mingw-w64=" + package.version, folder)
            return mingw_inputs(package, folder, offline)
        write_text(listing + ".part", "".join(name + "\n" for name in runtime.file_list(os.path.join(folder, origs[0]))))
        os.replace(listing + ".part", listing)
    return {stem + ".files": read_text(listing), stem + ".copyright": package.copyright}


def stated_licence(path: str) -> str:
    """The licence a source file states, as a file replaced into Qt does, in its SPDX line."""
    found = re.search(r"SPDX-License-Identifier: *(.+)", read_text(path))
    if not found:
        raise PipelineError("%s states no licence (SPDX-License-Identifier)" % os.path.basename(path))
    return found.group(1).strip()


def final_link(build: str, archives: list[str], triple: str) -> tuple[presence.FinalLink, presence.Symbols]:
    """The evidence of the unstripped link beside the shipped one, and the symbols of the toolkit's archives that
    the link took members of."""
    evidence = os.path.join(build, "launcher", "evidence")
    dumps = glob.glob(os.path.join(glob.escape(evidence), "wpa.*.inline"))
    if len(dumps) != 1 or not os.path.exists(os.path.join(evidence, "inlined.txt")):
        raise PipelineError("the unstripped link's evidence is not in %s" % evidence)
    link = presence.parse(run(["/usr/bin/%s-nm" % triple, os.path.join(evidence, "symbols.exe")]),
                          read_text(dumps[0]), read_text(os.path.join(evidence, "inlined.txt")))
    return link, presence.archive_symbols(run(["/usr/bin/%s-gcc-nm-posix" % triple, "-P", *archives]))


def hashes_of(folder: str) -> dict[str, str]:
    """Every file under `folder` by relative path, with its SHA-256."""
    return {os.path.relpath(os.path.join(parent, name), folder): sha256_of(os.path.join(parent, name))
            for parent, _, names in os.walk(folder) for name in names}


def write(inputs: Inputs, release: str) -> None:
    """The release set of the build into `release`, a folder that does not exist yet."""
    os.umask(0o022)
    toolkit, build = os.path.realpath(inputs.toolkit), os.path.realpath(inputs.build)
    share = toolkits.records_of(toolkit)
    recipe, licensing = toolkits.load(toolkit), records.load_licensing(share)
    source = source_of(inputs.root)
    # Built from a tree with uncommitted changes, the version says so: the source shipped is the commit's.
    version = source.commit + ("+modified" if source.modified else "")
    members = stages.link_map(read_text(os.path.join(build, "launcher", "Pellimantor.map")), build)
    paths = sorted({m.path for m in members if not m.path.startswith((toolkit + "/", build + "/"))})
    packages = {path: runtime_package(path) for path in paths}
    mingw = next((p for p in packages.values() if p and p.source == "mingw-w64"), None)
    folder = inputs.sources or toolkits.sources_of(os.path.dirname(toolkit))
    shipped = mingw_inputs(mingw, folder, bool(inputs.sources)) if mingw else {}
    patches = {p.name: read_text(os.path.join(share, "source", p.name)) for p in recipe.patches}
    patches.update((r.patch.name, read_text(os.path.join(share, "source", r.patch.name)))
                   for r in recipe.replacements)
    from_toolkit = [m for m in members if m.path.startswith(toolkit + "/")]
    taken = [m.label for m in from_toolkit]
    final, symbols = final_link(build, sorted({m.path for m in from_toolkit}), recipe.target.triple)
    link = stages.Link(build, toolkit, licensing, {path: p for path, p in packages.items() if p},
                       changed=stages.changed_files(recipe, patches),
                       dropped=set(taken) - presence.present(taken, symbols, final))
    if mingw:
        link.mingw_files = shipped[next(n for n in shipped if n.endswith(".files"))].splitlines()
        link.mingw_copyright = runtime.parse_copyright(mingw.copyright)
    found = stages.components(members, link)
    ours = stages.Ours(version, read_text(os.path.join(inputs.root, "LICENSE")), sorted(shipped))
    found = stages.describe(found, recipe, licensing, ours, {p.source: p for p in packages.values() if p})
    keys = stages.order(found)
    # The file as a whole is under every licence of the code in it.
    whole = licences.conjunction(found[key].licence for key in keys)
    dates = {name: outputs.patch_date(text) for name, text in patches.items()}

    target = os.path.join(release, "source")
    os.makedirs(target)
    # The corresponding source as the toolkit was built from it, and what the runtime's licences are read from.
    for f in recipe.inputs():
        shutil.copyfile(os.path.join(share, "source", f.name), os.path.join(target, f.name))
    for name, text in shipped.items():
        write_text(os.path.join(target, name), text)
    write_text(os.path.join(target, "manifest.json"), recipe.to_json())
    write_text(os.path.join(target, "configure-options"), "".join(arg + "\n" for arg in recipe.configure))
    with open(os.path.join(target, "launcher.tar"), "wb") as archive:
        archive.write(source_archive(source))
    write_text(os.path.join(target, "REBUILD.txt"),
               outputs.rebuild(read_text(os.path.join(os.path.dirname(__file__), "rebuild.txt")), source.commit,
                               recipe, whole))
    shutil.copyfile(os.path.join(build, "launcher", "Pellimantor.exe"), os.path.join(release, "Pellimantor.exe"))
    os.chmod(os.path.join(release, "Pellimantor.exe"), 0o755)
    write_text(os.path.join(release, "NOTICES.txt"),
               outputs.notices(keys, found, whole, recipe, dates, sorted(link.dropped), licensing))
    app = outputs.Application(source.commit, source.time, version, inputs.unsigned, inputs.signed, whole)
    replaced = {r.file.name: stated_licence(os.path.join(target, r.file.name)) for r in recipe.replacements}
    write_text(os.path.join(release, "Pellimantor.cdx.json"),
               outputs.bill_of_materials(keys, found, app, recipe, hashes_of(release), replaced, sorted(link.dropped)))
    print("release set: %d components, %d archive members and objects taken, %d of them dropped whole by the "
          "optimiser" % (len(keys), len(members), len(link.dropped)), file=sys.stderr)
