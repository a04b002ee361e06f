#!/usr/bin/env bash
# The installer end to end in a fresh Wine prefix (run inside tools/wine-session.sh, whose
# environment names the prefix and the display):
#
#   installer_test.sh SETUP.exe UPDATE.exe PROGRAM.exe VERSION CA.crt
#
# CA.crt is the authority of the build's signing identity: every file shipped must carry an
# Authenticode signature that verifies up to it.
# silent install, install over an earlier build, the update while the program runs (it waits,
# then swaps), the same with the program never closing (it gives up and changes nothing), the
# French wizard with its "Lancer Quillodrome" finish page, and the silent uninstall.
set -euo pipefail
setup=$1 update=$2 program=$3 version=$4 ca=$5

c=$WINEPREFIX/drive_c
dir="$c/Program Files/Quillodrome"
win_dir='C:\Program Files\Quillodrome'
shortcut="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/Quillodrome.lnk"
uninst_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillodrome'
settings_key='HKCU\Software\Brenvale\Quillodrome\Settings'
logs=$QD_WINE_STATE/logs
# shellcheck source=../tools/script-checks.sh
. "$(dirname "$0")/../tools/script-checks.sh"
now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }
less_than() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
signed() { osslsigncode verify -CAfile "$ca" -in "$1" 2>&1 | grep -q '^Succeeded$'; }

# The four numbers of a file's version record (product version of VS_FIXEDFILEINFO).
file_version() {
    /usr/bin/python3 - "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
ms, ls = struct.unpack_from("<II", data, at + 16) if at >= 0 else (0, 0)
print(f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}")
PY
}
# One value of the Add/Remove entry as `reg query` prints it (type and data).
uninst_value() {
    "$WINE" reg query "$uninst_key" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *\(REG_[A-Z]*\) *\(.*\)$/\1 \2/p"
}
wine_bg() { "$WINE" "$@" >>"$logs/installer-test.log" 2>&1 & }
program_window() { xdotool search --name '^Quillodrome$' >/dev/null 2>&1; }
start_program() {
    wine_bg "$win_dir\\Quillodrome.exe"
    wait_for 20 program_window
}
close_program() {
    "$WINE" taskkill /im Quillodrome.exe >/dev/null 2>&1
    wait_for 20 bash -c '! xdotool search --name "^Quillodrome$" >/dev/null 2>&1'
}
# An earlier version in place: the built program with bytes appended (still a valid program).
make_earlier() { printf 'earlier-build' >>"$dir/Quillodrome.exe"; }
installed_is_new() { cmp -s "$dir/Quillodrome.exe" "$program"; }
installed_files() { (cd "$dir" && LC_ALL=C ls | LC_ALL=C sort | tr '\n' ' '); }
# The program, the time-stretching library with its licence text, the uninstaller.
all_files="Quillodrome.exe SoundTouch-COPYING.TXT Uninstall.exe libSoundTouchDLL.dll "

# No first-run wait and no pedal port: the program starts at once.
"$WINE" reg add "$settings_key" /v Installing /t REG_DWORD /d 0 /f >/dev/null 2>&1
"$WINE" reg add "$settings_key" /v "Port Type" /t REG_DWORD /d 0 /f >/dev/null 2>&1

echo "== the installer files"
check "QuillodromeUpdateFr.exe is QuillodromeSetup.exe byte for byte" cmp -s "$setup" "$update"
check "installer version record is $version" same "$(file_version "$setup")" "$version"
echo "      installer size: $(stat -c %s "$setup") bytes"
cp "$setup" "$c/QuillodromeSetup.exe"
cp "$update" "$c/QuillodromeUpdateFr.exe"

echo "== silent install into a fresh prefix"
start=$(now)
rc=0
"$WINE" 'C:\QuillodromeSetup.exe' /S >>"$logs/installer-test.log" 2>&1 || rc=$?
echo "      silent install took $(seconds_since "$start") s"
check "silent install exits 0" same "$rc" 0
check "folder holds the program, its library with its licence, and its uninstaller" same "$(installed_files)" "$all_files"
check "the library's licence is the LGPL" grep -q "GNU LESSER GENERAL PUBLIC LICENSE" "$dir/SoundTouch-COPYING.TXT"
check "installed program is the build's" installed_is_new
check "installed program's version record is $version" same "$(file_version "$dir/Quillodrome.exe")" "$version"
check "Start-menu shortcut for all users points at the program" \
    grep -q "Quillodrome\\\\Quillodrome.exe" <(strings -a "$shortcut"; strings -a -el "$shortcut")
