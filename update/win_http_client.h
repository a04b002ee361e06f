// WinHttpClient: one synchronous HTTP(S) request at a time for one address, over WinHTTP.
//
// The first Send opens a WinHTTP session that later calls reuse; each Send makes its own
// connection and request, tries up to three times, asks the user's proxy configuration for a
// proxy when sending fails, and leaves the raw headers, the status, a few header values and the
// body in the members below. Any status code counts as a response; judging it is the caller's
// business. Certificates are checked unless m_bStrictCertificates is turned off.
//
// This header deliberately does not include <winhttp.h>: the installer download includes it
// next to other Internet headers, and <winhttp.h> clashes with <wininet.h>.
#pragma once

#include "framework/handle.h"
#include "framework/transfer_watch.h"
#include "update/body_buffer.h"

#include <cstdint>
#include <memory>
#include <string>

// A WinHTTP session, connection or request handle (HINTERNET is a void pointer).
struct WinHttpHandleTraits {
    using Type = void*;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type h) noexcept;
};

using WinHttpHandle = fw::UniqueHandle<WinHttpHandleTraits>;

class WinHttpClient {
public:
    // Called with the completed percentage of the body (bytes so far × 100 / Content-Length).
    using ProgressFn = void (*)(double dPercent);

    // Only remembers the address (8-bit text in the thread's ANSI code page); no network yet.
    explicit WinHttpClient(const std::string& strUrl);
    ~WinHttpClient();
    WinHttpClient(const WinHttpClient&) = delete;
    WinHttpClient& operator=(const WinHttpClient&) = delete;

    // Sends a GET or POST (any letter case) to the address and reads the response.
    // bDisableRedirects turns WinHTTP's own redirect handling off (and the check for a page
    // cut off before "</html>"). True when a response was received and kept; false with
    // m_dwLastError set otherwise.
    bool Send(const std::string& strVerb, bool bDisableRedirects);

    std::string GetHeaders() const { return m_strHeaders; }
    std::string GetText() const { return m_strText; }
    std::string GetStatus() const { return m_strStatus; }
    std::string GetLocation() const { return m_strLocation; }

    WinHttpHandle m_hSession;
    bool m_bStrictCertificates = true;
    std::wstring m_wstrUrl;
    std::wstring m_wstrHost;
    std::string m_strHeaders;
    std::string m_strText;
    std::string m_strCharset;
    BodyBuffer m_pBody;
    uint32_t m_nBodySize = 0;
    ProgressFn m_pfnProgress = nullptr;
    uint32_t m_nContentLength = 0;
    std::string m_strCookies;
    std::wstring m_wstrRequestCookies;
    std::unique_ptr<unsigned char[]> m_pSendData;
    uint32_t m_nSendSize = 0;
    std::wstring m_wstrExtraHeaders;
    std::wstring m_wstrProxy;
    uint32_t m_dwLastError = 0;
    std::string m_strStatus;
    std::string m_strUserAgent = "WinHttpClient";
    bool m_bKeepCharset = false;
    std::string m_strProxyUser;
    std::string m_strProxyPassword;
    std::string m_strLocation;
    uint32_t m_nResolveTimeout = 0;
    uint32_t m_nConnectTimeout = 60000;
    uint32_t m_nSendTimeout = 30000;
    uint32_t m_nReceiveTimeout = 30000;
    // False leaves m_strText empty: a caller that takes only the bytes (the installer download)
    // spares a copy of the whole body. The check for a cut-off page reads the bytes all the same.
    bool m_bKeepText = true;
    // Guards for bodies that will be run or parsed. A body longer than m_nMaxBodyBytes (announced
    // or received) fails the Send at once; 0 sets no limit. The whole Send, every attempt
    // included, ends after m_nDeadlineMs (checked between receives, so it may run over by one
    // receive time-out); 0 sets none.
    uint32_t m_nMaxBodyBytes = 0;
    uint32_t m_nDeadlineMs = 0;
    // Optional, for a Send on a worker thread: receives the body's progress, and a cancel set
    // there ends the Send (ERROR_CANCELLED) at its next read.
    fw::TransferWatch* m_pWatch = nullptr;

private:
    enum class Outcome { Received, AttemptFailed, OutOfMemory, Refused };

    bool SendRequest(void* hRequest);
    bool DiscoverProxy(void* hRequest);
    void SetRequestProxy(void* hRequest);
    void SetTextOption(void* hRequest, uint32_t nOption, const std::string& strValue);
    Outcome ReadResponse(void* hRequest, bool bCheckPage);
    bool QueryHeaderText(void* hRequest, uint32_t nInfoLevel, std::string& strOut);
    void ReportProgress();
    bool PastDeadline();
    bool Cancelled();

    uint64_t m_qwDeadline = 0;
};
