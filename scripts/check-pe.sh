#!/usr/bin/env bash
# Checks the Windows deliverables of one build: the right PE kind, imports of system DLLs only, and
# for programs a manifest that runs them as the invoking user.
set -euo pipefail
build=$1   # build tree, e.g. build/windows-x64
kind=$2    # PE32+ or PE32
case $kind in
  PE32+) objdump=x86_64-w64-mingw32-objdump ;;
  PE32) objdump=i686-w64-mingw32-objdump ;;
  *) echo "unknown kind $kind" >&2; exit 2 ;;
esac

programs=(launch/MonitorLauncher.exe tools/printfile/KGL2BMP.exe tools/printfile/VelmoPrintToFile.exe)
dlls=(driver/render/VELMOQ7.dll)

system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|shlwapi|version|winspool\.drv|msvcrt|ws2_32|iphlpapi|setupapi|newdev|uxtheme|msimg32|wtsapi32|userenv|netapi32|crypt32|wintrust|prntvpt|rpcrt4|dwmapi)\.dll$|^winspool\.drv$'
status=0
for f in "${programs[@]}" "${dlls[@]}"; do
  path=$build/$f
  if [[ ! -f $path ]]; then echo "missing: $path"; status=1; continue; fi
  header=$($objdump -p "$path")
  magic=$(grep -m1 '^Magic' <<<"$header" | sed -E 's/.*\((.*)\)/\1/')
  [[ $magic == "$kind" ]] || { echo "$path: $magic, expected $kind"; status=1; }
  while read -r dll; do
    if ! grep -qiE "$system_dlls" <<<"$dll"; then echo "$path imports $dll, not a system DLL"; status=1; fi
  done < <(grep 'DLL Name:' <<<"$header" | awk '{print $3}')
  if [[ $f == *.exe ]]; then
    # The raw resource section: a dump's text column shifts with the width of its addresses.
    rsrc=$(mktemp)
    ${objdump%objdump}objcopy -O binary --only-section=.rsrc "$path" "$rsrc"
    grep -qa 'asInvoker' "$rsrc" || { echo "$path: no asInvoker manifest"; status=1; }
    rm -f "$rsrc"
  fi
  echo "$path: $kind, imports $(grep 'DLL Name:' <<<"$header" | awk '{print $3}' | tr '\n' ' ')"
done
# --- DLLs: each export of the .def velmo_dll wrote from the DLL's export list, by name at its ordinal.
for f in "${dlls[@]}"; do
  path=$build/$f
  def=${path%.dll}.def
  [[ -f $path ]] || continue
  [[ -f $def ]] || { echo "missing: $def"; status=1; continue; }
  dump=$($objdump -p "$path")
  base=$(sed -nE 's/^Ordinal Base[[:space:]]+([0-9]+)$/\1/p' <<<"$dump" | head -1)
  table=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump")
  while read -r name ordinal; do
    ordinal=${ordinal#@}
    grep -qE "\[ *$((ordinal - base))\] $name\$" <<<"$table" ||
      { echo "$path does not export $name at ordinal $ordinal"; status=1; }
  done < <(sed -n '/^EXPORTS/,$p' "$def" | sed 1d)
done
exit $status
