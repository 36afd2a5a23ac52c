#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ in the sanitizer build (clang,
# AddressSanitizer and UndefinedBehaviorSanitizer, build-rel-asan: after
# scripts/test-sanitize.sh there is nothing left to build), replays the
# committed corpus of each target and then fuzzes each one for a short,
# bounded time.
# Exits non-zero when any input crashes or breaks a target's property.
#
#   scripts/test-fuzz.sh                    the bounded run that ./test makes
#   PICRELINK_FUZZ_SECONDS=3600 scripts/test-fuzz.sh detection
#                                           one target (or several) for longer
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

picrelink_install_packages "${PICRELINK_SANITIZED_PACKAGES[@]}"

# Six seconds each keeps the whole ./test within its time on two cores; the
# corpus replay still runs every input found before.
seconds=${PICRELINK_FUZZ_SECONDS:-6}
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then
  targets=(replace_all decode_uri detection references level_to_int read_utf16_file)
fi

picrelink_configure_sanitized
build=$PICRELINK_SANITIZED_BUILD
cmake --build "$build" -j "$(nproc)" --target fuzz_targets

artifacts="$build/artifacts"
mkdir -p "$artifacts"
# New inputs that the short runs find stay out of the committed corpus.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

executions=0
failed=()
executed() { sed -n 's/^stat::number_of_executed_units: *//p' "$1" | tail -1; }

for target in "${targets[@]}"; do
  program="$build/fuzz/fuzz_$target"
  corpus="fuzz/corpus/$target"
  dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  common=(-print_final_stats=1 -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$artifacts/$target-")
  mkdir -p "$scratch/$target"

  echo "== $target: replaying $corpus"
  if ! "$program" "${common[@]}" -runs=0 "$corpus" >"$scratch/$target.replay" 2>&1; then
    cat "$scratch/$target.replay"
    failed+=("$target (corpus)")
    continue
  fi
  replayed=$(executed "$scratch/$target.replay")

  echo "== $target: fuzzing for ${seconds}s"
  if ! "$program" "${common[@]}" "${dict[@]}" -max_total_time="$seconds" \
      "$scratch/$target" "$corpus" >"$scratch/$target.fuzz" 2>&1; then
    tail -40 "$scratch/$target.fuzz"
    failed+=("$target")
    continue
  fi
  fuzzed=$(executed "$scratch/$target.fuzz")
  echo "   $replayed corpus inputs replayed, $fuzzed executions"
  executions=$((executions + ${replayed:-0} + ${fuzzed:-0}))
done

echo "[ figures  ] fuzz executions: $executions over ${#targets[@]} targets"
if [ "${#failed[@]}" -ne 0 ]; then
  echo "fuzzing failed: ${failed[*]}; the crashing inputs are in $artifacts" >&2
  echo "(add each as fuzz/corpus/<target>/<name> once it is fixed)" >&2
  exit 1
fi
