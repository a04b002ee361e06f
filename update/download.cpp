#include "update/download.h"

#include "framework/handle.h"
#include "update/http_text.h"
#include "update/win_http_client.h"

#include <windows.h>
#include <sddl.h>

const char* const kDownloadUserAgent =
    "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0; .NET CLR 1.1.4322; .NET CLR "
    "2.0.50727; .NET CLR 3.0.4506.2152; .NET CLR 3.5.30729; InfoPath.2; CIBA; MS-RTC LM 8)";

namespace {

// Every download folder's name starts so; RemoveDownloadFolders looks for nothing else.
constexpr const wchar_t* kFolderPrefix = L"Quillodrome-update-";
// As many as the version check follows.
constexpr int kMaxDownloadRedirects = 10;

// The current user's SID as text ("S-1-5-21-..."); empty when the token cannot tell.
std::string UserSid() {
    HANDLE hToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return {};
    const fw::UniqueKernelHandle token(hToken);
    alignas(TOKEN_USER) BYTE buffer[256];
    DWORD nSize = 0;
    if (!::GetTokenInformation(hToken, TokenUser, buffer, sizeof buffer, &nSize))
        return {};
    char* pszSid = nullptr;
    if (!::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &pszSid))
        return {};
    std::string strSid = pszSid;
    ::LocalFree(pszSid);
    return strSid;
}

} // namespace

std::wstring TempFolder() {
    wchar_t szPath[MAX_PATH + 1] = {};
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, szPath);
    return n > 0 && n <= MAX_PATH ? std::wstring(szPath, n) : std::wstring();
}

namespace {

// The body of a 200 response, into a file made new.
int WriteBody(WinHttpClient& client, const std::wstring& strFile) {
    if (!client.m_pBody || client.m_nBodySize == 0)
        return kDownloadEmpty;
    fw::UniqueFile hFile(::CreateFileW(strFile.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!hFile)
        return kDownloadNoFile;
    // A short write (a full disk) must not leave a cut-off installer that would then be run.
    DWORD nWritten = 0;
    const bool bWritten =
        ::WriteFile(hFile.get(), client.m_pBody.Data(), client.m_nBodySize, &nWritten, nullptr) &&
        nWritten == client.m_nBodySize;
    const bool bClosed = ::CloseHandle(hFile.release());
    if (!bWritten || !bClosed) {
        ::DeleteFileW(strFile.c_str());
        return kDownloadNoFile;
    }
    return kDownloadOk;
}

} // namespace

int DownloadToFile(const std::string& strUrl, const std::wstring& strFile,
                   fw::TransferWatch* pWatch) {
    // Redirects are followed here, not by WinHTTP, so that none leads off the maker's host: an
    // installer from anywhere else is not the maker's, whatever sent the program there.
    std::string strAt = strUrl;
    const uint64_t qwDeadline = ::GetTickCount64() + kDownloadDeadlineMs;
    for (int nRedirects = 0;; ++nRedirects) {
        WinHttpClient client(strAt);
        client.m_strUserAgent = kDownloadUserAgent;
        // Installers are bytes; their text would be a second copy of a large body.
        client.m_bKeepText = false;
        client.m_nMaxBodyBytes = kMaxInstallerBytes;
        const uint64_t qwNow = ::GetTickCount64();
        if (qwNow >= qwDeadline)
            return kDownloadFailed;
        client.m_nDeadlineMs = static_cast<uint32_t>(qwDeadline - qwNow);
        client.m_pWatch = pWatch;
        if (!client.Send("GET", true))
            return pWatch && pWatch->bCancel ? kDownloadCancelled : kDownloadFailed;
        const std::string strStatus = client.GetStatus();
        if (strStatus == "301" || strStatus == "302") {
            if (nRedirects == kMaxDownloadRedirects ||
                !IsSameHostRedirect(strAt, client.GetLocation()))
                return kDownloadFailed;
            strAt = client.GetLocation();
            continue;
        }
        if (strStatus != "200")
            return kDownloadFailed;
        return WriteBody(client, strFile);
    }
}

std::wstring MakeDownloadFolder(const std::wstring& strParent) {
    const std::string strSid = UserSid();
    if (strParent.empty() || strSid.empty())
        return {};
    // Protected: nothing inherited from the temporary folder; the user alone, and what is made
    // inside inherits the same.
    const std::string strSddl = "D:P(A;OICI;FA;;;" + strSid + ")";
    PSECURITY_DESCRIPTOR pDescriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(strSddl.c_str(), SDDL_REVISION_1,
                                                                &pDescriptor, nullptr))
        return {};
    SECURITY_ATTRIBUTES attributes{sizeof attributes, pDescriptor, FALSE};
    std::wstring strFolder;
    const DWORD dwStamp = ::GetCurrentProcessId() ^ ::GetTickCount();
    for (DWORD n = 0; n < 100 && strFolder.empty(); ++n) {
        wchar_t szName[64];
        wsprintfW(szName, L"%s%08lx-%lu", kFolderPrefix, static_cast<unsigned long>(dwStamp),
                  static_cast<unsigned long>(n));
        const std::wstring strPath = strParent + szName;
        if (::CreateDirectoryW(strPath.c_str(), &attributes))
            strFolder = strPath + L"\\";
        else if (::GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    ::LocalFree(pDescriptor);
    return strFolder;
}

void RemoveDownloadFolder(const std::wstring& strFolder) {
    WIN32_FIND_DATAW found;
    const HANDLE hFind = ::FindFirstFileW((strFolder + L"*").c_str(), &found);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            // Only plain files: a folder or link in there was not put there by a download.
            if (!(found.dwFileAttributes &
                  (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
                ::DeleteFileW((strFolder + found.cFileName).c_str());
        } while (::FindNextFileW(hFind, &found));
        ::FindClose(hFind);
    }
    ::RemoveDirectoryW(strFolder.c_str());
}

void RemoveDownloadFolders(const std::wstring& strParent) {
    if (strParent.empty())
        return;
    WIN32_FIND_DATAW found;
    const HANDLE hFind = ::FindFirstFileW((strParent + kFolderPrefix + L"*").c_str(), &found);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            RemoveDownloadFolder(strParent + found.cFileName + L"\\");
    } while (::FindNextFileW(hFind, &found));
    ::FindClose(hFind);
}
