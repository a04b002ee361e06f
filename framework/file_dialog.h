// CFileDialog: the platform's open or save dialog, in its resizable explorer form.
//
// The file buffer holds 64 Ki characters, room for a multiple selection of many long names.
// Texts are wide, so that a name outside the ANSI code page (Polish, Greek, Japanese letters)
// comes back whole. The open dialog also insists that the chosen files and their folder exist.
// The object points m_ofn at its own buffers, so it is neither copied nor moved; a caller may
// still adjust m_ofn before DoModal.
#pragma once

#include "framework/wnd.h"

#include <commdlg.h>

#include <string>
#include <vector>

namespace fw {

class CFileDialog {
public:
    // `filter` in the bar-separated form "Name|*.a;*.b|All Files (*.*)|*.*||"; `flags` (OFN_*)
    // are added to the dialog's own. With no parent the application's main window owns it.
    CFileDialog(BOOL bOpenFileDialog, const wchar_t* defExt = nullptr,
                const wchar_t* fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                const wchar_t* filter = nullptr, CWnd* parent = nullptr);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK when the user chose, IDCANCEL when cancelled or when the dialog failed.
    INT_PTR DoModal();
    // The full path of the (first) chosen file; empty when none.
    std::wstring GetPathName() const;
    // Every chosen file's full path (several with OFN_ALLOWMULTISELECT).
    std::vector<std::wstring> GetPathNames() const;

    OPENFILENAMEW m_ofn{};

private:
    BOOL m_bOpenFileDialog;
    std::wstring m_strDefExt;
    std::wstring m_strFilter;
    std::vector<wchar_t> m_buffer;
};

} // namespace fw
