// Fuzz target: what the HTTP client reads from bytes a server chose. The first byte picks the
// options; the rest is a block of raw response headers, and also a body for the cut-off-page
// check and an address for the redirect rules. Beside the memory checks it compares the header
// values and the page check with a direct reading of what they promise.

#include "update/http_text.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Die(const char* pszWhat) {
    std::fprintf(stderr, "http response fuzz: %s\n", pszWhat);
    std::abort();
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ContainsNoCase(const std::string& text, const std::string& tag) {
    std::string lowered = text;
    for (char& c : lowered)
        c = Lower(c);
    return lowered.find(tag) != std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize == 0)
        return 0;
    const bool bKeepCharset = pData[0] & 1;
    const std::string text(reinterpret_cast<const char*>(pData + 1), nSize - 1);

    HeaderFields fields;
    fields.strCharset = "kept";
    fields.nContentLength = 7;
    ParseHeaderFields(text, bKeepCharset, fields);
    if (bKeepCharset && fields.strCharset != "kept")
        Die("a kept charset was replaced");
    for (char c : fields.strCharset)
        if (!bKeepCharset && !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') &&
            !(c >= '0' && c <= '9') && c != '-' && c != '_')
            Die("a charset holds a byte the pattern does not take");
    // A length is only ever taken from a Content-Length header.
    if (fields.bContentLengthFound && !ContainsNoCase(text, "content-length"))
        Die("a length from nowhere");
    if (!fields.bContentLengthFound && fields.nContentLength != 7)
        Die("a length changed without its header");
    if (fields.strLocation.find('\n') != std::string::npos)
        Die("an address runs over its line");

    // The client checks a body's text up to its first NUL: cut off when it opens a page and
    // never closes it.
    const std::string body = text.substr(0, text.find('\0'));
    const bool bCutOff = ContainsNoCase(body, "<html>") && !ContainsNoCase(body, "</html>");
    if (IsPageCutOff(body) != bCutOff)
        Die("the cut-off page check differs from its direct reading");

    // The redirect rules over the text as an address: the installer rule is the stricter one,
    // and it never leaves https nor the host it starts from.
    const std::string from = "https://www.brenvale.fr/vexo/download/x.exe";
    if (IsSameHostRedirect(from, body) && !IsRedirectAllowed(from, body))
        Die("an installer redirect the general rule refuses");
    if (IsSameHostRedirect(from, body) &&
        !ContainsNoCase(body.substr(0, 23), "https://www.brenvale.fr"))
        Die("an installer redirect off the maker's host");
    if (IsSameHostRedirect(body, from) != IsSameHostRedirect(from, body) &&
        body.find('\\') == std::string::npos)
        Die("the same-host rule is not symmetric");
    return 0;
}
