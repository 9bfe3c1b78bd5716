#!/usr/bin/env bash
# Builds optimised benchmarks and runs them; each prints its figures, its last line a summary.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQLN_TEST_SEAMS=ON
cmake --build build/bench --target quillon click_timing hotkey_latency record_rate session_io \
  window_start playback_timing update_download control_latency
unset DISPLAY
for bench in click_timing hotkey_latency record_rate session_io window_start playback_timing \
  update_download control_latency; do
  "build/bench/bench/$bench"
done
