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

executed() { sed -n 's/^stat::number_of_executed_units: *//p' "$1" | tail -1; }

# One target: its corpus replayed, then fuzzed. What it says goes to
# $scratch/<target>.said and how it ended to $scratch/<target>.ended, so that
# targets can run side by side and still be reported one after the other.
fuzz_target() {
  local target=$1
  local program="$build/fuzz/fuzz_$target"
  local corpus="fuzz/corpus/$target"
  local dict=()
  [ -f "fuzz/$target.dict" ] && dict=(-dict="fuzz/$target.dict")
  local common=(-print_final_stats=1 -timeout=10 -rss_limit_mb=2048
                -artifact_prefix="$artifacts/$target-")
  mkdir -p "$scratch/$target"
  exec >"$scratch/$target.said" 2>&1

  echo "== $target: replaying $corpus, then fuzzing for ${seconds}s"
  if ! "$program" "${common[@]}" -runs=0 "$corpus" >"$scratch/$target.replay" 2>&1; then
    cat "$scratch/$target.replay"
    echo "$target (corpus)" >"$scratch/$target.ended"
    return
  fi
  if ! "$program" "${common[@]}" "${dict[@]}" -max_total_time="$seconds" \
      "$scratch/$target" "$corpus" >"$scratch/$target.fuzz" 2>&1; then
    tail -40 "$scratch/$target.fuzz"
    echo "$target" >"$scratch/$target.ended"
    return
  fi
  local replayed fuzzed
  replayed=$(executed "$scratch/$target.replay")
  fuzzed=$(executed "$scratch/$target.fuzz")
  echo "   ${replayed:-0} corpus inputs replayed, ${fuzzed:-0} executions"
  echo "ok $((${replayed:-0} + ${fuzzed:-0}))" >"$scratch/$target.ended"
}

# As many targets at a time as there are cores: each fuzzer is one process
# on one core, and every target still gets its whole time.
running=0
for target in "${targets[@]}"; do
  if [ "$running" -ge "$(nproc)" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  fuzz_target "$target" &
  running=$((running + 1))
done
wait

executions=0
failed=()
for target in "${targets[@]}"; do
  cat "$scratch/$target.said"
  ended=$(cat "$scratch/$target.ended" 2>/dev/null || echo "$target (no result)")
  case "$ended" in
    ok\ *) executions=$((executions + ${ended#ok })) ;;
    *) failed+=("$ended") ;;
  esac
done

echo "[ figures  ] fuzz executions: $executions over ${#targets[@]} targets"
if [ "${#failed[@]}" -ne 0 ]; then
  echo "fuzzing failed: ${failed[*]}; the crashing inputs are in $artifacts" >&2
  echo "(add each as fuzz/corpus/<target>/<name> once it is fixed)" >&2
  exit 1
fi
