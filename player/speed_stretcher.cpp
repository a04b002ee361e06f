#include "player/speed_stretcher.h"

#include <algorithm>
#include <cmath>

namespace player {

namespace {
// SoundTouch is fed in pieces of this size, so that a render never runs far ahead of its need.
constexpr int64_t kFeedFrames = 1024;
// Enough spans to cover any device buffer: each Render adds one.
constexpr size_t kMaxSpans = 256;
} // namespace

int NearestSpeed(int percent) {
    int clamped = std::clamp(percent, kSpeedMin, kSpeedMax);
    return (clamped + kSpeedStep / 2) / kSpeedStep * kSpeedStep;
}

SpeedStretcher::SpeedStretcher(StreamFormat recording, StreamFormat device, double historySeconds,
                               double aheadSeconds)
    : m_rec(recording), m_dev(device) {
    if (!Valid())
        return;
    m_history = static_cast<int64_t>(std::ceil(historySeconds * m_rec.rate));
    m_capacity = m_history + static_cast<int64_t>(std::ceil(aheadSeconds * m_rec.rate));
    m_ring.assign(static_cast<size_t>(m_capacity * m_rec.channels), 0.0f);
    m_scratch.resize(static_cast<size_t>(kFeedFrames * m_rec.channels));
    m_st.Configure(m_rec.rate, m_rec.channels);
    m_st.SetRate(static_cast<double>(m_rec.rate) / m_dev.rate);
    m_st.SetTempo(1.0);
    StartSpans(0);
}

bool SpeedStretcher::Valid() const {
    return m_st.Valid() && m_rec.rate && m_rec.channels && m_dev.rate && m_dev.channels;
}

int64_t SpeedStretcher::Room() const {
    int64_t keepFrom = std::max(m_front, m_cursor - m_history);
    return m_capacity - (m_end - keepFrom);
}

int64_t SpeedStretcher::Append(const float* samples, int64_t frames) {
    if (!Valid())
        return 0;
    int64_t taken = std::clamp<int64_t>(frames, 0, Room());
    const size_t ch = m_rec.channels;
    for (int64_t i = 0; i < taken;) {
        int64_t at = (m_end + i) % m_capacity;
        int64_t run = std::min(taken - i, m_capacity - at);
        std::copy_n(samples + i * ch, run * ch, m_ring.begin() + at * ch);
        i += run;
    }
    m_end += taken;
    m_front = std::max(m_front, m_end - m_capacity);
    return taken;
}

void SpeedStretcher::MarkEnd() {
    m_endMarked = true;
}

bool SpeedStretcher::Seek(int64_t frame) {
    if (!Valid() || frame < m_front || frame > m_end)
        return false;
    m_st.Clear();
    m_cursor = frame;
    m_flushed = false;
    m_finished = false;
    StartSpans(static_cast<double>(frame));
    return true;
}

void SpeedStretcher::Restart(int64_t frame) {
    m_front = m_cursor = m_end = std::max<int64_t>(frame, 0);
    m_endMarked = false;
    Seek(m_cursor);
}

void SpeedStretcher::StartSpans(double media) {
    m_media = media;
    m_spans.clear();
    m_spans.push_back({m_outFrames, m_outFrames, media, media});
}

void SpeedStretcher::Feed(int64_t frames) {
    const size_t ch = m_rec.channels;
    while (frames > 0) {
        int64_t at = m_cursor % m_capacity;
        int64_t run = std::min(frames, m_capacity - at);
        m_st.Put(m_ring.data() + at * ch, static_cast<unsigned>(run));
        m_cursor += run;
        frames -= run;
    }
}

// A mono recording sounds from every loudspeaker; a device with fewer channels than the
// recording hears their average; otherwise each device channel takes the recording's channel
// of the same number, and silence where there is none.
void SpeedStretcher::MapChannels(const float* in, float* out, int64_t frames) const {
    const unsigned rc = m_rec.channels;
    const unsigned dc = m_dev.channels;
    for (int64_t f = 0; f < frames; ++f, in += rc, out += dc) {
        if (rc == 1 || dc < rc) {
            float sum = 0;
            for (unsigned c = 0; c < rc; ++c)
                sum += in[c];
            std::fill_n(out, dc, m_gain * sum / rc);
        } else {
            for (unsigned c = 0; c < dc; ++c)
                out[c] = c < rc ? m_gain * in[c] : 0.0f;
        }
    }
}

int64_t SpeedStretcher::Render(float* out, int64_t frames) {
    int64_t sound = 0;
    const double mediaStart = m_media;
    // Recording frames per device frame.
    const double ratio = m_speed / 100.0 * m_rec.rate / m_dev.rate;
    while (Valid() && sound < frames) {
        int64_t want = std::min(frames - sound, kFeedFrames);
        int64_t got = m_st.Receive(m_scratch.data(), static_cast<unsigned>(want));
        if (got > 0) {
            MapChannels(m_scratch.data(), out + sound * m_dev.channels, got);
            sound += got;
            m_media += got * ratio;
        } else if (m_cursor < m_end) {
            Feed(std::min(m_end - m_cursor, kFeedFrames));
        } else if (m_endMarked && !m_flushed) {
            m_st.Flush();
            m_flushed = true;
        } else {
            // Flushing pads the tail with silence, so its count only approximates the end.
            if (m_flushed)
                m_finished = true;
            break;
        }
    }
    // The sound rendered cannot be ahead of what SoundTouch was given.
    m_media = std::min(m_media, static_cast<double>(m_cursor));
    if (m_finished)
        m_media = static_cast<double>(m_end);
    std::fill(out + sound * m_dev.channels, out + frames * m_dev.channels, 0.0f);
    m_spans.push_back({m_outFrames, m_outFrames + sound, mediaStart, m_media});
    if (m_spans.size() > kMaxSpans)
        m_spans.pop_front();
    m_outFrames += frames;
    return sound;
}

void SpeedStretcher::SetSpeed(int percent) {
    m_speed = NearestSpeed(percent);
    m_st.SetTempo(m_speed / 100.0);
}

double SpeedStretcher::PositionBefore(int64_t queued) const {
    int64_t target = m_outFrames - std::max<int64_t>(queued, 0);
    for (auto it = m_spans.rbegin(); it != m_spans.rend(); ++it) {
        if (target < it->outStart)
            continue;
        if (target >= it->outSoundEnd || it->outSoundEnd == it->outStart)
            return it->mediaEnd;
        double part = static_cast<double>(target - it->outStart) /
                      static_cast<double>(it->outSoundEnd - it->outStart);
        return it->mediaStart + part * (it->mediaEnd - it->mediaStart);
    }
    return m_spans.empty() ? m_media : m_spans.front().mediaStart;
}

} // namespace player
