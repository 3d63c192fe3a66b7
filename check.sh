#!/bin/sh
# Builds and runs every test: the Linux build, the sanitizer build.
# Usage: ./check.sh            (build folders: build/, build-asan/)
set -eu
cd "$(dirname "$0")"
jobs=$(nproc 2>/dev/null || echo 2)

echo "== Linux build and tests"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZT_BENCH=ON >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"
test "$(nm -D --defined-only build/libZT0NID.so | awk '{print $3}')" = KLOColMapWExit

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZT_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== all tests passed"
