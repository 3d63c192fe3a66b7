#!/bin/sh
# Installs the Debian packages a job needs, and nothing when they are all there.
#
#   tools/install-deps.sh demo      build the exit and ztnid (./demo.sh)
#   tools/install-deps.sh test      every test leg of ./check.sh (implies demo)
#   tools/install-deps.sh package   build the .deb packages and the DLL zip (implies demo)
#
# As root it installs; otherwise it uses sudo when there is one, or prints the command to
# run and exits 2.  apt-get update runs only when something is missing.
set -eu

demo="g++ cmake ninja-build pkg-config libcli11-dev libsqlite3-dev nlohmann-json3-dev sqlite3 libpq-dev libssl-dev"
test="googletest libgtest-dev libgmock-dev libbenchmark-dev binutils clang libclang-rt-14-dev
      g++-mingw-w64-x86-64-posix wine64 postgresql-15 postgresql-server-dev-15"
package="dpkg-dev file fakeroot zip"

want=""
why=""
for job in "${@:-demo}"; do
  case $job in
    demo)    want="$want $demo"; why="$why demo" ;;
    test)    want="$want $demo $test"; why="$why tests" ;;
    package) want="$want $demo $package"; why="$why packages" ;;
    *) echo "install-deps.sh: unknown job '$job' (demo, test, package)" >&2; exit 2 ;;
  esac
done

# What is not installed yet (dpkg-query answers for each name; a missing one is not 'ii').
missing=""
for p in $want; do
  case " $missing " in *" $p "*) continue ;; esac
  status=$(dpkg-query -W -f '${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  case $status in ii*) ;; *) missing="$missing $p" ;; esac
done
[ -z "$missing" ] && exit 0

run=""
if [ "$(id -u)" != 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    run="sudo"
  else
    echo "install-deps.sh: as root, run: apt-get update && apt-get install -y --no-install-recommends$missing" >&2
    exit 2
  fi
fi
echo "install-deps.sh: installing for${why}:$missing"
export DEBIAN_FRONTEND=noninteractive
$run apt-get update -qq
# shellcheck disable=SC2086
$run apt-get install -y -qq --no-install-recommends $missing >/dev/null
