# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The one helper the tests share, and where their fixtures lie."""
from __future__ import annotations

import difflib
import os
from pathlib import Path
from typing import Union

FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures")


def write(folder: Union[str, Path], files: dict[str, Union[str, tuple[str, str, str]]]) -> str:
    """Writes {relative path: text} under `folder`; a (path, old, new) value writes a unified diff of one file."""
    for name, text in files.items():
        if isinstance(text, tuple):
            path, old, new = text
            text = "".join(difflib.unified_diff(old.splitlines(True), new.splitlines(True), "a/" + path, "b/" + path))
        os.makedirs(os.path.dirname(os.path.join(folder, name)), exist_ok=True)
        with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
            f.write(text)
    return str(folder)
