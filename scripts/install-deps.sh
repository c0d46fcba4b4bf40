#!/usr/bin/env bash
# Installs every Debian package the build and the tests need. Idempotent:
# packages already present are left alone; apt-get update runs only when
# something is missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  zlib1g-dev libgtest-dev googletest
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev
  wine wine64
  xvfb
  openjdk-17-jdk-headless
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
