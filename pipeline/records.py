# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""What a static toolkit's archives are made of, for the notices and the
bill of materials of whatever links them, recorded when the toolkit is
built: each object's SHA-256 with the files of the source tree that its
dependency record (-MD) names; then each member of each archive, matched by
its bytes to its object, with its files and their licences, the licences of
Qt's tags, and the third-party components. Files that carry Qt's licence tag ($QT_BEGIN_LICENSE:X$, or Qt 6's SPDX line) are Qt's
own under X; files that a qt_attribution.json covers are that component's. A
file with neither is listed as unknown, and the release set refuses a member
with one. The source tree is read first (`read_tree`); the rest computes."""
from __future__ import annotations

import glob
import hashlib
import json
import os
import re
from typing import Any, Iterator, Optional

from .model import Licensing, MemberRecord, TagLicence, ThirdParty, read_text, sha256_of, write_text

# Qt's licence tags as SPDX expressions, with the texts they name (the
# commercial alternative is Qt's to grant, not the recipient's).
TAGS: dict[str, tuple[str, list[str]]] = {"LGPL": ("LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only", ["LICENSE.LGPL3", "LICENSE.GPL2", "LICENSE.GPL3"]),
        "GPL": ("GPL-3.0-only", ["LICENSE.GPL3"]), "BSD": ("BSD-3-Clause", []), "MIT": ("MIT", [])}
# Files that state their terms as an SPDX expression (Qt 6's form): the tag they amount to.
# Our adaptation of such a file keeps only the open-source alternatives.
SPDX_TAGS = {"LicenseRef-Qt-Commercial OR LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only": "LGPL",
             "LGPL-3.0-only OR GPL-2.0-only OR GPL-3.0-only": "LGPL"}
# How far into a file its licence header and copyright lines are looked for.
HEAD = 4000
GENERATED = re.compile(r"generated file.*\n.*Please see (\S+)")

Entry = dict[str, Any]
"""One entry of a qt_attribution.json, with the folder it lies in ("Folder")."""
Tree = dict[str, str]
"""Files of Qt's source tree by relative path: what the records are made from."""


def members(path: str) -> Iterator[tuple[str, bytes]]:
    """(name, bytes) of each member of a GNU ar archive."""
    with open(path, "rb") as f:
        data = f.read()
    position, names = 8, b""
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


def objects_of(source: str, build_tree: str) -> dict[str, list[str]]:
    """The objects of a build tree by content, each with the source-tree files its dependency record names."""
    source = os.path.realpath(source)
    compiled: dict[str, list[str]] = {}
    # os.walk, since the objects lie in hidden folders (.obj).
    for folder, _, names in os.walk(build_tree):
        for record in (os.path.join(folder, name) for name in names if name.endswith(".d")):
            obj = record[:-2] + ".o"
            if not os.path.exists(obj):
                continue
            target, paths = read_text(record).replace("\\\n", " ").split(":", 1)
            # Paths in the record are relative to the folder make ran in: the object's, less the target.
            base = os.path.realpath(obj)[:-len(target.strip())]
            found = (os.path.normpath(os.path.join(base, p)) for p in paths.split())
            files = sorted({os.path.relpath(p, source) for p in found if p.startswith(source + "/")})
            compiled[sha256_of(obj)] = files
    return compiled


def read_tree(source: str, compiled: dict[str, list[str]]) -> Tree:
    """Every file of the source tree the records look at: those the objects were compiled from, the files their
    generators and licence tags name, and every qt_attribution.json with its licence file."""
    tree: Tree = {}
    wanted = {f for files in compiled.values() for f in files} | {name for tag in TAGS.values() for name in tag[1]}
    for path in glob.glob(os.path.join(source, "src", "**", "qt_attribution.json"), recursive=True):
        name = os.path.relpath(path, source)
        wanted.add(name)
        for entry in parse_attributions(read_text(path), os.path.dirname(name)):
            if "LicenseFile" in entry:
                wanted.add(os.path.normpath(os.path.join(entry["Folder"], entry["LicenseFile"])))
    while wanted:
        name = wanted.pop()
        if name in tree or not os.path.isfile(os.path.join(source, name)):
            continue
        tree[name] = read_text(os.path.join(source, name))
        generator = GENERATED.search(tree[name][:HEAD])
        if generator:
            wanted.add(os.path.normpath(generator.group(1)))
    return tree


def parse_attributions(text: str, folder: str) -> list[Entry]:
    found = json.loads(text, strict=False)
    entries: list[Entry] = found if isinstance(found, list) else [found]
    return [dict(entry, Folder=folder) for entry in entries]


def attributions(tree: Tree) -> list[Entry]:
    """Every qt_attribution.json entry of the source tree, with the folder it lies in."""
    return [entry for name in sorted(n for n in tree if os.path.basename(n) == "qt_attribution.json")
            for entry in parse_attributions(tree[name], os.path.dirname(name))]


def tag_of(tree: Tree, file: str) -> tuple[Optional[str], Optional[str]]:
    """Qt's licence tag of a file, and the file that carries it: a generated file has its generator's."""
    head = tree.get(file, "")[:HEAD]
    tag = re.search(r"\$QT_BEGIN_LICENSE:([A-Z0-9-]+)\$", head)
    spdx = re.search(r"SPDX-License-Identifier: (.+)", head)
    generator = GENERATED.search(head)
    if tag and tag.group(1) in TAGS:
        return tag.group(1), file
    if spdx and spdx.group(1).strip() in SPDX_TAGS:
        return SPDX_TAGS[spdx.group(1).strip()], file
    if generator and os.path.normpath(generator.group(1)) in tree:
        return tag_of(tree, os.path.normpath(generator.group(1)))
    return None, None


def is_forwarding(tree: Tree, file: str) -> bool:
    """A header that only includes another (Qt's include/ folder), which holds no code of its own."""
    return all(line.startswith("#include") for line in tree.get(file, "").splitlines() if line.strip())


def covers(entry: Entry, file: str) -> bool:
    """Whether a qt_attribution.json entry covers a file of the source tree."""
    inside = os.path.relpath(file, entry["Folder"])
    if inside.startswith(".."):
        return False
    if "Files" in entry:
        return inside in entry["Files"].split() or os.path.basename(file) in entry["Files"].split()
    return "Path" not in entry or inside == entry["Path"] or inside.startswith(entry["Path"].rstrip("/") + "/")


def copyrights(text: str) -> list[str]:
    return re.findall(r"(?:Copyright \(C\)|SPDX-FileCopyrightText:) ([^\n]*[^\s])", text[:HEAD])


def licence_text(tree: Tree, file: str, tag: str) -> str:
    """The licence block of a file's header (Qt's tagged form), then the full texts its tag names."""
    text = tree[file]
    block = text[text.index("$QT_BEGIN_LICENSE"):text.index("$QT_END_LICENSE$")].split("\n", 1)[1]
    header = "\n".join(line.lstrip("*#").strip() for line in block.splitlines()).strip() + "\n"
    return header + "".join("\n" + tree[name] for name in TAGS[tag][1])


def member_record(tree: Tree, files: Optional[list[str]], entries: list[Entry]) -> tuple[MemberRecord, dict[str, str]]:
    """What one archive member holds (Qt's tags, third-party components, files of neither, copyright lines),
    and for each tag the file of the member that carries Qt's tagged licence block."""
    record, found = MemberRecord(), set()
    carriers: dict[str, str] = {}
    copyright: dict[str, set[str]] = {}
    for file in (file for file in files or [] if not is_forwarding(tree, file)):
        found.add(file)
        tag, carrier = tag_of(tree, file)
        covering = [entry for entry in entries if covers(entry, file)]
        # Third-party code that no entry names is given every entry of its folder.
        if not covering and not tag:
            covering = [entry for entry in entries if entry["Folder"] == os.path.dirname(file) and "3rdparty" in file]
        if tag and carrier:
            record.licences[file] = TAGS[tag][0]
            record.qt.append(tag)
            if "$QT_BEGIN_LICENSE" in tree[carrier][:HEAD]:
                carriers.setdefault(tag, carrier)
            copyright.setdefault(tag, set()).update(copyrights(tree[carrier]))
        for entry in covering:
            record.licences.setdefault(file, third_party(tree, entry).licence)
            record.third_party.append(entry["Id"])
        if not covering and not tag:
            record.unknown.append(file)
    if files is None:
        record.unknown.append("(no dependency record)")
    record.files, record.qt, record.third_party = sorted(found), sorted(set(record.qt)), sorted(set(record.third_party))
    record.copyright = {tag: sorted(lines) for tag, lines in copyright.items()}
    return record, carriers


def third_party(tree: Tree, entry: Entry) -> ThirdParty:
    # Code placed in the public domain (md4, md5, sha1) has neither an SPDX
    # identifier nor a licence file: it is said so.
    licence_file = os.path.normpath(os.path.join(entry["Folder"], entry.get("LicenseFile", "")))
    return ThirdParty(name=entry["Name"], version=entry.get("Version", ""),
                      licence=entry.get("LicenseId", "LicenseRef-" + entry["License"].replace(" ", "-")),
                      copyright=entry.get("Copyright", ""), homepage=entry.get("Homepage", ""),
                      folder=entry["Folder"], files=entry.get("Files", ""), text=tree[licence_file] if "LicenseFile" in entry
                      else "%s: %s\n" % (entry["License"], entry["Name"]))


def licensing_of(tree: Tree, compiled: dict[str, list[str]], archives: dict[str, list[tuple[str, bytes]]]) -> Licensing:
    """The member table of the archives (by archive name: its members), Qt's tags and the third-party components."""
    entries = attributions(tree)
    table: dict[str, MemberRecord] = {}
    carriers: dict[str, str] = {}
    for archive, contents in archives.items():
        for name, body in contents:
            label = "%s(%s)" % (archive, name)
            record, found = member_record(tree, compiled.get(hashlib.sha256(body).hexdigest()), entries)
            table[label] = record
            for tag, carrier in found.items():
                carriers.setdefault(tag, carrier)
    by_id = {entry["Id"]: entry for entry in entries}
    used = sorted({key for record in table.values() for key in record.third_party})
    return Licensing(table, {tag: TagLicence(TAGS[tag][0], licence_text(tree, file, tag))
                             for tag, file in sorted(carriers.items())},
                     {key: third_party(tree, by_id[key]) for key in used})


def stamp() -> str:
    """What the records depend on besides the toolkit: the code that reads them."""
    here = os.path.dirname(os.path.abspath(__file__))
    digest = hashlib.sha256()
    for name in ("records.py", "model.py"):
        with open(os.path.join(here, name), "rb") as f:
            digest.update(f.read())
    return digest.hexdigest()[:12]


def is_current(share: str) -> bool:
    try:
        return read_text(os.path.join(share, "licensing.stamp")).strip() == stamp()
    except OSError:
        return False


def write_records(source: str, build_tree: Optional[str], prefix: str, share: str) -> None:
    """Writes objects.json (from a build tree just compiled; else the one there is kept) and licensing.json."""
    if build_tree:
        write_text(os.path.join(share, "objects.json"), json.dumps(objects_of(source, build_tree), indent=1,
                                                                    sort_keys=True))
    compiled: dict[str, list[str]] = json.loads(read_text(os.path.join(share, "objects.json")))
    paths = sorted(glob.glob(os.path.join(prefix, "lib", "*.a")))
    archives = {os.path.basename(path): list(members(path)) for path in paths}
    licensing = licensing_of(read_tree(os.path.realpath(source), compiled), compiled, archives)
    write_text(os.path.join(share, "licensing.json"), licensing.to_json())
    write_text(os.path.join(share, "licensing.stamp"), stamp() + "\n")


def load_licensing(share: str) -> Licensing:
    return Licensing.from_json(read_text(os.path.join(share, "licensing.json")))
