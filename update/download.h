// DownloadToFile: fetches one installer over HTTPS into a local file, for the update service.
#pragma once

#include <string>

// What DownloadToFile did.
enum DownloadResult : int {
    kDownloadOk = 0,     // the body was received with status 200 and written to the file
    kDownloadFailed = 1, // no response, or a status other than 200: nothing is written
    kDownloadEmpty = 2,  // a 200 response without a single body byte: no file is made
    kDownloadNoFile = 3, // the file could not be opened or written whole (nothing is left)
};

// The user-agent text installer downloads announce.
extern const char* const kDownloadUserAgent;

// Fetches strUrl with GET (WinHTTP follows redirects) and writes the whole body to strFile,
// creating or emptying it. An error page is never saved: it could be launched as an installer.
int DownloadToFile(const std::string& strUrl, const std::string& strFile);
