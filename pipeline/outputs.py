# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The notices and the bill of materials (CycloneDX 1.5) from the
components, computing only. Every file of the release set but the bill of
materials itself is named by a reference with its SHA-256; a file that none
names stops it."""
from __future__ import annotations

import json
import re
import time as clock
import uuid
from dataclasses import dataclass
from typing import Any, Callable

from .components import RUNTIME, purl
from .model import Component, Licensing, Manifest, PipelineError

Json = dict[str, Any]
Refer = Callable[..., list[Json]]


@dataclass(frozen=True)
class Application:
    """The shipped file: its source commit and time, version, SHA-256 unsigned and signed, whole licence."""
    commit: str
    time: int
    version: str
    unsigned: str
    signed: str
    licence: str


def patch_date(text: str) -> str:
    """The date a patch's header gives (a "Date:" line before its first change); "undated" if none."""
    found = re.search(r"^Date: *(\S.*?)\s*$", text.split("\n--- ", 1)[0], re.M)
    return found.group(1) if found else "undated"


def notices(keys: list[str], found: dict[str, Component], whole: str, recipe: Manifest, dates: dict[str, str],
            dropped: list[str], licensing: Licensing) -> str:
    """NOTICES.txt; `dates`: each patch's date by name; `dropped`: the toolkit members the link took whose code
    the optimiser then dropped whole."""
    rule = "=" * 78
    text = ["Pellimantor.exe: notices", rule, "",
            "Pellimantor.exe holds the code of the components below, as its link took them.",
            "Each is listed with its version, copyright and full licence text. The source",
            "of the launcher and the corresponding source of the Qt toolkit inside it, with",
            "our changes to it and how to rebuild both, are in the folder source/.", "",
            "The file as a whole is under all of these licences at once:", "  " + whole, ""]
    entries = [part for key in keys for part in (found[key].parts or [found[key]])]
    for number, entry in enumerate(entries, 1):
        text += [rule, "%d. %s" % (number, entry.name), "   Version: %s" % entry.version,
                 "   Licence: %s" % entry.licence, "   Supplier: %s" % entry.supplier]
        if entry.homepage:
            text.append("   Home page: %s" % entry.homepage)
        if entry.changes:
            text.append("   Modified by us: " + ", ".join("source/%s (%s)" % (name, dates.get(name, "undated"))
                                                      for name in sorted(entry.changes)))
        text += ["   Replaced by us: %s, with Qt %s's file, %s of %s %s (source/%s), adapted by source/%s"
                 % (r.path, r.version.split("+")[0], r.member, r.package, r.version, r.file.name, r.patch.name)
                 for r in recipe.replacements if r.patch.name in entry.changes]
        if entry.purl:
            text.append("   Package: %s" % entry.purl)
        if entry.member_licences:
            by_licence: dict[str, list[str]] = {}
            for member, licence in sorted(entry.member_licences.items()):
                by_licence.setdefault(licence, []).append(member)
            text += ["   Linked from, under %s: %s" % (licence, ", ".join(members))
                     for licence, members in sorted(by_licence.items())]
        else:
            text.append("   Linked from: " + ", ".join(sorted(entry.members)))
        text += ["", entry.copyright, "", entry.text.rstrip(), ""]
    if dropped:
        text += [rule, "Taken by the link, then dropped whole by its optimisation, so that none of their code is",
                 "in the file (and none of what they hold is listed above for them):", ""]
        for label in dropped:
            record = licensing.members.get(label)
            held = sorted({licensing.third_party[key].name for key in record.third_party} if record else set())
            text.append("  %s%s" % (label, ": " + ", ".join(held) if held else ""))
        text.append("")
    return "\n".join(text) + "\n"


def rebuild(template: str, commit: str, recipe: Manifest, whole: str) -> str:
    """REBUILD.txt from its template: the commit, Qt's version, the whole file's licences and the toolchain."""
    tools = "".join("     %-36s %s\n" % (p.name, p.version) for p in recipe.toolchain)
    return (template.replace("@COMMIT@", commit).replace("@QT@", recipe.qt.version).replace("@WHOLE@", whole)
            .replace("@TOOLCHAIN@\n", tools))


class References:
    """References to files of the release set (paths relative to it), each with the file's SHA-256."""

    def __init__(self, hashes: dict[str, str]) -> None:
        self.hashes, self.named = hashes, set[str]()

    def __call__(self, names: list[str], kind: str = "distribution", folder: str = "source/") -> list[Json]:
        found = []
        for name in names:
            if folder + name not in self.hashes:
                raise PipelineError("the bill of materials names %s, which the release set does not hold" % name)
            self.named.add(folder + name)
            found.append({"type": kind, "url": folder + name,
                          "hashes": [{"alg": "SHA-256", "content": self.hashes[folder + name]}]})
        return found


