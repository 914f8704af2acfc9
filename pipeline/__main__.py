# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The release pipeline's commands. A fault in an input, or a program it
runs that fails, ends it with a message that names it, and status 1."""
from __future__ import annotations

import argparse
import json
import os
import sys
from typing import Callable, Optional

from . import build, manifest, sources, toolkit
from .model import PipelineError

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CACHE = os.environ.get("PELLIMANTOR_CACHE") or os.path.join(os.path.expanduser("~"), ".cache", "pellimantor")
ARCHES = {"i686": "windows", "x86_64": "windows64"}


def toolkit_command(args: argparse.Namespace) -> None:
    print(toolkit.build(args.target, os.path.abspath(args.cache), args.sources and os.path.abspath(args.sources)))


def unpack_command(args: argparse.Namespace) -> None:
    folder = toolkit.input_folder(args.cache, args.sources)
    recipe = manifest.build("windows", folder, toolchain=(), shipped=manifest.recorded(folder))
    manifest.unpack(recipe, manifest.input_paths(recipe, folder), args.tree)


def release_command(args: argparse.Namespace) -> None:
    # Every input is checked before anything is built or removed.
    signing = build.signing_from(args.sign_pkcs12, args.sign_password_file, args.sign_timestamp,
                                 args.sign_time_limit)
    given = args.sources and os.path.abspath(args.sources)
    job = build.Job(ROOT, args.arch, os.path.abspath(args.folder or os.path.join(ROOT, "build-" + ARCHES[args.arch])),
                    signing, given)
    # Refused before the toolkit is built, and again once the folder is held.
    build.refuse_foreign(job.folder)
    build.handle_signals()
    result = build.release(job, toolkit.build(ARCHES[args.arch], os.path.abspath(args.cache), given))
    print(json.dumps({"executable": result.executable, "sha256": result.sha256, "release": result.release}))


def sources_command(args: argparse.Namespace) -> None:
    sources.write(sys.stdout)


def cache_command(args: argparse.Namespace) -> None:
    print(os.path.abspath(args.cache))


def parser() -> argparse.ArgumentParser:
    top = argparse.ArgumentParser(prog="pipeline", description=(__doc__ or "").splitlines()[0])
    commands = top.add_subparsers(dest="command", required=True)
    given = "a release set's source folder: the source files are taken from it, and nothing is fetched"
    env = os.environ.get

    def command(name: str, run: Callable[[argparse.Namespace], None], text: str) -> argparse.ArgumentParser:
        found = commands.add_parser(name, help=text)
        found.set_defaults(run=run)
        found.add_argument("--cache", default=CACHE, help="the toolkit cache (default: %(default)s)")
        found.add_argument("--sources", default=env("PELLIMANTOR_SOURCES"), help=given)
        return found

    command("toolkit", toolkit_command, "the static Qt toolkit for a target, built unless cached; prints its "
            "folder").add_argument("target", choices=sorted(manifest.TARGETS))
    command("unpack", unpack_command, "Qt's source tree as the toolkit compiles it (the replaced files in place, "
            "every patch applied), into TREE").add_argument("tree")
    found = command("release", release_command, "the launcher for Windows with its release set, signed if asked; "
                    "prints a JSON line: the executable, its SHA-256 and the release set's folder")
    found.add_argument("--arch", choices=sorted(ARCHES), default=env("PELLIMANTOR_WINDOWS_ARCH") or "i686")
    found.add_argument("--folder", default=env("PELLIMANTOR_WINDOWS_BUILD"),
                       help="the build folder (default: build-windows, or build-windows64, in the source tree)")
    found.add_argument("--sign-pkcs12", default=env("PELLIMANTOR_SIGN_PKCS12", ""))
    found.add_argument("--sign-password-file", default=env("PELLIMANTOR_SIGN_PASSWORD_FILE", ""))
    found.add_argument("--sign-timestamp", default=env("PELLIMANTOR_SIGN_TIMESTAMP", ""))
    found.add_argument("--sign-time-limit", default=env("PELLIMANTOR_SIGN_TIME_LIMIT", "120"))
    command("sources", sources_command, "deb-src entries made from this machine's own package entries")
    command("cache", cache_command, "the cache folder")
    return top


def main(argv: Optional[list[str]] = None) -> None:
    args = parser().parse_args(argv)
    try:
        args.run(args)
    except KeyboardInterrupt:
        sys.exit("pipeline %s: interrupted; no executable was left" % args.command)
    except PipelineError as error:
        sys.exit("pipeline %s: %s" % (args.command, error))
    except OSError as error:
        sys.exit("pipeline %s: %s" % (args.command, error))


if __name__ == "__main__":
    main()
