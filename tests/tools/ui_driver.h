// Drives another Windows program from a test, as its user would: starts it, reads its windows,
// clicks and drags with real mouse input, answers its message boxes and file dialogs, drops
// files on it and tells which picture a control shows.
//
// Mouse input goes through SendInput and so lands on whatever window is under the pointer:
// the program must be visible and not covered. Tests that use it cannot share a display with
// each other (give them RESOURCE_LOCK desktop). Input is asynchronous; the helpers here wait
// until the program has handled what they sent, but anything the program does later (timers,
// repaints) is for WaitUntil.
#pragma once

#include "tests/tools/pixels.h"
#include "tests/tools/program.h"

#include <windows.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace qdtest {

// Why the last helper here that answered false or null did so.
std::string LastProblem();

// Returns once the thread that owns `w` has handled everything queued to it so far.
void Settle(HWND w);

// Texts through WM_GETTEXT (copied across processes by the system), in the ANSI code page.
std::string Text(HWND w);
std::string ItemText(HWND dlg, int id);
// The same in UTF-16, whole whatever the ANSI code page holds.
std::wstring WideText(HWND w);
std::wstring WideItemText(HWND dlg, int id);
// Trackbar position and range end (TBM_GETPOS, TBM_GETRANGEMAX).
int SliderPos(HWND dlg, int id);
int SliderMax(HWND dlg, int id);

bool IsTopmost(HWND w);
// Screen coordinates.
RECT WindowRect(HWND w);
RECT ClientRectOnScreen(HWND w);

// Presses and releases the left button over the centre of control `id` of `dlg`. False, with
// nothing sent, when the centre is not on screen or another window covers it. A second click
// at the same place follows the first only after the double-click time, so that it does not
// become a double click.
bool Click(HWND dlg, int id);
// Two clicks within the double-click time (an SS_NOTIFY static gets STN_DBLCLK).
bool DoubleClick(HWND dlg, int id);
// The button down over the centre of `id`, and the button up wherever the pointer is: an
// owner-drawn button shows its pressed state in between.
bool MouseDown(HWND dlg, int id);
void MouseUp();
bool PressAndHold(HWND dlg, int id, DWORD ms);
// Drags the thumb of trackbar `id` with the mouse until it reports `toValue` and releases it
// there: the trackbar sends its parent WM_HSCROLL/WM_VSCROLL (thumb track, thumb position,
// end track) and NM_RELEASEDCAPTURE as for a user. False when the thumb cannot be grabbed or
// the value is out of reach (then the thumb is released where it got to).
bool DragSlider(HWND dlg, int id, int toValue);

// The first visible window of class "#32770" (a message box or a standard dialog) of process
// `pid` other than `exclude`, whose caption is `caption` when not null; waits up to
// `timeoutMs`, null when none came.
HWND WaitDialog(DWORD pid, DWORD timeoutMs, const char* caption = nullptr, HWND exclude = nullptr);
// The message of a message box.
std::string MessageBoxText(HWND box);
// Presses button `buttonId` (IDOK, IDYES, IDNO, IDRETRY, IDCANCEL…) of a dialog and waits for
// the dialog to close; false when it has no such button or stays open.
bool Answer(HWND box, int buttonId, DWORD timeoutMs = 5000);
// Types `path` into the file-name box of an open or save dialog and confirms it; true when
// the dialog closed (it stays open, for example, behind an error box about a missing file).
bool ChooseFile(HWND fileDialog, const std::string& path, DWORD timeoutMs = 10000);
bool ChooseFile(HWND fileDialog, const std::wstring& path, DWORD timeoutMs = 10000);

// The client area of `w` as the screen shows it now (covering windows included).
Pixels Capture(HWND w);
// Which of `candidates` (bitmap resources of the executable `exePath`) the control `id` shows:
// the bitmap's pixels must equal the screen's at the top-left of the control's client area,
// exactly. 0 (or "") when none does.
int ShownBitmap(HWND dlg, int id, const std::string& exePath,
                std::initializer_list<int> candidates);
std::string ShownBitmap(HWND dlg, int id, const std::string& exePath,
                        std::initializer_list<const char*> candidates);

// Drops `paths` on the window under `clientPoint` (client coordinates of `target`) as the
// shell does: the nearest window at or above it that accepts files gets WM_DROPFILES with a
// DROPFILES block made in its own process, in UTF-16 as the shell makes it. False when no
// window there accepts files.
bool DropFiles(HWND target, const std::vector<std::wstring>& paths, POINT clientPoint);
// Paths of the ANSI code page.
bool DropFiles(HWND target, const std::vector<std::string>& paths, POINT clientPoint);

} // namespace qdtest
