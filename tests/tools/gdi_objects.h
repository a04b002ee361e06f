// Counting the GDI objects of the test's own process, where GetGuiResources cannot: Wine
// answers it with 0. Wine accepts a GDI handle whose upper half is 0 for any generation of
// its slot, so asking each slot's type finds every live object of the process.
#pragma once

#include <windows.h>

namespace qdtest {

inline int CountGdiObjects() {
    int count = 0;
    for (ULONG_PTR slot = 1; slot <= 0xFFFF; ++slot) {
        if (::GetObjectType(reinterpret_cast<HGDIOBJ>(slot)) != 0)
            ++count;
    }
    return count;
}

} // namespace qdtest
