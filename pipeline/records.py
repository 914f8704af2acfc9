# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""What a static toolkit's archives are made of, for the notices and the
bill of materials of whatever links them, recorded when the toolkit is
built: each object's SHA-256 with the files of the source tree that its
dependency record (-MD) names; then each member of each archive, matched by
its bytes to its object, with its files and their licences, the licences of
Qt's tags and the third-party components. Files that carry Qt's licence tag
($QT_BEGIN_LICENSE:X$, or Qt 6's SPDX line) are Qt's own under X; files that
a qt_attribution.json covers are that component's. A file with neither is
listed as unknown, and the release set refuses a member with one."""
import dataclasses
import functools
import glob
import hashlib
import json
import os
import re

from model import MemberRecord


# Qt's licence tags as SPDX expressions, with the texts they name (the
# commercial alternative is Qt's to grant, not the recipient's).
TAGS = {"LGPL": ("LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only", ["LICENSE.LGPL3", "LICENSE.GPL2", "LICENSE.GPL3"]),
        "GPL": ("GPL-3.0-only", ["LICENSE.GPL3"]), "BSD": ("BSD-3-Clause", []), "MIT": ("MIT", [])}
# Files that state their terms as an SPDX expression (Qt 6's form): the tag they amount to.
# Our adaptation of such a file keeps only the open-source alternatives.
SPDX_TAGS = {"LicenseRef-Qt-Commercial OR LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only": "LGPL",
             "LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only": "LGPL"}


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


def objects_of(source, build_tree):
    """The objects of a build tree by content, each with the source-tree files its dependency record names."""
    source, compiled = os.path.realpath(source), {}
    # os.walk, since the objects lie in hidden folders (.obj).
    for folder, _, names in os.walk(build_tree):
        for record in (os.path.join(folder, name) for name in names if name.endswith(".d")):
            obj = record[:-2] + ".o"
            if not os.path.exists(obj):
                continue
            target, paths = read(record).replace("\\\n", " ").split(":", 1)
            # Paths in the record are relative to the folder make ran in: the object's, less the target.
            base = os.path.realpath(obj)[:-len(target.strip())]
            found = (os.path.normpath(os.path.join(base, p)) for p in paths.split())
            files = sorted({os.path.relpath(p, source) for p in found if p.startswith(source + "/")})
            with open(obj, "rb") as f:
                compiled[hashlib.sha256(f.read()).hexdigest()] = files
    return compiled


def attributions(source):
    """Every qt_attribution.json entry of the source tree, with the folder it lies in."""
    entries = []
    for path in sorted(glob.glob(os.path.join(source, "src", "**", "qt_attribution.json"), recursive=True)):
        found = json.loads(read(path), strict=False)
        for entry in found if isinstance(found, list) else [found]:
            entry["Folder"] = os.path.relpath(os.path.dirname(path), source)
            entries.append(entry)
    return entries


def tag_of(source, file):
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
        return tag_of(source, generator.group(1))
    return None, None


def is_forwarding(source, file):
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


def licence_text(source, file, tag):
    """The licence block of a file's header (Qt's tagged form), then the full texts its tag names."""
    text = read(os.path.join(source, file))
    block = text[text.index("$QT_BEGIN_LICENSE"):text.index("$QT_END_LICENSE$")].split("\n", 1)[1]
    header = "\n".join(line.lstrip("*#").strip() for line in block.splitlines()).strip() + "\n"
    return header + "".join("\n" + read(os.path.join(source, name)) for name in TAGS[tag][1])


def member_record(source, files, entries, tags, parties):
    """What one archive member holds: Qt's tags, third-party components, files of neither, copyright lines."""
    record, found = MemberRecord(), set()
    for file in (file for file in files or [] if not is_forwarding(source, file)):
        found.add(file)
        tag, carrier = tag_of(source, file)
        covering = [entry for entry in entries if covers(entry, file)]
        # Third-party code that no entry names is given every entry of its folder.
        if not covering and not tag:
            covering = [entry for entry in entries if entry["Folder"] == os.path.dirname(file) and "3rdparty" in file]
        if tag:
            record.licences[file] = TAGS[tag][0]
            record.qt.append(tag)
            # The first file of a tag in Qt's tagged form lends its licence block as the tag's text.
            if "$QT_BEGIN_LICENSE" in read(os.path.join(source, carrier))[:4000]:
                tags.setdefault(tag, carrier)
            record.copyright.setdefault(tag, set()).update(copyrights(read(os.path.join(source, carrier))))
        for entry in covering:
            record.licences.setdefault(file, third_party(source, entry)["licence"])
            record.third_party.append(entry["Id"])
            parties[entry["Id"]] = entry
        if not covering and not tag:
            record.unknown.append(file)
    if files is None:
        record.unknown.append("(no dependency record)")
    record.files, record.qt, record.third_party = sorted(found), sorted(set(record.qt)), sorted(set(record.third_party))
    record.copyright = {tag: sorted(lines) for tag, lines in record.copyright.items()}
    return record


