#!/usr/bin/env bash
# Runs the Windows build under Wine on a virtual display of its own, driven through its windows by the
# programs of tests/windows, and holds its answers against the Linux build's: the same bitmaps, coverage
# and page geometry from the same print files and models. One line per check, then a count; exits
# non-zero when a check fails. Needs the windows-x64 (and windows-x86) builds; builds linux-release's
# demo and figures itself. WINE_STAGE_ONLY=<regex> runs only the checks whose names match.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
work=$root/build/wine-stage
check_time=${WINE_CHECK_TIME:-120}
passed=0 failed=0 skipped=0

rm -rf "$work"
mkdir -p "$work/logs"
cmake --preset linux-release >/dev/null
cmake --build --preset linux-release --target velmo-demo velmo-wine-figures >/dev/null
demo=$root/build/linux-release/demo/velmo-demo
figures=$root/build/linux-release/tests/windows/velmo-wine-figures

export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all
# No crash debugger (it would wait for a user) and no browser or .NET installers in the new prefix.
export WINEDLLOVERRIDES="winedbg.exe=d;mscoree=d;mshtml=d"

# ---- the display and the prefix
display=
for n in $(seq 90 140); do
  if [[ ! -e /tmp/.X$n-lock && ! -e /tmp/.X11-unix/X$n ]]; then display=$n; break; fi
done
[[ -n $display ]] || { echo "no free X display number"; exit 1; }
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/logs/xvfb.log" 2>&1 &
xvfb_pid=$!
stop() {
  wineserver -k >/dev/null 2>&1
  kill "$xvfb_pid" >/dev/null 2>&1
  wait "$xvfb_pid" 2>/dev/null
}
trap stop EXIT
export DISPLAY=:$display

# Waits until a command succeeds, for at most $1 seconds.
wait_until() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.1
  done
}
export -f wait_until
wait_until 20 test -e "/tmp/.X11-unix/X$display" || { echo "Xvfb did not start"; exit 1; }
timeout 180 wineboot -i >"$work/logs/wineboot.log" 2>&1 || { echo "the Wine prefix could not be made"; exit 1; }
# One server for the whole stage: each program starts without making its own.
wineserver -p
echo "Wine stage: $(wine --version 2>/dev/null), display :$display, prefix $WINEPREFIX"

winpath() { winepath -w "$1" 2>/dev/null; }
export -f winpath

# ---- the print files and the Linux reader's bitmaps
# Every halftone method, four models, three papers; one job of two pages.
prints=(
  "dither-b|KORIGRAPH DX-2660|A4|2"
  "lineart|KORIGRAPH DX-3800|A4|1"
  "dither-a|KORIGRAPH DX-5360|A4|1"
  "dither-c|KORIGRAPH Driver|A3|1"
  "diffusion|KORIGRAPH DX-2660|A5|1"
  "diffusion-4|KORIGRAPH DX-1300|A4|1"
)
for p in "${prints[@]}"; do
  IFS='|' read -r halftone model paper pages <<<"$p"
  "$demo" --model "$model" --paper "$paper" --halftone "$halftone" --pages "$pages" \
    --out "$work/prints/$halftone" >"$work/logs/demo-$halftone.log" 2>&1 ||
    { echo "the demo could not print $halftone: $(tail -1 "$work/logs/demo-$halftone.log")"; exit 1; }
done

# ---- checks
# check <name> <function> [arguments]: the function runs bounded in time, its output in the check's log.
check() {
  local name=$1
  shift
  [[ -z ${WINE_STAGE_ONLY:-} || $name =~ $WINE_STAGE_ONLY ]] || return 0
  local log=$work/logs/$name.log
  if timeout --kill-after=10 "$check_time" bash -c '"$@"' check "$@" >"$log" 2>&1; then
    # A check's "note:" lines say what it had to stand in for.
    local notes
    notes=$(sed -n 's/^note: //p' "$log" | paste -sd ';' -)
    echo "PASS $name${notes:+ ($notes)}"
    passed=$((passed + 1))
  else
    echo "FAIL $name: $(grep -v '^\s*$' "$log" | tail -1)"
    failed=$((failed + 1))
    # A failed check may leave its program open: a fresh server, so the next check sees no window of it.
    wineserver -k >/dev/null 2>&1
    wineserver -w
    wineserver -p
  fi
}
skip() {
  echo "SKIP $1: $2"
  skipped=$((skipped + 1))
}

# Runs a program under Wine in the background, bounded; its pid in $started.
start() {
  timeout --kill-after=5 60 wine "$@" >/dev/null 2>&1 &
  started=$!
}
# The driver's steps; its output on stdout, its failure (a "FAIL" line) ends the check.
drive() {
  local out
  out=$(timeout 90 wine "$bin/tests/windows/ui_driver.exe" "$@" 2>/dev/null | tr -d '\r')
  local rc=$?
  printf '%s\n' "$out"
  ((rc == 0)) && ! grep -q '^FAIL' <<<"$out"
}
expect_equal() {
  [[ $1 == "$2" ]] && return 0
  echo "$3: got \"$1\", expected \"$2\""
  return 1
}
export -f start drive expect_equal

