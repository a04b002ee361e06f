// CQuillodromeApp: the process's application object. InitInstance prepares the common
// controls, the per-user profile, the program's version text and COM, then runs the toolbar
// window modally; when the window closes, the process ends.
#pragma once

#include "framework/win_app.h"

#include <string>

class CQuillodromeApp : public fw::CWinApp {
public:
    CQuillodromeApp() = default;

    // Always FALSE: the program has no message loop of its own once its window has closed.
    BOOL InitInstance() override;

    // The executable's file version, "major.minor.build.revision"; empty before start-up.
    std::string m_strVersion;
};

// The one application object, read by the About box and the update check.
CQuillodromeApp& TheApp();
