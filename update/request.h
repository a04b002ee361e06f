// Request: fetches one address with GET and follows the server's 301 and 302 redirects itself,
// at most kMaxRedirects of them and never from https to an address that is not https.
#pragma once

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
    std::string m_strHeaders;
    std::string m_strBody;
};
