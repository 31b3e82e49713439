#!/usr/bin/env bash
# Builds the Debian binary package the Debian way (dpkg-buildpackage with debhelper, debian/) from a copy of
# the source tree, so that the checkout itself gets no build products, and leaves the .deb, .changes and
# .buildinfo in OUTDIR (default: build).
#
#   scripts/build-deb.sh [OUTDIR]
set -euo pipefail

top="$(cd "$(dirname "$0")/.." && pwd)"
out="$(mkdir -p "${1:-$top/build}" && cd "${1:-$top/build}" && pwd)"
version="$(dpkg-parsechangelog -l "$top/debian/changelog" -S Version)"
src="$out/deb-src/zuvelo-pgp-$version"

# The tree as it is checked out (tracked files and new ones that are not ignored), without build trees.
rm -rf "$out/deb-src"
mkdir -p "$src"
if git -C "$top" rev-parse --git-dir >/dev/null 2>&1; then
  (cd "$top" && git ls-files -z --cached --others --exclude-standard | while IFS= read -r -d '' f; do
     [ -e "$f" ] && printf '%s\0' "$f"; done | tar --null -T - -cf -) | tar -xf - -C "$src"
else
  (cd "$top" && tar --exclude='./build' --exclude='./build-*' --exclude='./.git' -cf - .) | (cd "$src" && tar -xf -)
fi

# Every rebuild of the package shares the compiler cache of the other build trees, when there is one
# (debhelper gives the build a home folder of its own, so the cache is named here).
if command -v ccache >/dev/null; then
  export CCACHE_DIR="${CCACHE_DIR:-$(ccache -k cache_dir)}"
  export CCACHE_BASEDIR="$src" CCACHE_NOHASHDIR=1
fi

export DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:-parallel=$(nproc)}"
(cd "$src" && dpkg-buildpackage -b -us -uc)

for f in "$out"/deb-src/*.deb "$out"/deb-src/*.changes "$out"/deb-src/*.buildinfo; do
  [ -e "$f" ] && mv -f "$f" "$out/"
done
rm -rf "$out/deb-src"
ls "$out"/zuvelo-pgp_"$version"_*.deb
