#pragma once
// The pattern matcher that picks values out of HTTP response headers and finds tags in bodies.
//
// A small backtracking regular-expression engine over 8-bit, NUL-terminated text. A pattern is
// compiled once into a flat list of instructions for a stack machine (CPattern::Compile); a
// search runs that list over a subject and reports the leftmost match and its capture groups
// (CPattern::Search). Matching ignores the case of the ASCII letters A to Z; every position
// reported refers to the caller's own, unchanged subject.
//
// The language, briefly: braces capture (groups numbered from 0 by their opening brace),
// parentheses only group; `|` chooses between the single atoms on either side of it; `*`, `+`,
// `?` repeat greedily and `*?`, `+?`, `??` lazily; `[...]` and `[^...]` are byte sets with ranges
// (`\t` is a tab inside a set); `!X` is a negative look-ahead; `\` and digits is a
// back-reference; `\` and a letter of the table a b c d h n q w z is an abbreviation (`\b` a blank,
// `\n` a line break, `\d` a digit...), `\` and anything else that byte; `^` first anchors the match
// at the subject's start, `$` last matches the subject's end.
//
// Nothing here throws; running out of memory is reported as a compile error or a failed search.

#include <cstddef>
#include <cstdint>

// One instruction of a compiled pattern. InSet and NotInSet are followed by two records whose
// 32 bytes hold a 256-bit set: byte value b is a member when bit (b & 7) of set byte (b >> 3)
// is 1 (PatternSetHas reads it).
struct PatternOp {
    enum Code : int32_t {
        Nop = 0,
        GroupOpen = 1,
        GroupClose = 2,
        Char = 3,
        AnyChar = 4,
        InSet = 5,
        NotInSet = 6,
        Goto = 13,
        SavePos = 14,
        RestorePos = 15,
        Enter = 16,
        Leave = 17,
        SaveSlot = 20,
        RestoreSlot = 21,
        MarkPos = 22,
        MarkDepth = 23,
        ResetPos = 24,
        ResetDepth = 25,
        LeaveIfStuck = 26,
        BackRef = 27,
        Halt = 28,
        NextStart = 29,
        Accept = 30,
        GroupSave = 31,
        GroupRestore = 32,
    };

    int32_t m_nOp;
    uint32_t m_nUnused; // always 0; spelled out so that a set record has no padding bytes
    uint64_t m_nOperand;
};
static_assert(sizeof(PatternOp) == 16, "two records must hold exactly a 256-bit set");

// Whether byte b is in the set held by the two records that follow an InSet or NotInSet.
bool PatternSetHas(const PatternOp* pSetRecords, unsigned char b);

// Where one capture group matched in the caller's subject; both null until it has matched.
struct PatternGroup {
    const char* m_pStart;
    const char* m_pEnd; // exclusive
};

// The state of one search, owned by the caller and reusable from one search to the next. The
// backtracking stack keeps its capacity between searches, so a caller that reserves it once
// searches without growing it; the group and slot tables are kept likewise.
class CPatternMatch {
public:
    // The stack never grows past this many entries (32 MiB); a search that would need more
    // ends without a match. Some patterns (a lazy loop around an empty group) push for ever.
    static constexpr uint64_t kDefaultStackLimit = uint64_t(1) << 22;
    // Nor does a search take more than this many backtracking steps (failures and jumps back;
    // about a second): a lazy loop around a look-ahead loops for ever without pushing, and some
    // patterns backtrack exponentially. The program's own patterns need a few per subject byte.
    static constexpr uint64_t kDefaultStepLimit = uint64_t(1) << 28;

    CPatternMatch() = default;
    ~CPatternMatch();
    CPatternMatch(const CPatternMatch&) = delete;
    CPatternMatch& operator=(const CPatternMatch&) = delete;

    // Makes room for nEntries stack entries (entry 0 is never used). False when memory is short.
    bool ReserveStack(size_t nEntries);
    size_t GetStackCapacity() const { return m_nStackSize; }

    // Group nGroup of the last search (both bounds null after a failed search), or null when the
    // pattern has no such group.
    const PatternGroup* GetGroup(uint32_t nGroup) const {
        return nGroup < m_nGroups ? &m_pGroups[nGroup] : nullptr;
    }
    // Whether the last search ended because the stack limit was reached (then it found nothing).
    bool IsOutOfStack() const { return m_bOutOfStack; }
    // Whether it ended at the stack limit or the step limit (then it found nothing).
    bool IsRunaway() const { return m_bOutOfStack || m_bOutOfSteps; }

