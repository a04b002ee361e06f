// Request: fetches one address with GET and follows the server's 301 and 302 redirects itself,
// at most kMaxRedirects of them and never from https to an address that is not https.
#pragma once

#include <cstdint>
#include <string>

class Request {
public:
    static constexpr int kMaxRedirects = 10;

    virtual ~Request() = default;

    // 0 when a 200 response arrived (possibly after redirects), 1 otherwise. Afterwards
    // m_strHeaders and m_strBody hold the last response received, also on failure, and m_strUrl
    // the last address fetched.
    int Fetch();

    std::string m_strUrl;
    // A longer body fails the Fetch unread (0: no limit).
    uint32_t m_nMaxBodyBytes = 0;
    std::string m_strHeaders;
    std::string m_strBody;
};
