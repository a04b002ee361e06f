// WinHttpClient and Request against the loopback servers of tests/tools/http_test_server.py,
// through Wine's real WinHTTP and TLS. The servers are steered by the query of each address.
#include "tests/update/http_test_support.h"
#include "update/request.h"
#include "update/win_http_client.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

using http_test::LastRequest;
using http_test::PatternByte;
using http_test::RequestCount;
using http_test::TestPorts;
using http_test::Url;
using http_test::UrlOn;

class ServerEnvironment : public testing::Environment {
public:
    void SetUp() override {
        http_test::Ports ports;
        std::string strWhy;
        ASSERT_TRUE(http_test::LoadPorts(ports, strWhy)) << strWhy;
        ASSERT_TRUE(http_test::TrustTestAuthority(strWhy)) << strWhy;
    }
};
const auto* const g_environment = testing::AddGlobalTestEnvironment(new ServerEnvironment);

// A key unique to this test, so that the server's counters start at zero.
std::string Key(const char* pszTag = "") {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    std::string strKey = std::string(info->test_suite_name()) + "." + info->name() + pszTag;
    for (char& c : strKey)
        if (c == '/')
            c = '.';
    return strKey;
}

std::string Hex(const std::string& strBytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string strHex;
    for (unsigned char c : strBytes) {
        strHex += kDigits[c >> 4];
        strHex += kDigits[c & 15];
    }
    return strHex;
}

bool IsCertificateError(uint32_t dwError) {
    return dwError == ERROR_WINHTTP_SECURE_CHANNEL_ERROR || // Wine, every certificate failure
           dwError == ERROR_WINHTTP_SECURE_FAILURE;         // Windows
}

// Wine passes the socket's own time-out error through where Windows reports its own.
bool IsTimeout(uint32_t dwError) {
    return dwError == ERROR_WINHTTP_TIMEOUT || dwError == WSAETIMEDOUT;
}

TEST(SendTest, EmptyAddressFailsBeforeAnySession) {
    WinHttpClient client("");
    EXPECT_FALSE(client.Send("GET", false));
    EXPECT_EQ(3u, client.m_dwLastError);
    EXPECT_FALSE(client.m_hSession);
}

TEST(SendTest, VerbIsCheckedAndSentInCapitals) {
    struct Case {
        const char* pszVerb;
        bool bSent;
        const char* pszRequestLine;
    } cases[] = {{"get", true, "GET /r?"},
                 {"Post", true, "POST /r?"},
                 {"PUT", false, nullptr},
                 {"", false, nullptr}};
    int n = 0;
    for (const Case& c : cases) {
        const std::string strKey = Key() + std::to_string(n++);
        WinHttpClient client(Url("key=" + strKey + "&text=ok"));
        EXPECT_EQ(c.bSent, client.Send(c.pszVerb, false)) << c.pszVerb;
        if (c.bSent) {
            EXPECT_EQ(0u, LastRequest(strKey).rfind(c.pszRequestLine, 0)) << LastRequest(strKey);
            EXPECT_EQ("ok", client.GetText());
        } else {
            EXPECT_EQ(87u, client.m_dwLastError);
            EXPECT_FALSE(client.m_hSession) << c.pszVerb;
            EXPECT_EQ(0, RequestCount(strKey));
        }
    }
}

TEST(SendTest, PostBodyGoesOutWithItsLength) {
    WinHttpClient client(Url("key=" + Key() + "&text=thanks"));
    const char kData[] = "name=Val%E9rie&n=2";
    client.m_nSendSize = sizeof(kData) - 1;
    client.m_pSendData.reset(new unsigned char[client.m_nSendSize]);
    std::memcpy(client.m_pSendData.get(), kData, client.m_nSendSize);
    ASSERT_TRUE(client.Send("POST", false)) << client.m_dwLastError;
    const std::string strSeen = LastRequest(Key());
    EXPECT_NE(std::string::npos, strSeen.find("\r\nContent-Length: 18\r\n")) << strSeen;
    EXPECT_EQ(kData, strSeen.substr(strSeen.size() - client.m_nSendSize));
}

