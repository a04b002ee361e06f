// CUSB: the USB foot switch, an FTDI chip whose description is "Quillodrome Switch One",
// reached through the vendor's Ftd2xx.dll.
//
// The library is loaded by plain name (the system's search order applies) only while a device
// is being looked for or is open, and released whenever the port ends up closed, so each load
// is balanced by one release and no entry point of a released library is ever called. The
// switch loops the probe byte back like the serial one; anything waiting in the chip's receive
// queue counts as pressed.
#pragma once

#include "framework/handle.h"
#include "pedal/d2xx.h"
#include "pedal/port.h"

#include <string>

class CUSB : public CPort {
public:
    // The description the pedal's chip reports, compared exactly, letter case included.
    static constexpr const char* kPedalDescription = "Quillodrome Switch One";
    // The most devices one scan lists; further ones are not looked at.
    static constexpr int kMaxScannedDevices = 64;

    explicit CUSB(int nNum);
    ~CUSB() override;

    int GetType() const override;
    bool IsPolled() const override { return true; }
    // Scans the devices afresh and opens the pedal by description. Silent when the library,
    // the device or the description is missing; a box "Open error: <status>" when the pedal is
    // listed but will not open.
    int Open() override;
    // Closes the device and releases the library.
    void Close() override;
    // Never waits: the queue status is read before anything is discarded.
    int IsPressed() override;

    // The opened pedal's driver version "xx.yy.zz", or "error reading driver version\n".
    std::string GetDriverVersionText();

    // 0 when the library is loaded and all twelve entry points are resolved.
    int LoadDriver();
    // Lists the attached devices and sets m_bPedalFound.
    void FindPedal();
    void SendProbe();

    FT_HANDLE m_ftHandle = nullptr;
    fw::UniqueModule m_hLibrary;
    PFN_FT_Write m_pWrite = nullptr;
    PFN_FT_Read m_pRead = nullptr;
    PFN_FT_Open m_pOpen = nullptr;
    PFN_FT_OpenEx m_pOpenEx = nullptr;
    PFN_FT_ListDevices m_pListDevices = nullptr;
    PFN_FT_Close m_pClose = nullptr;
    PFN_FT_ResetDevice m_pResetDevice = nullptr;
    PFN_FT_Purge m_pPurge = nullptr;
    PFN_FT_SetTimeouts m_pSetTimeouts = nullptr;
    PFN_FT_GetQueueStatus m_pGetQueueStatus = nullptr;
    PFN_FT_GetDriverVersion m_pGetDriverVersion = nullptr;
    PFN_FT_GetLibraryVersion m_pGetLibraryVersion = nullptr;
    int m_bLibraryLoaded = 0;
    int m_bPedalFound = 0;
    // The "Open error" box was shown since this object last opened the pedal.
    int m_bOpenErrorShown = 0;

private:
    // Forgets every entry point and gives the library back.
    void ReleaseDriver();
};
