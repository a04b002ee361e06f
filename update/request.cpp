#include "update/request.h"

#include "update/http_text.h"
#include "update/win_http_client.h"

#include <cstdlib>

int Request::Fetch() {
    for (int nRedirects = 0;; ++nRedirects) {
        WinHttpClient client(m_strUrl);
        client.m_nMaxBodyBytes = m_nMaxBodyBytes;
        const bool bSent = client.Send("GET", true);
        m_strHeaders = client.GetHeaders();
        m_strBody = client.GetText();
        const std::string strStatus = client.GetStatus();
        const unsigned long nStatus = std::strtoul(strStatus.c_str(), nullptr, 10);
        if (!bSent)
            return 1;
        if (nStatus == 200)
            return 0;
        if (nStatus != 301 && nStatus != 302)
            return 1;
        const std::string strLocation = client.GetLocation();
        if (nRedirects == kMaxRedirects || !IsRedirectAllowed(m_strUrl, strLocation))
            return 1;
        m_strUrl = strLocation;
    }
}
