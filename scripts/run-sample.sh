#!/usr/bin/env bash
# Builds Zuvo2's programs if needed (the window, zuvo2-recon, zuvo2-series,
# zuvo2-shot, zuvo2-sample), writes the sample measurements and runs both
# example batch programs unattended; prints where the pictures, data files,
# spectra and maps are and how long each example took.
#   out/sample/         CT series        (zuvo2-sample)
#   out/sample-xafs/    CT-XAFS series   (zuvo2-sample -k xafs, with drift and measured spectra)
#   out/results/        what the examples saved
# The examples use paths relative to the project root, so everything runs there.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${ZUVO2_BUILD_DIR:-build}
bash scripts/setup.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
# Every program the README's next steps use.
cmake --build "$build" -j"$(nproc)" --target zuvo2 zuvo2-sample zuvo2-recon zuvo2-series zuvo2-shot

rm -rf out/sample out/sample-xafs out/results
"$build"/zuvo2-sample out/sample
# Drift between energies, and absorbers mixed from two measured iron spectra.
"$build"/zuvo2-sample -k xafs --drift 4 --spectra tests/xafs/data/feo_rt1.xdi,tests/xafs/data/fe2o3_rt1.xmu \
  --fractions 0.3,0.8 out/sample-xafs

export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
declare -A took
for prog in ct-series ct-xafs; do
  echo "== running examples/$prog.bat"
  start=$(date +%s.%N)
  # -q ends the process when the program stops; the time-out guards the rest.
  timeout 600 "$build"/zuvo2 -nw -e -b examples/$prog.bat -x -q > "out/$prog.log" 2>&1 ||
    { echo "run-sample: examples/$prog.bat failed, see out/$prog.log" >&2; exit 1; }
  took[$prog]=$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
done

for prog in ct-series ct-xafs; do
  echo "$prog: ${took[$prog]} s"
  kinds="pictures data"
  [ "$prog" = ct-xafs ] && kinds="$kinds xafs"
  for kind in $kinds; do
    dir=out/results/$prog/$kind
    echo "  $kind: $(ls "$dir" 2>/dev/null | wc -l) files in $PWD/$dir"
  done
done
echo "  (xafs: shifts.csv, the spectra as CSV and XDI, the maps as float TIFF and PNG, lcf/ the fraction maps,"
echo "   xafs-run.json lists them)"
echo "logs: $PWD/out/ct-series.log, $PWD/out/ct-xafs.log"
echo "open the window on the sample: $build/zuvo2 -d out/sample"
