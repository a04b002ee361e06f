#include "pedal/usb_port.h"

#include "framework/win_app.h"
#include "pedal/port_catalogue.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

namespace {

constexpr const char* kLibraryName = "Ftd2xx.dll";
constexpr const char* kVersionError = "error reading driver version\n";
constexpr char kProbe = 'A';

template <class Fn>
bool Resolve(HMODULE hLibrary, const char* pszName, Fn& pfn) {
    pfn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(hLibrary, pszName)));
    return pfn != nullptr;
}

// The box for an entry point that a call needs but the library did not provide.
void ReportMissing(const char* pszEntryPoint) {
    const std::string strText = std::string(pszEntryPoint) + " is not valid!";
    fw::AfxMessageBox(strText.c_str(), MB_OK);
}

} // namespace

CUSB::CUSB(int nNum) {
    m_nNum = nNum;
}

CUSB::~CUSB() {
    Close();
}

int CUSB::GetType() const {
    return pedal::TypeCode(pedal::PortKind::Usb);
}

int CUSB::LoadDriver() {
    m_bLibraryLoaded = 0;
    // A library this object already holds is used again rather than loaded a second time.
    if (!m_hLibrary)
        m_hLibrary.reset(::LoadLibraryA(kLibraryName));
    if (!m_hLibrary)
        return 1;
    const HMODULE h = m_hLibrary.get();
    const bool bAll =
        Resolve(h, "FT_Write", m_pWrite) && Resolve(h, "FT_Read", m_pRead) &&
        Resolve(h, "FT_Open", m_pOpen) && Resolve(h, "FT_OpenEx", m_pOpenEx) &&
        Resolve(h, "FT_ListDevices", m_pListDevices) && Resolve(h, "FT_Close", m_pClose) &&
        Resolve(h, "FT_ResetDevice", m_pResetDevice) && Resolve(h, "FT_Purge", m_pPurge) &&
        Resolve(h, "FT_SetTimeouts", m_pSetTimeouts) &&
        Resolve(h, "FT_GetQueueStatus", m_pGetQueueStatus) &&
        Resolve(h, "FT_GetDriverVersion", m_pGetDriverVersion) &&
        Resolve(h, "FT_GetLibraryVersion", m_pGetLibraryVersion);
    if (!bAll) {
        // An incomplete library is of no use: give it back now rather than keep a load that
        // nothing would ever release.
        ReleaseDriver();
        return 1;
    }
    m_bLibraryLoaded = 1;
    return 0;
}

void CUSB::ReleaseDriver() {
    m_pWrite = nullptr;
    m_pRead = nullptr;
    m_pOpen = nullptr;
    m_pOpenEx = nullptr;
    m_pListDevices = nullptr;
    m_pClose = nullptr;
    m_pResetDevice = nullptr;
    m_pPurge = nullptr;
    m_pSetTimeouts = nullptr;
    m_pGetQueueStatus = nullptr;
    m_pGetDriverVersion = nullptr;
    m_pGetLibraryVersion = nullptr;
    m_bLibraryLoaded = 0;
    m_hLibrary.reset();
}

