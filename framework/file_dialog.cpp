#include "framework/file_dialog.h"

#include "framework/file_dialog_names.h"
#include "framework/win_app.h"

#include <cstring>

namespace fw {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
} // namespace

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const char* defExt, const char* fileName,
                         DWORD flags, const char* filter, CWnd* parent)
    : m_bOpenFileDialog(bOpenFileDialog), m_strDefExt(defExt ? defExt : ""),
      m_strFilter(FilterFromBars(filter)), m_buffer(kBufferSize, '\0') {
    if (fileName)
        std::strncpy(m_buffer.data(), fileName, m_buffer.size() - 1);
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
    const BOOL chosen = m_bOpenFileDialog ? ::GetOpenFileNameA(&m_ofn) : ::GetSaveFileNameA(&m_ofn);
    return chosen ? IDOK : IDCANCEL;
}

std::string CFileDialog::GetPathName() const {
    std::vector<std::string> paths = GetPathNames();
    return paths.empty() ? std::string() : paths.front();
}

std::vector<std::string> CFileDialog::GetPathNames() const {
    if (!m_ofn.lpstrFile)
        return {};
    return SelectedPaths(m_ofn.lpstrFile, m_ofn.nMaxFile, m_ofn.nFileOffset);
}

} // namespace fw
