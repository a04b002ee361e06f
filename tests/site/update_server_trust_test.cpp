// The development update server (tools/update-server.sh) as the program meets it: its authority
// trusted in the prefix by `update-server.sh trust`, http_proxy naming its proxy, and the
// program's own HTTP client asking for the maker's host name with certificates checked.
#include "maker/maker_site.h"
#include "update/download.h"
#include "update/request.h"
#include "update/win_http_client.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string ProxyPort() {
    const char* pszState = std::getenv("QD_UPDATE_STATE");
    std::ifstream in(std::string("Z:") + (pszState ? pszState : "") + "/ports");
    std::string strLine;
    while (std::getline(in, strLine))
        if (strLine.rfind("proxy=", 0) == 0)
            return strLine.substr(6);
    return {};
}

class UpdateServerTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        // Started by `update-server.sh run`, the process has it from its environment already.
        if (std::getenv("http_proxy"))
            return;
        const std::string strPort = ProxyPort();
        ASSERT_FALSE(strPort.empty()) << "no proxy port: is the update_server fixture running?";
        // WinHTTP's default proxy comes from http_proxy when the registry names none, exactly
        // as for a program started with that variable.
        const std::string strProxy = "http://127.0.0.1:" + strPort;
        ::SetEnvironmentVariableA("http_proxy", strProxy.c_str());
        _putenv(("http_proxy=" + strProxy).c_str());
    }
};

TEST_F(UpdateServerTest, VersionScriptAnnouncesThisBuildUnderTheMakersHostName) {
    Request request;
    request.m_strUrl = maker::Url(maker::kVersionScriptPath);
    EXPECT_EQ(request.Fetch(), 0) << request.m_strHeaders;
    EXPECT_EQ(request.m_strBody, "Quillodrome:" QD_SITE_ANNOUNCES ";\r\n");
}

TEST_F(UpdateServerTest, PagesTheProgramOpens) {
    for (const char* pszPath : {maker::kHelpPagePath, maker::kProjectPagePath}) {
        WinHttpClient client(maker::Url(pszPath));
        ASSERT_TRUE(client.Send("GET", true)) << pszPath << ": error " << client.m_dwLastError;
        EXPECT_EQ(client.GetStatus(), "200") << pszPath;
        EXPECT_NE(client.GetText().find("<title>Quillodrome"), std::string::npos) << pszPath;
    }
}

TEST_F(UpdateServerTest, MissingInstallerIsNotSaved) {
    char szTemp[MAX_PATH] = {};
    ::GetTempPathA(MAX_PATH, szTemp);
    const std::string strFile = std::string(szTemp) + "UpdateServerTestPedalvane.exe";
    std::remove(strFile.c_str());
    // The test prefix's temporary folder is plain ASCII.
    EXPECT_EQ(DownloadToFile(maker::Url(std::string(maker::kDownloadFolderPath) + "Pedalvane.exe"),
                             std::wstring(strFile.begin(), strFile.end())),
              kDownloadFailed);
    EXPECT_EQ(::GetFileAttributesA(strFile.c_str()), INVALID_FILE_ATTRIBUTES);
}

// The proxy leads every host name to the same server: only the names its certificate carries
// may be accepted.
TEST_F(UpdateServerTest, HostNameOutsideTheCertificateIsRefused) {
    WinHttpClient client("https://downloads.brenvale.test/vexo/PHP/Quillodrome/Version.php");
    EXPECT_FALSE(client.Send("GET", true)) << client.GetStatus() << client.GetText();
}

} // namespace
