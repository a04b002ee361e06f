// CDShowMediaPlayer: one DirectShow playback graph for one audio file.
//
// Open builds the graph with the platform's automatic graph building and keeps the five
// interfaces the toolbar drives directly (Run and Pause, the position, the seek, the volume).
// The player runs no thread, handles no graph event and shows nothing but an error box. It
// lives on the window thread, inside its single-threaded COM apartment.
//
// As a MediaPlayer it is the fallback for files Media Foundation cannot open (a codec that
// exists only as a DirectShow filter): it plays at the recorded speed only, and OpenFile
// reports failures to its caller instead of showing them.
#pragma once

#include "framework/handle.h"
#include "player/media_player.h"

#include <windows.h>
#include <dshow.h>

#include <string>

class CDShowMediaPlayer : public MediaPlayer {
public:
    CDShowMediaPlayer() = default;
    ~CDShowMediaPlayer() override;
    CDShowMediaPlayer(const CDShowMediaPlayer&) = delete;
    CDShowMediaPlayer& operator=(const CDShowMediaPlayer&) = delete;

    // Closes any open file, then builds the graph for `file` (ANSI). Failures are shown in a
    // message box; the graph is left stopped at 0 and m_llDuration is 0 unless it rendered.
    int Open(const char* file);
    // Stops and rewinds to 0. 0 when no file is open.
    int Stop() override;
    // Stops and releases the graph and its interfaces. Harmless when nothing is open.
    void Close() override;

    long OpenFile(const std::wstring& file) override;
    bool IsOpen() const override { return m_pGraph && m_llDuration > 0; }
    long Play() override;
    void Pause() override;
    bool IsPlaying() const override;
    void Seek(int64_t position) override;
    int64_t Position() const override;
    int64_t Duration() const override { return m_llDuration; }
    void SetVolume(long volume) override;
    bool CanChangeSpeed() const override { return false; }
    void SetSpeed(int) override {}
    int Speed() const override { return 100; }
    long TakeFailure() override { return 0; }

    // The platform's text for `hr` in the application's message box, never an empty box.
    void ShowMediaError(HRESULT hr);

    std::string m_strFile;
    const wchar_t* m_pwszFile = nullptr;
    fw::ComPtr<IGraphBuilder> m_pGraph;
    fw::ComPtr<IMediaEventEx> m_pEvent;
    fw::ComPtr<IMediaSeeking> m_pSeeking;
    fw::ComPtr<IBasicAudio> m_pAudio;
    long m_lVolume = 0;
    fw::ComPtr<IMediaControl> m_pControl;
    LONGLONG m_llDuration = 0;
    BOOL m_bPlaying = FALSE;
    HWND m_hNotifyWnd = nullptr;

private:
    // Builds the graph for m_pwszFile and keeps its interfaces; the first failure, or S_OK.
    HRESULT Build();
};

// The text shown for a DirectShow failure: the DirectShow module's own message, else the
// system's, else a French description of the common DirectShow codes, else the code in hex.
std::string MediaErrorText(HRESULT hr);