# Every page of a print file saved through KGL2BMP's dialog equals the Linux reader's bitmap; the first
# page is saved with Shift+Ctrl held, and its coverage box equals the Linux figure.
kgl2bmp_file() {
  local halftone=$1 folder=$work/prints/$1
  local kgl=$folder/testpage-$halftone.kgl out=$work/out-$arch/$halftone
  mkdir -p "$out"
  local pages
  pages=$(find "$folder" -name "testpage-$halftone-page*.bmp" | wc -l)
  ((pages > 0)) || { echo "the Linux reader wrote no page"; return 1; }
  local steps=("window:KGL2BMP|1001" "settext:1001|$(winpath "$kgl")" "waittext:1005|$pages")
  for ((page = 1; page <= pages; page++)); do
    steps+=("settext:1011|$page" "waittext:1011|$page")
    if ((page == 1)); then
      steps+=("keys:shift+ctrl+return" "filedialog:$(winpath "$out")\\page$page.bmp" "box:KGL2BMP" "press:1"
        "window:KGL2BMP|1001")
    else
      steps+=("press:1017" "filedialog:$(winpath "$out")\\page$page.bmp")
    fi
  done
  steps+=("waittext:1005|$pages" close gone)
  start "$bin/tools/printfile/KGL2BMP.exe"
  local program=$started shown
  shown=$(drive "${steps[@]}") || { echo "$shown"; return 1; }
  wait "$program"
  local box expected
  box=$(grep '^box:' <<<"$shown")
  expected=$("$figures" save "$kgl" 1)
  expect_equal "$box" "$expected" "coverage" || return 1
  for ((page = 1; page <= pages; page++)); do
    cmp "$out/page$page.bmp" "$folder/testpage-$halftone-page$page.bmp" ||
      { echo "page $page differs from the Linux reader's bitmap"; return 1; }
  done
  echo "$pages pages equal"
}

# A page whose image data is damaged: the program's error, and no bitmap.
kgl2bmp_damaged() {
  local source=$work/prints/dither-b/testpage-dither-b.kgl damaged=$work/damaged-$arch.kgl out=$work/damaged-$arch.bmp
  # The second page's band data overwritten: the file still scans, the page cannot be decoded.
  cp "$source" "$damaged"
  local size
  size=$(stat -c %s "$source")
  head -c 4000 /dev/zero | tr '\0' '\377' |
    dd of="$damaged" bs=4000 seek=$((size * 3 / 4)) oflag=seek_bytes conv=notrunc status=none
  local expected
  expected=$("$figures" save "$damaged" 2)
  grep -q 'could not be saved' <<<"$expected" || { echo "the damage does not show on Linux: $expected"; return 1; }
  rm -f "$out"
  start "$bin/tools/printfile/KGL2BMP.exe"
  local program=$started shown
  shown=$(drive "window:KGL2BMP|1001" "settext:1001|$(winpath "$damaged")" "waittext:1005|2" "settext:1011|2" \
    "waittext:1011|2" "keys:shift+ctrl+return" "filedialog:$(winpath "$out")" "box:KGL2BMP" "press:1" \
    "window:KGL2BMP|1001" "enabled:1017|1" close gone) || { echo "$shown"; return 1; }
  wait "$program"
  expect_equal "$(grep '^box:' <<<"$shown")" "$expected" "message" || return 1
  [[ ! -e $out ]] || { echo "a bitmap was written"; return 1; }
}

# A missing file given on the command line: no pages, nothing to save. A file removed after it was
# opened: saving finds it gone, offers no save dialog and shows no pages.
kgl2bmp_missing() {
  local missing=$work/missing-$arch.kgl
  start "$bin/tools/printfile/KGL2BMP.exe" "$(winpath "$missing")"
  local program=$started shown
  shown=$(drive "window:KGL2BMP|1001" "waittext:1001|$(winpath "$missing")" "waittext:1005|0" "enabled:1017|0" \
    "press:1017" "waittext:1005|0" close gone) || { echo "$shown"; return 1; }
  wait "$program"
  cp "$work/prints/lineart/testpage-lineart.kgl" "$missing"
  start "$bin/tools/printfile/KGL2BMP.exe" "$(winpath "$missing")"
  program=$started
  shown=$(drive "window:KGL2BMP|1001" "waittext:1005|1" "enabled:1017|1") || { echo "$shown"; return 1; }
  rm "$missing"
  # Were the save dialog offered, it would hold the program and the page count would stay.
  shown=$(drive "window:KGL2BMP|1001" "press:1017" "waittext:1005|0" "enabled:1017|0" close gone) ||
    { echo "$shown"; return 1; }
  wait "$program"
}

ptf() {
  timeout 90 wine "$bin/tests/windows/ptf_starter.exe" "$@" 2>/dev/null | tr -d '\r'
}
export -f ptf

# The save-path request: the first free number proposed, the chosen path returned; a cancel returns none.
ptf_save_path() {
  local folder=$work/ptf-$arch
  mkdir -p "$folder"
  : >"$folder/IMAGE00001.kgl"
  local helper=$bin/tools/printfile/VelmoPrintToFile.exe answer shown
  answer=$(ptf save "$helper" "$(winpath "$folder")" &
    drive "filedialog:$(winpath "$folder")\\Job 1.kgl"
    wait)
  echo "$answer"
  grep -q '^proposed: .*IMAGE00002\.kgl$' <<<"$answer" || { echo "not proposed IMAGE00002.kgl"; return 1; }
  expect_equal "$(grep '^path:' <<<"$answer")" "path: $(winpath "$folder")\\Job 1.kgl" "returned path" || return 1
}
ptf_cancel() {
  local folder=$work/ptf-$arch
  mkdir -p "$folder"
  local answer
  answer=$(ptf save "$bin/tools/printfile/VelmoPrintToFile.exe" "$(winpath "$folder")" &
    drive canceldialog
    wait)
  echo "$answer"
  expect_equal "$(grep '^path:' <<<"$answer")" "path: none" "answer" || return 1
}
# A message whose text runs to the end of the section's page: no box, answer 0.
ptf_short_section() {
  local answer
  answer=$(ptf unterminated "$bin/tools/printfile/VelmoPrintToFile.exe")
  echo "$answer"
  expect_equal "$(grep '^answer:' <<<"$answer")" "answer: 0" "answer" || return 1
}
# A message box answered by the user, and one left to time out (32000).
ptf_message_box() {
  local helper=$bin/tools/printfile/VelmoPrintToFile.exe answer
  answer=$(ptf box "$helper" 0x24 0 2 "Printed 3 pages" "Job" &
    drive "box:Job" "press:6"
    wait)
  echo "$answer"
  expect_equal "$(grep '^box:' <<<"$answer")" "box: Printed 3 pages" "text" || return 1
  expect_equal "$(grep '^answer:' <<<"$answer")" "answer: 6" "answer" || return 1
  answer=$(ptf box "$helper" 0 1500 2 "Done" "Job")
  echo "$answer"
  expect_equal "$(grep '^answer:' <<<"$answer")" "answer: 32000" "timed answer" || return 1
}

