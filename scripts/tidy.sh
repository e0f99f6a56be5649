#!/usr/bin/env bash
# clang-tidy over src/ with the checks in .clang-tidy; non-zero on any finding.
# Usage: scripts/tidy.sh [BUILD_DIR] (a configured and built gcc build: it needs moc's output)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
[ -f "$build/compile_commands.json" ] || { echo "tidy.sh: no $build/compile_commands.json" >&2; exit 1; }
find src -name '*.cpp' -print0 | sort -z \
    | xargs -0 -n 2 -P "$(nproc)" clang-tidy -p "$build" --quiet 2>/dev/null