TEST(SendTest, SessionIsOpenedOnceAndReused) {
    WinHttpClient client(Url("key=" + Key() + "&text=1"));
    ASSERT_TRUE(client.Send("GET", false));
    void* const hFirst = client.m_hSession.get();
    ASSERT_NE(nullptr, hFirst);
    ASSERT_TRUE(client.Send("GET", false));
    EXPECT_EQ(hFirst, client.m_hSession.get());
    EXPECT_EQ(2, RequestCount(Key()));
    EXPECT_EQ(L"localhost", client.m_wstrHost);
}

TEST(SendTest, HeaderValuesAreTakenFromTheResponse) {
    WinHttpClient client(Url("key=" + Key() +
                             "&status=302&reason=Found"
                             "&h=Location:%20%20%20https://localhost/next%3Fa=1"
                             "&h=Content-Type:%20text/html;%20charset=UTF-8"
                             "&h=Set-Cookie:%20a=1&h=Set-Cookie:%20b=2&h=Set-Cookie:%20a=1"
                             "&text=moved"));
    ASSERT_TRUE(client.Send("GET", true)) << client.m_dwLastError;
    EXPECT_EQ("302", client.GetStatus());
    EXPECT_EQ("https://localhost/next?a=1", client.GetLocation());
    EXPECT_EQ("UTF-8", client.m_strCharset);
    EXPECT_EQ("a=1; b=2;", client.m_strCookies);
    EXPECT_EQ(5u, client.m_nContentLength);
    EXPECT_EQ("moved", client.GetText());
    EXPECT_EQ(0u, client.GetHeaders().rfind("HTTP/1.1 302 Found\r\n", 0)) << client.GetHeaders();
    EXPECT_EQ("\r\n\r\n", client.GetHeaders().substr(client.GetHeaders().size() - 4));

    WinHttpClient keeping(Url("h=Content-Type:%20text/plain;%20charset=ISO-8859-1&text=x"));
    keeping.m_bKeepCharset = true;
    ASSERT_TRUE(keeping.Send("GET", false));
    EXPECT_EQ("", keeping.m_strCharset);
}

std::vector<double> g_progress;
void RecordProgress(double dPercent) {
    g_progress.push_back(dPercent);
}

TEST(SendTest, LargeBodyArrivesWholeAndBufferDoubles) {
    g_progress.clear();
    WinHttpClient client(Url("key=" + Key() + "&body=25000"));
    client.m_pfnProgress = RecordProgress;
    ASSERT_TRUE(client.Send("GET", false)) << client.m_dwLastError;
    ASSERT_EQ(25000u, client.m_nBodySize);
    EXPECT_EQ(40960u, client.m_pBody.Capacity());
    for (size_t i = 0; i < 25000; ++i)
        ASSERT_EQ(PatternByte(i), client.m_pBody.Data()[i]) << "byte " << i;
    EXPECT_EQ(25000u, client.GetText().size());
    ASSERT_GE(g_progress.size(), 2u);
    EXPECT_EQ(0.0, g_progress.front());
    EXPECT_EQ(100.0, g_progress.back());
    for (size_t i = 1; i < g_progress.size(); ++i)
        EXPECT_LE(g_progress[i - 1], g_progress[i]);
}

TEST(SendTest, ProgressIsSilentWithoutContentLength) {
    g_progress.clear();
    WinHttpClient client(Url("body=3000&nocl=1"));
    client.m_pfnProgress = RecordProgress;
    ASSERT_TRUE(client.Send("GET", false)) << client.m_dwLastError;
    EXPECT_EQ(3000u, client.m_nBodySize);
    EXPECT_TRUE(g_progress.empty());
}

