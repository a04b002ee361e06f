// SoundTouchLink over the C interface of libSoundTouchDLL.dll (the Windows program).
#include "player/soundtouch_link.h"

#include <soundtouch/SoundTouchDLL.h>

SoundTouchLink::SoundTouchLink() : m_handle(soundtouch_createInstance()) {}

SoundTouchLink::~SoundTouchLink() {
    if (m_handle)
        soundtouch_destroyInstance(m_handle);
}

void SoundTouchLink::Configure(unsigned rate, unsigned channels) {
    if (!m_handle)
        return;
    soundtouch_setSampleRate(m_handle, rate);
    soundtouch_setChannels(m_handle, channels);
}

void SoundTouchLink::SetTempo(double tempo) {
    if (m_handle)
        soundtouch_setTempo(m_handle, static_cast<float>(tempo));
}

void SoundTouchLink::SetRate(double rate) {
    if (m_handle)
        soundtouch_setRate(m_handle, static_cast<float>(rate));
}

void SoundTouchLink::Put(const float* samples, unsigned frames) {
    if (m_handle && frames)
        soundtouch_putSamples(m_handle, samples, frames);
}

unsigned SoundTouchLink::Receive(float* samples, unsigned frames) {
    return m_handle ? soundtouch_receiveSamples(m_handle, samples, frames) : 0;
}

void SoundTouchLink::Flush() {
    if (m_handle)
        soundtouch_flush(m_handle);
}

void SoundTouchLink::Clear() {
    if (m_handle)
        soundtouch_clear(m_handle);
}
