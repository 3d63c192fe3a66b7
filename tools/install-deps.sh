#!/bin/sh
# Installs the Debian packages a job needs, and nothing when they are all there.
#
#   tools/install-deps.sh demo      build the exit and ztnid (./demo.sh)
#   tools/install-deps.sh test      every leg of ./check.sh: Linux, sanitizers, Windows
#                                   DLL under wine, fuzzers (implies demo)
#   tools/install-deps.sh package   build and check the .deb packages
#                                   (tools/package-check.sh; implies demo)
#
# Quiet when nothing is missing; otherwise one line says what it installs and why, then
# apt-get update and apt-get install --no-install-recommends run.  As root it installs;
# otherwise it uses sudo when there is one, or prints the command to run and exits 2.
# This is the project's only list of packages: a new dependency goes in its job here.
set -eu

# The exit and ztnid: compiler, build tools, CLI11, SQLite (sqlite3 shows the demo's
# table) and nlohmann JSON (ztnid scan --json), libpq and OpenSSL for the hosts that use them.
demo="g++ cmake ninja-build pkg-config libcli11-dev libsqlite3-dev nlohmann-json3-dev sqlite3 libpq-dev libssl-dev"
# Tests and benchmarks; clang and libFuzzer for the fuzzers; mingw-w64 and wine for the
# Windows DLL and its tests (googletest also gives the sources the cross build compiles);
# a PostgreSQL server for the tests that start a throwaway cluster.
test="googletest libgtest-dev libgmock-dev libbenchmark-dev binutils clang libclang-rt-14-dev
      g++-mingw-w64-x86-64-posix wine64 postgresql-15 postgresql-server-dev-15"
# cpack's Debian packages (dpkg-shlibdeps, file); the C host built against them (gcc).
package="dpkg-dev file gcc"

want=""
why=""
for job in "${@:-demo}"; do
  case $job in
    demo)    want="$want $demo"; why="${why:+$why, }building the exit and ztnid" ;;
    test)    want="$want $demo $test"; why="${why:+$why, }running every test leg of check.sh" ;;
    package) want="$want $demo $package"; why="${why:+$why, }building and checking the .deb packages" ;;
    *) echo "install-deps.sh: unknown job '$job' (demo, test, package)" >&2; exit 2 ;;
  esac
done

# What is not installed yet (dpkg-query answers for each name; a missing one is not 'ii').
missing=""
count=0
for p in $want; do
  case " $missing " in *" $p "*) continue ;; esac
  status=$(dpkg-query -W -f '${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  case $status in ii*) ;; *) missing="$missing $p"; count=$((count + 1)) ;; esac
done
[ -z "$missing" ] && exit 0

run=""
if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    run="sudo"
  else
    echo "install-deps.sh: $count Debian packages are missing for $why; as root, run:" >&2
    echo "  apt-get update && apt-get install -y --no-install-recommends$missing" >&2
    exit 2
  fi
fi
echo "install-deps.sh: installing $count Debian packages for $why:$missing"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# shellcheck disable=SC2086
if ! { $run env DEBIAN_FRONTEND=noninteractive apt-get update -q &&
       $run env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing; } >"$log" 2>&1; then
  cat "$log" >&2
  echo "install-deps.sh: apt-get failed (its output is above)" >&2
  exit 1
fi
