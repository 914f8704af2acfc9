# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The release pipeline, run with Debian's Python (scripts/setup installs
what each command imports: python3-debian, and for the release set
python3-license-expression). A fault in its inputs ends it with a message
naming the input and status 1."""
import argparse
import os
import sys

CACHE = os.environ.get("PELLIMANTOR_CACHE") or os.path.join(os.path.expanduser("~"), ".cache", "pellimantor")


def toolkit_command(args):
    import toolkit
    print(toolkit.build(args.target, os.path.abspath(args.cache), args.sources and os.path.abspath(args.sources)))


def unpack_command(args):
    import manifest
    import toolkit
    folder = toolkit.input_folder(args.cache, args.sources)
    recipe = manifest.build("windows", folder, toolchain=())
    manifest.unpack(recipe, manifest.input_paths(recipe, folder), args.tree)


def release_command(args):
    import release_set
    release_set.main(args.root, args.toolkit, args.build, args.unsigned, args.signed, args.sources)


def sources_command(args):
    import sources
    sources.write(sys.stdout)


def parser():
    top = argparse.ArgumentParser(prog="pipeline", description=__doc__.splitlines()[0])
    commands = top.add_subparsers(dest="command", required=True)
    given = "a release set's source folder: the source files are taken from it, and nothing is fetched"
    command = commands.add_parser("toolkit", help="the static Qt toolkit for a target, built unless cached; "
                                  "prints its folder")
    command.add_argument("target", choices=["windows", "windows64", "linux"])
    command.set_defaults(run=toolkit_command)
    command = commands.add_parser("unpack", help="Qt's source tree as the toolkit compiles it (the replaced files "
                                  "in place, every patch applied), into TREE")
    command.add_argument("tree")
    command.set_defaults(run=unpack_command)
    for command in commands.choices.values():
        command.add_argument("--cache", default=CACHE, help="the toolkit cache (default: %(default)s)")
        command.add_argument("--sources", help=given)
    command = commands.add_parser("release", help="the release set of a Windows build into BUILD/release")
    for name in ("root", "toolkit", "build", "unsigned"):
        command.add_argument(name)
    command.add_argument("signed", nargs="?", default="")
    command.add_argument("--sources", help=given)
    command.set_defaults(run=release_command)
    command = commands.add_parser("sources", help="deb-src entries made from this machine's own package entries")
    command.set_defaults(run=sources_command)
    return top


def main(argv=None):
    args = parser().parse_args(argv)
    sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
    from model import PipelineError
    try:
        args.run(args)
    except PipelineError as error:
        sys.exit("pipeline %s: %s" % (args.command, error))


if __name__ == "__main__":
    main()
