# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The pipeline's data: the toolkit's manifest, an archive member the link
took, what the toolkit's records say of its members and licences, a runtime
package and a component; and the one error the pipeline raises, which main
turns into a message and a status."""
from __future__ import annotations

import dataclasses
import hashlib
import json
import os
from dataclasses import dataclass, field
from typing import Any


class PipelineError(Exception):
    """A fault that stops the pipeline: its message says which input or tool, and why; for a program that
    failed, `lines` holds the last lines it wrote."""

    def __init__(self, message: str, lines: tuple[str, ...] = ()) -> None:
        super().__init__(message)
        self.lines = lines


def read_text(path: str) -> str:
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def write_text(path: str, text: str) -> None:
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)


def sha256_of(path: str) -> str:
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


@dataclass(frozen=True)
class SourceFile:
    name: str
    sha256: str

    @classmethod
    def of(cls, path: str) -> SourceFile:
        return cls(os.path.basename(path), sha256_of(path))


@dataclass(frozen=True)
class SourcePackage:
    """A Debian source package: its .dsc first, then the files the .dsc lists."""
    package: str
    version: str
    files: tuple[SourceFile, ...]

    @property
    def dsc(self) -> SourceFile:
        return next(f for f in self.files if f.name.endswith(".dsc"))


@dataclass(frozen=True)
class Replacement:
    """A Qt file replaced in: the file (taken by its hash), where it comes from, and our patch to it."""
    path: str
    file: SourceFile
    package: str
    version: str
    member: str
    patch: SourceFile


@dataclass(frozen=True)
class Package:
    """A Debian binary package at the version installed."""
    name: str
    version: str


@dataclass(frozen=True)
class Target:
    """What a toolkit is built for: the cross triple (empty: this machine), the modules and the Debian packages
    of the toolchain that compiles and links for it."""
    name: str
    triple: str
    modules: tuple[str, ...]
    tools: tuple[str, ...]


@dataclass(frozen=True)
class Manifest:
    """Every input of a toolkit build; its SHA-256 keys the toolkit's cache."""
    target: Target
    qt: SourcePackage
    patches: tuple[SourceFile, ...]
    replacements: tuple[Replacement, ...]
    configure: tuple[str, ...]
    build_root: str
    toolchain: tuple[Package, ...] = ()

    def to_json(self) -> str:
        return json.dumps(dataclasses.asdict(self), indent=1, sort_keys=True) + "\n"

    @classmethod
    def from_json(cls, text: str) -> Manifest:
        data = json.loads(text)
        target = data["target"]

        def files(items: list[dict[str, str]]) -> tuple[SourceFile, ...]:
            return tuple(SourceFile(**f) for f in items)

        return cls(target=Target(target["name"], target["triple"], tuple(target["modules"]), tuple(target["tools"])),
                   qt=SourcePackage(data["qt"]["package"], data["qt"]["version"], files(data["qt"]["files"])),
                   patches=files(data["patches"]),
                   replacements=tuple(Replacement(**dict(r, file=SourceFile(**r["file"]),
                                                         patch=SourceFile(**r["patch"])))
                                      for r in data["replacements"]),
                   configure=tuple(data["configure"]), build_root=data["build_root"],
                   toolchain=tuple(Package(**p) for p in data["toolchain"]))

    @property
    def key(self) -> str:
        return hashlib.sha256(self.to_json().encode()).hexdigest()[:12]

    def inputs(self) -> list[SourceFile]:
        """Every source file the toolkit is built from, as the release set ships them."""
        return list(self.qt.files) + list(self.patches) + [f for r in self.replacements for f in (r.file, r.patch)]


@dataclass(frozen=True, order=True)
class Member:
    """What the link took: an archive's member, or a plain object (name empty)."""
    path: str
    name: str = ""

    @property
    def label(self) -> str:
        return os.path.basename(self.path) + ("(%s)" % self.name if self.name else "")


@dataclass
class MemberRecord:
    """What a toolkit member holds: its files with their licences, Qt's licence tags and third-party components
    among them, files of neither, and the copyright lines per tag."""
    files: list[str] = field(default_factory=list)
    licences: dict[str, str] = field(default_factory=dict)
    qt: list[str] = field(default_factory=list)
    third_party: list[str] = field(default_factory=list)
    unknown: list[str] = field(default_factory=list)
    copyright: dict[str, list[str]] = field(default_factory=dict)


@dataclass(frozen=True)
class TagLicence:
    """One of Qt's licence tags: its SPDX expression and the text the notices give."""
    licence: str
    text: str


@dataclass(frozen=True)
class ThirdParty:
    """Code bundled with Qt, as its qt_attribution.json describes it."""
    name: str
    version: str
    licence: str
    copyright: str
    homepage: str
    folder: str
    text: str
    files: str = ""


@dataclass(frozen=True)
class Licensing:
    """The toolkit's records: each archive member, Qt's tags and the code bundled with Qt."""
    members: dict[str, MemberRecord]
    qt: dict[str, TagLicence]
    third_party: dict[str, ThirdParty]

    def to_json(self) -> str:
        return json.dumps(dataclasses.asdict(self), indent=1, sort_keys=True) + "\n"

    @classmethod
    def from_json(cls, text: str) -> Licensing:
        data: dict[str, dict[str, Any]] = json.loads(text)
        return cls({label: MemberRecord(**record) for label, record in data["members"].items()},
                   {tag: TagLicence(**entry) for tag, entry in data["qt"].items()},
                   {key: ThirdParty(**entry) for key, entry in data["third_party"].items()})


@dataclass(frozen=True)
class RuntimePackage:
    """The Debian package that holds a runtime archive, as dpkg states it."""
    binary: str
    source: str
    version: str
    built_using: tuple[tuple[str, str], ...] = ()
    copyright: str = ""
    common_licences: str = ""


@dataclass
class Component:
    """A component of the shipped file, with the members that brought it in."""
    key: str
    name: str = ""
    version: str = ""
    licence: str = ""
    supplier: str = ""
    copyright: str = ""
    text: str = ""
    purl: str = ""
    homepage: str = ""
    origin: str = ""
    members: set[str] = field(default_factory=set)
    member_licences: dict[str, str] = field(default_factory=dict)
    copyrights: set[str] = field(default_factory=set)
    changes: set[str] = field(default_factory=set)
    files: list[str] = field(default_factory=list)
    built_using: tuple[tuple[str, str], ...] = ()
    parts: list[Component] = field(default_factory=list)
