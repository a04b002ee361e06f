// The pattern matcher: its compiled form, what it matches and captures, and its compile errors.

#include "update/pattern.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Op = PatternOp;

// What one search reported, as offsets into the subject; -1 for a null position.
struct Outcome {
    bool bMatched = false;
    long nStart = -1, nEnd = -1;
    std::vector<std::pair<long, long>> groups;
    bool operator==(const Outcome&) const = default;
};

Outcome SearchOnce(const CPattern& pattern, const std::string& subject) {
    CPatternMatch match;
    match.ReserveStack(256);
    const char* pszSubject = subject.c_str();
    const char* pEnd = nullptr;
    Outcome o;
    o.bMatched = pattern.Search(pszSubject, &match, &pEnd);
    if (!o.bMatched)
        return o;
    EXPECT_EQ(pEnd, match.m_pMatchEnd);
    o.nStart = match.m_pMatchStart - pszSubject;
    o.nEnd = match.m_pMatchEnd - pszSubject;
    for (uint32_t g = 0; g < match.m_nGroups; ++g) {
        const PatternGroup* pGroup = match.GetGroup(g);
        if (pGroup->m_pStart)
            o.groups.emplace_back(pGroup->m_pStart - pszSubject, pGroup->m_pEnd - pszSubject);
        else
            o.groups.emplace_back(-1, -1);
    }
    return o;
}

// Searches with and without the attempt-skipping shortcuts; both must agree.
Outcome Search(const char* pszPattern, const std::string& subject) {
    CPattern fast, plain;
    EXPECT_EQ(fast.Compile(pszPattern), 0) << pszPattern;
    EXPECT_EQ(plain.Compile(pszPattern), 0) << pszPattern;
    plain.SetShortcuts(false);
    Outcome o = SearchOnce(fast, subject);
    EXPECT_EQ(o, SearchOnce(plain, subject)) << pszPattern << " on " << subject;
    return o;
}

std::string Group0(const char* pszPattern, const std::string& subject) {
    Outcome o = Search(pszPattern, subject);
    if (!o.bMatched || o.groups.empty() || o.groups[0].first < 0)
        return "<none>";
    return subject.substr(size_t(o.groups[0].first),
                          size_t(o.groups[0].second - o.groups[0].first));
}

TEST(PatternTest, LocationPatternCompilesToTheDocumentedProgram) {
    CPattern pattern;
    ASSERT_EQ(pattern.Compile("Location: \\b*{.+?}\\n"), 0);
    EXPECT_EQ(pattern.GetGroupCount(), 1u);
    EXPECT_EQ(pattern.GetSlotCount(), 2u);

    struct Expected {
        int32_t nOp;
        uint64_t nOperand;
    };
    std::vector<Expected> expected = {{Op::Enter, 2}, {Op::NextStart, 0}};
    for (char c : std::string("location: "))
        expected.push_back({Op::Char, uint64_t(c)});
    std::vector<Expected> rest = {
        {Op::SaveSlot, 0},
        {Op::MarkPos, 0},
        {Op::SavePos, 0},
        {Op::Enter, 19},
        {Op::RestorePos, 0},
        {Op::RestoreSlot, 0},
        {Op::Goto, 27},
        {Op::Enter, 21},
        {Op::Leave, 0},
        {Op::InSet, 0},
        {-1, 0},
        {-1, 0},
        {Op::LeaveIfStuck, 0},
        {Op::MarkPos, 0},
        {Op::Goto, 12},
        {Op::GroupSave, 0},
        {Op::GroupOpen, 0},
        {Op::Enter, 32},
        {Op::GroupRestore, 0},
        {Op::Leave, 0},
        {Op::AnyChar, 0},
        {Op::Enter, 36},
        {Op::AnyChar, 0},
        {Op::Goto, 33},
        {Op::GroupClose, 0},
        {Op::Enter, 39},
        {Op::Leave, 0},
        {Op::SavePos, 0},
        {Op::Enter, 43},
        {Op::RestorePos, 0},
        {Op::Goto, 45},
        {Op::Char, 13},
        {Op::Goto, 58},
        {Op::Enter, 47},
        {Op::Leave, 0},
        {Op::SaveSlot, 1},
        {Op::MarkPos, 1},
        {Op::SavePos, 0},
        {Op::Enter, 54},
        {Op::RestorePos, 0},
        {Op::RestoreSlot, 1},
        {Op::Goto, 57},
        {Op::Char, 13},
        {Op::LeaveIfStuck, 1},
        {Op::MarkPos, 1},
        {Op::Char, 10},
        {Op::Accept, 0},
    };
    expected.insert(expected.end(), rest.begin(), rest.end());
    ASSERT_EQ(pattern.GetProgramSize(), 59u);
    ASSERT_EQ(expected.size(), 59u);
    const PatternOp* pOps = pattern.GetProgram();
    for (size_t i = 0; i < expected.size(); ++i) {
        if (expected[i].nOp < 0)
            continue; // a set record
        EXPECT_EQ(pOps[i].m_nOp, expected[i].nOp) << "instruction " << i;
        EXPECT_EQ(pOps[i].m_nOperand, expected[i].nOperand) << "instruction " << i;
    }
    for (unsigned b = 0; b < 256; ++b)
        EXPECT_EQ(PatternSetHas(&pOps[22], static_cast<unsigned char>(b)), b == ' ' || b == '\t')
            << "byte " << b;
}

