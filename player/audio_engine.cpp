#include "player/audio_engine.h"

#include "framework/handle.h"
#include "player/speed_stretcher.h"

// Media Foundation's headers first: after the audio client's, DirectShow's types clash with the
// kernel-streaming ones in MinGW's headers.
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>
#include <mfreadwrite.h>

#include <audioclient.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

using player::SpeedStretcher;
using player::StreamFormat;

// Asked of the device; shared mode may give more. Kept full: the first press's whole buffer
// goes to the system's mixer at its first period (measured with two periods queued instead,
// the first sound came 20 ms later and the last one no sooner).
constexpr REFERENCE_TIME kDeviceBuffer = 30 * 10000;

bool IsFloat32(const WAVEFORMATEX* format) {
    if (format->wBitsPerSample != 32)
        return false;
    if (format->wFormatTag == WAVE_FORMAT_IEEE_FLOAT)
        return true;
    if (format->wFormatTag != WAVE_FORMAT_EXTENSIBLE || format->cbSize < 22)
        return false;
    static const GUID kFloat = {
        0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};
    return reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format)->SubFormat == kFloat;
}

float GainOf(long volume) {
    return volume <= MediaPlayer::kVolumeSilent
               ? 0.0f
               : static_cast<float>(std::pow(10.0, volume / 2000.0));
}

// The system's default render endpoint, looked up afresh on each activation: after a device is
// lost the default may be another one.
class DefaultEndpoint : public AudioEndpoint {
public:
    HRESULT Activate(IAudioClient** client) override {
        fw::ComPtr<IMMDeviceEnumerator> devices;
        HRESULT hr = ::CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                        __uuidof(IMMDeviceEnumerator), devices.PutVoid());
        if (FAILED(hr))
            return hr;
        fw::ComPtr<IMMDevice> endpoint;
        hr = devices->GetDefaultAudioEndpoint(eRender, eConsole, endpoint.Put());
        if (FAILED(hr))
            return hr;
        return endpoint->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                  reinterpret_cast<void**>(client));
    }
};

} // namespace

std::unique_ptr<AudioEndpoint> MakeDefaultAudioEndpoint() {
    return std::make_unique<DefaultEndpoint>();
}

// Everything the worker thread owns.
struct CAudioEngine::Worker {
    CAudioEngine& engine;
    fw::ComPtr<IMFSourceReader> reader;
    fw::ComPtr<IAudioClient> client;
    fw::ComPtr<IAudioRenderClient> render;
    fw::ComPtr<IAudioClock> clock;
    HANDLE deviceEvent = nullptr;
    UINT32 bufferFrames = 0;
    UINT64 clockFrequency = 1;
    StreamFormat recording;
    StreamFormat device;
    std::unique_ptr<SpeedStretcher> stretch;

    bool playing = false; // the client runs
    int64_t written = 0;  // device frames written since the client was last reset
    bool decoderEnded = false;
    std::vector<float> pending; // decoded frames the stretcher had no room for yet
    int64_t skipUntil = -1;     // after a decoder seek: frames before this are dropped
    bool recovering = false;    // inside DeviceFailed's restart
    bool freshDevice = false;   // a paused stream was given up: open the next one
    std::thread retiring;       // lets the last stream given up go

    explicit Worker(CAudioEngine& e) : engine(e) {}
    ~Worker() {
        CloseDevice();
        if (retiring.joinable())
            retiring.join();
        if (deviceEvent)
            ::CloseHandle(deviceEvent);
    }

    int64_t FrameOf(int64_t units) const {
        return units * recording.rate / MediaPlayer::kUnitsPerSecond;
    }
    int64_t UnitsOf(double frame) const {
        return static_cast<int64_t>(frame * MediaPlayer::kUnitsPerSecond / recording.rate);
    }

