#include "update/http_text.h"

#include "update/pattern.h"

#include <cstddef>
#include <cstring>

namespace {

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (LowerAscii(a[i]) != LowerAscii(b[i]))
            return false;
    return true;
}

bool StartsWithNoCase(const std::string& str, const std::string& strPrefix) {
    return str.size() >= strPrefix.size() &&
           EqualsNoCase(str.substr(0, strPrefix.size()), strPrefix);
}

// A header value that does not fit 32 bits is taken as the largest one that does: the body it
// announces cannot be held anyway, and wrapping round would announce a small one.
uint32_t ParseDecimal32(const std::string& str) {
    uint64_t n = 0;
    for (char c : str) {
        if (c < '0' || c > '9')
            break;
        n = n * 10 + static_cast<unsigned>(c - '0');
        if (n > UINT32_MAX)
            return UINT32_MAX;
    }
    return static_cast<uint32_t>(n);
}

} // namespace

bool CollectMatches(const std::string& strPattern, const std::string& strText,
                    std::vector<std::string>& list) {
    list.clear();
    if (strPattern.empty() || strText.empty())
        return false;
    CPattern pattern;
    if (pattern.Compile(strPattern.c_str()) != 0)
        return false;
    CPatternMatch match;
    match.ReserveStack(256);

    // The subject ends at the text's first zero byte, as the matcher sees it. No copy: a body
    // searched here can be tens of megabytes, and the matcher makes its own lowercased one.
    const char* const pBegin = strText.c_str();
    const char* const pEnd = pBegin + std::strlen(pBegin);
    const char* pPos = pBegin;
    while (pPos < pEnd) {
        const char* pNext = nullptr;
        if (!pattern.Search(pPos, &match, &pNext))
            break;
        const PatternGroup* pGroup = match.GetGroup(0);
        if (pGroup && pGroup->m_pStart && pGroup->m_pEnd && pGroup->m_pEnd > pGroup->m_pStart) {
            const std::string strCapture(pGroup->m_pStart, pGroup->m_pEnd);
            bool bKnown = false;
            for (const std::string& str : list)
                bKnown = bKnown || EqualsNoCase(str, strCapture);
            if (!bKnown)
                list.push_back(strCapture);
        }
        // An empty match would be found again at the same place for ever.
        pPos = pNext > pPos ? pNext : pPos + 1;
    }
    return true;
}

std::string TrimChars(const std::string& strText, const std::string& strSet) {
    const size_t nFirst = strText.find_first_not_of(strSet);
    if (nFirst == std::string::npos)
        return {};
    const size_t nLast = strText.find_last_not_of(strSet);
    return strText.substr(nFirst, nLast - nFirst + 1);
}

namespace {

// The lines of a header block that begin with the header's name and its colon (letter case
// ignored), each with its line end, in order. The value patterns only ever see these: searched
// over the whole block they would also find their name inside another header's name, and take
// "Content-Location" for a redirect or "X-Original-Content-Length" for this body's length.
std::string HeaderLines(const std::string& strHeaders, const std::string& strName) {
    std::string strLines;
    for (size_t nStart = 0; nStart < strHeaders.size();) {
        size_t nEnd = strHeaders.find('\n', nStart);
        nEnd = nEnd == std::string::npos ? strHeaders.size() : nEnd + 1;
        if (nEnd - nStart > strName.size() &&
            EqualsNoCase(strHeaders.substr(nStart, strName.size()), strName) &&
            strHeaders[nStart + strName.size()] == ':')
            strLines.append(strHeaders, nStart, nEnd - nStart);
        nStart = nEnd;
    }
    return strLines;
}

// What the pattern captured first in the lines of the named header; false when nothing did.
// Line by line: a value never runs on into the next line of the same header, as a blank-eating
// pattern after an empty header would otherwise let it.
bool FirstValue(const std::string& strHeaders, const char* pszName, const char* pszPattern,
                std::string& strValue) {
    const std::string strLines = HeaderLines(strHeaders, pszName);
    for (size_t nStart = 0; nStart < strLines.size();) {
        size_t nEnd = strLines.find('\n', nStart);
        nEnd = nEnd == std::string::npos ? strLines.size() : nEnd + 1;
        std::vector<std::string> list;
        if (CollectMatches(pszPattern, strLines.substr(nStart, nEnd - nStart), list) &&
            !list.empty()) {
            strValue = list.front();
            return true;
        }
        nStart = nEnd;
    }
    return false;
}

} // namespace

