// CFilePath: splits a Windows file path into folder, file name, title and extension.
//
// Only forward splitting is done: the last backslash separates folder and file name, the last
// dot of the file name separates title and extension. Slashes, drive letters and the file
// system play no part. One pair of surrounding double quotes is removed first.
#pragma once

#include <string>

class CFilePath {
public:
    CFilePath() = default;
    explicit CFilePath(const char* path);
    // An empty string leaves every part empty.
    explicit CFilePath(const std::string& path);
    virtual ~CFilePath() = default;

    void SetPath(const char* path);
    std::string GetPath() const { return m_strPath; }
    std::string GetDir() const { return m_strDir; }

    std::string m_strPath;
    std::string m_strDir;
    std::string m_strFileName;
    std::string m_strTitle;
    std::string m_strExt;
};

namespace mbcs {
// Tells whether a byte opens a two-byte character in the current ANSI code page.
using LeadByteTest = bool (*)(unsigned char);
// The system's answer on Windows; single-byte text elsewhere.
bool IsLeadByte(unsigned char c);
// Index of the last `c` that is a character of its own (not the second byte of a two-byte
// character), or std::string::npos.
size_t FindLast(const std::string& text, char c, LeadByteTest isLead = &IsLeadByte);
} // namespace mbcs