def pedigree(entry: Component, recipe: Manifest, refer: Refer, replaced: dict[str, str]) -> Json:
    """Where a component came from: Qt for what is bundled with it; our patches and the files replaced in
    (`replaced`: each one's licence, by file name)."""
    ancestors: list[Json] = []
    if entry.origin:
        ancestors.append({"type": "library", "name": "Qt 5 (qtbase)", "version": recipe.qt.version,
                          "purl": entry.origin})
    for item in (r for r in recipe.replacements if r.patch.name in entry.changes):
        ancestors.append({"type": "file", "name": item.file.name, "version": item.version,
                          "purl": purl("deb/debian", item.package, item.version, "?arch=source",
                                       item.member.split("/", 1)[1]),
                          "hashes": [{"alg": "SHA-256", "content": item.file.sha256}],
                          "licenses": [{"expression": replaced[item.file.name]}],
                          "externalReferences": refer([item.file.name]),
                          "description": "%s of %s %s, in place of Qt 5's %s"
                                         % (item.member, item.package, item.version, item.path)})
    # A runtime built from another source package's code (GCC's from gcc-12) names it.
    ancestors += [{"type": "library", "name": name, "version": version,
                   "purl": purl("deb/debian", name, version, "?arch=source")} for name, version in entry.built_using]
    found: Json = {"ancestors": ancestors} if ancestors else {}
    if entry.changes:
        found["patches"] = [{"type": "unofficial", "diff": {"url": "source/" + name}} for name in sorted(entry.changes)]
    return found


def bom_component(entry: Component, recipe: Manifest, refer: Refer, replaced: dict[str, str]) -> Json:
    item: Json = {"type": "library", "bom-ref": entry.key, "name": entry.name, "version": entry.version,
            "supplier": {"name": entry.supplier}, "licenses": [{"expression": entry.licence}]}
    if entry.purl:
        item["purl"] = entry.purl
    if entry.copyright and entry.key not in RUNTIME:
        item["copyright"] = entry.copyright
    if entry.files:
        item["externalReferences"] = refer(entry.files)
    found = pedigree(entry, recipe, refer, replaced)
    if found:
        item["pedigree"] = found
    if entry.parts:
        item["components"] = [bom_component(part, recipe, refer, replaced) for part in entry.parts]
    else:
        item["properties"] = [{"name": "pellimantor:linked-from", "value": m + (" (%s)" % entry.member_licences[m]
                                                                                if m in entry.member_licences else "")}
                              for m in sorted(entry.members)]
    return item


def formulation(recipe: Manifest) -> list[Json]:
    """How the file was made: the toolchain's Debian packages, as the components of its formula."""
    return [{"bom-ref": "formula", "components": [
        {"type": "application", "bom-ref": "toolchain:" + p.name, "name": p.name, "version": p.version,
         "purl": purl("deb/debian", p.name, p.version)} for p in recipe.toolchain]}]


def bill_of_materials(keys: list[str], found: dict[str, Component], app: Application, recipe: Manifest,
                      hashes: dict[str, str], replaced: dict[str, str], dropped: list[str]) -> str:
    """The bill of materials; `hashes`: every file of the release set but itself, by path, with its SHA-256;
    `replaced`: the licence of each file replaced into Qt, by file name; `dropped`: the toolkit members taken
    whose code the optimiser dropped whole."""
    refer = References(hashes)
    properties = [{"name": "pellimantor:source-commit", "value": app.commit},
                  {"name": "pellimantor:sha256-unsigned", "value": app.unsigned}]
    if app.signed:
        properties.append({"name": "pellimantor:sha256-signed", "value": app.signed})
    properties += [{"name": "pellimantor:dropped-member", "value": label} for label in dropped]
    top = [key for key in keys if key != "pellimantor"]
    metadata = {"type": "application", "bom-ref": "pellimantor", "name": "Pellimantor.exe", "version": app.version,
                "supplier": {"name": "The Pellimantor developers"}, "licenses": [{"expression": app.licence}],
                # The hash of the file in the set: the signed one, once signed.
                "hashes": [{"alg": "SHA-256", "content": app.signed or app.unsigned}], "properties": properties,
                "externalReferences": refer(["Pellimantor.exe"], folder="") + refer(["NOTICES.txt"], "license", "")
                + refer(found["pellimantor"].files) + refer(["REBUILD.txt"], "documentation")
                + refer(["manifest.json", "configure-options"], "build-meta")}
    bom: Json = {
        "bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
        "serialNumber": uuid.uuid5(uuid.NAMESPACE_URL, "pellimantor:%s:%s:%s" % (app.commit, app.unsigned,
                                                                               app.signed)).urn,
        "metadata": {"timestamp": clock.strftime("%Y-%m-%dT%H:%M:%SZ", clock.gmtime(app.time)), "component": metadata},
        "components": [bom_component(found[key], recipe, refer, replaced) for key in top],
        "dependencies": [{"ref": "pellimantor", "dependsOn": top}] + [{"ref": key, "dependsOn": []} for key in top],
        "formulation": formulation(recipe),
    }
    purls = [c["purl"] for item in bom["components"] for c in [item, *item.get("components", [])] if "purl" in c]
    shared = sorted({p for p in purls if purls.count(p) > 1})
    if shared:
        raise PipelineError("components that share a package URL: " + ", ".join(shared))
    unnamed = sorted(set(hashes) - refer.named)
    if unnamed:
        raise PipelineError("files of the release set that the bill of materials does not name: " + ", ".join(unnamed))
    return json.dumps(bom, indent=1, ensure_ascii=False) + "\n"
