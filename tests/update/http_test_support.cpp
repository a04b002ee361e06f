#include "tests/update/http_test_support.h"

#include "update/win_http_client.h"

#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace http_test {

namespace {
Ports g_ports;
}

std::string StatePath(const char* pszFile) {
    const char* pszState = std::getenv("QD_HTTP_STATE");
    // Wine maps the Unix root to drive Z:.
    return std::string("Z:") + (pszState ? pszState : "") + "/" + pszFile;
}

bool LoadPorts(Ports& ports, std::string& strWhy) {
    if (!std::getenv("QD_HTTP_STATE")) {
        strWhy = "QD_HTTP_STATE is not set";
        return false;
    }
    std::ifstream in(StatePath("ports"));
    if (!in) {
        strWhy = "no " + StatePath("ports") + " (is the http_server fixture running?)";
        return false;
    }
    std::string strLine;
    while (std::getline(in, strLine)) {
        const size_t n = strLine.find('=');
        if (n == std::string::npos)
            continue;
        const std::string strName = strLine.substr(0, n);
        const int nPort = std::atoi(strLine.c_str() + n + 1);
        if (strName == "https")
            ports.nHttps = nPort;
        else if (strName == "untrusted")
            ports.nUntrusted = nPort;
        else if (strName == "http")
            ports.nHttp = nPort;
        else if (strName == "proxy")
            ports.nProxy = nPort;
    }
    g_ports = ports;
    return ports.nHttps && ports.nUntrusted && ports.nHttp && ports.nProxy;
}

bool TrustTestAuthority(std::string& strWhy) {
    std::ifstream in(StatePath("ca.der"), std::ios::binary);
    const std::string der((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (der.empty()) {
        strWhy = "no test authority certificate";
        return false;
    }
    HCERTSTORE hStore =
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    if (!hStore) {
        strWhy = "cannot open the Root store";
        return false;
    }
    const BOOL bAdded = ::CertAddEncodedCertificateToStore(
        hStore, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(der.data()),
        static_cast<DWORD>(der.size()), CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    ::CertCloseStore(hStore, 0);
    if (!bAdded)
        strWhy = "CertAddEncodedCertificateToStore failed";
    return bAdded != FALSE;
}

const Ports& TestPorts() {
    return g_ports;
}

std::string UrlOn(const char* pszScheme, int nPort, const std::string& strQuery) {
    return std::string(pszScheme) + "://localhost:" + std::to_string(nPort) + "/r?" + strQuery;
}

std::string Url(const std::string& strQuery) {
    return UrlOn("https", g_ports.nHttps, strQuery);
}

std::string Control(const std::string& strPathAndQuery) {
    WinHttpClient client("https://localhost:" + std::to_string(g_ports.nHttps) + strPathAndQuery);
    return client.Send("GET", true) ? client.GetText() : "<control request failed>";
}

int RequestCount(const std::string& strKey) {
    return std::atoi(Control("/_count?key=" + strKey).c_str());
}

std::string LastRequest(const std::string& strKey) {
    return Control("/_last?key=" + strKey);
}

int ProxyTunnels() {
    WinHttpClient client("http://127.0.0.1:" + std::to_string(g_ports.nProxy) + "/_tunnels");
    return client.Send("GET", true) ? std::atoi(client.GetText().c_str()) : -1;
}

unsigned char PatternByte(size_t i) {
    return static_cast<unsigned char>(i % 251 + 1);
}

} // namespace http_test
