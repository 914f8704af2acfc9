# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""From the link to the components, computing only: the link map gives the
members and objects the link took; each is ours (from the build folder), the
toolkit's (its record, records.py) or a runtime library's (the Debian
package that holds it, runtime.py); each component is then described. A
line of the map that is not understood, a member that maps to no component,
or one whose licence the policy refuses stops it with its name."""
from __future__ import annotations

import os
import re
import urllib.parse
from dataclasses import dataclass, field, replace
from typing import Iterable, Optional

from debian.copyright import Copyright

from . import licences, runtime
from .model import Component, Licensing, Manifest, Member, PipelineError, RuntimePackage

# Runtime libraries by Debian source package (the notices carry the package's
# whole copyright file, which holds the texts of the LicenseRef- parts).
RUNTIME = {
    "gcc-mingw-w64": "GCC runtime libraries (libgcc, libstdc++)",
    "mingw-w64": "MinGW-w64 runtime (start-up code, libmingw32, libmingwex, winpthreads, import libraries)",
}


# An object the link-time optimiser compiled during the link: GCC's temporary file name (ccXXXXXX).
LTRANS = re.compile(r"(^|/)cc[A-Za-z0-9]{6}\.ltrans[0-9]+\.ltrans\.o$")


@dataclass
class Link:
    """What the components are found from: the folders, the toolkit's records, the runtime packages by archive
    path, MinGW-w64's source file list and copyright file, the Qt files our changes touch (each with the
    patches), and the toolkit members taken whose code the optimiser then dropped whole."""
    build: str
    toolkit: str
    licensing: Licensing
    packages: dict[str, RuntimePackage] = field(default_factory=dict)
    mingw_files: list[str] = field(default_factory=list)
    mingw_copyright: Optional[Copyright] = None
    changed: dict[str, set[str]] = field(default_factory=dict)
    dropped: set[str] = field(default_factory=set)


@dataclass(frozen=True)
class Ours:
    """The launcher's version and licence text, and the runtime files the release set ships."""
    version: str
    text: str
    runtime_files: list[str]


def link_map(text: str, build: str) -> list[Member]:
    """The members and objects the link took (relative paths are the build folder's)."""
    taken, first = set(), True
    for line in text.splitlines():
        first = first and not line.startswith(("Discarded input sections", "Memory Configuration"))
        member = re.match(r"^(\S.*?\.a)\(([^()]+)\)(\s|$)", line) if first else None
        loaded = re.match(r"^LOAD (.+)$", line)
        if first and not member and re.match(r"^\S.*\.a\(", line):
            raise PipelineError("a line of the link map that names no archive member it understands: " + line)
        # Archives are listed member by member; "dll stuff" is the linker's own import section; the
        # link-time optimiser's own objects are compiled from the members and objects listed.
        if loaded and (loaded.group(1).endswith(".a") or loaded.group(1) == "dll stuff"
                       or LTRANS.search(loaded.group(1))):
            continue
        if member:
            taken.add(Member(os.path.realpath(os.path.join(build, member.group(1))), member.group(2)))
        elif loaded:
            taken.add(Member(os.path.realpath(os.path.join(build, loaded.group(1)))))
    return sorted(taken)


def changed_files(recipe: Manifest, patch_texts: dict[str, str]) -> dict[str, set[str]]:
    """The Qt source files our patches change or replace, each with the names of the patches (applied with -p1,
    so the first folder of each path is dropped); a patch whose files are not told is under "", as Qt's."""
    changed: dict[str, set[str]] = {}
    for item in recipe.replacements:
        changed.setdefault(item.path, set()).add(item.patch.name)
    for patch in recipe.patches:
        paths = re.findall(r"^\+\+\+ [^/\s]+/(\S+)", patch_texts[patch.name], re.M)
        for path in paths or [""]:
            changed.setdefault(path, set()).add(patch.name)
    return changed


def runtime_licence(member: Member, package: RuntimePackage, link: Link) -> Optional[str]:
    """A runtime member's licence, or None when it is not known (a plain object stands for itself)."""
    archive = os.path.basename(member.path)
    if package.source == "gcc-mingw-w64":
        return runtime.gcc_licence(member.name or archive, archive)
    if not link.mingw_copyright:
        return None
    return runtime.mingw_licence(member.name or archive, archive, link.mingw_files, link.mingw_copyright)


