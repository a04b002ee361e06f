#include "update/win_http_client.h"

#include "update/http_text.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

// Security flags that accept certificates of unknown authorities, for other names or out of
// date. Only a caller that turns m_bStrictCertificates off gets them.
constexpr DWORD kIgnoreCertificateErrors = SECURITY_FLAG_IGNORE_UNKNOWN_CA |
                                           SECURITY_FLAG_IGNORE_CERT_CN_INVALID |
                                           SECURITY_FLAG_IGNORE_CERT_DATE_INVALID;
static_assert(kIgnoreCertificateErrors == 0x3100);

constexpr int kAttempts = 3;
// WINHTTP_OPTION_IGNORE_CERT_REVOCATION_OFFLINE (Windows 10 1809 and later; MinGW's header
// lacks it): a revocation server that cannot be reached lets the certificate pass.
constexpr DWORD kOptionIgnoreRevocationOffline = 155;
constexpr DWORD kHostChars = 260;
constexpr DWORD kPathChars = 1300;
constexpr size_t kProxyChars = 260;
constexpr size_t kMaxReadBytes = 1 << 20;
constexpr uint32_t kMaxReservedBytes = 256u << 20;

// Strings that WinHTTP hands out and the caller frees with GlobalFree.
struct GlobalStringTraits {
    using Type = wchar_t*;
    static Type Empty() noexcept { return nullptr; }
    static void Close(Type p) noexcept { ::GlobalFree(p); }
};
using GlobalString = fw::UniqueHandle<GlobalStringTraits>;

std::wstring Widen(const std::string& str) {
    if (str.empty())
        return {};
    const int n = ::MultiByteToWideChar(CP_THREAD_ACP, 0, str.data(), static_cast<int>(str.size()),
                                        nullptr, 0);
    std::wstring w(n > 0 ? n : 0, L'\0');
    if (n > 0)
        ::MultiByteToWideChar(CP_THREAD_ACP, 0, str.data(), static_cast<int>(str.size()), w.data(),
                              n);
    return w;
}

std::string Narrow(const wchar_t* p, size_t nChars) {
    if (nChars == 0)
        return {};
    const int n = ::WideCharToMultiByte(CP_THREAD_ACP, 0, p, static_cast<int>(nChars), nullptr, 0,
                                        nullptr, nullptr);
    std::string s(n > 0 ? n : 0, '\0');
    if (n > 0)
        ::WideCharToMultiByte(CP_THREAD_ACP, 0, p, static_cast<int>(nChars), s.data(), n, nullptr,
                              nullptr);
    return s;
}

bool EqualsNoCase(const std::string& a, const char* b) {
    return ::lstrcmpiA(a.c_str(), b) == 0;
}

// A named-proxy setting whose texts live as long as the object. Longer texts are cut at the
// 260 characters the option's buffers hold.
struct NamedProxy {
    wchar_t wszProxy[kProxyChars] = {};
    wchar_t wszBypass[kProxyChars] = {};
    WINHTTP_PROXY_INFO info{};

    NamedProxy(const wchar_t* pwszProxy, const wchar_t* pwszBypass) {
        ::lstrcpynW(wszProxy, pwszProxy, kProxyChars);
        info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        info.lpszProxy = wszProxy;
        if (pwszBypass && *pwszBypass) {
            ::lstrcpynW(wszBypass, pwszBypass, kProxyChars);
            info.lpszProxyBypass = wszBypass;
        }
    }
};

} // namespace

void WinHttpHandleTraits::Close(Type h) noexcept {
    ::WinHttpCloseHandle(h);
}

WinHttpClient::WinHttpClient(const std::string& strUrl) : m_wstrUrl(Widen(strUrl)) {}

WinHttpClient::~WinHttpClient() = default;

