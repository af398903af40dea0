#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the build, the tests, the Windows
# builds, the fuzzers and the benchmark need and the machine lacks. Needs root
# (or sudo) only when something is missing. 32-bit Wine, which needs more than
# a package list, comes last from its own script.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  cmake ninja-build g++ make googletest libgtest-dev libgmock-dev libxxhash-dev help2man
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 osslsigncode openssl
  clang libclang-rt-14-dev
  hyperfine time p7zip-full makeself zip unzip python3
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}" >&2
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
fi

scripts/install-wine32.sh