def components(members: list[Member], link: Link) -> dict[str, Component]:
    """Components by key ("qt" with a part per licence tag), each with the members that brought it in; a toolkit
    member whose code was dropped whole brings none in, though the licence policy holds for it too."""
    found: dict[str, Component] = {}
    qt_parts: dict[str, Component] = {}
    unknown: list[str] = []

    def component(key: str, parts: dict[str, Component] = found) -> Component:
        return parts.setdefault(key, Component(key))

    for member in members:
        if member.path.startswith(link.toolkit + "/"):
            # The toolkit first: it may lie inside the build folder.
            record = link.licensing.members.get(member.label)
            refused = licences.refusal(record.licences) if record else None
            if not record or record.unknown or not record.qt + record.third_party or refused:
                why = refused or (", ".join(record.unknown) or "no file of a known licence") if record else None
                unknown.append("%s: %s" % (member.label, why or "not in the toolkit's records"))
                continue
            if member.label in link.dropped:
                continue
            entries = [component("qt-" + tag, qt_parts) for tag in record.qt]
            entries += [component(key) for key in record.third_party]
            for entry in entries:
                entry.members.add(member.label)
                for file in record.files:
                    entry.changes.update(link.changed.get(file, ()))
            for tag in record.qt:
                qt_parts["qt-" + tag].copyrights.update(record.copyright[tag])
        elif member.path.startswith(link.build + "/"):
            component("pellimantor").members.add(member.label)
        else:
            package = link.packages.get(member.path)
            if not package or package.source not in RUNTIME:
                unknown.append("%s: from %s, a package of no known component"
                               % (member.label, package.binary if package else "no Debian package"))
                continue
            licence = runtime_licence(member, package, link)
            refused = licences.refusal({member.label: licence}) if licence else None
            if not licence or refused:
                unknown.append(refused or "%s: no licence known for it in %s" % (member.label, package.source))
                continue
            entry = component(package.source)
            entry.members.add(member.label)
            entry.member_licences[member.label] = licence
    if unknown:
        raise PipelineError("no component known, or a licence refused, for what the link took:\n  "
                            + "\n  ".join(sorted(unknown)))
    if qt_parts:
        # Each patch of ours changes Qt's tree or code it carries: all are Qt's. One that changes
        # only Qt's build files (corelib.pro), which no member records, shapes every part.
        patches: set[str] = set().union(*link.changed.values())
        credited: set[str] = set().union(*(entry.changes for entry in [*qt_parts.values(), *found.values()]))
        for part in qt_parts.values():
            part.changes |= patches - credited
        found["qt"] = Component("qt", parts=[qt_parts[key] for key in sorted(qt_parts)], changes=patches)
    return found


def purl(kind: str, name: str, version: str, qualifiers: str = "", subpath: str = "") -> str:
    """A package URL, its version percent-encoded as the purl rules ask."""
    return "pkg:%s/%s%s%s%s" % (kind, name, "@" + urllib.parse.quote(version, safe=".-_~") if version else "",
                                qualifiers, "#" + subpath if subpath else "")


def plain_version(text: str) -> str:
    """The version in what qt_attribution.json says of one ("d4e2..., fetched on 2021-06-11", "<url> commit <hash>")."""
    text = text.strip()
    if re.fullmatch(r"v?\d[\w.+-]*", text):
        return text
    found = re.search(r"\b[0-9a-f]{7,40}\b", text) or re.search(r"\bv?\d[\w.+-]*", text)
    return found.group(0) if found else ""


def describe(found: dict[str, Component], recipe: Manifest, licensing: Licensing, ours: Ours,
             packages: dict[str, RuntimePackage]) -> dict[str, Component]:
    """The components with their names, versions, licences, suppliers, texts, purls and shipped source files;
    `packages`: each runtime's RuntimePackage by source name. Code bundled with Qt in a folder that holds more
    than one component is told apart in its purl by its first file."""
    qt = recipe.qt
    qt_purl = purl("deb/debian", qt.package, qt.version, "?arch=source")
    qt_files = [f.name for f in recipe.inputs()]
    folders = [licensing.third_party[key].folder for key in found if key in licensing.third_party]
    described = {}
    for key, entry in found.items():
        if key == "pellimantor":
            entry = replace(entry, name="Pellimantor release launcher", version=ours.version, licence="MIT",
                            text=ours.text, supplier="The Pellimantor developers",
                            copyright="Copyright (c) 2026 The Pellimantor developers", files=["launcher.tar"])
        elif key == "qt":
            parts = [replace(part, name="Qt 5 (qtbase), %s parts" % part.key[3:], version=qt.version,
                             licence=licensing.qt[part.key[3:]].licence, text=licensing.qt[part.key[3:]].text,
                             supplier="The Qt Company (as packaged by Debian)",
                             copyright="\n".join("Copyright (C) " + line for line in sorted(part.copyrights)))
                     for part in entry.parts]
            entry = replace(entry, name="Qt 5 (qtbase)", version=qt.version, purl=qt_purl, files=qt_files,
                            parts=parts, supplier=parts[0].supplier,
                            licence=licences.conjunction(part.licence for part in parts))
        elif key in RUNTIME:
            package = packages[key]
            entry = replace(entry, name=RUNTIME[key], version=package.version, supplier="Debian",
                            text=package.copyright + package.common_licences
                            + "".join(sorted({runtime.licence_text(e) for e in entry.member_licences.values()})),
                            licence=licences.conjunction(sorted(set(entry.member_licences.values()))),
                            purl=purl("deb/debian", key, package.version, "?arch=source"),
                            built_using=package.built_using, copyright="See the package's copyright file below.",
                            files=[name for name in ours.runtime_files if name.startswith(key + "_")])
        else:
            party = licensing.third_party[key]
            subpath = party.folder + ("/" + party.files.split()[0] if folders.count(party.folder) > 1 and party.files
                                      else "")
            # Code bundled with Qt that states no version of its own is as Qt's package holds it; its purl is
            # that package's, with the component's folder (or file) in it.
            entry = replace(entry, name=party.name, licence=party.licence, copyright=party.copyright,
                            text=party.text, version=plain_version(party.version) or qt.version,
                            homepage=party.homepage, supplier="Bundled with Qt (%s)" % party.folder, origin=qt_purl,
                            files=qt_files, purl=purl("deb/debian", qt.package, qt.version, "?arch=source", subpath))
        licences.parse(entry.licence)
        described[key] = entry
    return described


def order(found: Iterable[str]) -> list[str]:
    """Ours first, then Qt, the code bundled with it, and the runtimes."""
    return (["pellimantor"] + [k for k in ["qt"] if k in found]
            + sorted(k for k in found if k not in ("pellimantor", "qt") and k not in RUNTIME)
            + sorted(k for k in found if k in RUNTIME))