bool WinHttpClient::Send(const std::string& strVerb, bool bDisableRedirects) {
    if (m_wstrUrl.empty()) {
        m_dwLastError = ERROR_PATH_NOT_FOUND;
        return false;
    }
    const wchar_t* pwszVerb = nullptr;
    if (EqualsNoCase(strVerb, "GET"))
        pwszVerb = L"GET";
    else if (EqualsNoCase(strVerb, "POST"))
        pwszVerb = L"POST";
    else {
        m_dwLastError = ERROR_INVALID_PARAMETER;
        return false;
    }
    const bool bGet = pwszVerb[0] == L'G';

    if (!m_hSession) {
        m_hSession.reset(::WinHttpOpen(Widen(m_strUserAgent).c_str(),
                                       WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                                       WINHTTP_NO_PROXY_BYPASS, 0));
        if (!m_hSession) {
            m_dwLastError = ::GetLastError();
            return false;
        }
    }
    if (!::WinHttpSetTimeouts(m_hSession.get(), static_cast<int>(m_nResolveTimeout),
                              static_cast<int>(m_nConnectTimeout), static_cast<int>(m_nSendTimeout),
                              static_cast<int>(m_nReceiveTimeout)))
        m_dwLastError = ::GetLastError();

    // The query belongs to the request's object name; WinHTTP hands it out separately. A
    // fragment is the browser's business and never goes to the server.
    wchar_t wszHost[kHostChars] = {};
    wchar_t wszPath[kPathChars] = {};
    wchar_t wszExtra[kPathChars] = {};
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = wszHost;
    parts.dwHostNameLength = kHostChars;
    parts.lpszUrlPath = wszPath;
    parts.dwUrlPathLength = kPathChars;
    parts.lpszExtraInfo = wszExtra;
    parts.dwExtraInfoLength = kPathChars;
    if (!::WinHttpCrackUrl(m_wstrUrl.c_str(), static_cast<DWORD>(m_wstrUrl.size()), 0, &parts)) {
        m_dwLastError = ::GetLastError();
        return false;
    }
    m_wstrHost.assign(wszHost, parts.dwHostNameLength);
    std::wstring wstrObject(wszPath, parts.dwUrlPathLength);
    std::wstring wstrExtra(wszExtra, parts.dwExtraInfoLength);
    wstrObject += wstrExtra.substr(0, wstrExtra.find(L'#'));
    const bool bSecure = parts.nScheme == INTERNET_SCHEME_HTTPS;

    WinHttpHandle hConnect(::WinHttpConnect(m_hSession.get(), m_wstrHost.c_str(), parts.nPort, 0));
    if (!hConnect) {
        m_dwLastError = ::GetLastError();
        return false;
    }
    WinHttpHandle hRequest(::WinHttpOpenRequest(
        hConnect.get(), pwszVerb, wstrObject.empty() ? nullptr : wstrObject.c_str(), nullptr,
        WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES, bSecure ? WINHTTP_FLAG_SECURE : 0));
    if (!hRequest) {
        m_dwLastError = ::GetLastError();
        return false;
    }
    // WinHTTP waits for the response headers under a time-out of their own (90 s unless set);
    // a server that accepts and never answers would hold the caller that long on each attempt.
    DWORD dwHeaderTimeout = m_nReceiveTimeout;
    if (!::WinHttpSetOption(hRequest.get(), WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT,
                            &dwHeaderTimeout, sizeof(dwHeaderTimeout)))
        m_dwLastError = ::GetLastError();
    if (bSecure) {
        // Redirects WinHTTP follows stay on https (its default, set so that no default can
        // change it). Callers that need more follow redirects themselves.
        DWORD dwPolicy = WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP;
        if (!::WinHttpSetOption(hRequest.get(), WINHTTP_OPTION_REDIRECT_POLICY, &dwPolicy,
                                sizeof(dwPolicy)))
            m_dwLastError = ::GetLastError();
        // A revoked certificate fails; a revocation server out of reach must not stop the
        // update. Only systems that can be told so (kIgnoreRevocationOffline) check revocation:
        // elsewhere, Wine 8 among them, an unreachable or missing revocation list fails every
        // connection (12157 here).
        BOOL bIgnoreOffline = TRUE;
        if (::WinHttpSetOption(hRequest.get(), kOptionIgnoreRevocationOffline, &bIgnoreOffline,
                               sizeof(bIgnoreOffline))) {
            DWORD dwFeature = WINHTTP_ENABLE_SSL_REVOCATION;
            if (!::WinHttpSetOption(hRequest.get(), WINHTTP_OPTION_ENABLE_FEATURE, &dwFeature,
                                    sizeof(dwFeature)))
                m_dwLastError = ::GetLastError();
        }
    }
    if (bSecure && !m_bStrictCertificates) {
        DWORD dwFlags = kIgnoreCertificateErrors;
        if (!::WinHttpSetOption(hRequest.get(), WINHTTP_OPTION_SECURITY_FLAGS, &dwFlags,
                                sizeof(dwFlags)))
            m_dwLastError = ::GetLastError();
    }

    m_qwDeadline = m_nDeadlineMs ? ::GetTickCount64() + m_nDeadlineMs : 0;
    for (int nAttempt = 0; nAttempt < kAttempts; ++nAttempt) {
        if (PastDeadline() || Cancelled())
            return false;
        // The request handle keeps added headers from one attempt to the next; adding them again
        // would merge each value with itself.
        if (nAttempt == 0) {
            if (!m_wstrExtraHeaders.empty() &&
                !::WinHttpAddRequestHeaders(hRequest.get(), m_wstrExtraHeaders.c_str(),
                                            static_cast<DWORD>(-1),
                                            WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON))
                m_dwLastError = ::GetLastError();
            if (!m_wstrRequestCookies.empty()) {
                const std::wstring wstrCookie = L"Cookie: " + m_wstrRequestCookies;
                if (!::WinHttpAddRequestHeaders(hRequest.get(), wstrCookie.c_str(),
                                                static_cast<DWORD>(-1),
                                                WINHTTP_ADDREQ_FLAG_COALESCE_WITH_SEMICOLON))
                    m_dwLastError = ::GetLastError();
            }
        }
        if (!m_wstrProxy.empty())
            SetRequestProxy(hRequest.get());
        if (bDisableRedirects) {
            DWORD dwFeature = WINHTTP_DISABLE_REDIRECTS;
            if (!::WinHttpSetOption(hRequest.get(), WINHTTP_OPTION_DISABLE_FEATURE, &dwFeature,
                                    sizeof(dwFeature)))
                m_dwLastError = ::GetLastError();
        }
        if (!SendRequest(hRequest.get()) && !DiscoverProxy(hRequest.get()))
            continue;
        if (!::WinHttpReceiveResponse(hRequest.get(), nullptr)) {
            m_dwLastError = ::GetLastError();
            continue;
        }
        const Outcome outcome = ReadResponse(hRequest.get(), bGet && !bDisableRedirects);
        if (outcome == Outcome::OutOfMemory || outcome == Outcome::Refused)
            return false;
        if (outcome == Outcome::AttemptFailed)
            continue;
        return true;
    }
    return false;
}