def third_party(source, entry):
    # Code placed in the public domain (md4, md5, sha1) has neither an SPDX
    # identifier nor a licence file: it is said so.
    return {"name": entry["Name"], "version": entry.get("Version", ""),
            "licence": entry.get("LicenseId", "LicenseRef-" + entry["License"].replace(" ", "-")),
            "copyright": entry.get("Copyright", ""), "homepage": entry.get("Homepage", ""), "folder": entry["Folder"],
            "text": read(os.path.join(source, entry["Folder"], entry["LicenseFile"])) if "LicenseFile" in entry
            else "%s: %s\n" % (entry["License"], entry["Name"])}


def licensing_of(source, compiled, archives):
    """The member table of the archives, the licences of Qt's tags and the third-party components."""
    source = os.path.realpath(source)
    entries, table, tags, parties = attributions(source), {}, {}, {}
    for archive in archives:
        for name, body in members(archive):
            files = compiled.get(hashlib.sha256(body).hexdigest())
            table["%s(%s)" % (os.path.basename(archive), name)] = member_record(source, files, entries, tags, parties)
    return {
        "members": table,
        "qt": {tag: {"licence": TAGS[tag][0], "text": licence_text(source, file, tag)}
               for tag, file in sorted(tags.items())},
        "third_party": {key: third_party(source, entry) for key, entry in sorted(parties.items())},
    }


def stamp():
    """What the records depend on besides the toolkit: the code that reads them."""
    here = os.path.dirname(os.path.abspath(__file__))
    return hashlib.sha256(b"".join(open(os.path.join(here, name), "rb").read()
                                   for name in ("records.py", "model.py"))).hexdigest()[:12]


def is_current(share):
    try:
        return read_text(os.path.join(share, "licensing.stamp")).strip() == stamp()
    except OSError:
        return False


def read_text(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def write_json(path, data):
    with open(path, "w", encoding="utf-8") as f:
        json.dump(data, f, indent=1, sort_keys=True, default=lambda o: dataclasses.asdict(o))


def write_records(source, build_tree, prefix, share):
    """Writes objects.json (from a build tree just compiled; else the one there is kept) and licensing.json."""
    if build_tree:
        write_json(os.path.join(share, "objects.json"), objects_of(source, build_tree))
    compiled = json.loads(read_text(os.path.join(share, "objects.json")))
    write_json(os.path.join(share, "licensing.json"),
               licensing_of(source, compiled, sorted(glob.glob(os.path.join(prefix, "lib", "*.a")))))
    with open(os.path.join(share, "licensing.stamp"), "w", encoding="utf-8") as f:
        f.write(stamp() + "\n")


def load_licensing(share):
    """licensing.json, its member records as MemberRecord."""
    data = json.loads(read_text(os.path.join(share, "licensing.json")))
    data["members"] = {label: MemberRecord(**record) for label, record in data["members"].items()}
    return data
