#!/usr/bin/env bash
# Builds the project with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-rel-asan and runs the unit and reliability tests there (all but the
# tests labelled slow). Exits non-zero when a test fails or a sanitizer
# reports anything.
#   scripts/test-sanitize.sh [extra ctest arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/setup.sh

# strace: the ordering test traces the program (it skips without it).
picrelink_install_packages build-essential cmake ninja-build libgtest-dev libgmock-dev \
  nlohmann-json3-dev strace

build=build-rel-asan
# -O1 and line tables only: the sanitizers' reports keep their stack traces
# with file and line, and the build takes half the time of -O2 -g. The slow
# tests are not run here, so they are not built either.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPICRELINK_SANITIZE=ON \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g1 -DNDEBUG" \
  -DPICRELINK_BUILD_UI=OFF -DPICRELINK_BUILD_BENCH=OFF -DPICRELINK_BUILD_SLOW_TESTS=OFF
cmake --build "$build" -j "$(nproc)"

# Any report ends the process with an error, so that the test fails.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The kills at every call run the program hundreds of times only to stop it
# dead, where no sanitizer can report; the Linux suite runs them, and the
# injected faults here take the same tidy-up path through a whole run.
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" -LE slow -E '^Runs/KillAtEveryCall\.' "$@"
