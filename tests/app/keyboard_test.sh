#!/usr/bin/env bash
# The keyboard end to end (run inside tools/wine-session.sh, whose environment names the prefix
# and the display): Quillodrome with a recording open, a Wine notepad in the foreground standing
# in for the word processor, real key events from the X side (xdotool), and notepad's text read
# afterwards.
#
#   keyboard_test.sh PROGRAM.exe RECORDING.wav WINDOW_TEXT.exe
#
# F6 types time stamps, F8 and F7 move by the auto-rewind amount, F9 plays and pauses,
# Shift+F7/F8 step the speed and type nothing, and X is a keyboard pedal: held it plays, released it pauses
# and steps back. Notepad receives the time stamps and nothing of the keys.
set -euo pipefail
program=$1 recording=$2 window_text=$3
settings_key='HKCU\Software\Brenvale\Quillodrome\Settings'
logs=$QD_WINE_STATE/logs
# shellcheck source=../tools/script-checks.sh
. "$(dirname "$0")/../tools/script-checks.sh"

set_value() { "$WINE" reg add "$settings_key" /v "$1" /t "$2" /d "$3" /f >/dev/null 2>&1; }
value() {
    "$WINE" reg query "$settings_key" /v "$1" 2>/dev/null | tr -d '\r' |
        sed -n "s/^ *$1 *REG_[A-Z]* *\(.*\)$/\1/p"
}
# Its title names the recording once it is open.
program_window() { xdotool search --name '^Quillodrome .*interview\.wav$' >/dev/null 2>&1; }
notepad_window() { xdotool search --name 'Notepad' 2>/dev/null | head -n 1 | grep .; }
notepad_text() { "$WINE" "$window_text" Notepad Edit 2>/dev/null | tr -d '\r'; }
notepad_says() { [ "$(notepad_text)" = "$1" ]; }
keys() { xdotool key --delay 80 "$@"; sleep 0.4; }

# No first-run wait, X as the keyboard pedal, the recording open at 9.0 s, auto-rewind 2.0 s:
# the pedal's first reading (released) steps back to 7.0 s.
set_value Installing REG_DWORD 0
set_value "Port Type" REG_DWORD 4
set_value "Port Num" REG_DWORD 0x58
set_value Recent REG_SZ "$(winepath -w "$recording")"
set_value Position REG_DWORD 90
set_value "Auto Rewind" REG_DWORD 20
# A stored shortcut that is garbage falls back to its key and is written back clean.
set_value "Shortcut Time Stamp" REG_DWORD 0x7fff0001

"$WINE" "$program" >>"$logs/keyboard-test.log" 2>&1 &
check "the program starts with the recording open" wait_for 90 program_window
"$WINE" notepad >>"$logs/keyboard-test.log" 2>&1 &
check "notepad starts" wait_for 30 quiet notepad_window
xdotool windowactivate --sync "$(notepad_window)"
sleep 0.5
xdotool type --delay 80 "a"
check "notepad has the focus" wait_for 5 notepad_says "a"

keys F6
check "F6 types the position, truncated to the second" wait_for 5 notepad_says "a[00:00:07]"
keys F8 F6
check "F8 moves forward by the auto-rewind amount" wait_for 5 notepad_says "a[00:00:07][00:00:09]"
keys F7 F7 F7 F6
check "F7 moves back by the same" wait_for 5 notepad_says "a[00:00:07][00:00:09][00:00:03]"
keys shift+F8 shift+F7 shift+F7
check "Shift+F7 and Shift+F8 type nothing" notepad_says "a[00:00:07][00:00:09][00:00:03]"

# The seconds of the stamps typed since the text was `before`.
stamp_seconds() { local added=${1#"$2"}; grep -o '[0-9][0-9]\]' <<<"$added" | tr -d ']' | sed 's/^0//'; }

before=$(notepad_text)
keys F9
sleep 1.5
keys F9 F6
sleep 1
keys F6
mapfile -t s < <(stamp_seconds "$(notepad_text)" "$before")
echo "      after F9, 1.5 s, F9: ${s[*]}"
check "F9 plays, F9 again pauses where it was" test "${#s[@]}" -eq 2 -a "${s[0]:-0}" -gt 3 -a "${s[0]:-0}" = "${s[1]:-}"
played=${s[0]:-0}

before=$(notepad_text)
xdotool keydown x
sleep 2
keys F6
sleep 0.5
xdotool keyup x
sleep 0.5
keys F6
sleep 1
keys F6
mapfile -t s < <(stamp_seconds "$(notepad_text)" "$before")
echo "      holding X 2 s, then released: ${s[*]}"
check "the pedal key held plays" test "${#s[@]}" -eq 3 -a "${s[0]:-0}" -gt "$played"
check "released, it pauses and steps back" test "${s[1]:-99}" -le "${s[0]:-0}" -a "${s[1]:-0}" -ge $((${s[0]:-0} - 3)) -a "${s[1]:-}" = "${s[2]:-}"
check "notepad received nothing of the pedal key" bash -c "[[ \$('$WINE' '$window_text' Notepad Edit | tr -d '\r') != *[xX]* ]]"
xdotool type --delay 80 "z"
check "typing still reaches notepad" wait_for 5 quiet bash -c "[[ \$('$WINE' '$window_text' Notepad Edit | tr -d '\r') == *z ]]"

"$WINE" taskkill /im Quillodrome.exe >/dev/null 2>&1 || true
check "the program ends" wait_for 20 bash -c '! xdotool search --name "^Quillodrome" >/dev/null 2>&1'
check "the garbage shortcut is written back as F6" same "$(value "Shortcut Time Stamp")" "0x75"
check "the other shortcuts are written" same "$(value "Shortcut Slower")" "0x476"
check "the keyboard pedal is kept" same "$(value "Port Type") $(value "Port Num")" "0x4 0x58"
check "Shift+F8 once and Shift+F7 twice leave the speed at 95 %" same "$(value Speed)" "0x5f"
"$WINE" taskkill /im notepad.exe >/dev/null 2>&1 || true
finish
