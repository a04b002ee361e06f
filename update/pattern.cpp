#include "update/pattern.h"

#include <cstring>
#include <new>

namespace {

// A compiled program larger than this (16 MiB) is refused: nested `+` copies their operand, so
// a short pattern can otherwise ask for more memory than the machine has.
constexpr size_t kMaxOps = size_t(1) << 20;
// Groups, look-aheads and chained bars nest the compiler's recursion; this keeps it well inside
// a thread's stack.
constexpr int kMaxNesting = 256;

inline unsigned char Lower(unsigned char c) {
    return static_cast<unsigned char>(unsigned(c - 'A') < 26u ? c + ('a' - 'A') : c);
}

struct ByteSet {
    unsigned char m_bits[32] = {};

    void Add(unsigned c) { m_bits[c >> 3] |= static_cast<unsigned char>(1u << (c & 7)); }
    bool Has(unsigned c) const { return (m_bits[c >> 3] >> (c & 7)) & 1u; }
    void AddAll(const ByteSet& other) {
        for (int i = 0; i < 32; ++i)
            m_bits[i] |= other.m_bits[i];
    }
    int Count() const {
        int n = 0;
        for (unsigned c = 0; c < 256; ++c)
            n += Has(c);
        return n;
    }
};

ByteSet AllButNul() {
    ByteSet s;
    for (unsigned c = 1; c < 256; ++c)
        s.Add(c);
    return s;
}

// The abbreviations, in lookup order. The texts are compiled as they stand (not lowercased), and
// only their first term is used: q therefore matches double-quoted strings only.
struct Abbreviation {
    char m_cLetter;
    const char* m_pszText;
};
const Abbreviation kAbbreviations[] = {
    {'a', "([a-zA-Z0-9])"},
    {'b', "([ \\t])"},
    {'c', "([a-zA-Z])"},
    {'d', "([0-9])"},
    {'h', "([0-9a-fA-F])"},
    {'n', "(\r|(\r?\n))"},
    {'q', "(\"[^\"]*\")|('[^']*')"},
    {'w', "([a-zA-Z]+)"},
    {'z', "([0-9]+)"},
};

bool IsTarget(int32_t op) {
    return op == PatternOp::Goto || op == PatternOp::Enter;
}

bool IsSlotOp(int32_t op) {
    switch (op) {
    case PatternOp::SaveSlot:
    case PatternOp::RestoreSlot:
    case PatternOp::MarkPos:
    case PatternOp::MarkDepth:
    case PatternOp::ResetPos:
    case PatternOp::ResetDepth:
    case PatternOp::LeaveIfStuck:
        return true;
    default:
        return false;
    }
}

template <class T>
bool GrowTable(T*& p, uint32_t& nCapacity, uint32_t nWanted) {
    if (nWanted <= nCapacity)
        return true;
    T* pNew = new (std::nothrow) T[nWanted];
    if (!pNew)
        return false;
    delete[] p;
    p = pNew;
    nCapacity = nWanted;
    return true;
}

} // namespace

bool PatternSetHas(const PatternOp* pSetRecords, unsigned char b) {
    const unsigned char* pBits = reinterpret_cast<const unsigned char*>(pSetRecords);
    return (pBits[b >> 3] >> (b & 7)) & 1u;
}

// ---------------------------------------------------------------------------------------------
// Compilation: recursive descent over the lowercased pattern. Each step appends instructions and
// says where its code starts (-1 when it compiled nothing). The first error set stops everything.

// What one compiled piece is. Two notions of "empty" live side by side: the language's own rule
// (an empty group counts as not able to be empty), which decides ErrEmptyRepeat, and whether the
// code really can match without consuming, which together with the possible first bytes lets a
// search skip attempts that cannot succeed.
struct Piece {
    int32_t m_nFirst = -1;
    bool m_bCanBeEmpty = true;
    bool m_bNullable = true;
    ByteSet m_first;
    // Bytes every match of the piece begins with; m_bExact: and nothing else follows them.
    unsigned char m_literal[32] = {};
    uint8_t m_nLiteral = 0;
    bool m_bExact = false;

    void SetLiteral(unsigned char c) {
        m_literal[0] = c;
        m_nLiteral = 1;
        m_bExact = true;
    }
    // Extends an exact literal by what every match of `next` begins with.
    void AppendLiteral(const Piece& next) {
        if (!m_bExact)
            return;
        for (int i = 0; i < next.m_nLiteral; ++i) {
            if (m_nLiteral == sizeof m_literal) {
                m_bExact = false;
                return;
            }
            m_literal[m_nLiteral++] = next.m_literal[i];
        }
        m_bExact = next.m_bExact;
    }
};

class CPatternCompiler {
public:
    explicit CPatternCompiler(CPattern& pattern) : m_pat(pattern) {}

    void Run(const char* pszLowered);

private:
    bool Failed() const { return m_pat.m_nError != 0; }
    void Fail(int32_t nError) {
        if (!m_pat.m_nError)
            m_pat.m_nError = nError;
    }
    size_t Count() const { return m_pat.m_nOps; }
    bool Reserve(size_t nOps);
    size_t Emit(int32_t nOp, uint64_t nOperand = 0);
    void Patch(size_t nIndex, uint64_t nOperand) {
        if (nIndex < m_pat.m_nOps)
            m_pat.m_pOps[nIndex].m_nOperand = nOperand;
    }
    void Relocate(size_t nFrom, size_t nTo, int64_t nTargetDelta, uint64_t nSlotFrom,
                  uint64_t nSlotDelta);
    bool Open(size_t nGap, size_t nAt);
    bool CopyCode(size_t nFrom, size_t nTo, uint64_t nSlotFrom, uint64_t nSlotDelta);

    Piece Sequence();
    Piece Alternative();
    Piece Term();
    Piece Atom();
    Piece Group(bool bCapture);
    Piece LookAhead();
    Piece Escape();
    Piece Set();

    // Counts one level of the compiler's recursion for as long as it lives.
    class CNesting {
    public:
        explicit CNesting(CPatternCompiler& c) : m_c(c) {
            if (++m_c.m_nNesting > kMaxNesting)
                m_c.Fail(CPattern::ErrOutOfMemory);
        }
        ~CNesting() { --m_c.m_nNesting; }
        bool TooDeep() const { return m_c.m_nNesting > kMaxNesting; }

