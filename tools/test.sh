#!/usr/bin/env bash
# Sets everything up, builds every target and runs every test: the full build
# with the desktop program, then the core again under ASan and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVARNOK_CORE_ONLY=ON -DVARNOK_SANITIZE=ON -DVARNOK_BENCHMARKS=OFF
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

# ---- Installation and the Debian package -------------------------------------
# The full build installed into a scratch DESTDIR and checked there (menu and
# software-centre entries, manual pages, the installed programs, completion),
# then packed with CPack and checked with dpkg-deb and lintian.
tools/check-install.sh build
