# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""Which toolkit members the link took still have code in the file. The
linker takes a member for a symbol it needs; link-time optimisation may then
drop all of the member's code. The evidence comes from a second link, the
same in all but that it keeps its symbols and reports its inlining: the
symbols left in it, the functions its optimiser kept after inlining (its
dump of the call graph, with each function's assembler name), and each
function it inlined into another (GCC's -fopt-info-inline report). A member
counts as dropped only when none of the symbols that it alone defines is
among them (a symbol that several members define, as an inline function of a
header is, counts for them all when none of them counts otherwise); when a
report line names a function that the dump does not, every member that may
have defined it counts as present. Only the members the link took are
owners of a symbol."""
from __future__ import annotations

import re
from dataclasses import dataclass



@dataclass(frozen=True)
class Inlining:
    """One line of the inlining report: a function (by name and call-graph node) inlined into another."""
    callee: str
    callee_node: str
    caller: str
    caller_node: str


@dataclass(frozen=True)
class Symbols:
    """What each toolkit member (by label) defines with code or data of its own, and what it refers to."""
    defined: dict[str, set[str]]
    referenced: dict[str, set[str]]


@dataclass(frozen=True)
class FinalLink:
    """The evidence of the unstripped link: its symbols; the call graph after inlining (node → assembler name, of
    the nodes that still have a body) and the nodes the optimiser reclaimed; the inlining report."""
    symbols: frozenset[str]
    nodes: dict[str, str]
    reclaimed: frozenset[str]
    inlined: tuple[Inlining, ...]


def base(symbol: str) -> str:
    """A symbol without the platform's leading underscores and the optimiser's suffixes (.isra.0, .lto_priv.0)."""
    return symbol.split(".")[0].lstrip("_")


def parse(symbols: str, dump: str, report: str) -> FinalLink:
    """The evidence from nm's listing of the unstripped file, the optimiser's call-graph dump
    (-fdump-ipa-inline-asmname) and its inlining report (-fopt-info-inline-optimized)."""
    nodes: dict[str, str] = {}
    reclaimed: set[str] = set()
    node = None
    for line in dump.splitlines():
        header = re.match(r"^(\S+)/(\d+) \(", line)
        if header:
            node = header
        elif node and line.startswith("  Type: "):
            # A declaration, or a function whose body was removed, holds no code.
            if "definition" in line:
                nodes.setdefault(node.group(2), base(node.group(1)))
            node = None
        elif line.startswith("Reclaiming functions:"):
            reclaimed.update(re.findall(r"/(\d+)", line))
    inlined = tuple(Inlining(m.group(1).strip(), m.group(2), m.group(3).strip(), m.group(4))
                    for line in report.splitlines()
                    for m in [re.search(r"Inlined (.+?)/(\d+) into (.+?)/(\d+)", line)] if m)
    return FinalLink(frozenset(base(line.split()[-1]) for line in symbols.splitlines() if line.split()),
                     nodes, frozenset(reclaimed), inlined)


def archive_symbols(listing: str) -> Symbols:
    """The members' symbols from `gcc-nm -P` of archives (whose plugin reads objects compiled for link-time
    optimisation); weak definitions, which many members carry for the same inline function, are left out."""
    defined: dict[str, set[str]] = {}
    referenced: dict[str, set[str]] = {}
    member = ""
    for line in listing.splitlines():
        header = re.match(r"^(?:.*/)?([^/\[]+)\[(.+)\]:$", line)
        words = line.split()
        if header:
            member = "%s(%s)" % header.groups()
            defined.setdefault(member, set())
            referenced.setdefault(member, set())
        elif member and len(words) >= 2 and words[1] in ("T", "D", "R", "B"):
            defined[member].add(words[0])
        elif member and len(words) >= 2 and words[1] == "U":
            referenced[member].add(words[0])
    return Symbols(defined, referenced)


def names_in(symbol: str) -> set[str]:
    """The source names in a symbol: each <length><name> of a mangled one, or a C symbol itself; a constructor
    or destructor as the optimiser names it (__ct, __dt)."""
    plain = base(symbol)
    if not plain.startswith("Z"):
        return {plain}
    found = {"__ct"} if re.search(r"C[1-4]E", plain) else set()
    found |= {"__dt"} if re.search(r"D[0-4]E", plain) else set()
    position = 0
    while position < len(plain):
        length = re.match(r"[1-9][0-9]*", plain[position:])
        if not length:
            position += 1
            continue
        start = position + len(length.group())
        name = plain[start:start + int(length.group())]
        # A length before a name: the name, then what follows it.
        if re.fullmatch(r"[A-Za-z_]\w*", name):
            found.add(name)
            position = start + len(name)
        else:
            position = start
    return found


def callee_name(name: str) -> str:
    """A report's function name without its clone suffixes (".constprop", ".isra") or a constructor's variant."""
    plain = name.split(".")[0].strip()
    return "__ct" if plain.startswith("__ct") else "__dt" if plain.startswith("__dt") else plain


def present(taken: list[str], symbols: Symbols, link: FinalLink) -> set[str]:
    """The members of `taken` (labels) that have code in the file, or may have."""
    owners: dict[str, set[str]] = {}
    for label in taken:
        for symbol in symbols.defined.get(label, set()):
            owners.setdefault(base(symbol), set()).add(label)
    evidence = set(link.symbols) | set(link.nodes.values())
    found = set()
    for label in taken:
        own = [s for s in symbols.defined.get(label, set()) if len(owners[base(s)]) == 1]
        # A member that defines nothing of its own cannot be told apart: it counts.
        if not own or any(base(s) in evidence for s in own):
            found.add(label)
    # A symbol in the file that only members otherwise dropped define: they all count.
    for symbol in sorted(evidence):
        if len(owners.get(symbol, ())) > 1 and not owners[symbol] & found:
            found |= owners[symbol]
    # A function the dump does not name, inlined where the dump names what it went into: the members that
    # may have defined it are those that define a function of that name which the receiving code refers to.
    into: dict[str, set[str]] = {}
    for line in link.inlined:
        if line.callee_node in link.nodes:
            into.setdefault(line.caller_node, set()).add(link.nodes[line.callee_node])
    for line in link.inlined:
        if line.callee_node in link.nodes or line.callee_node in link.reclaimed:
            continue
        name = callee_name(line.callee)
        family = {owner for symbol in into.get(line.caller_node, set()) | {link.nodes.get(line.caller_node, "")}
                  for owner in owners.get(symbol, set())}
        referred = set().union(*(symbols.referenced.get(member, set()) for member in family)) if family else None
        for label in taken:
            if any(name in names_in(s) and (referred is None or s in referred)
                   for s in symbols.defined.get(label, set())):
                found.add(label)
    return found