    uint32_t m_nGroups = 0;              // entries of the group table
    const char* m_pMatchStart = nullptr; // where the reported match begins
    const char* m_pMatchEnd = nullptr;   // where it ends (exclusive)
    uint64_t* m_pSlots = nullptr;        // one per slot of the pattern
    PatternGroup* m_pGroups = nullptr;   // one per capture group
    uint64_t* m_pStack = nullptr;        // backtracking stack; entry 0 is never used
    uint64_t m_nDepth = 0;               // index of the top entry; 0 when empty

    uint64_t m_nStackLimit = kDefaultStackLimit;
    uint64_t m_nStepLimit = kDefaultStepLimit;

private:
    friend class CPattern;
    friend class CPatternSearch;
    size_t m_nStackSize = 0;
    uint32_t m_nSlotCapacity = 0;
    uint32_t m_nGroupCapacity = 0;
    bool m_bOutOfStack = false;
    bool m_bOutOfSteps = false;
};

// A compiled pattern. Compile it once, then search any number of subjects with it; a search only
// reads the pattern, so one compiled pattern may serve several threads, each with its own
// CPatternMatch.
class CPattern {
public:
    enum Error : int32_t {
        ErrNone = 0,
        ErrOutOfMemory = 1,     // also: a pattern too deeply nested or too large once compiled
        ErrNoCloseBrace = 2,    // a `{` group not closed by `}`
        ErrNoCloseParen = 3,    // a `(` group not closed by `)`
        ErrNoCloseBracket = 4,  // a set not closed by `]`, or a range with no end byte
        ErrBadAbbreviation = 5, // an abbreviation's expansion failed to compile
        ErrEmptySet = 6,        // `[]` or `[^]`
        ErrNoSuchGroup = 7,     // a back-reference to a group not opened before it
        ErrReversedRange = 8,   // a range in a set that ends below its start
        ErrEmptyRepeat = 9,     // `*`, `+`, `*?` or `+?` on something that can match nothing
    };

    CPattern() = default;
    ~CPattern();
    CPattern(const CPattern&) = delete;
    CPattern& operator=(const CPattern&) = delete;

    // Discards any earlier program and compiles pszPattern (NUL-terminated). Returns the error
    // code, 0 on success; after a failure the pattern finds nothing.
    int32_t Compile(const char* pszPattern);

    // Finds the leftmost match in pszSubject (NUL-terminated). pMatch receives the match and its
    // groups as positions in pszSubject; without it the result is false. ppEnd, when given,
    // receives the position just after the match (on failure, where the search stopped). A
    // match of `$` consumes the terminating NUL, so its end lies one past it.
    bool Search(const char* pszSubject, CPatternMatch* pMatch, const char** ppEnd = nullptr) const;

    int32_t GetError() const { return m_nError; }
    uint32_t GetGroupCount() const { return m_nGroups; }
    uint32_t GetSlotCount() const { return m_nSlots; }
    // The compiled program, read-only (empty until a compilation succeeded).
    const PatternOp* GetProgram() const { return m_pOps; }
    size_t GetProgramSize() const { return m_nOps; }

    // A search skips attempts that cannot match (by the byte a match must begin with, and by a
    // byte a match must contain). Switching that off runs every attempt on the machine alone;
    // the results are the same (unless a skipped attempt would have run away), which the tests
    // and fuzz targets check.
    void SetShortcuts(bool bOn) { m_bShortcuts = bOn; }

private:
    friend class CPatternCompiler;
    friend class CPatternSearch;

    int32_t m_nError = 0;
    PatternOp* m_pOps = nullptr;
    size_t m_nOps = 0;
    size_t m_nOpsCapacity = 0;
    uint32_t m_nGroups = 0;
    uint32_t m_nSlots = 0;
    bool m_bCaseSensitive = true; // every compilation clears it: searches lowercase the subject

    // What the compiler learnt for the shortcuts.
    bool m_bShortcuts = true;
    bool m_bHasFirstSet = false;  // a match must begin with a byte of m_firstSet
    bool m_bHasNeededSet = false; // a match must contain a byte of m_neededSet
    int m_nFirstByte = -1;        // the first set's only member, when it has one
    unsigned char m_firstSet[32] = {};
    unsigned char m_neededSet[32] = {};
    uint32_t m_nLiteral = 0; // when 2 or more: every match begins with these bytes
    unsigned char m_literal[32] = {};
    unsigned char m_shift[256] = {}; // Horspool's skip table for m_literal
};
