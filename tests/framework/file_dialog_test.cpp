// The open and save dialogs for real: another thread finds the dialog, types into its file name
// box and presses OK (or Cancel), as a user or an end-to-end driver would.
#include "framework/file_dialog.h"
#include "framework/win_app.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <dlgs.h>

#include <algorithm>
#include <thread>

namespace {

// Polish, Greek and Japanese letters: none of them is in the ANSI code page.
const wchar_t* kUnicodeName = L"Łódź Συνέντευξη 録音.wav";

std::wstring Folder() {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    std::wstring folder = std::wstring(temp) + L"qd_file_dialog\\";
    ::CreateDirectoryW(folder.c_str(), nullptr);
    for (const wchar_t* name : {L"un.wav", L"été.wav", kUnicodeName}) {
        HANDLE f = ::CreateFileW((folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 0, nullptr);
        ::CloseHandle(f);
    }
    return folder;
}

HWND FindDialog(DWORD thread) {
    HWND found = nullptr;
    for (int i = 0; i < 500 && !found; ++i) {
        ::EnumThreadWindows(
            thread,
            [](HWND wnd, LPARAM out) {
                char cls[16] = {};
                ::GetClassNameA(wnd, cls, sizeof cls);
                if (std::string(cls) != "#32770" || !::IsWindowVisible(wnd))
                    return TRUE;
                *reinterpret_cast<HWND*>(out) = wnd;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        ::Sleep(20);
    }
    return found;
}

struct Answer {
    HWND owner = nullptr;
    std::string nameBoxClass;
};

// Types `typed` into the file name box (control cmb13 of the explorer-style dialog, a
// ComboBoxEx32 under Wine, whose text is the edit's; or the older dialog's edit edt1) and
// presses `button`.
void AnswerDialog(DWORD thread, const std::wstring& typed, int button, Answer* seen) {
    HWND dlg = FindDialog(thread);
    if (!dlg)
        return;
    seen->owner = ::GetWindow(dlg, GW_OWNER);
    HWND name = ::GetDlgItem(dlg, cmb13);
    if (!name)
        name = ::GetDlgItem(dlg, edt1);
    char cls[32] = {};
    ::GetClassNameA(name, cls, sizeof cls);
    seen->nameBoxClass = cls;
    ::SendMessageW(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    ::PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dlg, button)));
}

struct Case {
    const char* name;
    BOOL open;
    DWORD flags;
    std::wstring typed;
    int button;
    INT_PTR result;
    std::vector<std::wstring> names; // in the folder
};

class FileDialog : public ::testing::TestWithParam<Case> {};

TEST_P(FileDialog, GivesTheChosenFilesFullPaths) {
    const Case& c = GetParam();
    const std::wstring folder = Folder();
    fw::CWnd main(::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                    nullptr, nullptr));
    fw::AfxGetApp()->m_pMainWnd = &main;
    fw::CFileDialog dlg(c.open, L"wav", nullptr, c.flags | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                        L"Audio (*.wav)|*.wav|All Files (*.*)|*.*||");
    dlg.m_ofn.lpstrInitialDir = folder.c_str();

    Answer seen;
    std::thread user(AnswerDialog, ::GetCurrentThreadId(), c.typed, c.button, &seen);
    const INT_PTR result = dlg.DoModal();
    user.join();
    fw::AfxGetApp()->m_pMainWnd = nullptr;
    ::DestroyWindow(main.m_hWnd);

    EXPECT_EQ(seen.owner, main.m_hWnd) << "the main window owns the dialog";
    EXPECT_FALSE(seen.nameBoxClass.empty()) << seen.nameBoxClass;
    ASSERT_EQ(result, c.result);
    if (result != IDOK)
        return;
    std::vector<std::wstring> expected;
    for (const std::wstring& n : c.names)
        expected.push_back(folder + n);
    std::vector<std::wstring> paths = dlg.GetPathNames();
    std::sort(paths.begin(), paths.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(paths, expected);
    EXPECT_TRUE(std::count(expected.begin(), expected.end(), dlg.GetPathName()));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FileDialog,
    ::testing::Values(
        Case{"OpenOne", TRUE, 0, L"été.wav", IDOK, IDOK, {L"été.wav"}},
        Case{"OpenOutsideTheCodePage", TRUE, 0, kUnicodeName, IDOK, IDOK, {kUnicodeName}},
        Case{"OpenSeveral",
             TRUE,
             OFN_ALLOWMULTISELECT,
             L"\"un.wav\" \"été.wav\" \"" + std::wstring(kUnicodeName) + L"\"",
             IDOK,
             IDOK,
             {L"un.wav", L"été.wav", kUnicodeName}},
        Case{"SaveAddsTheExtension", FALSE, 0, L"nouveau", IDOK, IDOK, {L"nouveau.wav"}},
        Case{"Cancel", TRUE, 0, L"un.wav", IDCANCEL, IDCANCEL, {}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

} // namespace
