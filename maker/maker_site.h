// Where the maker publishes Quillodrome: one secure web host for the help pages, the project
// page and the update service. Every address on it is built by Url(), so the host is named in
// one place. The build may point it elsewhere (-DQD_MAKER_SITE=...), for instance at a local
// server while trying the update path.
//
// Windows-free and below every subsystem: the window layer and the update engine both use it.
#pragma once

#include <string>

#ifndef QD_MAKER_SITE
#define QD_MAKER_SITE "https://www.brenvale.fr"
#endif

namespace maker {

// Scheme and host, without a final slash.
inline constexpr const char* kSite = QD_MAKER_SITE;

inline constexpr const char* kHelpPagePath = "/vexo/recherche/projets/Quillodrome/Help.htm";
inline constexpr const char* kProjectPagePath = "/vexo/recherche/projets/Quillodrome/";
inline constexpr const char* kVersionScriptPath = "/vexo/PHP/Quillodrome/Version.php";
// The folder the installers are published in; a file name follows directly.
inline constexpr const char* kDownloadFolderPath = "/vexo/download/";

// The full address of `path` (which starts with a slash) on the maker's host.
inline std::string Url(const std::string& path) {
    return kSite + path;
}

} // namespace maker
