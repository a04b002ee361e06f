// CFileDialog: the platform's open or save dialog, in its resizable explorer form.
//
// The file buffer holds 64 KiB, room for a multiple selection of many long names; paths are
// 8-bit text of the ANSI code page. The open dialog also insists that the chosen files and
// their folder exist. The object points m_ofn at its own buffers, so it is neither copied nor
// moved; a caller may still adjust m_ofn before DoModal.
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
    CFileDialog(BOOL bOpenFileDialog, const char* defExt = nullptr, const char* fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
                CWnd* parent = nullptr);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK when the user chose, IDCANCEL when cancelled or when the dialog failed.
    INT_PTR DoModal();
    // The full path of the (first) chosen file; empty when none.
    std::string GetPathName() const;
    // Every chosen file's full path (several with OFN_ALLOWMULTISELECT).
    std::vector<std::string> GetPathNames() const;

    OPENFILENAMEA m_ofn{};

private:
    BOOL m_bOpenFileDialog;
    std::string m_strDefExt;
    std::string m_strFilter;
    std::vector<char> m_buffer;
};

} // namespace fw
