#!/usr/bin/env bash
# Sets up everything and runs the whole test suite: the pure tests built by GCC, Debian's
# default compiler, with optimisation; everything under clang's AddressSanitizer and
# UndefinedBehaviorSanitizer (with the fuzz corpora replayed); then the threaded tests again under
# ThreadSanitizer. Display tests start private Xvfb servers of their own.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/format-check.sh

JOBS=${JOBS:-$(nproc)}
CLANG=(-G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14)

# The tests must never reach the user's own X display.
unset DISPLAY

# GCC builds the whole tree, so its warnings fail here too; libFuzzer needs clang, so the fuzz
# corpora are replayed through the plain driver.
cmake -S . -B build/gcc -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=gcc \
  -DCMAKE_CXX_COMPILER=g++ -DQLN_SANITIZE= -DQLN_FUZZ=OFF
cmake --build build/gcc -j "$JOBS"
ctest --test-dir build/gcc -L pure --output-on-failure -j "$JOBS"

cmake -S . -B build/asan "${CLANG[@]}" -DQLN_SANITIZE=address,undefined -DQLN_FUZZ=ON
cmake --build build/asan -j "$JOBS"
# intercept_tls_get_addr=0: clang 14's runtime can misread a dynamic TLS block of the web engine's
# libraries and crash the leak checker's tracer at exit, though nothing leaked.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp \
  ctest --test-dir build/asan --output-on-failure -j "$JOBS"

cmake -S . -B build/tsan "${CLANG[@]}" -DQLN_SANITIZE=thread -DQLN_FUZZ=OFF
# Only the threaded tests run here, so only they (and what they need) are built.
mapfile -t threaded < <(ctest --test-dir build/tsan -L threaded -N | sed -n 's/^ *Test *#[0-9]*: //p')
cmake --build build/tsan -j "$JOBS" --target "${threaded[@]}"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp" \
  ctest --test-dir build/tsan -L threaded --output-on-failure -j "$JOBS"
