#!/usr/bin/env bash
# Installs what is missing, builds Calvenza and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DCALVENZA_BENCH=OFF
cmake --build build -j"$(nproc)" --target calvenza
exec ./build/src/calvenza "$@"