# The helper's texts for a user of a language: its own table, or English where it has none; the same
# box as the Linux build shows that user.
ptf_language() {
  local locale=$1 language=$2 expected caption shown
  expected=$("$figures" helper-box "$language") || { echo "no Linux figure for $language"; return 1; }
  caption=$(sed -n 's/^caption: //p' <<<"$expected")
  LANG=$locale LC_ALL=$locale timeout --kill-after=5 60 wine "$bin/tools/printfile/VelmoPrintToFile.exe" \
    'Local\none' >/dev/null 2>&1 &
  local program=$!
  shown=$(drive "box:$caption" "press:1") || { echo "$shown"; return 1; }
  wait "$program"
  expect_equal "$(grep '^box:' <<<"$shown")" "$(grep '^box:' <<<"$expected")" "text" || return 1
}

# MonitorLauncher beside the stand-in monitor, in a folder with a blank: the setting chooses how the
# monitor is shown, a damaged setting is rewritten, the launcher's command line is passed on.
monitor_launcher() {
  local folder="$work/monitor $arch" key='HKCU\SOFTWARE\VELMO\STATWATCH'
  mkdir -p "$folder"
  cp "$bin/launch/MonitorLauncher.exe" "$bin/tests/windows/RXMonitor.exe" "$folder/"
  local monitor
  monitor=$(winpath "$folder")\\RXMonitor.exe
  run_launcher() {
    rm -f "$folder/RXMonitor.log"
    timeout 60 wine "$folder/MonitorLauncher.exe" "$@" >/dev/null 2>&1
    wait_until 30 test -s "$folder/RXMonitor.log" || { echo "the monitor was not started"; return 1; }
    tr -d '\r\n' <"$folder/RXMonitor.log"
  }
  local seen
  wine reg add "$key" /v SHOW /t REG_BINARY /d 01 /f >/dev/null 2>&1
  seen=$(run_launcher /port 3) || { echo "$seen"; return 1; }
  expect_equal "$seen" "show 0 command \"$monitor\" -S /port 3" "SHOW 01" || return 1
  wine reg add "$key" /v SHOW /t REG_BINARY /d 00 /f >/dev/null 2>&1
  seen=$(run_launcher) || { echo "$seen"; return 1; }
  expect_equal "$seen" "show 4 command \"$monitor\" -B " "SHOW 00" || return 1
  wine reg add "$key" /v SHOW /t REG_BINARY /d 0101 /f >/dev/null 2>&1
  seen=$(run_launcher) || { echo "$seen"; return 1; }
  expect_equal "$seen" "show 4 command \"$monitor\" -B " "damaged SHOW" || return 1
  wine reg query "$key" /v SHOW 2>/dev/null | tr -d '\r' | grep -qE 'SHOW\s+REG_BINARY\s+00$' ||
    { echo "the damaged value was not rewritten: $(wine reg query "$key" /v SHOW 2>/dev/null | tr -d '\r' | grep SHOW)"; return 1; }
}

# The graphics DLL: its exports, DrvQueryDriverInfo, DrvEnableDriver, and a PDEV for a printer added to
# the spooler, whose geometry equals the Linux figure for the same model.
graphics_dll() {
  local model=$1 printer="Wine stage $1" answer expected
  local exports
  exports=$(sed -n '/^[[:space:]]*EXPORTS/,$p' "$def" | sed '1d;s/;.*//' | awk 'NF && !/NONAME/ {sub(/=.*/, "", $1); print $1}')
  # shellcheck disable=SC2086
  answer=$(timeout 60 wine "$bin/tests/windows/dll_harness.exe" "$(winpath "$bin/driver/render/VELMOQ7.dll")" \
    "$printer" "$model" $exports 2>/dev/null | tr -d '\r')
  echo "$answer"
  grep -q '^FAIL' <<<"$answer" && return 1
  local supplied
  supplied=$(sed -n 's/^supplied by the harness: //p' <<<"$answer")
  [[ -n $supplied && $supplied != nothing ]] &&
    echo "note: Wine lacks $(wc -w <<<"$supplied") Eng services the DLL imports; the harness supplied them"
  expect_equal "$(grep -E '^(user mode|driver version)' <<<"$answer")" "$("$figures" driver)" "entry points" ||
    return 1
  expect_equal "$(grep '^geometry:' <<<"$answer")" "$("$figures" geometry "$model")" "geometry" || return 1
}

# The user-mode spool DLL: its exports at their ordinals and its handle checks, loaded as the spooler does.
spool_dll() {
  local answer
  answer=$(timeout 60 wine "$bin/tests/windows/spool_dll_harness.exe" \
    "$(winpath "$bin/driver/render/um/VELMQ7UM.dll")" 2>/dev/null | tr -d '\r')
  echo "$answer"
  grep -q '^FAIL' <<<"$answer" && return 1
  grep -q '^spool dll: done$' <<<"$answer"
}

