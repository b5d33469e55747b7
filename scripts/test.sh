#!/usr/bin/env bash
# Installs what is missing, then builds and tests Zuvo2 three ways:
#   build/       Release with debug info, every test (ZUVO2_BUILD_DIR)
#   build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer, every test
#   build-fuzz/  clang libFuzzer targets, a fixed seeded run of each (scripts/fuzz.sh)
# Exits non-zero if any stage fails; all stages run even after a failure.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1
jobs=$(nproc)
status=0

stage() {
  local name=$1; shift
  local start=$(date +%s)
  echo "== $name"
  if "$@"; then
    echo "== $name: passed ($(( $(date +%s) - start )) s)"
  else
    echo "== $name: FAILED ($(( $(date +%s) - start )) s)" >&2
    status=1
  fi
}

build_and_test() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" &&
    cmake --build "$dir" -j"$jobs" &&
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs")
}

stage "normal build" build_and_test "${ZUVO2_BUILD_DIR:-build}"
stage "sanitizer build" build_and_test build-asan -DZUVO2_SANITIZE=ON -DZUVO2_BENCH=OFF
stage "fuzzing" bash scripts/fuzz.sh
exit $status
