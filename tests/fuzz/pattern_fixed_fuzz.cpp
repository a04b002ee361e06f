// Fuzz target: the six patterns of the HTTP client over arbitrary subjects (up to 64 KiB).
// Beside the memory checks it compares the shortcut search with the plain machine, and the three
// simplest patterns with a direct reading of what they mean.

#include "tests/fuzz/fuzz_support.h"

#include <cctype>
#include <string>

namespace {

const char* const kPatterns[] = {
    "charset={[A-Za-z0-9\\-_]+}",
    "Content-Length: {[0-9]+}",
    "Location: \\b*{.+?}\\n",
    "Set-Cookie:\\b*{.+?}\\n",
    "{<html>}",
    "{</html>}",
};
constexpr int kCount = sizeof kPatterns / sizeof kPatterns[0];

struct Compiled {
    CPattern fast[kCount], plain[kCount];
    Compiled() {
        for (int i = 0; i < kCount; ++i) {
            if (fast[i].Compile(kPatterns[i]) || plain[i].Compile(kPatterns[i]))
                fuzz::Die("does not compile", kPatterns[i]);
            plain[i].SetShortcuts(false);
        }
    }
};

// Leftmost "prefix" followed by a run of bytes accepted by pIn, taken whole; -1 when none.
long FindRun(const std::string& lowered, const char* pszPrefix, bool (*pIn)(unsigned char),
             long& nRunEnd) {
    size_t nPrefix = std::strlen(pszPrefix);
    for (size_t at = lowered.find(pszPrefix); at != std::string::npos;
         at = lowered.find(pszPrefix, at + 1)) {
        size_t i = at + nPrefix;
        if (i < lowered.size() && pIn(static_cast<unsigned char>(lowered[i]))) {
            while (i < lowered.size() && pIn(static_cast<unsigned char>(lowered[i])))
                ++i;
            nRunEnd = long(i);
            return long(at);
        }
    }
    return -1;
}

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}
bool IsCharsetByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || IsDigit(c) || c == '-' || c == '_';
}

// What the three simple patterns mean, read directly from the subject.
void CheckDirectly(int i, const std::string& lowered, const fuzz::Result& r) {
    long nStart = -1, nEnd = -1, nGroup = -1;
    if (i == 0 || i == 1) {
        const char* pszPrefix = i == 0 ? "charset=" : "content-length: ";
        nStart = FindRun(lowered, pszPrefix, i == 0 ? IsCharsetByte : IsDigit, nEnd);
        nGroup = nStart < 0 ? -1 : nStart + long(std::strlen(pszPrefix));
    } else if (i == 4 || i == 5) {
        const char* pszTag = i == 4 ? "<html>" : "</html>";
        size_t at = lowered.find(pszTag);
        if (at != std::string::npos) {
            nStart = nGroup = long(at);
            nEnd = long(at + std::strlen(pszTag));
        }
    } else {
        return;
    }
    bool bExpected = nStart >= 0;
    if (r.bMatched != bExpected || (bExpected && (r.nStart != nStart || r.nEnd != nEnd ||
                                                  r.groups[0] != nGroup || r.groups[1] != nEnd)))
        fuzz::Die("differs from the direct reading", kPatterns[i]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    static Compiled compiled;
    static CPatternMatch match;
    static bool bReserved = match.ReserveStack(256);
    (void)bReserved;
    std::string subject(reinterpret_cast<const char*>(pData), nSize);
    subject.resize(std::strlen(subject.c_str())); // the matcher sees text up to the first NUL
    std::string lowered = subject;
    for (char& c : lowered)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    for (int i = 0; i < kCount; ++i) {
        fuzz::Result fast =
            fuzz::SearchChecked(compiled.fast[i], kPatterns[i], subject.c_str(), match);
        if (fast.bRunaway)
            fuzz::Die("ran away", kPatterns[i]);
        fuzz::Result plain =
            fuzz::SearchChecked(compiled.plain[i], kPatterns[i], subject.c_str(), match);
        fuzz::ExpectSame(fast, plain, kPatterns[i]);
        CheckDirectly(i, lowered, fast);
    }
    return 0;
}
