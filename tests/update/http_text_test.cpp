// The HTTP client's Windows-free parts: header values, cookies, trimming, redirect rule and the
// body buffer's growth.
#include "update/body_buffer.h"
#include "update/http_text.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using List = std::vector<std::string>;

struct CollectCase {
    const char* pszName;
    std::string strPattern;
    std::string strText;
    bool bResult;
    List expected;
};

class CollectMatchesTest : public testing::TestWithParam<CollectCase> {};

TEST_P(CollectMatchesTest, FindsDistinctCaptures) {
    const CollectCase& c = GetParam();
    List list{"left over from before"};
    EXPECT_EQ(c.bResult, CollectMatches(c.strPattern, c.strText, list));
    EXPECT_EQ(c.expected, list);
}

const std::string kCookieHeaders = "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nset-cookie:  A=1\r\n"
                                   "Set-Cookie:b=2; Path=/\r\nSet-Cookie: a=1\r\n\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, CollectMatchesTest,
    testing::Values(
        CollectCase{"EmptyPattern", "", "text", false, {}},
        CollectCase{"EmptyText", "{a}", "", false, {}},
        CollectCase{"PatternDoesNotCompile", "{abc", "abc", false, {}},
        CollectCase{"NoMatch", "{x+}", "abc", true, {}},
        CollectCase{"CaseIgnoredOnceEach",
                    "Set-Cookie:\\b*{.+?}\\n",
                    kCookieHeaders,
                    true,
                    {"a=1", "b=2; Path=/"}},
        CollectCase{"CallerLettersKept",
                    "charset={[A-Za-z0-9\\-_]+}",
                    "Content-Type: text/html; CHARSET=Utf-8\r\n",
                    true,
                    {"Utf-8"}},
        // A match of nothing must not be found at the same place for ever.
        CollectCase{"EmptyMatchesMoveOn", "{a*}", "baab", true, {"aa"}},
        CollectCase{"EndAnchorStops", "{b}$", "abab", true, {"b"}},
        CollectCase{"StopsAtZeroByte", "{x}", std::string("ax\0x", 4), true, {"x"}},
        CollectCase{
            "EveryPlaceInOrder", "{[0-9]+}", "7 and 42, then 7 and 5", true, {"7", "42", "5"}}),
    [](const auto& info) { return std::string(info.param.pszName); });

