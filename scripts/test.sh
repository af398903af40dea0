#!/usr/bin/env bash
# The whole test suite, one suite after the other, each run even when one
# before it failed: the native build and tests; the same under
# AddressSanitizer and UndefinedBehaviorSanitizer; the Windows builds (static
# checks, the end-to-end tests of the 32-bit stub under 32-bit Wine and of the
# 64-bit one under wine64, the release archives, a branded stub); a bounded
# run of every fuzz target. Ends with one verdict line per suite and a count.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test || { echo "test.sh: cannot install what the tests need" >&2; exit 1; }

verdicts=$(mktemp)
trap 'rm -f "$verdicts"' EXIT

# Runs a suite (its name, then the command) and records its verdict.
suite() {
  local name=$1
  shift
  echo "== $name"
  if "$@"; then echo "PASS $name" >>"$verdicts"; else echo "FAIL $name" >>"$verdicts"; fi
}

native_suite() {  # preset
  cmake --preset "$1" >/dev/null && cmake --build --preset "$1" &&
    ctest --preset "$1" -j "$(nproc)"
}

suite "native" native_suite native
suite "sanitizers (ASan + UBSan)" native_suite sanitize
# The Windows script records a verdict for each of its parts; only when it
# could record none (a failed build) does it count as one failure here.
before=$(wc -l <"$verdicts")
if ! SFX_VERDICTS=$verdicts scripts/test-windows.sh && [ "$(wc -l <"$verdicts")" -eq "$before" ]; then
  echo "FAIL Windows builds" >>"$verdicts"
fi
suite "fuzzing" scripts/test-fuzz.sh

echo
echo "== verdicts"
cat "$verdicts"
passed=$(grep -c '^PASS' "$verdicts")
failed=$(grep -c '^FAIL' "$verdicts")
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
