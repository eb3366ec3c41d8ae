#!/usr/bin/env bash
# Builds every preset and runs every test: Linux with sanitizers over the simulated machine, then the
# Windows x64 and x86 products, whose deliverables are checked as PE files and run under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset linux
cmake --build --preset linux
ctest --preset linux
# Optimised, the vector kernels are compiled as they ship.
cmake --preset linux-release
cmake --build --preset linux-release
ctest --preset linux-release
# The machine's own tests under ThreadSanitizer: its threads share state only as the lock order says.
cmake --preset linux-tsan
cmake --build --preset linux-tsan
ctest --preset linux-tsan -L platform
for preset in windows-x64 windows-x86; do
  cmake --preset $preset
  cmake --build --preset $preset
done
scripts/check-pe.sh build/windows-x64 PE32+
scripts/check-pe.sh build/windows-x86 PE32
# The Windows build run for real under Wine, held against the Linux build's results.
scripts/wine-stage.sh

# Fuzzing: every parser of outside bytes, for a bounded time from its seed files (new findings go to a
# scratch folder).
cmake --preset linux-fuzz
cmake --build --preset linux-fuzz
fuzz_work=$(mktemp -d)
trap 'rm -rf "$fuzz_work"' EXIT
fuzz() { # folder of the target, its name
  mkdir -p "$fuzz_work/$2"
  "build/linux-fuzz/$1/$2" -max_total_time=30 -rss_limit_mb=2048 -artifact_prefix=build/linux-fuzz/ \
    "$fuzz_work/$2" "$1/corpus"
}
fuzz tools/printfile/fuzz printfile_fuzz           # print files through the reader
fuzz driver/render/fuzz devmode_fuzz               # a job's DEVMODE, the stored default and its block
fuzz driver/ui/fuzz ui_settings_fuzz               # the UI's settings in every mode, and the capabilities
fuzz setup/netfind/fuzz netfind_fuzz               # the network cards' replies
fuzz tools/devices/fuzz devices_fuzz               # a USB duplicator's id, status and card data
fuzz setup/engine/fuzz setup_engine_fuzz           # INFs, version records, uninstaller paths, tickets
fuzz uninstall/fuzz uninstall_fuzz                 # the uninstaller's bitmaps, fonts, texts and command lines
fuzz launch/fuzz launch_fuzz                       # the launcher's INI and the menu's language files
echo "all builds and tests passed"