check "DisplayName" same "$(uninst_value DisplayName)" "REG_SZ Quillodrome"
check "Publisher" same "$(uninst_value Publisher)" "REG_SZ Brenvale"
check "DisplayVersion" same "$(uninst_value DisplayVersion)" "REG_SZ $version"
check "DisplayIcon" same "$(uninst_value DisplayIcon)" "REG_SZ $win_dir\\Quillodrome.exe,0"
check "InstallLocation" same "$(uninst_value InstallLocation)" "REG_SZ $win_dir"
check "UninstallString" same "$(uninst_value UninstallString)" "REG_SZ \"$win_dir\\Uninstall.exe\""
check "QuietUninstallString" same "$(uninst_value QuietUninstallString)" \
    "REG_SZ \"$win_dir\\Uninstall.exe\" /S"
check "NoModify" same "$(uninst_value NoModify)" "REG_DWORD 0x1"
check "NoRepair" same "$(uninst_value NoRepair)" "REG_DWORD 0x1"
size_kb=$(($(uninst_value EstimatedSize | sed 's/REG_DWORD //')))
files_kb=$(($(cat "$dir"/* | wc -c) / 1024))
check "EstimatedSize ($size_kb KB) is the folder's size ($files_kb KB)" \
    test $((size_kb - files_kb)) -ge 0 -a $((size_kb - files_kb)) -le 2
for f in "$setup" "$update" "$dir/Quillodrome.exe" "$dir/Uninstall.exe" "$dir/libSoundTouchDLL.dll"; do
    check "$(basename "$f") carries the build's valid signature" signed "$f"
done

echo "== silent install over an earlier version"
make_earlier
rc=0
"$WINE" 'C:\QuillodromeUpdateFr.exe' /S >>"$logs/installer-test.log" 2>&1 || rc=$?
check "second install exits 0" same "$rc" 0
check "the earlier program was replaced" installed_is_new
check "folder holds the same files" same "$(installed_files)" "$all_files"
check "one Add/Remove entry" same \
    "$("$WINE" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' 2>/dev/null |
        tr -d '\r' | grep -ci quillodrome)" 1

echo "== update while the program runs"
make_earlier
earlier=$(mktemp)
cp "$dir/Quillodrome.exe" "$earlier"
check "the earlier program starts from the install folder" start_program
start=$(now)
wine_bg 'C:\QuillodromeUpdateFr.exe' /S
installer=$!
sleep 4
check "installer still waits after 4 s" kill -0 "$installer" 2>/dev/null
check "meanwhile the earlier program is untouched" cmp -s "$dir/Quillodrome.exe" "$earlier"
check "meanwhile the new program lies complete beside it" cmp -s "$dir/Quillodrome.exe.new" "$program"
rc=0
"$WINE" 'C:\QuillodromeSetup.exe' /S >>"$logs/installer-test.log" 2>&1 || rc=$?
check "a second installer refuses to run (exit 2)" same "$rc" 2
check "program closes on WM_CLOSE" close_program
closed=$(now)
rc=0
wait "$installer" || rc=$?
echo "      the installer ended $(seconds_since "$closed") s after the program (update took $(seconds_since "$start") s)"
check "installer completes after the program ends" same "$rc" 0
check "it ended within 3 s of the program" less_than "$(seconds_since "$closed")" 3
check "the new program is in place" installed_is_new
check "no temporary file is left" same "$(installed_files)" "$all_files"

echo "== silent update while the program never closes"
make_earlier
cp "$dir/Quillodrome.exe" "$earlier"
check "the earlier program starts" start_program
start=$(now)
rc=0
"$WINE" 'C:\QuillodromeSetup.exe' /S >>"$logs/installer-test.log" 2>&1 || rc=$?
waited=$(seconds_since "$start")
echo "      the installer gave up after $waited s"
check "the installer fails (exit 2)" same "$rc" 2
check "after waiting about 30 s" less_than 29 "$waited"
check "the earlier program is untouched" cmp -s "$dir/Quillodrome.exe" "$earlier"
check "no temporary file is left" same "$(installed_files)" "$all_files"
check "the program still runs" program_window
close_program || true
rm -f "$earlier"

echo "== the French wizard over the installed version, with Lancer Quillodrome"
wine_bg 'C:\QuillodromeSetup.exe'
installer=$!
press_enter() {
    local w
    w=$(xdotool search --name '^Installation de Quillodrome' | head -n 1) || return 1
    xdotool windowactivate --sync "$w" key Return
}
wizard_window() { xdotool search --name "^Installation de Quillodrome $version\$" >/dev/null 2>&1; }
check "welcome page shows" wait_for 20 wizard_window
sleep 1
# Welcome, then (the folder page is skipped for an update) the finish page with its box ticked.
press_enter
sleep 3
check "the installation ran while the finish page shows" installed_is_new
press_enter
rc=0
wait "$installer" || rc=$?
check "the wizard exits 0" same "$rc" 0
check "its finish page started Quillodrome" wait_for 20 program_window
close_program || true

echo "== silent uninstall with the QuietUninstallString"
"$WINE" reg add "$settings_key" /v Volume /t REG_DWORD /d 1234 /f >/dev/null 2>&1
quiet=$(uninst_value QuietUninstallString | sed 's/^REG_SZ //')
uninstaller=${quiet%\" *}
uninstaller=${uninstaller#\"}
start=$(now)
rc=0
"$WINE" "$uninstaller" "${quiet##* }" >>"$logs/installer-test.log" 2>&1 || rc=$?
check "uninstaller exits 0" same "$rc" 0
# The uninstaller runs on from a copy of itself in the temporary folder.
check "program folder removed" wait_for 30 test ! -e "$dir"
echo "      uninstall took $(seconds_since "$start") s"
check "shortcut removed" test ! -e "$shortcut"
check "Add/Remove entry removed" bash -c "! '$WINE' reg query '$uninst_key' >/dev/null 2>&1"
check "the user's settings remain" same \
    "$("$WINE" reg query "$settings_key" /v Volume 2>/dev/null | tr -d '\r' | awk '/Volume/ {print $3}')" \
    0x4d2

echo "== silent install into a folder of the user's choice"
rc=0
# Wine would quote an argument with a space, and NSIS takes /D= only unquoted.
"$WINE" 'C:\QuillodromeSetup.exe' /S '/D=C:\Outils\Quillodrome' >>"$logs/installer-test.log" 2>&1 || rc=$?
check "install with /D= exits 0" same "$rc" 0
check "the program is in that folder" cmp -s "$c/Outils/Quillodrome/Quillodrome.exe" "$program"
check "InstallLocation names it" same "$(uninst_value InstallLocation)" 'REG_SZ C:\Outils\Quillodrome'

echo "== the uninstall wizard, asked to remove the settings too"
wine_bg 'C:\Outils\Quillodrome\Uninstall.exe'
# The wizard's title ends with a space, the settings question's does not.
uninstall_window() { xdotool search --name "sinstallation de Quillodrome $" | head -n 1 | grep .; }
question_window() { xdotool search --name "sinstallation de Quillodrome\$" | head -n 1 | grep .; }
check "uninstall wizard shows" wait_for 20 quiet uninstall_window
sleep 1
xdotool windowactivate --sync "$(uninstall_window)" key Return
check "the settings question comes" wait_for 20 quiet question_window
xdotool windowactivate --sync "$(question_window)" key y
check "program folder removed" wait_for 20 test ! -e "$c/Outils/Quillodrome"
check "the settings are gone" wait_for 10 bash -c "! '$WINE' reg query 'HKCU\Software\Brenvale' >/dev/null 2>&1"
xdotool windowactivate --sync "$(uninstall_window)" key Return || true

finish
