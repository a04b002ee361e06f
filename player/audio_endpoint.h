// AudioEndpoint: where the audio engine gets its sound device. The engine asks for a fresh
// audio client whenever it opens the device, and again after the device is lost (unplugged,
// disabled, or no longer the default), so that it plays on whatever is the default then.
//
// Tests put a wrapper in its place to make the device fail as a lost one does.
#pragma once

#include <windows.h>

#include <memory>

struct IAudioClient;

class AudioEndpoint {
public:
    virtual ~AudioEndpoint() = default;
    // A new audio client on the current default render endpoint, not yet initialised. Called on
    // the engine's worker thread, inside its multithreaded COM apartment.
    virtual HRESULT Activate(IAudioClient** client) = 0;
};

// The system's default endpoint for rendering in the console role.
std::unique_ptr<AudioEndpoint> MakeDefaultAudioEndpoint();
