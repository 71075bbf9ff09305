#!/usr/bin/env bash
# Builds and runs every test: the normal build, then the whole suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer (any report fails).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/deps.sh
jobs=$(nproc)

echo "== build"
scripts/build.sh build
echo "== tests"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== build (AddressSanitizer, UndefinedBehaviorSanitizer)"
# -O1: the power-loss sweeps and hostile tables run thousands of writes, far
# too slow unoptimised under the sanitizers.
scripts/build.sh build-asan -DTESSALOAD_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1"
echo "== tests (AddressSanitizer, UndefinedBehaviorSanitizer)"
ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

for extra in scripts/test.d/*.sh; do
  [[ -e "$extra" ]] || continue
  echo "== $(basename "$extra" .sh)"
  bash "$extra"
done

# One closing line for the whole run (set -e has stopped at any failure).
passed=0
for dir in build build-asan; do
  passed=$((passed + $(ctest --test-dir "$dir" -N | sed -n 's/^Total Tests: //p')))
done
echo "$passed passed, 0 failed"
