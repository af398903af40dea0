#!/usr/bin/env bash
# The main job: builds everything (native preset), packs a sample directory
# with sfxpack, runs the package in an empty directory and shows the files it
# left there and what SETUP.EXE recorded about how it was started. With Wine
# present it also builds the 32-bit Windows stub and runs a Windows package.
# Everything it made stays in build/demo/, to look at afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh demo

cmake --preset native >/dev/null
cmake --build --preset native
bin="$PWD/build/native/bin"

demo="$PWD/build/demo"
rm -rf "$demo"
mkdir -p "$demo/sample" "$demo/run"

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
echo "== sfxpack create (a Linux package: --target native)"
"$bin/sfxpack" create --target native -o "$demo/sample-package" "$demo/sample/SETUP.EXE" \
  "$demo/sample/README.TXT" "$demo/sample/EMPTY.DAT" "DATA.BIN=$demo/sample/data.bin"
ls -l "$demo/sample-package"

echo
echo "== sfxpack list"
"$bin/sfxpack" list "$demo/sample-package"

echo
echo "== sfxpack verify"
"$bin/sfxpack" verify "$demo/sample-package"

echo
echo "== running the package in an empty directory"
status=0
(cd "$demo/run" && "$demo/sample-package") || status=$?
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

wine=/usr/lib/wine/wine64
if [ -x "$wine" ]; then
  echo
  echo "== the Windows package: the 32-bit stub, a Windows SETUP.EXE, run under Wine"
  cmake --preset mingw-i686 >/dev/null
  cmake --build --preset mingw-i686 --target sfxstub setup_recorder >/dev/null
  mkdir "$demo/windows-run"
  # The default target: the 32-bit Windows stub built beside sfxpack.
  "$bin/sfxpack" create -o "$demo/sample.exe" \
    "SETUP.EXE=$PWD/build/mingw-i686/bin/setup_recorder.exe" \
    "$demo/sample/README.TXT" "DATA.BIN=$demo/sample/data.bin"
  ls -l "$demo/sample.exe"
  export WINEPREFIX="$demo/wine-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
  status=0
  (cd "$demo/windows-run" && "$wine" "$demo/sample.exe") || status=$?
  echo "exit status: $status"
  for _ in $(seq 150); do [ -e "$demo/windows-run/SETUP.LOG" ] && break; sleep 0.2; done
  ls -l "$demo/windows-run"
  cat "$demo/windows-run/SETUP.LOG" 2>/dev/null || echo "(SETUP.EXE left no record)"
  /usr/lib/wine/wineserver -k 2>/dev/null || true
fi

echo
echo "Everything is in $demo."
