#!/usr/bin/env bash
# Builds and installs the module, then analyses a sample file and prints the result.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
PYTHON="${PYTHON:-python3}"
FILE="${1:-examples/sample.py}"
"$PYTHON" - "$FILE" <<'PY'
import json, sys
import ovra_python

result = ovra_python.analyze_python_file(sys.argv[1])
result.get("metadata", {}).pop("original_code", None)
print(json.dumps(result, indent=2, default=repr))
PY