TEST(SendTest, BodyStartingWithZeroKeepsAllBytes) {
    WinHttpClient client(Url("body=100&zero=1"));
    ASSERT_TRUE(client.Send("GET", false));
    EXPECT_EQ("", client.GetText());
    ASSERT_EQ(100u, client.m_nBodySize);
    EXPECT_EQ(0, client.m_pBody.Data()[0]);
    EXPECT_EQ(PatternByte(99), client.m_pBody.Data()[99]);
}

TEST(SendTest, IncompletePageIsTriedThreeTimes) {
    WinHttpClient client(Url("key=" + Key() + "&text=%3CHTML%3E%3Cbody%3Ecut%20off"));
    client.m_wstrRequestCookies = L"session=42";
    client.m_wstrExtraHeaders = L"X-Quillodrome: 1";
    EXPECT_FALSE(client.Send("GET", false));
    EXPECT_EQ(13u, client.m_dwLastError);
    EXPECT_EQ(3, RequestCount(Key()));
    // Headers added once stay on the request handle; the third request carries each once.
    const std::string strSeen = LastRequest(Key());
    EXPECT_NE(std::string::npos, strSeen.find("\r\nCookie: session=42\r\n")) << strSeen;
    EXPECT_NE(std::string::npos, strSeen.find("\r\nX-Quillodrome: 1\r\n")) << strSeen;

    // A client that keeps no text still sees the cut-off page in the bytes.
    WinHttpClient bytesOnly(Url("key=" + Key("bytes") + "&text=%3Chtml%3Ecut%20off"));
    bytesOnly.m_bKeepText = false;
    EXPECT_FALSE(bytesOnly.Send("GET", false));
    EXPECT_EQ(13u, bytesOnly.m_dwLastError);
    EXPECT_EQ(3, RequestCount(Key("bytes")));
    EXPECT_EQ("", bytesOnly.GetText());
    EXPECT_EQ(13u, bytesOnly.m_nBodySize);
}

TEST(SendTest, PagesThatAreNotCutOffAreAccepted) {
    struct Case {
        const char* pszText;
        const char* pszVerb;
        bool bDisableRedirects;
    } cases[] = {{"%3Chtml%3Eall%3C/HTML%3E", "GET", false},
                 {"plain%20text", "GET", false},
                 {"%3Chtml%3Ecut", "GET", true},
                 {"%3Chtml%3Ecut", "POST", false}};
    int n = 0;
    for (const Case& c : cases) {
        const std::string strKey = Key() + std::to_string(n++);
        WinHttpClient client(Url("key=" + strKey + "&text=" + c.pszText));
        EXPECT_TRUE(client.Send(c.pszVerb, c.bDisableRedirects)) << c.pszText;
        EXPECT_EQ(1, RequestCount(strKey)) << c.pszText;
    }
    WinHttpClient empty(Url("text="));
    EXPECT_TRUE(empty.Send("GET", false));
    EXPECT_EQ(0u, empty.m_nBodySize);
}

// The truncation check must weigh the body against its own length, not another header's.
TEST(SendTest, LengthOfAnotherHeaderIsNotTheBodys) {
    WinHttpClient client(Url("key=" + Key() + "&h=X-Original-Content-Length:%2099&text=hello"));
    EXPECT_TRUE(client.Send("GET", false)) << client.m_dwLastError;
    EXPECT_EQ(1, RequestCount(Key()));
    EXPECT_EQ(5u, client.m_nContentLength);
    EXPECT_EQ("hello", client.GetText());
}

TEST(SendTest, EveryStatusIsAResponse) {
    WinHttpClient client(Url("status=404&reason=Not%20Found&text=missing"));
    ASSERT_TRUE(client.Send("GET", false));
    EXPECT_EQ("404", client.GetStatus());
    EXPECT_EQ("missing", client.GetText());
}

