// The control block shared between a test and the fake Ftd2xx.dll it loads.
//
// The block is a named file mapping private to the test's process (its name carries the process
// id), so the devices the test describes survive the library's loads and unloads and the test
// can count them. The test creates the block before the first load; the library opens it when
// it is attached, or makes an empty one if no test did.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace fake_ftd2xx {

inline constexpr int kMaxDevices = 100;
inline constexpr int kDescriptionSize = 64;

struct Device {
    char szDescription[kDescriptionSize];
    // Loops every written byte back into the receive queue.
    std::uint32_t bPressed;
    // Neither listed nor openable; an open handle on it fails every call.
    std::uint32_t bUnplugged;
    std::uint32_t bOpen;
    std::uint32_t nRxQueued;
    std::uint32_t nBytesWritten;
    std::uint32_t nPurges;
    std::uint32_t nOpens;
    std::uint32_t nCloses;
    unsigned char lastWritten;
};

struct Control {
    std::uint32_t nDevices;
    Device devices[kMaxDevices];
    // When non-zero, every FT_OpenEx fails with this status.
    std::uint32_t nOpenExStatus;
    std::uint32_t nDriverVersion;
    // Library instances: attached minus detached is the number currently loaded.
    std::int32_t nAttached;
    std::int32_t nDetached;
    std::uint32_t nListCalls;
    // FT_LIST_ALL calls whose pointer list ended before the last attached device.
    std::uint32_t nShortLists;
    // Calls made with a handle that is not an open device of this library.
    std::uint32_t nBadHandleCalls;
    char szLastOpenEx[kDescriptionSize];
};

inline std::string MappingName(DWORD dwProcessId) {
    char szName[64];
    std::snprintf(szName, sizeof szName, "Local\\QdFakeFtd2xx.%lu",
                  static_cast<unsigned long>(dwProcessId));
    return szName;
}

} // namespace fake_ftd2xx
