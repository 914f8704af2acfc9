# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The other programs the pipeline runs (git, dpkg, patch, Qt's configure
and make, CMake, the signer), each through `run`: a program that fails, or
cannot be started, becomes a PipelineError with its command and the last
lines it wrote."""
from __future__ import annotations

import collections
import contextlib
import os
import shlex
import signal
import subprocess
import sys
from typing import IO, Optional

from .model import PipelineError

LAST_LINES = 12


def failure(command: list[str], why: str, output: str) -> PipelineError:
    lines = tuple(line for line in output.splitlines() if line.strip())[-LAST_LINES:]
    return PipelineError("%s %s%s" % (shlex.join(command), why, "".join("\n  | " + line for line in lines)), lines)


def run(command: list[str], cwd: Optional[str] = None, env: Optional[dict[str, str]] = None, echo: bool = False,
        stdin: Optional[IO[bytes]] = None, stdout: Optional[IO[bytes]] = None,
        timeout: Optional[float] = None) -> str:
    """What the command writes to its output (unless `stdout` takes it; with its errors when `echo`, which passes
    both on to our standard error as they come, for long builds). Killed when `timeout` seconds pass
    (subprocess.TimeoutExpired)."""
    # In a process group of its own, so that whatever ends the run early ends all it started too (a
    # compiler that the build tool started), before anything is cleaned up.
    try:
        process = subprocess.Popen(command, cwd=cwd, env=env, stdin=stdin, stdout=stdout or subprocess.PIPE,
                                   stderr=subprocess.PIPE if not echo else subprocess.STDOUT, text=True,
                                   errors="replace", start_new_session=True)
    except OSError as error:
        raise PipelineError("%s could not be started: %s" % (shlex.join(command), error.strerror)) from None
    last: collections.deque[str] = collections.deque(maxlen=LAST_LINES)
    try:
        if echo:
            assert process.stdout
            for line in process.stdout:
                sys.stderr.write(line)
                last.append(line)
            process.wait()
            output = errors = "".join(last)
        else:
            output, errors = process.communicate(timeout=timeout)
            errors = (output or "") + errors
    except BaseException:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        raise
    finally:
        for stream in (process.stdout, process.stderr):
            if stream:
                stream.close()
    if process.returncode:
        raise failure(command, "failed (status %d):" % process.returncode, errors)
    return output or ""
