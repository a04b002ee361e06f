// The Windows side of the serial pedal simulator (tests/tools/pedal_sim.py): a loopback
// connection to it, one request line and one answer line at a time.
#pragma once

#include <string>

namespace pedal_sim {

class Client {
public:
    Client() = default;
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    // Connects to the simulator whose state folder is named by QD_PEDAL_SIM; false with the
    // reason in `why` when it is not running.
    bool Connect(std::string& why);
    // Sends one request and returns the answer line ("<no answer>" when the link is lost).
    std::string Ask(const std::string& request);

    // Makes COM`n` a released switch on a fresh line, mapped into the prefix both directly and
    // under HKLM\Software\Wine\Ports. False when the simulator or the registry refused.
    bool OpenPort(int n, std::string& why);
    void Press(int n) { Ask("press " + std::to_string(n)); }
    void Release(int n) { Ask("release " + std::to_string(n)); }
    void Queue(int n, int count) {
        Ask("queue " + std::to_string(n) + " " + std::to_string(count));
    }
    void Unplug(int n) { Ask("unplug " + std::to_string(n)); }
    void Plug(int n) { Ask("plug " + std::to_string(n)); }
    void NotALine(int n) { Ask("notaline " + std::to_string(n)); }
    // Open files on the host that refer to COM`n`'s device: each handle open on it in Wine
    // counts (-1 when the simulator did not answer).
    int Holders(int n);
    void Clear(int n) { Ask("clear " + std::to_string(n)); }
    std::string Settings(int n) { return Ask("settings " + std::to_string(n)); }
    // Bytes the program sent since the last Clear, and the last of them (-1 when none).
    int Received(int n, int* last = nullptr);

private:
    unsigned long long m_socket = ~0ull;
    std::string m_pending;
};

} // namespace pedal_sim
