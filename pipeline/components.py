# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""From the link to the components, computing only: the link map gives the
members and objects the link took; each is ours (from the build folder), the
toolkit's (its record, records.py) or a runtime library's (the Debian
package that holds it, runtime.py); each component is then described. A
line of the map that is not understood, a member that maps to no component,
or one whose licence the policy refuses stops it with its name."""
import os
import re
import urllib.parse
from dataclasses import dataclass, field

import licences
import runtime
from model import Component, Member, PipelineError

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
    path, MinGW-w64's source file list and copyright file, and the Qt files our changes touch."""
    build: str
    toolkit: str
    licensing: dict
    packages: dict = field(default_factory=dict)
    mingw_files: list = field(default_factory=list)
    mingw_copyright: object = None
    changed: dict = field(default_factory=dict)


def link_map(text, build):
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
        if member or loaded:
            path = os.path.realpath(os.path.join(build, (member or loaded).group(1)))
            taken.add(Member(path, member.group(2) if member else ""))
    return sorted(taken)


def changed_files(recipe, patch_texts):
    """The Qt source files our patches change or replace, each with the names of the patches."""
    changed = {}
    for item in recipe.replacements:
        changed.setdefault(item.path, set()).add(item.patch.name)
    for patch in recipe.patches:
        for path in re.findall(r"^\+\+\+ [ab]/(\S+)", patch_texts[patch.name], re.M):
            changed.setdefault(path, set()).add(patch.name)
    return changed


def runtime_licence(member, package, link):
    """A runtime member's licence, or None when it is not known (a plain object stands for itself)."""
    archive = os.path.basename(member.path)
    if package.source == "gcc-mingw-w64":
        return runtime.gcc_licence(member.name or archive, archive)
    return runtime.mingw_licence(member.name or archive, archive, link.mingw_files, link.mingw_copyright)


def components(members, link):
    """Components by key ("qt" with a part per licence tag), each with the members that brought it in."""
    found, unknown, qt_parts = {}, [], {}

    def component(key, parts=found):
        return parts.setdefault(key, Component(key))

    for member in members:
        if member.path.startswith(link.toolkit + "/"):
            # The toolkit first: it may lie inside the build folder.
            record = link.licensing["members"].get(member.label)
            refused = licences.refusal(record.licences) if record else None
            if not record or record.unknown or not record.qt + record.third_party or refused:
                why = refused or (", ".join(record.unknown) or "no file of a known licence") if record else None
                unknown.append("%s: %s" % (member.label, why or "not in the toolkit's records"))
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
        patches = set().union(*link.changed.values())
        credited = set().union(*(entry.changes for entry in [*qt_parts.values(), *found.values()]))
        for part in qt_parts.values():
            part.changes |= patches - credited
        found["qt"] = Component("qt", parts=[qt_parts[key] for key in sorted(qt_parts)], changes=patches)
    return found


def purl(kind, name, version, qualifiers="", subpath=""):
    """A package URL, its version percent-encoded as the purl rules ask."""
    return "pkg:%s/%s%s%s%s" % (kind, name, "@" + urllib.parse.quote(version, safe=".-_~") if version else "",
                                qualifiers, "#" + subpath if subpath else "")


def plain_version(text):
    """The version in what qt_attribution.json says of one ("d4e2..., fetched on 2021-06-11", "<url> commit <hash>")."""
    text = text.strip()
    if re.fullmatch(r"v?\d[\w.+-]*", text):
        return text
    found = re.search(r"\b[0-9a-f]{7,40}\b", text) or re.search(r"\bv?\d[\w.+-]*", text)
    return found.group(0) if found else ""


def fill(entry, **fields):
    for name, value in fields.items():
        setattr(entry, name, value)


def describe(found, recipe, licensing, ours, packages):
    """Names, versions, licences, suppliers, texts, purls and shipped source files of the components. `ours`:
    the launcher's version and licence text; `packages`: each runtime's RuntimePackage by source name."""
    qt = recipe.qt
    qt_purl = purl("deb/debian", qt.package, qt.version, "?arch=source")
    qt_files = [f.name for f in recipe.inputs()]
    for key, entry in found.items():
        if key == "pellimantor":
            fill(entry, name="Pellimantor release launcher", version=ours["version"], licence="MIT", text=ours["text"],
                 supplier="The Pellimantor developers", copyright="Copyright (c) 2026 The Pellimantor developers",
                 files=["launcher.tar"])
        elif key == "qt":
            for part in entry.parts:
                tag = licensing["qt"][part.key[3:]]
                fill(part, name="Qt 5 (qtbase), %s parts" % part.key[3:], version=qt.version, licence=tag["licence"],
                     text=tag["text"], supplier="The Qt Company (as packaged by Debian)",
                     copyright="\n".join("Copyright (C) " + line for line in sorted(part.copyrights)))
            fill(entry, name="Qt 5 (qtbase)", version=qt.version, purl=qt_purl, files=qt_files,
                 supplier=entry.parts[0].supplier, licence=licences.conjunction(part.licence for part in entry.parts))
        elif key in RUNTIME:
            package = packages[key]
            fill(entry, name=RUNTIME[key], version=package.version, supplier="Debian",
                 text=package.copyright + package.common_licences
                 + "".join(sorted({runtime.licence_text(e) for e in entry.member_licences.values()})),
                 licence=licences.conjunction(sorted(set(entry.member_licences.values()))),
                 purl=purl("deb/debian", key, package.version, "?arch=source"), built_using=package.built_using,
                 copyright="See the package's copyright file below.",
                 files=[name for name in ours["runtime_files"] if name.startswith(key + "_")])
        else:
            party = licensing["third_party"][key]
            # Code bundled with Qt that states no version of its own is as Qt's package holds it; its purl is
            # that package's, with the component's folder in it.
            fill(entry, name=party["name"], licence=party["licence"], copyright=party["copyright"], text=party["text"],
                 version=plain_version(party["version"]) or qt.version, homepage=party["homepage"],
                 supplier="Bundled with Qt (%s)" % party["folder"], origin=qt_purl, files=qt_files,
                 purl=purl("deb/debian", qt.package, qt.version, "?arch=source", party["folder"]))
        licences.parse(entry.licence)


def order(found):
    """Ours first, then Qt, the code bundled with it, and the runtimes."""
    return (["pellimantor"] + [k for k in ["qt"] if k in found]
            + sorted(k for k in found if k not in ("pellimantor", "qt") and k not in RUNTIME)
            + sorted(k for k in found if k in RUNTIME))
