#include "app/file_path.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace mbcs {

bool IsLeadByte(unsigned char c) {
#ifdef _WIN32
    return ::IsDBCSLeadByte(c) != FALSE;
#else
    (void)c;
    return false;
#endif
}

size_t FindLast(const std::string& text, char c, LeadByteTest isLead) {
    size_t found = std::string::npos;
    for (size_t i = 0; i < text.size(); ++i) {
        if (isLead && isLead(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
            ++i; // the trail byte is part of this character, whatever its value
            continue;
        }
        if (text[i] == c)
            found = i;
    }
    return found;
}

} // namespace mbcs

namespace {
size_t LastOf(const std::string& text, char c) {
    return mbcs::FindLast(text, c);
}
size_t LastOf(const std::wstring& text, wchar_t c) {
    return text.rfind(c);
}
} // namespace

template <class Char>
BasicFilePath<Char>::BasicFilePath(const Char* path) {
    SetPath(path);
}

template <class Char>
BasicFilePath<Char>::BasicFilePath(const String& path) {
    if (!path.empty())
        SetPath(path.c_str());
}

template <class Char>
void BasicFilePath<Char>::SetPath(const Char* path) {
    m_strPath = path ? path : String();
    if (!m_strPath.empty() && m_strPath.front() == Char('"'))
        m_strPath.erase(0, 1);
    if (!m_strPath.empty() && m_strPath.back() == Char('"'))
        m_strPath.pop_back();

    m_strFileName = m_strPath;
    m_strDir = m_strPath;
    m_strTitle.clear();
    m_strExt.clear();
    if (m_strPath.empty())
        return;

    size_t slash = LastOf(m_strPath, Char('\\'));
    if (slash != String::npos) {
        m_strFileName = m_strPath.substr(slash + 1);
        m_strDir = m_strPath.substr(0, slash);
    } else {
        m_strDir.clear();
    }

    m_strTitle = m_strExt = m_strFileName;
    size_t dot = LastOf(m_strFileName, Char('.'));
    if (dot != String::npos) {
        m_strExt = m_strFileName.substr(dot + 1);
        m_strTitle = m_strFileName.substr(0, dot);
    } else {
        m_strExt.clear();
    }
}

template class BasicFilePath<char>;
template class BasicFilePath<wchar_t>;