    private:
        CPatternCompiler& m_c;
    };

    CPattern& m_pat;
    const char* m_p = nullptr;
    int m_nNesting = 0;
    // Last top-level piece that must consume a byte from a small set (for the shortcuts).
    bool m_bHaveNeeded = false;
    ByteSet m_needed;
};

bool CPatternCompiler::Reserve(size_t nOps) {
    if (nOps <= m_pat.m_nOpsCapacity)
        return true;
    if (nOps > kMaxOps) {
        Fail(CPattern::ErrOutOfMemory);
        return false;
    }
    size_t nNew = m_pat.m_nOpsCapacity ? m_pat.m_nOpsCapacity * 2 : 64;
    while (nNew < nOps)
        nNew *= 2;
    if (nNew > kMaxOps)
        nNew = kMaxOps;
    PatternOp* pNew = new (std::nothrow) PatternOp[nNew];
    if (!pNew) {
        Fail(CPattern::ErrOutOfMemory);
        return false;
    }
    if (m_pat.m_nOps)
        std::memcpy(pNew, m_pat.m_pOps, m_pat.m_nOps * sizeof(PatternOp));
    delete[] m_pat.m_pOps;
    m_pat.m_pOps = pNew;
    m_pat.m_nOpsCapacity = nNew;
    return true;
}

size_t CPatternCompiler::Emit(int32_t nOp, uint64_t nOperand) {
    size_t n = m_pat.m_nOps;
    if (Failed() || !Reserve(n + 1))
        return n;
    m_pat.m_pOps[n] = PatternOp{nOp, 0, nOperand};
    m_pat.m_nOps = n + 1;
    return n;
}

// Shifts the jump targets of the code in [nFrom, nTo) by nTargetDelta and renumbers its slots
// from nSlotFrom on by nSlotDelta: the code then is exactly what compiling the same text again at
// its new place, with the slot counter moved on, would have produced.
void CPatternCompiler::Relocate(size_t nFrom, size_t nTo, int64_t nTargetDelta, uint64_t nSlotFrom,
                                uint64_t nSlotDelta) {
    PatternOp* pOps = m_pat.m_pOps;
    for (size_t i = nFrom; i < nTo; ++i) {
        int32_t nOp = pOps[i].m_nOp;
        if (IsTarget(nOp))
            pOps[i].m_nOperand = uint64_t(int64_t(pOps[i].m_nOperand) + nTargetDelta);
        else if (IsSlotOp(nOp) && pOps[i].m_nOperand >= nSlotFrom)
            pOps[i].m_nOperand += nSlotDelta;
        else if (nOp == PatternOp::InSet || nOp == PatternOp::NotInSet)
            i += 2; // the set records are data
    }
}

// Makes a gap of nGap instructions at nAt, moving the code after it (whose targets are relocated).
bool CPatternCompiler::Open(size_t nGap, size_t nAt) {
    size_t nOld = Count();
    if (Failed() || !Reserve(nOld + nGap))
        return false;
    PatternOp* pOps = m_pat.m_pOps;
    std::memmove(pOps + nAt + nGap, pOps + nAt, (nOld - nAt) * sizeof(PatternOp));
    m_pat.m_nOps = nOld + nGap;
    Relocate(nAt + nGap, nOld + nGap, int64_t(nGap), UINT64_MAX, 0);
    return true;
}

// Appends a copy of the code in [nFrom, nTo), as if its text were compiled again here.
bool CPatternCompiler::CopyCode(size_t nFrom, size_t nTo, uint64_t nSlotFrom, uint64_t nSlotDelta) {
    size_t nAt = Count();
    size_t nLength = nTo - nFrom;
    if (Failed() || !Reserve(nAt + nLength))
        return false;
    std::memcpy(m_pat.m_pOps + nAt, m_pat.m_pOps + nFrom, nLength * sizeof(PatternOp));
    m_pat.m_nOps = nAt + nLength;
    Relocate(nAt, nAt + nLength, int64_t(nAt) - int64_t(nFrom), nSlotFrom, nSlotDelta);
    return true;
}

void CPatternCompiler::Run(const char* pszLowered) {
    m_p = pszLowered;
    bool bAnchored = *m_p == '^';
    Emit(PatternOp::Enter, 0);
    Emit(bAnchored ? PatternOp::Halt : PatternOp::NextStart);
    if (bAnchored)
        ++m_p;
    Piece whole = Sequence();
    if (Failed())
        return;
    Patch(0, 2);
    Emit(PatternOp::Accept);
    if (Failed())
        return;

    if (!whole.m_bNullable) {
        m_pat.m_bHasFirstSet = true;
        std::memcpy(m_pat.m_firstSet, whole.m_first.m_bits, 32);
        if (whole.m_first.Count() == 1)
            for (unsigned c = 1; c < 256; ++c)
                if (whole.m_first.Has(c))
                    m_pat.m_nFirstByte = int(c);
    }
    if (whole.m_nLiteral >= 2) {
        // Horspool's table: how far an attempt may move on, by the byte under the literal's end.
        uint32_t n = whole.m_nLiteral;
        m_pat.m_nLiteral = n;
        std::memcpy(m_pat.m_literal, whole.m_literal, n);
        std::memset(m_pat.m_shift, int(n), sizeof m_pat.m_shift);
        for (uint32_t i = 0; i + 1 < n; ++i)
            m_pat.m_shift[whole.m_literal[i]] = static_cast<unsigned char>(n - 1 - i);
    }
    if (m_bHaveNeeded) {
        m_pat.m_bHasNeededSet = true;
        std::memcpy(m_pat.m_neededSet, m_needed.m_bits, 32);
    }
}