# The card tool with no duplicator attached: detection ends with nothing to download, a second copy
# ends at once with 0 and leaves the first alone, and the tool ends with 0 when it is closed.
tessicard_no_device() {
  local program=$bin/tools/devices/TessicardMgr.exe
  start "$program"
  local first=$started shown code
  shown=$(drive "window:Tessicard Manager|1000" "enabled:1000|1" "enabled:1001|0") || { echo "$shown"; return 1; }
  timeout 60 wine "$program" >/dev/null 2>&1
  code=$?
  expect_equal "$code" 0 "a second instance's exit code" || return 1
  shown=$(drive "window:Tessicard Manager|1000" "press:1000" "enabled:1000|1" "enabled:1001|0" close gone) ||
    { echo "$shown"; return 1; }
  wait "$first"
  code=$?
  expect_equal "$code" 0 "the exit code after closing"
}

# What a program must not leave on the prefix when it refuses or is cancelled: the setup program's
# uninstall entry, printer drivers, INF files, and the device metadata it would clean up.
installed_state() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KORIGRAPH Printer Driver' >/dev/null 2>&1 &&
    echo "uninstall entry"
  (cd "$WINEPREFIX/drive_c" && find windows/inf windows/system32/spool/drivers ProgramData -type f 2>/dev/null | sort)
}
# A program's first message box and its exit code: "caption: ...", "box: ..." and "exit: N" lines, as
# the Linux figures print them. The program is started with the rest of the arguments, in the
# environment the caller set.
first_box() {
  local caption=$1
  shift
  timeout --kill-after=5 60 wine "$@" >/dev/null 2>&1 &
  local program=$! shown
  shown=$(drive "box:$caption" "press:1") || { echo "$shown"; return 1; }
  wait "$program"
  local code=$?
  [[ $caption == '*' ]] || echo "caption: $caption"
  grep -E '^(caption|box):' <<<"$shown"
  echo "exit: $code"
}

# The setup program alone in a folder, with no driver installed: the clean-up's message in the
# user's language, exit code 0; the copy stays where it is (no entry to remove it by) and nothing is
# installed.
kgsetup_no_package() {
  local locale=$1 language=$2 caption=$3 folder=$work/kgsetup-alone-$arch
  mkdir -p "$folder"
  cp "$bin/setup/wizard/$setup_program" "$folder/"
  local before expected shown
  before=$(installed_state)
  expected=$("$figures" first-box "$setup_program" | sed "s/^box: .*/box: $("$figures" setup-text "$language" 3)/")
  shown=$(LANG=$locale LC_ALL=$locale first_box "$caption" "$folder/$setup_program") || { echo "$shown"; return 1; }
  # A box without a caption is titled by the system, in the user's language: held for English only.
  [[ $caption == '*' ]] && { shown=$(grep -v '^caption:' <<<"$shown"); expected=$(grep -v '^caption:' <<<"$expected"); }
  expect_equal "$shown" "$expected" "the refusal" || return 1
  [[ -f $folder/$setup_program ]] || { echo "the program removed itself"; return 1; }
  expect_equal "$(installed_state)" "$before" "what is installed"
}

# A driver package beside the program: the package driver (V4) or the printer driver (V3) for 64-bit
# Windows. Wine reports Windows 7 unless told otherwise: the package driver needs 8.1, so it is refused
# there with text 1, while the printer driver's package opens the wizard; on Windows 10 the package
# driver's opens it too.
kgsetup_package() {
  local kind=${1:-v4} folder=$work/kgsetup-package-${1:-v4}-$arch inf
  inf=$folder/Driver/VeKglV4.inf
  [[ $kind == v3 ]] && inf=$folder/Win64/VelmoQ7.inf
  mkdir -p "$(dirname "$inf")"
  cp "$bin/setup/wizard/KGSetup64.exe" "$folder/"
  # shellcheck disable=SC2016 # the INF's own "$Windows NT$"
  printf '[Version]\r\nSignature="$Windows NT$"\r\nClass=Printer\r\n[Strings]\r\nDestination="Velmo ENGLISH"\r\n' >"$inf"
  printf '%s\n' "$folder"
}
kgsetup_windows7() {
  local folder before shown caption
  folder=$(kgsetup_package v4)
  before=$(installed_state)
  caption=$("$figures" setup-text 9 4)
  wine reg add 'HKCU\Software\Wine' /v Version /d win7 /f >/dev/null 2>&1
  export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
  shown=$(first_box Error "$folder/KGSetup64.exe")
  local rc=$?
  if ((rc == 0)); then
    expect_equal "$shown" $'caption: Error\nbox: '"$("$figures" setup-text 9 1)"$'\nexit: 0' "the package driver's refusal"
    rc=$?
  fi
  if ((rc == 0)); then
    folder=$(kgsetup_package v3)
    start "$folder/KGSetup64.exe"
    local program=$started
    shown=$(drive "window:$caption|12324" "page:1006" "press:2" gone)
    rc=$?
    wait "$program"
  fi
  wine reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1
  ((rc == 0)) || { echo "$shown"; return 1; }
  expect_equal "$(installed_state)" "$before" "what is installed"
}
# The wizard, its caption the table's, opens at its Welcome page (the language box, 1006) also when
# told to remove, as nothing is installed; unknown options are ignored. A second start while it runs is
# refused; cancelled, it ends with 0 and has installed nothing.
kgsetup_wizard() {
  local folder before caption shown second
  folder=$(kgsetup_package v4)
  before=$(installed_state)
  caption=$("$figures" setup-text 9 4)
  wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1
  export LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8
  start "$folder/KGSetup64.exe" /UNINSTALL /lm=on /bogus
  local program=$started
  shown=$(drive "window:$caption|12324" "page:1006" "enabled:12324|1" "enabled:2|1")
  local rc=$?
  if ((rc == 0)); then
    second=$(first_box Error "$folder/KGSetup64.exe" /e)
    rc=$?
  fi
  ((rc == 0)) && shown=$(drive "window:$caption|12324" "press:2" gone)
  rc=$((rc || $?))
  wait "$program"
  local code=$?
  wine reg delete 'HKCU\Software\Wine' /v Version /f >/dev/null 2>&1
  ((rc == 0)) || { echo "$shown$second"; return 1; }
  expect_equal "$second" $'caption: Error\nbox: This application is already running.\nexit: 0' "a second start" ||
    return 1
  expect_equal "$code" 0 "the exit code after cancelling" || return 1
  expect_equal "$(installed_state)" "$before" "what is installed"
}

