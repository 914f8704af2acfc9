# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The licence policy, in one place: what may be linked into the shipped
file. Every toolkit member's code must be usable under the LGPL-3.0 or a
permissive licence; a member with a file under anything else (such as
GPL-3.0-only) stops the release set with its name and file."""
from license_expression import AND, OR, LicenseSymbol, LicenseWithExceptionSymbol, get_spdx_licensing

SPDX = get_spdx_licensing()
# The LGPL-3.0 and permissive licences.
ALLOWED = {"LGPL-3.0-only", "LGPL-3.0-or-later", "MIT", "BSD-2-Clause", "BSD-3-Clause", "BSL-1.0", "Zlib", "ISC",
           "Apache-2.0", "Unicode-DFS-2015", "Unicode-DFS-2016", "ICU", "CC0-1.0", "LicenseRef-Public-Domain"}


def parse(expression):
    """The expression, checked against SPDX's licence list (LicenseRef- identifiers allowed)."""
    parsed = SPDX.parse(expression, strict=True)
    unknown = [key for key in SPDX.unknown_license_keys(parsed) if not key.startswith("LicenseRef-")]
    if unknown:
        raise ValueError("not an SPDX licence: %s in %s" % (", ".join(unknown), expression))
    return parsed


def isAllowed(node):
    """Whether some choice among the alternatives leaves only allowed licences."""
    if isinstance(node, LicenseWithExceptionSymbol):
        return False
    if isinstance(node, LicenseSymbol):
        return node.key in ALLOWED
    if isinstance(node, OR):
        return any(isAllowed(arg) for arg in node.args)
    if isinstance(node, AND):
        return all(isAllowed(arg) for arg in node.args)
    return False


def refusedMember(row):
    """Why a toolkit member is refused (its first file of a licence that is not allowed), or None."""
    for file, expression in sorted(row.get("licences", {}).items()):
        if not isAllowed(parse(expression)):
            return "%s is under %s, which allows neither LGPL-3.0 nor a permissive licence" % (file, expression)
    return None


def conjunction(expressions):
    """All the expressions at once, as one SPDX expression: their terms joined by AND, each once."""
    terms = []
    for expression in expressions:
        parsed = parse(expression)
        terms.extend(parsed.args if isinstance(parsed, AND) else [parsed])
    unique = list(dict.fromkeys(str(term) for term in terms))
    return " AND ".join("(%s)" % term if " OR " in term else term for term in unique)
