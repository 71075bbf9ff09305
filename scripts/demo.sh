#!/usr/bin/env bash
# The main job: builds the tools and updates a simulated codec as a factory
# script would, showing what the script sees (console, Result.txt, exit code)
# and the codec before and after.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
scripts/deps.sh
scripts/build.sh build
bin=$root/build/bin
station=$(mktemp -d)
trap 'rm -rf "$station"' EXIT
cp "$bin/tessaload" "$station/"
cd "$station"

step() { echo; echo "== $*"; }
run() {
  set +e
  TESSALOAD_SIM="$station/bench" ./tessaload "$@"
  local code=$?
  set -e
  echo
  echo "   exit code $code, Result.txt ends in \"$(tail -c 4 Result.txt)\""
}

printf '[Quillox Config]\r\nLogType=1\r\n' > config.ini   # a burn_result.txt row per run

step "a bench with a VMC2232 codec running firmware 4.119.0000-0000.0007 (station $station)"
"$bin/tessaload-image" build --chip VMC2232 --version 4.119.0000-0000.0007 -o old.bin
"$bin/tessaload-image" build --chip VMC2232 --version 4.120.0000-0000.0001 -o new.bin
"$bin/tessaload-sim" create bench
"$bin/tessaload-sim" add bench codec --chip VMC2232 --firmware old.bin
"$bin/tessaload-sim" show bench codec

step "tessaload -f -version fw.bin";    run -f -version fw.bin
step "tessaload -f -write new.bin";     run -f -write new.bin
step "tessaload -f -version fw.bin";    run -f -version fw.bin
step "tessaload -f -verify new.bin   (reads the flash from the boot ROM's update mode)"
run -f -verify new.bin
step "tessaload -f -dumpspi dump.bin"; run -f -dumpspi dump.bin
cmp -s dump.bin new.bin && echo "   dump.bin equals new.bin" || echo "   dump.bin differs from new.bin"
step "burn_result.txt"
cat burn_result.txt
step "the codec after a power cycle: it runs the new firmware"
"$bin/tessaload-sim" unplug bench codec
"$bin/tessaload-sim" plug bench codec
"$bin/tessaload-sim" show bench codec
