// SoundTouchLink: the few calls the speed stretcher makes of SoundTouch, over whichever build of
// it the tree links: the C interface of its DLL in the Windows program (linked dynamically, so
// that the library can be replaced), Debian's C++ library in the native tree.
//
// Samples are interleaved 32-bit floats; counts are in frames (one sample per channel).
#pragma once

class SoundTouchLink {
public:
    SoundTouchLink();
    ~SoundTouchLink();
    SoundTouchLink(const SoundTouchLink&) = delete;
    SoundTouchLink& operator=(const SoundTouchLink&) = delete;

    // False when the library could not make an instance; every other call is then harmless.
    bool Valid() const { return m_handle != nullptr; }
    // The input's rate and channels; call before the first Put.
    void Configure(unsigned rate, unsigned channels);
    // Speed with the pitch kept (1 = as recorded).
    void SetTempo(double tempo);
    // Speed and pitch together: input rate / output rate converts between sample rates.
    void SetRate(double rate);
    void Put(const float* samples, unsigned frames);
    // Takes up to `frames` processed frames; returns how many it wrote.
    unsigned Receive(float* samples, unsigned frames);
    // Pushes the last input through (padding it with silence) so that it can be received.
    void Flush();
    // Forgets every sample in and out; the settings stay.
    void Clear();

private:
    void* m_handle = nullptr;
};
