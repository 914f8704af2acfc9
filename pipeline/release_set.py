# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""Writes the release set of a Windows build into BUILD/release: what a
publisher ships with Pellimantor.exe.
  Pellimantor.exe       the executable
  NOTICES.txt           each component whose code the link took: name,
                        version, copyright and full licence text, ours first
  Pellimantor.cdx.json  bill of materials (CycloneDX 1.5)
  source/               the launcher's source (launcher.tar, from git) and the
                        toolkit's corresponding source: Debian's source package
                        as used, our patch, the configure options and how to
                        rebuild the toolkit and relink the launcher (REBUILD.txt)
The components come from the link map (BUILD/launcher/Pellimantor.map): each
archive member and object the linker took is ours (from the build folder), the
toolkit's (its members as scripts/toolkit-records read them: Qt's own code and
the third-party code compiled into each) or a runtime library's (the Debian
package that holds the file). A member or object that maps to no component,
or a toolkit member with a file of unknown licence, stops it with its name.
The same commit gives the same files: no time but the commit's, no path of
the build machine, identifiers derived from the contents.
  release-set ROOT TOOLKIT BUILD UNSIGNED_SHA256 [SIGNED_SHA256]"""
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import uuid

# Runtime libraries by Debian source package: the component and its licence
# as an SPDX expression (the notices carry the package's whole copyright
# file, which holds the texts of the LicenseRef- parts: David M. Gay's and
# Lucent's notice of gdtoa, used by the printf and strtod of libmingwex, and
# the start-up code placed in the public domain).
RUNTIME = {
    "gcc-mingw-w64": ("GCC runtime libraries (libgcc, libstdc++)", "GPL-3.0-or-later WITH GCC-exception-3.1"),
    "mingw-w64": ("MinGW-w64 runtime (start-up code, libmingw32, libmingwex, winpthreads, import libraries)",
                  "ZPL-2.1 AND MIT AND BSD-3-Clause AND LicenseRef-MinGW-w64-gdtoa AND LicenseRef-MinGW-w64-public-domain"),
}


def main(root, toolkit, build, unsigned, signed=""):
    # The commit's time, in UTC.
    os.environ["TZ"] = "UTC"
    release, records = os.path.join(build, "release"), os.path.join(toolkit, "share", "pellimantor")

    def run(*command):
        return subprocess.run(command, capture_output=True, text=True, check=True).stdout.strip()


    def read(path):
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()


    def sha256(path):
        return hashlib.sha256(open(path, "rb").read()).hexdigest()


    def fail(message):
        sys.exit("release-set: " + message)


    # The members and objects the link took, by archive or object path (relative
    # paths are the build folder's, where the linker ran). Members are listed in
    # the map's first part, objects where it loads them.
    taken, first = {}, True
    for line in read(os.path.join(build, "launcher", "Pellimantor.map")).splitlines():
        first = first and not line.startswith(("Discarded input sections", "Memory Configuration"))
        member = re.match(r"^(\S+\.a)\(([^)\s]+)\)", line) if first else None
        loaded = re.match(r"^LOAD (\S+\.(?:o|obj|res))$", line)
        if member or loaded:
            path = os.path.realpath(os.path.join(build, (member or loaded).group(1)))
            taken.setdefault(path, set()).add(member.group(2) if member else "")

    licensing = json.load(open(os.path.join(records, "licensing.json")))
    commit = run("git", "-C", root, "rev-parse", "HEAD")
    # Built from a tree with uncommitted changes, the version says so: the source
    # in the release set is the commit's, not the build's.
    launcherVersion = commit + ("+modified" if run("git", "-C", root, "status", "--porcelain", "--untracked-files=no") else "")
    dsc = os.path.join(os.path.dirname(toolkit), "src", "qtbase-opensource-src_%s.dsc"
                       % re.match(r"qt-(.+)-windows(64)?-static-", os.path.basename(toolkit)).group(1))
    qtVersion = re.search(r"^Version: (.+)$", read(dsc), re.M).group(1)
    patch = os.path.join(root, "scripts", "qt-listing.patch")
    patchSha = sha256(patch)

    # Components by key: name, version, licence, copyright, licence text, supplier,
    # source files with their SHA-256, and the members that brought them in.
    components, unknown = {}, []


    def component(key, **fields):
        return components.setdefault(key, dict(fields, members=set()))


    def checksums(text):
        """(file name, SHA-256) of each file a .dsc or Sources entry lists."""
        block = re.search(r"^Checksums-Sha256:\n((?: .*\n?)*)", text, re.M).group(1)
        return sorted((line.split()[2], line.split()[0]) for line in block.splitlines())


    def debianSource(package, version):
        """The source archives of a Debian source package version, as its Sources entry (its .dsc) lists them."""
        for stanza in run("apt-cache", "showsrc", package).split("\n\n"):
            if re.search(r"^Version: %s$" % re.escape(version), stanza, re.M):
                return checksums(stanza)
        fail("no source entry of %s %s (run apt-get update)" % (package, version))


    for path, members in sorted(taken.items()):
        label = lambda member: os.path.basename(path) + ("(%s)" % member if member else "")
        if path.startswith(os.path.realpath(build) + "/"):
            component("pellimantor")["members"].update(map(label, members))
        elif path.startswith(os.path.realpath(toolkit) + "/"):
            for member in members:
                row = licensing["members"].get(label(member))
                if not row or row["unknown"] or not row["qt"] + row["thirdParty"]:
                    why = (", ".join(row["unknown"]) or "no file of a known licence") if row else "not in the toolkit's records"
                    unknown.append("%s: %s" % (label(member), why))
                    continue
                for key in ["qt-" + tag for tag in row["qt"]] + row["thirdParty"]:
                    component(key, copyrights=set())["members"].add(label(member))
                for tag in row["qt"]:
                    components["qt-" + tag]["copyrights"].update(row["copyright"])
        else:
            try:
                package = run("dpkg-query", "-S", path).split(":")[0]
            except subprocess.CalledProcessError:
                package = ""
            source = run("dpkg-query", "-W", "-f=${source:Package}", package) if package else ""
            if source not in RUNTIME:
                unknown.extend("%s: from %s, a package of no known component" % (label(m), package or "no Debian package") for m in members)
                continue
            entry = component(source, package=package)
            entry["members"].update(map(label, members))
    if unknown:
        fail("no component known for what the link took (add it before shipping):\n  " + "\n  ".join(sorted(unknown)))

    # Versions, licences, copyright lines and texts of each component.
    qtSource = sorted(checksums(read(dsc)) + [(os.path.basename(dsc), sha256(dsc))])
    for key, entry in components.items():
        if key == "pellimantor":
            entry.update(name="Pellimantor release launcher", version=launcherVersion, licence="MIT", supplier="The Pellimantor developers",
                         copyright="Copyright (c) 2026 The Pellimantor developers", text=read(os.path.join(root, "LICENSE")))
        elif key.startswith("qt-"):
            tag = licensing["qt"][key[3:]]
            entry.update(name="Qt 5 (qtbase), %s parts" % key[3:], version=qtVersion, licence=tag["licence"], supplier="Debian",
                         copyright="\n".join("Copyright (C) " + line for line in sorted(entry["copyrights"])), text=tag["text"],
                         source=[("qtbase-opensource-src", qtVersion, qtSource)], patched=True)
        elif key in RUNTIME:
            package = entry["package"]
            version, sourceVersion, builtUsing = (run("dpkg-query", "-W", "-f=${Version}\t${source:Version}\t${Built-Using}", package) + "\t").split("\t")[:3]
            copyright = read("/usr/share/doc/%s/copyright" % package)
            # The common licences it names, in full.
            for name in sorted(set(re.findall(r"/usr/share/common-licenses/([A-Za-z0-9.+-]+[A-Za-z0-9+])", copyright))):
                if os.path.exists("/usr/share/common-licenses/" + name):
                    copyright += "\n\n--- /usr/share/common-licenses/%s ---\n\n%s" % (name, read("/usr/share/common-licenses/" + name))
            sources = [(key, sourceVersion)] + re.findall(r"([a-z0-9.+-]+) \(= ([^)]+)\)", builtUsing)
            entry.update(name=RUNTIME[key][0], version=version, licence=RUNTIME[key][1], supplier="Debian",
                         copyright="See the package's copyright file below.", text=copyright,
                         source=[(name, v, debianSource(name, v)) for name, v in sources])
        else:
            party = licensing["thirdParty"][key]
            entry.update(name=party["name"], version=party["version"] or "as bundled with Qt %s" % qtVersion, licence=party["licence"],
                         supplier="Debian (bundled in qtbase-opensource-src %s)" % qtVersion, copyright=party["copyright"],
                         text=party["text"], source=[("qtbase-opensource-src", qtVersion, qtSource)], homepage=party["homepage"])

    order = ["pellimantor"] + sorted(key for key in components if key.startswith("qt-")) + \
        sorted(key for key in components if key != "pellimantor" and not key.startswith("qt-") and key not in RUNTIME) + \
        sorted(key for key in components if key in RUNTIME)
    os.makedirs(os.path.join(release, "source"))
    shutil.copy(os.path.join(build, "launcher", "Pellimantor.exe"), os.path.join(release, "Pellimantor.exe"))
    # The file as a whole is under every licence of the code in it.
    whole = " AND ".join(dict.fromkeys(components[key]["licence"] if " " not in components[key]["licence"]
                                       else "(%s)" % components[key]["licence"] for key in order))

    # The notices.
    rule = "=" * 78
    text = ["Pellimantor.exe: notices", rule, "",
            "Pellimantor.exe holds the code of the components below, as its link took them.",
            "Each is listed with its version, copyright and full licence text. The source",
            "of the launcher and the corresponding source of the Qt toolkit inside it, with",
            "our change to it and how to rebuild it and relink the launcher, are in the",
            "folder source/ of this release set.", "",
            "The file as a whole is under all of these licences at once:", "  " + whole, ""]
    for number, key in enumerate(order, 1):
        entry = components[key]
        text += [rule, "%d. %s" % (number, entry["name"]), "   Version: %s" % entry["version"], "   Licence: %s" % entry["licence"],
                 "   Supplier: %s" % entry["supplier"]]
        if entry.get("homepage"):
            text.append("   Home page: %s" % entry["homepage"])
        if entry.get("patched"):
            text.append("   Modified by us: source/qt-listing.patch (SHA-256 %s)" % patchSha)
        if entry.get("source"):
            text.append("   Source: " + "; ".join("Debian source package %s %s" % (name, v) for name, v, _ in entry["source"]))
        text += ["   Linked from: " + ", ".join(sorted(entry["members"])), "", entry["copyright"], "", entry["text"].rstrip(), ""]
    with open(os.path.join(release, "NOTICES.txt"), "w") as f:
        f.write("\n".join(text) + "\n")

    # The bill of materials.
    timestamp = run("git", "-C", root, "log", "-1", "--format=%cd", "--date=format-local:%Y-%m-%dT%H:%M:%SZ")
    properties = [{"name": "pellimantor:source-commit", "value": commit}, {"name": "pellimantor:sha256-unsigned", "value": unsigned},
                  {"name": "pellimantor:licences-of-the-whole-file", "value": whole}]
    if signed:
        properties.append({"name": "pellimantor:sha256-signed", "value": signed})
    bom = {
        "bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
        "serialNumber": uuid.uuid5(uuid.NAMESPACE_URL, "pellimantor:%s:%s:%s" % (commit, unsigned, signed)).urn,
        "metadata": {"timestamp": timestamp, "component": {
            "type": "application", "bom-ref": "pellimantor", "name": "Pellimantor.exe", "version": launcherVersion,
            "supplier": {"name": "The Pellimantor developers"}, "licenses": [{"expression": "MIT"}],
            "hashes": [{"alg": "SHA-256", "content": unsigned}], "properties": properties}},
        "components": [],
        "dependencies": [{"ref": "pellimantor", "dependsOn": [key for key in order[1:]]}] + [{"ref": key, "dependsOn": []} for key in order[1:]],
    }
    for key in order[1:]:
        entry = components[key]
        item = {"type": "library", "bom-ref": key, "name": entry["name"], "version": entry["version"],
                "supplier": {"name": entry["supplier"]}, "licenses": [{"expression": entry["licence"]}],
                "copyright": entry["copyright"] if not key in RUNTIME else "See the Debian copyright file in NOTICES.txt",
                "properties": [{"name": "pellimantor:linked-from", "value": member} for member in sorted(entry["members"])],
                "externalReferences": [{"type": "distribution", "url": name, "comment": "source archive of Debian source package %s %s" % (package, v),
                                        "hashes": [{"alg": "SHA-256", "content": digest}]}
                                       for package, v, files in entry["source"] for name, digest in files]}
        item["purl"] = "pkg:deb/debian/%s@%s?arch=source" % entry["source"][0][:2]
        if entry.get("patched"):
            item["pedigree"] = {"patches": [{"type": "unofficial", "diff": {"url": "source/qt-listing.patch"}}],
                                "notes": "Debian's source with our patch qt-listing.patch applied, SHA-256 %s" % patchSha}
            item["properties"].append({"name": "pellimantor:patch-sha256", "value": patchSha})
        bom["components"].append(item)
    with open(os.path.join(release, "Pellimantor.cdx.json"), "w") as f:
        json.dump(bom, f, indent=1, ensure_ascii=False)
        f.write("\n")

    # The corresponding source.
    for name, _ in qtSource:
        shutil.copyfile(os.path.join(os.path.dirname(dsc), name), os.path.join(release, "source", name))
    shutil.copyfile(patch, os.path.join(release, "source", "qt-listing.patch"))
    shutil.copyfile(os.path.join(records, "configure-options"), os.path.join(release, "source", "configure-options"))
    with open(os.path.join(release, "source", "launcher.tar"), "wb") as f:
        f.write(subprocess.run(["git", "-C", root, "archive", "--format=tar", "--prefix=pellimantor/", commit],
                               capture_output=True, check=True).stdout)
    with open(os.path.join(release, "source", "REBUILD.txt"), "w") as f:
        f.write(read(os.path.join(root, "scripts", "rebuild.txt")).replace("@COMMIT@", commit).replace("@QT@", qtVersion))
    print("release-set: %d components, %d archive members and objects; %s" % (len(order), sum(len(e["members"]) for e in components.values()), release))