TEST(SendTest, CertificatesAreChecked) {
    WinHttpClient strict(UrlOn("https", TestPorts().nUntrusted, "key=" + Key() + "&text=x"));
    EXPECT_TRUE(strict.m_bStrictCertificates);
    EXPECT_FALSE(strict.Send("GET", false));
    EXPECT_TRUE(IsCertificateError(strict.m_dwLastError)) << strict.m_dwLastError;
    EXPECT_EQ("", strict.GetStatus());
    EXPECT_EQ(0, RequestCount(Key()));

    WinHttpClient lax(UrlOn("https", TestPorts().nUntrusted, "key=" + Key() + "&text=x"));
    lax.m_bStrictCertificates = false;
    EXPECT_TRUE(lax.Send("GET", false)) << lax.m_dwLastError;
    EXPECT_EQ("x", lax.GetText());
}

TEST(SendTest, UnansweredRequestTimesOutThreeTimes) {
    WinHttpClient client(Url("key=" + Key() + "&stall=15"));
    client.m_nReceiveTimeout = 1000;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(client.Send("GET", false));
    const double dSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_TRUE(IsTimeout(client.m_dwLastError)) << client.m_dwLastError;
    // Each attempt waits out one receive time-out. (Wine sends the later attempts down the same
    // silent connection, so the server may count only the first.)
    EXPECT_GE(RequestCount(Key()), 1);
    EXPECT_GE(dSeconds, 2.5);
    EXPECT_LT(dSeconds, 6.0);
}

TEST(SendTest, AddressThatCannotBeSplitOrReached) {
    struct Case {
        std::string strUrl;
    } cases[] = {{"not an address"},
                 {"ftp://localhost/file"},
                 {"https://" + std::string(300, 'h') + "/"},
                 {"https://localhost/" + std::string(2000, 'p')},
                 {"https://localhost:1/"}};
    for (const Case& c : cases) {
        WinHttpClient client(c.strUrl);
        client.m_nConnectTimeout = 2000;
        EXPECT_FALSE(client.Send("GET", false)) << c.strUrl.substr(0, 40);
        EXPECT_NE(0u, client.m_dwLastError) << c.strUrl.substr(0, 40);
    }
}

// Broken and hostile servers: Send must come back, say false with an error, and keep its state
// consistent; a response that is merely odd may be accepted.
TEST(SendTest, BrokenResponsesFailCleanly) {
    struct Case {
        const char* pszName;
        std::string strQuery;
        bool bMayBeAccepted;
    } cases[] = {
        {"closed without answer", "close=1", false},
        {"closed mid-body", "body=50000&send=1000", false},
        {"length that never arrives", "body=10&cl=4000000000", false},
        {"length beyond 32 bits", "body=10&cl=99999999999", false},
        {"garbage status line", "raw=" + Hex("\x01\x02garbage\r\n\r\nbody"), true},
        {"garbage header lines",
         "raw=" + Hex("HTTP/1.1 200 OK\r\n: \r\n:::\r\nNoColon\r\n\x7f\xff\r\n\r\nbody"), true},
        {"closed in the headers", "raw=" + Hex("HTTP/1.1 200 OK\r\nContent-Length: 4"), true},
        {"closed early after raw headers",
         "raw=" + Hex("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nab"), false},
        {"huge header", "huge=300000&text=after", true},
    };
    for (const Case& c : cases) {
        WinHttpClient client(Url(c.strQuery));
        client.m_nReceiveTimeout = 1500;
        const bool bSent = client.Send("GET", false);
        if (!c.bMayBeAccepted) {
            EXPECT_FALSE(bSent) << c.pszName << ": status " << client.GetStatus() << ", "
                                << client.m_nBodySize << " body bytes after\n"
                                << client.GetHeaders();
        }
        if (!bSent) {
            EXPECT_NE(0u, client.m_dwLastError) << c.pszName;
        }
        EXPECT_LE(client.GetText().size(), client.m_nBodySize) << c.pszName;
        EXPECT_LE(client.m_nBodySize, client.m_pBody.Capacity()) << c.pszName;
    }
}

