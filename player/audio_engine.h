// CAudioEngine: the program's own player. Media Foundation's Source Reader decodes the file to
// float samples, the speed stretcher turns them into the device's stream at the chosen speed,
// and WASAPI plays it in shared mode, woken by the device once per period.
//
// One worker thread owns every COM object (its own multithreaded apartment), the decoder, the
// stretcher and the device. The caller's thread hands it each call and waits for it to be done,
// which takes at most one decoded block, so Play and Pause reach the device within a period.
// The position is the engine's own clock: the recording time of the sample the device plays.
#pragma once

#include "player/audio_endpoint.h"
#include "player/media_player.h"

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class CAudioEngine : public MediaPlayer {
public:
    // Plays on `endpoint`'s device; the system's default render device when none is given.
    explicit CAudioEngine(std::unique_ptr<AudioEndpoint> endpoint = nullptr);
    ~CAudioEngine() override;
    CAudioEngine(const CAudioEngine&) = delete;
    CAudioEngine& operator=(const CAudioEngine&) = delete;

    long OpenFile(const std::wstring& file) override;
    void Close() override;
    bool IsOpen() const override { return m_open.load(); }
    long Play() override;
    void Pause() override;
    int Stop() override;
    bool IsPlaying() const override { return m_playing.load(); }
    void Seek(int64_t position) override;
    int64_t Position() const override { return m_position.load(); }
    int64_t Duration() const override { return m_duration.load(); }
    void SetVolume(long volume) override;
    bool CanChangeSpeed() const override { return true; }
    void SetSpeed(int percent) override;
    int Speed() const override { return m_speed.load(); }
    long TakeFailure() override { return m_failure.exchange(0); }

private:
    struct Worker;

    // Runs `job` on the worker thread and returns when it has run.
    void Call(const std::function<void(Worker&)>& job);
    void ThreadMain();

    const std::unique_ptr<AudioEndpoint> m_endpoint;
    std::thread m_thread;
    HANDLE m_wake = nullptr;
    std::mutex m_callMutex; // one call at a time
    std::mutex m_mutex;     // guards m_job
    std::condition_variable m_jobDone;
    const std::function<void(Worker&)>* m_job = nullptr;
    bool m_quit = false;

    // Published by the worker for the caller's thread.
    std::atomic<bool> m_open{false};
    std::atomic<bool> m_playing{false};
    std::atomic<int64_t> m_position{0};
    std::atomic<int64_t> m_duration{0};
    std::atomic<int> m_speed{100};
    std::atomic<long> m_failure{0};
    std::atomic<long> m_volume{0};
};
