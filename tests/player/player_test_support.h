// Shared set-up of the player tests: COM on the test thread, an application object for the
// message box caption, and message boxes caught instead of shown.
#pragma once

#include "framework/win_app.h"
#include "player/dshow_media_player.h"
#include "tests/tools/message_pump.h"
#include "tests/tools/wine_test_paths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace qdtest {

class PlayerTestApp : public fw::CWinApp {
public:
    PlayerTestApp() : fw::CWinApp("Quillodrome") {}
};

inline std::vector<std::string>& Boxes() {
    static std::vector<std::string> boxes;
    return boxes;
}

inline std::string Fixture(const char* name) { return FolderFromEnv("QD_FIXTURES") + name; }

inline double PositionSeconds(const CDShowMediaPlayer& player) {
    LONGLONG position = -1;
    if (!player.m_pSeeking || FAILED(player.m_pSeeking->GetCurrentPosition(&position)))
        return -1;
    return position / 1e7;
}

inline int RunAllWithCom(int argc, char** argv) {
    ::CoInitialize(nullptr);
    ::testing::InitGoogleTest(&argc, argv);
    fw::SetMessageBoxHook([](HWND, const char* text, const char*, UINT) {
        Boxes().push_back(text);
        return IDOK;
    });
    int rc = RUN_ALL_TESTS();
    ::CoUninitialize();
    return rc;
}

} // namespace qdtest
