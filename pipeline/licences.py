# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The licence policy, in one place: what may be linked into the shipped
file. Every member's code, of the toolkit and of the runtimes alike, must be
usable under the LGPL-3.0, a permissive licence, or the GPL with one of
GCC's two linking exceptions; a member with a file or licence under anything
else (such as GPL-3.0-only) stops the release set with its name."""
from __future__ import annotations

from typing import Any, Iterable, Optional

from license_expression import AND, OR, LicenseSymbol, LicenseWithExceptionSymbol, get_spdx_licensing

from .model import PipelineError

SPDX = get_spdx_licensing()
# The LGPL-3.0 and permissive licences; MinGW-w64's permissive and
# public-domain notices by the names runtime.py gives them (their texts are in
# Debian's copyright file, which the notices carry whole).
ALLOWED = {"LGPL-3.0-only", "LGPL-3.0-or-later", "MIT", "BSD-2-Clause", "BSD-3-Clause", "BSL-1.0", "Zlib", "ISC",
           "Apache-2.0", "Unicode-DFS-2015", "Unicode-DFS-2016", "ICU", "CC0-1.0", "ZPL-2.1",
           "LicenseRef-Public-Domain",
           "LicenseRef-MinGW-w64-public-domain", "LicenseRef-MinGW-w64-Lucent", "LicenseRef-MinGW-w64-David-Gay",
           "LicenseRef-MinGW-w64-Keith-Marshall"}
# GCC's runtime and libiberty's demangler: the GPL with the exception that lets the linked file go under any terms.
ALLOWED_EXCEPTIONS = {("GPL-3.0-or-later", "GCC-exception-3.1"), ("GPL-2.0-or-later", "GCC-exception-2.0")}


def parse(expression: str) -> Any:
    """The expression, checked against SPDX's licence list (LicenseRef- identifiers allowed)."""
    try:
        parsed = SPDX.parse(expression, strict=True)
    except Exception as error:
        raise PipelineError("not an SPDX expression: %s (%s)" % (expression, error)) from None
    unknown = [key for key in SPDX.unknown_license_keys(parsed) if not key.startswith("LicenseRef-")]
    if unknown:
        raise PipelineError("not an SPDX licence: %s in %s" % (", ".join(unknown), expression))
    return parsed


def is_allowed(node: Any) -> bool:
    """Whether some choice among the alternatives leaves only allowed licences."""
    if isinstance(node, LicenseWithExceptionSymbol):
        return (node.license_symbol.key, node.exception_symbol.key) in ALLOWED_EXCEPTIONS
    if isinstance(node, LicenseSymbol):
        return node.key in ALLOWED
    if isinstance(node, OR):
        return any(is_allowed(arg) for arg in node.args)
    if isinstance(node, AND):
        return all(is_allowed(arg) for arg in node.args)
    return False


def refusal(licences: dict[str, str]) -> Optional[str]:
    """Why code under these licences (file or member → expression) is refused, naming the first refused; or None."""
    for name, expression in sorted(licences.items()):
        if not is_allowed(parse(expression)):
            return "%s is under %s, which the licence policy does not allow" % (name, expression)
    return None


def conjunction(expressions: Iterable[str]) -> str:
    """All the expressions at once, as one SPDX expression: their terms joined by AND, each once."""
    terms = []
    for expression in expressions:
        parsed = parse(expression)
        terms.extend(parsed.args if isinstance(parsed, AND) else [parsed])
    unique = list(dict.fromkeys(str(term) for term in terms))
    return " AND ".join("(%s)" % term if " OR " in term else term for term in unique)
