// Starts another program from a test and keeps hold of it: its process, its main window and
// how it ended.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace qdtest {

// One started process, ended by the destructor if it still runs.
class Program {
public:
    Program() = default;
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Environment variables ("NAME=value", or "NAME=" to remove one) and command-line arguments
    // for the next Launch or Start, on top of this process's own environment.
    std::vector<std::string> env;
    std::string args;

    // Starts `exe` (a full Windows path) in `workDir` (the caller's when null). False with the
    // reason in `why` when it cannot start.
    bool Launch(const std::string& exe, std::string& why, const char* workDir = nullptr);
    // The same for a path that may hold any letter.
    bool Launch(const std::wstring& exe, std::string& why, const char* workDir = nullptr);
    // Waits up to `timeoutMs` for the process's first visible unowned top-level window (Main).
    // False with the reason in `why` when the process ends first or shows no window in time.
    bool WaitMain(DWORD timeoutMs, std::string& why);
    // Launch, then WaitMain.
    bool Start(const std::string& exe, std::string& why, DWORD timeoutMs = 30000,
               const char* workDir = nullptr);

    HWND Main() const { return m_main; }
    DWORD Pid() const { return m_pid; }
    HANDLE Process() const { return m_process; }
    bool Running() const;

    // Waits for the end of the process and returns its exit code; on timeout records a test
    // failure, ends the process and returns -1.
    int WaitExit(DWORD timeoutMs);

private:
    void Kill();
    std::string m_exe;
    HANDLE m_process = nullptr;
    DWORD m_pid = 0;
    HWND m_main = nullptr;
};

// Text of the ANSI code page in UTF-16.
std::wstring WideFromAnsi(const std::string& text);

// Polls `condition` every 10 ms for up to `timeoutMs`; true as soon as it holds.
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

} // namespace qdtest
