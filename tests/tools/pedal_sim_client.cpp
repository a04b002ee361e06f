#include "tests/tools/pedal_sim_client.h"

#include "tests/tools/wine_test_paths.h"

#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace pedal_sim {

Client::~Client() {
    if (m_socket != ~0ull)
        ::closesocket(static_cast<SOCKET>(m_socket));
}

bool Client::Connect(std::string& why) {
    const std::string folder = qdtest::FolderFromEnv("QD_PEDAL_SIM");
    if (folder.empty()) {
        why = "QD_PEDAL_SIM is not set";
        return false;
    }
    std::ifstream in(folder + "port");
    int port = 0;
    if (!(in >> port) || port <= 0) {
        why = "no " + folder + "port (is the pedal_sim fixture running?)";
        return false;
    }
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        why = "WSAStartup failed";
        return false;
    }
    SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(static_cast<u_short>(port));
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    if (s == INVALID_SOCKET ||
        ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        why = "cannot reach the simulator on port " + std::to_string(port);
        if (s != INVALID_SOCKET)
            ::closesocket(s);
        return false;
    }
    BOOL noDelay = TRUE;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                 sizeof noDelay);
    m_socket = s;
    return true;
}

std::string Client::Ask(const std::string& request) {
    const SOCKET s = static_cast<SOCKET>(m_socket);
    const std::string line = request + "\n";
    if (m_socket == ~0ull ||
        ::send(s, line.data(), static_cast<int>(line.size()), 0) != static_cast<int>(line.size()))
        return "<no answer>";
    for (;;) {
        const size_t end = m_pending.find('\n');
        if (end != std::string::npos) {
            std::string answer = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            return answer;
        }
        char buffer[512];
        const int n = ::recv(s, buffer, sizeof buffer, 0);
        if (n <= 0)
            return "<no answer>";
        m_pending.append(buffer, n);
    }
}

bool Client::OpenPort(int n, std::string& why) {
    const std::string answer = Ask("open " + std::to_string(n));
    if (answer.rfind("ok ", 0) != 0) {
        why = "simulator: " + answer;
        return false;
    }
    const std::string path = answer.substr(3);
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Wine\\Ports", 0, nullptr, 0, KEY_SET_VALUE,
                          nullptr, &key, nullptr) != ERROR_SUCCESS) {
        why = "cannot create HKLM\\Software\\Wine\\Ports";
        return false;
    }
    const std::string name = "COM" + std::to_string(n);
    const LONG result =
        ::RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                         static_cast<DWORD>(path.size() + 1));
    ::RegCloseKey(key);
    if (result != ERROR_SUCCESS) {
        why = "cannot write the port mapping";
        return false;
    }
    return true;
}

int Client::Holders(int n) {
    int count = -1;
    if (std::sscanf(Ask("holders " + std::to_string(n)).c_str(), "holders %d", &count) != 1)
        return -1;
    return count;
}

int Client::Received(int n, int* last) {
    const std::string answer = Ask("received " + std::to_string(n));
    int count = -1;
    char hex[8] = {};
    if (std::sscanf(answer.c_str(), "count %d last %7s", &count, hex) != 2)
        return -1;
    if (last)
        *last = hex[0] == '-' ? -1 : static_cast<int>(std::strtol(hex, nullptr, 16));
    return count;
}

} // namespace pedal_sim
