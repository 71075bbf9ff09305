#!/usr/bin/env bash
# The main job: builds tessaload and runs it as a factory script would, then
# shows what the script sees (console, Result.txt, exit code).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/deps.sh
scripts/build.sh build
station=$(mktemp -d)
trap 'rm -rf "$station"' EXIT
cp build/bin/tessaload "$station/"
echo "== tessaload -f -version firmware.rfw   (station folder $station)"
set +e
(cd "$station" && ./tessaload -f -version firmware.rfw)
code=$?
set -e
echo
echo "== Result.txt"
cat "$station/Result.txt"; echo
echo "== exit code: $code"
