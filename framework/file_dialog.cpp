#include "framework/file_dialog.h"

#include "framework/file_dialog_names.h"
#include "framework/win_app.h"

#include <cwchar>

namespace fw {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
} // namespace

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const wchar_t* defExt, const wchar_t* fileName,
                         DWORD flags, const wchar_t* filter, CWnd* parent)
    : m_bOpenFileDialog(bOpenFileDialog), m_strDefExt(defExt ? defExt : L""),
      m_strFilter(FilterFromBars(filter)), m_buffer(kBufferSize, L'\0') {
    if (fileName)
        std::wcsncpy(m_buffer.data(), fileName, m_buffer.size() - 1);
    m_ofn.lStructSize = sizeof m_ofn;
    if (parent)
        m_ofn.hwndOwner = parent->m_hWnd;
    else if (AfxGetApp() && AfxGetApp()->m_pMainWnd)
        m_ofn.hwndOwner = AfxGetApp()->m_pMainWnd->m_hWnd;
    m_ofn.hInstance = AfxGetInstanceHandle();
    m_ofn.lpstrFilter = filter ? m_strFilter.c_str() : nullptr;
    m_ofn.nFilterIndex = 1;
    m_ofn.lpstrFile = m_buffer.data();
    m_ofn.nMaxFile = static_cast<DWORD>(m_buffer.size());
    m_ofn.lpstrDefExt = defExt ? m_strDefExt.c_str() : nullptr;
    m_ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLESIZING;
    if (bOpenFileDialog)
        m_ofn.Flags |= OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
}

INT_PTR CFileDialog::DoModal() {
    const BOOL chosen = m_bOpenFileDialog ? ::GetOpenFileNameW(&m_ofn) : ::GetSaveFileNameW(&m_ofn);
    return chosen ? IDOK : IDCANCEL;
}

std::wstring CFileDialog::GetPathName() const {
    std::vector<std::wstring> paths = GetPathNames();
    return paths.empty() ? std::wstring() : paths.front();
}

std::vector<std::wstring> CFileDialog::GetPathNames() const {
    if (!m_ofn.lpstrFile)
        return {};
    return SelectedPaths(m_ofn.lpstrFile, m_ofn.nMaxFile, m_ofn.nFileOffset);
}

} // namespace fw
