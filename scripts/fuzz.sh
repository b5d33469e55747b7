#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each one for a
# fixed number of inputs from a fixed seed, starting from its corpus in
# tests/fuzz/corpus/<name>/. New inputs go to build-fuzz/fuzz-work/<name>/,
# crashes to build-fuzz/fuzz-artifacts/. Exits non-zero if any target fails.
# ZUVO2_FUZZ_SCALE multiplies every run count (e.g. 100 for a night run).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZUVO2_FUZZ_BUILD_DIR:-build-fuzz}
scale=${ZUVO2_FUZZ_SCALE:-1}

for tool in clang-14 clang++-14; do
  command -v "$tool" >/dev/null || { echo "fuzz: $tool missing (run scripts/setup.sh)" >&2; exit 1; }
done

# shellcheck disable=SC2086
# Line tables only: a crash still names file and line, and compiles are quicker.
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
  -DZUVO2_FUZZ=ON -DZUVO2_BENCH=OFF ${ZUVO2_CMAKE_TOOLS:-} >/dev/null
cmake --build "$build" -j"$(nproc)" --target zuvo2_fuzz

# name runs max_seconds [max_len]: runs sized for a few minutes in all on two
# cores. HDF5 files need more than 4096 bytes for a few small datasets.
targets=(
  "textutils 200000 120"
  "fileenergy 1000000 60"
  "config 40000 120"
  "batch 20000 120"
  "itex 20000 120"
  "h5 10000 180 8192"
)

work="$build/fuzz-work"
art="$build/fuzz-artifacts"
mkdir -p "$art"

fuzz_one() {
  local name runs secs maxlen log start done_line
  read -r name runs secs maxlen <<<"$1"
  maxlen=${maxlen:-4096}
  runs=$((runs * scale)); secs=$((secs * scale))
  mkdir -p "$work/$name"
  log="$build/fuzz-$name.log"
  start=$(date +%s)
  # Corpus first (regression inputs included), then new inputs up to the count.
  if "$build/tests/fuzz/fuzz_$name" -seed=1 -runs="$runs" -max_total_time="$secs" \
       -max_len="$maxlen" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
       -artifact_prefix="$art/$name-" "$work/$name" "tests/fuzz/corpus/$name" >"$log" 2>&1; then
    done_line=$(grep -E '^Done [0-9]+ runs' "$log" | tail -1 || true)
    echo "fuzz_$name: ${done_line:-finished} ($(( $(date +%s) - start )) s)"
  else
    echo "fuzz_$name: FAILED after $(( $(date +%s) - start )) s, see $log and $art/" >&2
    grep -E 'ERROR|property broken|runtime error|SUMMARY' "$log" | head -5 >&2 || true
    return 1
  fi
}

# One target per processor at a time; each is single-threaded and seeded, so
# running side by side changes nothing but the wall time.
failed=0
slots=$(nproc)
running=0
for entry in "${targets[@]}"; do
  if [ "$running" -ge "$slots" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  fuzz_one "$entry" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
exit $failed