    HRESULT OpenReader(const std::wstring& file) {
        HRESULT hr = ::MFCreateSourceReaderFromURL(file.c_str(), nullptr, reader.Put());
        if (FAILED(hr))
            return hr;
        const DWORD audio = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
        reader->SetStreamSelection(static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS), FALSE);
        hr = reader->SetStreamSelection(audio, TRUE);
        if (FAILED(hr))
            return hr;
        fw::ComPtr<IMFMediaType> wanted;
        hr = ::MFCreateMediaType(wanted.Put());
        if (FAILED(hr))
            return hr;
        wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
        wanted->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_Float);
        hr = reader->SetCurrentMediaType(audio, nullptr, wanted.Get());
        if (FAILED(hr))
            return hr;
        fw::ComPtr<IMFMediaType> actual;
        hr = reader->GetCurrentMediaType(audio, actual.Put());
        if (FAILED(hr))
            return hr;
        UINT32 rate = 0, channels = 0;
        actual->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate);
        actual->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels);
        if (!rate || !channels)
            return MF_E_INVALIDMEDIATYPE;
        recording = {rate, channels};
        PROPVARIANT value;
        ::PropVariantInit(&value);
        int64_t duration = 0;
        if (SUCCEEDED(reader->GetPresentationAttribute(
                static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE), MF_PD_DURATION, &value)))
            duration = static_cast<int64_t>(value.uhVal.QuadPart);
        ::PropVariantClear(&value);
        engine.m_duration = duration;
        return S_OK;
    }

    // Opens the default device, or leaves none open and returns why not.
    HRESULT OpenDevice() {
        const HRESULT hr = InitDevice();
        if (FAILED(hr))
            CloseDevice();
        return hr;
    }

    HRESULT InitDevice() {
        CloseDevice();
        HRESULT hr = engine.m_endpoint->Activate(client.Put());
        if (FAILED(hr)) {
            client.Reset();
            return hr;
        }
        WAVEFORMATEX* mix = nullptr;
        hr = client->GetMixFormat(&mix);
        if (FAILED(hr))
            return hr;
        const bool usable = IsFloat32(mix);
        const StreamFormat format{mix->nSamplesPerSec, mix->nChannels};
        if (usable)
            hr = client->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK,
                                    kDeviceBuffer, 0, mix, nullptr);
        ::CoTaskMemFree(mix);
        if (!usable)
            return AUDCLNT_E_UNSUPPORTED_FORMAT;
        if (FAILED(hr))
            return hr;
        if (!deviceEvent)
            deviceEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
        if (FAILED(hr = client->SetEventHandle(deviceEvent)) ||
            FAILED(hr = client->GetBufferSize(&bufferFrames)) ||
            FAILED(hr = client->GetService(__uuidof(IAudioRenderClient), render.PutVoid())) ||
            FAILED(hr = client->GetService(__uuidof(IAudioClock), clock.PutVoid())) ||
            FAILED(hr = clock->GetFrequency(&clockFrequency)))
            return hr;
        device = format;
        return S_OK;
    }

    // Stops the stream at once and lets it go. Letting go may take as long as the system takes
    // to drain what it still holds (31 ms measured under Wine into a paced sink), so it is done
    // aside: the caller that paused has its answer without waiting for it.
    void CloseDevice() {
        if (client && playing)
            client->Stop();
        playing = false;
        written = 0;
        if (!client)
            return;
        if (retiring.joinable())
            retiring.join();
        retiring = std::thread([client = std::move(client), render = std::move(render),
                                clock = std::move(clock)]() mutable {
            ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            clock.Reset();
            render.Reset();
            client.Reset();
            ::CoUninitialize();
        });
    }

    // The recording frame heard now: the one the device plays, behind what it was given. A lost
    // device may not answer for its clock; the place last published was heard then.
    double HeardFrame() {
        if (!clock)
            return stretch->PositionBefore(0);
        UINT64 at = 0;
        if (FAILED(clock->GetPosition(&at, nullptr)))
            return static_cast<double>(FrameOf(engine.m_position));
        const int64_t played = static_cast<int64_t>(at * device.rate / clockFrequency);
        return stretch->PositionBefore(std::max<int64_t>(written - played, 0));
    }

    void Publish() {
        if (!stretch)
            return;
        if (stretch->Finished() && !playing)
            engine.m_position = UnitsOf(static_cast<double>(stretch->DecodedEnd()));
        else
            engine.m_position = UnitsOf(HeardFrame());
        engine.m_playing = playing;
    }

    // A failure of the device: reopen on the (new) default device at the same place, or report
    // it and stay paused there, ready to try again at the next Play.
    void DeviceFailed(HRESULT hr) {
        const bool wasPlaying = playing;
        const double at = HeardFrame();
        CloseDevice();
        stretch->Seek(static_cast<int64_t>(at));
        // A device that opens and fails at once is not tried again and again.
        if (recovering || FAILED(OpenDeviceHere())) {
            engine.m_failure = hr;
            engine.m_playing = false;
            return;
        }
        if (wasPlaying) {
            recovering = true;
            Start();
            recovering = false;
        }
    }

    // Opens the default device to play from the stretcher's place. A device of another format
    // needs the audio again at its rate: a new stretcher, from the decoder.
    HRESULT OpenDeviceHere() {
        const StreamFormat old = device;
        const double at = stretch->PositionBefore(0);
        const HRESULT hr = OpenDevice();
        if (SUCCEEDED(hr) && (device.rate != old.rate || device.channels != old.channels)) {
            MakeStretcher();
            DecoderSeek(static_cast<int64_t>(at));
        }
        return hr;
    }

    void MakeStretcher() {
        stretch = std::make_unique<SpeedStretcher>(recording, device);
        stretch->SetSpeed(engine.m_speed);
        stretch->SetGain(GainOf(engine.m_volume));
    }

    void DecoderSeek(int64_t frame) {
        PROPVARIANT value;
        ::PropVariantInit(&value);
        value.vt = VT_I8;
        value.hVal.QuadPart = UnitsOf(static_cast<double>(frame));
        reader->SetCurrentPosition(GUID_NULL, value);
        stretch->Restart(frame);
        pending.clear();
        decoderEnded = false;
        skipUntil = frame;
    }

    void SeekTo(int64_t frame) {
        frame = std::max<int64_t>(frame, 0);
        if (decoderEnded && frame > stretch->DecodedEnd())
            frame = stretch->DecodedEnd();
        if (!stretch->Seek(frame))
            DecoderSeek(frame);
    }

    // Silences at once: the stream is given up with what it still held, which the stretcher
    // replays from memory. A stopped stream goes on feeding the system's mixer silence (Wine's
    // keeps its device buffer full of it, which the next sound would wait behind), so the next
    // press gets a fresh one, opened by the worker once the caller has its answer.
    void Halt() {
        if (!playing)
            return;
        const double at = HeardFrame();
        CloseDevice();
        stretch->Seek(static_cast<int64_t>(at));
        freshDevice = true;
    }

    // Plays from the stretcher's place; S_OK, or why no device could play.
    HRESULT Start() {
        if (playing || stretch->Finished())
            return S_OK;
        if (!client) {
            // Not yet reopened after a pause, or lost earlier and not found again then (the
            // typist was told): try now.
            freshDevice = false;
            const HRESULT hr = OpenDeviceHere();
            if (FAILED(hr))
                return hr;
        }
        // What the first buffer needs, not more: the worker decodes the rest between periods.
        DecodeAhead(recording.rate / 4);
        Fill();
        if (!client)
            return S_OK; // Fill met a lost device and DeviceFailed has dealt with it
        HRESULT hr = client->Start();
        if (FAILED(hr)) {
            DeviceFailed(hr);
            return S_OK;
        }
        playing = true;
        return S_OK;
    }

    void Fill() {
        UINT32 padding = 0;
        HRESULT hr = client->GetCurrentPadding(&padding);
        if (FAILED(hr))
            return DeviceFailed(hr);
        if (stretch->Finished()) {
            // Played out: the position stays at the end.
            if (padding == 0 && playing) {
                CloseDevice();
                freshDevice = true;
            }
            return;
        }
        const UINT32 free = bufferFrames - padding;
        if (!free)
            return;
        BYTE* data = nullptr;
        hr = render->GetBuffer(free, &data);
        if (FAILED(hr))
            return DeviceFailed(hr);
        stretch->Render(reinterpret_cast<float*>(data), free);
        hr = render->ReleaseBuffer(free, 0);
        if (FAILED(hr))
            return DeviceFailed(hr);
        written += free;
    }

    // Moves one decoded block into the stretcher, as far as it has room.
    void Decode() {
        if (!stretch || decoderEnded || stretch->Room() == 0)
            return;
        if (pending.empty() && !ReadBlock())
            return;
        const int64_t frames = static_cast<int64_t>(pending.size() / recording.channels);
        const int64_t taken = stretch->Append(pending.data(), frames);
        pending.erase(pending.begin(), pending.begin() + taken * recording.channels);
    }

    // Decodes until `frames` lie ahead of the stretcher's cursor, the recording ends, the
    // stretcher is full, or the decoder has given nothing for many reads (stream ticks, gaps).
    void DecodeAhead(int64_t frames) {
        constexpr int kMaxEmptyReads = 64;
        for (int empty = 0; empty < kMaxEmptyReads && !decoderEnded && stretch->Room() > 0 &&
                            stretch->Ahead() < frames;) {
            const int64_t before = stretch->DecodedEnd();
            Decode();
            empty = stretch->DecodedEnd() == before ? empty + 1 : 0;
        }
    }

    // One decoded block into `pending`; false when there is none (end, or a failure).
    bool ReadBlock() {
        DWORD flags = 0;
        LONGLONG timestamp = 0;
        fw::ComPtr<IMFSample> sample;
        HRESULT hr = reader->ReadSample(static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM), 0,
                                        nullptr, &flags, &timestamp, sample.Put());
        if (FAILED(hr) || (flags & MF_SOURCE_READERF_ERROR)) {
            engine.m_failure = FAILED(hr) ? hr : E_FAIL;
            return EndOfRecording();
        }
        if (flags & MF_SOURCE_READERF_ENDOFSTREAM)
            return EndOfRecording();
        if (!sample)
            return true;
        fw::ComPtr<IMFMediaBuffer> buffer;
        if (FAILED(sample->ConvertToContiguousBuffer(buffer.Put())))
            return true;
        BYTE* data = nullptr;
        DWORD bytes = 0;
        if (FAILED(buffer->Lock(&data, nullptr, &bytes)))
            return true;
        const size_t count = bytes / sizeof(float) / recording.channels * recording.channels;
        size_t skip = 0;
        if (skipUntil >= 0) {
            const int64_t first = FrameOf(timestamp);
            skip = static_cast<size_t>(
                       std::clamp<int64_t>(skipUntil - first, 0, count / recording.channels)) *
                   recording.channels;
            if (skip < count)
                skipUntil = -1;
        }
        const float* samples = reinterpret_cast<const float*>(data);
        pending.assign(samples + skip, samples + count);
        buffer->Unlock();
        return true;
    }

    // Decodes the first quarter second (the whole recording when it is shorter), so that a file
    // the decoder opens but cannot read is refused at open, when another player may still read
    // it, and the first press finds sound ready.
    HRESULT Prime() {
        const int64_t wanted = std::min<int64_t>(FrameOf(engine.m_duration), recording.rate / 4);
        DecodeAhead(wanted);
        if (const long failure = engine.m_failure.exchange(0))
            return failure;
        if (wanted <= 0 || stretch->DecodedEnd() < wanted)
            return MF_E_INVALID_FILE_FORMAT;
        return S_OK;
    }

    bool EndOfRecording() {
        decoderEnded = true;
        stretch->MarkEnd();
        // A header may promise more than the file holds.
        engine.m_duration = UnitsOf(static_cast<double>(stretch->DecodedEnd()));
        return false;
    }

    void Close() {
        CloseDevice();
        stretch.reset();
        reader.Reset();
        pending.clear();
        decoderEnded = false;
        freshDevice = false;
        engine.m_open = false;
        engine.m_playing = false;
        engine.m_position = 0;
        engine.m_duration = 0;
    }
};

