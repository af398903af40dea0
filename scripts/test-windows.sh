#!/usr/bin/env bash
# The Windows builds: builds the mingw-i686 stub (the release target) and the
# mingw-x86_64 one, checks both files statically (machine, console subsystem,
# imports, the i686 stub's size, no table marker in one piece), then runs the
# stub's end-to-end tests, the signed-package test and the own-path test
# against each build: the i686 one under 32-bit Wine, the x86_64 one under
# wine64. Both must pass the same cases alike. Native programs drive the
# tests; they come from build/native (SFX_NATIVE_BIN overrides), built first
# if needed. SFX_WINE32 and SFX_WINE override the two Wine loaders.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
native_bin=${SFX_NATIVE_BIN:-$root/build/native/bin}
fail() { echo "test-windows: $*" >&2; exit 1; }

# 32-bit Wine, and the kernel's side of running it (lost at every reboot).
scripts/install-wine32.sh

for preset in mingw-i686 mingw-x86_64; do
  echo "== $preset: build"
  cmake --preset "$preset" >/dev/null
  # Only what is shipped or run here: the stub and the SETUP.EXE stand-in.
  cmake --build --preset "$preset" --target sfxstub setup_recorder
done
i686_bin=$root/build/mingw-i686/bin
x86_64_bin=$root/build/mingw-x86_64/bin

if [ ! -x "$native_bin/stub_e2e_test" ] || [ ! -x "$native_bin/integrity_e2e_test" ] ||
   [ ! -x "$native_bin/windows_build_test" ] ||
   [ ! -x "$native_bin/sfxpack" ]; then
  echo "== native: build (for the test programs)"
  cmake --preset native >/dev/null
  cmake --build --preset native
  native_bin=$root/build/native/bin
fi

echo "== Windows builds: static checks ($(stat -c %s "$i686_bin/sfxstub.exe") bytes for the i686 stub)"
if SFX_TEST_WINDOWS_I686_BIN=$i686_bin SFX_TEST_WINDOWS_X86_64_BIN=$x86_64_bin \
     "$native_bin/windows_build_test"; then
  [ -z "${SFX_VERDICTS:-}" ] || echo "PASS Windows static checks" >>"$SFX_VERDICTS"
else
  [ -z "${SFX_VERDICTS:-}" ] || echo "FAIL Windows static checks" >>"$SFX_VERDICTS"
  fail "the Windows builds fail their static checks"
fi

# One private Wine prefix and one persistent wineserver for the whole run:
# starting a server for every stub run would cost seconds each. The server's
# standard streams go to /dev/null so that it holds no test's pipe open (a
# test reading the stub's stderr to its end would otherwise wait for it).
# The prefix is a 64-bit one; with wine32 installed it runs 32-bit programs
# as well, each started by the 32-bit loader.
wine64=${SFX_WINE:-/usr/lib/wine/wine64}
wine32=${SFX_WINE32:-/usr/lib/wine/wine}
wineserver=${SFX_WINESERVER:-/usr/lib/wine/wineserver}
for loader in "$wine64" "$wine32" "$wineserver"; do
  [ -x "$loader" ] || fail "$loader is missing (scripts/install-deps.sh installs Wine)"
done
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
"$wine64" wineboot -i </dev/null >/dev/null 2>&1

# One 32-bit program first, so that a Wine that cannot run the i686 build at
# all says so in one line instead of through every test.
mkdir "$scratch/check"
if ! (cd "$scratch/check" && "$wine32" "$i686_bin/setup_recorder.exe" </dev/null >/dev/null 2>"$scratch/check.err") ||
   [ ! -e "$scratch/check/SETUP.LOG" ]; then
  reason=$(tail -n 1 "$scratch/check.err")
  fail "32-bit Wine ($wine32) cannot run $i686_bin/setup_recorder.exe: ${reason:-no record, no message}"
fi

# The end-to-end suite, the signed package and both sides of the own-path
# edge, against the build in $2 started by the loader $3. Every step runs
# even after one has failed, and so does the other build, so that a fault
# shows whether it is one build's or both.
run_windows_tests() {
  local name=$1 bin=$2 runner=$3 started=$SECONDS passed=true
  echo "== Wine: end-to-end tests of the $name stub"
  for suite in stub_e2e_test integrity_e2e_test; do
    SFX_TEST_STUB=$bin/sfxstub.exe SFX_TEST_RUNNER=$runner SFX_TEST_SETUP=$bin/setup_recorder.exe \
      "$native_bin/$suite" || passed=false
  done
  echo "== Wine: a signed $name package, and the edge of the own-path room"
  tests/windows/signed_package_test.sh "$bin" "$native_bin/sfxpack" "$runner" || passed=false
  tests/windows/own_path_test.sh "$bin" "$native_bin/sfxpack" "$runner" || passed=false
  $passed || return 1
  echo "== Wine: the $name stub passed in $((SECONDS - started)) s"
}
# The release as a user unpacks it, under 32-bit Wine like the stub it ships.
run_release_test() {
  echo "== Wine: the release archives, sfxpack.exe"
  tests/windows/release_test.sh "$i686_bin/setup_recorder.exe" "$wine32"
}

# A stub built with the sample resource script: it must carry the sample's
# version information and manifest and still pass the end-to-end tests.
run_branded_test() {
  local build=$root/build/mingw-i686-branded
  echo "== Wine: a branded i686 stub"
  cmake --preset mingw-i686 -B "$build" -DSFX_BUILD_TESTS=OFF \
    "-DSFX_STUB_RESOURCES=$root/branding/sample.rc" >/dev/null
  cmake --build "$build" --target sfxstub >/dev/null
  local stub=$build/bin/sfxstub.exe
  # grep without -q reads to the end: an early exit would fail the pipe.
  strings -el "$stub" | grep -x "Example Product installer" >/dev/null ||
    { echo "the branded stub lacks the sample's version information" >&2; return 1; }
  strings "$stub" | grep 'requestedExecutionLevel level="asInvoker"' >/dev/null ||
    { echo "the branded stub lacks the sample's manifest" >&2; return 1; }
  i686-w64-mingw32-objdump -p "$stub" | grep "KERNEL32.dll" >/dev/null || return 1
  SFX_TEST_STUB=$stub SFX_TEST_RUNNER=$wine32 SFX_TEST_SETUP=$i686_bin/setup_recorder.exe \
    "$native_bin/stub_e2e_test"
}

verdict() {  # name, then the command
  local name=$1
  shift
  if "$@"; then
    [ -z "${SFX_VERDICTS:-}" ] || echo "PASS $name" >>"$SFX_VERDICTS"
  else
    [ -z "${SFX_VERDICTS:-}" ] || echo "FAIL $name" >>"$SFX_VERDICTS"
    return 1
  fi
}
failed=()
verdict "Windows i686" run_windows_tests i686 "$i686_bin" "$wine32" || failed+=(i686)
verdict "Windows x86_64" run_windows_tests x86_64 "$x86_64_bin" "$wine64" || failed+=(x86_64)
verdict "Windows release" run_release_test || failed+=(release)
verdict "Windows branded stub" run_branded_test || failed+=(branded)
[ ${#failed[@]} -eq 0 ] || fail "failed under Wine: ${failed[*]} (see above)"
echo "== Windows: all passed in $SECONDS s"
