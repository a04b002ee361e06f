// Where the maker publishes Quillodrome: one secure web host for the help pages, the project
// page and the update service. The build may point it elsewhere (-DQD_MAKER_SITE=...), for
// instance at a local server while trying the update path.
#pragma once

#ifndef QD_MAKER_SITE
#define QD_MAKER_SITE "https://www.brenvale.fr"
#endif

namespace maker {

// Scheme and host, without a final slash.
inline constexpr const char* kSite = QD_MAKER_SITE;
inline constexpr const char* kHelpPagePath = "/vexo/recherche/projets/Quillodrome/Help.htm";
inline constexpr const char* kProjectPagePath = "/vexo/recherche/projets/Quillodrome/";

} // namespace maker
