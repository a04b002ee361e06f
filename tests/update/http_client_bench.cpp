// Download speed and memory for one large body from the loopback test server, one way per
// process so that each reports its own peak working set. Run by tests/tools/http_bench.sh, which
// takes turns between the ways and curl and keeps the best time of each.
//
//   http_client_bench winhttp|send|download <body bytes> <file for download>
// prints one line: way, bytes, seconds, MiB/s, peak working set (bytes) and its ratios to the
// body (whole process, and growth over the working set before the transfer).
#include "tests/update/http_test_support.h"
#include "update/download.h"
#include "update/win_http_client.h"

#include <windows.h>
#include <psapi.h>
#include <winhttp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

// What WinHTTP itself delivers into one buffer of the announced size, without the client around
// it: the ceiling the client can reach on this platform.
bool BareWinHttp(const std::string& strUrl, unsigned long nBytes) {
    const std::wstring wstrUrl(strUrl.begin(), strUrl.end());
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength =
        static_cast<DWORD>(-1);
    ::WinHttpCrackUrl(wstrUrl.c_str(), 0, 0, &parts);
    const std::wstring wstrHost(parts.lpszHostName, parts.dwHostNameLength);
    const std::wstring wstrPath(parts.lpszUrlPath, parts.dwUrlPathLength + parts.dwExtraInfoLength);
    HINTERNET hSession = ::WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    HINTERNET hConnect = ::WinHttpConnect(hSession, wstrHost.c_str(), parts.nPort, 0);
    HINTERNET hRequest = ::WinHttpOpenRequest(hConnect, L"GET", wstrPath.c_str(), nullptr, nullptr,
                                              nullptr, WINHTTP_FLAG_SECURE);
    unsigned long nTotal = 0;
    if (::WinHttpSendRequest(hRequest, nullptr, 0, nullptr, 0, 0, 0) &&
        ::WinHttpReceiveResponse(hRequest, nullptr)) {
        DWORD nLength = 0;
        DWORD nSize = sizeof(nLength);
        ::WinHttpQueryHeaders(hRequest, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                              nullptr, &nLength, &nSize, nullptr);
        std::unique_ptr<char[]> pBuffer(new char[nLength]);
        DWORD nRead = 0;
        while (nTotal < nLength &&
               ::WinHttpReadData(hRequest, pBuffer.get() + nTotal, nLength - nTotal, &nRead) &&
               nRead)
            nTotal += nRead;
    }
    ::WinHttpCloseHandle(hRequest);
    ::WinHttpCloseHandle(hConnect);
    ::WinHttpCloseHandle(hSession);
    return nTotal == nBytes;
}

bool ClientSend(const std::string& strUrl, unsigned long nBytes) {
    WinHttpClient client(strUrl);
    return client.Send("GET", false) && client.m_nBodySize == nBytes;
}

// The file is checked after the clock has stopped.
bool FileHolds(const std::string& strFile, unsigned long nBytes) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    const bool bWhole = ::GetFileAttributesExA(strFile.c_str(), GetFileExInfoStandard, &data) &&
                        data.nFileSizeHigh == 0 && data.nFileSizeLow == nBytes;
    ::DeleteFileA(strFile.c_str());
    return bWhole;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: http_client_bench winhttp|send|download BYTES FILE\n");
        return 2;
    }
    const std::string strWay = argv[1];
    const unsigned long nBytes = std::strtoul(argv[2], nullptr, 10);
    http_test::Ports ports;
    std::string strWhy;
    if (!http_test::LoadPorts(ports, strWhy) || !http_test::TrustTestAuthority(strWhy)) {
        std::fprintf(stderr, "http_client_bench: %s\n", strWhy.c_str());
        return 2;
    }
    const std::string strUrl = http_test::Url("body=" + std::to_string(nBytes));
    // Loading the TLS libraries and the first handshake of a process are not the transfer.
    if (!BareWinHttp(http_test::Url("text=warm"), 4)) {
        std::fprintf(stderr, "http_client_bench: the warm-up request failed\n");
        return 1;
    }
    PROCESS_MEMORY_COUNTERS before{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &before, sizeof(before));

    const auto start = std::chrono::steady_clock::now();
    bool bDone = false;
    const char* pszLabel = nullptr;
    if (strWay == "winhttp") {
        pszLabel = "bare WinHTTP, one buffer";
        bDone = BareWinHttp(strUrl, nBytes);
    } else if (strWay == "send") {
        pszLabel = "WinHttpClient::Send";
        bDone = ClientSend(strUrl, nBytes);
    } else if (strWay == "download") {
        pszLabel = "DownloadToFile with the write";
        // It makes its file new, as for an installer.
        ::DeleteFileA(argv[3]);
        // The bench's file name is plain ASCII.
        bDone = DownloadToFile(strUrl, std::wstring(argv[3], argv[3] + std::strlen(argv[3]))) ==
                kDownloadOk;
    } else {
        std::fprintf(stderr, "http_client_bench: no such way: %s\n", strWay.c_str());
        return 2;
    }
    const double dSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (bDone && strWay == "download")
        bDone = FileHolds(argv[3], nBytes);
    if (!bDone) {
        std::fprintf(stderr, "http_client_bench: %s did not deliver %lu bytes\n", pszLabel, nBytes);
        return 1;
    }
    PROCESS_MEMORY_COUNTERS after{};
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &after, sizeof(after));
    const size_t nPeak = after.PeakWorkingSetSize;
    std::printf("%s: bytes=%lu seconds=%.3f mib_per_s=%.1f peak_ws=%zu peak_over_body=%.2f "
                "growth_over_body=%.2f\n",
                pszLabel, nBytes, dSeconds, nBytes / 1048576.0 / dSeconds, nPeak,
                static_cast<double>(nPeak) / nBytes,
                (static_cast<double>(nPeak) - static_cast<double>(before.WorkingSetSize)) / nBytes);
    return 0;
}
