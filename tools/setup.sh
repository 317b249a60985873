#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test the project.
# Quick and silent when everything is already there.
set -euo pipefail

# clang-14 with libclang-rt-14-dev (its libFuzzer and sanitizer runtimes) builds the fuzzers.
packages=(cmake g++ ninja-build pkg-config qt6-base-dev libgl-dev libgtest-dev
          libgmock-dev libbenchmark-dev libxxhash-dev libdtl-dev libacl1-dev libattr1-dev libgit2-dev git patch python3 xvfb xauth
          clang-14 libclang-rt-14-dev)
# Installing and packaging: validators, manual pages, completion, the Debian tools.
packages+=(desktop-file-utils appstream man-db bash-completion dpkg-dev file lintian)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}" >&2
  sudo_cmd=()
  if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
