#!/usr/bin/env bash
# Makes the release archives in build/release/: a Linux archive (sfxpack, its
# manual page and all three stubs) and a Windows ZIP (the 32-bit sfxpack.exe
# and both Windows stubs), each with README.md and LICENSE. Builds in folders
# of its own under build/release/, leaving the development builds alone.
set -euo pipefail
cd "$(dirname "$0")/.."
out=$PWD/build/release

build() {  # preset, then extra configure arguments
  local preset=$1
  shift
  cmake --preset "$preset" -B "$out/$preset" -DSFX_BUILD_TESTS=OFF "$@" >/dev/null
  cmake --build "$out/$preset"
}

# The Windows stubs first: the archives carry them as data.
build mingw-x86_64
build mingw-i686 "-DSFX_EXTRA_STUBS=windows-x86_64=$out/mingw-x86_64/bin/sfxstub.exe"
build native "-DSFX_EXTRA_STUBS=windows-i686=$out/mingw-i686/bin/sfxstub.exe;windows-x86_64=$out/mingw-x86_64/bin/sfxstub.exe"

for preset in native mingw-i686; do
  (cd "$out/$preset" && cpack -B "$out" >/dev/null)
done
rm -rf "$out/_CPack_Packages"
ls -l "$out"/sfx-*.tar.gz "$out"/sfx-*.zip
