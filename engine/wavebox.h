// PCM output through the wave-output device with two rotating buffers. Write waits while
// both buffers are queued, so the sound card paces whoever writes.
#pragma once

#include "engine/media.h"
#include "platform/waveout.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

// What an audio output can tell about the sound it has accepted but not yet handed to the
// sound system: lets the player put pictures in step with what is heard.
class VAudioBacklog {
public:
    virtual ~VAudioBacklog() = default;
    // True while a device is open and taking sound.
    virtual bool IsPlaying() = 0;
    // Bytes queued at the device that the sound system has not pulled yet; also, read at
    // the same instant, the total of bytes ever accepted, so that a caller can tell how much
    // of a packet it handed over is already counted as pending.
    virtual int PendingBytes(int64_t* acceptedTotal = nullptr) = 0;
};

class CWaveBox : public VAudio, public VAudioBacklog {
public:
    static constexpr int kBufferCount = 2;
    // 512 ms of 16-bit mono at 8000 Hz: bounds the sound queued at the device.
    static constexpr int kBufferBytes = 8192;
    // More busy tries than this drop the packet (about half a second of 10 ms waits).
    static constexpr int kMaxBusyTries = 50;

    // api: the device calls to use; null means the system's (SDL) device.
    explicit CWaveBox(VWaveOut* api = nullptr);
    ~CWaveBox() override;
    CWaveBox(const CWaveBox&) = delete;
    CWaveBox& operator=(const CWaveBox&) = delete;

    // User-interface thread, while the player holds its lock.
    bool Open(int bitsPerSample, int sampleRate) override;
    int Close() override;
    // Synchronisation thread only. 1 queued (or nothing to do), 2 gave up busy, -1 a finished
    // buffer was recycled while draining (length 0).
    int Write(const void* pcm, int length) override;
    int OnError(int code) override;

    // One attempt of Write (virtual so that a test can count attempts).
    virtual int WriteOnce(const void* pcm, int length);

    bool IsPlaying() override;
    int PendingBytes(int64_t* acceptedTotal = nullptr) override;

    bool IsReady() const { return m_ready.load(); }
    int FreeBuffers() const;
    const WAVEFORMATEX& Format() const { return m_format; }
    const WAVEHDR& Header(int index) const { return m_headers[index]; }

private:
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
    WAVEFORMATEX m_format{};      // written by Open only
    uint64_t m_bytesQueued = 0;   // since Open; protected by m_deviceLock
    int64_t m_acceptedTotal = 0;  // since construction; protected by m_deviceLock
};
