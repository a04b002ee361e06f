// MediaPlayer: what the toolbar asks of a player, whichever kind plays the file: the audio
// engine (any speed) or the DirectShow player (normal speed only).
//
// Times are in 100-nanosecond units of the recording, whatever the speed. Failures come back as
// HRESULT values (negative), for the window to put into words: a player shows nothing itself.
#pragma once

#include <cstdint>
#include <string>

class MediaPlayer {
public:
    static constexpr int64_t kUnitsPerSecond = 10'000'000;
    // Hundredths of a decibel below full level; DirectShow's scale.
    static constexpr long kVolumeSilent = -10000;
    static constexpr long kVolumeFull = 0;

    virtual ~MediaPlayer() = default;

    // Closes any open file, then opens `file`, paused at 0. 0 on success.
    virtual long OpenFile(const std::wstring& file) = 0;
    // Harmless when nothing is open.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Plays from the position (nothing sounds at the end of the recording). 0 on success.
    virtual long Play() = 0;
    // Silences at once and keeps the position of the last sound heard.
    virtual void Pause() = 0;
    // Pauses and rewinds to 0; 0 when nothing is open.
    virtual int Stop() = 0;
    virtual bool IsPlaying() const = 0;
    virtual void Seek(int64_t position) = 0;
    // The recording's time of the sound heard now; stays at the duration after the end.
    virtual int64_t Position() const = 0;
    virtual int64_t Duration() const = 0;
    virtual void SetVolume(long volume) = 0;

    virtual bool CanChangeSpeed() const = 0;
    // Percent of the recorded speed (player::kSpeedMin to kSpeedMax); ignored when the speed
    // cannot change.
    virtual void SetSpeed(int percent) = 0;
    virtual int Speed() const = 0;

    // A failure met while playing (the device lost, the file unreadable), 0 when none; reading
    // it clears it.
    virtual long TakeFailure() = 0;
};
