#!/usr/bin/env bash
# A package signed after packing: its certificate table must stay out of the
# last output file, and out of the length and the last body's checksum that
# the package's integrity record holds. Packs a package (with the record, the
# default) with the Windows stub, signs it with a throw-away key and
# certificate, then checks that the packer's verify finds every checksum
# holding and that its extract and the stub itself, run under Wine, give every
# file back byte for byte.
#
# Usage: signed_package_test.sh WINDOWS_BIN SFXPACK RUNNER
#   WINDOWS_BIN  folder with sfxstub.exe and setup_recorder.exe
#   SFXPACK      the native packer
#   RUNNER       the Wine loader for that build (wine for i686, wine64 for x86_64)
# Expects WINEPREFIX (and a running wineserver) from the caller.
set -euo pipefail
: "${WINEPREFIX:?is not set: run this from scripts/test-windows.sh}"
windows_bin=$1 sfxpack=$2 runner=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
fail() { echo "signed package test: $*" >&2; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj "/CN=sfx signing test" \
  -keyout key.pem -out certificate.pem 2>/dev/null

# The last file's length is odd, so an unaligned package would show up as
# padding in front of the signature.
head -c 70001 /dev/urandom > LAST.BIN
printf 'first file\n' > README.TXT
cp "$windows_bin/setup_recorder.exe" SETUP.EXE
"$sfxpack" create -o package.exe --stub "$windows_bin/sfxstub.exe" README.TXT SETUP.EXE LAST.BIN
"$sfxpack" list --json package.exe | grep -q '"integrity_record": true' ||
  fail "the package carries no integrity record"

osslsigncode sign -certs certificate.pem -key key.pem -n "sfx signing test" \
  -in package.exe -out signed.exe >/dev/null
[ "$(stat -c %s signed.exe)" -gt "$(stat -c %s package.exe)" ] || fail "signing added nothing"

verified=$("$sfxpack" verify signed.exe) || fail "sfxpack verify refuses the signed package"
[[ $verified == *"every checksum holds"* ]] || fail "sfxpack verify: $verified"
mkdir extracted
"$sfxpack" extract -C extracted signed.exe || fail "sfxpack extract refuses the signed package"
for file in README.TXT SETUP.EXE LAST.BIN; do
  cmp "$file" "extracted/$file" || fail "sfxpack extract: $file differs"
done

mkdir work
(cd work && "$runner" ../signed.exe) || fail "the signed package exited with status $?"
for file in README.TXT SETUP.EXE LAST.BIN; do
  cmp "$file" "work/$file" || fail "the stub: $file differs"
done
# SETUP.EXE runs on after the stub has exited; give it time to leave its record.
for _ in $(seq 100); do [ -e work/SETUP.LOG ] && break; sleep 0.1; done
[ -e work/SETUP.LOG ] || fail "SETUP.EXE did not run"
echo "signed package test: passed"
