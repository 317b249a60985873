#!/usr/bin/env bash
# Sets everything up, builds every target and runs every test: the full build
# with the desktop program, the core again under ASan and UBSan and its
# threaded parts under TSan, then each fuzzer for a minute from its seed corpus.
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

# The threaded parts of the core again under ThreadSanitizer: the walk, the
# read-ahead and its worker pool, the edit pass, undo, preview and the runner.
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARNOK_CORE_ONLY=ON -DVARNOK_TSAN=ON -DVARNOK_BENCHMARKS=OFF
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" \
  -R '^(EditPass|Walker|ReadAhead|Undo|Preview|Process|Command|RunJob|WorkerPool)'

# The fuzzers, under ASan and UBSan too, as many at a time as there are cores;
# a case slower than a second fails. New inputs go to a scratch folder, the
# committed seeds stay as they are.
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARNOK_CORE_ONLY=ON -DVARNOK_FUZZ=ON -DVARNOK_BENCHMARKS=OFF
fuzzers=(engine_fuzz:1024 store_fuzz:4096 runner_fuzz:2048)  # target:max_len
cmake --build build-fuzz -j "$jobs" --target "${fuzzers[@]%%:*}"

run_fuzzer() {  # target max_len
  local target=$1 log=build-fuzz/$1.log
  mkdir -p build-fuzz/corpus/"$target"
  if ! ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
       build-fuzz/bin/"$target" -max_total_time="${VARNOK_FUZZ_SECONDS:-60}" -timeout=1 \
         -max_len="$2" -print_final_stats=1 -artifact_prefix=build-fuzz/"$target"- \
         build-fuzz/corpus/"$target" fuzz/corpus/"$target" >"$log" 2>&1; then
    echo "$target failed; the end of $log:" >&2
    tail -n 60 "$log" >&2
    return 1
  fi
  echo "$target: $(grep -a -m1 -o 'Done [0-9]* runs in [0-9]* second' "$log")"
}
failed=0
running=0
for entry in "${fuzzers[@]}"; do
  if ((running >= jobs)); then
    wait -n || failed=1
    running=$((running - 1))
  fi
  run_fuzzer "${entry%%:*}" "${entry#*:}" &
  running=$((running + 1))
done
while ((running > 0)); do
  wait -n || failed=1
  running=$((running - 1))
done
((failed == 0)) || exit 1

# ---- Installation and the Debian package -------------------------------------
# The full build installed into a scratch DESTDIR and checked there (menu and
# software-centre entries, manual pages, the installed programs, completion),
# then packed with CPack and checked with dpkg-deb and lintian.
tools/check-install.sh build
