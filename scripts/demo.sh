#!/usr/bin/env bash
# The main job: builds everything (native preset), packs a sample directory
# with sfxpack, runs the package in a fresh temporary directory and shows the
# files it left there and what SETUP.EXE recorded about how it was started.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --preset native >/dev/null
cmake --build --preset native
bin="$PWD/build/native/bin"

demo="$(mktemp -d)"
trap 'rm -rf "$demo"' EXIT
mkdir "$demo/sample" "$demo/run"

# The sample: a setup program, a text file, an empty file and some binary data.
# SETUP.EXE is a shell script standing in for an installer: it records its
# command line and directory, under another name first so that a record that
# exists is complete.
cat > "$demo/sample/SETUP.EXE" <<'SCRIPT'
#!/bin/sh
printf 'started as: %s, arguments: %d\ndirectory: %s\n' "$0" "$#" "$(pwd -P)" > SETUP.LOG.part
mv SETUP.LOG.part SETUP.LOG
SCRIPT
echo "Thank you for installing the sample." > "$demo/sample/README.TXT"
: > "$demo/sample/EMPTY.DAT"
head -c 100000 /dev/urandom > "$demo/sample/data.bin"

echo
echo "== sfxpack create"
"$bin/sfxpack" create -o "$demo/sample.exe" "$demo/sample/SETUP.EXE" \
  "$demo/sample/README.TXT" "$demo/sample/EMPTY.DAT" "DATA.BIN=$demo/sample/data.bin"
ls -l "$demo/sample.exe"

echo
echo "== sfxpack list"
"$bin/sfxpack" list "$demo/sample.exe"

echo
echo "== sfxpack verify"
"$bin/sfxpack" verify "$demo/sample.exe"

echo
echo "== running the package in an empty directory"
status=0
(cd "$demo/run" && "$demo/sample.exe") || status=$?
echo "exit status: $status"
# The package does not wait for SETUP.EXE; give it a moment to record.
for _ in $(seq 100); do [ -e "$demo/run/SETUP.LOG" ] && break; sleep 0.1; done
ls -l "$demo/run"

echo
echo "== what SETUP.EXE recorded"
cat "$demo/run/SETUP.LOG"

echo
echo "== every file identical to the sample"
cmp "$demo/sample/SETUP.EXE" "$demo/run/SETUP.EXE"
cmp "$demo/sample/README.TXT" "$demo/run/README.TXT"
cmp "$demo/sample/EMPTY.DAT" "$demo/run/EMPTY.DAT"
cmp "$demo/sample/data.bin" "$demo/run/DATA.BIN"
echo "yes"
