// A stand-in for the USB pedal vendor's Ftd2xx.dll: the twelve entry points the program
// resolves, over devices that the test describes in the shared control block. A written byte
// comes back into the receive queue while the device is "pressed"; an unplugged device fails
// every call. Built twice: complete, and without FT_GetLibraryVersion (FAKE_FTD2XX_INCOMPLETE).
#include "pedal/d2xx.h"
#include "tests/tools/fake_ftd2xx_control.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

HANDLE g_hMapping = nullptr;
fake_ftd2xx::Control* g_pControl = nullptr;

// Handles are small numbers in disguise: device index plus one, shifted off page zero.
constexpr std::uintptr_t kHandleBase = 0x4D000;

FT_HANDLE HandleOf(std::uint32_t nIndex) {
    return reinterpret_cast<FT_HANDLE>(kHandleBase + nIndex + 1);
}

// The open, plugged-in device behind `h`, or null (counted as a bad call).
fake_ftd2xx::Device* DeviceOf(FT_HANDLE h) {
    const std::uintptr_t n = reinterpret_cast<std::uintptr_t>(h);
    if (!g_pControl || n <= kHandleBase || n > kHandleBase + g_pControl->nDevices) {
        if (g_pControl)
            ++g_pControl->nBadHandleCalls;
        return nullptr;
    }
    fake_ftd2xx::Device& device = g_pControl->devices[n - kHandleBase - 1];
    if (!device.bOpen) {
        ++g_pControl->nBadHandleCalls;
        return nullptr;
    }
    return &device;
}

// FT_OK with the device behind `h` when it can be used now; the status a call on it returns
// otherwise.
FT_STATUS Reach(FT_HANDLE h, fake_ftd2xx::Device*& pDevice) {
    pDevice = DeviceOf(h);
    if (!pDevice)
        return FT_INVALID_HANDLE;
    return pDevice->bUnplugged ? FT_IO_ERROR : FT_OK;
}

std::uint32_t DeviceCount() {
    if (!g_pControl)
        return 0;
    return g_pControl->nDevices < fake_ftd2xx::kMaxDevices ? g_pControl->nDevices
                                                           : fake_ftd2xx::kMaxDevices;
}

} // namespace

