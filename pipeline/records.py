# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""Records what a static toolkit's archives are made of, for the notices and
the bill of materials of whatever links them. Two steps, both run by build-qt:
writeObjects, right after a build compiled with -MD, prints each object's
SHA-256 with the files of the source tree that its dependency record names;
writeLicensing matches each member of each archive by its bytes to its object
and prints the member table (each file with its licence), the licences of
Qt's tags and the third-party components. Files that carry Qt's licence tag
($QT_BEGIN_LICENSE:X$, or Qt 6's SPDX line) are Qt's own under X; files that
a qt_attribution.json covers are that component's. A file with neither is
listed as unknown, and the release set refuses a member with one."""
import functools
import glob
import hashlib
import json
import os
import re
import sys


# Qt's licence tags as SPDX expressions, with the texts they name (the
# commercial alternative is Qt's to grant, not the recipient's).
TAGS = {"LGPL": ("LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only", ["LICENSE.LGPL3", "LICENSE.GPL2", "LICENSE.GPL3"]),
        "GPL": ("GPL-3.0-only", ["LICENSE.GPL3"]), "BSD": ("BSD-3-Clause", []), "MIT": ("MIT", [])}
# Files that state their terms as an SPDX expression (Qt 6's form): the tag they amount to.
SPDX_TAGS = {"LicenseRef-Qt-Commercial OR LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only": "LGPL"}


# Each header is asked about by every member that includes it: read once.
@functools.lru_cache(maxsize=None)
def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def members(path):
    """(name, bytes) of each member of a GNU ar archive."""
    data, position, names = open(path, "rb").read(), 8, b""
    while position < len(data):
        header = data[position:position + 60]
        name, size = header[:16].decode().rstrip(), int(header[48:58])
        body = data[position + 60:position + 60 + size]
        position += 60 + size + (size & 1)
        if name == "//":
            names = body
        elif name not in ("/", "/SYM64/"):
            if name.startswith("/"):
                start = int(name[1:])
                name = names[start:names.index(b"/\n", start)].decode()
            yield name.rstrip("/"), body


def writeObjects(source, buildTree):
    """Prints the objects of a build tree by content, each with the source-tree files its dependency record names."""
    source, compiled = os.path.realpath(source), {}
    # os.walk, since the objects lie in hidden folders (.obj).
    for folder, _, names in os.walk(buildTree):
        for record in (os.path.join(folder, name) for name in names if name.endswith(".d")):
            obj = record[:-2] + ".o"
            if not os.path.exists(obj):
                continue
            target, paths = read(record).replace("\\\n", " ").split(":", 1)
            # Paths in the record are relative to the folder make ran in: the object's, less the target.
            base = os.path.realpath(obj)[:-len(target.strip())]
            files = sorted({os.path.relpath(p, source) for p in (os.path.normpath(os.path.join(base, p)) for p in paths.split())
                            if p.startswith(source + "/")})
            with open(obj, "rb") as f:
                compiled[hashlib.sha256(f.read()).hexdigest()] = files
    json.dump(compiled, sys.stdout, indent=1, sort_keys=True)


def attributions(source):
    """Every qt_attribution.json entry of the source tree, with the folder it lies in."""
    entries = []
    for path in sorted(glob.glob(os.path.join(source, "src", "**", "qt_attribution.json"), recursive=True)):
        found = json.loads(read(path), strict=False)
        for entry in found if isinstance(found, list) else [found]:
            entry["Folder"] = os.path.relpath(os.path.dirname(path), source)
            entries.append(entry)
    return entries


def tagOf(source, file):
    """Qt's licence tag of a file, and the file that carries it: a generated file has its generator's."""
    head = read(os.path.join(source, file))[:4000]
    tag = re.search(r"\$QT_BEGIN_LICENSE:([A-Z0-9-]+)\$", head)
    spdx = re.search(r"SPDX-License-Identifier: (.+)", head)
    generator = re.search(r"generated file.*\n.*Please see (\S+)", head)
    if tag and tag.group(1) in TAGS:
        return tag.group(1), file
    if spdx and spdx.group(1).strip() in SPDX_TAGS:
        return SPDX_TAGS[spdx.group(1).strip()], file
    if generator and os.path.exists(os.path.join(source, generator.group(1))):
        return tagOf(source, generator.group(1))
    return None, None


def isForwarding(source, file):
    """A header that only includes another (Qt's include/ folder), which holds no code of its own."""
    return all(line.startswith("#include") for line in read(os.path.join(source, file)).splitlines() if line.strip())


def covers(entry, file):
    """Whether a qt_attribution.json entry covers a file of the source tree."""
    inside = os.path.relpath(file, entry["Folder"])
    if inside.startswith(".."):
        return False
    if "Files" in entry:
        return inside in entry["Files"].split() or os.path.basename(file) in entry["Files"].split()
    return "Path" not in entry or inside == entry["Path"] or inside.startswith(entry["Path"].rstrip("/") + "/")


def copyrights(text):
    return re.findall(r"(?:Copyright \(C\)|SPDX-FileCopyrightText:) ([^\n]*[^\s])", text[:4000])


def licenceText(source, file, tag):
    """The licence block of a file's header (Qt's tagged form), then the full texts its tag names."""
    text = read(os.path.join(source, file))
    block = text[text.index("$QT_BEGIN_LICENSE"):text.index("$QT_END_LICENSE$")].split("\n", 1)[1]
    header = "\n".join(line.lstrip("*#").strip() for line in block.splitlines()).strip() + "\n"
    return header + "".join("\n" + read(os.path.join(source, name)) for name in TAGS[tag][1])


def memberRow(source, files, entries, tags, parties):
    """What one archive member holds: Qt's tags, third-party components, files of neither, copyright lines."""
    row = {"qt": set(), "thirdParty": set(), "unknown": [], "copyright": {}, "files": set(), "licences": {}}
    for file in (file for file in files or [] if not isForwarding(source, file)):
        row["files"].add(file)
        tag, carrier = tagOf(source, file)
        covering = [entry for entry in entries if covers(entry, file)]
        # Third-party code that no entry names is given every entry of its folder.
        if not covering and not tag:
            covering = [entry for entry in entries if entry["Folder"] == os.path.dirname(file) and "3rdparty" in file]
        if tag:
            row["licences"][file] = TAGS[tag][0]
            row["qt"].add(tag)
            # The first file of a tag in Qt's tagged form lends its licence block as the tag's text.
            if "$QT_BEGIN_LICENSE" in read(os.path.join(source, carrier))[:4000]:
                tags.setdefault(tag, carrier)
            row["copyright"].setdefault(tag, set()).update(copyrights(read(os.path.join(source, carrier))))
        for entry in covering:
            row["licences"].setdefault(file, thirdParty(source, entry)["licence"])
            row["thirdParty"].add(entry["Id"])
            parties[entry["Id"]] = entry
        if not covering and not tag:
            row["unknown"].append(file)
    if files is None:
        row["unknown"].append("(no dependency record)")
    row["copyright"] = {tag: sorted(lines) for tag, lines in row["copyright"].items()}
    return {key: value if isinstance(value, dict) else sorted(value) for key, value in row.items()}


def thirdParty(source, entry):
    # Code placed in the public domain (md4, md5, sha1) has neither an SPDX
    # identifier nor a licence file: it is said so.
    return {"name": entry["Name"], "version": entry.get("Version", ""),
            "licence": entry.get("LicenseId", "LicenseRef-" + entry["License"].replace(" ", "-")),
            "copyright": entry.get("Copyright", ""), "homepage": entry.get("Homepage", ""), "folder": entry["Folder"],
            "text": read(os.path.join(source, entry["Folder"], entry["LicenseFile"])) if "LicenseFile" in entry
            else "%s: %s\n" % (entry["License"], entry["Name"])}


def writeLicensing(source, objects, archives):
    """Prints the member table of the archives, the licences of Qt's tags and the third-party components."""
    source = os.path.realpath(source)
    with open(objects, encoding="utf-8") as f:
        compiled = json.load(f)
    entries, table, tags, parties = attributions(source), {}, {}, {}
    for archive in archives:
        for name, body in members(archive):
            files = compiled.get(hashlib.sha256(body).hexdigest())
            table["%s(%s)" % (os.path.basename(archive), name)] = memberRow(source, files, entries, tags, parties)
    json.dump({
        "members": table,
        "qt": {tag: {"licence": TAGS[tag][0], "text": licenceText(source, file, tag)} for tag, file in sorted(tags.items())},
        "thirdParty": {key: thirdParty(source, entry) for key, entry in sorted(parties.items())},
    }, sys.stdout, indent=1, sort_keys=True)