// Alternatives one after another, until one compiles nothing (end of text, `)`, `]`, `}`, or an
// error).
Piece CPatternCompiler::Sequence() {
    Piece seq;
    seq.m_bExact = true; // nothing yet: exactly the empty text
    CNesting nesting(*this);
    if (nesting.TooDeep())
        return seq;
    bool bTopLevel = m_nNesting == 1;
    for (;;) {
        Piece alt = Alternative();
        if (alt.m_nFirst < 0 || Failed())
            break;
        if (seq.m_nFirst < 0)
            seq.m_nFirst = alt.m_nFirst;
        seq.m_bCanBeEmpty = seq.m_bCanBeEmpty && alt.m_bCanBeEmpty;
        if (seq.m_bNullable)
            seq.m_first.AddAll(alt.m_first);
        seq.m_bNullable = seq.m_bNullable && alt.m_bNullable;
        seq.AppendLiteral(alt);
        if (bTopLevel && !alt.m_bNullable && alt.m_first.Count() <= 32) {
            m_bHaveNeeded = true;
            m_needed = alt.m_first;
        }
    }
    return seq;
}

// One term, or `A|B` where A is that term and B a further alternative:
//   SavePos; Enter A; RestorePos; Goto B; A; Goto end; B.
// Without a bar the term stands alone: its code is moved back over the four instructions of the
// frame, which is what compiling it again plainly would give.
Piece CPatternCompiler::Alternative() {
    size_t nStart = Count();
    uint32_t nGroups = m_pat.m_nGroups, nSlots = m_pat.m_nSlots;
    Emit(PatternOp::SavePos);
    Emit(PatternOp::Enter, nStart + 4);
    Emit(PatternOp::RestorePos);
    Emit(PatternOp::Goto, 0);
    Piece left = Term();
    if (Failed())
        return Piece{};
    if (left.m_nFirst < 0 || *m_p != '|') {
        size_t nEnd = Count();
        std::memmove(m_pat.m_pOps + nStart, m_pat.m_pOps + nStart + 4,
                     (nEnd - nStart - 4) * sizeof(PatternOp));
        m_pat.m_nOps = nEnd - 4;
        Relocate(nStart, nEnd - 4, -4, UINT64_MAX, 0);
        if (left.m_nFirst >= 0)
            left.m_nFirst = int32_t(nStart);
        return left;
    }
    size_t nGotoEnd = Emit(PatternOp::Goto, 0);
    ++m_p;
    Piece right;
    {
        CNesting nesting(*this);
        if (!nesting.TooDeep())
            right = Alternative();
    }
    if (Failed())
        return Piece{};
    if (right.m_nFirst < 0) {
        m_pat.m_nOps = nStart;
        m_pat.m_nGroups = nGroups;
        m_pat.m_nSlots = nSlots;
        return Piece{};
    }
    Patch(nStart + 3, uint64_t(right.m_nFirst));
    Patch(nGotoEnd, Count());
    Piece alt;
    alt.m_nFirst = int32_t(nStart);
    alt.m_bCanBeEmpty = left.m_bCanBeEmpty || right.m_bCanBeEmpty;
    alt.m_bNullable = left.m_bNullable || right.m_bNullable;
    alt.m_first = left.m_first;
    alt.m_first.AddAll(right.m_first);
    return alt;
}

// An atom and its quantifier, if any. The atom's code is compiled once and then moved or copied
// into the loop; the copies get the slot numbers a second compilation would have given them.
Piece CPatternCompiler::Term() {
    size_t nAtom = Count();
    uint32_t nSlots0 = m_pat.m_nSlots;
    Piece x = Atom();
    if (x.m_nFirst < 0 || Failed())
        return x;
    char cQuant = *m_p;
    if (cQuant != '*' && cQuant != '+' && cQuant != '?')
        return x;
    bool bLazy = m_p[1] == '?';
    m_p += bLazy ? 2 : 1;
    if (cQuant != '?' && x.m_bCanBeEmpty) {
        Fail(CPattern::ErrEmptyRepeat);
        return Piece{};
    }
    size_t nAtomEnd = Count();
    uint32_t nSlots1 = m_pat.m_nSlots; // after the atom's own slots
    uint32_t nAtomSlots = nSlots1 - nSlots0;

    Piece term;
    term.m_nFirst = int32_t(nAtom);
    term.m_first = x.m_first;
    term.m_bCanBeEmpty = cQuant == '+' ? x.m_bCanBeEmpty : true;
    term.m_bNullable = cQuant == '+' ? x.m_bNullable : true;
    if (cQuant == '+') {
        std::memcpy(term.m_literal, x.m_literal, x.m_nLiteral);
        term.m_nLiteral = x.m_nLiteral;
    }

    if (cQuant == '+') {
        // The atom stays as the mandatory first repetition; the loop gets a second copy whose
        // groups have the same numbers.
        size_t nLoop = nAtomEnd;
        if (!bLazy) {
            uint64_t m = m_pat.m_nSlots++;
            Emit(PatternOp::SaveSlot, m);
            Emit(PatternOp::MarkPos, m);
            Emit(PatternOp::SavePos);
            Emit(PatternOp::Enter, nLoop + 7);
            Emit(PatternOp::RestorePos);
            Emit(PatternOp::RestoreSlot, m);
            size_t nGoto = Emit(PatternOp::Goto, 0);
            CopyCode(nAtom, nAtomEnd, nSlots0, uint64_t(nSlots1) + 1 - nSlots0);
            m_pat.m_nSlots += nAtomSlots;
            Emit(PatternOp::LeaveIfStuck, m);
            Emit(PatternOp::MarkPos, m);
            Emit(PatternOp::Goto, nLoop);
            Patch(nGoto, Count());
        } else {
            size_t nEnter = Emit(PatternOp::Enter, 0);
            CopyCode(nAtom, nAtomEnd, nSlots0, nAtomSlots);
            m_pat.m_nSlots += nAtomSlots;
            Emit(PatternOp::Goto, nLoop);
            Patch(nEnter, Count());
        }
        return Failed() ? Piece{} : term;
    }

    if (!bLazy) {
        // X* and X?: the atom moves behind the loop head and its slots behind the loop's slot.
        if (!Open(7, nAtom))
            return Piece{};
        uint64_t m = nSlots0;
        Relocate(nAtom + 7, Count(), 0, nSlots0, 1);
        m_pat.m_nSlots = nSlots1 + 1;
        PatternOp* pOps = m_pat.m_pOps;
        pOps[nAtom + 0] = PatternOp{PatternOp::SaveSlot, 0, m};
        pOps[nAtom + 1] = PatternOp{PatternOp::MarkPos, 0, m};
        pOps[nAtom + 2] = PatternOp{PatternOp::SavePos, 0, 0};
        pOps[nAtom + 3] = PatternOp{PatternOp::Enter, 0, nAtom + 7};
        pOps[nAtom + 4] = PatternOp{PatternOp::RestorePos, 0, 0};
        pOps[nAtom + 5] = PatternOp{PatternOp::RestoreSlot, 0, m};
        pOps[nAtom + 6] = PatternOp{PatternOp::Goto, 0, 0};
        Emit(PatternOp::LeaveIfStuck, m);
        Emit(PatternOp::MarkPos, m);
        if (cQuant == '*')
            Emit(PatternOp::Goto, nAtom);
        Patch(nAtom + 6, Count());
    } else {
        // X*?: Enter past the loop; X; Goto back to the Enter. X??: Enter past X; X.
        if (!Open(1, nAtom))
            return Piece{};
        m_pat.m_pOps[nAtom] = PatternOp{PatternOp::Enter, 0, 0};
        if (cQuant == '*')
            Emit(PatternOp::Goto, nAtom);
        Patch(nAtom, Count());
    }
    return Failed() ? Piece{} : term;
}

