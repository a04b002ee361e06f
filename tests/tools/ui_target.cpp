// A small dialog program for the UI driver's own test: each control shows, through a text of
// the window, what the driver's input made it see. The caption is "UI target", followed by
// the environment variable QD_TARGET_NOTE and the command line when there are.
#include "tests/tools/ui_target.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>

namespace {

struct Seen {
    int clicks = 0;
    int toggleClicks = 0;
    int toggleDoubles = 0;
    bool on = false;
    int track = 0, position = 0, end = 0, released = 0, last = -1;
    int drops = 0;
} g_seen;

std::string g_caption = "UI target";

void Show(HWND dlg, int id, const std::string& text) {
    ::SetDlgItemTextA(dlg, id, text.c_str());
}

std::string Num(int n) {
    return std::to_string(n);
}

void ShowSlider(HWND dlg) {
    Show(dlg, IDC_SLIDER_SEEN,
         "track=" + Num(g_seen.track) + " position=" + Num(g_seen.position) + " end=" +
             Num(g_seen.end) + " released=" + Num(g_seen.released) + " last=" + Num(g_seen.last));
}

void ShowToggles(HWND dlg) {
    Show(dlg, IDC_TOGGLES,
         "clicked=" + Num(g_seen.toggleClicks) + " double=" + Num(g_seen.toggleDoubles));
}

void DrawOwner(const DRAWITEMSTRUCT& di) {
    const bool down = (di.itemState & ODS_SELECTED) != 0;
    HBRUSH brush = ::CreateSolidBrush(down ? TARGET_DOWN_COLOUR : TARGET_UP_COLOUR);
    ::FillRect(di.hDC, &di.rcItem, brush);
    ::DeleteObject(brush);
}

void OpenFile(HWND dlg) {
    char path[MAX_PATH] = {};
    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = dlg;
    ofn.lpstrFilter = "Sons\0*.wav\0Tous les fichiers\0*.*\0";
    ofn.lpstrFile = path;
    ofn.nMaxFile = sizeof path;
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    Show(dlg, IDC_OPEN, ::GetOpenFileNameA(&ofn) ? path : "cancelled");
}

void Dropped(HWND dlg, HDROP drop) {
    const UINT count = ::DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
    char last[1024] = {};
    if (count)
        ::DragQueryFileA(drop, count - 1, last, sizeof last);
    POINT pt{};
    ::DragQueryPoint(drop, &pt);
    ::DragFinish(drop);
    ++g_seen.drops;
    Show(dlg, IDC_DROPPED,
         "drops=" + Num(g_seen.drops) + " files=" + Num(static_cast<int>(count)) +
             " at=" + Num(pt.x) + "," + Num(pt.y) + " last=" + last);
}

void OnCommand(HWND dlg, int id, int code) {
    if (id == IDC_OWNER && code == BN_CLICKED) {
        Show(dlg, IDC_CLICKS, "clicks=" + Num(++g_seen.clicks));
    } else if (id == IDC_TOGGLE && code == STN_CLICKED) {
        ++g_seen.toggleClicks;
        g_seen.on = !g_seen.on;
        HINSTANCE self = ::GetModuleHandleA(nullptr);
        auto* bitmap = static_cast<HBITMAP>(
            ::LoadImageA(self, MAKEINTRESOURCEA(g_seen.on ? IDB_TARGET_ON : IDB_TARGET_OFF),
                         IMAGE_BITMAP, 0, 0, 0));
        HANDLE old = reinterpret_cast<HANDLE>(::SendDlgItemMessageA(
            dlg, IDC_TOGGLE, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
        if (old)
            ::DeleteObject(old);
        ShowToggles(dlg);
    } else if (id == IDC_TOGGLE && code == STN_DBLCLK) {
        ++g_seen.toggleDoubles;
        ShowToggles(dlg);
    } else if (id == IDC_ASK && code == BN_CLICKED) {
        const int answer =
            ::MessageBoxA(dlg, "Le fichier « été.wav » est introuvable.\nContinuer ?", "Question",
                          MB_YESNO | MB_ICONQUESTION);
        Show(dlg, IDC_ANSWER, "answer=" + Num(answer));
    } else if (id == IDC_OPEN && code == BN_CLICKED) {
        OpenFile(dlg);
    } else if (id == IDCANCEL) {
        ::EndDialog(dlg, TARGET_EXIT_CODE);
    }
}

INT_PTR CALLBACK TargetProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
    switch (msg) {
    case WM_INITDIALOG:
        ::SetWindowTextA(dlg, g_caption.c_str());
        ::SetDlgItemTextA(dlg, IDC_EDIT, "entrée");
        ::SendDlgItemMessageA(dlg, IDC_SLIDER, TBM_SETRANGE, TRUE, MAKELPARAM(0, 100));
        ::SendDlgItemMessageA(dlg, IDC_SLIDER, TBM_SETPOS, TRUE, 20);
        ::DragAcceptFiles(dlg, TRUE);
        return TRUE;
    case WM_DRAWITEM:
        DrawOwner(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_HSCROLL:
        switch (LOWORD(wParam)) {
        case TB_THUMBTRACK:
            ++g_seen.track;
            break;
        case TB_THUMBPOSITION:
            ++g_seen.position;
            g_seen.last = HIWORD(wParam);
            break;
        case TB_ENDTRACK:
            ++g_seen.end;
            break;
        }
        ShowSlider(dlg);
        return TRUE;
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(lParam)->code == NM_RELEASEDCAPTURE) {
            ++g_seen.released;
            ShowSlider(dlg);
        }
        return TRUE;
    case WM_DROPFILES:
        Dropped(dlg, reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_COMMAND:
        OnCommand(dlg, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        ::EndDialog(dlg, TARGET_EXIT_CODE);
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR cmdLine, int) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&icc);
    if (const char* note = std::getenv("QD_TARGET_NOTE"))
        g_caption += std::string(" ") + note;
    if (cmdLine && *cmdLine)
        g_caption += std::string(" ") + cmdLine;
    return static_cast<int>(
        ::DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_UI_TARGET), nullptr, TargetProc, 0));
}
