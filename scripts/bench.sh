#!/usr/bin/env bash
# scripts/bench.sh: builds the benchmarks and runs them (a few seconds). They
# print what the tool costs on the simulated bench; they are not tests.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/deps.sh
scripts/build.sh build
build/bin/flash_update
build/bin/gang
build/bin/job_overhead
