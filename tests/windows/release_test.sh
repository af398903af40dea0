#!/usr/bin/env bash
# The release as a user gets it: makes the archives (scripts/release.sh),
# unpacks the Linux one and checks that its sfxpack, with no --stub, makes a
# 32-bit Windows package that runs under Wine and installs its files; then
# unpacks the Windows ZIP and checks that its sfxpack.exe, run under Wine,
# makes the same bytes and that its list, verify and extract agree with the
# native packer's.
#
# Usage: release_test.sh SETUP_RECORDER RUNNER
#   SETUP_RECORDER  an i686 setup_recorder.exe, packed as SETUP.EXE
#   RUNNER          the program that runs a 32-bit Windows executable
# Expects WINEPREFIX (and a running wineserver) from the caller.
set -euo pipefail
: "${WINEPREFIX:?is not set: run this from scripts/test-windows.sh}"
recorder=$1 runner=$2
root=$(cd "$(dirname "$0")/../.." && pwd)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "release test: $*" >&2; exit 1; }

"$root/scripts/release.sh" >/dev/null
version=$(sed -n 's/^project(sfx LANGUAGES CXX VERSION \([0-9.]*\))$/\1/p' "$root/CMakeLists.txt")
tar -xzf "$root/build/release/sfx-$version-linux-x86_64.tar.gz" -C "$scratch"
unzip -q "$root/build/release/sfx-$version-windows-i686.zip" -d "$scratch"
linux=$scratch/sfx-$version-linux-x86_64
windows=$scratch/sfx-$version-windows-i686
for file in bin/sfxpack share/man/man1/sfxpack.1 share/doc/sfx/LICENSE \
            share/sfx/stubs/windows-i686/sfxstub.exe share/sfx/stubs/windows-x86_64/sfxstub.exe; do
  [ -f "$linux/$file" ] || fail "the Linux archive lacks $file"
done
for file in bin/sfxpack.exe share/doc/sfx/README.md share/doc/sfx/LICENSE \
            share/sfx/stubs/windows-i686/sfxstub.exe share/sfx/stubs/windows-x86_64/sfxstub.exe; do
  [ -f "$windows/$file" ] || fail "the Windows archive lacks $file"
done

cd "$scratch"
mkdir in run extracted
cp "$recorder" in/SETUP.EXE
printf 'read me\n' > in/README.TXT
head -c 100001 /dev/urandom > in/DATA.BIN

# The default target is the 32-bit Windows stub: a PE32 image for i386.
"$linux/bin/sfxpack" create -o native.exe in/SETUP.EXE in/README.TXT in/DATA.BIN
pe=$(od -An -tu4 -j60 -N4 native.exe | tr -d ' ')
[ "$(od -An -c -j"$pe" -N4 native.exe | tr -d ' ')" = 'PE\0\0' ] || fail "no PE header"
[ "$(od -An -tx2 -j$((pe + 4)) -N2 native.exe | tr -d ' ')" = 014c ] || fail "not an i386 program"

(cd run && "$runner" ../native.exe) || fail "the package ended with status $?"
for _ in $(seq 100); do [ -e run/SETUP.LOG ] && break; sleep 0.2; done
[ -e run/SETUP.LOG ] || fail "the package did not start SETUP.EXE"
for name in SETUP.EXE README.TXT DATA.BIN; do
  cmp -s "in/$name" "run/$name" || fail "$name differs after running the package"
done

# sfxpack.exe from the ZIP: the same bytes, and the same judgement.
"$runner" "$windows/bin/sfxpack.exe" create -o windows.exe in/SETUP.EXE in/README.TXT in/DATA.BIN \
  || fail "sfxpack.exe create failed"
cmp -s native.exe windows.exe || fail "sfxpack.exe made other bytes than sfxpack"
strip_cr() { tr -d '\r'; }
diff <("$linux/bin/sfxpack" list --json native.exe | sed 's/"native.exe"/"P"/') \
     <("$runner" "$windows/bin/sfxpack.exe" list --json windows.exe | strip_cr | sed 's/"windows.exe"/"P"/') \
  || fail "list --json differs"
"$runner" "$windows/bin/sfxpack.exe" verify windows.exe >/dev/null || fail "sfxpack.exe verify failed"
head -c 50200 windows.exe > cut.exe
if "$runner" "$windows/bin/sfxpack.exe" verify cut.exe >/dev/null 2>&1; then
  fail "sfxpack.exe verify passed a cut package"
fi
"$runner" "$windows/bin/sfxpack.exe" extract -q -C extracted windows.exe || fail "extract failed"
for name in SETUP.EXE README.TXT DATA.BIN; do
  cmp -s "in/$name" "extracted/$name" || fail "$name differs after sfxpack.exe extract"
done
echo "release test: the archives install, and sfxpack.exe agrees with sfxpack"
