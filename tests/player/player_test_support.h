// Shared set-up of the player tests: COM on the test thread, an application object for the
// message box caption, and message boxes caught instead of shown.
#pragma once

#include "framework/win_app.h"
#include "player/dshow_media_player.h"
#include "tests/tools/message_pump.h"
#include "tests/tools/wine_test_paths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
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

inline std::string Fixture(const char* name) {
    return FolderFromEnv("QD_FIXTURES") + name;
}

inline double PositionSeconds(const CDShowMediaPlayer& player) {
    LONGLONG position = -1;
    if (!player.m_pSeeking || FAILED(player.m_pSeeking->GetCurrentPosition(&position)))
        return -1;
    return position / 1e7;
}

// What the player produced: ALSA's default device of the test's HOME writes Wine's mixed
// stream (48 kHz, stereo, 32-bit float) to the file QD_CAPTURE names.
inline std::string CapturePath() {
    const char* path = std::getenv("QD_CAPTURE");
    return path ? WindowsPath(path) : std::string();
}

inline long long CaptureSize() {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(CapturePath().c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The left channel of the capture between two byte offsets (aligned to whole frames).
inline std::vector<float> CapturedLeft(long long from, long long to) {
    from &= ~7LL;
    std::vector<float> left;
    FILE* f = std::fopen(CapturePath().c_str(), "rb");
    if (!f)
        return left;
    _fseeki64(f, from, SEEK_SET);
    float frame[2];
    for (long long at = from; at + 8 <= to && std::fread(frame, 4, 2, f) == 2; at += 8)
        left.push_back(frame[0]);
    std::fclose(f);
    return left;
}

struct Level {
    double peak = -1;
    double rms = -1; // of the loudest 10 ms: Wine's mixer fills gaps with silence under load
};

// Peak and RMS level of captured samples.
inline Level Measure(const std::vector<float>& samples) {
    Level level{0, 0};
    const size_t block = 480; // 10 ms at 48 kHz
    double sum = 0;
    size_t count = 0;
    for (float sample : samples) {
        level.peak = std::fmax(level.peak, std::fabs(sample));
        sum += static_cast<double>(sample) * sample;
        if (++count == block) {
            level.rms = std::fmax(level.rms, std::sqrt(sum / count));
            sum = 0;
            count = 0;
        }
    }
    return level;
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