TEST(SendTest, HeaderBytesAbove127ComeBackInTheAnsiCodePage) {
    WinHttpClient client(Url("h=X-Name:%20Val%E9rie&h=Set-Cookie:%20n=%E9t%E9&text=ok"));
    ASSERT_TRUE(client.Send("GET", false)) << client.m_dwLastError;
    EXPECT_NE(std::string::npos, client.GetHeaders().find("X-Name: Val\xE9rie\r\n"))
        << client.GetHeaders();
    EXPECT_EQ("n=\xE9t\xE9;", client.m_strCookies);
}

TEST(SendTest, BodyBeyondTheBufferLimitEndsSend) {
    WinHttpClient client(Url("key=" + Key() + "&body=25000"));
    client.m_pBody.SetMaxCapacity(20480);
    EXPECT_FALSE(client.Send("GET", false));
    EXPECT_EQ(static_cast<uint32_t>(ERROR_NOT_ENOUGH_MEMORY), client.m_dwLastError);
    EXPECT_EQ(1, RequestCount(Key()));
    ASSERT_LE(client.m_nBodySize, 20480u);
    ASSERT_GT(client.m_nBodySize, 0u);
    for (size_t i = 0; i < client.m_nBodySize; ++i)
        ASSERT_EQ(PatternByte(i), client.m_pBody.Data()[i]) << "byte " << i;
}

// The guards for bodies that are run or parsed: a length limit that ends the Send without
// retrying (announced or not), and a deadline over all attempts.
TEST(SendTest, GuardsEndTheSendWithoutFurtherAttempts) {
    struct Case {
        const char* pszTag;
        const char* pszQuery;
        uint32_t nMax;
        uint32_t nDeadlineMs;
        bool bSent;
        uint32_t dwError;
    } cases[] = {
        {".exact", "body=1000", 1000, 0, true, 0},
        {".announced", "body=1001", 1000, 0, false, ERROR_FILE_TOO_LARGE},
        {".unannounced", "body=70000&nocl=1", 1000, 0, false, ERROR_FILE_TOO_LARGE},
        {".late", "stall=3", 0, 1000, false, ERROR_WINHTTP_TIMEOUT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pszTag);
        WinHttpClient client(Url("key=" + Key(c.pszTag) + "&" + c.pszQuery));
        client.m_nMaxBodyBytes = c.nMax;
        client.m_nDeadlineMs = c.nDeadlineMs;
        client.m_nReceiveTimeout = 10000;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(client.Send("GET", false), c.bSent);
        const double dSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!c.bSent) {
            EXPECT_EQ(client.m_dwLastError, c.dwError);
        }
        EXPECT_EQ(RequestCount(Key(c.pszTag)), 1);
        EXPECT_LT(dSeconds, 5.0) << "one stalled attempt, not three";
    }
}

// WinHTTP gives a freed handle's slot to the next handle: a leak would move the probe on.
void* ProbeHandle() {
    void* h = ::WinHttpOpen(L"probe", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, 0);
    ::WinHttpCloseHandle(h);
    return h;
}

TEST(SendTest, HandlesAreClosedOnEveryPath) {
    void* const hBefore = ProbeHandle();
    ASSERT_EQ(hBefore, ProbeHandle()) << "handle slots are not reused here";
    {
        const std::string queries[] = {"text=ok", "close=1", "body=5000&send=10",
                                       "text=%3Chtml%3Ecut", "body=25000"};
        for (const std::string& strQuery : queries) {
            WinHttpClient client(Url(strQuery));
            client.m_nReceiveTimeout = 1500;
            client.m_pBody.SetMaxCapacity(strQuery == "body=25000" ? 10240 : UINT32_MAX);
            client.Send("GET", false);
        }
        WinHttpClient untrusted(UrlOn("https", TestPorts().nUntrusted, "text=x"));
        untrusted.Send("GET", false);
        WinHttpClient refused("https://localhost:1/");
        refused.Send("GET", false);
        Request request;
        request.m_strUrl = Url("chain=3");
        request.Fetch();
    }
    EXPECT_EQ(hBefore, ProbeHandle());
}