bool WinHttpClient::Cancelled() {
    if (!m_pWatch || !m_pWatch->bCancel.load())
        return false;
    m_dwLastError = ERROR_CANCELLED;
    return true;
}

bool WinHttpClient::PastDeadline() {
    if (m_qwDeadline == 0 || ::GetTickCount64() < m_qwDeadline)
        return false;
    m_dwLastError = ERROR_WINHTTP_TIMEOUT;
    return true;
}

// The request body goes with the send, so that WinHTTP announces its exact Content-Length.
bool WinHttpClient::SendRequest(void* hRequest) {
    void* pData = m_pSendData ? m_pSendData.get() : WINHTTP_NO_REQUEST_DATA;
    const DWORD nSize = m_pSendData ? m_nSendSize : 0;
    if (::WinHttpSendRequest(hRequest, WINHTTP_NO_ADDITIONAL_HEADERS, 0, pData, nSize, nSize, 0))
        return true;
    m_dwLastError = ::GetLastError();
    return false;
}

void WinHttpClient::SetRequestProxy(void* hRequest) {
    NamedProxy proxy(m_wstrProxy.c_str(), nullptr);
    if (!::WinHttpSetOption(hRequest, WINHTTP_OPTION_PROXY, &proxy.info, sizeof(proxy.info)))
        m_dwLastError = ::GetLastError();
    if (m_strProxyUser.empty())
        return;
    SetTextOption(hRequest, WINHTTP_OPTION_PROXY_USERNAME, m_strProxyUser);
    if (!m_strProxyPassword.empty())
        SetTextOption(hRequest, WINHTTP_OPTION_PROXY_PASSWORD, m_strProxyPassword);
}