extern "C" {

FT_STATUS WINAPI FT_Write(FT_HANDLE h, LPVOID pBuffer, DWORD dwCount, LPDWORD pdwWritten) {
    if (pdwWritten)
        *pdwWritten = 0;
    fake_ftd2xx::Device* pDevice;
    if (const FT_STATUS status = Reach(h, pDevice))
        return status;
    pDevice->nBytesWritten += dwCount;
    if (dwCount)
        pDevice->lastWritten = static_cast<unsigned char*>(pBuffer)[dwCount - 1];
    if (pDevice->bPressed)
        pDevice->nRxQueued += dwCount;
    if (pdwWritten)
        *pdwWritten = dwCount;
    return FT_OK;
}

FT_STATUS WINAPI FT_Read(FT_HANDLE h, LPVOID pBuffer, DWORD dwCount, LPDWORD pdwRead) {
    if (pdwRead)
        *pdwRead = 0;
    fake_ftd2xx::Device* pDevice;
    if (const FT_STATUS status = Reach(h, pDevice))
        return status;
    const DWORD dwRead = dwCount < pDevice->nRxQueued ? dwCount : pDevice->nRxQueued;
    std::memset(pBuffer, 'A', dwRead);
    pDevice->nRxQueued -= dwRead;
    if (pdwRead)
        *pdwRead = dwRead;
    return FT_OK;
}

FT_STATUS WINAPI FT_Open(int iDevice, FT_HANDLE* pHandle) {
    if (iDevice < 0 || static_cast<std::uint32_t>(iDevice) >= DeviceCount())
        return FT_DEVICE_NOT_FOUND;
    fake_ftd2xx::Device& device = g_pControl->devices[iDevice];
    if (device.bUnplugged)
        return FT_DEVICE_NOT_FOUND;
    if (device.bOpen)
        return FT_DEVICE_NOT_OPENED;
    device.bOpen = 1;
    ++device.nOpens;
    *pHandle = HandleOf(iDevice);
    return FT_OK;
}

FT_STATUS WINAPI FT_OpenEx(PVOID pArg1, DWORD dwFlags, FT_HANDLE* pHandle) {
    if (!g_pControl)
        return FT_DEVICE_NOT_FOUND;
    const char* pszWanted = static_cast<const char*>(pArg1);
    std::strncpy(g_pControl->szLastOpenEx, pszWanted ? pszWanted : "",
                 fake_ftd2xx::kDescriptionSize - 1);
    if (dwFlags != FT_OPEN_BY_DESCRIPTION || !pszWanted || !pHandle)
        return FT_INVALID_PARAMETER;
    if (g_pControl->nOpenExStatus != FT_OK)
        return g_pControl->nOpenExStatus;
    for (std::uint32_t i = 0; i < DeviceCount(); ++i) {
        fake_ftd2xx::Device& device = g_pControl->devices[i];
        if (device.bUnplugged || std::strcmp(device.szDescription, pszWanted) != 0)
            continue;
        if (device.bOpen)
            return FT_DEVICE_NOT_OPENED;
        device.bOpen = 1;
        ++device.nOpens;
        *pHandle = HandleOf(i);
        return FT_OK;
    }
    return FT_DEVICE_NOT_FOUND;
}

FT_STATUS WINAPI FT_ListDevices(PVOID pArg1, PVOID pArg2, DWORD dwFlags) {
    if (!g_pControl)
        return FT_IO_ERROR;
    ++g_pControl->nListCalls;
    std::uint32_t nPresent = 0;
    for (std::uint32_t i = 0; i < DeviceCount(); ++i)
        nPresent += g_pControl->devices[i].bUnplugged ? 0 : 1;
    if (dwFlags == FT_LIST_NUMBER_ONLY) {
        if (!pArg1 || pArg2)
            return FT_INVALID_PARAMETER;
        *static_cast<DWORD*>(pArg1) = nPresent;
        return FT_OK;
    }
    if (dwFlags != (FT_LIST_ALL | FT_OPEN_BY_DESCRIPTION) || !pArg1 || !pArg2)
        return FT_INVALID_PARAMETER;
    // Like the vendor's library, one description per attached device; a list that ends early
    // is noted rather than overrun.
    char** ppBuffers = static_cast<char**>(pArg1);
    std::uint32_t nWritten = 0;
    for (std::uint32_t i = 0; i < DeviceCount(); ++i) {
        const fake_ftd2xx::Device& device = g_pControl->devices[i];
        if (device.bUnplugged)
            continue;
        if (!ppBuffers[nWritten]) {
            ++g_pControl->nShortLists;
            break;
        }
        std::memcpy(ppBuffers[nWritten], device.szDescription, fake_ftd2xx::kDescriptionSize);
        ++nWritten;
    }
    *static_cast<DWORD*>(pArg2) = nWritten;
    return FT_OK;
}

FT_STATUS WINAPI FT_Close(FT_HANDLE h) {
    fake_ftd2xx::Device* pDevice = DeviceOf(h);
    if (!pDevice)
        return FT_INVALID_HANDLE;
    pDevice->bOpen = 0;
    ++pDevice->nCloses;
    return pDevice->bUnplugged ? FT_IO_ERROR : FT_OK;
}

FT_STATUS WINAPI FT_ResetDevice(FT_HANDLE h) {
    fake_ftd2xx::Device* pDevice;
    return Reach(h, pDevice);
}

FT_STATUS WINAPI FT_Purge(FT_HANDLE h, ULONG ulMask) {
    fake_ftd2xx::Device* pDevice;
    if (const FT_STATUS status = Reach(h, pDevice))
        return status;
    ++pDevice->nPurges;
    if (ulMask & FT_PURGE_RX)
        pDevice->nRxQueued = 0;
    return FT_OK;
}

FT_STATUS WINAPI FT_SetTimeouts(FT_HANDLE h, ULONG, ULONG) {
    fake_ftd2xx::Device* pDevice;
    return Reach(h, pDevice);
}

FT_STATUS WINAPI FT_GetQueueStatus(FT_HANDLE h, DWORD* pdwRx) {
    fake_ftd2xx::Device* pDevice;
    if (const FT_STATUS status = Reach(h, pDevice))
        return status;
    *pdwRx = pDevice->nRxQueued;
    return FT_OK;
}

FT_STATUS WINAPI FT_GetDriverVersion(FT_HANDLE h, LPDWORD pdwVersion) {
    fake_ftd2xx::Device* pDevice;
    if (const FT_STATUS status = Reach(h, pDevice))
        return status;
    *pdwVersion = g_pControl->nDriverVersion;
    return FT_OK;
}

#ifndef FAKE_FTD2XX_INCOMPLETE
FT_STATUS WINAPI FT_GetLibraryVersion(LPDWORD pdwVersion) {
    *pdwVersion = 0x00030215;
    return FT_OK;
}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID) {
    if (dwReason == DLL_PROCESS_ATTACH) {
        const std::string strName = fake_ftd2xx::MappingName(::GetCurrentProcessId());
        g_hMapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          sizeof(fake_ftd2xx::Control), strName.c_str());
        if (!g_hMapping)
            return FALSE;
        const bool bMadeHere = ::GetLastError() != ERROR_ALREADY_EXISTS;
        g_pControl = static_cast<fake_ftd2xx::Control*>(
            ::MapViewOfFile(g_hMapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(fake_ftd2xx::Control)));
        if (!g_pControl)
            return FALSE;
        // A program started by a test (rather than the test itself) finds its device in the
        // environment, so that it is there from the program's first look.
        char szDevice[fake_ftd2xx::kDescriptionSize] = {};
        if (bMadeHere &&
            ::GetEnvironmentVariableA("QD_FAKE_FTD2XX_DEVICE", szDevice, sizeof szDevice) > 0) {
            std::memcpy(g_pControl->devices[0].szDescription, szDevice, sizeof szDevice);
            g_pControl->nDevices = 1;
            char szDriver[16] = {};
            if (::GetEnvironmentVariableA("QD_FAKE_FTD2XX_DRIVER", szDriver, sizeof szDriver) > 0)
                g_pControl->nDriverVersion = std::strtoul(szDriver, nullptr, 16);
        }
        ++g_pControl->nAttached;
    } else if (dwReason == DLL_PROCESS_DETACH && g_pControl) {
        ++g_pControl->nDetached;
        ::UnmapViewOfFile(g_pControl);
        ::CloseHandle(g_hMapping);
        g_pControl = nullptr;
    }
    return TRUE;
}

} // extern "C"
