# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""Writes the release set of a Windows build into BUILD/release: what a
publisher ships with Pellimantor.exe.
  Pellimantor.exe       the executable
  NOTICES.txt           each component whose code the link took: name,
                        version, copyright and full licence text, ours first
  Pellimantor.cdx.json  bill of materials (CycloneDX 1.5)
  source/               the launcher's source (launcher.tar) and the toolkit's
                        corresponding source as its manifest names it, with
                        how to rebuild both (REBUILD.txt)
The components come from the link map (BUILD/launcher/Pellimantor.map): each
archive member and object the linker took is ours (from the build folder), the
toolkit's (its members as records.py read them) or a runtime library's (the
Debian package that holds the file). A member or object that maps to no
component, a line of the map that is not understood, or a member whose licence
the policy refuses stops it with its name. The same source gives the same
files: no time but the commit's, no path of the build machine, identifiers
derived from the contents; from a checkout (git) or from an unpacked
launcher.tar alike."""
import hashlib
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tarfile
import time as clock
import urllib.parse
import uuid

import licences
import manifest as manifests
import runtime

# Runtime libraries by Debian source package (each member's licence: runtime.py;
# the notices carry the package's whole copyright file, which holds the texts
# of the LicenseRef- parts).
RUNTIME = {
    "gcc-mingw-w64": "GCC runtime libraries (libgcc, libstdc++)",
    "mingw-w64": "MinGW-w64 runtime (start-up code, libmingw32, libmingwex, winpthreads, import libraries)",
}
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


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def fail(message):
    sys.exit("release-set: " + message)


def sourceOf(root):
    """The launcher's source: commit, commit time (seconds), whether the tree differs from the commit, its files
    with contents and whether they are executable, and the SOURCE file of an unpacked tree (else None)."""
    if os.path.exists(os.path.join(root, SOURCE_FILE)):
        recorded = read(os.path.join(root, SOURCE_FILE))
        lines = recorded.splitlines()
        fields = dict(line.split(" ", 1) for line in lines[:2])
        files, modified = {}, False
        for digest, name in (line.split(" ", 1) for line in lines[3:]):
            with open(os.path.join(root, name), "rb") as f:
                files[name] = (f.read(), os.access(os.path.join(root, name), os.X_OK))
            modified |= hashlib.sha256(files[name][0]).hexdigest() != digest
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
    return commit, time, modified, files, None


def sourceArchive(commit, time, files, recorded=None):
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


def linkMap(path, build):
    """The members and objects the link took, by archive or object path (relative paths are the build folder's)."""
    taken, first = {}, True
    for line in read(path).splitlines():
        first = first and not line.startswith(("Discarded input sections", "Memory Configuration"))
        member = re.match(r"^(\S.*?\.a)\(([^()]+)\)(\s|$)", line) if first else None
        loaded = re.match(r"^LOAD (.+)$", line)
        if first and not member and re.match(r"^\S.*\.a\(", line):
            fail("a line of the link map that names no archive member it understands: " + line)
        # Archives are listed member by member; "dll stuff" is the linker's own import section.
        if loaded and (loaded.group(1).endswith(".a") or loaded.group(1) == "dll stuff"):
            continue
        if member or loaded:
            path = os.path.realpath(os.path.join(build, (member or loaded).group(1)))
            taken.setdefault(path, set()).add(member.group(2) if member else "")
    return taken


def debianSource(package, version):
    """The source archives of a Debian source package version, as its Sources entry lists them."""
    from debian.deb822 import Sources
    for stanza in Sources.iter_paragraphs(io.StringIO(run("apt-cache", "showsrc", package))):
        if stanza.get("Version") == version:
            return [{"name": entry["name"], "sha256": entry["sha256"]} for entry in stanza["Checksums-Sha256"]]
    fail("no source entry of %s %s (run apt-get update)" % (package, version))


def modifiedFiles(toolkit, recipe):
    """The Qt source files our patches change or replace, each with the names of the patches and replacements."""
    changed = {}
    for item in recipe["replacements"]:
        changed.setdefault(item["path"], set()).add(item["patch"]["name"])
    for patch in recipe["patches"]:
        for path in re.findall(r"^\+\+\+ [ab]/(\S+)", read(os.path.join(toolkit, "patches", patch["name"])), re.M):
            changed.setdefault(path, set()).add(patch["name"])
    return changed


def runtimeLicence(source, package, archive, member, sources):
    """A runtime member's licence (runtime.py), or None when it is not known."""
    if source == "gcc-mingw-w64":
        return runtime.gccLicence(member, archive)
    if "files" not in sources:
        folder = sources["folder"]
        origs = sorted(f for f in (os.listdir(folder) if os.path.isdir(folder) else [])
                       if re.match(r"mingw-w64_.*\.orig\.tar\.", f) and not f.endswith(".asc"))
        sources["files"] = runtime.sourceFiles(os.path.join(sources["folder"], origs[-1])) if origs else []
        sources["copyright"] = runtime.loadCopyright("/usr/share/doc/%s/copyright" % package)
    return runtime.mingwLicence(member, archive, sources["files"], sources["copyright"])


def components(taken, build, toolkit, recipe, licensing):
    """Components by key, each with the members that brought it in; stops at anything unknown or refused."""
    found, unknown, changed = {}, [], modifiedFiles(manifests.TOOLKIT, recipe)
    mingw = {"folder": os.path.join(os.path.dirname(toolkit), "src")}

    def component(key, **fields):
        return found.setdefault(key, dict(fields, members=set(), copyrights=set(), changes=set(), memberLicences={}))

    for path, members in sorted(taken.items()):
        label = lambda member: os.path.basename(path) + ("(%s)" % member if member else "")
        # The toolkit first: it may lie inside the build folder.
        if path.startswith(os.path.realpath(toolkit) + "/"):
            for member in members:
                row = licensing["members"].get(label(member))
                refused = licences.refusedMember(row) if row else None
                if not row or row["unknown"] or not row["qt"] + row["thirdParty"] or refused:
                    why = refused or ((", ".join(row["unknown"]) or "no file of a known licence") if row
                                      else "not in the toolkit's records")
                    unknown.append("%s: %s" % (label(member), why))
                    continue
                for key in ["qt-" + tag for tag in row["qt"]] + row["thirdParty"]:
                    entry = component(key)
                    entry["members"].add(label(member))
                    for file in row.get("files", []):
                        entry["changes"].update(changed.get(file, ()))
                for tag in row["qt"]:
                    found["qt-" + tag]["copyrights"].update(row["copyright"][tag])
        elif path.startswith(os.path.realpath(build) + "/"):
            component("pellimantor")["members"].update(map(label, members))
        else:
            try:
                package = run("dpkg-query", "-S", path).split(":")[0]
            except subprocess.CalledProcessError:
                package = ""
            source = run("dpkg-query", "-W", "-f=${source:Package}", package) if package else ""
            if source not in RUNTIME:
                unknown.extend("%s: from %s, a package of no known component" % (label(m), package or "no Debian package")
                               for m in members)
                continue
            entry = component(source, package=package)
            for member in members:
                # A plain object (start-up code) stands for itself.
                licence = runtimeLicence(source, package, os.path.basename(path), member or os.path.basename(path), mingw)
                if not licence:
                    unknown.append("%s: no licence known for it in %s" % (label(member), source))
                    continue
                entry["members"].add(label(member))
                entry["memberLicences"][label(member)] = licence
    if unknown:
        fail("no component known, or a licence refused, for what the link took:\n  " + "\n  ".join(sorted(unknown)))
    return found


def purl(kind, name, version, qualifiers=""):
    """A package URL, its version percent-encoded as the purl rules ask."""
    return "pkg:%s/%s%s%s" % (kind, name, "@" + urllib.parse.quote(version, safe=".-_~") if version else "", qualifiers)


def plainVersion(text):
    """The version in what qt_attribution.json says of one ("d4e2..., fetched on 2021-06-11", "<url> commit <hash>")."""
    text = text.strip()
    if re.fullmatch(r"v?\d[\w.+-]*", text):
        return text
    found = re.search(r"\b[0-9a-f]{7,40}\b", text) or re.search(r"\bv?\d[\w.+-]*", text)
    return found.group(0) if found else ""


def describe(key, entry, root, recipe, licensing, version):
    """Adds name, version, licence, supplier, copyright, text, purl and shipped source files to a component."""
    qt = recipe["qt"]
    qtPurl = purl("deb/debian", qt["package"], qt["version"], "?arch=source")
    if key == "pellimantor":
        entry.update(name="Pellimantor release launcher", version=version, licence="MIT",
                     supplier="The Pellimantor developers", copyright="Copyright (c) 2026 The Pellimantor developers",
                     text=read(os.path.join(root, "LICENSE")), files=["launcher.tar"])
    elif key.startswith("qt-"):
        tag = licensing["qt"][key[3:]]
        entry.update(name="Qt 5 (qtbase), %s parts" % key[3:], version=qt["version"], licence=tag["licence"],
                     supplier="The Qt Company (as packaged by Debian)", purl=qtPurl, text=tag["text"],
                     copyright="\n".join("Copyright (C) " + line for line in sorted(entry["copyrights"])),
                     files=[f["name"] for f in qt["files"]])
    elif key in RUNTIME:
        package = entry["package"]
        sourceVersion, builtUsing = (run("dpkg-query", "-W", "-f=${source:Version}\t${Built-Using}", package) + "\t").split("\t")[:2]
        text = read("/usr/share/doc/%s/copyright" % package)
        # The common licences it names, in full.
        for name in sorted(set(re.findall(r"/usr/share/common-licenses/([A-Za-z0-9.+-]+[A-Za-z0-9+])", text))):
            if os.path.exists("/usr/share/common-licenses/" + name):
                text += "\n\n--- /usr/share/common-licenses/%s ---\n\n%s" % (name, read("/usr/share/common-licenses/" + name))
        for licence in sorted(set(entry["memberLicences"].values())):
            text += runtime.licenceText(licence)
        entry.update(name=RUNTIME[key], version=sourceVersion, supplier="Debian",
                     licence=licences.conjunction(sorted(set(entry["memberLicences"].values()))),
                     purl=purl("deb/debian", key, sourceVersion, "?arch=source"), text=text,
                     copyright="See the package's copyright file below.", files=[],
                     builtUsing=re.findall(r"([a-z0-9.+-]+) \(= ([^)]+)\)", builtUsing))
    else:
        party = licensing["thirdParty"][key]
        entry.update(name=party["name"], version=plainVersion(party["version"]), licence=party["licence"],
                     supplier="Bundled with Qt (%s)" % party["folder"], copyright=party["copyright"], text=party["text"],
                     homepage=party["homepage"], files=[f["name"] for f in qt["files"]], origin=qtPurl,
                     purl=purl("generic", re.sub(r"[^a-z0-9.-]+", "-", key.lower()), plainVersion(party["version"])))
    licences.parse(entry["licence"])


def notices(order, found, whole, recipe):
    rule = "=" * 78
    text = ["Pellimantor.exe: notices", rule, "",
            "Pellimantor.exe holds the code of the components below, as its link took them.",
            "Each is listed with its version, copyright and full licence text. The source",
            "of the launcher and the corresponding source of the Qt toolkit inside it, with",
            "our changes to it and how to rebuild both, are in the folder source/.", "",
            "The file as a whole is under all of these licences at once:", "  " + whole, ""]
    for number, key in enumerate(order, 1):
        entry = found[key]
        text += [rule, "%d. %s" % (number, entry["name"]), "   Version: %s" % (entry["version"] or "not stated"),
                 "   Licence: %s" % entry["licence"], "   Supplier: %s" % entry["supplier"]]
        if entry.get("homepage"):
            text.append("   Home page: %s" % entry["homepage"])
        if entry["changes"]:
            text.append("   Modified by us: " + ", ".join("source/" + name for name in sorted(entry["changes"])))
        if entry.get("purl"):
            text.append("   Package: %s" % entry["purl"])
        if entry["memberLicences"]:
            byLicence = {}
            for member, licence in sorted(entry["memberLicences"].items()):
                byLicence.setdefault(licence, []).append(member)
            text += ["   Linked from, under %s: %s" % (licence, ", ".join(members)) for licence, members in sorted(byLicence.items())]
        else:
            text.append("   Linked from: " + ", ".join(sorted(entry["members"])))
        text += ["", entry["copyright"], "", entry["text"].rstrip(), ""]
    return "\n".join(text) + "\n"


def pedigree(entry, recipe, shipped):
    """Where a component came from: Qt for what is bundled with it; our patches and the files replaced in."""
    ancestors, patches = [], []
    if entry.get("origin"):
        ancestors.append({"type": "library", "name": "Qt 5 (qtbase)", "version": recipe["qt"]["version"],
                          "purl": entry["origin"]})
    for name in sorted(entry["changes"]):
        patches.append({"type": "unofficial", "diff": {"url": "source/" + name}})
    for item in (r for r in recipe["replacements"] if r["patch"]["name"] in entry["changes"]):
        origin = item["origin"]
        ancestors.append({"type": "file", "name": item["original"], "version": origin["version"],
                          "purl": purl("deb/debian", origin["package"], origin["version"], "?arch=source"),
                          "hashes": [{"alg": "SHA-256", "content": origin["memberSha256"]}],
                          "externalReferences": shipped([item["original"]]),
                          "description": "%s of %s, in place of Qt 5's %s" % (origin["member"], origin["files"][0]["name"],
                                                                              item["path"])})
    # A runtime built from another source package's code (GCC's from gcc-12) names it.
    for name, version in entry.get("builtUsing", []):
        ancestors.append({"type": "library", "name": name, "version": version,
                          "purl": purl("deb/debian", name, version, "?arch=source")})
    found = {"ancestors": ancestors} if ancestors else {}
    if patches:
        found["patches"] = patches
    return found


def bomComponent(key, entry, recipe, shipped):
    item = {"type": "library", "bom-ref": key, "name": entry["name"], "supplier": {"name": entry["supplier"]},
            "licenses": [{"expression": entry["licence"]}],
            "properties": [{"name": "pellimantor:linked-from",
                            "value": m + (" (%s)" % entry["memberLicences"][m] if m in entry["memberLicences"] else "")}
                           for m in sorted(entry["members"])]}
    for field in ("version", "purl", "copyright"):
        if entry.get(field) and not (field == "copyright" and key in RUNTIME):
            item[field] = entry[field]
    if entry["files"]:
        item["externalReferences"] = shipped(entry["files"])
    found = pedigree(entry, recipe, shipped)
    if found:
        item["pedigree"] = found
    return item


def billOfMaterials(order, found, whole, commit, time, version, unsigned, signed, recipe, release):
    def shipped(names):
        return [{"type": "distribution", "url": "source/" + name,
                 "hashes": [{"alg": "SHA-256", "content": sha256(os.path.join(release, "source", name))}]}
                for name in names]

    properties = [{"name": "pellimantor:source-commit", "value": commit},
                  {"name": "pellimantor:sha256-unsigned", "value": unsigned}]
    if signed:
        properties.append({"name": "pellimantor:sha256-signed", "value": signed})
    # Qt is one component (one package, one purl), its parts under their own licences inside it.
    parts = [key for key in order if key.startswith("qt-")]
    qt = {"type": "library", "bom-ref": "qt", "name": "Qt 5 (qtbase)", "version": recipe["qt"]["version"],
          "supplier": {"name": found[parts[0]]["supplier"]}, "purl": found[parts[0]]["purl"],
          "licenses": [{"expression": licences.conjunction(found[key]["licence"] for key in parts)}],
          "externalReferences": shipped(found[parts[0]]["files"]),
          "components": [bomComponent(key, dict(found[key], purl="", files=[], changes=found[key]["changes"]), recipe,
                                      shipped) for key in parts]}
    changes = set().union(*(found[key]["changes"] for key in parts))
    if changes:
        qt["pedigree"] = pedigree({"changes": changes}, recipe, shipped)
    top = ["qt"] + [key for key in order[1:] if not key.startswith("qt-")]
    return json.dumps({
        "bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
        "serialNumber": uuid.uuid5(uuid.NAMESPACE_URL, "pellimantor:%s:%s:%s" % (commit, unsigned, signed)).urn,
        "metadata": {"timestamp": clock.strftime("%Y-%m-%dT%H:%M:%SZ", clock.gmtime(time)), "component": {
            "type": "application", "bom-ref": "pellimantor", "name": "Pellimantor.exe", "version": version,
            "supplier": {"name": "The Pellimantor developers"}, "licenses": [{"expression": whole}],
            "hashes": [{"alg": "SHA-256", "content": unsigned}], "properties": properties,
            "externalReferences": shipped(["launcher.tar"])}},
        "components": [qt] + [bomComponent(key, found[key], recipe, shipped) for key in top[1:]],
        "dependencies": [{"ref": "pellimantor", "dependsOn": top}] + [{"ref": key, "dependsOn": []} for key in top],
    }, indent=1, ensure_ascii=False) + "\n"


def main(root, toolkit, build, unsigned, signed=""):
    os.umask(0o022)
    records = os.path.join(toolkit, "share", "pellimantor")
    recipe = manifests.load(os.path.join(records, "manifest.json"))
    with open(os.path.join(records, "licensing.json"), encoding="utf-8") as f:
        licensing = json.load(f)
    commit, time, modified, files, recorded = sourceOf(root)
    # Built from a tree with uncommitted changes, the version says so: the source shipped is the commit's.
    version = commit + ("+modified" if modified else "")
    found = components(linkMap(os.path.join(build, "launcher", "Pellimantor.map"), build), build, toolkit, recipe, licensing)
    release = os.path.join(build, "release")
    source = os.path.join(release, "source")
    os.makedirs(source)
    # The corresponding source first, so that every reference can name a file shipped and its hash.
    sources = os.path.join(os.path.dirname(toolkit), "src")
    for f in recipe["qt"]["files"]:
        shutil.copyfile(os.path.join(sources, f["name"]), os.path.join(source, f["name"]))
    for patch in recipe["patches"]:
        shutil.copyfile(os.path.join(manifests.TOOLKIT, "patches", patch["name"]), os.path.join(source, patch["name"]))
    for item in recipe["replacements"]:
        shutil.copyfile(os.path.join(sources, item["original"]), os.path.join(source, item["original"]))
        shutil.copyfile(os.path.join(manifests.TOOLKIT, item["patch"]["name"]), os.path.join(source, item["patch"]["name"]))
    shutil.copyfile(os.path.join(records, "manifest.json"), os.path.join(source, "manifest.json"))
    write(os.path.join(source, "configure-options"), "".join(arg + "\n" for arg in recipe["configure"]))
    with open(os.path.join(source, "launcher.tar"), "wb") as f:
        f.write(sourceArchive(commit, time, files, recorded))
    for key, entry in found.items():
        describe(key, entry, root, recipe, licensing, version)
    order = ["pellimantor"] + sorted(k for k in found if k.startswith("qt-")) + \
        sorted(k for k in found if k != "pellimantor" and not k.startswith("qt-") and k not in RUNTIME) + \
        sorted(k for k in found if k in RUNTIME)
    # The file as a whole is under every licence of the code in it.
    whole = licences.conjunction(found[key]["licence"] for key in order)
    write(os.path.join(source, "REBUILD.txt"), read(os.path.join(os.path.dirname(__file__), "rebuild.txt"))
          .replace("@COMMIT@", commit).replace("@QT@", recipe["qt"]["version"]).replace("@WHOLE@", whole))
    shutil.copyfile(os.path.join(build, "launcher", "Pellimantor.exe"), os.path.join(release, "Pellimantor.exe"))
    os.chmod(os.path.join(release, "Pellimantor.exe"), 0o755)
    write(os.path.join(release, "NOTICES.txt"), notices(order, found, whole, recipe))
    write(os.path.join(release, "Pellimantor.cdx.json"),
          billOfMaterials(order, found, whole, commit, time, version, unsigned, signed, recipe, release))
    print("release-set: %d components, %d archive members and objects; %s"
          % (len(order), sum(len(e["members"]) for e in found.values()), release))
