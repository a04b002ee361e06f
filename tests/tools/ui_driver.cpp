#include "tests/tools/ui_driver.h"

#include "tests/tools/process_windows.h"

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qdtest {

namespace {
thread_local std::string g_problem;

bool Fail(const std::string& why) {
    g_problem = why;
    return false;
}

HWND Item(HWND dlg, int id) {
    return ::GetDlgItem(dlg, id);
}

// Messages above WM_USER that carry a pointer are not copied between processes: the answer
// goes to memory made in the window's own process and is read back from there.
bool RemoteRect(HWND w, UINT msg, RECT& rc) {
    const DWORD pid = ProcessOf(w);
    HANDLE process =
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return Fail("cannot open process " + std::to_string(pid));
    void* remote =
        ::VirtualAllocEx(process, nullptr, sizeof rc, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    bool ok = remote && (::SendMessageA(w, msg, 0, reinterpret_cast<LPARAM>(remote)), true) &&
              ::ReadProcessMemory(process, remote, &rc, sizeof rc, nullptr);
    if (remote)
        ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    ::CloseHandle(process);
    return ok || Fail("cannot read the answer to message " + std::to_string(msg));
}

// --- Mouse ---

POINT Center(HWND w) {
    RECT rc = ClientRectOnScreen(w);
    return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
}

// Whether a press at `pt` would reach `w` (or a child of it).
bool Reaches(HWND w, POINT pt) {
    HWND hit = ::WindowFromPoint(pt);
    if (hit == w || ::IsChild(w, hit))
        return true;
    char cls[64] = {};
    ::GetClassNameA(hit, cls, sizeof cls);
    return Fail("the point " + std::to_string(pt.x) + "," + std::to_string(pt.y) +
                " shows window '" + Text(hit) + "' of class " + cls + ", not '" + Text(w) + "'");
}

void Send(DWORD flags, LONG dx = 0, LONG dy = 0) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = dx;
    in.mi.dy = dy;
    in.mi.dwFlags = flags;
    ::SendInput(1, &in, sizeof in);
}

// Absolute input is in 1/65536 of the virtual screen, rounded down by the system: round up
// here so that the pointer lands on the very pixel.
void MoveTo(POINT pt) {
    const int vx = ::GetSystemMetrics(SM_XVIRTUALSCREEN);
    const int vy = ::GetSystemMetrics(SM_YVIRTUALSCREEN);
    const int vw = ::GetSystemMetrics(SM_CXVIRTUALSCREEN);
    const int vh = ::GetSystemMetrics(SM_CYVIRTUALSCREEN);
    Send(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK,
         static_cast<LONG>((static_cast<int64_t>(pt.x - vx) * 65536 + vw - 1) / vw),
         static_cast<LONG>((static_cast<int64_t>(pt.y - vy) * 65536 + vh - 1) / vh));
    POINT now{};
    if (::GetCursorPos(&now) && (now.x != pt.x || now.y != pt.y))
        ::SetCursorPos(pt.x, pt.y);
}

struct LastPress {
    POINT pt{-100000, -100000};
    DWORD time = 0;
} g_last;

// Lets a press at `pt` start a new click rather than end a double click.
void OutwaitDoubleClick(POINT pt) {
    const DWORD elapsed = ::GetTickCount() - g_last.time;
    const DWORD limit = ::GetDoubleClickTime() + 50;
    if (elapsed < limit && std::abs(pt.x - g_last.pt.x) <= ::GetSystemMetrics(SM_CXDOUBLECLK) &&
        std::abs(pt.y - g_last.pt.y) <= ::GetSystemMetrics(SM_CYDOUBLECLK))
        ::Sleep(limit - elapsed);
}

void Press(HWND w, POINT pt) {
    MoveTo(pt);
    Settle(w);
    Send(MOUSEEVENTF_LEFTDOWN);
    g_last = {pt, ::GetTickCount()};
    Settle(w);
}

void Release(HWND w) {
    Send(MOUSEEVENTF_LEFTUP);
    Settle(w);
}

// Control `id` of `dlg` when a press at its centre `pt` would reach it.
HWND Reachable(HWND dlg, int id, POINT& pt) {
    HWND w = Item(dlg, id);
    if (!w) {
        Fail("no control " + std::to_string(id));
        return nullptr;
    }
    pt = Center(w);
    return Reaches(w, pt) ? w : nullptr;
}

HWND g_pressed = nullptr;
} // namespace

std::string LastProblem() {
    return g_problem;
}

// --- Reading ---

// Input already sits in the window's queue when SendInput returns. A sent message is handled
// before queued input, so the first round trip may come back before the input was handled;
// the second comes back only from the next wait for messages, after it.
void Settle(HWND w) {
    DWORD_PTR ignored = 0;
    for (int i = 0; i < 2; ++i)
        ::SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &ignored);
}

