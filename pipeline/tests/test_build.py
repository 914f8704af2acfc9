# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The shipped build as a job, with a stand-in CMake and signer: inputs checked first, the folder claimed,
every failure and interruption cleaned up."""
from __future__ import annotations

import dataclasses
import os
import signal
import threading
import time
from pathlib import Path
from typing import Optional

import pytest

from .. import build, release_set
from ..model import PipelineError
from .conftest import write

CMAKE = """#!/bin/sh
# Configures nothing; a build writes the executable, noting when it starts and ends. Interrupted, one that
# lingers would still write it a moment later, from a program it started.
[ "$1" = --build ] || exit 0
[ "$FAKE_SIGNER" != linger ] || { (sleep 0.3; mkdir -p "$2/launcher"; echo late >"$2/launcher/Pellimantor.exe") &
                                  kill -TERM $PPID; exec sleep 5; }
echo start >>"$2/builds.log"; sleep 0.2; echo end >>"$2/builds.log"
mkdir -p "$2/launcher" && printf 'MZ built' >"$2/launcher/Pellimantor.exe" && chmod 750 "$2/launcher/Pellimantor.exe"
"""
# As osslsigncode fails: its words, OpenSSL's error stack, a partial output.
SIGNER = """#!/bin/sh
for a; do case $prev in -in) in=$a;; -out) out=$a;; esac; prev=$a; done
case $FAKE_SIGNER in
ok) cat "$in" >"$out"; printf ' signed' >>"$out";;
password) printf x >"$out"; echo 'Failed to parse PKCS#12 file'; echo '40E7:error:11800071:PKCS12 routines:mac verify failure'
          echo Failed; exit 1;;
