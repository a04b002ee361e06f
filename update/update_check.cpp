#include "update/update_check.h"

#include "maker/maker_site.h"
#include "update/download.h"
#include "update/request.h"
#include "update/update_reply.h"

// Never destroyed: a worker still waiting for the server when the typist quits may finish while
// the process's static objects are being torn down, and must not write into freed texts.
std::string& g_strLatestVersion = *new std::string;
std::string& g_strLatestDriver = *new std::string;
std::atomic<int32_t> g_nCheckDone{0};

void __cdecl CheckForUpdates(void*) {
    // An installer started by an earlier run could not delete the folder it ran from.
    RemoveDownloadFolders(TempFolder());
    // The status is not judged: a reply is usable if it begins with the product's word, and
    // anything else (no answer, an error page) announces nothing.
    Request request;
    request.m_strUrl = maker::Url(maker::kVersionScriptPath);
    // The reply is one short line; nothing longer is worth reading.
    request.m_nMaxBodyBytes = 64 * 1024;
    request.Fetch();
    const AnnouncedVersions versions = ParseVersionReply(request.m_strBody);
    g_strLatestVersion = versions.strProgram;
    g_strLatestDriver = versions.strDriver;
    g_nCheckDone.store(1, std::memory_order_release);
}
