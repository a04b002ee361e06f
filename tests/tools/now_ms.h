// The performance counter in milliseconds, for timing in tests and benchmarks.
#pragma once

#include <windows.h>

namespace qdtest {

inline double NowMs() {
    static const LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

} // namespace qdtest
