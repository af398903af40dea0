#!/usr/bin/env bash
# The whole test suite: native build and tests, the same under AddressSanitizer
# and UndefinedBehaviorSanitizer, the Windows builds (static checks of both,
# end-to-end tests of the 32-bit stub under 32-bit Wine and of the 64-bit one
# under wine64) and a bounded run of every fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

for preset in native sanitize; do
  echo "== $preset: build and test"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset" -j "$(nproc)"
done

scripts/test-windows.sh
scripts/test-fuzz.sh
