#!/usr/bin/env bash
# Builds and installs the module, then runs the test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
PYTHON="${PYTHON:-python3}"
# Run from outside the source tree so the installed module is the one tested.
cd tests && "$PYTHON" -m pytest -q -p no:cacheprovider "$@" .
