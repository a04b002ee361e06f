// A test's side of the fake Ftd2xx.dll: the control block, cleared for each test, and the folder
// of the library variant that the DLL search finds ("full", "incomplete" or "none", under the
// folder named by QD_FAKE_FTD2XX).
#pragma once

#include "tests/tools/fake_ftd2xx_control.h"
#include "tests/tools/wine_test_paths.h"

#include <windows.h>

#include <cstring>
#include <string>

namespace fake_ftd2xx {

class Session {
public:
    Session() {
        // The mapping lives as long as the process, so that a library still loaded by a failed
        // test keeps a valid block.
        static HANDLE s_hMapping =
            ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Control),
                                 MappingName(::GetCurrentProcessId()).c_str());
        if (s_hMapping)
            m_pControl = static_cast<Control*>(
                ::MapViewOfFile(s_hMapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Control)));
        if (m_pControl)
            std::memset(m_pControl, 0, sizeof *m_pControl);
    }
    ~Session() {
        ::SetDllDirectoryA(nullptr);
        if (m_pControl)
            ::UnmapViewOfFile(m_pControl);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // False when the block could not be made; the other members need it.
    bool Ready() const { return m_pControl != nullptr; }
    Control* operator->() const { return m_pControl; }

    // Points the DLL search at a variant's folder; false when QD_FAKE_FTD2XX is not set.
    bool UseLibrary(const char* variant) const {
        const std::string folder = qdtest::FolderFromEnv("QD_FAKE_FTD2XX");
        return !folder.empty() && ::SetDllDirectoryA((folder + variant).c_str());
    }

    Device& AddDevice(const char* description) const {
        Device& device = m_pControl->devices[m_pControl->nDevices++];
        std::strncpy(device.szDescription, description, sizeof device.szDescription - 1);
        return device;
    }

    // Library instances loaded now.
    int Loaded() const { return m_pControl->nAttached - m_pControl->nDetached; }

private:
    Control* m_pControl = nullptr;
};

} // namespace fake_ftd2xx
