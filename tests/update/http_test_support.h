// Access to the loopback test servers of tests/tools/http_test_server.py from a Windows test:
// their ports, the addresses the tests steer them with, the request counters, and trust in the
// test authority inside this Wine prefix.
#pragma once

#include <cstddef>
#include <string>

namespace http_test {

struct Ports {
    int nHttps = 0;     // certificate issued by the test authority
    int nUntrusted = 0; // self-signed certificate
    int nHttp = 0;      // plain HTTP
    int nProxy = 0;     // CONNECT proxy
};

// Reads $QD_HTTP_STATE/ports; false with a reason when the servers are not running.
bool LoadPorts(Ports& ports, std::string& strWhy);
// Adds $QD_HTTP_STATE/ca.der to the current user's Root store of this prefix.
bool TrustTestAuthority(std::string& strWhy);
// The Unix folder the servers keep their state in, as a Windows path.
std::string StatePath(const char* pszFile);

const Ports& TestPorts();
// "https://localhost:<port>/r?<query>" on the trusted server.
std::string Url(const std::string& strQuery);
std::string UrlOn(const char* pszScheme, int nPort, const std::string& strQuery);
// A GET to a control path of the trusted server (through a fresh client), its body text.
std::string Control(const std::string& strPathAndQuery);
int RequestCount(const std::string& strKey);
std::string LastRequest(const std::string& strKey);
// Requests the proxy has tunnelled so far.
int ProxyTunnels();
// Byte i of a "body=N" response (never zero).
unsigned char PatternByte(size_t i);

} // namespace http_test