# The uninstaller's refusals. Alone, it finds no uninstall information. With its INI set (an entry that
# names nothing installed), it needs its helper DLL beside it, and the helper's answer that the user may
# remove the driver; a user it allows sees the wizard, and cancelling it removes nothing.
uninstaller_folder() {
  local folder=$work/uninstaller-$1-$arch
  mkdir -p "$folder"
  cp "$bin/uninstall/Uninstaller.exe" "$folder/"
  if [[ $1 != alone ]]; then
    printf '%s\r\n' '[INFO]' 'CLASSNAME=VelmoStageRemoval' 'UNINSTLOG=Unflist.ini' '[TITLE]' 'TITLE=Velmo Removal' \
      '[MESSAGE]' 'TITLE=Velmo Removal' '[ERROR]' 'TITLE=Velmo Removal Error' 'MESSAGE_00=The removal record is damaged.' \
      'MESSAGE_05=%s was not found.' 'MESSAGE_06=Administrator rights are needed.' 'MESSAGE_15=Stop the removal?' \
      '[LABEL]' 'WELCOME_00=Velmo driver removal' 'WELCOME_01=This removes the printer driver.' \
      '[BUTTON]' 'BACK=< Back' 'NEXT=Next >' 'CANCEL=Cancel' >"$folder/Uninstaller.ini"
    printf '%s\r\n' '[UNINSTALL]' 'REGISTKEY=VelmoWineStage' >"$folder/Unflist.ini"
  fi
  # Named as the uninstaller looks for it on a 64-bit Windows, from either build.
  [[ $1 == with-helper ]] && cp "$bin"/tests/windows/_Setup*.dll "$folder/_Setup64.dll"
  printf '%s\n' "$folder"
}
uninstaller_refusals() {
  local folder listing shown
  folder=$(uninstaller_folder alone)
  shown=$(first_box Uninstall "$folder/Uninstaller.exe") || { echo "$shown"; return 1; }
  expect_equal "$shown" "$("$figures" first-box Uninstaller.exe)" "alone" || return 1
  folder=$(uninstaller_folder without-helper)
  shown=$(first_box "Velmo Removal Error" "$folder/Uninstaller.exe") || { echo "$shown"; return 1; }
  expect_equal "$shown" $'caption: Velmo Removal Error\nbox: _Setup64.dll was not found.\nexit: 0' \
    "without its helper" || return 1
  folder=$(uninstaller_folder with-helper)
  listing=$(ls -l "$folder")
  shown=$(VELMO_STANDIN_ADMIN=0 first_box "Velmo Removal Error" "$folder/Uninstaller.exe") || { echo "$shown"; return 1; }
  expect_equal "$shown" $'caption: Velmo Removal Error\nbox: Administrator rights are needed.\nexit: 0' \
    "a user without rights" || return 1
  expect_equal "$(ls -l "$folder")" "$listing" "the folder after refusing"
}
uninstaller_cancel() {
  local folder listing before shown
  folder=$(uninstaller_folder with-helper)
  listing=$(ls -l "$folder")
  before=$(installed_state)
  VELMO_STANDIN_ADMIN=1 start "$folder/Uninstaller.exe"
  local program=$started code
  shown=$(drive "window:Velmo Removal|1021" "print:1021") || { echo "$shown"; return 1; }
  # A second start while the wizard is open brings the first forward and ends with 0.
  VELMO_STANDIN_ADMIN=1 timeout 60 wine "$folder/Uninstaller.exe" >/dev/null 2>&1
  code=$?
  expect_equal "$code" 0 "a second start's exit code" || return 1
  shown+=$'\n'$(drive "window:Velmo Removal|1021" "press:2" "box:Velmo Removal Error" "press:6") ||
    { echo "$shown"; return 1; }
  wait "$program"
  code=$?
  expect_equal "$shown" $'text 1021: Next >\nbox: Stop the removal?' "the wizard" || return 1
  expect_equal "$code" 0 "the exit code" || return 1
  expect_equal "$(ls -l "$folder")" "$listing" "the folder after cancelling" || return 1
  expect_equal "$(installed_state)" "$before" "what is installed"
}

stage_key() {
  local key=$1 try
  shift
  for try in 1 2 3; do
    wine reg add "$key" "$@" /f >/dev/null 2>&1
    wine reg query "$key" >/dev/null 2>&1 && return 0
  done
  echo "the stage could not add $key"
  return 1
}