CAudioEngine::CAudioEngine(std::unique_ptr<AudioEndpoint> endpoint)
    : m_endpoint(endpoint ? std::move(endpoint) : MakeDefaultAudioEndpoint()) {}

CAudioEngine::~CAudioEngine() {
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quit = true;
    }
    ::SetEvent(m_wake);
    m_thread.join();
    ::CloseHandle(m_wake);
}

void CAudioEngine::Call(const std::function<void(Worker&)>& job) {
    std::lock_guard<std::mutex> serial(m_callMutex);
    if (!m_thread.joinable()) {
        m_wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
        m_thread = std::thread(&CAudioEngine::ThreadMain, this);
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    m_job = &job;
    ::SetEvent(m_wake);
    m_jobDone.wait(lock, [this] { return m_job == nullptr; });
}

void CAudioEngine::ThreadMain() {
    ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const bool mf = SUCCEEDED(::MFStartup(MF_VERSION, MFSTARTUP_LITE));
    {
        Worker w(*this);
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (m_job) {
                    (*m_job)(w);
                    m_job = nullptr;
                    m_jobDone.notify_all();
                }
                if (m_quit)
                    break;
            }
            if (w.freshDevice && w.stretch) {
                w.freshDevice = false;
                // A device lost meanwhile is found at the next press, which reports it.
                w.OpenDeviceHere();
            }
            if (w.playing)
                w.Fill();
            w.Decode();
            w.Publish();
            // Decoding goes on while there is room; otherwise sleep until the device wants
            // more or a call arrives.
            const bool decoding = w.stretch && !w.decoderEnded && w.stretch->Room() > 0;
            HANDLE handles[2] = {m_wake, w.deviceEvent};
            ::WaitForMultipleObjects(w.playing ? 2 : 1, handles, FALSE,
                                     decoding ? 0 : (w.playing ? 50 : INFINITE));
        }
        w.Close();
    }
    if (mf)
        ::MFShutdown();
    ::CoUninitialize();
}

