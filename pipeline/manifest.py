# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
"""The toolkit's inputs, in one manifest: Debian's Qt source package files
with their SHA-256, our patches, the files replaced with their origin, the
exact configure arguments and the target. scripts/build-qt builds from it,
keys its cache by it, and the release set ships what it names."""
import glob
import hashlib
import json
import lzma
import os
import subprocess
import tarfile

from debian.deb822 import Dsc

TOOLKIT = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "toolkit")
# Where Qt is unpacked and compiled: a fixed path, which the compiled files
# name as /qt, so that no path of the build machine goes into them.
BUILD_ROOT = "/var/tmp/pellimantor-qt"
PREFIX = "/opt/pellimantor-qt"
TARGETS = {
    "windows": {"triple": "i686-w64-mingw32", "modules": ["sub-corelib", "sub-winmain"]},
    "windows64": {"triple": "x86_64-w64-mingw32", "modules": ["sub-corelib", "sub-winmain"]},
    "linux": {"triple": "", "modules": ["sub-corelib"]},
}
# Qt 5.15.8's calendar code is GPL-3.0 only; Qt 6.4.2's, relicensed, takes its
# place, adapted to Qt 5.15's headers by our patch.
REPLACEMENTS = [{"path": "src/corelib/time/qcalendar.cpp", "package": "qt6-base",
                 "member": "qtbase-everywhere-src-6.4.2/src/corelib/time/qcalendar.cpp",
                 "patch": "qcalendar-qt6.patch"}]

# Only the core module (and on Windows the WinMain adapter), with bundled
# PCRE2, zlib and double-conversion, and without the parts of the core module
# that the launcher never reaches (QUrl::topLevelDomain among them, which
# would bring in the public suffix list). PCRE2 matches without its just-in-time
# compiler (the launcher's one pattern costs more to compile than it saves,
# and it would write executable code). Each function and data item gets a
# section of its own, so that the link drops what it never reaches.
COMMON = ["-static", "-release", "-gc-binaries", "-opensource", "-confirm-license", "-prefix", PREFIX,
          "-nomake", "examples", "-nomake", "tests", "-no-gui", "-no-widgets", "-no-dbus", "-no-opengl", "-no-openssl",
          "-no-icu", "-no-iconv", "-no-glib", "-no-zstd", "-qt-pcre", "-qt-zlib", "-qt-doubleconversion", "-no-pch",
          "-silent", "-no-feature-big_codecs", "-no-feature-mimetype", "-no-feature-timezone",
          "-no-feature-translation", "-no-feature-settings", "-no-feature-topleveldomain",
          "-no-feature-statemachine", "-no-feature-animation",
          "-no-feature-sharedmemory", "-no-feature-systemsemaphore", "-no-feature-itemmodel",
          "-no-feature-filesystemwatcher", "-no-feature-commandlineparser", "-no-feature-xmlstream",
          "QMAKE_CFLAGS+=-DPCRE2_DISABLE_JIT",
          "QMAKE_CFLAGS+=-ffile-prefix-map=%s=/qt" % BUILD_ROOT, "QMAKE_CXXFLAGS+=-ffile-prefix-map=%s=/qt" % BUILD_ROOT]


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def configureArguments(target):
    """Qt's configure arguments for a target, every one as configure receives it."""
    triple = TARGETS[target]["triple"]
    if not triple:
        return list(COMMON)
    # The compilers are found on PATH by these names (scripts/build-qt points
    # them to MinGW-w64's posix-thread variant). -MD: each object's dependency
    # record, from which the notices learn what each toolkit member holds.
    return COMMON + ["-xplatform", "win32-g++", "-device-option", "CROSS_COMPILE=%s-" % triple, "-static-runtime",
                     "QMAKE_CFLAGS+=-MD", "QMAKE_CXXFLAGS+=-MD"]


def sourcePackage(sources, package):
    """A Debian source package in the folder `sources`: its newest .dsc and the files it lists, with SHA-256."""
    dscs = sorted(glob.glob(os.path.join(sources, package + "_*.dsc")))
    if not dscs:
        raise SystemExit("manifest: no source package %s in %s" % (package, sources))
    with open(dscs[-1], encoding="utf-8") as f:
        dsc = Dsc(f)
    files = [{"name": os.path.basename(dscs[-1]), "sha256": sha256(dscs[-1])}]
    for entry in dsc["Checksums-Sha256"]:
        digest = sha256(os.path.join(sources, entry["name"]))
        if digest != entry["sha256"]:
            raise SystemExit("manifest: %s does not match its .dsc" % entry["name"])
        files.append({"name": entry["name"], "sha256": digest})
    return {"package": package, "version": dsc["Version"], "files": files}


def replacement(sources, spec):
    """A replaced file: its origin package, the original file (extracted beside the sources) and our patch."""
    origin = sourcePackage(sources, spec["package"])
    original = os.path.join(sources, "%s_%s" % (spec["package"], spec["member"].replace("/", "_")))
    if not os.path.exists(original):
        archive = next(f["name"] for f in origin["files"] if ".orig.tar." in f["name"])
        with tarfile.open(fileobj=lzma.open(os.path.join(sources, archive))) as tar, open(original + ".part", "wb") as out:
            out.write(tar.extractfile(spec["member"]).read())
        os.replace(original + ".part", original)
    return {"path": spec["path"], "origin": dict(origin, member=spec["member"], memberSha256=sha256(original)),
            "original": os.path.basename(original),
            "patch": {"name": spec["patch"], "sha256": sha256(os.path.join(TOOLKIT, spec["patch"]))}}


def build(target, sources):
    """The manifest of the toolkit for `target` from the source packages in `sources`."""
    patches = sorted(glob.glob(os.path.join(TOOLKIT, "patches", "*.patch")))
    return {
        "target": dict(TARGETS[target], name=target),
        "qt": sourcePackage(sources, "qtbase-opensource-src"),
        "patches": [{"name": os.path.basename(p), "sha256": sha256(p)} for p in patches],
        "replacements": [replacement(sources, spec) for spec in REPLACEMENTS],
        "configure": configureArguments(target),
        "buildRoot": BUILD_ROOT,
    }


def write(manifest, out):
    json.dump(manifest, out, indent=1, sort_keys=True)
    out.write("\n")


def load(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def unpack(manifest, sources, tree):
    """Unpacks Qt's source into `tree` as the manifest says: Debian's package, our patches in order, the
    replaced files (each its original with our patch applied)."""
    subprocess.run(["dpkg-source", "-x", os.path.join(sources, manifest["qt"]["files"][0]["name"]), tree],
                   check=True, stdout=subprocess.DEVNULL)
    for patch in manifest["patches"]:
        with open(os.path.join(TOOLKIT, "patches", patch["name"]), "rb") as f:
            subprocess.run(["patch", "-d", tree, "-p1", "--quiet"], stdin=f, check=True)
    for item in manifest["replacements"]:
        target = os.path.join(tree, item["path"])
        with open(os.path.join(sources, item["original"]), "rb") as f, open(target, "wb") as out:
            out.write(f.read())
        subprocess.run(["patch", "--quiet", target, os.path.join(TOOLKIT, item["patch"]["name"])], check=True)
