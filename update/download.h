// DownloadToFile: fetches one installer over HTTPS into a local file, for the update service;
// and the private folders such downloads go into.
#pragma once

#include "framework/transfer_watch.h"

#include <cstdint>
#include <string>

// What DownloadToFile did.
enum DownloadResult : int {
    kDownloadOk = 0,        // the body was received with status 200 and written to the file
    kDownloadFailed = 1,    // no response, or a status other than 200: nothing is written
    kDownloadEmpty = 2,     // a 200 response without a single body byte: no file is made
    kDownloadNoFile = 3,    // the file could not be made new or written whole (nothing is left)
    kDownloadCancelled = 4, // stopped through the watch: nothing is written
};

// Beyond these an installer download fails: no installer of ours comes near the size, and a
// server that trickles bytes must not hold the update for ever.
inline constexpr uint32_t kMaxInstallerBytes = 256u << 20;
inline constexpr uint32_t kDownloadDeadlineMs = 10 * 60 * 1000;

// The user-agent text installer downloads announce.
extern const char* const kDownloadUserAgent;

// Fetches strUrl with GET, following redirects on the same host over https only, and writes the
// whole body to strFile, which must not exist yet: a file someone else put there first is never
// taken over. An error page is never saved: it could be launched as an installer.
// With pWatch, for a download on a worker thread: the progress goes there, and its cancel stops
// the download.
int DownloadToFile(const std::string& strUrl, const std::wstring& strFile,
                   fw::TransferWatch* pWatch = nullptr);

// Local paths are UTF-16: the temporary folder lies under the user's own folder, whose name may
// hold letters outside the ANSI code page (a Polish or Greek user name).

// The folder for temporary files as the system reports it, with its final backslash; empty when
// the system cannot tell (nothing is then ever put in the current folder instead).
std::wstring TempFolder();

// Makes a new folder for one download under strParent (which ends with a backslash) that only
// the current user can open, and returns its path with a final backslash; empty when none could
// be made. A folder of that name made by anyone else beforehand is never used.
std::wstring MakeDownloadFolder(const std::wstring& strParent);
// Removes a folder MakeDownloadFolder made, with the files in it; what cannot be deleted now (an
// installer still running) stays for RemoveDownloadFolders.
void RemoveDownloadFolder(const std::wstring& strFolder);
// Removes the folders earlier downloads left under strParent.
void RemoveDownloadFolders(const std::wstring& strParent);
