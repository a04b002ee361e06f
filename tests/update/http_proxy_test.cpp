// Proxy discovery after a failed send, and the session's default proxy, as far as Wine's WinHTTP
// lets a test see them: Wine accepts WINHTTP_OPTION_PROXY on a request and ignores it, reads the
// user's configuration only from the binary DefaultConnectionSettings value, and gives a session
// opened with the default proxy the proxy named in the http_proxy environment variable.
#include "tests/tools/program.h"
#include "tests/update/http_test_support.h"
#include "update/win_http_client.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winhttp.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using http_test::RequestCount;
using http_test::TestPorts;
using http_test::UrlOn;

const wchar_t kConnections[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";

// The user's connection settings as the platform stores them: a header (magic 0x46, a counter,
// flags: 2 fixed proxy, 4 configuration script), then the proxy, the bypass list and the script
// address, each as a 32-bit length and that many 8-bit characters.
std::vector<unsigned char> ConnectionSettings(uint32_t dwFlags, const std::string& strProxy,
                                              const std::string& strBypass,
                                              const std::string& strScript) {
    std::vector<unsigned char> data;
    auto put32 = [&](uint32_t n) {
        for (int i = 0; i < 4; ++i)
            data.push_back(static_cast<unsigned char>(n >> (8 * i)));
    };
    auto putText = [&](const std::string& str) {
        put32(static_cast<uint32_t>(str.size()));
        data.insert(data.end(), str.begin(), str.end());
    };
    put32(0x46);
    put32(0);
    put32(dwFlags);
    putText(strProxy);
    putText(strBypass);
    putText(strScript);
    return data;
}

// Writes the user's proxy configuration for one test and removes it afterwards.
class UserProxySettings {
public:
    explicit UserProxySettings(const std::vector<unsigned char>& data) {
        HKEY hKey = nullptr;
        m_bWritten =
            ::RegCreateKeyExW(HKEY_CURRENT_USER, kConnections, 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &hKey, nullptr) == ERROR_SUCCESS &&
            ::RegSetValueExW(hKey, L"DefaultConnectionSettings", 0, REG_BINARY, data.data(),
                             static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
        if (hKey)
            ::RegCloseKey(hKey);
    }
    ~UserProxySettings() {
        ::RegDeleteKeyValueW(HKEY_CURRENT_USER, kConnections, L"DefaultConnectionSettings");
    }
    UserProxySettings(const UserProxySettings&) = delete;
    UserProxySettings& operator=(const UserProxySettings&) = delete;
    bool IsWritten() const { return m_bWritten; }

private:
    bool m_bWritten = false;
};

// Nothing listens on port 1 of the loopback: every send fails at once and discovery runs.
const char kRefusedUrl[] = "https://localhost:1/r";

TEST(ProxyDiscoveryTest, FixedProxyIsSetForTheNextAttemptAndSendErrorStays) {
    const std::string strProxy = "127.0.0.1:" + std::to_string(TestPorts().nProxy);
    UserProxySettings settings(ConnectionSettings(2, strProxy, "<local>", ""));
    ASSERT_TRUE(settings.IsWritten());
    WinHttpClient client(kRefusedUrl);
    EXPECT_FALSE(client.Send("GET", false));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_WINHTTP_CANNOT_CONNECT), client.m_dwLastError);
}

TEST(ProxyDiscoveryTest, DamagedConfigurationKeepsAnError) {
    // The header promises a proxy text whose length field is missing.
    std::vector<unsigned char> data = ConnectionSettings(2, "", "", "");
    data.resize(12);
    UserProxySettings settings(data);
    ASSERT_TRUE(settings.IsWritten());
    WinHttpClient client(kRefusedUrl);
    EXPECT_FALSE(client.Send("GET", false));
    EXPECT_NE(0u, client.m_dwLastError);
}

// Wine's WinHttpGetProxyForUrl refuses automatic detection and a script address together (87),
// so under Wine the script is never fetched; Windows fetches and runs it.
bool IsWine() {
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

TEST(ProxyDiscoveryTest, ConfigurationScriptDecidesTheAttempt) {
    struct Case {
        const char* pszKey;
        const char* pszScriptQuery;
        uint32_t dwWindowsError; // a DIRECT answer sends again and fails like the first send
    } cases[] = {
        {"pac-direct", "&text=function%20FindProxyForURL(u,h)%7Breturn%20%22DIRECT%22;%7D",
         ERROR_WINHTTP_CANNOT_CONNECT},
        {"pac-missing", "&status=404&text=none", ERROR_WINHTTP_UNABLE_TO_DOWNLOAD_SCRIPT},
    };
    for (const Case& c : cases) {
        const std::string strScript =
            UrlOn("http", TestPorts().nHttp, std::string("key=") + c.pszKey + c.pszScriptQuery);
        UserProxySettings settings(ConnectionSettings(4, "", "", strScript));
        ASSERT_TRUE(settings.IsWritten());
        WinHttpClient client(kRefusedUrl);
        EXPECT_FALSE(client.Send("GET", false));
        if (IsWine()) {
            EXPECT_EQ(static_cast<uint32_t>(ERROR_INVALID_PARAMETER), client.m_dwLastError);
            EXPECT_EQ(0, RequestCount(c.pszKey));
        } else {
            EXPECT_EQ(c.dwWindowsError, client.m_dwLastError) << c.pszKey;
            EXPECT_GE(RequestCount(c.pszKey), 1) << c.pszKey;
        }
    }
}

// Run by DefaultProxyTest in a child process whose environment names the proxy.
TEST(ProxyChild, SessionGoesThroughTheDefaultProxy) {
    if (!std::getenv("QD_PROXY_CHILD"))
        GTEST_SKIP() << "runs only as DefaultProxyTest's child";
    WinHttpClient client(http_test::Url("key=tunnelled&text=through%20the%20tunnel"));
    ASSERT_TRUE(client.Send("GET", false)) << client.m_dwLastError;
    EXPECT_EQ("through the tunnel", client.GetText());
}

TEST(DefaultProxyTest, HttpsGoesThroughTheConnectProxy) {
    const int nTunnelsBefore = http_test::ProxyTunnels();
    ASSERT_GE(nTunnelsBefore, 0);

    char szExe[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, szExe, MAX_PATH);
    // The test's own environment stays without a proxy.
    qdtest::Program child;
    child.args = "--gtest_filter=ProxyChild.* --gtest_brief=1";
    child.env = {"http_proxy=127.0.0.1:" + std::to_string(TestPorts().nProxy), "QD_PROXY_CHILD=1"};
    std::string strWhy;
    ASSERT_TRUE(child.Launch(szExe, strWhy)) << strWhy;
    EXPECT_EQ(0, child.WaitExit(60000));
    EXPECT_EQ(1, RequestCount("tunnelled"));
    EXPECT_EQ(nTunnelsBefore + 1, http_test::ProxyTunnels());
}

} // namespace
