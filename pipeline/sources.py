# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""Source-package entries for apt made from the machine's own binary-package
entries of its Debian release, both forms (deb822 .sources files and one-line
.list files), so that whatever mirror or proxy it uses serves the sources too."""
from __future__ import annotations

import glob
import os
from typing import Iterator, TextIO

from debian.deb822 import Deb822


def codename() -> str:
    with open("/etc/os-release", encoding="utf-8") as f:
        fields = dict(line.rstrip("\n").split("=", 1) for line in f if "=" in line)
    return fields.get("VERSION_CODENAME", "").strip('"')


def from_deb822(paths: list[str], release: str) -> Iterator[Deb822]:
    """Each enabled binary stanza of `release`, not from a disc, as a deb-src stanza."""
    for path in paths:
        with open(path, encoding="utf-8") as f:
            for stanza in Deb822.iter_paragraphs(f):
                # Keys are case-insensitive in deb822 and in python3-debian's lookups.
                suites = stanza.get("Suites", "").split()
                uris = stanza.get("URIs", "").split()
                if ("deb" in stanza.get("Types", "").split() and stanza.get("Enabled", "yes").strip().lower() != "no"
                        and any(s == release or s.startswith(release + "-") for s in suites)
                        and not any(uri.startswith("cdrom:") for uri in uris)):
                    stanza["Types"] = "deb-src"
                    yield stanza


def from_one_line(paths: list[str], release: str) -> Iterator[Deb822]:
    """Each "deb [options] URI SUITE COMPONENT..." line of `release`, not from a disc, as a deb-src stanza."""
    for path in paths:
        with open(path, encoding="utf-8") as f:
            for line in f:
                words = line.split("#", 1)[0].split()
                if not words or words[0] != "deb":
                    continue
                options: dict[str, str] = {}
                if words[1].startswith("["):
                    end = next(i for i, word in enumerate(words) if word.endswith("]"))
                    for option in " ".join(words[1:end + 1]).strip("[]").split():
                        key, _, value = option.partition("=")
                        options[key] = value
                    words = [words[0]] + words[end + 1:]
                uri, suite, components = words[1], words[2], words[3:]
                if (suite == release or suite.startswith(release + "-")) and not uri.startswith("cdrom:"):
                    stanza = Deb822({"Types": "deb-src", "URIs": uri, "Suites": suite,
                                     "Components": " ".join(components)})
                    if "signed-by" in options:
                        stanza["Signed-By"] = options["signed-by"]
                    yield stanza


def write(out: TextIO, etc: str = "/etc/apt", release: str = "") -> None:
    """Each entry as a deb-src stanza; `release`: the Debian release (this machine's unless given)."""
    release = release or codename()
    own = os.path.join(etc, "sources.list.d", "pellimantor-src.sources")
    deb822 = [p for p in sorted(glob.glob(os.path.join(etc, "sources.list.d", "*.sources"))) if p != own]
    lines = [p for p in [os.path.join(etc, "sources.list")]
             + sorted(glob.glob(os.path.join(etc, "sources.list.d", "*.list"))) if os.path.exists(p)]
    stanzas = list(from_deb822(deb822, release)) + list(from_one_line(lines, release))
    out.write("\n".join(str(stanza).rstrip("\n") + "\n" for stanza in stanzas))
