#!/usr/bin/env bash
# Installs what is missing, builds Calvenza with its tests and runs them all; then the same tests
# under AddressSanitizer and UndefinedBehaviorSanitizer, the fuzzers for a bounded time and
# clang-tidy. Non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON \
    -DCALVENZA_SANITIZE=ON -DCALVENZA_BENCH=OFF
cmake --build build-asan -j"$jobs"
# The package check and the end-to-end runs test the installed program, not memory safety.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j"$jobs" -E '^(package_check|e2e_.*)$'

echo "== libFuzzer"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCALVENZA_FUZZ=ON -DBUILD_TESTING=OFF -DCALVENZA_BENCH=OFF
fuzzers=()
for f in fuzz/fuzz_*.cpp; do fuzzers+=("$(basename "$f" .cpp)"); done
cmake --build build-fuzz -j"$jobs" --target "${fuzzers[@]}"
seconds=${CALVENZA_FUZZ_SECONDS:-30}
mkdir -p build-fuzz/artifacts
for t in "${fuzzers[@]}"; do
    # New inputs go to a scratch directory; the seeds in the repository stay as they are.
    scratch=$(mktemp -d)
    echo "-- $t (${seconds} s)"
    if ! QT_QPA_PLATFORM=offscreen build-fuzz/fuzz/"$t" -max_total_time="$seconds" \
        -artifact_prefix=build-fuzz/artifacts/"$t"- "$scratch" fuzz/corpus/"$t" \
        >build-fuzz/"$t".log 2>&1; then
        tail -n 40 build-fuzz/"$t".log
        echo "$t ha trovato un errore: l'input è in build-fuzz/artifacts/" >&2
        rm -rf "$scratch"
        exit 1
    fi
    grep -E '^Done [0-9]+ runs' build-fuzz/"$t".log || true
    rm -rf "$scratch"
done

echo "== clang-tidy"
bash scripts/tidy.sh build
echo "Tutti i controlli sono passati."