void CUSB::FindPedal() {
    m_bPedalFound = 0;
    if (LoadDriver() != 0)
        return;
    if (!m_pListDevices) {
        ReportMissing("FT_ListDevices");
        return;
    }
    DWORD dwCount = 0;
    if (m_pListDevices(&dwCount, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK)
        return;
    // The library fills one buffer per attached device, so the list has room for every device
    // it counted (at least 64); only the first 64 descriptions are looked at.
    const size_t nRoom = dwCount > kMaxScannedDevices ? dwCount : kMaxScannedDevices;
    std::vector<char> buffers(nRoom * kFtDescriptionSize, '\0');
    std::vector<char*> pointers(nRoom + 1, nullptr);
    for (size_t i = 0; i < nRoom; ++i)
        pointers[i] = &buffers[i * kFtDescriptionSize];
    DWORD dwListed = 0;
    if (m_pListDevices(pointers.data(), &dwListed, FT_LIST_ALL | FT_OPEN_BY_DESCRIPTION) != FT_OK)
        return;
    const size_t nScanned = std::min<size_t>({dwListed, nRoom, size_t{kMaxScannedDevices}});
    const std::string_view pedal(kPedalDescription);
    for (size_t i = 0; i < nScanned; ++i) {
        const char* pszDescription = pointers[i];
        const size_t nLength = ::strnlen(pszDescription, kFtDescriptionSize);
        if (std::string_view(pszDescription, nLength) == pedal)
            m_bPedalFound = 1;
    }
}

int CUSB::Open() {
    // Its boxes (a missing entry point, the open error) run a message loop with this call on
    // the stack.
    const BusyScope busy(*this);
    // A new attempt: a device and library this object still holds are given back first.
    Close();
    FindPedal();
    if (!m_bPedalFound) {
        ReleaseDriver();
        return 0;
    }
    char szDescription[kFtDescriptionSize];
    std::strcpy(szDescription, kPedalDescription);
    FT_STATUS status = FT_INVALID_HANDLE;
    if (m_pOpenEx)
        status = m_pOpenEx(szDescription, FT_OPEN_BY_DESCRIPTION, &m_ftHandle);
    else
        ReportMissing("FT_OpenEx");
    if (status == FT_OK) {
        m_bOpen = 1;
        m_bOpenErrorShown = 0;
        return 1;
    }
    m_ftHandle = nullptr;
    ReleaseDriver();
    // A pedal held by another program fails every retry of the main loop: say so once per run
    // of failures, and never while such a box is up (its message loop runs the retries).
    static bool s_bBoxShowing = false;
    if (!m_bOpenErrorShown && !s_bBoxShowing) {
        m_bOpenErrorShown = 1;
        s_bBoxShowing = true;
        char szText[40];
        std::snprintf(szText, sizeof szText, "Open error: %d", static_cast<int>(status));
        fw::ShowMessageBox(nullptr, szText, "USB Open", MB_OK);
        s_bBoxShowing = false;
    }
    return 0;
}

void CUSB::Close() {
    if (m_bOpen) {
        if (m_pClose)
            m_pClose(m_ftHandle);
        else
            ReportMissing("FT_Close");
    }
    m_bOpen = 0;
    m_ftHandle = nullptr;
    ReleaseDriver();
}

void CUSB::SendProbe() {
    if (!m_bOpen)
        return;
    if (!m_pWrite) {
        ReportMissing("FT_Write");
        return;
    }
    char byte = kProbe;
    DWORD dwWritten = 0;
    m_pWrite(m_ftHandle, &byte, 1, &dwWritten);
}

int CUSB::IsPressed() {
    if (!m_bOpen)
        return 0;
    DWORD dwWaiting = 0;
    FT_STATUS status = FT_INVALID_HANDLE;
    if (m_pGetQueueStatus)
        status = m_pGetQueueStatus(m_ftHandle, &dwWaiting);
    else
        ReportMissing("FT_GetQueueStatus");
    if (status != FT_OK) {
        Close();
        return 0;
    }
    if (dwWaiting == 0) {
        SendProbe();
        return 0;
    }
    if (m_pPurge)
        m_pPurge(m_ftHandle, FT_PURGE_RX);
    else
        ReportMissing("FT_Purge");
    SendProbe();
    return 1;
}

std::string CUSB::GetDriverVersionText() {
    if (!m_bLibraryLoaded || !m_pGetDriverVersion)
        return kVersionError;
    DWORD dwVersion = 0;
    if (m_pGetDriverVersion(m_ftHandle, &dwVersion) != FT_OK)
        return kVersionError;
    return pedal::FormatDriverVersion(dwVersion);
}