// Text options take their length in characters.
void WinHttpClient::SetTextOption(void* hRequest, uint32_t nOption, const std::string& strValue) {
    const std::wstring wstr = Widen(strValue);
    if (!::WinHttpSetOption(hRequest, nOption, const_cast<wchar_t*>(wstr.c_str()),
                            static_cast<DWORD>(wstr.size())))
        m_dwLastError = ::GetLastError();
}

// After a failed send: looks for a proxy in the user's configuration. True only when it found
// one through the configuration script and sending through it then worked; a fixed proxy is
// only set for the next attempt.
bool WinHttpClient::DiscoverProxy(void* hRequest) {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG config{};
    if (!::WinHttpGetIEProxyConfigForCurrentUser(&config)) {
        // A damaged configuration can fail without an error code; the send's error then stays.
        if (const DWORD dwError = ::GetLastError())
            m_dwLastError = dwError;
        return false;
    }
    const GlobalString autoConfigUrl(config.lpszAutoConfigUrl);
    const GlobalString fixedProxy(config.lpszProxy);
    const GlobalString bypass(config.lpszProxyBypass);

    if (autoConfigUrl) {
        WINHTTP_AUTOPROXY_OPTIONS options{};
        options.dwFlags = WINHTTP_AUTOPROXY_AUTO_DETECT | WINHTTP_AUTOPROXY_CONFIG_URL;
        options.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP;
        options.lpszAutoConfigUrl = autoConfigUrl.get();
        options.fAutoLogonIfChallenged = TRUE;
        WINHTTP_PROXY_INFO info{};
        if (!::WinHttpGetProxyForUrl(m_hSession.get(), m_wstrUrl.c_str(), &options, &info)) {
            m_dwLastError = ::GetLastError();
            return false;
        }
        const GlobalString foundProxy(info.lpszProxy);
        const GlobalString foundBypass(info.lpszProxyBypass);
        if (!::WinHttpSetOption(hRequest, WINHTTP_OPTION_PROXY, &info, sizeof(info))) {
            m_dwLastError = ::GetLastError();
            return false;
        }
        return SendRequest(hRequest);
    }
    if (fixedProxy) {
        NamedProxy proxy(fixedProxy.get(), bypass.get());
        if (!::WinHttpSetOption(hRequest, WINHTTP_OPTION_PROXY, &proxy.info, sizeof(proxy.info)))
            m_dwLastError = ::GetLastError();
    }
    return false;
}

// Size first, then the text; false (the caller's text untouched) when either query fails.
bool WinHttpClient::QueryHeaderText(void* hRequest, uint32_t nInfoLevel, std::string& strOut) {
    DWORD nBytes = 0;
    if (::WinHttpQueryHeaders(hRequest, nInfoLevel, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &nBytes,
                              WINHTTP_NO_HEADER_INDEX) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        m_dwLastError = ::GetLastError();
        return false;
    }
    std::wstring wstr(nBytes / sizeof(wchar_t) + 1, L'\0');
    DWORD nGot = static_cast<DWORD>(wstr.size() * sizeof(wchar_t));
    if (!::WinHttpQueryHeaders(hRequest, nInfoLevel, WINHTTP_HEADER_NAME_BY_INDEX, wstr.data(),
                               &nGot, WINHTTP_NO_HEADER_INDEX)) {
        m_dwLastError = ::GetLastError();
        return false;
    }
    strOut = Narrow(wstr.data(), std::min<size_t>(nGot / sizeof(wchar_t), wstr.size()));
    return true;
}

void WinHttpClient::ReportProgress() {
    if (m_pfnProgress && m_nContentLength != 0)
        m_pfnProgress(static_cast<double>(m_pBody.Size()) * 100.0 / m_nContentLength);
}

