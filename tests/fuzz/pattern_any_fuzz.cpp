// Fuzz target: arbitrary patterns over short subjects. The first byte of an input says how many
// of the following bytes are the pattern; the rest (at most 16 bytes) is the subject. Arbitrary
// patterns may backtrack for a long time (low stack and step limits cut that short); what must
// never happen is a crash, a sanitizer report, a position outside the subject, or the shortcuts
// changing a result.

#include "tests/fuzz/fuzz_support.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    if (nSize < 1)
        return 0;
    size_t nPattern = pData[0];
    if (nPattern > nSize - 1)
        nPattern = nSize - 1;
    std::string pattern(reinterpret_cast<const char*>(pData + 1), nPattern);
    std::string subject(reinterpret_cast<const char*>(pData + 1 + nPattern), nSize - 1 - nPattern);
    if (subject.size() > 16)
        subject.resize(16);

    CPattern fast, plain;
    int32_t nError = fast.Compile(pattern.c_str());
    if (plain.Compile(pattern.c_str()) != nError)
        fuzz::Die("compiles differently twice", pattern.c_str());
    if (nError < 0 || nError > 9)
        fuzz::Die("unknown error code", pattern.c_str());
    plain.SetShortcuts(false);

    CPatternMatch match;
    match.m_nStackLimit = 1 << 14;
    match.m_nStepLimit = 1 << 18;
    if (nError) {
        if (fast.Search(subject.c_str(), &match))
            fuzz::Die("a failed pattern matched", pattern.c_str());
        return 0;
    }
    fuzz::Result a = fuzz::SearchChecked(fast, pattern.c_str(), subject.c_str(), match);
    fuzz::Result b = fuzz::SearchChecked(plain, pattern.c_str(), subject.c_str(), match);
    fuzz::ExpectSame(a, b, pattern.c_str());
    // The state is reusable: the same search again gives the same answer.
    fuzz::Result c = fuzz::SearchChecked(fast, pattern.c_str(), subject.c_str(), match);
    fuzz::ExpectSame(a, c, pattern.c_str());
    return 0;
}
