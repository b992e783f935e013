// SPDX-License-Identifier: GPL-3.0-or-later
// PCM output through the wave-output device with two rotating buffers. Write waits while
// both buffers are queued, so the sound card paces whoever writes.
#pragma once

#include "engine/media.h"
#include "platform/waveout.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// A reading of a sound device taken at one instant. Positions count bytes of the stream
// handed to the device since it was opened.
struct AudioClockSample {
    uint64_t acceptedBytes = 0;  // after the last byte the device accepted
    uint64_t pulledBytes = 0;    // after the last byte it pulled (or dropped when flushed)
    int lastPullBytes = 0;       // bytes of sound taken by the latest pull that took any
    int64_t lastPullNs = 0;      // steady_clock time of that pull; 0 when none
    int64_t activeSinceNs = 0;   // since when the device has had sound to pull while running
    int64_t latencyNs = 0;       // from a pull until its first sample is heard
    int periodBytes = 0;         // what one pull asks for
    int bytesPerSec = 0;
    bool paused = false;
};

// What an audio output can tell and do beyond VAudio: lets the player keep its pictures in
// step with the sound heard and silence the device at once.
class VAudioClock {
public:
    virtual ~VAudioClock() = default;
    // False when no device is open.
    virtual bool ClockSample(AudioClockSample* sample) = 0;
    // Stops the device at once, or lets it go on; nothing queued is lost. A Write waiting
    // for room returns 0 (not queued).
    virtual void Pause(bool paused) = 0;
    // Drops what is queued at the device. A Write under way returns 0 (not queued).
    virtual void Flush() = 0;
    // A Write waiting for room returns 0 (not queued) at its next try.
    virtual void Interrupt() = 0;
};

class CWaveBox : public VAudio, public VAudioClock {
public:
    static constexpr int kBufferCount = 2;
    // 512 ms of 16-bit mono at 8000 Hz: bounds the sound queued at the device.
    static constexpr int kBufferBytes = 8192;
    // More busy tries than this drop the packet (about half a second of 10 ms waits).
    static constexpr int kMaxBusyTries = 50;
    // ... but a device that has not pulled at all since it got sound is a sound server
    // starting its stream (it can take over a second), not a stuck one: two seconds.
    static constexpr int kMaxStartTries = 200;

    // api: the device calls to use; null means the system's (SDL) device.
    explicit CWaveBox(VWaveOut* api = nullptr);
    ~CWaveBox() override;
    CWaveBox(const CWaveBox&) = delete;
    CWaveBox& operator=(const CWaveBox&) = delete;

    // User-interface thread, while the player holds its lock.
    bool Open(int bitsPerSample, int sampleRate) override;
    int Close() override;
    // Synchronisation thread only. 1 queued (or nothing to do), 2 gave up busy, -1 a finished
    // buffer was recycled while draining (length 0), 0 interrupted before it was queued
    // (paused with no room, flushed, or Interrupt): the caller may try the packet again.
    int Write(const void* pcm, int length) override;
    int OnError(int code) override;

    // One attempt of Write (virtual so that a test can count attempts).
    virtual int WriteOnce(const void* pcm, int length);

    bool ClockSample(AudioClockSample* sample) override;
    void Pause(bool paused) override;
    void Flush() override;
    void Interrupt() override { ++m_interrupts; }

    // True while a device is open.
    bool IsPlaying();
    // Bytes queued at the device that it has not pulled yet.
    int PendingBytes();

    bool IsReady() const { return m_ready.load(); }
    int FreeBuffers() const;
    const WAVEFORMATEX& Format() const { return m_format; }
    const WAVEHDR& Header(int index) const { return m_headers[index]; }

private:
    // True while the device has sound but has not pulled once since it got it.
    bool Starting();
    // Sound system's thread: counts finished buffers.
    static void DoneProc(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                         DWORD_PTR param2);

    VWaveOut* m_api;
    // Held around every device call, so Open/Close on the user-interface thread never pull
    // the device away from under a Write on the synchronisation thread.
    std::mutex m_deviceLock;
    HWAVEOUT m_device = nullptr;  // --- protected by m_deviceLock
    WAVEHDR m_headers[kBufferCount];
    std::unique_ptr<char[]> m_data;    // kBufferCount blocks of kBufferBytes, zero-filled
    int m_freeBuffers = kBufferCount;  // --- protected by the process-wide wave-box lock
    int m_nextBuffer = 0;              // writing thread only
    std::atomic<bool> m_ready{true};
    std::atomic<bool> m_paused{false};
    std::atomic<unsigned> m_interrupts{0};  // a Write that sees this change gives up
    WAVEFORMATEX m_format{};                // written by Open only
    uint64_t m_bytesQueued = 0;             // since Open; protected by m_deviceLock
};
