#!/bin/sh
# Builds and runs every test: the Linux build, the sanitizer build, and the Windows x64
# DLL cross-built with mingw-w64 with its tests under wine.
# Usage: ./check.sh            (build folders: build/, build-asan/, build-win/, build-fuzz/)
# tools/install-deps.sh installs the packages of every leg first (as root, or with sudo).
# Where the Windows leg's tools are still missing it is skipped with a note, except in CI
# (CI=true), where it must run.
set -eu
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)
tools/install-deps.sh test

echo "== Linux build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZT_BENCH=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
test "$(nm -D --defined-only build/libZT0NID.so | awk '{print $3}')" = KLOColMapWExit
# The SQL extensions' suites (tests/postgres_posix, tests/sqlite_ext_posix) are ctest
# tests built where their extension builds (pg_config, sqlite3ext.h); CI must have both.
for suite in postgres_posix sqlite_ext_posix; do
  if ! ctest --test-dir build -N -R "^$suite\$" | grep -q "Total Tests: 1"; then
    echo "== no $suite suite: its extension was not built (pg_config or sqlite3ext.h missing)"
    [ "${CI:-}" != true ] || exit 1
  fi
done

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
# Without the PostgreSQL extension: a server built without the sanitizers cannot load it.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZT_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== Windows x64 DLL (mingw-w64) and tests under wine"
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null || [ ! -x "$wine64" ] ||
   [ ! -x "$wineserver" ] || [ ! -f /usr/src/googletest/CMakeLists.txt ]; then
  if [ "${CI:-}" = true ]; then
    echo "CI: the Windows leg needs g++-mingw-w64-x86-64-posix, wine64 and googletest" >&2
    exit 1
  fi
  echo "== SKIPPED: the Windows leg (apt-get install g++-mingw-w64-x86-64-posix wine64 googletest)"
else
  start=$(date +%s)
  cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build-win -j "$jobs"

  # One export, undecorated, and no runtime DLL that a Windows machine lacks.
  dump=$(x86_64-w64-mingw32-objdump -p build-win/ZT0NID.dll)
  exports=$(printf '%s\n' "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
            sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
  imports=$(printf '%s\n' "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'a-z' 'A-Z' | sort | tr '\n' ' ')
  echo "ZT0NID.dll: exports: $exports; imports: $imports"
  test "$exports" = KLOColMapWExit
  test "$imports" = "KERNEL32.DLL MSVCRT.DLL "

  # A prefix of our own, headless.  A persistent wineserver spares ctest a wait of about
  # two seconds per test program; wineboot starts wine's services before ctest with their
  # output on /dev/null, as ctest would otherwise wait for them to let go of its output.
  (
    export WINEPREFIX="$PWD/build-win/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY WAYLAND_DISPLAY
    mkdir -p "$WINEPREFIX"
    "$wineserver" -p >/dev/null 2>&1
    trap '"$wineserver" -k 2>/dev/null || true' EXIT
    "$wine64" wineboot -i >/dev/null 2>&1
    ctest --test-dir build-win --output-on-failure
  )
  # The DLL as shipped: ZT0NID-<version>-win64.zip with the header and a text for hosts.
  cmake --build build-win --target dll_zip >/dev/null
  zip=$(ls -t build-win/ZT0NID-*-win64.zip | head -n 1)
  echo "== Windows leg: $(($(date +%s) - start)) s (DLL $(wc -c <build-win/ZT0NID.dll) bytes; $zip $(wc -c <"$zip") bytes)"
fi

fuzz/run.sh 60  # libFuzzer targets with ASan/UBSan, about 60 s (build-fuzz/)

echo "== all tests passed"
