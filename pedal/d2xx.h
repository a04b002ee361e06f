// The part of the USB pedal vendor's D2XX interface that the program uses, declared from its
// published reference. The library is loaded at run time; nothing here is linked.
#pragma once

#include <windows.h>

using FT_HANDLE = void*;
using FT_STATUS = ULONG;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_IO_ERROR = 4,
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
};

enum : DWORD {
    FT_OPEN_BY_SERIAL_NUMBER = 1,
    FT_OPEN_BY_DESCRIPTION = 2,
    FT_LIST_NUMBER_ONLY = 0x80000000,
    FT_LIST_BY_INDEX = 0x40000000,
    FT_LIST_ALL = 0x20000000,
};

enum : ULONG {
    FT_PURGE_RX = 1,
    FT_PURGE_TX = 2,
};

// A description in a device list fills at most this many bytes, terminator included.
inline constexpr int kFtDescriptionSize = 64;

extern "C" {
using PFN_FT_Write = FT_STATUS(WINAPI*)(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToWrite,
                                        LPDWORD lpdwBytesWritten);
using PFN_FT_Read = FT_STATUS(WINAPI*)(FT_HANDLE ftHandle, LPVOID lpBuffer, DWORD dwBytesToRead,
                                       LPDWORD lpdwBytesReturned);
using PFN_FT_Open = FT_STATUS(WINAPI*)(int iDevice, FT_HANDLE* pHandle);
// pArg1 is the description (with FT_OPEN_BY_DESCRIPTION) or serial number.
using PFN_FT_OpenEx = FT_STATUS(WINAPI*)(PVOID pArg1, DWORD dwFlags, FT_HANDLE* pHandle);
// FT_LIST_NUMBER_ONLY: pArg1 is a DWORD* for the count, pArg2 null. FT_LIST_ALL with
// FT_OPEN_BY_DESCRIPTION: pArg1 is a null-terminated array of pointers to 64-byte buffers,
// pArg2 a DWORD* for the count.
using PFN_FT_ListDevices = FT_STATUS(WINAPI*)(PVOID pArg1, PVOID pArg2, DWORD dwFlags);
using PFN_FT_Close = FT_STATUS(WINAPI*)(FT_HANDLE ftHandle);
using PFN_FT_ResetDevice = FT_STATUS(WINAPI*)(FT_HANDLE ftHandle);
using PFN_FT_Purge = FT_STATUS(WINAPI*)(FT_HANDLE ftHandle, ULONG ulMask);
using PFN_FT_SetTimeouts = FT_STATUS(WINAPI*)(FT_HANDLE ftHandle, ULONG ulReadTimeout,
                                              ULONG ulWriteTimeout);
using PFN_FT_GetQueueStatus = FT_STATUS(WINAPI*)(FT_HANDLE ftHandle, DWORD* lpdwAmountInRxQueue);
using PFN_FT_GetDriverVersion = FT_STATUS(WINAPI*)(FT_HANDLE ftHandle, LPDWORD lpdwVersion);
using PFN_FT_GetLibraryVersion = FT_STATUS(WINAPI*)(LPDWORD lpdwVersion);
}
