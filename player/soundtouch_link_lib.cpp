// SoundTouchLink over Debian's C++ library (the native tree's tests).
#include "player/soundtouch_link.h"

#include <SoundTouch.h>

namespace {
soundtouch::SoundTouch* Of(void* handle) {
    return static_cast<soundtouch::SoundTouch*>(handle);
}
} // namespace

SoundTouchLink::SoundTouchLink() : m_handle(new soundtouch::SoundTouch) {}

SoundTouchLink::~SoundTouchLink() {
    delete Of(m_handle);
}

void SoundTouchLink::Configure(unsigned rate, unsigned channels) {
    Of(m_handle)->setSampleRate(rate);
    Of(m_handle)->setChannels(channels);
}

void SoundTouchLink::SetTempo(double tempo) {
    Of(m_handle)->setTempo(tempo);
}

void SoundTouchLink::SetRate(double rate) {
    Of(m_handle)->setRate(rate);
}

void SoundTouchLink::Put(const float* samples, unsigned frames) {
    if (frames)
        Of(m_handle)->putSamples(samples, frames);
}

unsigned SoundTouchLink::Receive(float* samples, unsigned frames) {
    return Of(m_handle)->receiveSamples(samples, frames);
}

void SoundTouchLink::Flush() {
    Of(m_handle)->flush();
}

void SoundTouchLink::Clear() {
    Of(m_handle)->clear();
}