# A silent removal by a user the helper allows, of a product laid out in the stage's own folder and
# registry: what the file list names goes (files, an emptied folder, a settings key, the uninstall
# entry), what it does not name stays, and the installed uninstaller is deleted by its copy.
uninstaller_removal() {
  local folder product entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VelmoWineStage'
  folder=$(uninstaller_folder with-helper)
  product=$work/uninstaller-product-$arch
  rm -rf "$product"
  mkdir -p "$product/Bin"
  echo tool >"$product/Tool.exe"
  echo stop >"$product/Bin/Stop.txt"
  echo kept >"$product/Notes.txt"
  local at
  at=$(winpath "$product")
  printf '%s\r\n' '[UNINSTALL]' 'REGISTKEY=VelmoWineStage' '[APPLICATION]' 'REG_000=HCU;Software\VelmoWineStage\Settings' \
    '[FILE]' "FILE_000=$at\\Tool.exe" "FILE_001=$at\\Bin\\Stop.txt" '[PATH]' "PATH_000=$at\\Bin" >"$folder/Unflist.ini"
  # A loaded machine can lose a reg call: each key is added until it reads back, so a key missing
  # afterwards is the uninstaller's doing.
  stage_key 'HKCU\Software\VelmoWineStage\Settings' /v Speed /d 3 || return 1
  stage_key 'HKCU\Software\VelmoWineStage\Keep' /v Note /d x || return 1
  stage_key "$entry" /v UninstallString /d "$(winpath "$folder")\\Uninstaller.exe" || return 1
  VELMO_STANDIN_ADMIN=1 timeout 60 wine "$folder/Uninstaller.exe" -s >/dev/null 2>&1
  local code=$?
  expect_equal "$code" 0 "the exit code" || return 1
  wait_until 30 test ! -e "$folder/Uninstaller.exe" || { echo "the installed uninstaller was not deleted"; return 1; }
  local left
  left=$(cd "$product" && find . | sort | paste -sd ' ' -)
  expect_equal "$left" ". ./Notes.txt" "the product folder after the removal" || return 1
  wine reg query 'HKCU\Software\VelmoWineStage\Settings' >/dev/null 2>&1 && { echo "the settings key stayed"; return 1; }
  wait_until 10 wine reg query 'HKCU\Software\VelmoWineStage\Keep' >/dev/null 2>&1 ||
    { echo "an unlisted key went"; return 1; }
  wine reg query "$entry" >/dev/null 2>&1 && { echo "the uninstall entry stayed"; return 1; }
  wine reg delete 'HKCU\Software\VelmoWineStage' /f >/dev/null 2>&1
  return 0
}

# The network-card finder on a network without cards: its first search and a second one leave the list
# empty and the web-page button disabled; its option dialog caps what is typed, and the broadcast
# addresses it was given come back sorted and without the repeated one (0.0.0.0 is never added); a
# second copy ends at once with 0; closed, it ends with 0.
rxfinder_no_cards() {
  local program=$bin/tools/devices/rxfinder/RX-Finder.exe
  start "$program"
  local first=$started shown code
  shown=$(drive "window:Advanced Setup|1002" "rows:1002|0" "enabled:1000|1" "enabled:1001|0" "press:1000" \
    "enabled:1000|1" "rows:1002|0" "enabled:1001|0" "press:1003" "window:Option|1103" "waittext:1103|1000" \
    "settext:1103|70000" "notify:1103|512" "waittext:1103|65535" "settext:1102|0" "notify:1102|512" \
    "waittext:1102|1" "press:2" gone) || { echo "$shown"; return 1; }
  local set=$((0x400 + 101)) addresses
  addresses=$(drive "window:Advanced Setup|1002" "press:1003" "window:Option|1105" \
    "send:1105|$set|0|$((0xC0A801FF))" "click:1100" "send:1105|$set|0|$((0x0A0000FF))" "click:1100" \
    "send:1105|$set|0|$((0xC0A801FF))" "click:1100" "send:1105|$set|0|0" "click:1100" "items:1106" "press:1" gone \
    "window:Advanced Setup|1002" "press:1003" "window:Option|1105" "items:1106" "press:2" gone) ||
    { echo "$addresses"; return 1; }
  expect_equal "$addresses" $'items 1106: 192.168.1.255|10.0.0.255|192.168.1.255\nitems 1106: 10.0.0.255|192.168.1.255' \
    "the broadcast addresses as added, then as the finder keeps them" || return 1
  timeout 60 wine "$program" >/dev/null 2>&1
  code=$?
  expect_equal "$code" 0 "a second instance's exit code" || return 1
  shown=$(drive "window:Advanced Setup|1002" "enabled:1000|1" close gone) || { echo "$shown"; return 1; }
  wait "$first"
  code=$?
  expect_equal "$code" 0 "the exit code after closing"
}

