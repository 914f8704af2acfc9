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
import hashlib
import io
import os
import re
import shutil
import subprocess
import tarfile

import components as stages
import licences
import manifest as manifests
import outputs
import records
import runtime
import toolkit as toolkits
from model import PipelineError, RuntimePackage

# In an unpacked launcher.tar: the commit it was made from, its time and its files with their SHA-256 there.
SOURCE_FILE = "SOURCE"


def run(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout.strip()


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def write(path, text):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def file_entry(path):
    """A file of the launcher's source as it is kept: its contents and whether it is executable."""
    with open(path, "rb") as f:
        return f.read(), os.access(path, os.X_OK)


def add_own_patches(root, files):
    """Adds to `files` each toolkit patch in the tree that they lack (a recipient's own, or one git does not track),
    since the toolkit is built with every one; True if any was added."""
    added = False
    for path in manifests.patch_paths(os.path.join(root, "toolkit")):
        name = "toolkit/patches/" + os.path.basename(path)
        if name not in files:
            files[name] = file_entry(path)
            added = True
    return added


def source_of(root):
    """The launcher's source: commit, commit time (seconds), whether the tree differs from the commit, its files
    with contents and whether they are executable, and the SOURCE file of an unpacked tree (else None)."""
    if os.path.exists(os.path.join(root, SOURCE_FILE)):
        recorded = read(os.path.join(root, SOURCE_FILE))
        lines = recorded.splitlines()
        fields = dict(line.split(" ", 1) for line in lines[:2])
        files, modified = {}, False
        for digest, name in (line.split(" ", 1) for line in lines[3:]):
            files[name] = file_entry(os.path.join(root, name))
            modified |= hashlib.sha256(files[name][0]).hexdigest() != digest
        modified |= add_own_patches(root, files)
        return fields["commit"], int(fields["time"]), modified, files, recorded
    git = ["git", "-C", root, "-c", "core.autocrlf=false", "-c", "core.eol=lf", "-c", "tar.umask=0022"]
    commit = run(*git, "rev-parse", "HEAD")
    time = int(run(*git, "log", "-1", "--format=%ct", commit))
    modified = bool(run(*git, "status", "--porcelain", "--untracked-files=no"))
    archive = subprocess.run(git + ["archive", "--format=tar", commit], capture_output=True, check=True).stdout
    files = {}
    with tarfile.open(fileobj=io.BytesIO(archive)) as tar:
        for member in tar.getmembers():
            if member.isfile():
                files[member.name] = (tar.extractfile(member).read(), bool(member.mode & 0o100))
    modified |= add_own_patches(root, files)
    return commit, time, modified, files, None


def source_archive(commit, time, files, recorded=None):
    """launcher.tar: the files under pellimantor/, with SOURCE, in name order, owned by no one, at the commit's time.
    SOURCE keeps the commit's own hashes (`recorded`, from an unpacked tree), so that a change shows."""
    listing = recorded or "commit %s\ntime %d\n\n%s" % (commit, time, "".join(
        "%s %s\n" % (hashlib.sha256(files[name][0]).hexdigest(), name) for name in sorted(files)))
    entries = dict(files, **{SOURCE_FILE: (listing.encode(), False)})
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.PAX_FORMAT) as tar:
        for name in sorted(entries):
            data, executable = entries[name]
            info = tarfile.TarInfo("pellimantor/" + name)
            info.size, info.mtime, info.mode = len(data), time, 0o755 if executable else 0o644
            tar.addfile(info, io.BytesIO(data))
    return out.getvalue()


def runtime_package(path):
    """The Debian package that holds a file, with its source, version, Built-Using, copyright file and the
    common licences that file names; None when no package holds it."""
    try:
        binary = run("dpkg-query", "-S", path).split(":")[0]
    except subprocess.CalledProcessError:
        return None
    fields = run("dpkg-query", "-W", "-f=${source:Package}\t${source:Version}\t${Built-Using}", binary).split("\t")
    source, version, built_using = (fields + [""])[:3]
    text, common = read("/usr/share/doc/%s/copyright" % binary), ""
    for name in sorted(set(re.findall(r"/usr/share/common-licenses/([A-Za-z0-9.+-]+[A-Za-z0-9+])", text))):
        if os.path.exists("/usr/share/common-licenses/" + name):
            common += "\n\n--- /usr/share/common-licenses/%s ---\n\n%s" % (name,
                                                                        read("/usr/share/common-licenses/" + name))
    return RuntimePackage(binary, source, version, tuple(re.findall(r"([a-z0-9.+-]+) \(= ([^)]+)\)", built_using)),
                          text, common)


