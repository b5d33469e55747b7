#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Zuvo2.
# Quick when everything is present: apt is only called for missing packages.
set -euo pipefail
pkgs=(g++ cmake make pkg-config
      qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
      libqt6opengl6-dev libgl-dev libfftw3-dev
      libqt6svg6 qt6-qpa-plugins fonts-dejavu-core)
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
