#!/bin/sh
# Builds the Debian packages, installs them (apt-get install ./*.deb) and uses them as a
# user would: the installed `ztnid --version`, a mask of samples/people.csv with the
# installed ztnid and library, a host written in C (packaging/check-host/host.c) built against
# the installed exit twice, with find_package(ZT0NID) and with pkg-config, and the SQL
# extensions: ztnid_mask in the sqlite3 shell, CREATE EXTENSION ztnid in a throwaway
# PostgreSQL cluster.
# Installing needs root (or sudo).  Packages that were not installed before are removed
# at the end, unless KEEP_INSTALLED=1.
#
#   tools/package-check.sh        build folder build-pkg/, packages in build-pkg/packages/
set -eu
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-pkg}
jobs=$(nproc 2>/dev/null || echo 2)
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
cmake --build "$build" -j "$jobs"
rm -rf "$build/packages"
(cd "$build" && cpack >/dev/null)
packages=""
for deb in "$build"/packages/*.deb; do
  packages="$packages $(dpkg-deb -f "$deb" Package)"
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
cmake -S packaging/check-host -B "$work/cmake" -G Ninja >/dev/null
cmake --build "$work/cmake" >/dev/null
ldd "$work/cmake/host" | grep libZT0NID
"$work/cmake/host"

echo "== a C host built with pkg-config ($(pkg-config --cflags --libs zt0nid))"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror packaging/check-host/host.c $(pkg-config --cflags --libs zt0nid) -o "$work/host-pc"
"$work/host-pc"

if dpkg-query -W -f '${db:Status-Abbrev}' sqlite3-ztnid 2>/dev/null | grep -q '^ii'; then
  echo "== the installed SQLite extension"
  ext=$(dpkg -L sqlite3-ztnid | grep '/ztnid_sqlite\.so$')
  test "$(sqlite3 :memory: ".load $ext" "SELECT ztnid_mask('1234567L', 'ES') IS NOT NULL, ztnid_check('ABC', 'ES') IS NOT NULL")" = "1|1"
  echo "$ext loads; ztnid_mask and ztnid_check answer"
fi

pg=$(dpkg-query -W -f '${Package}\n' 'postgresql-*-ztnid' 2>/dev/null | head -n 1)
if [ -n "$pg" ] && dpkg-query -W -f '${db:Status-Abbrev}' "$pg" | grep -q '^ii'; then
  echo "== the installed PostgreSQL extension ($pg) in a throwaway cluster"
  bin=$(pg_config --bindir)
  as_pg() { if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
  pgdir=$(mktemp -d)
  [ "$(id -u)" = 0 ] && chown postgres "$pgdir"
  stop_pg() { as_pg "$bin/pg_ctl" -D "$pgdir/data" -m immediate stop >/dev/null 2>&1 || true; rm -rf "$pgdir"; cleanup; }
  trap stop_pg EXIT
  as_pg "$bin/initdb" -D "$pgdir/data" -U postgres -A trust --no-sync >/dev/null
  as_pg "$bin/pg_ctl" -D "$pgdir/data" -l "$pgdir/server.log" -w \
    -o "-k $pgdir -c listen_addresses=''" start >/dev/null
  as_pg "$bin/psql" -X -q -h "$pgdir" -U postgres -d postgres -v ON_ERROR_STOP=1 -At \
    -c "CREATE EXTENSION ztnid" \
    -c "SELECT ztnid.mask('1234567L', 'ES') IS NOT NULL, ztnid.check('ABC', 'ES') IS NOT NULL" |
    tee "$pgdir/out"
  test "$(cat "$pgdir/out")" = "t|t"
fi

echo "== packages checked"