namespace {
// WM_GETTEXT through SendMessageA or SendMessageW, which decides the width of the text.
template <class Char>
std::basic_string<Char> TextThrough(HWND w, LRESULT(WINAPI* send)(HWND, UINT, WPARAM, LPARAM)) {
    const int n = static_cast<int>(send(w, WM_GETTEXTLENGTH, 0, 0));
    std::basic_string<Char> text(static_cast<size_t>(n) + 1, Char());
    const int got =
        static_cast<int>(send(w, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data())));
    text.resize(static_cast<size_t>(got > 0 ? got : 0));
    return text;
}
} // namespace

std::string Text(HWND w) {
    return TextThrough<char>(w, &::SendMessageA);
}

std::string ItemText(HWND dlg, int id) {
    return Text(Item(dlg, id));
}

std::wstring WideText(HWND w) {
    return TextThrough<wchar_t>(w, &::SendMessageW);
}

std::wstring WideItemText(HWND dlg, int id) {
    return WideText(Item(dlg, id));
}

int SliderPos(HWND dlg, int id) {
    return static_cast<int>(::SendMessageA(Item(dlg, id), TBM_GETPOS, 0, 0));
}

int SliderMax(HWND dlg, int id) {
    return static_cast<int>(::SendMessageA(Item(dlg, id), TBM_GETRANGEMAX, 0, 0));
}

