#!/bin/bash
# Builds what is missing and starts the Zent loader.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build
if [ ! -x build/bin/zent-loader ]; then
  echo "The loader program is not built yet: only its libraries and tests exist so far."
  exit 1
fi
exec build/bin/zent-loader "$@"
