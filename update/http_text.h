// Text helpers of the HTTP client that need no Windows header: picking values out of raw
// response headers with the pattern matcher, trimming, and the rule for following redirects.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Fills list with what group 0 of the pattern captured in the text, each distinct capture once
// (letters A to Z compared without case), in the order found. False when the pattern or the
// text is empty or the pattern does not compile; true otherwise, also when nothing matched.
bool CollectMatches(const std::string& strPattern, const std::string& strText,
                    std::vector<std::string>& list);

// The text without the characters of strSet at either end; empty when nothing else remains.
std::string TrimChars(const std::string& strText, const std::string& strSet);

// What the client keeps from a block of raw response headers. Each value is read only from a
// line that begins with its header's name and colon (letter case ignored), the charset from the
// Content-Type line. A value whose header is absent stays as it was; cookies are added to what
// earlier responses gave.
struct HeaderFields {
    std::string strCharset;
    uint32_t nContentLength = 0;
    std::string strLocation;
    std::string strCookies;
    // Set by each parse: whether this block announced a Content-Length.
    bool bContentLengthFound = false;
};
void ParseHeaderFields(const std::string& strHeaders, bool bKeepCharset, HeaderFields& fields);

// Whether a page was cut off on its way: its text holds "<html>" but not "</html>" (letters A to Z
// compared without case). A body without "<html>" at all is not a page and never cut off.
bool IsPageCutOff(std::string_view text);

// Whether a redirect from one address to another may be followed: never from an https address
// to one that is not https, since that would give up the certificate check.
bool IsRedirectAllowed(const std::string& strFrom, const std::string& strTo);
// Stricter, for what will be run: the redirect goes to https on the very host (and port) of
// strFrom, which is https itself. Both are absolute addresses; anything else is refused.
bool IsSameHostRedirect(const std::string& strFrom, const std::string& strTo);
