#!/usr/bin/env bash
# The gang and the station under ThreadSanitizer: builds only tests_gang and
# the programs it runs (tessaload, tessaload-sim, tessaload-image) with
# -fsanitize=thread, then runs those tests. The jobs the tests start are
# sanitized programs too.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
dir="$root/build-tsan"
launcher=()
if command -v ccache > /dev/null; then
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-true}"
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread -O1 -g" -DCMAKE_C_FLAGS="-fsanitize=thread -O1 -g" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" > "$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; exit 1; }
cmake --build "$dir" --target tests_gang tessaload tessaload-sim tessaload-image
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" TESSALOAD_BINARY_DIR="$dir" "$dir/bin/tests_gang"
