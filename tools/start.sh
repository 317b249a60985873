#!/usr/bin/env bash
# Sets everything up, builds the desktop program and starts it. Arguments go
# to the program: the first one names a stored configuration.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# The whole build, so that the help file lands beside the program.
cmake --build build -j "$(nproc)"

if [[ -z ${DISPLAY:-} && -z ${WAYLAND_DISPLAY:-} ]]; then
  echo "No display: starting varnok on a virtual X display (xvfb-run)." >&2
  exec xvfb-run -a -s "-screen 0 1280x1024x24" build/bin/varnok "$@"
fi
exec build/bin/varnok "$@"
