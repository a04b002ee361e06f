// SpeedStretcher: turns decoded audio of a recording into the sound device's stream at a speed
// of 50 to 200 %, the pitch kept, converting sample rate and channels on the way.
//
// Decoded audio (interleaved floats at the recording's rate and channels) is appended to a
// window that holds what is still to be played and at least `historySeconds` of what has been
// played, so that stepping back within that time replays from memory and needs no decoder seek.
// Positions are in recording frames. The class holds no lock: the engine serialises the
// decoder's and the device's calls.
#pragma once

#include "player/soundtouch_link.h"
#include "player/speed.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace player {

// The nearest speed the player offers (inside the range, on a step).
int NearestSpeed(int percent);

struct StreamFormat {
    unsigned rate = 0;
    unsigned channels = 0;
};

class SpeedStretcher {
public:
    SpeedStretcher(StreamFormat recording, StreamFormat device, double historySeconds = 12,
                   double aheadSeconds = 2);

    // False when SoundTouch is unavailable or a format is empty: nothing can be rendered.
    bool Valid() const;
    StreamFormat Recording() const { return m_rec; }
    StreamFormat Device() const { return m_dev; }

    // --- The decoder's side.
    // Frames that Append takes now without dropping anything still to be played or inside the
    // history.
    int64_t Room() const;
    // Appends decoded frames after the last ones; takes at most Room() and returns how many.
    int64_t Append(const float* samples, int64_t frames);
    // Nothing follows the last appended frame: the stream plays out to there and stops.
    void MarkEnd();
    // One past the last appended frame, where the decoder continues.
    int64_t DecodedEnd() const { return m_end; }
    // Frames appended and not yet handed to the stretching: what plays next without the decoder.
    int64_t Ahead() const { return m_end - m_cursor; }
    bool EndMarked() const { return m_endMarked; }

    // Plays from `frame` next. True when it lies in the audio held (from memory); false (and
    // nothing changes) when the decoder must seek and Restart.
    bool Seek(int64_t frame);
    // Forgets all decoded audio; the decoder appends from `frame` on.
    void Restart(int64_t frame);

    // --- The device's side.
    // Fills `frames` device frames; returns how many carry the recording, the rest is silence
    // (not yet decoded, or past the end).
    int64_t Render(float* out, int64_t frames);
    // The end was marked and everything up to it has been rendered.
    bool Finished() const { return m_finished; }

    void SetSpeed(int percent);
    int Speed() const { return m_speed; }
    // Amplitude factor applied to the device's stream (1 = as decoded).
    void SetGain(float gain) { m_gain = gain; }

    // The recording frame of the device frame that was rendered `queued` frames before the last
    // one rendered, that is, the one playing now when the device still holds `queued` frames.
    double PositionBefore(int64_t queued) const;

private:
    // Media time of the device frames rendered by one Render call.
    struct Span {
        int64_t outStart;
        int64_t outSoundEnd; // frames after this were silence
        double mediaStart;
        double mediaEnd;
    };

    void Feed(int64_t frames);
    void MapChannels(const float* in, float* out, int64_t frames) const;
    void StartSpans(double media);

    StreamFormat m_rec;
    StreamFormat m_dev;
    SoundTouchLink m_st;
    int m_speed = kSpeedNormal;
    float m_gain = 1;

    std::vector<float> m_ring; // m_capacity frames, frame f at (f % m_capacity)
    int64_t m_capacity = 0;
    int64_t m_history = 0;
    int64_t m_front = 0;  // oldest frame still held
    int64_t m_cursor = 0; // next frame handed to SoundTouch
    int64_t m_end = 0;    // one past the newest frame held
    bool m_endMarked = false;
    bool m_flushed = false;
    bool m_finished = false;

    std::vector<float> m_scratch; // SoundTouch's output before channel mapping
    int64_t m_outFrames = 0;      // device frames rendered since the start
    double m_media = 0;           // recording frame reached by the last sound rendered
    std::deque<Span> m_spans;
};

} // namespace player
