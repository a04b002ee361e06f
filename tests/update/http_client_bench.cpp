// Download speed and memory of WinHttpClient::Send for one large body from the loopback test
// server. Run by tests/tools/http_bench.sh, which times curl on the same address next to it.
//
//   http_client_bench <body bytes> [repetitions]
// prints: bytes, best seconds, MiB/s, working set before, peak working set after (bytes).
#include "tests/update/http_test_support.h"
#include "update/win_http_client.h"

#include <windows.h>
#include <psapi.h>
#include <winhttp.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

// What WinHTTP itself delivers when read in 1 MiB pieces, without the client around it: the
// ceiling the client can reach on this platform.
double RawSeconds(const std::string& strUrl, unsigned long nBytes) {
    std::wstring wstrUrl(strUrl.begin(), strUrl.end());
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
        static_cast<DWORD>(-1);
    ::WinHttpCrackUrl(wstrUrl.c_str(), 0, 0, &parts);
    const std::wstring wstrHost(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring wstrPath(parts.lpszUrlPath, parts.dwUrlPathLength + parts.dwExtraInfoLength);
    const auto start = std::chrono::steady_clock::now();
    HINTERNET hSession = ::WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    HINTERNET hConnect = ::WinHttpConnect(hSession, wstrHost.c_str(), parts.nPort, 0);
    HINTERNET hRequest = ::WinHttpOpenRequest(hConnect, L"GET", wstrPath.c_str(), nullptr, nullptr,
                                              nullptr, WINHTTP_FLAG_SECURE);
    unsigned long nTotal = 0;
    if (::WinHttpSendRequest(hRequest, nullptr, 0, nullptr, 0, 0, 0) &&
        ::WinHttpReceiveResponse(hRequest, nullptr)) {
        std::string buffer(1 << 20, '\0');
        DWORD nRead = 0;
        while (
            ::WinHttpReadData(hRequest, buffer.data(), static_cast<DWORD>(buffer.size()), &nRead) &&
            nRead)
            nTotal += nRead;
    }
    ::WinHttpCloseHandle(hRequest);
    ::WinHttpCloseHandle(hConnect);
    ::WinHttpCloseHandle(hSession);
    if (nTotal != nBytes)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int main(int argc, char** argv) {
    const unsigned long nBytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 32ul << 20;
    const int nRuns = argc > 2 ? std::atoi(argv[2]) : 3;
    http_test::Ports ports;
    std::string strWhy;
    if (!http_test::LoadPorts(ports, strWhy) || !http_test::TrustTestAuthority(strWhy)) {
        std::fprintf(stderr, "http_client_bench: %s\n", strWhy.c_str());
        return 2;
    }
    const std::string strUrl = http_test::Url("body=" + std::to_string(nBytes));
    PROCESS_MEMORY_COUNTERS before{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &before, sizeof(before));
    // Send and WinHTTP alone take turns, so that both see the same load on the machine.
    double dBest = 1e30, dRawBest = 1e30, dUncheckedBest = 1e30;
    size_t nPeak = 0;
    for (int i = 0; i < nRuns; ++i) {
        {
            WinHttpClient client(strUrl);
            const auto start = std::chrono::steady_clock::now();
            const bool bSent = client.Send("GET", false);
            const double dSeconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            if (!bSent || client.m_nBodySize != nBytes) {
                std::fprintf(stderr, "http_client_bench: Send failed (%u), %u bytes\n",
                             client.m_dwLastError, client.m_nBodySize);
                return 1;
            }
            dBest = std::min(dBest, dSeconds);
        }
        if (i == 0) {
            PROCESS_MEMORY_COUNTERS after{};
            ::GetProcessMemoryInfo(::GetCurrentProcess(), &after, sizeof(after));
            nPeak = after.PeakWorkingSetSize;
        }
        {
            // Redirects off: no search for a cut-off page in the body.
            WinHttpClient client(strUrl);
            const auto start = std::chrono::steady_clock::now();
            if (client.Send("GET", true) && client.m_nBodySize == nBytes)
                dUncheckedBest =
                    std::min(dUncheckedBest,
                             std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
                                 .count());
        }
        const double dRaw = RawSeconds(strUrl, nBytes);
        if (dRaw > 0)
            dRawBest = std::min(dRawBest, dRaw);
    }
    std::printf("Send: bytes=%lu seconds=%.3f mib_per_s=%.1f ws_before=%zu peak_ws=%zu "
                "peak_over_body=%.2f growth_over_body=%.2f\n",
                nBytes, dBest, nBytes / 1048576.0 / dBest,
                static_cast<size_t>(before.WorkingSetSize), nPeak,
                static_cast<double>(nPeak) / nBytes,
                static_cast<double>(nPeak - before.WorkingSetSize) / nBytes);
    std::printf("Send without the page check: seconds=%.3f mib_per_s=%.1f\n", dUncheckedBest,
                nBytes / 1048576.0 / dUncheckedBest);
    std::printf("WinHTTP alone, 1 MiB reads: seconds=%.3f mib_per_s=%.1f\n", dRawBest,
                nBytes / 1048576.0 / dRawBest);
    return 0;
}
