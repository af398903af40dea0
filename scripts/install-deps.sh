#!/usr/bin/env bash
# Installs, from Debian's packages, what a job needs and the machine lacks.
# Needs root (or sudo) only when something is missing.
#
#   install-deps.sh demo   the native build and the demo: compilers, CMake,
#                          GoogleTest, xxHash, help2man (and the 32-bit
#                          Windows compiler when Wine is already there)
#   install-deps.sh [test] everything: also the Windows builds, Wine with its
#                          32-bit half (from its own script, which needs more
#                          than a package list), signing, the fuzzers and the
#                          benchmark's contenders
set -euo pipefail
cd "$(dirname "$0")/.."
job=${1:-test}

packages=(cmake ninja-build g++ make googletest libgtest-dev libgmock-dev libxxhash-dev help2man)
case $job in
  demo)
    [ -x /usr/lib/wine/wine64 ] && packages+=(g++-mingw-w64-i686)
    ;;
  test)
    packages+=(
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 osslsigncode openssl binutils
      clang libclang-rt-14-dev
      hyperfine time p7zip-full makeself zip unzip python3
    )
    ;;
  *)
    echo "install-deps.sh: unknown job '$job' (demo or test)" >&2
    exit 2
    ;;
esac

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

[ "$job" = test ] && scripts/install-wine32.sh
exit 0