bool IsTopmost(HWND w) {
    return (::GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

RECT WindowRect(HWND w) {
    RECT rc{};
    ::GetWindowRect(w, &rc);
    return rc;
}

RECT ClientRectOnScreen(HWND w) {
    RECT rc{};
    ::GetClientRect(w, &rc);
    ::MapWindowPoints(w, nullptr, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

// --- Mouse input ---

namespace {
// Presses the centre of `id` `count` times, releasing the last press only when `release`.
bool Presses(HWND dlg, int id, int count, bool release) {
    POINT pt{};
    HWND w = Reachable(dlg, id, pt);
    if (!w)
        return false;
    OutwaitDoubleClick(pt);
    for (int i = 0; i < count; ++i) {
        Press(w, pt);
        if (i + 1 < count || release)
            Release(w);
    }
    g_pressed = release ? nullptr : w;
    if (count > 1)
        g_last.time = 0;
    return true;
}
} // namespace

bool Click(HWND dlg, int id) {
    return Presses(dlg, id, 1, true);
}

bool DoubleClick(HWND dlg, int id) {
    return Presses(dlg, id, 2, true);
}

bool MouseDown(HWND dlg, int id) {
    return Presses(dlg, id, 1, false);
}

void MouseUp() {
    Release(g_pressed ? g_pressed : ::GetDesktopWindow());
    g_pressed = nullptr;
}

bool PressAndHold(HWND dlg, int id, DWORD ms) {
    if (!MouseDown(dlg, id))
        return false;
    ::Sleep(ms);
    MouseUp();
    return true;
}

bool DragSlider(HWND dlg, int id, int toValue) {
    HWND tb = Item(dlg, id);
    RECT thumb{}, channel{};
    if (!tb)
        return Fail("no control " + std::to_string(id));
    if (!RemoteRect(tb, TBM_GETTHUMBRECT, thumb) || !RemoteRect(tb, TBM_GETCHANNELRECT, channel))
        return false;
    const int lo = static_cast<int>(::SendMessageA(tb, TBM_GETRANGEMIN, 0, 0));
    const int hi = static_cast<int>(::SendMessageA(tb, TBM_GETRANGEMAX, 0, 0));
    if (toValue < lo || toValue > hi)
        return Fail(std::to_string(toValue) + " lies outside " + std::to_string(lo) + ".." +
                    std::to_string(hi));
    const bool vertical = (::GetWindowLongA(tb, GWL_STYLE) & TBS_VERT) != 0;
    const auto pos = [&] { return static_cast<int>(::SendMessageA(tb, TBM_GETPOS, 0, 0)); };
    // Under load a press now and then does not start the drag (the trackbar takes no capture),
    // or the thumb does not follow the pointer at all; a user would press again, and so does
    // this.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt && (!RemoteRect(tb, TBM_GETTHUMBRECT, thumb) ||
                        !RemoteRect(tb, TBM_GETCHANNELRECT, channel)))
            return false;
        POINT pt = {(thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2};
        ::ClientToScreen(tb, &pt);
        if (!Reaches(tb, pt))
            return false;
        OutwaitDoubleClick(pt);
        Press(tb, pt);
        // Under load the press can reach the trackbar after the settling round trips; wait for
        // the capture a while rather than press again (a second press would end a second track).
        const auto captured = [tb] {
            GUITHREADINFO gui{};
            gui.cbSize = sizeof gui;
            return ::GetGUIThreadInfo(::GetWindowThreadProcessId(tb, nullptr), &gui) &&
                   gui.hwndCapture == tb;
        };
        bool held = captured();
        for (int waited = 0; !held && waited < 1000; waited += 20) {
            ::Sleep(20);
            held = captured();
        }
        if (!held) {
            Release(tb);
            continue;
        }
        // A first move by the channel's scale, then pixel by pixel until the value is reached
        // or passed (when one pixel spans several values).
        LONG& along = vertical ? pt.y : pt.x;
        const int length = vertical ? channel.bottom - channel.top - (thumb.bottom - thumb.top)
                                    : channel.right - channel.left - (thumb.right - thumb.left);
        const int first = pos();
        along += static_cast<LONG>(static_cast<int64_t>(toValue - first) * length /
                                   std::max(1, hi - lo));
        MoveTo(pt);
        Settle(tb);
        for (int steps = 0; pos() != toValue && steps < length + 8; ++steps) {
            const int before = toValue - pos();
            along += before > 0 ? 1 : -1;
            MoveTo(pt);
            Settle(tb);
            const int after = toValue - pos();
            if (after != 0 && (after > 0) != (before > 0))
                break;
        }
        Release(tb);
        if (pos() == toValue || pos() != first)
            break;
    }
    return pos() == toValue || Fail("the thumb stopped at " + std::to_string(pos()) + ", not " +
                                    std::to_string(toValue));
}

// --- Dialogs ---

HWND WaitDialog(DWORD pid, DWORD timeoutMs, const char* caption, HWND exclude) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            for (HWND w : VisibleTopLevels(pid)) {
                char cls[16] = {};
                ::GetClassNameA(w, cls, sizeof cls);
                if (w != exclude && std::strcmp(cls, "#32770") == 0 &&
                    (!caption || Text(w) == caption)) {
                    found = w;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    if (!found)
        Fail(std::string("no dialog") + (caption ? std::string(" '") + caption + "'" : "") +
             " of process " + std::to_string(pid) + " within " + std::to_string(timeoutMs) + " ms");
    return found;
}

std::string MessageBoxText(HWND box) {
    return ItemText(box, 0xFFFF);
}

// Pressing a dialog's button comes down to its WM_COMMAND; it is posted, since the program
// may answer it with another modal window.
bool Answer(HWND box, int buttonId, DWORD timeoutMs) {
    HWND button = Item(box, buttonId);
    if (!button || !::IsWindowVisible(button))
        return Fail("the dialog '" + Text(box) + "' has no button " + std::to_string(buttonId));
    ::PostMessageA(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    return WaitUntil([&] { return !::IsWindowVisible(box); }, timeoutMs) ||
           Fail("the dialog '" + Text(box) + "' stayed open");
}

// The file name box is cmb13 in the dialog as it comes and edt1 in one with a template of
// the program's own; WM_SETTEXT on the combo box fills its edit field.
bool ChooseFile(HWND fileDialog, const std::wstring& path, DWORD timeoutMs) {
    HWND name = Item(fileDialog, cmb13);
    if (!name)
        name = Item(fileDialog, edt1);
    if (!name)
        return Fail("the dialog '" + Text(fileDialog) + "' has no file name box");
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
    if (WideText(name) != path)
        return Fail("the file name box shows '" + Text(name) + "'");
    return Answer(fileDialog, IDOK, timeoutMs);
}

bool ChooseFile(HWND fileDialog, const std::string& path, DWORD timeoutMs) {
    return ChooseFile(fileDialog, WideFromAnsi(path), timeoutMs);
}

// --- Pictures ---

Pixels Capture(HWND w) {
    HDC screen = ::GetDC(nullptr);
    Pixels p = ReadPixels(screen, ClientRectOnScreen(w));
    ::ReleaseDC(nullptr, screen);
    return p;
}

namespace {
bool ShowsAtTopLeft(const Pixels& shown, const Pixels& bitmap) {
    if (bitmap.w == 0 || bitmap.w > shown.w || bitmap.h > shown.h)
        return false;
    for (int y = 0; y < bitmap.h; ++y)
        for (int x = 0; x < bitmap.w; ++x)
            if (shown.At(x, y) != bitmap.At(x, y))
                return false;
    return true;
}

template <class Name>
Name FindShown(HWND dlg, int id, const std::string& exePath, std::initializer_list<Name> candidates,
               const char* (*resource)(const Name&)) {
    const Pixels shown = Capture(Item(dlg, id));
    HMODULE module = ::LoadLibraryExA(exePath.c_str(), nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module) {
        Fail("cannot load the resources of " + exePath);
        return {};
    }
    Name match{};
    for (const Name& candidate : candidates) {
        auto* bitmap = static_cast<HBITMAP>(
            ::LoadImageA(module, resource(candidate), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        const bool shows = bitmap && ShowsAtTopLeft(shown, BitmapPixels(bitmap));
        ::DeleteObject(bitmap);
        if (shows) {
            match = candidate;
            break;
        }
    }
    ::FreeLibrary(module);
    if (match == Name{})
        Fail("control " + std::to_string(id) + " shows none of the bitmaps");
    return match;
}
} // namespace

int ShownBitmap(HWND dlg, int id, const std::string& exePath,
                std::initializer_list<int> candidates) {
    return FindShown<int>(dlg, id, exePath, candidates, [](const int& candidate) -> const char* {
        return MAKEINTRESOURCEA(candidate);
    });
}

std::string ShownBitmap(HWND dlg, int id, const std::string& exePath,
                        std::initializer_list<const char*> candidates) {
    const char* match = FindShown<const char*>(
        dlg, id, exePath, candidates, [](const char* const& candidate) { return candidate; });
    return match ? match : "";
}

// --- Dropping files ---

// What the shell hands a window that accepts files is a DROPFILES block in memory of the
// window's process; DragQueryFile and DragQueryPoint only lock it, which gives back the block
// itself when it is plain memory rather than a movable handle. So the block is written into
// the target process and its address posted. (An OLE drag would not do under Wine: its
// DoDragDrop only reaches windows registered with RegisterDragDrop.) DragFinish cannot free
// memory made this way; the target keeps those few bytes.
bool DropFiles(HWND target, const std::vector<std::wstring>& paths, POINT clientPoint) {
    POINT pt = clientPoint;
    ::ClientToScreen(target, &pt);
    if (!Reaches(target, pt))
        return false;
    HWND w = ::WindowFromPoint(pt);
    while (w && !(::GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_ACCEPTFILES))
        w = ::GetAncestor(w, GA_PARENT);
    if (!w || w == ::GetDesktopWindow())
        return Fail("no window under the point accepts files");
    ::ScreenToClient(w, &pt);

    DROPFILES header{};
    header.pFiles = sizeof header;
    header.pt = pt;
    header.fNC = FALSE;
    header.fWide = TRUE;
    std::string block(reinterpret_cast<const char*>(&header), sizeof header);
    for (const std::wstring& path : paths)
        block.append(reinterpret_cast<const char*>(path.c_str()),
                     (path.size() + 1) * sizeof(wchar_t));
    block.append(sizeof(wchar_t), '\0');

    const DWORD pid = ProcessOf(w);
    HANDLE process =
        ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    void* remote = process ? ::VirtualAllocEx(process, nullptr, block.size(),
                                              MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)
                           : nullptr;
    const bool written =
        remote && ::WriteProcessMemory(process, remote, block.data(), block.size(), nullptr);
    if (process)
        ::CloseHandle(process);
    if (!written)
        return Fail("cannot write the file list into process " + std::to_string(pid));
    ::PostMessageA(w, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
    Settle(w);
    return true;
}

bool DropFiles(HWND target, const std::vector<std::string>& paths, POINT clientPoint) {
    std::vector<std::wstring> wide;
    for (const std::string& path : paths)
        wide.push_back(WideFromAnsi(path));
    return DropFiles(target, wide, clientPoint);
}

} // namespace qdtest