TEST(TrimCharsTest, StripsTheSetAtBothEnds) {
    struct Case {
        std::string strText, strSet, expected;
    } cases[] = {
        {"  a=1; b=2;  ", " ", "a=1; b=2;"},
        {"   ", " ", ""},
        {"", " ", ""},
        {"xxabcxyx", "xy", "abc"},
        {"a b", " ", "a b"},
        {" \t a \t", " \t", "a"},
        {"abc", "", "abc"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, TrimChars(c.strText, c.strSet)) << '"' << c.strText << '"';
}

TEST(ParseHeaderFieldsTest, TakesTheValuesTheClientKeeps) {
    const std::string strHeaders = "HTTP/1.1 302 Found\r\n"
                                   "Content-Type: text/html; charset=ISO-8859-1\r\n"
                                   "content-length: 1234\r\n"
                                   "Location:    https://localhost/next?a=1\r\n"
                                   "Set-Cookie: a=1\r\n"
                                   "Set-Cookie: b=2\r\n"
                                   "Set-Cookie: A=1\r\n\r\n";
    HeaderFields fields;
    ParseHeaderFields(strHeaders, false, fields);
    EXPECT_EQ("ISO-8859-1", fields.strCharset);
    EXPECT_EQ(1234u, fields.nContentLength);
    EXPECT_TRUE(fields.bContentLengthFound);
    EXPECT_EQ("https://localhost/next?a=1", fields.strLocation);
    EXPECT_EQ("a=1; b=2;", fields.strCookies);

    HeaderFields kept;
    kept.strCharset = "before";
    ParseHeaderFields(strHeaders, true, kept);
    EXPECT_EQ("before", kept.strCharset);
}

TEST(ParseHeaderFieldsTest, AbsentHeadersLeaveValuesAndCookiesAccumulate) {
    HeaderFields fields;
    ParseHeaderFields("HTTP/1.1 200 OK\r\nSet-Cookie: s=1;\r\n\r\n", false, fields);
    EXPECT_EQ("s=1;", fields.strCookies);
    fields.strCharset = "UTF-8";
    fields.nContentLength = 7;
    fields.strLocation = "https://localhost/";
    ParseHeaderFields("HTTP/1.1 200 OK\r\nSet-Cookie: t=2\r\nServer: x\r\n\r\n", false, fields);
    EXPECT_EQ("UTF-8", fields.strCharset);
    EXPECT_EQ(7u, fields.nContentLength);
    EXPECT_FALSE(fields.bContentLengthFound);
    EXPECT_EQ("https://localhost/", fields.strLocation);
    EXPECT_EQ("s=1; t=2;", fields.strCookies);
}

TEST(ParseHeaderFieldsTest, OversizedContentLengthDoesNotWrap) {
    HeaderFields fields;
    ParseHeaderFields("HTTP/1.1 200 OK\r\nContent-Length: 4294967296\r\n\r\n", false, fields);
    EXPECT_EQ(UINT32_MAX, fields.nContentLength);
    ParseHeaderFields("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n", false,
                      fields);
    EXPECT_EQ(UINT32_MAX, fields.nContentLength);
}

TEST(ParseHeaderFieldsTest, GarbageNeverMatchesAnything) {
    std::string strGarbage;
    for (int i = 0; i < 5000; ++i)
        strGarbage += static_cast<char>((i * 37 + 11) % 255 + 1);
    HeaderFields fields;
    ParseHeaderFields(strGarbage, false, fields);
    ParseHeaderFields("Location: \r\nContent-Length: x\r\n", false, fields);
    EXPECT_EQ("", fields.strCookies);
    EXPECT_EQ("", fields.strCharset);
    EXPECT_EQ(0u, fields.nContentLength);
    EXPECT_FALSE(fields.bContentLengthFound);
    // The blank after the colon is taken by the blanks, so the value is the line end's CR.
    EXPECT_EQ("\r", fields.strLocation);
}

// A value counts only on a line that begins with its own header's name and colon: another
// header whose name ends in it, or that merely mentions it, must not lend its value.
TEST(ParseHeaderFieldsTest, ValuesComeOnlyFromTheirOwnLine) {
    struct Case {
        const char* pszLines;
        const char* pszCharset;
        uint32_t nContentLength;
        bool bContentLengthFound;
        const char* pszLocation;
        const char* pszCookies;
    } cases[] = {
        {"Content-Location: /x\r\n", "", 0, false, "", ""},
        {"Content-Location: /x\r\nlocation:  /y\r\n", "", 0, false, "/y", ""},
        {"Locations: /x\r\nX-Location: /y\r\n", "", 0, false, "", ""},
        {"X-Original-Content-Length: 5\r\n", "", 0, false, "", ""},
        {"X-Original-Content-Length: 5\r\nCONTENT-LENGTH: 7\r\n", "", 7, true, "", ""},
        {"Content-Lengthy: 5\r\n", "", 0, false, "", ""},
        {"X-Set-Cookie: a=1\r\nSet-Cookie: b=2\r\n", "", 0, false, "", "b=2;"},
        {"Set-Cookie: note=Location: /evil\r\n", "", 0, false, "", "note=Location: /evil;"},
        {"X-Info: charset=koi8\r\n", "", 0, false, "", ""},
        {"Content-Type: text/html\r\nX-Info: charset=koi8\r\n", "", 0, false, "", ""},
        {"X-Info: charset=koi8\r\ncontent-type: text/html; charset=UTF-8\r\n", "UTF-8", 0, false,
         "", ""},
        {"X-Info: Content-Length: 9 Location: /z\r\n", "", 0, false, "", ""},
        // A blank value ends with its line, never taking the next line of the same header.
        {"Location:  \nLocation: /y\r\n", "", 0, false, " ", ""},
    };
    for (const Case& c : cases) {
        HeaderFields fields;
        ParseHeaderFields(std::string("HTTP/1.1 302 Found\r\n") + c.pszLines + "\r\n", false,
                          fields);
        EXPECT_EQ(c.pszCharset, fields.strCharset) << c.pszLines;
        EXPECT_EQ(c.nContentLength, fields.nContentLength) << c.pszLines;
        EXPECT_EQ(c.bContentLengthFound, fields.bContentLengthFound) << c.pszLines;
        EXPECT_EQ(c.pszLocation, fields.strLocation) << c.pszLines;
        EXPECT_EQ(c.pszCookies, fields.strCookies) << c.pszLines;
    }
}

TEST(PageCutOffTest, OnlyAnOpenedAndNeverClosedPage) {
    struct Case {
        std::string strText;
        bool bCutOff;
    } cases[] = {
        {"<HTML><body>cut off", true},
        {"<html>all</HTML>", false},
        {"</html> before <html>", false},
        {"plain text", false},
        {"", false},
        {"<htm", false},
        {"<<html>", true},
        {"< html>", false},
        {"<html", false},
        {std::string(1 << 20, 'x') + "<Html>", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.bCutOff, IsPageCutOff(c.strText)) << c.strText.substr(0, 40);
}

TEST(RedirectRuleTest, NeverLeavesHttps) {
    struct Case {
        const char* pszFrom;
        const char* pszTo;
        bool bAllowed;
    } cases[] = {
        {"https://a/x", "https://b/y", true}, {"https://a/x", "HTTPS://b/y", true},
        {"HTTPS://a/x", "http://b/y", false}, {"https://a/x", "ftp://b/y", false},
        {"https://a/x", "", false},           {"https://a/x", "/relative", false},
        {"http://a/x", "http://b/y", true},   {"http://a/x", "https://b/y", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.bAllowed, IsRedirectAllowed(c.pszFrom, c.pszTo))
            << c.pszFrom << " -> " << c.pszTo;
}

// What an installer download follows: https on the very same host and port, nothing else.
TEST(RedirectRuleTest, InstallersStayOnTheirHost) {
    struct Case {
        const char* pszFrom;
        const char* pszTo;
        bool bAllowed;
    } cases[] = {
        {"https://www.brenvale.fr/a", "https://www.brenvale.fr/b", true},
        {"https://www.brenvale.fr/a", "HTTPS://WWW.Brenvale.FR/b?x", true},
        {"https://www.brenvale.fr:443/a", "https://www.brenvale.fr/b", true},
        {"https://www.brenvale.fr/a", "https://www.brenvale.fr", true},
        {"https://www.brenvale.fr/a", "https://localhost/b", false},
        {"https://www.brenvale.fr/a", "https://www.brenvale.fr.evil.example/b", false},
        {"https://www.brenvale.fr/a", "https://www.brenvale.fr:8443/b", false},
        {"https://www.brenvale.fr/a", "https://www.brenvale.fr@evil.example/b", false},
        {"https://www.brenvale.fr/a", "http://www.brenvale.fr/b", false},
        {"https://www.brenvale.fr/a", "/b", false},
        {"https://www.brenvale.fr/a", "", false},
        {"http://www.brenvale.fr/a", "http://www.brenvale.fr/b", false},
        {"https:///a", "https:///b", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.bAllowed, IsSameHostRedirect(c.pszFrom, c.pszTo))
            << c.pszFrom << " -> " << c.pszTo;
}

// The sizes WinHTTP hands out per read vary; the capacity only ever doubles from 10,240.
TEST(BodyBufferTest, DoublesUntilEverythingFits) {
    BodyBuffer buffer;
    ASSERT_TRUE(buffer.Reset());
    std::vector<size_t> capacities{buffer.Capacity()};
    std::string strSent;
    for (size_t nChunk : {8192u, 8192u, 8192u, 424u}) {
        std::string strPiece(nChunk, '\0');
        for (size_t i = 0; i < nChunk; ++i)
            strPiece[i] = static_cast<char>((strSent.size() + i) % 251 + 1);
        ASSERT_TRUE(buffer.Append(strPiece.data(), strPiece.size()));
        strSent += strPiece;
        if (buffer.Capacity() != capacities.back())
            capacities.push_back(buffer.Capacity());
    }
    EXPECT_EQ((std::vector<size_t>{10240, 20480, 40960}), capacities);
    ASSERT_EQ(25000u, buffer.Size());
    EXPECT_EQ(strSent, std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Size()));
    for (size_t i = buffer.Size(); i < buffer.Capacity(); ++i)
        ASSERT_EQ(0, buffer.Data()[i]) << "byte " << i << " is not zero";
}

TEST(BodyBufferTest, ExactFitDoesNotGrowAndResetStartsOver) {
    BodyBuffer buffer;
    ASSERT_TRUE(buffer.Reset());
    ASSERT_TRUE(buffer.Reserve(10240));
    buffer.Commit(10240);
    EXPECT_EQ(10240u, buffer.Capacity());
    ASSERT_TRUE(buffer.Reset());
    EXPECT_EQ(0u, buffer.Size());
    EXPECT_EQ(10240u, buffer.Capacity());
}

TEST(BodyBufferTest, LimitKeepsWhatWasReceived) {
    BodyBuffer buffer(20480);
    ASSERT_TRUE(buffer.Reset());
    const std::string strPart(15000, 'q');
    ASSERT_TRUE(buffer.Append(strPart.data(), strPart.size()));
    EXPECT_FALSE(buffer.Append(strPart.data(), strPart.size()));
    EXPECT_EQ(15000u, buffer.Size());
    EXPECT_EQ(20480u, buffer.Capacity());
    EXPECT_EQ(strPart, std::string(reinterpret_cast<const char*>(buffer.Data()), buffer.Size()));

    // A request whose size would wrap round the arithmetic is refused, not allocated.
    BodyBuffer unlimited;
    ASSERT_TRUE(unlimited.Append("x", 1));
    EXPECT_FALSE(unlimited.Reserve(SIZE_MAX));
    EXPECT_FALSE(unlimited.Reserve(UINT32_MAX));
    EXPECT_EQ(1u, unlimited.Size());
    EXPECT_EQ(10240u, unlimited.Capacity());

    BodyBuffer tiny(100);
    EXPECT_FALSE(tiny.Reset());
    EXPECT_FALSE(tiny.Append("x", 1));
}

} // namespace
