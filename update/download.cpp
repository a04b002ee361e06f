#include "update/download.h"

#include "update/win_http_client.h"

#include <cstdio>

const char* const kDownloadUserAgent =
    "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; Trident/4.0; .NET CLR 1.1.4322; .NET CLR "
    "2.0.50727; .NET CLR 3.0.4506.2152; .NET CLR 3.5.30729; InfoPath.2; CIBA; MS-RTC LM 8)";

int DownloadToFile(const std::string& strUrl, const std::string& strFile) {
    WinHttpClient client(strUrl);
    client.m_strUserAgent = kDownloadUserAgent;
    // Installers are bytes; their text would be a second copy of a large body.
    client.m_bKeepText = false;
    if (!client.Send("GET", false) || client.GetStatus() != "200")
        return kDownloadFailed;
    if (!client.m_pBody || client.m_nBodySize == 0)
        return kDownloadEmpty;
    std::FILE* pFile = std::fopen(strFile.c_str(), "wb");
    if (!pFile)
        return kDownloadNoFile;
    // A short write (a full disk) must not leave a cut-off installer that would then be run.
    const bool bWritten =
        std::fwrite(client.m_pBody.Data(), 1, client.m_nBodySize, pFile) == client.m_nBodySize;
    if (std::fclose(pFile) != 0 || !bWritten) {
        std::remove(strFile.c_str());
        return kDownloadNoFile;
    }
    return kDownloadOk;
}
