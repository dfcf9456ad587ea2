#!/usr/bin/env bash
# Installs everything the build and the tests need, then builds and installs
# the module. Safe to run again: only missing pieces are installed.
set -euo pipefail
cd "$(dirname "$0")/.."

PYTHON="${PYTHON:-python3}"
PACKAGES=(g++ cmake pkg-config libcurl4-openssl-dev zlib1g-dev libssl-dev nlohmann-json3-dev)
command -v "$PYTHON" >/dev/null 2>&1 || PACKAGES+=(python3 python3-pip python3-dev)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if command -v "$PYTHON" >/dev/null 2>&1; then
  "$PYTHON" -m pip --version >/dev/null 2>&1 || missing+=(python3-pip)
  "$PYTHON" - <<'PY' || missing+=(python3-dev)
import os, sys, sysconfig
sys.exit(0 if os.path.exists(os.path.join(sysconfig.get_paths()["include"], "Python.h")) else 1)
PY
fi
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

# A distribution Python marks its site-packages as externally managed.
export PIP_BREAK_SYSTEM_PACKAGES=1 PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_ROOT_USER_ACTION=ignore
"$PYTHON" -m pip install -q pytest
"$PYTHON" -m pip install -q .
