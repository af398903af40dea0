#!/usr/bin/env bash
# The Windows builds: builds the mingw-i686 stub (the release target) and the
# mingw-x86_64 one, checks both files statically (machine, console subsystem,
# imports, the i686 stub's size, no table marker in one piece), then runs the
# stub's end-to-end tests, the signed-package test and the own-path test
# against the x86_64 build under wine64. Native programs drive the tests; they
# come from build/native (SFX_NATIVE_BIN overrides), built first if needed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
native_bin=${SFX_NATIVE_BIN:-$root/build/native/bin}

for preset in mingw-i686 mingw-x86_64; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  # Only what is shipped or run here: the stub and the SETUP.EXE stand-in.
  cmake --build --preset "$preset" --target sfxstub setup_recorder
done
i686_bin=$root/build/mingw-i686/bin
x86_64_bin=$root/build/mingw-x86_64/bin

if [ ! -x "$native_bin/stub_e2e_test" ] || [ ! -x "$native_bin/windows_build_test" ] ||
   [ ! -x "$native_bin/integrity_e2e_test" ] ||
   [ ! -x "$native_bin/sfxpack" ]; then
  echo "== native: build (for the test programs)"
  cmake --preset native >/dev/null
  cmake --build --preset native
  native_bin=$root/build/native/bin
fi

echo "== Windows builds: static checks ($(stat -c %s "$i686_bin/sfxstub.exe") bytes for the i686 stub)"
SFX_TEST_WINDOWS_I686_BIN=$i686_bin SFX_TEST_WINDOWS_X86_64_BIN=$x86_64_bin \
  "$native_bin/windows_build_test"

# One private Wine prefix and one persistent wineserver for the whole run:
# starting a server for every stub run would cost seconds each. The server's
# standard streams go to /dev/null so that it holds no test's pipe open (a
# test reading the stub's stderr to its end would otherwise wait for it).
wine=${SFX_WINE:-/usr/lib/wine/wine64}
wineserver=${SFX_WINESERVER:-/usr/lib/wine/wineserver}
scratch=$(mktemp -d)
export WINEPREFIX=$scratch/prefix WINEDEBUG=-all WINESERVER=$wineserver
# No .NET or browser engine to offer for installation: there is no display.
export WINEDLLOVERRIDES="mscoree=;mshtml="
stop_wine() {
  "$wineserver" -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap stop_wine EXIT
echo "== Wine: preparing a private prefix"
mkdir "$WINEPREFIX"
"$wineserver" -p </dev/null >/dev/null 2>&1
"$wine" wineboot -i </dev/null >/dev/null 2>&1

echo "== Wine: end-to-end tests of the x86_64 stub"
SFX_TEST_STUB=$x86_64_bin/sfxstub.exe SFX_TEST_RUNNER=$wine SFX_TEST_SETUP=$x86_64_bin/setup_recorder.exe \
  "$native_bin/stub_e2e_test"
SFX_TEST_STUB=$x86_64_bin/sfxstub.exe SFX_TEST_RUNNER=$wine SFX_TEST_SETUP=$x86_64_bin/setup_recorder.exe \
  "$native_bin/integrity_e2e_test"

echo "== Wine: a signed package, and the edge of the own-path room"
tests/windows/signed_package_test.sh "$x86_64_bin" "$native_bin/sfxpack" "$wine"
tests/windows/own_path_test.sh "$x86_64_bin" "$native_bin/sfxpack" "$wine"
echo "== Windows: all passed in $SECONDS s"
