#!/usr/bin/env bash
# Sets up everything and runs the whole test suite: once under AddressSanitizer and
# UndefinedBehaviorSanitizer (with the fuzz corpora replayed), then the threaded tests again
# under ThreadSanitizer. Display tests start private Xvfb servers of their own.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/format-check.sh

JOBS=${JOBS:-$(nproc)}
COMMON=(-G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14)

# The tests must never reach the user's own X display.
unset DISPLAY

cmake -S . -B build/asan "${COMMON[@]}" -DQLN_SANITIZE=address,undefined -DQLN_FUZZ=ON
cmake --build build/asan -j "$JOBS"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp \
  ctest --test-dir build/asan --output-on-failure -j "$JOBS"

cmake -S . -B build/tsan "${COMMON[@]}" -DQLN_SANITIZE=thread -DQLN_FUZZ=OFF
cmake --build build/tsan -j "$JOBS"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp" \
  ctest --test-dir build/tsan -L threaded --output-on-failure -j "$JOBS"