def mingw_inputs(package, folder, offline):
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
        write(listing + ".part", "".join(name + "\n" for name in runtime.file_list(os.path.join(folder, origs[0]))))
        os.replace(listing + ".part", listing)
    return {stem + ".files": read(listing), stem + ".copyright": package.copyright}


def stated_licence(path):
    """The licence a source file states, as a file replaced into Qt does, in its SPDX line."""
    found = re.search(r"SPDX-License-Identifier: *(.+)", read(path))
    if not found:
        raise PipelineError("%s states no licence (SPDX-License-Identifier)" % os.path.basename(path))
    return found.group(1).strip()


def main(root, toolkit, build, unsigned, signed="", sources=None):
    os.umask(0o022)
    toolkit, build = os.path.realpath(toolkit), os.path.realpath(build)
    share = toolkits.records_of(toolkit)
    recipe, licensing = toolkits.load(toolkit), records.load_licensing(share)
    commit, time, modified, files, recorded = source_of(root)
    # Built from a tree with uncommitted changes, the version says so: the source shipped is the commit's.
    version = commit + ("+modified" if modified else "")
    members = stages.link_map(read(os.path.join(build, "launcher", "Pellimantor.map")), build)
    paths = sorted({m.path for m in members if not m.path.startswith((toolkit + "/", build + "/"))})
    packages = {path: runtime_package(path) for path in paths}
    mingw = next((p for p in packages.values() if p and p.source == "mingw-w64"), None)
    folder = sources or toolkits.sources_of(os.path.dirname(toolkit))
    shipped = mingw_inputs(mingw, folder, bool(sources)) if mingw else {}
    link = stages.Link(build, toolkit, licensing, packages, changed=stages.changed_files(
        recipe, {p.name: read(os.path.join(share, "source", p.name)) for p in recipe.patches}))
    if mingw:
        link.mingw_files = shipped[next(n for n in shipped if n.endswith(".files"))].splitlines()
        link.mingw_copyright = runtime.parse_copyright(mingw.copyright)
    found = stages.components(members, link)

    release = os.path.join(build, "release")
    source = os.path.join(release, "source")
    os.makedirs(source)
    # The corresponding source as the toolkit was built from it, and what the runtime's licences are read from.
    for f in recipe.inputs():
        shutil.copyfile(os.path.join(share, "source", f.name), os.path.join(source, f.name))
    for name, text in shipped.items():
        write(os.path.join(source, name), text)
    write(os.path.join(source, "manifest.json"), recipe.to_json())
    write(os.path.join(source, "configure-options"), "".join(arg + "\n" for arg in recipe.configure))
    with open(os.path.join(source, "launcher.tar"), "wb") as f:
        f.write(source_archive(commit, time, files, recorded))
    ours = {"version": version, "text": read(os.path.join(root, "LICENSE")), "runtime_files": sorted(shipped)}
    stages.describe(found, recipe, licensing, ours, {p.source: p for p in packages.values() if p})
    keys = stages.order(found)
    # The file as a whole is under every licence of the code in it.
    whole = licences.conjunction(found[key].licence for key in keys)
    write(os.path.join(source, "REBUILD.txt"), read(os.path.join(os.path.dirname(__file__), "rebuild.txt"))
          .replace("@COMMIT@", commit).replace("@QT@", recipe.qt.version).replace("@WHOLE@", whole))
    shutil.copyfile(os.path.join(build, "launcher", "Pellimantor.exe"), os.path.join(release, "Pellimantor.exe"))
    os.chmod(os.path.join(release, "Pellimantor.exe"), 0o755)
    write(os.path.join(release, "NOTICES.txt"), outputs.notices(keys, found, whole, recipe))
    hashes = {}
    for folder, _, names in os.walk(release):
        for name in names:
            with open(os.path.join(folder, name), "rb") as f:
                hashes[os.path.relpath(os.path.join(folder, name), release)] = hashlib.sha256(f.read()).hexdigest()
    app = outputs.Application(commit, time, version, unsigned, signed, whole)
    replaced = {r.file.name: stated_licence(os.path.join(source, r.file.name)) for r in recipe.replacements}
    write(os.path.join(release, "Pellimantor.cdx.json"),
          outputs.bill_of_materials(keys, found, app, recipe, hashes, replaced))
    print("release-set: %d components, %d archive members and objects; %s" % (len(keys), len(members), release))
