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

# Fuzzing: the print file reader, for a bounded time from the seed files (new findings go to a scratch folder).
cmake --preset linux-fuzz
cmake --build --preset linux-fuzz
fuzz_work=$(mktemp -d)
trap 'rm -rf "$fuzz_work"' EXIT
build/linux-fuzz/tools/printfile/fuzz/printfile_fuzz -max_total_time=60 -rss_limit_mb=2048 \
  -artifact_prefix=build/linux-fuzz/ "$fuzz_work" tools/printfile/fuzz/corpus
# The settings a job meets: a job's DEVMODE, the stored default and its printer block.
mkdir -p "$fuzz_work/devmode"
build/linux-fuzz/driver/render/fuzz/devmode_fuzz -max_total_time=60 -rss_limit_mb=2048 \
  -artifact_prefix=build/linux-fuzz/ "$fuzz_work/devmode" driver/render/fuzz/corpus
# The package media's files: any bytes as the launcher's INI and as the menu's language file.
mkdir -p "$fuzz_work/launch"
build/linux-fuzz/launch/fuzz/launch_fuzz -max_total_time=30 -rss_limit_mb=2048 \
  -artifact_prefix=build/linux-fuzz/ "$fuzz_work/launch" launch/fuzz/corpus
echo "all builds and tests passed"
