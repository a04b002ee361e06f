// Download speed and memory of WinHttpClient::Send for one large body from the loopback test
// server. Run by tests/tools/http_bench.sh, which times curl on the same address next to it.
//
//   http_client_bench <body bytes> [repetitions]
// prints: bytes, best seconds, MiB/s, working set before, peak working set after (bytes).
#include "tests/update/http_test_support.h"
#include "update/win_http_client.h"

#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    const unsigned long nBytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 32ul << 20;
    const int nRuns = argc > 2 ? std::atoi(argv[2]) : 3;
    http_test::Ports ports;
    std::string strWhy;
    if (!http_test::LoadPorts(ports, strWhy) || !http_test::TrustTestAuthority(strWhy)) {
        std::fprintf(stderr, "http_client_bench: %s\n", strWhy.c_str());
        return 2;
    }
    PROCESS_MEMORY_COUNTERS before{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &before, sizeof(before));
    double dBest = 1e30;
    for (int i = 0; i < nRuns; ++i) {
        WinHttpClient client(http_test::Url("body=" + std::to_string(nBytes)));
        const auto start = std::chrono::steady_clock::now();
        const bool bSent = client.Send("GET", false);
        const double dSeconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!bSent || client.m_nBodySize != nBytes) {
            std::fprintf(stderr, "http_client_bench: Send failed (%u), %u bytes\n",
                         client.m_dwLastError, client.m_nBodySize);
            return 1;
        }
        if (dSeconds < dBest)
            dBest = dSeconds;
    }
    PROCESS_MEMORY_COUNTERS after{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &after, sizeof(after));
    std::printf("bytes=%lu seconds=%.3f mib_per_s=%.1f ws_before=%zu peak_ws=%zu\n", nBytes, dBest,
                nBytes / 1048576.0 / dBest, static_cast<size_t>(before.WorkingSetSize),
                static_cast<size_t>(after.PeakWorkingSetSize));
    return 0;
}