void ParseHeaderFields(const std::string& strHeaders, bool bKeepCharset, HeaderFields& fields) {
    if (!bKeepCharset)
        FirstValue(strHeaders, "Content-Type", "charset={[A-Za-z0-9\\-_]+}", fields.strCharset);
    std::string strLength;
    fields.bContentLengthFound =
        FirstValue(strHeaders, "Content-Length", "Content-Length: {[0-9]+}", strLength);
    if (fields.bContentLengthFound)
        fields.nContentLength = ParseDecimal32(strLength);
    FirstValue(strHeaders, "Location", "Location: \\b*{.+?}\\n", fields.strLocation);
    std::vector<std::string> list;
    if (CollectMatches("Set-Cookie:\\b*{.+?}\\n", HeaderLines(strHeaders, "Set-Cookie"), list) &&
        !list.empty()) {
        std::string strAdded;
        for (const std::string& strCookie : list) {
            if (!strAdded.empty())
                strAdded += "; ";
            strAdded += strCookie;
        }
        // Cookies of an earlier response already end in ';'.
        std::string& strCookies = fields.strCookies;
        if (!strCookies.empty())
            strCookies += ' ';
        strCookies = TrimChars(strCookies + strAdded, " ");
        if (!strCookies.empty() && strCookies.back() != ';')
            strCookies += ';';
    }
}

namespace {

// A plain scan for a lowercase tag: the body can be tens of megabytes, and only presence counts.
bool ContainsNoCase(std::string_view text, std::string_view tag) {
    for (size_t nPos = text.find('<'); nPos != std::string_view::npos;
         nPos = text.find('<', nPos + 1)) {
        if (text.size() - nPos < tag.size())
            return false;
        size_t i = 1;
        while (i < tag.size() && LowerAscii(text[nPos + i]) == tag[i])
            ++i;
        if (i == tag.size())
            return true;
    }
    return false;
}

} // namespace

bool IsPageCutOff(std::string_view text) {
    return ContainsNoCase(text, "<html>") && !ContainsNoCase(text, "</html>");
}

bool IsRedirectAllowed(const std::string& strFrom, const std::string& strTo) {
    return !StartsWithNoCase(strFrom, "https:") || StartsWithNoCase(strTo, "https:");
}

namespace {

// "host[:port]" of an https address, lower-cased; empty when it is not one. Credentials
// ("user@") would let an address name one host and reach another: refused as well.
std::string HttpsAuthority(const std::string& strUrl) {
    constexpr std::string_view kScheme = "https://";
    if (!StartsWithNoCase(strUrl, "https://"))
        return {};
    const size_t nEnd = strUrl.find_first_of("/?#\\", kScheme.size());
    std::string str = strUrl.substr(
        kScheme.size(), nEnd == std::string::npos ? std::string::npos : nEnd - kScheme.size());
    if (str.empty() || str.find('@') != std::string::npos)
        return {};
    for (char& c : str)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    if (str.size() > 4 && str.compare(str.size() - 4, 4, ":443") == 0)
        str.resize(str.size() - 4);
    return str;
}

} // namespace

bool IsSameHostRedirect(const std::string& strFrom, const std::string& strTo) {
    const std::string strHost = HttpsAuthority(strFrom);
    return !strHost.empty() && HttpsAuthority(strTo) == strHost;
}
