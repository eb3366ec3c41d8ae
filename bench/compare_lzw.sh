#!/usr/bin/env bash
# Sets the sub-band coder beside libtiff's LZW coder on the same 600-dpi pages.
# Needs tiffcp (Debian's libtiff-tools) and the linux-release build of band_coder_bench.
# Usage: bench/compare_lzw.sh [runs]   (default 20 timed runs per page; the best one counts)
set -euo pipefail
cd "$(dirname "$0")/.."
runs=${1:-20}
bench=build/linux-release/bench/band_coder_bench
command -v tiffcp >/dev/null || { echo "tiffcp not found (apt-get install libtiff-tools)" >&2; exit 1; }
[[ -x $bench ]] || { echo "build it first: cmake --preset linux-release && cmake --build --preset linux-release --target band_coder_bench" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$bench" --write-tiff="$work"

echo "libtiff LZW (tiffcp -c lzw -r 37), best of $runs, whole process:"
printf '%-16s %10s %10s %8s\n' page ms MB/s ratio
for page in text ordered-dither error-diffusion; do
  in=$work/$page.tif
  raw=$(( $(stat -c %s "$in") - 128 )) # pixel bytes, less the small header and directory
  best=
  for ((i = 0; i < runs; i++)); do
    start=$(date +%s%N)
    tiffcp -c lzw -r 37 "$in" "$work/out.tif"
    ns=$(( $(date +%s%N) - start ))
    [[ -z $best || $ns -lt $best ]] && best=$ns
  done
  out=$(stat -c %s "$work/out.tif")
  awk -v p="$page" -v ns="$best" -v raw="$raw" -v out="$out" \
    'BEGIN { printf "%-16s %10.2f %10.1f %8.2f\n", p, ns / 1e6, raw / (ns / 1e3), raw / out }'
done

echo
echo "sub-band coder (in process, pages cut into 54-line sub-bands):"
"$bench" --benchmark_min_time=1
