#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Zuvo2.
# Quick when everything is present: apt is only called for missing packages.
# clang-14 with its runtime libraries builds the libFuzzer targets.
# fonts-ipafont-gothic (12 MB, against 91 MB for fonts-noto-cjk) gives the
# default Japanese interface its glyphs. ccache keeps compilations between
# runs of scripts/test.sh; lld links its test programs faster.
set -euo pipefail
pkgs=(g++ cmake make pkg-config
      qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
      qt6-charts-dev libqt6opengl6-dev libgl-dev libfftw3-dev libtiff-dev libhdf5-dev libssl-dev
      libqt6svg6 qt6-qpa-plugins fonts-dejavu-core
      fonts-ipafont-gothic
      clang-14 libclang-rt-14-dev
      ccache lld)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""; [ "$(id -u)" = 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
for tool in clang-14 clang++-14; do
  command -v "$tool" >/dev/null || { echo "setup: $tool still missing" >&2; exit 1; }
done
