#!/usr/bin/env bash
# Builds Zuvo2 if needed, writes the sample measurements and runs both example
# batch programs unattended; prints where the pictures and data files are.
#   out/sample/         CT series        (zuvo2-sample)
#   out/sample-xafs/    CT-XAFS series   (zuvo2-sample -k xafs)
#   out/results/        what the examples saved
# The examples use paths relative to the project root, so everything runs there.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZUVO2_BUILD_DIR:-build}
bash scripts/setup.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target zuvo2 zuvo2-sample

rm -rf out/sample out/sample-xafs out/results
"$build"/zuvo2-sample out/sample
"$build"/zuvo2-sample -k xafs out/sample-xafs

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
for prog in ct-series ct-xafs; do
  echo "== running examples/$prog.bat"
  # -q ends the process when the program stops; the time-out guards the rest.
  timeout 600 "$build"/zuvo2 -nw -e -b examples/$prog.bat -x -q > "out/$prog.log" 2>&1 ||
    { echo "run-sample: examples/$prog.bat failed, see out/$prog.log" >&2; exit 1; }
done

for prog in ct-series ct-xafs; do
  for kind in pictures data; do
    dir=out/results/$prog/$kind
    echo "$prog $kind: $(ls "$dir" 2>/dev/null | wc -l) files in $PWD/$dir"
  done
done
echo "logs: $PWD/out/ct-series.log, $PWD/out/ct-xafs.log"
echo "open the window on the sample: $build/zuvo2 -d out/sample"
