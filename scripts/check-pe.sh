#!/usr/bin/env bash
# Checks the Windows deliverables of one build, as listed in the deliverables.tsv CMake writes there:
# the right PE kind, imports of system DLLs only, ASLR and DEP, a version record; for a program the
# GUI subsystem and a manifest asking for its execution level; for a DLL every export of its .def,
# by name and at its ordinal where the .def gives one, and for a DLL listed with "manifest" a manifest
# asking for the common controls of version 6.
set -euo pipefail
build=$1 # build tree, e.g. build/windows-x64
kind=$2  # PE32+ or PE32
case $kind in
  PE32+) tools=x86_64-w64-mingw32 ;;
  PE32) tools=i686-w64-mingw32 ;;
  *) echo "unknown kind $kind" >&2; exit 2 ;;
esac
list=$build/deliverables.tsv
[[ -s $list ]] || { echo "no deliverables list $list (configure the build first)"; exit 1; }

system_dlls='^(kernel32|user32|gdi32|advapi32|shell32|ole32|oleaut32|comctl32|comdlg32|shlwapi|version|winspool\.drv|msvcrt|ws2_32|iphlpapi|setupapi|cfgmgr32|newdev|uxtheme|msimg32|wtsapi32|spoolss|userenv|netapi32|crypt32|wintrust|prntvpt|rpcrt4|dwmapi)\.dll$|^winspool\.drv$'
status=0
problem() {
  echo "$path: $1"
  status=1
}

# The .def's exports, one "name ordinal" a line (ordinal "-" when the linker chooses it, name "-" for
# an export by ordinal only).
def_exports() {
  sed -n '/^[[:space:]]*EXPORTS/,$p' "$1" | sed '1d;s/;.*//' | awk 'NF {
    name = $1; sub(/=.*/, "", name); ordinal = "-"; noname = 0
    for (i = 2; i <= NF; i++) {
      if ($i ~ /^@[0-9]+$/) ordinal = substr($i, 2)
      else if ($i == "NONAME") noname = 1
    }
    print (noname ? "-" : name), ordinal
  }'
}

while IFS=$'\t' read -r what path level def; do
  if [[ ! -f $path ]]; then
    problem "missing"
    continue
  fi
  header=$($tools-objdump -p "$path")
  magic=$(grep -m1 '^Magic' <<<"$header" | sed -E 's/.*\((.*)\)/\1/')
  [[ $magic == "$kind" ]] || problem "$magic, expected $kind"
  imports=$(grep 'DLL Name:' <<<"$header" | awk '{print $3}')
  while read -r dll; do
    [[ -z $dll ]] || grep -qiE "$system_dlls" <<<"$dll" || problem "imports $dll, not a system DLL"
  done <<<"$imports"
  flags=$(sed -n '/^DllCharacteristics/,/^[A-Z]/p' <<<"$header")
  for flag in DYNAMIC_BASE NX_COMPAT; do
    grep -qw "$flag" <<<"$flags" || problem "not $flag"
  done
  # The raw resource section: a dump's text column shifts with the width of its addresses.
  rsrc=$(mktemp)
  $tools-objcopy -O binary --only-section=.rsrc "$path" "$rsrc"
  grep -qaP 'V\x00S\x00_\x00V\x00E\x00R\x00S\x00I\x00O\x00N\x00_\x00I\x00N\x00F\x00O\x00' "$rsrc" ||
    problem "no version record"
  manifest_level=$(grep -aoE 'requestedExecutionLevel[[:space:]]+level="[A-Za-z]+"' "$rsrc" | head -1 |
    sed -E 's/.*"(.*)"/\1/' || true)
  common_controls6=$(grep -caP 'name="Microsoft\.Windows\.Common-Controls"\s+version="6\.' "$rsrc" || true)
  rm -f "$rsrc"
  case $what in
    program)
      grep -qE '^Subsystem.*\(Windows GUI\)' <<<"$header" || problem "not a GUI program"
      [[ $manifest_level == "$level" ]] || problem "manifest asks for \"$manifest_level\", expected \"$level\""
      ;;
    dll)
      if [[ $level == manifest && $common_controls6 == 0 ]]; then
        problem "no manifest asking for the common controls of version 6"
      fi
      [[ -f $def ]] || { problem "no export list $def"; continue; }
      base=$(grep -m1 'Ordinal Base' <<<"$header" | awk '{print $NF}')
      # "name ordinal" of every export the file has by name.
      table=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$header" |
        sed -nE "s/^[[:space:]]*\[[[:space:]]*([0-9]+)\][[:space:]]+(.*)$/\2 \1/p" |
        awk -v base="${base:-1}" '{print $1, $2 + base}')
      addresses=$(sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' <<<"$header")
      while read -r name ordinal; do
        if [[ $name == - ]]; then
          grep -qE "\+base\[[[:space:]]*$ordinal\]" <<<"$addresses" || problem "exports nothing at ordinal $ordinal"
        elif ! grep -qE "^$name " <<<"$table"; then
          problem "does not export $name"
        elif [[ $ordinal != - ]] && ! grep -qx "$name $ordinal" <<<"$table"; then
          problem "exports $name at $(grep -E "^$name " <<<"$table" | awk '{print $2}'), not at ordinal $ordinal"
        fi
      done < <(def_exports "$def")
      ;;
    *) problem "unknown kind $what in $list" ;;
  esac
  echo "$path: $kind $what, imports $(tr '\n' ' ' <<<"$imports")"
done <"$list"
exit $status