timestamp) echo 'Connecting to http://127.0.0.1:9'; echo 'Failed to send the timestamp request'; exit 1;;
hang) exec sleep 30;;
interrupt) kill -TERM $PPID; exec sleep 30;;
esac
"""


def job(tmp: Path, signing: Optional[build.Signing] = None) -> build.Job:
    tools = write(tmp / "tools", {"cmake": CMAKE, "signer": SIGNER})
    for name in ("cmake", "signer"):
        os.chmod(os.path.join(tools, name), 0o755)
    return build.Job(str(tmp), "i686", str(tmp / "build"), signing, cmake=tools + "/cmake", signer=tools + "/signer")


def fake_set(inputs: release_set.Inputs, folder: str) -> None:
    write(Path(folder), {"NOTICES.txt": inputs.unsigned + " " + inputs.signed})


@pytest.fixture
def signed(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> build.Job:
    """A job that signs, after a build that left an executable and a release set in the folder."""
    monkeypatch.setattr(release_set, "write", fake_set)
    build.release(job(tmp_path), "/toolkit")
    files = write(tmp_path, {"p12": "key", "password": "secret"})
    return job(tmp_path, build.Signing(files + "/p12", files + "/password", "http://127.0.0.1:9", 1))


def test_a_signed_build_keeps_its_mode_and_names_both_hashes(signed: build.Job,
                                                            monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setenv("FAKE_SIGNER", "ok")
    # A staging folder left by a build that was killed outright goes.
    write(Path(signed.folder) / "release.stale", {"NOTICES.txt": ""})
    result = build.release(signed, "/toolkit")
    assert open(result.executable).read() == "MZ built signed" and os.stat(result.executable).st_mode & 0o777 == 0o750
    notices = open(os.path.join(result.release, "NOTICES.txt")).read().split()
    assert notices[1] == result.sha256 != notices[0] and not os.path.exists(signed.folder + "/release.stale")


def interrupted(data: release_set.Inputs, folder: str) -> None:
    raise KeyboardInterrupt


def refused_set(data: release_set.Inputs, folder: str) -> None:
    os.makedirs(folder)
    raise PipelineError("the set failed")


# Whatever ends a build early leaves no executable, release set or partial file, and says why.
@pytest.mark.parametrize("signer, release, message", [
    ("password", fake_set, r"^signing failed: Failed to parse PKCS#12 file; no executable was left$"),
    ("timestamp", fake_set, r"^signing failed: Failed to send the timestamp request; no exec"),
    ("hang", fake_set, r"^signing failed: no answer within 1 s \(PELLIMANTOR_SIGN_TIME_LIMIT\) from the timestamp"),
    ("hang-untimed", fake_set, r"from the signer; no executable was left$"),
    ("linger", fake_set, r"^interrupted; no executable was left$"),
    ("interrupt", fake_set, r"^interrupted; no executable was left$"),
    ("ok", refused_set, r"^the set failed$"),
    ("ok", interrupted, None),
])
def test_a_failure_leaves_nothing(signed: build.Job, monkeypatch: pytest.MonkeyPatch, signer: str,
                                  release: object, message: Optional[str]) -> None:
    monkeypatch.setenv("FAKE_SIGNER", signer.split("-")[0])
    monkeypatch.setattr(release_set, "write", release)
    if signer.endswith("untimed"):
        assert signed.signing
        signed = dataclasses.replace(signed, signing=dataclasses.replace(signed.signing, timestamp=""))
    previous = {number: signal.getsignal(number) for number in (signal.SIGTERM, signal.SIGHUP)}
    build.handle_signals()
    try:
        with pytest.raises(PipelineError if message else KeyboardInterrupt, match=message):
            build.release(signed, "/toolkit")
    finally:
        for number, handler in previous.items():
            signal.signal(number, handler)
    time.sleep(0.5 if signer == "linger" else 0)
    assert sorted(os.listdir(signed.folder)) == [build.LOCK, build.MARKER, "builds.log", "launcher"]
    assert os.listdir(os.path.join(signed.folder, "launcher")) == []


# Signing's inputs are checked before anything is built or removed.
@pytest.mark.parametrize("pkcs12, password, limit, message", [
    ("", "", "120", None), ("p12", "password", "1", None), ("", "", "0", "at least 1; '0' is not one"),
    ("", "", "1234567", "'1234567' is not one"), ("", "", "2m", "'2m' is not one"),
    ("missing", "password", "120", "PELLIMANTOR_SIGN_PKCS12 to name a readable file; '.*missing' is not one"),
    (".", "password", "120", "PELLIMANTOR_SIGN_PKCS12 to name a readable file"),
    ("p12", "", "120", "PELLIMANTOR_SIGN_PASSWORD_FILE to name a readable file; '' is not one; nothing was built"),
])
def test_signing_inputs(tmp_path: Path, pkcs12: str, password: str, limit: str, message: Optional[str]) -> None:
    write(tmp_path, {"p12": "key", "password": "secret"})
    where = {name: name and str(tmp_path / name) for name in (pkcs12, password)}
    if message:
        with pytest.raises(PipelineError, match=message):
            build.signing_from(where[pkcs12], where[password], "", limit)
    else:
        assert bool(build.signing_from(where[pkcs12], where[password], "", limit)) == bool(pkcs12)


def test_a_folder_of_files_no_build_made_is_refused_and_kept(tmp_path: Path,
                                                             monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setattr(release_set, "write", fake_set)
    write(tmp_path / "build" / "release", {"notes.txt": "mine\n"})
    with pytest.raises(PipelineError, match="holds files that no build made; nothing was removed"):
        build.release(job(tmp_path), "/toolkit")
    assert sorted(os.listdir(tmp_path / "build")) == ["release"]
    assert open(tmp_path / "build" / "release" / "notes.txt").read() == "mine\n"


def test_two_builds_in_one_folder_take_turns(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> None:
    monkeypatch.setattr(release_set, "write", fake_set)
    results: list[str] = []
    two = job(tmp_path)
    runs = [threading.Thread(target=lambda: results.append(build.release(two, "/toolkit").sha256))
            for _ in range(2)]
    for run in runs:
        run.start()
    for run in runs:
        run.join()
    assert len(results) == 2 and open(tmp_path / "build" / "builds.log").read() == "start\nend\n" * 2
