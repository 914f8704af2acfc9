# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The pipeline's modules on the path, and the one helper the tests share."""
import difflib
import os
import sys

PIPELINE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FIXTURES = os.path.join(PIPELINE, "tests", "fixtures")
sys.path.insert(0, PIPELINE)


def write(folder, files):
    """Writes {relative path: text} under `folder`; a (path, old, new) value writes a unified diff of one file."""
    for name, text in files.items():
        if isinstance(text, tuple):
            path, old, new = text
            text = "".join(difflib.unified_diff(old.splitlines(True), new.splitlines(True), "a/" + path, "b/" + path))
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
            f.write(text)
    return str(folder)