TEST(FetchTest, FollowsRedirectsToTheFinalPage) {
    Request request;
    request.m_strUrl = Url("key=" + Key() + "&chain=2");
    EXPECT_EQ(0, request.Fetch());
    EXPECT_EQ("end of chain", request.m_strBody);
    EXPECT_EQ(Url("key=" + Key() + "&chain=0"), request.m_strUrl);
    EXPECT_EQ(3, RequestCount(Key()));
    EXPECT_EQ(0u, request.m_strHeaders.rfind("HTTP/1.1 200 X\r\n", 0)) << request.m_strHeaders;
}

TEST(FetchTest, RedirectChainsAreBounded) {
    struct Case {
        const char* pszQuery;
        int nResult;
        int nRequests;
    } cases[] = {{"chain=10", 0, 11}, {"chain=11", 1, 11}, {"loop=1", 1, 11}};
    int n = 0;
    for (const Case& c : cases) {
        const std::string strKey = Key() + std::to_string(n++);
        Request request;
        request.m_strUrl = Url("key=" + strKey + "&" + c.pszQuery);
        EXPECT_EQ(c.nResult, request.Fetch()) << c.pszQuery;
        EXPECT_EQ(c.nRequests, RequestCount(strKey)) << c.pszQuery;
    }
}

TEST(FetchTest, NeverLeavesHttps) {
    Request request;
    const std::string strStart = Url("key=" + Key() + "&tohttp=1");
    request.m_strUrl = strStart;
    EXPECT_EQ(1, request.Fetch());
    EXPECT_EQ(strStart, request.m_strUrl);
    EXPECT_EQ(1, RequestCount(Key()));
    EXPECT_NE(std::string::npos, request.m_strHeaders.find("Location: http://localhost:"));

    // From plain http onwards (to http or to https) a redirect is followed.
    Request plain;
    plain.m_strUrl = UrlOn("http", TestPorts().nHttp, "chain=1");
    EXPECT_EQ(0, plain.Fetch());
    EXPECT_EQ("end of chain", plain.m_strBody);
}

TEST(FetchTest, ContentLocationIsNoRedirect) {
    const std::string strTarget = "https://localhost:" + std::to_string(TestPorts().nHttps) +
                                  "/r%3Fkey=" + Key("target") + "%26text=followed";
    Request request;
    const std::string strStart =
        Url("key=" + Key() + "&status=302&h=Content-Location:%20" + strTarget + "&text=moved");
    request.m_strUrl = strStart;
    EXPECT_EQ(1, request.Fetch());
    EXPECT_EQ("moved", request.m_strBody);
    EXPECT_EQ(strStart, request.m_strUrl);
    EXPECT_EQ(1, RequestCount(Key()));
    EXPECT_EQ(0, RequestCount(Key("target")));
}

TEST(FetchTest, OtherStatusesFailWithTheirPageKept) {
    struct Case {
        const char* pszQuery;
        const char* pszBody;
    } cases[] = {{"status=404&text=no%20such%20page", "no such page"},
                 {"status=500&text=oops", "oops"},
                 {"status=303&h=Location:%20https://localhost/&text=see", "see"},
                 {"status=302&text=nowhere", "nowhere"}};
    for (const Case& c : cases) {
        Request request;
        request.m_strUrl = Url(c.pszQuery);
        EXPECT_EQ(1, request.Fetch()) << c.pszQuery;
        EXPECT_EQ(c.pszBody, request.m_strBody) << c.pszQuery;
        EXPECT_NE("", request.m_strHeaders) << c.pszQuery;
    }
    Request unreachable;
    unreachable.m_strUrl = "https://localhost:1/";
    EXPECT_EQ(1, unreachable.Fetch());
    EXPECT_EQ("", unreachable.m_strHeaders);
}

} // namespace
