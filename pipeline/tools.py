# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The other programs the pipeline runs (git, dpkg, patch, Qt's configure
and make, CMake, the signer), each through `run`: a program that fails, or
cannot be started, becomes a PipelineError with its command and the last
lines it wrote."""
from __future__ import annotations

import collections
import shlex
import subprocess
import sys
from typing import IO, Optional

from .model import PipelineError

LAST_LINES = 12


def failure(command: list[str], why: str, output: str) -> PipelineError:
    lines = [line for line in output.splitlines() if line.strip()][-LAST_LINES:]
    return PipelineError("%s %s%s" % (shlex.join(command), why, "".join("\n  | " + line for line in lines)))


def run(command: list[str], cwd: Optional[str] = None, env: Optional[dict[str, str]] = None, echo: bool = False,
        stdin: Optional[IO[bytes]] = None, stdout: Optional[IO[bytes]] = None,
        timeout: Optional[float] = None) -> str:
    """What the command writes to its output (unless `stdout` takes it; with its errors when `echo`, which passes
    both on to our standard error as they come, for long builds). Killed when `timeout` seconds pass
    (subprocess.TimeoutExpired)."""
    try:
        if not echo:
            done = subprocess.run(command, cwd=cwd, env=env, stdin=stdin, stdout=stdout or subprocess.PIPE,
                                  stderr=subprocess.PIPE, text=True, errors="replace", timeout=timeout)
            if done.returncode:
                raise failure(command, "failed (status %d):" % done.returncode, (done.stdout or "") + done.stderr)
            return done.stdout or ""
        last: collections.deque[str] = collections.deque(maxlen=LAST_LINES)
        with subprocess.Popen(command, cwd=cwd, env=env, stdin=stdin, stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, text=True, errors="replace") as process:
            assert process.stdout
            try:
                for line in process.stdout:
                    sys.stderr.write(line)
                    last.append(line)
            except BaseException:
                process.kill()
                raise
        if process.returncode:
            raise failure(command, "failed (status %d):" % process.returncode, "".join(last))
        return "".join(last)
    except OSError as error:
        raise PipelineError("%s could not be started: %s" % (shlex.join(command), error.strerror)) from None
