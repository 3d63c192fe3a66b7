#!/bin/sh
# Builds the Debian packages, installs them (apt-get install ./*.deb) and uses them as a
# user would: the installed `ztnid --version`, a mask of samples/people.csv with the
# installed ztnid and library, and a host written in C (tests/install/host.c) built
# against the installed exit twice, with find_package(ZT0NID) and with pkg-config.
# Installing needs root (or sudo).  Packages that were not installed before are removed
# at the end, unless KEEP_INSTALLED=1.
#
#   tools/package-check.sh        build folder build-pkg/, packages in build-pkg/packages/
set -eu
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-pkg}
jobs=$(nproc 2>/dev/null || echo 2)
packages="libzt0nid1 libzt0nid-dev ztnid"
tools/install-deps.sh package

as_root() {
  if [ "$(id -u)" = 0 ]; then "$@"
  elif command -v sudo >/dev/null 2>&1; then sudo "$@"
  else echo "package-check.sh: installing the packages needs root: $*" >&2; exit 2
  fi
}

echo "== Debian packages (cpack, build folder $build/)"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DZT_TESTS=OFF -DZT_HOST=ON >/dev/null
cmake --build "$build" --target ztnid -j "$jobs"
rm -rf "$build/packages"
(cd "$build" && cpack >/dev/null)
for deb in "$build"/packages/*.deb; do
  echo "$(basename "$deb"): $(wc -c <"$deb") bytes; Depends: $(dpkg-deb -f "$deb" Depends)"
done

# Remove at the end what this check installed (and only that).
fresh=""
for p in $packages; do
  dpkg-query -W -f '${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii' || fresh="$fresh $p"
done
work=$(mktemp -d)
cleanup() {
  rm -rf "$work"
  if [ -n "$fresh" ] && [ "${KEEP_INSTALLED:-}" != 1 ]; then
    # shellcheck disable=SC2086
    as_root env DEBIAN_FRONTEND=noninteractive apt-get purge -y -q $fresh >/dev/null 2>&1 || true
  fi
}
trap cleanup EXIT
echo "== apt-get install ./$build/packages/*.deb"
as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  "$PWD/$build"/packages/*.deb >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; exit 1; }

# Everything below runs the installed files: no build folder, no ZT0NID_LIBRARY.
unset ZT0NID_LIBRARY
export ZTNID_DRIVE_C="$work"
echo "== $(command -v ztnid) --version"
test "$(command -v ztnid)" = /usr/bin/ztnid
(cd / && ztnid --version)
test -f /usr/share/man/man1/ztnid.1.gz

echo "== installed ztnid masks samples/people.csv"
status=0
ztnid mask samples/people.csv -o "$work/people_masked.csv" --map 'nid=switch=country,status=y' || status=$?
[ "$status" -le 1 ] || exit 1
test "$(wc -l <"$work/people_masked.csv")" = "$(wc -l <samples/people.csv)"
head -n 3 "$work/people_masked.csv"

echo "== a C host built with find_package(ZT0NID)"
cmake -S tests/install -B "$work/cmake" -G Ninja >/dev/null
cmake --build "$work/cmake" >/dev/null
ldd "$work/cmake/host" | grep libZT0NID
"$work/cmake/host"

echo "== a C host built with pkg-config ($(pkg-config --cflags --libs zt0nid))"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror tests/install/host.c $(pkg-config --cflags --libs zt0nid) -o "$work/host-pc"
"$work/host-pc"

echo "== packages checked"
