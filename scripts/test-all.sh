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
build/linux-fuzz/tools/printfile/fuzz/printfile_fuzz -max_total_time=30 -rss_limit_mb=2048 \
  -artifact_prefix=build/linux-fuzz/ "$fuzz_work" tools/printfile/fuzz/corpus
# The settings a job meets: a job's DEVMODE, the stored default and its printer block.
mkdir -p "$fuzz_work/devmode"
build/linux-fuzz/driver/render/fuzz/devmode_fuzz -max_total_time=30 -rss_limit_mb=2048 \
  -artifact_prefix=build/linux-fuzz/ "$fuzz_work/devmode" driver/render/fuzz/corpus
# The user interface's settings: stored default, block and an application's DEVMODE in every mode.
mkdir -p "$fuzz_work/ui_settings"
build/linux-fuzz/driver/ui/fuzz/ui_settings_fuzz -max_total_time=30 -rss_limit_mb=2048 \
  -artifact_prefix=build/linux-fuzz/ "$fuzz_work/ui_settings" driver/ui/fuzz/corpus
# The network cards' replies: validation, de-duplication and the records written.
mkdir -p "$fuzz_work/netfind"
build/linux-fuzz/setup/netfind/fuzz/netfind_fuzz -max_total_time=30 -rss_limit_mb=2048 \
  -artifact_prefix=build/linux-fuzz/ "$fuzz_work/netfind" setup/netfind/fuzz/corpus
# What a USB duplicator answers: id reply, status reply and card data through the card tool's reading.
mkdir -p "$fuzz_work/devices"
build/linux-fuzz/tools/devices/fuzz/devices_fuzz -max_total_time=30 -rss_limit_mb=2048 \
  -artifact_prefix=build/linux-fuzz/ "$fuzz_work/devices" tools/devices/fuzz/corpus
# The setup engine's INF reading: a package's INF through classification, models, files and versions.
mkdir -p "$fuzz_work/setup"
build/linux-fuzz/setup/engine/fuzz/setup_engine_fuzz -max_total_time=30 -rss_limit_mb=2048 \
  -artifact_prefix=build/linux-fuzz/ "$fuzz_work/setup" setup/engine/fuzz/corpus
# The setup engine's own outside bytes: version records, the registered uninstaller path, the browser version.
mkdir -p "$fuzz_work/setup_records"
build/linux-fuzz/setup/engine/fuzz_records/setup_records_fuzz -max_total_time=30 -rss_limit_mb=2048 \
  -artifact_prefix=build/linux-fuzz/ "$fuzz_work/setup_records" setup/engine/fuzz_records/corpus
# The uninstaller's readers: bitmaps, fonts, INI texts, language entries and command lines.
mkdir -p "$fuzz_work/uninstall"
build/linux-fuzz/uninstall/fuzz/uninstall_fuzz -max_total_time=30 -rss_limit_mb=2048 \
  -artifact_prefix=build/linux-fuzz/ "$fuzz_work/uninstall" uninstall/fuzz/corpus
# The package media's files: any bytes as the launcher's INI and as the menu's language file.
mkdir -p "$fuzz_work/launch"
build/linux-fuzz/launch/fuzz/launch_fuzz -max_total_time=30 -rss_limit_mb=2048 \
  -artifact_prefix=build/linux-fuzz/ "$fuzz_work/launch" launch/fuzz/corpus
echo "all builds and tests passed"
