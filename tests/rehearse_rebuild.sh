#!/usr/bin/env bash
# SPDX-FileCopyrightText: 2026 The Pellimantor developers
# SPDX-License-Identifier: MIT
# A recipient's rebuild, rehearsed on a bare Debian 12: a minimal root made
# with mmdebstrap from this machine's own package entries (read from
# /etc/apt now, never written down), the release set copied in, and in it,
# as root, the commands of steps 1 and 2 of its REBUILD.txt word for word,
# with an empty toolkit cache and an apt-get that refuses to fetch source
# packages, so that only the release set's own files can serve. The file
# built must have the SHA-256 of the file shipped, its release set must be
# the shipped one, and no package source entry may have been written. Then step 3, with its change made to Qt's
# calendar code (qcalendar.cpp, replaced in from Qt 6): the new file must
# differ from the shipped one and its notices name the patch, dated. Prints the time
# each part took. A toolkit that such a bare root rebuilt from a release set
# and proved (it gave the shipped file) is kept in the cache, under its full
# input key (sources, patches, options, toolchain versions: its manifest's
# SHA-256); a later rehearsal of a release set with the same key starts its
# bare root with that toolkit, so that step 2 proves the launcher's part and
# every input's hash, and step 3 still builds a toolkit anew. Needs root (mounts, chroot); as another user, or for a
# release set built from uncommitted changes, it is skipped (status 77).
#   rehearse_rebuild.sh RELEASE_FOLDER
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
release=$(realpath -- "$1")
[ "$(id -u)" -eq 0 ] || { echo "rehearsal: needs root (mmdebstrap, mounts, chroot); skipped"; exit 77; }
# A build from uncommitted changes ships the commit's source, which cannot give its file.
! grep -q -- '+modified"' "$release/Pellimantor.cdx.json" || { echo "rehearsal: a build from uncommitted changes; skipped"; exit 77; }
"$root/scripts/setup" checks
fail() { echo "FAIL: $*"; exit 1; }
sha256() { /usr/bin/python3 -c 'import json, sys; print(json.loads(sys.stdin.read().splitlines()[-1])["sha256"])' <"$1"; }
# The toolkit the set names, and where a proven one is kept.
toolkit=qt-windows-$(sha256sum "$release/source/manifest.json" | cut -c1-12)
proven=$(PYTHONPATH=$root /usr/bin/python3 -m pipeline cache)/proven/$toolkit
lap() { echo "rehearsal: $1 after $SECONDS s"; }

work=$(mktemp -d /var/tmp/pellimantor-rehearsal.XXXXXX)
bare=$work/root
mounted=()
cleanup() {
    local i
    for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
    rm -rf --one-file-system -- "$work"
}
trap cleanup EXIT

# This machine's own binary-package entries and proxy settings, as they are now.
entries=()
for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -s "$file" ] && [ "$file" != /etc/apt/sources.list.d/pellimantor-src.sources ] && entries+=("$file")
done
options=()
while IFS= read -r line; do options+=(--aptopt="$line"); done < <(apt-config dump | grep -i -E '^Acquire::[a-z]+::Proxy' || true)
mmdebstrap --quiet --variant=minbase "${options[@]}" bookworm "$bare" "${entries[@]}"
lap "bare root made"
for point in proc sys dev dev/pts; do
    mkdir -p "$bare/$point"
    mount --bind "/$point" "$bare/$point"
    mounted+=("$bare/$point")
done
cp /etc/resolv.conf "$bare/etc/resolv.conf"
# Source packages refused: apt-get, first on root's PATH, ends at "source".
cat >"$bare/usr/local/sbin/apt-get" <<'EOF'
#!/bin/sh
for word in "$@"; do
    [ "$word" != source ] || { echo "apt-get source refused: the rebuild must use the release set's own files" >&2; exit 100; }
done
exec /usr/bin/apt-get "$@"
EOF
chmod 755 "$bare/usr/local/sbin/apt-get"
ls "$bare/etc/apt/sources.list.d" >"$work/entries.before"
mkdir "$bare/root/release"
cp -r "$release/." "$bare/root/release/"

# The commands of a step of REBUILD.txt: its lines indented by five spaces.
step() { awk -v n="$1" '/^[0-9]\. /{s = ($1 == n ".")} s && /^     [^ ]/{sub(/^     /, ""); print}' "$release/source/REBUILD.txt"; }
inside() {
    chroot "$bare" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin /bin/bash -e -c "$1"
}
[ "$(step 1 | wc -l)" -ge 1 ] && [ "$(step 2 | wc -l)" -ge 1 ] || fail "REBUILD.txt has no commands for steps 1 and 2"
if [ -d "$proven" ]; then
    mkdir -p "$bare/root/.cache/pellimantor"
    cp -a "$proven" "$bare/root/.cache/pellimantor/$toolkit"
    echo "rehearsal: the toolkit $toolkit, rebuilt and proven by an earlier rehearsal, is taken from the cache"
fi
inside "cd /root/release/source
$(step 1)
$(step 2)" >"$work/rebuilt.out" 2>"$work/rebuilt.log" || { tail -n 30 "$work/rebuilt.log"; fail "steps 1 and 2 of REBUILD.txt failed"; }
lap "steps 1 and 2 done"
! grep -q "apt-get source refused" "$work/rebuilt.log" || fail "the rebuild tried to fetch a source package"
ls "$bare/etc/apt/sources.list.d" | cmp -s - "$work/entries.before" || fail "the rebuild wrote package source entries"
shipped=$(sha256sum "$release/Pellimantor.exe" | cut -c1-64)
rebuilt=$(sha256 "$work/rebuilt.out")
[ "$rebuilt" = "$shipped" ] || fail "the rebuilt file's SHA-256 is $rebuilt, the shipped one's $shipped"
diff -r "$release" "$bare/root/release/source/pellimantor/build-windows/release" || fail "the rebuilt release set differs"
echo "rehearsal: the rebuilt file has the shipped SHA-256 $shipped, and the release set is the shipped one"
if [ ! -d "$proven" ]; then
    mkdir -p "$(dirname "$proven")"
    rm -rf "$proven.part" && cp -a "$bare/root/.cache/pellimantor/$toolkit" "$proven.part" && mv "$proven.part" "$proven"
fi

# Step 3, the change to Qt made where it says "(change the files ...)".
change="sed -i '/QCalendarBackend::maximumDaysInMonth/,/}/ s/return 31;/return 32;/' ../qt/src/corelib/time/qcalendar.cpp"
inside "cd /root/release/source/pellimantor
$(step 3 | sed "s|^(change the files.*|$change|")" >"$work/changed.out" 2>"$work/changed.log" \
    || { tail -n 30 "$work/changed.log"; fail "step 3 of REBUILD.txt failed"; }
lap "step 3 done"
grep -q 'return 32;' "$bare/root/release/source/pellimantor/toolkit/patches/zz-mine.patch" || fail "step 3 made no patch"
changed=$(sha256 "$work/changed.out")
[ "$changed" != "$shipped" ] || fail "a patch to qcalendar.cpp did not change the built file"
grep -q "Modified by us: .*zz-mine.patch ($(date -u +%Y-)" "$bare/root/release/source/pellimantor/build-windows/release/NOTICES.txt" \
    || fail "the notices of the changed file do not name the patch"
echo "rehearsal passed in $SECONDS s"
