#!/usr/bin/env bash
# Sets everything up, builds the batch runner and runs it on a copy of the
# bundled example (examples/ is never edited), then prints the report and what
# changed in every edited file.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
tools/setup.sh

cmake -S . -B build-demo -G Ninja -DVARNOK_CORE_ONLY=ON -DVARNOK_BENCHMARKS=OFF > /dev/null
cmake --build build-demo --target varnok-run > /dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/varnok-demo-XXXXXX")
cp -R examples/. "$work"
echo "Change list (search, replacement, separator):"
sed 's/^/    /' "$work/changes.txt"
echo
echo "varnok-run --yes --recurse --changes changes.txt files"
(cd "$work" && "$top/build-demo/bin/varnok-run" --yes --recurse --changes changes.txt files)
echo
find "$work/files" -name '*.BAK' | sort | while read -r backup; do
  base=${backup%.BAK}
  for edited in "$base".*; do
    [ "$edited" != "$backup" ] && [ -f "$edited" ] || continue
    diff -u --label "${backup#"$work"/}" --label "${edited#"$work"/}" "$backup" "$edited" || true
  done
done
echo
echo "The edited copy is in $work"