# The menu's top page and its manual page show the texts the Linux build shows a user of that
# language; Home brings the top
# page back; the driver button starts the package's setup program, Driver\KGSetup.exe beside the menu's
# folder (a stand-in here), and the menu comes back; a second copy ends at once with 0; closed, it ends with 0.
menu_pages() {
  local locale=$1 language=$2 package="$work/menu $arch $1" expected title shown
  local folder=$package/Menu
  mkdir -p "$folder" "$package/Driver"
  cp "$bin/launch/Menu.exe" "$folder/"
  cp "$bin/tests/windows/RXMonitor.exe" "$package/Driver/KGSetup.exe"
  rm -f "$package/Driver/RXMonitor.log"
  # Started from its own folder, as a user opening it does.
  cd "$folder" || return 1
  expected=$("$figures" menu "$language") || { echo "no Linux figure for the menu"; return 1; }
  title=$(sed -n 's/^page top: //p' <<<"$expected")
  # The user's language for the menu only: the driver reads its arguments in the stage's own.
  LANG=$locale LC_ALL=$locale timeout --kill-after=5 60 wine "$folder/Menu.exe" >/dev/null 2>&1 &
  local program=$! code
  shown=$(drive "window:$title|1110" "print:1110" "print:1100" "print:1101" "press:1100" hidden \
    "window:$title|1104" "print:1110" "print:1100" "print:1101") || { echo "$shown"; return 1; }
  expect_equal "$shown" "$(grep '^text' <<<"$expected")" "the pages' texts" || return 1
  timeout 60 wine "$folder/Menu.exe" >/dev/null 2>&1
  code=$?
  expect_equal "$code" 0 "a second instance's exit code" || return 1
  shown=$(drive "window:$title|1104" "press:1104" gone "window:$title|1110" "waittext:1110|$(sed -n '1s/^text 1110: //p' <<<"$shown")" \
    "press:1102") || { echo "$shown"; return 1; }
  wait_until 30 test -s "$package/Driver/RXMonitor.log" || { echo "the driver button started nothing"; return 1; }
  expect_equal "$(tr -d '\r\n' <"$package/Driver/RXMonitor.log")" \
    "show 1 command \"$(winpath "$package")\\Driver\\KGSetup.exe\"" "the driver button's program" || return 1
  shown=$(drive "window:$title|1102" "enabled:1102|1" close gone) || { echo "$shown"; return 1; }
  wait "$program"
  code=$?
  expect_equal "$code" 0 "the exit code after closing"
}

# The setup launcher: without its INI, the system's file-not-found text naming Setup.ini and exit code
# 2; with it, the section for the user's language chooses the program, whose exit code it passes on.
setup_launcher() {
  local folder="$work/setup $arch" expected shown
  mkdir -p "$folder"
  cp "$bin/launch/Setup.exe" "$folder/"
  rm -f "$folder/Setup.ini"
  expected=$("$figures" first-box Setup.exe) || { echo "no Linux figure for the launcher"; return 1; }
  shown=$(first_box "Setup Launcher" "$folder/Setup.exe") || { echo "$shown"; return 1; }
  # Wine words the system's messages its own way: the file named and the code are held.
  expect_equal "$(sed 's/^box: .*\\n/box: /' <<<"$shown")" "$(sed 's/^box: .*\\n/box: /' <<<"$expected")" \
    "without its INI" || return 1
  local language
  for language in English Japanese; do
    mkdir -p "$folder/$language"
    cp "$bin/tests/windows/RXMonitor.exe" "$folder/$language/"
    rm -f "$folder/$language/RXMonitor.log"
  done
  printf '%s\r\n' '[Install]' 'path=English\RXMonitor.exe' 'option=/exit 3010' '[Install.0411]' \
    'path=Japanese\RXMonitor.exe' 'option=/exit 1641' >"$folder/Setup.ini"
  local entry locale code seen
  for entry in "en_US.UTF-8|English|3010" "ja_JP.UTF-8|Japanese|1641"; do
    IFS='|' read -r locale language code <<<"$entry"
    LANG=$locale LC_ALL=$locale timeout 60 wine "$folder/Setup.exe" /ignored >/dev/null 2>&1
    seen=$?
    # An exit code reaches the shell modulo 256.
    expect_equal "$seen" $((code % 256)) "the exit code for a $language user" || return 1
    seen=$(tr -d '\r\n' <"$folder/$language/RXMonitor.log" 2>/dev/null)
    # Started with the launcher's own show command, whatever Wine gave it.
    expect_equal "$(sed 's/^show [0-9]* //' <<<"$seen")" \
      "command \"$(winpath "$folder")\\$language\\RXMonitor.exe\" /exit $code" \
      "the program started for a $language user" || return 1
  done
  # INIs it cannot use: only another language's section (3), a section without a path (2, and no file
  # named on the detail line).
  local ini detail
  for entry in "3|[Install.0411]|path=Japanese\RXMonitor.exe" "2|[Install]|option=/exit 5"; do
    IFS='|' read -r code ini detail <<<"$entry"
    printf '%s\r\n' "$ini" "$detail" >"$folder/Setup.ini"
    shown=$(LANG=en_US.UTF-8 LC_ALL=en_US.UTF-8 first_box "Setup Launcher" "$folder/Setup.exe") ||
      { echo "$shown"; return 1; }
    expect_equal "$(grep '^exit:' <<<"$shown")" "exit: $code" "the exit code for \"$ini $detail\"" || return 1
    grep -q '^box: .*\\n\\n[^\\]' <<<"$shown" && { echo "a file is named: $shown"; return 1; }
  done
  return 0
}

export work figures
export -f installed_state first_box kgsetup_no_package kgsetup_package kgsetup_windows7 kgsetup_wizard \
  uninstaller_folder uninstaller_refusals uninstaller_cancel uninstaller_removal stage_key rxfinder_no_cards menu_pages setup_launcher
export -f spool_dll tessicard_no_device kgl2bmp_file kgl2bmp_damaged kgl2bmp_missing ptf_save_path ptf_cancel ptf_short_section \
  ptf_message_box ptf_language monitor_launcher graphics_dll

