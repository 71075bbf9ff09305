#!/usr/bin/env bash
# scripts/build.sh DIR [cmake options...]: configures and builds into DIR.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=$1
shift
launcher=()
if command -v ccache > /dev/null; then
  # Paths relative to the checkout, so that several checkouts share one cache.
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$root}" CCACHE_NOHASHDIR="${CCACHE_NOHASHDIR:-true}"
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$root" -B "$root/$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" "$@" > "$root/$dir.configure.log" 2>&1 ||
  { cat "$root/$dir.configure.log"; exit 1; }
cmake --build "$root/$dir"