// Reads headers, status and body. A body cut short (the connection failed, or fewer bytes came
// than the headers announced) fails the attempt, and so does, when bCheckPage, a page that opens
// "<html>" and never closes it; running out of memory for the body ends the Send.
WinHttpClient::Outcome WinHttpClient::ReadResponse(void* hRequest, bool bCheckPage) {
    HeaderFields fields{m_strCharset, m_nContentLength, m_strLocation, m_strCookies};
    if (QueryHeaderText(hRequest, WINHTTP_QUERY_RAW_HEADERS_CRLF, m_strHeaders)) {
        ParseHeaderFields(m_strHeaders, m_bKeepCharset, fields);
        m_strCharset = fields.strCharset;
        m_nContentLength = fields.nContentLength;
        m_strLocation = fields.strLocation;
        m_strCookies = fields.strCookies;
    }
    QueryHeaderText(hRequest, WINHTTP_QUERY_STATUS_CODE, m_strStatus);

    bool bOutOfMemory = !m_pBody.Reset();
    // A body of announced length gets its final buffer at once instead of being copied at each
    // doubling on the way (the capacity comes out the same). A length beyond reason is left to
    // the doublings, so that a false one costs nothing; a buffer that cannot be had now may
    // still be had piece by piece.
    if (!bOutOfMemory && fields.bContentLengthFound && fields.nContentLength <= kMaxReservedBytes)
        m_pBody.Reserve(fields.nContentLength);
    bool bCutShort = false;
    bool bTooLarge = m_nMaxBodyBytes != 0 && fields.bContentLengthFound &&
                     fields.nContentLength > m_nMaxBodyBytes;
    bool bStopped = false;
    if (m_pWatch) {
        m_pWatch->nExpected = fields.bContentLengthFound ? fields.nContentLength : 0;
        m_pWatch->nReceived = 0;
    }
    while (!bOutOfMemory && !bTooLarge) {
        if (PastDeadline() || Cancelled()) {
            bStopped = true;
            break;
        }
        DWORD nWaiting = 0;
        if (!::WinHttpQueryDataAvailable(hRequest, &nWaiting)) {
            m_dwLastError = ::GetLastError();
            bCutShort = true;
            break;
        }
        if (nWaiting == 0)
            break;
        ReportProgress();
        if (!m_pBody.Reserve(nWaiting)) {
            bOutOfMemory = true;
            break;
        }
        // WinHTTP answers at most one TLS record (16 KiB) as waiting; asking for the free room
        // of the buffer as well (it never grows for that) needs a fraction of the calls.
        const size_t nRoom = std::min(m_pBody.Capacity() - m_pBody.Size(), kMaxReadBytes);
        // A watched transfer reads what is there, so that progress and a cancel are seen as the
        // bytes come (WinHTTP may otherwise wait to fill the whole room).
        const DWORD nWanted =
            m_pWatch ? nWaiting : static_cast<DWORD>(std::max<size_t>(nWaiting, nRoom));
        DWORD nRead = 0;
        if (!::WinHttpReadData(hRequest, m_pBody.Data() + m_pBody.Size(), nWanted, &nRead)) {
            m_dwLastError = ::GetLastError();
            bCutShort = true;
            break;
        }
        m_pBody.Commit(nRead);
        if (m_pWatch)
            m_pWatch->nReceived = m_pBody.Size();
        if (nRead == 0)
            break;
        bTooLarge = m_nMaxBodyBytes != 0 && m_pBody.Size() > m_nMaxBodyBytes;
    }
    ReportProgress();
    m_nBodySize = static_cast<uint32_t>(m_pBody.Size());
    const char* pText = reinterpret_cast<const char*>(m_pBody.Data());
    const void* pZero = pText ? std::memchr(pText, 0, m_nBodySize) : nullptr;
    const std::string_view text(pText ? pText : "",
                                pZero ? static_cast<const char*>(pZero) - pText : m_nBodySize);
    if (m_bKeepText)
        m_strText.assign(text);
    else
        m_strText.clear();

    if (bOutOfMemory) {
        m_dwLastError = ERROR_NOT_ENOUGH_MEMORY;
        return Outcome::OutOfMemory;
    }
    if (bTooLarge)
        m_dwLastError = ERROR_FILE_TOO_LARGE;
    if (bTooLarge || bStopped)
        return Outcome::Refused;
    // Responses to which no body belongs may announce the length of one they do not carry.
    const bool bBodyless = m_strStatus == "204" || m_strStatus == "304";
    if (!bCutShort && !bBodyless && fields.bContentLengthFound &&
        m_nBodySize < fields.nContentLength) {
        m_dwLastError = ERROR_WINHTTP_CONNECTION_ERROR;
        bCutShort = true;
    }
    if (bCutShort)
        return Outcome::AttemptFailed;
    if (bCheckPage && IsPageCutOff(text)) {
        m_dwLastError = ERROR_INVALID_DATA;
        return Outcome::AttemptFailed;
    }
    return Outcome::Received;
}
