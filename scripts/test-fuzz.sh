#!/usr/bin/env bash
# Builds the libFuzzer targets (preset `fuzz`: clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time on a copy of its
# committed seed corpus, which it extends with the new inputs it finds. Any
# crash, sanitizer report, leak, hang or broken oracle fails the run; the input
# that caused it is kept in build/fuzz/findings/<target>/ and the log's tail is
# shown.
#
#   FUZZ_SECONDS  time per target (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${FUZZ_SECONDS:-60}"

echo "== fuzz: build"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target all_fuzz_targets

# Absolute paths throughout: the extraction target works in a directory of its own.
build="$PWD/build/fuzz"
failed=()
for binary in "$build"/bin/fuzz_*; do
  target=$(basename "$binary")
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  log="$build/logs/$target.log"
  rm -rf "$corpus" "$findings"
  mkdir -p "$corpus" "$findings" "$(dirname "$log")"
  # A copy, so that the inputs a run adds never land among the committed seeds.
  cp fuzz/corpus/"$target"/* "$corpus"/

  echo "== fuzz: $target, ${seconds}s"
  if "$binary" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$findings/" "$corpus" >"$log" 2>&1; then
    executed=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
    echo "   $executed inputs, $rate/s, $coverage, corpus $(ls "$corpus" | wc -l) inputs"
  else
    echo "   FAILED: the last lines of $log, the input in $findings/:"
    tail -n 40 "$log" | sed 's/^/   | /'
    failed+=("$target")
  fi
done

if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz: findings in ${failed[*]}" >&2
  exit 1
fi
