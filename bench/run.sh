#!/usr/bin/env bash
# The benchmark in one command: installs what it needs, builds the native stub
# and packer into build/bench, generates incompressible payloads under
# /var/tmp (or $TMPDIR), times sfxstub against cp and the peer self-extractors
# and writes bench/results.md. Takes about a quarter of an hour and needs
# about 9 GiB of free disk.
#
#   bench/run.sh                 the full run (example, 1 GiB, 12 x 64 MiB)
#   bench/run.sh --quick         big and wide cut to 1/16, results in build/bench/
#   bench/run.sh --runs 9 --payloads big,wide
#   bench/run.sh --baseline DIR  also times the sfxstub and sfxpack in DIR (an earlier build)
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

build=build/bench
cmake --preset native -B "$build" -DSFX_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target sfxstub sfxpack

output=bench/results.md
for argument in "$@"; do
  # A trial run must not overwrite the published results.
  if [ "$argument" = --quick ]; then output="$build/results-quick.md"; fi
done

exec python3 -B bench/bench.py --stub "$build/bin/sfxstub" --packer "$build/bin/sfxpack" \
  --output "$output" "$@"
