// CFilePath: splits a Windows file path into folder, file name, title and extension.
//
// Only forward splitting is done: the last backslash separates folder and file name, the last
// dot of the file name separates title and extension. Slashes, drive letters and the file
// system play no part. One pair of surrounding double quotes is removed first.
//
// CFilePath takes text of the ANSI code page, CWideFilePath UTF-16 text (any name the file
// system holds); in UTF-16 a backslash or a dot is never part of another character.
#pragma once

#include <string>

template <class Char>
class BasicFilePath {
public:
    using String = std::basic_string<Char>;

    BasicFilePath() = default;
    explicit BasicFilePath(const Char* path);
    // An empty string leaves every part empty.
    explicit BasicFilePath(const String& path);
    virtual ~BasicFilePath() = default;

    void SetPath(const Char* path);
    String GetPath() const { return m_strPath; }
    String GetDir() const { return m_strDir; }

    String m_strPath;
    String m_strDir;
    String m_strFileName;
    String m_strTitle;
    String m_strExt;
};

using CFilePath = BasicFilePath<char>;
using CWideFilePath = BasicFilePath<wchar_t>;

namespace mbcs {
// Tells whether a byte opens a two-byte character in the current ANSI code page.
using LeadByteTest = bool (*)(unsigned char);
// The system's answer on Windows; single-byte text elsewhere.
bool IsLeadByte(unsigned char c);
// Index of the last `c` that is a character of its own (not the second byte of a two-byte
// character), or std::string::npos.
size_t FindLast(const std::string& text, char c, LeadByteTest isLead = &IsLeadByte);
} // namespace mbcs
