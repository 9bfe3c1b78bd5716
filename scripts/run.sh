#!/usr/bin/env bash
# Sets up everything, builds an optimised quillon and starts it on the current X display.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQLN_TESTS=ON
cmake --build build/release --target quillon
exec build/release/bin/quillon "$@"
