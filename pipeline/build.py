# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The shipped build as one job: its inputs checked before anything is
touched; the build folder claimed (only one that a build made, or an empty
one, and one build in it at a time); the launcher built with CMake against
the toolkit; signed, when asked, under a time limit; its release set made in
a folder of its own and put in place whole. Any failure or interruption
leaves no executable, no release set and no partial signed file; a folder
it refuses keeps what it holds."""
from __future__ import annotations

import contextlib
import fcntl
import glob
import os
import re
import shutil
import signal
import subprocess
import tempfile
from dataclasses import dataclass
from types import FrameType
from typing import Iterator, Optional

from . import release_set
from .model import PipelineError, sha256_of
from .tools import run

MARKER = ".pellimantor-build"
LOCK = ".lock"
STAGING = "release."
# The CMake cache entries that name the toolkit: each is set, so that a build folder follows a rebuilt toolkit.
TOOLKIT_ENTRIES = ("Qt5_DIR={}/lib/cmake/Qt5", "Qt5Core_DIR={}/lib/cmake/Qt5Core")
# The signer's words that say nothing of why it failed: OpenSSL's error stack and its progress.
SIGNER_NOISE = re.compile(r"^$|^[0-9A-F]+:error:|^Failed$|^Connecting to")


@dataclass(frozen=True)
class Signing:
    """The publisher's certificate and key (PKCS#12), its password's file, the timestamp server (or none) and how
    many seconds the signer may take."""
    pkcs12: str
    password_file: str
    timestamp: str
    limit: int


@dataclass(frozen=True)
class Job:
    root: str
    arch: str
    folder: str
    signing: Optional[Signing]
    sources: Optional[str] = None
    signer: str = "osslsigncode"
    cmake: str = "cmake"


@dataclass(frozen=True)
class Result:
    executable: str
    sha256: str
    release: str


class Interrupted(PipelineError):
    pass


def signing_from(pkcs12: str, password_file: str, timestamp: str, limit: str) -> Optional[Signing]:
    """The signing asked for, each input checked; None when neither file is named."""
    if not re.fullmatch(r"[0-9]{1,6}", limit) or int(limit) == 0:
        raise PipelineError("PELLIMANTOR_SIGN_TIME_LIMIT is a number of seconds, at least 1; '%s' is not one; "
                            "nothing was built or removed" % limit)
    if not pkcs12 and not password_file:
        if timestamp:
            raise PipelineError("PELLIMANTOR_SIGN_TIMESTAMP is set, but no PELLIMANTOR_SIGN_PKCS12 to sign with; "
                                "nothing was built or removed")
        return None
    for name, path in (("PELLIMANTOR_SIGN_PKCS12", pkcs12), ("PELLIMANTOR_SIGN_PASSWORD_FILE", password_file)):
        if not path or os.path.isdir(path) or not os.access(path, os.R_OK):
            raise PipelineError("signing needs %s to name a readable file; '%s' is not one; nothing was built or "
                                "removed" % (name, path))
    return Signing(os.path.abspath(pkcs12), os.path.abspath(password_file), timestamp, int(limit))


def on_signal(number: int, frame: Optional[FrameType]) -> None:
    raise Interrupted("interrupted; no executable was left")


def handle_signals() -> None:
    """A termination or a hang-up ends the build as an interruption does: cleaned up."""
    for number in (signal.SIGTERM, signal.SIGHUP):
        signal.signal(number, on_signal)


def refuse_foreign(folder: str) -> None:
    """Stops unless the folder is missing, empty (but for our lock) or one that a build made."""
    if (os.path.isdir(folder) and not os.path.exists(os.path.join(folder, MARKER))
            and set(os.listdir(folder)) - {LOCK}):
        raise PipelineError("%s holds files that no build made; nothing was removed (set "
                            "PELLIMANTOR_WINDOWS_BUILD to a new or empty folder)" % folder)


@contextlib.contextmanager
def claimed(folder: str) -> Iterator[None]:
    """The build folder, held for this build alone: another build in it waits for it, rather than take its files
    away. Only a folder that a build made (its marker) or an empty one is built in; one of anything else keeps
    its files, and no lock of ours."""
    os.makedirs(folder, exist_ok=True)
    lock = os.path.join(folder, LOCK)
    try:
        descriptor, made = os.open(lock, os.O_RDWR | os.O_CREAT | os.O_EXCL | os.O_CLOEXEC, 0o644), True
    except FileExistsError:
        descriptor, made = os.open(lock, os.O_RDWR | os.O_CLOEXEC), False
    try:
        fcntl.flock(descriptor, fcntl.LOCK_EX)
        try:
            refuse_foreign(folder)
        except PipelineError:
            if made:
                os.unlink(lock)
            raise
        open(os.path.join(folder, MARKER), "a").close()
        yield
    finally:
        os.close(descriptor)


def compile_launcher(job: Job, toolkit: str) -> None:
    """Configures and builds the launcher against the toolkit (warnings as errors)."""
    run([job.cmake, "-S", job.root, "-B", job.folder, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=MinSizeRel",
         "-DCMAKE_TOOLCHAIN_FILE=%s" % os.path.join(job.root, "cmake", "mingw.cmake"),
         "-DPELLIMANTOR_MINGW_ARCH=%s" % job.arch, "-DPELLIMANTOR_WERROR=ON",
         *("-D" + entry.format(toolkit) for entry in TOOLKIT_ENTRIES)], echo=True)
    run([job.cmake, "--build", job.folder], echo=True)


def sign(job: Job, signing: Signing, executable: str, work: str) -> None:
    """Signs the executable in place, through a copy in `work`: Authenticode, SHA-256, timestamped if asked."""
    signed = os.path.join(work, "Pellimantor.exe")
    command = [job.signer, "sign", "-pkcs12", signing.pkcs12, "-readpass", signing.password_file, "-h", "sha256",
               *(["-ts", signing.timestamp] if signing.timestamp else []), "-in", executable, "-out", signed]
    try:
        run(command, timeout=signing.limit)
    except Interrupted:
        raise
    except subprocess.TimeoutExpired:
        waited = "the timestamp server " + signing.timestamp if signing.timestamp else "the signer"
        raise PipelineError("signing failed: no answer within %d s (PELLIMANTOR_SIGN_TIME_LIMIT) from %s; no "
                            "executable was left" % (signing.limit, waited)) from None
    except PipelineError as error:
        # The signer's own words, without OpenSSL's error stack.
        words = [line.strip() for line in error.lines if not SIGNER_NOISE.match(line.strip())]
        raise PipelineError("signing failed: %s; no executable was left"
                            % ("; ".join(words) or str(error).split("\n")[0])) from None
    shutil.copymode(executable, signed)
    os.replace(signed, executable)


def remove_outputs(folder: str, executable: str, release_folder: str) -> None:
    """The executable, the release set and any staging folder (one left by a build killed outright included: the
    folder is held, so no build is using it)."""
    shutil.rmtree(release_folder, ignore_errors=True)
    for staging in glob.glob(os.path.join(glob.escape(folder), STAGING + "*")):
        shutil.rmtree(staging, ignore_errors=True)
    with contextlib.suppress(FileNotFoundError):
        os.unlink(executable)


def release(job: Job, toolkit: str) -> Result:
    """The executable built (and signed), with its release set beside it in release/."""
    executable = os.path.join(job.folder, "launcher", "Pellimantor.exe")
    folder = os.path.join(job.folder, "release")
    with claimed(job.folder):
        # No earlier executable or release set stands at the output paths from here on.
        remove_outputs(job.folder, executable, folder)
        try:
            with tempfile.TemporaryDirectory(prefix=STAGING, dir=job.folder) as work:
                compile_launcher(job, toolkit)
                unsigned = sha256_of(executable)
                if job.signing:
                    sign(job, job.signing, executable, work)
                signed = sha256_of(executable) if job.signing else ""
                staged = os.path.join(work, "release")
                release_set.write(release_set.Inputs(job.root, toolkit, job.folder, unsigned, signed, job.sources),
                                  staged)
                os.rename(staged, folder)
            return Result(executable, signed or unsigned, folder)
        except BaseException:
            # A second signal would cut the clean-up short: none is taken until it is done.
            blocked = signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT, signal.SIGTERM, signal.SIGHUP})
            remove_outputs(job.folder, executable, folder)
            signal.pthread_sigmask(signal.SIG_SETMASK, blocked)
            raise
