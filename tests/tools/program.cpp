#include "tests/tools/program.h"

#include "tests/tools/process_windows.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qdtest {

namespace {
// The environment of this process with `changes` ("NAME=value", "NAME=" removes) applied, as
// CreateProcess takes it.
std::string EnvironmentBlock(const std::vector<std::string>& changes) {
    std::vector<std::string> vars;
    char* own = ::GetEnvironmentStringsA();
    for (const char* v = own; *v; v += std::strlen(v) + 1)
        vars.emplace_back(v);
    ::FreeEnvironmentStringsA(own);
    for (const std::string& change : changes) {
        const size_t eq = change.find('=', 1);
        const std::string name = change.substr(0, eq + 1);
        std::erase_if(vars, [&](const std::string& v) {
            return v.size() >= name.size() && _strnicmp(v.c_str(), name.c_str(), name.size()) == 0;
        });
        if (eq != std::string::npos && eq + 1 < change.size())
            vars.push_back(change);
    }
    std::string block;
    for (const std::string& v : vars)
        block += v + '\0';
    return block + '\0';
}
} // namespace

Program::~Program() {
    Kill();
}

bool Program::Launch(const std::string& exe, std::string& why, const char* workDir) {
    return Launch(WideFromAnsi(exe), why, workDir);
}

bool Program::Launch(const std::wstring& exe, std::string& why, const char* workDir) {
    Kill();
    std::wstring cmd = L"\"" + exe + L"\"" + (args.empty() ? L"" : L" " + WideFromAnsi(args));
    std::string block = EnvironmentBlock(env);
    const std::wstring folder = workDir ? WideFromAnsi(workDir) : L"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // For messages only: letters outside the ANSI code page show as the system replaces them.
    std::string name(exe.size() * 2 + 1, '\0');
    name.resize(static_cast<size_t>(::WideCharToMultiByte(
        CP_ACP, 0, exe.c_str(), -1, name.data(), static_cast<int>(name.size()), nullptr, nullptr)));
    name.resize(name.empty() ? 0 : name.size() - 1);
    if (!::CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, block.data(),
                          workDir ? folder.c_str() : nullptr, &si, &pi)) {
        why = "cannot start " + name + " (error " + std::to_string(::GetLastError()) + ")";
        return false;
    }
    ::CloseHandle(pi.hThread);
    m_exe = name;
    m_process = pi.hProcess;
    m_pid = pi.dwProcessId;
    return true;
}

bool Program::WaitMain(DWORD timeoutMs, std::string& why) {
    WaitUntil(
        [&] {
            m_main = FindVisibleTopLevel(m_pid);
            return m_main || !Running();
        },
        timeoutMs);
    if (m_main)
        return true;
    DWORD code = 0;
    ::GetExitCodeProcess(m_process, &code);
    why = Running() ? m_exe + " showed no window within " + std::to_string(timeoutMs) + " ms"
                    : m_exe + " ended with code " + std::to_string(code) + " before any window";
    return false;
}

bool Program::Start(const std::string& exe, std::string& why, DWORD timeoutMs,
                    const char* workDir) {
    return Launch(exe, why, workDir) && WaitMain(timeoutMs, why);
}

bool Program::Running() const {
    return m_process && ::WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

int Program::WaitExit(DWORD timeoutMs) {
    if (!m_process)
        return -1;
    if (::WaitForSingleObject(m_process, timeoutMs) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "process " << m_pid << " still runs after " << timeoutMs << " ms";
        Kill();
        return -1;
    }
    DWORD code = 0;
    ::GetExitCodeProcess(m_process, &code);
    return static_cast<int>(code);
}

void Program::Kill() {
    if (!m_process)
        return;
    if (Running()) {
        ::TerminateProcess(m_process, 1);
        ::WaitForSingleObject(m_process, 5000);
    }
    ::CloseHandle(m_process);
    m_process = nullptr;
    m_pid = 0;
    m_main = nullptr;
}

std::wstring WideFromAnsi(const std::string& text) {
    std::wstring wide(text.size(), L'\0');
    wide.resize(static_cast<size_t>(
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                              static_cast<int>(wide.size()))));
    return wide;
}

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount() - start >= timeoutMs)
            return false;
        ::Sleep(10);
    }
}

} // namespace qdtest