# The behaviour checks the Linux tests also hold the simulation to, one line each. A check that fails
# for a Wine defect listed for this Wine version is skipped with the listed reason.
known=$root/tests/windows/wine-known-differences.txt
wine_version=$(wine --version 2>/dev/null | awk '{print $1}')
# The reason a behaviour check is listed as a Wine defect for this Wine version, if it is.
known_difference() {
  awk -F'\t' -v n="$1" -v v="$wine_version" '!/^#/ && $1 == n && $2 == v {print $3}' "$known"
}
# behaviour [<locale> <check>]: all checks in the stage's own locale, or one check for a user of that
# locale (its lines named with the locale).
behaviour() {
  local locale=${1:-} only=${2:-} suffix=${1:+-${1%%.*}}
  [[ -z ${WINE_STAGE_ONLY:-} || $arch-behaviour =~ $WINE_STAGE_ONLY ]] || return 0
  local log=$work/logs/$arch-behaviour$suffix.log results
  # shellcheck disable=SC2086
  results=$(${locale:+env LANG=$locale LC_ALL=$locale} timeout --kill-after=10 "$check_time" wine \
    "$bin/tests/windows/behaviour_checks.exe" $only 2>/dev/null | tr -d '\r')
  printf '%s\n' "$results" >"$log"
  if ! grep -q '^PASS\|^FAIL' <<<"$results"; then
    echo "FAIL $arch-behaviour$suffix: the checks did not run"
    failed=$((failed + 1))
    return
  fi
  local verdict name detail reason
  while read -r verdict name detail; do
    name=${name%:}
    reason=$(known_difference "$name")
    name+=$suffix
    if [[ $verdict == PASS ]]; then
      echo "PASS $arch-behaviour-$name"
      passed=$((passed + 1))
    elif [[ -n $reason ]]; then
      skip "$arch-behaviour-$name" "a Wine defect: $reason"
    else
      echo "FAIL $arch-behaviour-$name: $detail"
      failed=$((failed + 1))
    fi
  done < <(grep -E '^(PASS|FAIL) ' <<<"$results")
}

run_checks() {
  export arch=$1 bin=$root/build/windows-$1 setup_program=KGSetup64.exe
  [[ $arch == x86 ]] && setup_program=KGSetup.exe
  # The DLL's export list, as the build names it.
  export def
  def=$(awk -F'\t' '$1 == "dll" && $2 ~ /\/VELMOQ7\.dll$/ {print $4}' "$bin/deliverables.tsv")
  for p in "${prints[@]}"; do
    check "$arch-kgl2bmp-${p%%|*}" kgl2bmp_file "${p%%|*}"
  done
  check "$arch-kgl2bmp-damaged" kgl2bmp_damaged
  check "$arch-kgl2bmp-missing" kgl2bmp_missing
  check "$arch-printtofile-save-path" ptf_save_path
  check "$arch-printtofile-cancel" ptf_cancel
  check "$arch-printtofile-short-section" ptf_short_section
  check "$arch-printtofile-message-box" ptf_message_box
  check "$arch-printtofile-japanese-user" ptf_language ja_JP.UTF-8 0x411
  check "$arch-printtofile-german-user" ptf_language de_DE.UTF-8 0x407
  check "$arch-printtofile-polish-user" ptf_language pl_PL.UTF-8 0x415
  check "$arch-monitorlauncher" monitor_launcher
  check "$arch-tessicardmgr-no-device" tessicard_no_device
  check "$arch-graphics-dll-DX-2660" graphics_dll "KORIGRAPH DX-2660"
  check "$arch-graphics-dll-DX-3800" graphics_dll "KORIGRAPH DX-3800"
  check "$arch-spool-dll" spool_dll
  check "$arch-kgsetup-no-package-english-user" kgsetup_no_package en_US.UTF-8 9 Error
  check "$arch-kgsetup-no-package-japanese-user" kgsetup_no_package ja_JP.UTF-8 17 '*'
  # With a package beside it, the 32-bit build hands over to the 64-bit one on a 64-bit Windows.
  if [[ $arch == x64 ]]; then
    check "$arch-kgsetup-on-windows-7" kgsetup_windows7
    check "$arch-kgsetup-wizard" kgsetup_wizard
  fi
  check "$arch-uninstaller-refusals" uninstaller_refusals
  check "$arch-uninstaller-cancel" uninstaller_cancel
  check "$arch-uninstaller-removal" uninstaller_removal
  check "$arch-rxfinder-no-cards" rxfinder_no_cards
  check "$arch-menu-english-user" menu_pages en_US.UTF-8 0x409
  # The menu's string table has a language-neutral fallback, which Wine takes before the user's own.
  if reason=$(known_difference resource-language-before-neutral) && [[ -n $reason ]]; then
    skip "$arch-menu-japanese-user" "a Wine defect (resource-language-before-neutral): $reason"
  else
    check "$arch-menu-japanese-user" menu_pages ja_JP.UTF-8 0x411
  fi
  check "$arch-setup-launcher" setup_launcher
  behaviour
  for locale in ja_JP.UTF-8 de_AT.UTF-8 pl_PL.UTF-8; do
    behaviour "$locale" resource-language-choice
    behaviour "$locale" resource-language-before-neutral
  done
}

run_checks x64
# 32-bit programs need wine32 and a kernel that runs them. Wine's launcher exits with 0 also when it
# could not start a 32-bit program at all, so the probe asks for the checks' own output.
if timeout 60 wine "$root/build/windows-x86/tests/windows/behaviour_checks.exe" 2>/dev/null | grep -q '^PASS\|^FAIL'; then
  run_checks x86
else
  reason="32-bit Windows programs do not run here (no wine32, or a kernel without 32-bit support); scripts/check-pe.sh checks the x86 files statically"
  for name in kgl2bmp printtofile monitorlauncher tessicardmgr graphics-dll spool-dll kgsetup uninstaller rxfinder \
    menu setup-launcher behaviour; do skip "x86-$name" "$reason"; done
fi

summary="$passed passed, $failed failed"
((skipped > 0)) && summary+=", $skipped skipped"
echo "$summary"
((failed == 0))
