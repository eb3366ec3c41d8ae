#!/usr/bin/env bash
# Writes the printed seed files (corpus/printed-*.kgl): small jobs printed through the driver on the
# simulated machine by the demo's print library. make_corpus.py writes the hand-made ones.
set -euo pipefail
cd "$(dirname "$0")/../../.."
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target velmo-printed-seeds
build/linux-release/demo/velmo-printed-seeds tools/printfile/fuzz/corpus
