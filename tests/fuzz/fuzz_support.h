#pragma once
// Checks shared by the pattern fuzz targets.

#include "update/pattern.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {

// What one search reported, as offsets into its subject.
struct Result {
    bool bMatched = false;
    bool bRunaway = false; // ended at the stack or step limit
    long nStart = -1, nEnd = -1;
    long groups[2 * 16] = {};
    uint32_t nGroups = 0;
};

inline void Die(const char* pszWhat, const char* pszPattern) {
    std::fprintf(stderr, "pattern fuzz: %s (pattern \"%s\")\n", pszWhat, pszPattern);
    std::abort();
}

// Searches and checks that every reported position lies inside the subject (a match of `$` ends
// one past its NUL) and inside the match.
inline Result SearchChecked(const CPattern& pattern, const char* pszPattern, const char* pszSubject,
                            CPatternMatch& match) {
    Result r;
    const char* pEnd = nullptr;
    r.bMatched = pattern.Search(pszSubject, &match, &pEnd);
    r.bRunaway = match.IsRunaway();
    if (!r.bMatched)
        return r;
    size_t nLength = std::strlen(pszSubject);
    const char* pLimit = pszSubject + nLength + 1;
    if (pEnd != match.m_pMatchEnd)
        Die("end position differs from match end", pszPattern);
    if (match.m_pMatchStart < pszSubject || match.m_pMatchStart > pszSubject + nLength ||
        match.m_pMatchEnd < match.m_pMatchStart || match.m_pMatchEnd > pLimit)
        Die("match outside the subject", pszPattern);
    r.nStart = match.m_pMatchStart - pszSubject;
    r.nEnd = match.m_pMatchEnd - pszSubject;
    r.nGroups = match.m_nGroups;
    if (r.nGroups != pattern.GetGroupCount())
        Die("group table of the wrong size", pszPattern);
    for (uint32_t g = 0; g < match.m_nGroups; ++g) {
        const PatternGroup* pGroup = match.GetGroup(g);
        if (!pGroup->m_pStart != !pGroup->m_pEnd)
            Die("half a group", pszPattern);
        if (!pGroup->m_pStart)
            continue;
        if (pGroup->m_pStart < pszSubject || pGroup->m_pEnd < pGroup->m_pStart ||
            pGroup->m_pEnd > pszSubject + nLength)
            Die("group outside the subject", pszPattern);
        if (g < 16) {
            r.groups[2 * g] = pGroup->m_pStart - pszSubject;
            r.groups[2 * g + 1] = pGroup->m_pEnd - pszSubject;
        }
    }
    return r;
}

// The shortcuts skip attempts that cannot match; the plain machine must find the same. A runaway
// search is exempt: skipping a runaway attempt may let a later one match.
inline void ExpectSame(const Result& a, const Result& b, const char* pszPattern) {
    if (a.bRunaway || b.bRunaway)
        return;
    if (a.bMatched != b.bMatched || a.nStart != b.nStart || a.nEnd != b.nEnd ||
        std::memcmp(a.groups, b.groups, sizeof a.groups) != 0)
        Die("the shortcuts changed the result", pszPattern);
}

} // namespace fuzz
