#!/usr/bin/env bash
# Fuzzes the INI reader and the image parser for a bounded time each.
set -euo pipefail
exec "$(dirname "$0")/../fuzz.sh" "${TESSALOAD_FUZZ_SECONDS:-20}"