Piece CPatternCompiler::Atom() {
    unsigned char c = static_cast<unsigned char>(*m_p);
    Piece atom;
    switch (c) {
    case 0:
    case ')':
    case ']':
    case '}':
        return atom; // ends the current sequence
    case '[':
        return Set();
    case '{':
        return Group(true);
    case '(':
        return Group(false);
    case '!':
        return LookAhead();
    case '\\':
        return Escape();
    case '.':
        ++m_p;
        atom.m_nFirst = int32_t(Emit(PatternOp::AnyChar));
        atom.m_first = AllButNul();
        break;
    default:
        ++m_p;
        // `$` as the last byte matches the terminating NUL; elsewhere it is itself.
        if (c == '$' && *m_p == 0)
            c = 0;
        atom.m_nFirst = int32_t(Emit(PatternOp::Char, c));
        atom.m_first.Add(c);
        if (c)
            atom.SetLiteral(c);
        break;
    }
    atom.m_bCanBeEmpty = false;
    atom.m_bNullable = false;
    return atom;
}

// {X}: GroupSave g; GroupOpen g; Enter X; GroupRestore g; Leave; X; GroupClose g.
// (X):  Enter X; Leave; X.
// A failure inside X, or anywhere after the group, comes back through the Enter; the capture
// then gets its earlier bounds back and the failure is passed on.
Piece CPatternCompiler::Group(bool bCapture) {
    ++m_p;
    size_t nStart = Count();
    uint64_t g = 0;
    if (bCapture) {
        g = m_pat.m_nGroups++;
        Emit(PatternOp::GroupSave, g);
        Emit(PatternOp::GroupOpen, g);
        Emit(PatternOp::Enter, nStart + 5);
        Emit(PatternOp::GroupRestore, g);
    } else {
        Emit(PatternOp::Enter, nStart + 2);
    }
    Emit(PatternOp::Leave);
    Piece inner = Sequence();
    if (Failed())
        return Piece{};
    if (inner.m_nFirst < 0)
        Emit(PatternOp::Nop);
    if (*m_p != (bCapture ? '}' : ')')) {
        Fail(bCapture ? CPattern::ErrNoCloseBrace : CPattern::ErrNoCloseParen);
        return Piece{};
    }
    ++m_p;
    if (bCapture)
        Emit(PatternOp::GroupClose, g);
    Piece group;
    group.m_nFirst = int32_t(nStart);
    group.m_bCanBeEmpty = inner.m_nFirst >= 0 && inner.m_bCanBeEmpty;
    group.m_bNullable = inner.m_bNullable;
    group.m_first = inner.m_first;
    std::memcpy(group.m_literal, inner.m_literal, inner.m_nLiteral);
    group.m_nLiteral = inner.m_nLiteral;
    group.m_bExact = inner.m_bExact;
    return Failed() ? Piece{} : group;
}

// !X: MarkPos s1; MarkDepth s2; Enter X; ResetPos s1; ResetDepth s2; Goto end;
//     X; ResetPos s1; ResetDepth s2; Leave.
// X failing lands on the first ResetPos: the look-ahead succeeds where it began. X matching
// drops all it pushed and fails. A `!` with nothing after it compiles to nothing.
Piece CPatternCompiler::LookAhead() {
    ++m_p;
    size_t nStart = Count();
    uint32_t nSlots0 = m_pat.m_nSlots;
    uint64_t s1 = m_pat.m_nSlots++;
    uint64_t s2 = m_pat.m_nSlots++;
    Emit(PatternOp::MarkPos, s1);
    Emit(PatternOp::MarkDepth, s2);
    Emit(PatternOp::Enter, nStart + 6);
    Emit(PatternOp::ResetPos, s1);
    Emit(PatternOp::ResetDepth, s2);
    size_t nGoto = Emit(PatternOp::Goto, 0);
    Piece x;
    {
        CNesting nesting(*this);
        if (!nesting.TooDeep())
            x = Atom();
    }
    if (Failed())
        return Piece{};
    if (x.m_nFirst < 0) {
        m_pat.m_nOps = nStart;
        m_pat.m_nSlots = nSlots0;
        return Piece{};
    }
    Emit(PatternOp::ResetPos, s1);
    Emit(PatternOp::ResetDepth, s2);
    Emit(PatternOp::Leave);
    Patch(nGoto, Count());
    Piece look;
    look.m_nFirst = int32_t(nStart);
    look.m_bCanBeEmpty = x.m_bCanBeEmpty;
    look.m_bNullable = true;
    look.m_bExact = true; // consumes nothing, whatever follows
    return Failed() ? Piece{} : look;
}

