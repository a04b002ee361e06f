#include "pedal/port_catalogue.h"

#include "pedal/shortcuts.h"

#include <cstdio>

namespace pedal {

int FindPortRow(int nType, int nNum) {
    for (int nRow = 0; nRow < kPortRows; ++nRow) {
        const PortRow& row = kPortTable[nRow];
        if (TypeCode(row.kind) == nType &&
            (row.num == nNum || (row.kind == PortKind::Key && IsUsableKey(nNum))))
            return nRow;
    }
    return -1;
}

int PortRowOf(int nType, int nNum) {
    const int nRow = FindPortRow(nType, nNum);
    return nRow < 0 ? 0 : nRow;
}

PortKind ChoosePortKind(int nType, int nNum) {
    return kPortTable[PortRowOf(nType, nNum)].kind;
}

bool IsPortRow(int nRow) {
    return nRow >= 0 && nRow < kPortRows;
}

const PortRow& PortAt(int nRow) {
    return kPortTable[IsPortRow(nRow) ? nRow : 0];
}

const char* ComDeviceName(int nNum) {
    const int nRow = FindPortRow(TypeCode(PortKind::Serial), nNum);
    return nRow < 0 ? nullptr : kPortTable[nRow].name;
}

std::string FormatDriverVersion(std::uint32_t nVersion) {
    char szText[16];
    std::snprintf(
        szText, sizeof szText, "%02x.%02x.%02x", static_cast<unsigned>((nVersion >> 16) & 0xFF),
        static_cast<unsigned>((nVersion >> 8) & 0xFF), static_cast<unsigned>(nVersion & 0xFF));
    return szText;
}

} // namespace pedal
