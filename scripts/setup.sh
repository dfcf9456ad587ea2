#!/usr/bin/env bash
# Installs everything the build and the tests need, then builds and installs
# the module. Safe to run again: only missing pieces are installed.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(g++ cmake pkg-config libcurl4-openssl-dev zlib1g-dev libssl-dev nlohmann-json3-dev python3-dev)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

PYTHON="${PYTHON:-python3}"
"$PYTHON" -m pip install -q --disable-pip-version-check --root-user-action=ignore pytest
"$PYTHON" -m pip install -q --disable-pip-version-check --root-user-action=ignore .
