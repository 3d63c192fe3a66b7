#!/bin/sh
# Runs the test programs of a Linux build folder as ctest does (in BUILD/tests, with
# ZT0NID_LIBRARY set), two at a time, the fastest first, and stops at the first failure:
# the test command of a mutation run, where most planted faults are caught in a second.
#   tools/test-programs.sh BUILD
# Status 0 when every program passes; a program past 90 s is reported as "timed out".
set -u
B=$(cd "${1:?usage: tools/test-programs.sh BUILD}" && pwd) || exit 2
cd "$B/tests" || exit 2
export ZT0NID_LIBRARY="$B/libZT0NID.so"
out=$(mktemp -d) || exit 2
trap 'rm -rf "$out"' EXIT
run() { timeout 90 "./tests_$1" >"$out/$1.log" 2>&1; echo $? >"$out/$1.rc"; }
status=0
known="framework es it fr invariants sqlite_ext_posix ztnid uk postgres_posix keyed"
others=$(for p in tests_*; do n=${p#tests_}; case " $known " in *" $n "*) ;; *) printf '%s ' "$n" ;; esac; done)
for pair in "framework es" "it fr" "invariants sqlite_ext_posix" "ztnid uk" "postgres_posix keyed" $others; do
  set -- $pair
  for t in "$@"; do [ -x "./tests_$t" ] && run "$t" & done
  wait
  for t in "$@"; do
    [ -f "$out/$t.rc" ] || continue
    rc=$(cat "$out/$t.rc")
    case $rc in
      0) ;;
      124|137) echo "$t timed out"; status=1 ;;
      *) echo "$t failed ($rc)"; tail -n 30 "$out/$t.log"; status=1 ;;
    esac
  done
  [ $status = 0 ] || exit 1
done