// \digits: a back-reference. \letter: an abbreviation, or the letter itself. \other: that byte.
// A backslash that ends the pattern stands for itself.
Piece CPatternCompiler::Escape() {
    unsigned char c = static_cast<unsigned char>(m_p[1]);
    Piece atom;
    atom.m_bCanBeEmpty = false;
    if (c == 0) {
        ++m_p;
        atom.m_nFirst = int32_t(Emit(PatternOp::Char, '\\'));
        atom.m_bNullable = false;
        atom.m_first.Add('\\');
        atom.SetLiteral('\\');
        return atom;
    }
    if (c >= '0' && c <= '9') {
        m_p += 1;
        uint64_t n = 0;
        while (*m_p >= '0' && *m_p <= '9') {
            if (n <= UINT32_MAX)
                n = n * 10 + uint64_t(*m_p - '0');
            ++m_p;
        }
        if (n >= m_pat.m_nGroups) {
            Fail(CPattern::ErrNoSuchGroup);
            return Piece{};
        }
        atom.m_nFirst = int32_t(Emit(PatternOp::BackRef, n));
        atom.m_bNullable = true; // the group may have matched nothing, or not yet
        atom.m_first = AllButNul();
        return Failed() ? Piece{} : atom;
    }
    for (const Abbreviation& abbr : kAbbreviations) {
        if (abbr.m_cLetter != char(c))
            continue;
        const char* pResume = m_p + 2;
        m_p = abbr.m_pszText;
        Piece expansion;
        {
            CNesting nesting(*this);
            if (!nesting.TooDeep())
                expansion = Term();
        }
        m_p = pResume;
        if (m_pat.m_nError == CPattern::ErrOutOfMemory)
            return Piece{};
        if (Failed() || expansion.m_nFirst < 0) {
            m_pat.m_nError = CPattern::ErrBadAbbreviation;
            return Piece{};
        }
        expansion.m_bCanBeEmpty = false;
        return expansion;
    }
    m_p += 2;
    atom.m_nFirst = int32_t(Emit(PatternOp::Char, c));
    atom.m_bNullable = false;
    atom.m_first.Add(c);
    atom.SetLiteral(c);
    return Failed() ? Piece{} : atom;
}

// [items] or [^items]: InSet or NotInSet and the two records of the set.
Piece CPatternCompiler::Set() {
    ++m_p;
    bool bNegated = *m_p == '^';
    if (bNegated)
        ++m_p;
    size_t nStart = Emit(bNegated ? PatternOp::NotInSet : PatternOp::InSet);
    Emit(0);
    Emit(0);
    if (Failed())
        return Piece{};
    if (*m_p == ']') {
        Fail(CPattern::ErrEmptySet);
        return Piece{};
    }
    ByteSet set;
    bool bAfterItem = false; // a `-` now makes a range
    unsigned nPrevious = 0;
    for (;;) {
        unsigned c = static_cast<unsigned char>(*m_p);
        if (c == 0) {
            Fail(CPattern::ErrNoCloseBracket);
            return Piece{};
        }
        if (c == ']') {
            ++m_p;
            break;
        }
        if (c == '-' && bAfterItem) {
            unsigned nLast = static_cast<unsigned char>(m_p[1]);
            if (nLast == 0 || nLast == ']') {
                Fail(CPattern::ErrNoCloseBracket);
                return Piece{};
            }
            if (nLast < nPrevious) {
                Fail(CPattern::ErrReversedRange);
                return Piece{};
            }
            for (unsigned b = nPrevious; b <= nLast; ++b)
                set.Add(b);
            m_p += 2;
            bAfterItem = false;
            continue;
        }
        if (c == '\\') {
            unsigned e = static_cast<unsigned char>(m_p[1]);
            if (e == 0) {
                ++m_p; // a lone backslash at the very end: itself, and the set stays open
            } else {
                c = e == 't' ? 9u : e;
                m_p += 2;
            }
        } else {
            ++m_p;
        }
        set.Add(c);
        bAfterItem = true;
        nPrevious = c;
    }
    std::memcpy(&m_pat.m_pOps[nStart + 1], set.m_bits, 32);
    Piece atom;
    atom.m_nFirst = int32_t(nStart);
    atom.m_bCanBeEmpty = false;
    atom.m_bNullable = false;
    for (unsigned b = 1; b < 256; ++b)
        if (set.Has(b) != bNegated)
            atom.m_first.Add(b);
    return atom;
}

// ---------------------------------------------------------------------------------------------

CPattern::~CPattern() {
    delete[] m_pOps;
}

int32_t CPattern::Compile(const char* pszPattern) {
    m_nOps = 0;
    m_nGroups = 0;
    m_nSlots = 0;
    m_nError = 0;
    m_bCaseSensitive = false;
    m_bHasFirstSet = false;
    m_bHasNeededSet = false;
    m_nFirstByte = -1;
    m_nLiteral = 0;
    if (!pszPattern)
        pszPattern = "";
    size_t nLength = std::strlen(pszPattern);
    char* pszLowered = new (std::nothrow) char[nLength + 1];
    if (!pszLowered) {
        m_nError = ErrOutOfMemory;
        return m_nError;
    }
    for (size_t i = 0; i <= nLength; ++i)
        pszLowered[i] = char(Lower(static_cast<unsigned char>(pszPattern[i])));
    CPatternCompiler(*this).Run(pszLowered);
    delete[] pszLowered;
    if (m_nError)
        m_nOps = 0;
    return m_nError;
}

CPatternMatch::~CPatternMatch() {
    delete[] m_pSlots;
    delete[] m_pGroups;
    delete[] m_pStack;
}

