# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The release pipeline, run with Debian's Python (python3-debian, python3-license-expression):
  pipeline manifest TARGET SOURCES        the toolkit's manifest (stdout)
  pipeline arguments MANIFEST             its configure arguments, NUL-separated
  pipeline modules MANIFEST               the Qt modules to build, one a line
  pipeline build-root MANIFEST            where Qt is unpacked and compiled
  pipeline unpack MANIFEST SOURCES TREE   Qt's source as the manifest says, into TREE
  pipeline objects SOURCE_TREE BUILD_TREE each object's source files (after the toolkit build)
  pipeline licensing SOURCE_TREE OBJECTS ARCHIVE...  each toolkit member's licences
  pipeline sources                        deb-src entries of this machine's own (stdout)
  pipeline release ROOT TOOLKIT BUILD UNSIGNED_SHA256 [SIGNED_SHA256]  the release set"""
import sys


def main(argv):
    command, args = (argv[1], argv[2:]) if len(argv) > 1 else ("", [])
    # Only the modules the command uses, so that "sources" runs before the
    # release set's libraries are installed.
    if command == "sources":
        import sources
    elif command == "release":
        import release_set
    elif command in ("objects", "licensing"):
        import records
    else:
        import manifest
    if command == "manifest" and len(args) == 2:
        manifest.write(manifest.build(*args), sys.stdout)
    elif command == "arguments" and len(args) == 1:
        sys.stdout.write("".join(arg + "\0" for arg in manifest.load(args[0])["configure"]))
    elif command == "modules" and len(args) == 1:
        print("\n".join(manifest.load(args[0])["target"]["modules"]))
    elif command == "build-root" and len(args) == 1:
        print(manifest.load(args[0])["buildRoot"])
    elif command == "unpack" and len(args) == 3:
        manifest.unpack(manifest.load(args[0]), args[1], args[2])
    elif command == "objects" and len(args) == 2:
        records.writeObjects(*args)
    elif command == "licensing" and len(args) >= 3:
        records.writeLicensing(args[0], args[1], args[2:])
    elif command == "release" and len(args) in (4, 5):
        release_set.main(*args)
    elif command == "sources" and not args:
        sources.write(sys.stdout)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