const std::string kHeaders = "HTTP/1.1 302 Found\r\n"
                             "Content-Type: text/html; charset=UTF-8\r\n"
                             "content-length: 1234\r\n"
                             "Location:  https://example.test/Setup.exe\r\n"
                             "Set-Cookie: id=A1b2; path=/\r\n"
                             "Server: x\r\n"
                             "\r\n";

TEST(PatternTest, HeaderPatternsCaptureTheirValues) {
    struct Case {
        const char* pszPattern;
        std::string subject;
        std::string group0;
    } cases[] = {
        {"Content-Length: {[0-9]+}", kHeaders, "1234"},
        {"charset={[A-Za-z0-9\\-_]+}", kHeaders, "UTF-8"},
        {"Location: \\b*{.+?}\\n", kHeaders, "https://example.test/Setup.exe"},
        {"Set-Cookie:\\b*{.+?}\\n", kHeaders, "id=A1b2; path=/"},
        // A lone CR is a line break too.
        {"Location: \\b*{.+?}\\n", "Location: /a\rB: c\n", "/a"},
        // Greedy, the value runs on to the last line break of the subject and keeps its CR.
        {"Location: \\b*{.*}\\n", "Location: /a\r\nB: c\r\n", "/a\r\nB: c\r"},
        {"{<html>}", "<!DOCTYPE x>\n<HTML lang=fr><Html>", "<Html>"},
        {"{</html>}", "<p>x</p></HTML>\n", "</HTML>"},
        {"Content-Length: {[0-9]+}", "Content-Type: a\r\n", "<none>"},
        {"{</html>}", "<html><body>", "<none>"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Group0(c.pszPattern, c.subject), c.group0) << c.pszPattern << " on " << c.subject;
}

TEST(PatternTest, CapturesPointIntoTheCallersSubject) {
    CPattern pattern;
    ASSERT_EQ(pattern.Compile("charset={[A-Za-z0-9\\-_]+}"), 0);
    CPatternMatch match;
    const char* pszSubject = kHeaders.c_str();
    ASSERT_TRUE(pattern.Search(pszSubject, &match));
    size_t nAt = kHeaders.find("UTF-8");
    EXPECT_EQ(match.GetGroup(0)->m_pStart, pszSubject + nAt);
    EXPECT_EQ(match.GetGroup(0)->m_pEnd, pszSubject + nAt + 5);
    EXPECT_EQ(match.m_pMatchStart, pszSubject + kHeaders.find("charset"));
    EXPECT_EQ(match.GetGroup(1), nullptr);
}

struct MatchCase {
    const char* pszPattern;
    const char* pszSubject;
    long nStart, nEnd; // -1: no match
};

TEST(PatternTest, MatchesWhereTheLanguageSays) {
    const MatchCase cases[] = {
        // The bar chooses between the single atoms beside it.
        {"abcd", "xabcd", 1, 5},
        {"ab|cd", "abd", 0, 3},
        {"ab|cd", "acd", 0, 3},
        {"ab|cd", "ab", -1, -1},
        {"ab|cd", "cd", -1, -1},
        {"ab|cd", "abcd", -1, -1},
        {"a|b|c", "xc", 1, 2},
        {"x{a}+|y", "xaay", 0, 3},
        // Empty subject and empty pattern; `$`.
        {"a*", "", 0, 0},
        {"", "abc", 0, 0},
        {"", "", 0, 0},
        {"$", "a", -1, -1},
        {"$", "", 0, 1},
        {"a$", "aba", 2, 4},
        {"a$", "ab", -1, -1},
        {"$a", "x$a", 1, 3},
        {"^$", "", 0, 1},
        {"^$", "a", -1, -1},
        // `^` makes one attempt, at the first byte; elsewhere it is a byte.
        {"^b", "ab", -1, -1},
        {"^b", "ba", 0, 1},
        {"a^", "xa^", 1, 3},
        // Quantifiers: greedy first, lazy last; quantifier bytes where an atom is expected.
        {"a??b", "b", 0, 1},
        {"a??b", "ab", 0, 2},
        {"xa??", "xa", 0, 1},
        {"xa?", "xa", 0, 2},
        {"xa*?", "xaa", 0, 1},
        {"xa+?", "xaa", 0, 2},
        {"xa+", "xaab", 0, 3},
        {"a**", "aa*", 0, 3},
        {"a**", "aa", -1, -1},
        {"*a", "x*a", 1, 3},
        {"|a", "b|a", 1, 3},
        {"a???", "a?", 0, 2},
        {"()*x", "ax", 1, 2},
        {"{}+x", "ax", 1, 2},
        // A lazy repetition resumes where it stood when what follows it failed.
        {"x*?yz", "yxyz", 1, 4},
        {"x+?yz", "xyxyz", 2, 5},
        {"x??yz", "yxyz", 1, 4},
        {"a.*?bc", "abxbc", 0, 5},
        // Literal beginnings, overlapping and at the very end.
        {"ababc", "abababc", 2, 7},
        {"{ab}c", "abac abc", 5, 8},
        {"abc", "ab", -1, -1},
        {"abc", "xxabc", 2, 5},
        {"abc$", "abcabc", 3, 7},
        // Bytes, case, `.`, sets.
        {"ABC", "xAbC", 1, 4},
        {"a.", "a", -1, -1},
        {"a.c", "a\nc", 0, 3},
        {"[^a]", "a", -1, -1},
        {"[^a]", "", -1, -1},
        {"[^a]", "ab", 1, 2},
        {"[-a]+", "x-a-", 1, 4},
        {"[a-c-]+", "xb-c", 1, 4},
        {"[\\]]", "a]", 1, 2},
        {"[\\--/]+", "a-./", 1, 4},
        {"[Q-S]", "r", 0, 1},
        {"\\t", "t", 0, 1},
        {"\\t", "T", 0, 1},
        {"\\t", "\t", -1, -1},
        {"[\\t]", "\t", 0, 1},
        {"[\\t]", "t", -1, -1},
        {"\\.", "a.", 1, 2},
        {"\\{a\\}", "{a}", 0, 3},
        {"a\\", "a\\", 0, 2},
        {"\\", "x\\", 1, 2},
        // Abbreviations: one term each, a quantifier applies to the whole of it.
        {"\\d", "x5", 1, 2},
        {"\\D", "x5", 1, 2},
        {"\\z", "ab123c", 2, 5},
        {"\\w", "12ab3", 2, 4},
        {"\\a\\a", "-x1-", 1, 3},
        {"\\c", "1q", 1, 2},
        {"\\h+", "xfF0g", 1, 4},
        {"x\\b*y", "x \t y", 0, 5},
        {"\\q", "say \"hi\" 'no'", 4, 8},
        {"\\q", "'no'", -1, -1},
        {"a\\nb", "a\r\nb", 0, 4},
        {"a\\nb", "a\nb", 0, 3},
        {"a\\nb", "a\rb", 0, 3},
        {"a\\nb", "a\n\rb", -1, -1},
        {"\\y", "xy", 1, 2},
        // Negative look-ahead.
        {"!a.", "ab", 1, 2},
        {"!a.", "aa", -1, -1},
        {"x!y", "xyxz", 2, 3},
        {"a!", "ba", 1, 2},
        // Back-references, case ignored.
        {"{a+}-\\0", "aa-aa", 0, 5},
        {"{a+}-\\0", "aa-a", 1, 4},
        {"{a}\\0", "aA", 0, 2},
        {"{b}?\\0a", "a", 0, 1},
        {"{a\\0}", "a", 0, 1},
        {"{a\\0}+", "aaa", 0, 3},
        // An unmatched closer ends the pattern silently.
        {"ab)cd", "xabq", 1, 3},
        {"ab]cd", "xab", 1, 3},
        {"ab}cd", "xab", 1, 3},
        {"a|)", "a", 0, 0}, // a bar with nothing after it takes its left side away
    };
    for (const MatchCase& c : cases) {
        Outcome o = Search(c.pszPattern, c.pszSubject);
        if (c.nStart < 0) {
            EXPECT_FALSE(o.bMatched) << c.pszPattern << " on " << c.pszSubject;
            continue;
        }
        EXPECT_TRUE(o.bMatched) << c.pszPattern << " on " << c.pszSubject;
        EXPECT_EQ(o.nStart, c.nStart) << c.pszPattern << " on " << c.pszSubject;
        EXPECT_EQ(o.nEnd, c.nEnd) << c.pszPattern << " on " << c.pszSubject;
    }
}

TEST(PatternTest, GroupsReportTheirLastRepetition) {
    struct Case {
        const char* pszPattern;
        const char* pszSubject;
        std::vector<std::pair<long, long>> groups;
    } cases[] = {
        {"{[ab]}*", "abba", {{3, 4}}},
        {"{a}+", "aaa", {{2, 3}}},   // both copies of the `+` are group 0
        {"{.}+?x", "abx", {{1, 2}}}, // the lazy copy too
        {"({a}|{b})+", "ab", {{0, 1}, {1, 2}}},
        {"({a}|{b})+", "aba", {{2, 3}, {1, 2}}},
        {"{x}?a", "a", {{-1, -1}}}, // never matched: null
        {"{a}{b}?{c}", "ac", {{0, 1}, {-1, -1}, {1, 2}}},
        {"{a{b}}", "ab", {{0, 2}, {1, 2}}},
        {"!{a}b", "b", {{-1, -1}}}, // the look-ahead's group failed and was put back
        {"{a*}b", "b", {{0, 0}}},   // an empty capture is not a null one
    };
    for (const Case& c : cases) {
        Outcome o = Search(c.pszPattern, c.pszSubject);
        ASSERT_TRUE(o.bMatched) << c.pszPattern;
        EXPECT_EQ(o.groups, c.groups) << c.pszPattern << " on " << c.pszSubject;
    }
}

TEST(PatternTest, CompileErrors) {
    static const std::string kDeep(300, '(');
    struct Case {
        const char* pszPattern;
        int32_t nError;
    } cases[] = {
        {"{a", CPattern::ErrNoCloseBrace},
        {"{a)", CPattern::ErrNoCloseBrace},
        {"(a", CPattern::ErrNoCloseParen},
        {"((a)", CPattern::ErrNoCloseParen},
        {"[a-]", CPattern::ErrNoCloseBracket},
        {"[a-", CPattern::ErrNoCloseBracket},
        {"[abc", CPattern::ErrNoCloseBracket},
        {"[a\\", CPattern::ErrNoCloseBracket},
        {"[]", CPattern::ErrEmptySet},
        {"[^]", CPattern::ErrEmptySet},
        {"{a}{b}{c}\\3", CPattern::ErrNoSuchGroup},
        {"\\0{a}", CPattern::ErrNoSuchGroup},
        {"{a}\\99999999999999999999", CPattern::ErrNoSuchGroup},
        {"[z-a]", CPattern::ErrReversedRange},
        {"(a*)*", CPattern::ErrEmptyRepeat},
        {"(a?)+", CPattern::ErrEmptyRepeat},
        {"(a*)*?", CPattern::ErrEmptyRepeat},
        {"(a|b*)+?", CPattern::ErrEmptyRepeat},
        {"(!a)*", 0}, // a look-ahead can be empty exactly as its operand can
        {"(!a*)*", CPattern::ErrEmptyRepeat},
        {"{}*", 0}, // an empty group does not count as empty
        {"(a*)?", 0},
        {"(a*)??", 0},
        {kDeep.c_str(), CPattern::ErrOutOfMemory}, // nested too deeply
    };
    for (const Case& c : cases) {
        CPattern pattern;
        EXPECT_EQ(pattern.Compile(c.pszPattern), c.nError) << c.pszPattern;
        EXPECT_EQ(pattern.GetError(), c.nError) << c.pszPattern;
        CPatternMatch match;
        if (c.nError) {
            EXPECT_FALSE(pattern.Search("a", &match)) << c.pszPattern;
            EXPECT_EQ(pattern.GetProgramSize(), 0u) << c.pszPattern;
        }
    }
}

TEST(PatternTest, NestedPlusCopiesStopAtTheProgramLimit) {
    // Each `+` copies its operand, so this asks for 2^40 instructions.
    std::string pattern = "a";
    for (int i = 0; i < 40; ++i)
        pattern = "(" + pattern + ")+";
    CPattern p;
    EXPECT_EQ(p.Compile(pattern.c_str()), CPattern::ErrOutOfMemory);
    // Twelve levels are fine and still match.
    pattern = "a";
    for (int i = 0; i < 12; ++i)
        pattern = "(" + pattern + ")+";
    EXPECT_EQ(Search((pattern + "b").c_str(), "xaaab").nStart, 1);
}

TEST(PatternTest, SearchWithoutAUsableProgramFindsNothing) {
    CPattern never;
    CPatternMatch match;
    EXPECT_FALSE(never.Search("a", &match));
    CPattern p;
    EXPECT_EQ(p.Compile("a"), 0);
    EXPECT_FALSE(p.Search("a", nullptr));
    EXPECT_TRUE(p.Search("a", &match));
    EXPECT_NE(p.Compile("{a"), 0);
    EXPECT_FALSE(p.Search("a", &match));
    EXPECT_EQ(match.m_pMatchStart, nullptr);
    // Compiling again replaces the program.
    EXPECT_EQ(p.Compile("b"), 0);
    EXPECT_FALSE(p.Search("a", &match));
    EXPECT_TRUE(p.Search("ab", &match));
}

TEST(PatternTest, SuccessiveSearchesCollectEveryCookie) {
    const std::string headers = "Set-Cookie: a=1\r\nX: y\r\nset-cookie:\tb=2; Path=/\r\n\r\n";
    CPattern p;
    ASSERT_EQ(p.Compile("Set-Cookie:\\b*{.+?}\\n"), 0);
    CPatternMatch match;
    ASSERT_TRUE(match.ReserveStack(256));
    std::vector<std::string> found;
    const char* pszAt = headers.c_str();
    const char* pEnd = nullptr;
    while (*pszAt && p.Search(pszAt, &match, &pEnd)) {
        const PatternGroup* g = match.GetGroup(0);
        found.emplace_back(g->m_pStart, g->m_pEnd);
        pszAt = pEnd;
    }
    EXPECT_EQ(found, (std::vector<std::string>{"a=1", "b=2; Path=/"}));
    EXPECT_EQ(match.GetStackCapacity(), 256u); // the reservation was enough
}

TEST(PatternTest, RunawayStackEndsTheSearchAndLeavesNothingBehind) {
    // A lazy loop around an empty group pushes for ever when what follows it fails.
    CPattern runaway;
    ASSERT_EQ(runaway.Compile("()+?xy"), 0);
    CPatternMatch match;
    ASSERT_TRUE(match.ReserveStack(256));
    match.m_nStackLimit = 1 << 16;
    EXPECT_FALSE(runaway.Search("xzyxy", &match));
    EXPECT_TRUE(match.IsOutOfStack());
    EXPECT_EQ(match.m_pMatchStart, nullptr);
    EXPECT_EQ(match.GetStackCapacity(), 256u);

    // The same state serves the next search as if new.
    CPattern location;
    ASSERT_EQ(location.Compile("Location: \\b*{.+?}\\n"), 0);
    const char* pszSubject = "Location: /x\r\n";
    ASSERT_TRUE(location.Search(pszSubject, &match));
    EXPECT_FALSE(match.IsOutOfStack());
    EXPECT_EQ(match.m_nGroups, 1u);
    EXPECT_EQ(std::string(match.GetGroup(0)->m_pStart, match.GetGroup(0)->m_pEnd), "/x");

    // Where the loop is not needed the same pattern matches at once.
    EXPECT_TRUE(runaway.Search("xy", &match));
}

TEST(PatternTest, EndlessBacktrackingEndsTheSearch) {
    struct Case {
        const char* pszPattern;
        const char* pszEndless; // a subject on which the search would not end by itself
        const char* pszMatching;
    } cases[] = {
        {"!a*?bc", "bdc", "bc"},    // a lazy loop around a look-ahead, pushing nothing
        {"{}\\0*?xy", "xzy", "xy"}, // around a back-reference to an empty group
        {"(a+)+bc", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaabdc", "abc"}, // 2^40 ways to fail
    };
    for (const Case& c : cases) {
        CPattern pattern;
        ASSERT_EQ(pattern.Compile(c.pszPattern), 0) << c.pszPattern;
        CPatternMatch match;
        match.m_nStepLimit = 1 << 16;
        EXPECT_FALSE(pattern.Search(c.pszEndless, &match)) << c.pszPattern;
        EXPECT_TRUE(match.IsRunaway()) << c.pszPattern;
        EXPECT_FALSE(match.IsOutOfStack()) << c.pszPattern;
        EXPECT_TRUE(pattern.Search(c.pszMatching, &match)) << c.pszPattern;
        EXPECT_FALSE(match.IsRunaway()) << c.pszPattern;
    }
}

} // namespace