long CAudioEngine::OpenFile(const std::wstring& file) {
    long result = S_OK;
    Call([&](Worker& w) {
        w.Close();
        HRESULT hr = w.OpenReader(file);
        if (SUCCEEDED(hr))
            hr = w.OpenDevice();
        if (FAILED(hr)) {
            w.Close();
            result = hr;
            return;
        }
        w.MakeStretcher();
        m_failure = 0;
        if (FAILED(hr = w.Prime())) {
            w.Close();
            result = hr;
            return;
        }
        m_open = true;
        w.Publish();
    });
    return result;
}

void CAudioEngine::Close() {
    if (m_thread.joinable())
        Call([](Worker& w) { w.Close(); });
}

long CAudioEngine::Play() {
    long result = S_OK;
    Call([&](Worker& w) {
        if (!w.stretch) {
            result = E_UNEXPECTED;
            return;
        }
        if (const HRESULT hr = w.Start(); FAILED(hr)) {
            // No device to play on: the toolbar tells the typist as for a loss while playing.
            m_failure = hr;
            result = hr;
        }
        w.Publish();
    });
    return result;
}

void CAudioEngine::Pause() {
    Call([](Worker& w) {
        if (w.stretch) {
            w.Halt();
            w.Publish();
        }
    });
}

int CAudioEngine::Stop() {
    int result = 0;
    Call([&](Worker& w) {
        if (!w.stretch)
            return;
        w.Halt();
        w.SeekTo(0);
        w.Publish();
        result = 1;
    });
    return result;
}

void CAudioEngine::Seek(int64_t position) {
    Call([&](Worker& w) {
        if (!w.stretch)
            return;
        const bool wasPlaying = w.playing;
        w.Halt();
        w.SeekTo(w.FrameOf(position));
        if (wasPlaying)
            w.Start();
        w.Publish();
    });
}

void CAudioEngine::SetVolume(long volume) {
    m_volume = std::clamp(volume, kVolumeSilent, kVolumeFull);
    Call([this](Worker& w) {
        if (w.stretch)
            w.stretch->SetGain(GainOf(m_volume));
    });
}

void CAudioEngine::SetSpeed(int percent) {
    m_speed = player::NearestSpeed(percent);
    Call([this](Worker& w) {
        if (w.stretch)
            w.stretch->SetSpeed(m_speed);
    });
}
