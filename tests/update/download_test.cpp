// DownloadToFile against the loopback servers: what ends up on disk for each kind of answer, and
// what the server saw of the request.
#include "tests/update/http_test_support.h"
#include "update/download.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
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
        // A longer older file is replaced whole, not overwritten in part.
        {"ok", "body=70000", ports.nHttps, kFile, std::string(90000, 'o'), kDownloadOk,
         PatternBody(70000), 1},
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
        EXPECT_EQ(c.nResult, DownloadToFile(strUrl, strFile)) << c.pszKey;
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

} // namespace
