#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-rel-asan (clang; see picrelink_configure_sanitized in setup.sh) and
# runs the unit and reliability tests there (all but the tests labelled
# slow). Exits non-zero when a test fails or a sanitizer reports anything.
#   scripts/test-sanitize.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

# strace: the ordering test traces the program (it skips without it).
picrelink_install_packages "${PICRELINK_SANITIZED_PACKAGES[@]}"
picrelink_configure_sanitized
build=$PICRELINK_SANITIZED_BUILD
cmake --build "$build" -j "$(nproc)"

# Any report ends the process with an error, so that the test fails.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The kills at every call run the program hundreds of times only to stop it
# dead, where no sanitizer can report; the Linux suite runs them, and the
# injected faults here take the same tidy-up path through a whole run.
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -LE slow -E '^Runs/KillAtEveryCall\.' "$@"
