#!/usr/bin/env bash
# The stub finds its own file by the path the system reports, in room for 255
# characters with the terminator. Under Wine, checks both sides of that edge:
# a package whose full path has 254 characters runs; one of 255 stops with
# one line and status 4 instead of opening a cut-short path.
#
# Usage: own_path_test.sh WINDOWS_BIN SFXPACK RUNNER
#   WINDOWS_BIN  folder with sfxstub.exe and setup_recorder.exe
#   SFXPACK      the native packer
#   RUNNER       the Wine loader for that build (wine for i686, wine64 for x86_64)
# Expects WINEPREFIX (and a running wineserver) from the caller; its drive Z:
# is the root of this file system, as in a fresh prefix.
set -euo pipefail
: "${WINEPREFIX:?is not set: run this from scripts/test-windows.sh}"
windows_bin=$1 sfxpack=$2 runner=$3

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "own path test: $*" >&2; exit 1; }

printf 'payload\n' > "$scratch/README.TXT"
"$sfxpack" create -o "$scratch/package.exe" --stub "$windows_bin/sfxstub.exe" \
  "$scratch/README.TXT" "SETUP.EXE=$windows_bin/setup_recorder.exe"

# A folder deep enough that a file name of a few characters reaches the edge.
folder=$scratch
while [ ${#folder} -lt 200 ]; do folder=$folder/nested-folder-name; done
mkdir -p "$folder"

# Runs the package under a name that makes its Windows path (Z:\...) exactly
# $1 characters long; leaves the status in $status and stderr in $error.
# Standard error goes through a file, not a pipe: a Wine service started by
# this run could hold a pipe open long after the stub has exited.
run_with_path_length() {
  local windows_prefix_length=$((2 + ${#folder} + 1))  # "Z:" folder "\"
  local stem_length=$(($1 - windows_prefix_length - 4))
  local name
  name=$(head -c "$stem_length" /dev/zero | tr '\0' p).exe
  rm -rf "$folder"/*
  cp "$scratch/package.exe" "$folder/$name"
  status=0
  (cd "$folder" && "$runner" "./$name" >/dev/null 2>"$scratch/stderr") || status=$?
  error=$(cat "$scratch/stderr")
}

run_with_path_length 254
[ "$status" -eq 0 ] || fail "a path of 254 characters: status $status, $error"
cmp "$scratch/README.TXT" "$folder/README.TXT" || fail "a path of 254 characters: README.TXT differs"

run_with_path_length 255
[ "$status" -eq 4 ] || fail "a path of 255 characters: status $status, expected 4"
[ "$error" = $'Unable to find the path of the running program.\r' ] ||
  fail "a path of 255 characters: stderr was '$error'"
[ ! -e "$folder/README.TXT" ] || fail "a path of 255 characters: files were written"
echo "own path test: passed"
