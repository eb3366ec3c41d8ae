#!/usr/bin/env bash
# Builds everything and runs the package's main job on the simulated machine.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release
for preset in windows-x64 windows-x86; do
  cmake --preset $preset >/dev/null
  cmake --build --preset $preset
done
build/linux-release/demo/velmo-demo "$@"
