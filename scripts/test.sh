#!/usr/bin/env bash
# Installs what is missing, then builds and tests Zuvo2 four ways:
#   build/       Release (-O3, as users build it), every test (ZUVO2_BUILD_DIR)
#   build-asan/  AddressSanitizer + UndefinedBehaviorSanitizer, every test
#   build-tsan/  ThreadSanitizer, the threaded tests only (tsan_tests below)
#   build-fuzz/  clang libFuzzer targets, a fixed seeded run of each (scripts/fuzz.sh)
# and a run on a one-node Slurm cluster (scripts/cluster-test.sh), skipped
# with the reason when no cluster can be started here.
# Each stage builds only what it runs (no benchmark programs). The sanitizer
# builds are -O2 with line tables only (-g1): their reports still name file and line,
# and full debug information costs up to 40 % more compile time. Compilations
# go through ccache (in .ccache/ unless CCACHE_DIR says otherwise), so a
# second run compiles only what changed.
# Exits non-zero if any stage fails; all stages run even after a failure.
set -uo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh || exit 1
jobs=$(nproc)
status=0
export CCACHE_DIR=${CCACHE_DIR:-$PWD/.ccache}
# Paths relative to here: the build folders share their entries.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}
export ZUVO2_CMAKE_TOOLS="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
command -v ccache >/dev/null || ZUVO2_CMAKE_TOOLS=""
# LLVM's linker links the test programs in a third of ld's time.
command -v ld.lld >/dev/null &&
  ZUVO2_CMAKE_TOOLS+=" -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld"
san_flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
           "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG")

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
  # shellcheck disable=SC2086
  cmake -S . -B "$dir" -DZUVO2_BENCH=OFF $ZUVO2_CMAKE_TOOLS "$@" &&
    cmake --build "$dir" -j"$jobs" &&
    (cd "$dir" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs")
}

# The tests that run our worker threads: the reconstruction engine and its
# pool, the CT1 pacing thread, the batch interpreter, the sequential driver.
tsan_tests=(tst_ct2run tst_ctcalc tst_batch tst_xafsbatch tst_sessionhost)

# Only those targets are built and run (the other tests start no threads of
# ours), which keeps the stage a few minutes long.
tsan_build_and_test() {
  local re supp=$PWD/tests/fuzz/tsan.supp
  re="^($(IFS='|'; echo "${tsan_tests[*]}"))\$"
  # shellcheck disable=SC2086
  cmake -S . -B build-tsan "${san_flags[@]}" -DZUVO2_TSAN=ON -DZUVO2_BENCH=OFF $ZUVO2_CMAKE_TOOLS &&
    cmake --build build-tsan -j"$jobs" --target "${tsan_tests[@]}" &&
    (cd build-tsan &&
      TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$supp" \
      QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$jobs" -R "$re" --no-tests=error)
}

stage "normal build" build_and_test "${ZUVO2_BUILD_DIR:-build}" -DCMAKE_BUILD_TYPE=Release
stage "sanitizer build" build_and_test build-asan "${san_flags[@]}" -DZUVO2_SANITIZE=ON
stage "thread sanitizer build" tsan_build_and_test
stage "fuzzing" bash scripts/fuzz.sh

# 77: no cluster could be started here; the script said why.
cluster_test() {
  timeout 600 bash scripts/cluster-test.sh
  local rc=$?
  [ $rc = 77 ] && { echo "== cluster test: skipped, see the reason above"; return 0; }
  [ $rc = 124 ] && echo "cluster-test: did not end within 600 s" >&2
  return $rc
}
stage "cluster test" cluster_test
command -v ccache >/dev/null && ccache --show-stats 2>/dev/null | grep -iE '^ *(hits|misses)' || true
exit $status