bool CPatternMatch::ReserveStack(size_t nEntries) {
    if (nEntries <= m_nStackSize)
        return true;
    uint64_t* pNew = new (std::nothrow) uint64_t[nEntries];
    if (!pNew)
        return false;
    if (m_nStackSize)
        std::memcpy(pNew, m_pStack, m_nStackSize * sizeof(uint64_t));
    delete[] m_pStack;
    m_pStack = pNew;
    m_nStackSize = nEntries;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Search: the stack machine over the lowercased copy of the subject.

namespace {

// A return address pushed by Enter also carries the position of that moment, and a failure that
// comes back through it puts the position back. Every construct but the lazy loops saves and
// restores the position itself, so for them nothing changes; a lazy loop saves none, and without
// this a failed try of what follows it would leave the next repetition to start where that try
// gave up ("x*?yz" would match all of "yxyz").
constexpr unsigned kIndexBits = 21; // programs have fewer than 2^20 instructions
constexpr uint64_t kIndexMask = (uint64_t(1) << kIndexBits) - 1;

inline uint64_t FromPos(const unsigned char* p) {
    return uint64_t(reinterpret_cast<uintptr_t>(p));
}
inline const unsigned char* ToPos(uint64_t v) {
    return reinterpret_cast<const unsigned char*>(uintptr_t(v));
}
inline const unsigned char* AsPos(const char* p) {
    return reinterpret_cast<const unsigned char*>(p);
}
inline const char* AsText(const unsigned char* p) {
    return reinterpret_cast<const char*>(p);
}
// Lowercases A to Z eight bytes at a time: a byte is a capital when its low seven bits reach 'A'
// but not past 'Z' and its high bit is clear; adding 0x20 is then setting bit 5.
void LowerCopy(unsigned char* pTo, const unsigned char* pFrom, size_t n) {
    const uint64_t kOnes = 0x0101010101010101u;
    const uint64_t kHigh = 0x8080808080808080u;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t x;
        std::memcpy(&x, pFrom + i, 8);
        uint64_t low = x & ~kHigh;
        uint64_t atLeastA = low + (0x80 - 'A') * kOnes;
        uint64_t pastZ = low + (0x7F - 'Z') * kOnes;
        uint64_t capital = ~x & (atLeastA ^ pastZ) & kHigh;
        x |= capital >> 2;
        std::memcpy(pTo + i, &x, 8);
    }
    for (; i < n; ++i)
        pTo[i] = Lower(pFrom[i]);
}

inline bool InBits(const unsigned char* pBits, unsigned char c) {
    return (pBits[c >> 3] >> (c & 7)) & 1u;
}

} // namespace

class CPatternSearch {
public:
    enum Outcome { Matched, NoMatch, OutOfStack, OutOfSteps };

    CPatternSearch(const CPattern& pattern, CPatternMatch& match, const unsigned char* pBase,
                   size_t nLength)
        : m_pat(pattern), m_match(match), m_pBase(pBase), m_pNul(pBase + nLength),
          m_nLength(nLength) {}

    Outcome Run();

    const unsigned char* m_pos = nullptr; // where the machine stopped
    const unsigned char* m_pMatchStart = nullptr;

private:
    const unsigned char* LastNeeded();
    bool Viable(const unsigned char*& pAttempt);
    bool FindCandidate(const unsigned char*& pAttempt) const;
    bool Grow();

    const CPattern& m_pat;
    CPatternMatch& m_match;
    const unsigned char* const m_pBase;
    const unsigned char* const m_pNul;
    const size_t m_nLength;
    bool m_bLastNeededKnown = false;
    const unsigned char* m_pLastNeeded = nullptr; // null: no attempt can succeed
    uint64_t m_nDepth = 0;
};

// Attempts beyond the last byte of the needed set cannot succeed (the NUL counts when `$` is
// what is needed). Looked for only once an attempt is about to run, and from the end, where it
// usually lies (a header block ends in a line break).
const unsigned char* CPatternSearch::LastNeeded() {
    if (m_bLastNeededKnown)
        return m_pLastNeeded;
    m_bLastNeededKnown = true;
    m_pLastNeeded = m_pNul;
    if (!m_pat.m_bHasNeededSet)
        return m_pLastNeeded;
    const unsigned char* p = m_pNul;
    while (!InBits(m_pat.m_neededSet, *p)) {
        if (p == m_pBase) {
            m_pLastNeeded = nullptr;
            return m_pLastNeeded;
        }
        --p;
    }
    m_pLastNeeded = p;
    return m_pLastNeeded;
}

// Moves pAttempt on to the first attempt, from where it is, that might succeed: one that begins
// with the literal or a byte of the first set, and lies before the last needed byte. False when
// there is none. An anchored pattern, or an empty subject, has exactly one attempt to judge.
bool CPatternSearch::Viable(const unsigned char*& pAttempt) {
    if (!m_pat.m_bShortcuts)
        return true;
    if (!FindCandidate(pAttempt))
        return false;
    const unsigned char* pLast = LastNeeded();
    return pLast && pAttempt <= pLast;
}

bool CPatternSearch::FindCandidate(const unsigned char*& pAttempt) const {
    if (!m_pat.m_bHasFirstSet)
        return true;
    const bool bAnchored = m_pat.m_pOps[1].m_nOp == PatternOp::Halt;
    if (bAnchored || pAttempt == m_pNul)
        return InBits(m_pat.m_firstSet, *pAttempt);
    const size_t nFrom = size_t(pAttempt - m_pBase);
    size_t nLast = m_nLength - 1; // no attempt starts at the NUL
    // Long literals: Horspool's skipping; short ones: memchr for their first byte, then compare.
    const uint32_t n = m_pat.m_nLiteral;
    if (n >= 2 && n < 4) {
        if (m_nLength < n)
            return false;
        nLast = m_nLength - n;
        for (size_t i = nFrom; i <= nLast; ++i) {
            const void* pHit = std::memchr(m_pBase + i, m_pat.m_literal[0], nLast - i + 1);
            if (!pHit)
                return false;
            i = size_t(static_cast<const unsigned char*>(pHit) - m_pBase);
            if (std::memcmp(m_pBase + i + 1, m_pat.m_literal + 1, n - 1) == 0) {
                pAttempt = m_pBase + i;
                return true;
            }
        }
        return false;
    }
    if (n >= 4) {
        if (m_nLength < n)
            return false;
        nLast = m_nLength - n;
        const unsigned char cLast = m_pat.m_literal[n - 1];
        for (size_t i = nFrom; i <= nLast;) {
            unsigned char c = m_pBase[i + n - 1];
            if (c == cLast && std::memcmp(m_pBase + i, m_pat.m_literal, n - 1) == 0) {
                pAttempt = m_pBase + i;
                return true;
            }
            i += m_pat.m_shift[c];
        }
        return false;
    }
    if (m_pat.m_nFirstByte >= 0) {
        const void* pHit = std::memchr(m_pBase + nFrom, m_pat.m_nFirstByte, nLast - nFrom + 1);
        if (!pHit)
            return false;
        pAttempt = static_cast<const unsigned char*>(pHit);
        return true;
    }
    for (size_t i = nFrom; i <= nLast; ++i) {
        if (InBits(m_pat.m_firstSet, m_pBase[i])) {
            pAttempt = m_pBase + i;
            return true;
        }
    }
    return false;
}

