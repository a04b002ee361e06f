// DownloadToFile against the loopback servers: what ends up on disk for each kind of answer, and
// what the server saw of the request.
#include "tests/update/http_test_support.h"
#include "update/download.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace {

using http_test::LastRequest;
using http_test::RequestCount;

std::optional<std::string> ReadFile(const std::string& strPath) {
    if (::GetFileAttributesA(strPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    std::ifstream in(strPath, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string PatternBody(size_t n) {
    std::string str(n, '\0');
    for (size_t i = 0; i < n; ++i)
        str[i] = static_cast<char>(http_test::PatternByte(i));
    return str;
}

TEST(DownloadToFileTest, SavesOnlyAWholeOkBody) {
    char szTemp[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, szTemp));
    const http_test::Ports& ports = http_test::TestPorts();
    const char* const kFile = "QdDownloadTest.exe";
    struct Case {
        const char* pszKey;
        const char* pszQuery;
        int nPort;
        const char* pszFile;               // in the temporary folder
        std::optional<std::string> before; // the file's content before the download
        int nResult;
        std::optional<std::string> after; // and after it
        int nRequests;
    } cases[] = {
        {"ok", "body=70000", ports.nHttps, kFile, std::nullopt, kDownloadOk, PatternBody(70000), 1},
        // A file already there (someone else's) is never taken over, nor changed.
        {"existing", "body=70000", ports.nHttps, kFile, std::string(90000, 'o'), kDownloadNoFile,
         std::string(90000, 'o'), 1},
        {"notfound", "status=404&text=%3Chtml%3Eno%20such%20file%3C/html%3E", ports.nHttps, kFile,
         std::nullopt, kDownloadFailed, std::nullopt, 1},
        {"error", "status=500&text=oops", ports.nHttps, kFile, "old installer", kDownloadFailed,
         "old installer", 1},
        {"empty", "text=", ports.nHttps, kFile, std::nullopt, kDownloadEmpty, std::nullopt, 1},
        {"redirected", "chain=3", ports.nHttps, kFile, std::nullopt, kDownloadOk, "end of chain",
         4},
        {"untrusted", "text=x", ports.nUntrusted, kFile, std::nullopt, kDownloadFailed,
         std::nullopt, 0},
        {"nofolder", "body=1000", ports.nHttps, "QdNoSuchFolder\\Installer.exe", std::nullopt,
         kDownloadNoFile, std::nullopt, 1},
    };
    for (const Case& c : cases) {
        const std::string strKey = std::string("download.") + c.pszKey;
        const std::string strFile = szTemp + std::string(c.pszFile);
        ::DeleteFileA(strFile.c_str());
        if (c.before)
            std::ofstream(strFile, std::ios::binary) << *c.before;

        const std::string strUrl =
            http_test::UrlOn("https", c.nPort, "key=" + strKey + "&" + c.pszQuery);
        // The test prefix's temporary folder is plain ASCII.
        EXPECT_EQ(c.nResult, DownloadToFile(strUrl, std::wstring(strFile.begin(), strFile.end())))
            << c.pszKey;
        EXPECT_EQ(c.after, ReadFile(strFile)) << c.pszKey;
        EXPECT_EQ(c.nRequests, RequestCount(strKey)) << c.pszKey;
        if (c.nRequests > 0) {
            const std::string strSeen = LastRequest(strKey);
            EXPECT_NE(std::string::npos,
                      strSeen.find(std::string("\r\nUser-Agent: ") + kDownloadUserAgent + "\r\n"))
                << c.pszKey << ": " << strSeen;
        }
        ::DeleteFileA(strFile.c_str());
    }
    EXPECT_EQ(177u, std::strlen(kDownloadUserAgent));
}

// The SIDs the folder's access list lets in, as text, and whether it inherits nothing.
std::string AllowedSids(const std::wstring& strPath, bool& bProtected) {
    PACL pDacl = nullptr;
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    if (::GetNamedSecurityInfoW(strPath.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &pDacl, nullptr, &pDescriptor) != ERROR_SUCCESS)
        return "no descriptor";
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD dwRevision = 0;
    ::GetSecurityDescriptorControl(pDescriptor, &control, &dwRevision);
    bProtected = (control & SE_DACL_PROTECTED) != 0;
    std::string strSids;
    for (DWORD i = 0; pDacl && i < pDacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* pAce = nullptr;
        if (!::GetAce(pDacl, i, reinterpret_cast<void**>(&pAce)))
            continue;
        char* pszSid = nullptr;
        if (pAce->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
            ::ConvertSidToStringSidA(&pAce->SidStart, &pszSid)) {
            strSids += std::string(strSids.empty() ? "" : " ") + pszSid;
            ::LocalFree(pszSid);
        }
    }
    ::LocalFree(pDescriptor);
    return strSids;
}

std::string CurrentUserSid() {
    HANDLE hToken = nullptr;
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &hToken);
    BYTE buffer[256];
    DWORD n = 0;
    ::GetTokenInformation(hToken, TokenUser, buffer, sizeof buffer, &n);
    ::CloseHandle(hToken);
    char* pszSid = nullptr;
    ::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &pszSid);
    std::string strSid = pszSid ? pszSid : "";
    ::LocalFree(pszSid);
    return strSid;
}

bool Exists(const std::wstring& strPath) {
    return ::GetFileAttributesW(strPath.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Points the temporary folder (the TMP variable) at `folder` while it lives.
class TempFolderAt {
public:
    explicit TempFolderAt(const std::wstring& folder) {
        ::GetEnvironmentVariableW(L"TMP", m_old, MAX_PATH);
        ::CreateDirectoryW(folder.c_str(), nullptr);
        ::SetEnvironmentVariableW(L"TMP", folder.c_str());
    }
    ~TempFolderAt() { ::SetEnvironmentVariableW(L"TMP", m_old[0] ? m_old : nullptr); }

private:
    wchar_t m_old[MAX_PATH] = {};
};

// Each download gets a new folder of its own that only the user can open, also under a user
// folder whose name is outside the ANSI code page; the next start clears them all, files
// included, and nothing else in the temporary folder.
TEST(DownloadFolderTest, NewPrivateFoldersThatTheNextStartRemoves) {
    const std::wstring strUsual = TempFolder();
    ASSERT_FALSE(strUsual.empty());
    for (const std::wstring& strAt : {strUsual, strUsual + L"Łukasz Σοφία"}) {
        const TempFolderAt at(strAt);
        const std::wstring strTemp = TempFolder();
        ASSERT_EQ(strTemp, strAt.back() == L'\\' ? strAt : strAt + L"\\");
        const std::wstring strOther = strTemp + L"Quillodrome-other\\";
        ::CreateDirectoryW(strOther.c_str(), nullptr);
        const std::wstring strFirst = MakeDownloadFolder(strTemp);
        const std::wstring strSecond = MakeDownloadFolder(strTemp);
        ASSERT_FALSE(strFirst.empty());
        ASSERT_FALSE(strSecond.empty());
        EXPECT_NE(strFirst, strSecond);
        EXPECT_EQ(strFirst.rfind(strTemp + L"Quillodrome-update-", 0), 0u);
        EXPECT_EQ(strFirst.back(), L'\\');
        // Windows keeps the protected list as made: the user alone. Wine reports a folder's list
        // from its Unix owner and modes instead (SYSTEM and the user, not protected), which still
        // lets no other account in.
        bool bProtected = false;
        std::string strSids = AllowedSids(strFirst, bProtected);
        if (!bProtected && strSids.rfind("S-1-5-18 ", 0) == 0)
            strSids.erase(0, 9);
        EXPECT_EQ(strSids, CurrentUserSid());
        std::ofstream(std::filesystem::path(strFirst + L"Installer.exe"), std::ios::binary)
            << "left by a run";
        std::ofstream(std::filesystem::path(strSecond + L"Installer.exe"), std::ios::binary)
            << "left by a run";
        EXPECT_TRUE(Exists(strFirst + L"Installer.exe"));

        RemoveDownloadFolders(strTemp);
        EXPECT_FALSE(Exists(strFirst));
        EXPECT_FALSE(Exists(strSecond));
        EXPECT_TRUE(Exists(strOther));
        ::RemoveDirectoryW(strOther.c_str());
    }
    EXPECT_TRUE(MakeDownloadFolder(L"").empty());
}

} // namespace
