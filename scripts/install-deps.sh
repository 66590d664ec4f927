#!/usr/bin/env bash
# Installs the Debian packages the build needs, when any is missing.
# As root it runs apt-get non-interactively; otherwise it prints the command to run.
set -euo pipefail

packages=(cmake ninja-build g++ clang libclang-rt-14-dev make pkg-config libace-dev
          liblog4cplus-dev libsndfile1-dev libgtest-dev libgmock-dev libbenchmark-dev)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
else
  echo "Missing packages: ${missing[*]}" >&2
  echo "Run: sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