// Grows the stack before a push to index m_nDepth + 1: to 2 × depth + 4 entries, never past the
// limit.
bool CPatternSearch::Grow() {
    uint64_t nIndex = m_nDepth + 1;
    uint64_t nNew = 2 * m_nDepth + 4;
    if (nNew > m_match.m_nStackLimit)
        nNew = m_match.m_nStackLimit;
    if (nIndex >= nNew || nNew > SIZE_MAX / sizeof(uint64_t))
        return false;
    uint64_t* pNew = new (std::nothrow) uint64_t[size_t(nNew)];
    if (!pNew)
        return false;
    if (m_nDepth)
        std::memcpy(pNew + 1, m_match.m_pStack + 1, size_t(m_nDepth) * sizeof(uint64_t));
    delete[] m_match.m_pStack;
    m_match.m_pStack = pNew;
    m_match.m_nStackSize = size_t(nNew);
    return true;
}

CPatternSearch::Outcome CPatternSearch::Run() {
    const unsigned char* pAttempt = m_pBase;
    m_pos = m_pBase;
    m_pMatchStart = m_pBase;
    if (!Viable(pAttempt))
        return NoMatch;

    const PatternOp* const pOps = m_pat.m_pOps;
    const size_t nOps = m_pat.m_nOps;
    PatternGroup* const pGroups = m_match.m_pGroups;
    uint64_t* const pSlots = m_match.m_pSlots;
    const uint32_t nGroups = m_pat.m_nGroups;
    const uint32_t nSlots = m_pat.m_nSlots;
    uint64_t* pStack = m_match.m_pStack;
    uint64_t nCapacity = m_match.m_nStackSize;
    uint64_t nStepsLeft = m_match.m_nStepLimit;
    uint64_t& nDepth = m_nDepth;
    const unsigned char* pos = pAttempt;
    const unsigned char* pMatchStart = pAttempt;
    size_t pc = 0;
    Outcome outcome = NoMatch;

// Pushes v, or ends the search when the stack cannot grow.
#define QD_PUSH(v)                                                                                 \
    do {                                                                                           \
        if (nDepth + 1 >= nCapacity) {                                                             \
            if (!Grow()) {                                                                         \
                outcome = OutOfStack;                                                              \
                goto done;                                                                         \
            }                                                                                      \
            pStack = m_match.m_pStack;                                                             \
            nCapacity = m_match.m_nStackSize;                                                      \
        }                                                                                          \
        pStack[++nDepth] = (v);                                                                    \
    } while (0)
// Pops a value that the program pushed; an empty stack here would mean a broken program.
#define QD_POP_VALUE(var)                                                                          \
    do {                                                                                           \
        if (!nDepth)                                                                               \
            goto done;                                                                             \
        var = pStack[nDepth--];                                                                    \
    } while (0)

    for (;;) {
        if (pc == 0)
            pMatchStart = pos;
        const PatternOp& op = pOps[pc];
        switch (op.m_nOp) {
        case PatternOp::Nop:
            ++pc;
            continue;
        case PatternOp::GroupOpen:
            pGroups[op.m_nOperand].m_pStart = AsText(pos);
            ++pc;
            continue;
        case PatternOp::GroupClose:
            pGroups[op.m_nOperand].m_pEnd = AsText(pos);
            ++pc;
            continue;
        case PatternOp::Char:
            if (*pos != op.m_nOperand)
                goto fail;
            ++pos;
            ++pc;
            continue;
        case PatternOp::AnyChar:
            if (!*pos)
                goto fail;
            ++pos;
            ++pc;
            continue;
        case PatternOp::InSet:
            if (!*pos || !PatternSetHas(&op + 1, *pos))
                goto fail;
            ++pos;
            pc += 3;
            continue;
        case PatternOp::NotInSet:
            if (!*pos || PatternSetHas(&op + 1, *pos))
                goto fail;
            ++pos;
            pc += 3;
            continue;
        case PatternOp::Goto:
            if (!nStepsLeft--) {
                outcome = OutOfSteps;
                goto done;
            }
            pc = size_t(op.m_nOperand);
            continue;
        case PatternOp::SavePos:
            QD_PUSH(FromPos(pos));
            ++pc;
            continue;
        case PatternOp::RestorePos: {
            uint64_t v;
            QD_POP_VALUE(v);
            pos = ToPos(v);
            ++pc;
            continue;
        }
        case PatternOp::Enter:
            QD_PUSH((uint64_t(pos - m_pBase) << kIndexBits) | (pc + 1));
            pc = size_t(op.m_nOperand);
            continue;
        case PatternOp::Leave:
            goto fail; // continuing at the popped index is exactly what failing does
        case PatternOp::SaveSlot:
            QD_PUSH(pSlots[op.m_nOperand]);
            ++pc;
            continue;
        case PatternOp::RestoreSlot:
            QD_POP_VALUE(pSlots[op.m_nOperand]);
            ++pc;
            continue;
        case PatternOp::MarkPos:
            pSlots[op.m_nOperand] = FromPos(pos);
            ++pc;
            continue;
        case PatternOp::MarkDepth:
            pSlots[op.m_nOperand] = nDepth;
            ++pc;
            continue;
        case PatternOp::ResetPos:
            pos = ToPos(pSlots[op.m_nOperand]);
            ++pc;
            continue;
        case PatternOp::ResetDepth:
            if (pSlots[op.m_nOperand] > nDepth)
                goto done; // only ever drops entries in a sound program
            nDepth = pSlots[op.m_nOperand];
            ++pc;
            continue;
        case PatternOp::LeaveIfStuck:
            if (FromPos(pos) == pSlots[op.m_nOperand])
                goto fail;
            ++pc;
            continue;
        case PatternOp::BackRef: {
            // A group that has not matched, or is still open here, stands for the empty text.
            const unsigned char* pStart = AsPos(pGroups[op.m_nOperand].m_pStart);
            const unsigned char* pEnd = AsPos(pGroups[op.m_nOperand].m_pEnd);
            if (pStart && pEnd && pEnd > pStart) {
                size_t n = size_t(pEnd - pStart);
                size_t i = 0;
                // Stops at the subject's NUL at the latest: a group never holds one.
                while (i < n && Lower(pos[i]) == Lower(pStart[i]))
                    ++i;
                if (i < n)
                    goto fail;
                pos += n;
            }
            ++pc;
            continue;
        }
        case PatternOp::Halt:
            goto done;
        case PatternOp::NextStart:
            if (pAttempt == m_pNul || pAttempt[1] == 0)
                goto done;
            ++pAttempt;
            if (!Viable(pAttempt))
                goto done;
            // Each attempt starts clean. A failed attempt restores its captures itself, except
            // where a look-ahead matched and dropped their saved bounds: those must not reach a
            // later match (nor depend on which attempts the shortcuts skipped).
            for (uint32_t i = 0; i < nGroups; ++i)
                pGroups[i] = PatternGroup{nullptr, nullptr};
            for (uint32_t i = 0; i < nSlots; ++i)
                pSlots[i] = 0;
            pos = pAttempt;
            nDepth = 0;
            pc = 0;
            continue;
        case PatternOp::Accept:
            outcome = Matched;
            goto done;
        case PatternOp::GroupSave:
            QD_PUSH(FromPos(AsPos(pGroups[op.m_nOperand].m_pStart)));
            QD_PUSH(FromPos(AsPos(pGroups[op.m_nOperand].m_pEnd)));
            ++pc;
            continue;
        case PatternOp::GroupRestore: {
            uint64_t v;
            QD_POP_VALUE(v);
            pGroups[op.m_nOperand].m_pEnd = AsText(ToPos(v));
            QD_POP_VALUE(v);
            pGroups[op.m_nOperand].m_pStart = AsText(ToPos(v));
            ++pc;
            continue;
        }
        default:
            goto done; // never compiled; a broken program finds nothing
        }
    fail:
        if (!nStepsLeft--) {
            outcome = OutOfSteps;
            goto done;
        }
        if (!nDepth) {
            pc = 0;
            continue;
        }
        {
            uint64_t v = pStack[nDepth--];
            uint64_t nOffset = v >> kIndexBits;
            pc = size_t(v & kIndexMask);
            if (pc >= nOps || nOffset > m_nLength + 1)
                goto done; // not a return address: a broken program finds nothing
            pos = m_pBase + nOffset;
        }
    }
done:
#undef QD_PUSH
#undef QD_POP_VALUE
    m_pos = pos;
    m_pMatchStart = pMatchStart;
    return outcome;
}

