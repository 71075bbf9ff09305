#!/usr/bin/env bash
# scripts/fuzz.sh [SECONDS]: builds the libFuzzer targets with clang (in
# build-fuzz), seeds their corpora from the built-in data, and runs each for
# SECONDS (default 25). Any crash or sanitizer report fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-25}
out=$root/build-fuzz
mkdir -p "$out"
cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTESSALOAD_FUZZ=ON \
  "-DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
  "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined" \
  -DTESSALOAD_TESTS=OFF -DTESSALOAD_WINDOW=OFF > "$out/configure.log" 2>&1 ||
  { cat "$out/configure.log"; exit 1; }
cmake --build "$out" --target fuzz_ini_reader fuzz_image_parser tessaload-image

seeds=$out/fuzz-seeds
rm -rf "$seeds"
mkdir -p "$seeds/ini" "$seeds/image"
cp "$root"/resources/ic/*.ini "$root"/resources/ini/*.ini "$seeds/ini/"
for image in "$out"/resources/images/*.bin; do
  cp "$image" "$seeds/image/"
  # The configuration area alone, as a small seed the mutator works on fast.
  name=$(basename "$image" .bin)
  if [[ $(stat -c %s "$image") -ge 65536 ]]; then
    tail -c +$((0xF000 + 1)) "$image" | head -c 512 > "$seeds/image/$name.area"
  fi
done

run() {
  local target=$1 corpus=$2
  mkdir -p "$out/corpus/$target"
  echo "== fuzz $target for ${seconds}s"
  "$out/bin/$target" -max_total_time="$seconds" -max_len=70000 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -close_fd_mask=1 "$out/corpus/$target" "$corpus" 2>&1 | tail -n 12
  return "${PIPESTATUS[0]}"
}
run fuzz_ini_reader "$seeds/ini"
run fuzz_image_parser "$seeds/image"
