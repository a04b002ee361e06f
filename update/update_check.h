// The update check's two halves: a worker thread asks the maker's version script once per run
// and leaves what it announced here; the toolbar's timer loop reads it once the flag is up.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Written by the worker only, before g_nCheckDone is raised; read by the window thread only
// after it has seen the flag at 1. Empty when the reply was unusable.
extern std::string& g_strLatestVersion;
extern std::string& g_strLatestDriver;
// 0 until both texts are complete, then 1 for the rest of the run. Stored with release
// ordering; load it with acquire ordering before reading the texts.
extern std::atomic<int32_t> g_nCheckDone;

// Thread procedure for _beginthread (the argument is not used): fetches the version script,
// stores the announced versions and raises g_nCheckDone. Shows nothing, touches no window.
// First it removes the download folders earlier updates left (an installer that was running
// could not be deleted then).
void __cdecl CheckForUpdates(void* pUnused);

// The two installers' names in the maker's download folder.
inline constexpr const char* kDriverInstallerName = "Pedalvane.exe";
inline constexpr const char* kProgramInstallerName = "QuillodromeUpdateFr.exe";