bool CPattern::Search(const char* pszSubject, CPatternMatch* pMatch, const char** ppEnd) const {
    if (!pMatch)
        return false;
    CPatternMatch& match = *pMatch;
    match.m_bOutOfStack = false;
    match.m_bOutOfSteps = false;
    match.m_pMatchStart = nullptr;
    match.m_pMatchEnd = nullptr;
    match.m_nDepth = 0;
    if (!pszSubject || m_nError || !m_nOps)
        return false;

    size_t nLength = std::strlen(pszSubject);
    const unsigned char* pSubject = AsPos(pszSubject);
    unsigned char* pCopy = nullptr;
    if (!m_bCaseSensitive) {
        pCopy = new (std::nothrow) unsigned char[nLength + 1];
        if (!pCopy)
            return false;
        LowerCopy(pCopy, pSubject, nLength);
        pCopy[nLength] = 0;
    }
    const unsigned char* pBase = pCopy ? pCopy : pSubject;
    if (!GrowTable(match.m_pGroups, match.m_nGroupCapacity, m_nGroups) ||
        !GrowTable(match.m_pSlots, match.m_nSlotCapacity, m_nSlots)) {
        delete[] pCopy;
        return false;
    }
    match.m_nGroups = m_nGroups;
    for (uint32_t i = 0; i < m_nGroups; ++i)
        match.m_pGroups[i] = PatternGroup{nullptr, nullptr};
    for (uint32_t i = 0; i < m_nSlots; ++i)
        match.m_pSlots[i] = 0;

    const size_t nReserved = match.m_nStackSize;
    CPatternSearch search(*this, match, pBase, nLength);
    CPatternSearch::Outcome outcome = search.Run();

    // Positions in the copy are the same offsets in the caller's subject.
    auto toCaller = [&](const unsigned char* p) { return pszSubject + (p - pBase); };
    if (ppEnd)
        *ppEnd = toCaller(search.m_pos);
    bool bMatched = outcome == CPatternSearch::Matched;
    for (uint32_t i = 0; i < m_nGroups; ++i) {
        PatternGroup& group = match.m_pGroups[i];
        const unsigned char* pStart = AsPos(group.m_pStart);
        const unsigned char* pEnd = AsPos(group.m_pEnd);
        if (bMatched && pStart && pEnd && pEnd >= pStart)
            group = PatternGroup{toCaller(pStart), toCaller(pEnd)};
        else
            group = PatternGroup{nullptr, nullptr};
    }
    if (bMatched) {
        match.m_pMatchStart = toCaller(search.m_pMatchStart);
        match.m_pMatchEnd = toCaller(search.m_pos);
    }
    if (outcome == CPatternSearch::OutOfStack || outcome == CPatternSearch::OutOfSteps) {
        match.m_bOutOfStack = outcome == CPatternSearch::OutOfStack;
        match.m_bOutOfSteps = outcome == CPatternSearch::OutOfSteps;
        // Give back what the runaway search took; the caller's reservation stays.
        if (match.m_nStackSize > nReserved) {
            delete[] match.m_pStack;
            match.m_pStack = nReserved ? new (std::nothrow) uint64_t[nReserved] : nullptr;
            match.m_nStackSize = match.m_pStack ? nReserved : 0;
        }
    }
    delete[] pCopy;
    return bMatched;
}
