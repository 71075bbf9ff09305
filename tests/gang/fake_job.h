#pragma once
// A small job for the supervisor's tests: a shell script that plays one
// behaviour of a real job on a port (`sh job.sh BEHAVIOUR PORT`), writing
// JSON Lines as `tessaload write FILE --port P --json` does.
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

inline constexpr char kFakeJob[] = R"sh(#!/bin/sh
behaviour=$1
port=$2
line() { printf '%s\n' "$1"; }
phase() { line "{\"schema\":1,\"event\":\"phase\",\"port\":\"$port\",\"serial\":\"S$port\",\"name\":\"$1\",\"code\":41719,\"text\":\"Erasing\"}"; }
progress() { line "{\"schema\":1,\"event\":\"progress\",\"port\":\"$port\",\"serial\":\"S$port\",\"percent\":$1}"; }
result() { line "{\"schema\":1,\"event\":\"result\",\"action\":\"${action:-write}\",\"port\":\"$port\",\"serial\":\"S$port\",\"version_before\":\"$5\",\"status\":$1,\"status_text\":\"$2\",\"exit_code\":$3,\"pass\":$4}"; }
stopped() { result 41542 'Stopped!' 1 false; echo "$port" >> "$STOP_LOG"; exit 1; }
case $behaviour in
  pass) phase erase; progress 50; printf '%s' "{\"schema\":1,\"event\":\"progress\",\"port\":\"$port\",\"serial\":\"S$port\",\"percent\":90}"; printf '\n'; result 41755 'Firmware Update Succeed.' 0 true ;;
  fail) phase erase; result 41706 'Update Flash Fail!' 1 false; exit 1 ;;
  refused) result 42045 'Same FW Version, Update Refused!' 2 false; exit 2 ;;
  noisy) line 'not json'; line '{"schema":2,"event":"result","pass":true}'; line '[1,2]'; phase write; result 41755 'Firmware Update Succeed.' 0 true ;;
  lying) result 41755 'Firmware Update Succeed.' 2 true; exit 2 ;;
  quiet) result 41706 'Update Flash Fail!' 0 false ;;
  crash) phase write; progress 30; echo 'about to crash' >&2; kill -KILL $$ ;;
  dies) phase write; echo 'codec gone' >&2; exit 3 ;;
  hang) phase erase; exec sleep 60 ;;
  stubborn) trap '' TERM; phase erase; while :; do sleep 1; done ;;
  stoppable) trap stopped TERM; phase erase; echo "$port" >> "$START_LOG"; while :; do sleep 1 & wait $!; done ;;
  station-version) result 0 '' 0 true "$(cat "$FAKE_DIR/version-$port" 2>/dev/null || echo 4.119.0000-0000.0007)" ;;
  station-write|station-verify)
    action=${behaviour#station-}
    echo "$action $port" >> "$FAKE_DIR/actions"
    if [ -f "$FAKE_DIR/fail-$port" ]; then phase verify; result 41709 'Compare Data Fail!' 1 false; exit 1; fi
    phase write; progress 100; result 41755 'Firmware Update Succeed.' 0 true ;;
esac
)sh";

// The script in `dir` and the command for a behaviour on a port.
inline std::string WriteFakeJob(const TempDir& dir) {
  dir.Write("job.sh", kFakeJob);
  return dir.File("job.sh");
}
inline std::vector<std::string> FakeJobCommand(const std::string& script, const std::string& behaviour,
                                               const std::string& port) {
  return {"/bin/sh", script, behaviour, port};
}
