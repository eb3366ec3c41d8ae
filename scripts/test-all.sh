#!/usr/bin/env bash
# Builds every preset and runs every test: Linux with sanitizers over the simulated machine, then the
# Windows x64 and x86 products, whose deliverables are checked as PE files.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset linux
cmake --build --preset linux
ctest --preset linux
for preset in windows-x64 windows-x86; do
  cmake --preset $preset
  cmake --build --preset $preset
done
scripts/check-pe.sh build/windows-x64 PE32+
scripts/check-pe.sh build/windows-x86 PE32
echo "all builds and tests passed"
