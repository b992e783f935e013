// The media player: reads a recording through the parser, keeps a cushion of front video,
// presents pictures through the decoder in step with the sound, hands telemetry lines to a
// callback. CMediaSync feeds the sound to the audio output on its own thread.
#pragma once

#include "engine/media.h"
#include "engine/packetqueue.h"
#include "platform/thread.h"

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

class VAudioBacklog;

// The sound clock: a queue of PCM packets and the "MediaSync" thread that writes them to
// the audio output. Since the output's Write blocks while the device is full, the device
// paces this thread, and the player paces its pictures to what is still queued here.
class CMediaSync {
public:
    CMediaSync();
    virtual ~CMediaSync();
    CMediaSync(const CMediaSync&) = delete;
    CMediaSync& operator=(const CMediaSync&) = delete;

    // Set before StartThread.
    void SetAudio(VAudio* audio);

    // Any thread. Keeps at most kMaxAudioPlayBytes of the packet.
    bool Push(const void* pcm, int length);
    // False when the queue is empty.
    bool Pop(void* out, int* length);
    // Waits while two or more packets are queued; returns early once *runMode is 0.
    void WaitDrain(const std::atomic<int>* runMode = nullptr);
    void Clear();
    int QueuedCount() const { return m_count.load(); }
    // While held, the thread keeps what is queued instead of playing it (paused or stepped
    // pictures keep the sound that follows them for when playing resumes).
    void SetHold(bool hold) { m_hold = hold; }

    // Sound accepted here or by the output but not yet pulled by the sound system, in bytes;
    // -1 when the output cannot tell (then only WaitDrain paces).
    int UnheardBytes();

    bool StartThread();
    void StopThread();

private:
    struct _packet_pcm {
        uint8_t data[kMaxAudioPlayBytes];
        int32_t length;
    };

    // Runs on the "MediaSync" thread.
    void Run();

    VAudio* m_audio = nullptr;           // set before the thread starts
    VAudioBacklog* m_backlog = nullptr;  // the same object, when it can tell its backlog
    CSingleThread m_thread{"MediaSync"};
    std::atomic<bool> m_hold{false};
    std::deque<std::unique_ptr<_packet_pcm>> m_queue;  // --- protected by m_lock
    std::deque<std::unique_ptr<_packet_pcm>> m_spare;  // --- protected by m_lock (reused entries)
    int m_queuedBytes = 0;                             // --- protected by m_lock
    std::atomic<int> m_count{0};                       // mirrors m_queue.size()
    std::unique_ptr<uint8_t[]> m_work;                 // "MediaSync" thread only
    int m_workLength = 0;                              // "MediaSync" thread only
    int m_inHandBytes = 0;                             // being written to the output; protected by m_lock
    int64_t m_inHandBase = 0;  // the output's accepted total before; protected by m_lock
    CSync m_lock;
};

// Paces front pictures to the frame rate, minus the mean work time between pictures.
class CFramePacer {
public:
    // Milliseconds to sleep before the picture due now (nowMs), and the diagnostic line.
    int Next(long long nowMs, int fps, bool log);
    // After the sleep: the next work time is measured from here.
    void Done(long long nowMs) { m_lastTickMs = nowMs; }

private:
    static constexpr int kWindow = 24;  // work times averaged
    long long m_lastTickMs = -1;
    int m_times[kWindow] = {};
    int m_count = 0;
    int m_next = 0;
};

class CQVZMediaPlayer {
public:
    using TextCallback = void (*)(void* user, const char* text, int length, int timeMs);
    using EventCallback = void (*)(void* user, int event, int a, int b);

    // Run modes.
    static constexpr int kIdle = 0;
    static constexpr int kPlaying = 1;
    static constexpr int kStepping = 10;
    // Play states.
    static constexpr int kStatePlaying = 0;
    static constexpr int kStatePausedStep = 1;
    static constexpr int kStateStopped = 2;
    // Presentation types in the decode queue.
    static constexpr int kTypeFront = 0;
    static constexpr int kTypeRear = 1;
    static constexpr int kTypeText = 2;
    static constexpr int kTypeThird = 100;
    static constexpr int kEventEnd = 1;

    CQVZMediaPlayer();
    virtual ~CQVZMediaPlayer();
    CQVZMediaPlayer(const CQVZMediaPlayer&) = delete;
    CQVZMediaPlayer& operator=(const CQVZMediaPlayer&) = delete;

    // Wiring, once, before Start.
    void SetParser(VMediaParser* parser) { m_parser = parser; }
    void SetAudio(VAudio* audio) { m_audio = audio; }
    void SetDecoder(VMediaDecoder* decoder) { m_decoder = decoder; }
    void SetTextCallback(TextCallback callback, void* user);
    void SetEventCallback(EventCallback callback, void* user);
    // Turns the pacer's per-picture line off (benchmarks); on by default.
    void SetPacerLog(bool on) { m_pacerLog = on; }

    // User-interface thread.
    bool Start(PictureSinkHandle front, PictureSinkHandle rear);
    void Shutdown();
    bool Open(const char* name);
    void Stop();
    void Pause();
    void Resume();
    bool SeekMs(int ms);
    int CurrentTimeMs() const;
    void RedrawAll();
    bool SaveSnapshot(int channel, const char* path);
    void SetBrightness(int channel, int value);
    void SetFlipMode(int channel, int mode);
    void SetThirdWindow(PictureSinkHandle window) { m_windows[2] = window; }
    int ChannelCount(int* extra);

    // Read by the main window.
    int DurationMs() const { return m_durationMs.load(); }
    int PlayState() const { return m_playState.load(); }
    int RunMode() const { return m_runMode.load(); }
    int FrameIndex() const { return m_frameIndex.load(); }
    int PendingSeek() const { return m_pendingSeek.load(); }
    int FrameRate0() const { return m_frameRate0.load(); }
    // Number of the latest Open (1 for the first). The end event carries the number of the
    // open it is about as its first argument, so that a receiver can drop messages about a
    // recording that is no longer open. Stable while a callback runs.
    int OpenSerial() const { return m_openSerial.load(); }
    // Front pictures handed to the decoder since construction, and those found late (the
    // sound was ahead by more than a frame period when they were due).
    long long FrontPresented() const { return m_frontPresented.load(); }
    long long LateFrames() const { return m_lateFrames.load(); }
    CMediaSync& Sync() { return m_sync; }

private:
    enum class LoopResult { Ok, End };

    // Worker thread.
    void WorkerBody();
    LoopResult ReadPresentLoop();
    // Present one video entry (and the text before it); false when the queue was empty.
    bool Present();
    void PresentFront(int length, bool show);
    // Waits until the sound heard has reached the picture due at timeMs; false when there
    // was no sound clock to follow (then WaitDrain and the pacer keep the pace).
    bool WaitForSound(int timeMs);
    void Pace(bool sleep);

    // Player lock held.
    void SeekToFrame(int frame);
    void Reset();
    void KeyFrameFound();

    int FpsOr30() const;
    int FrameTimeMs(int frame) const;

    CSingleThread m_worker{"player"};
    VMediaParser* m_parser = nullptr;    // set before Start
    VAudio* m_audio = nullptr;           // set before Start
    VMediaDecoder* m_decoder = nullptr;  // set before Start
    CMediaSync m_sync;
    DecodeQueue m_decodeQueue;

    // Shared with the user-interface thread without the lock: one writer at a time.
    std::atomic<int> m_runMode{kIdle};
    std::atomic<int> m_playState{kStateStopped};
    std::atomic<int> m_pendingSeek{-1};
    std::atomic<int> m_frameRate0{0};
    std::atomic<int> m_frameRate1{0};
    std::atomic<int> m_durationMs{0};
    std::atomic<int> m_frameIndex{0};
    std::atomic<int> m_openSerial{0};  // written under the player lock
    std::atomic<long long> m_frontPresented{0};
    std::atomic<long long> m_lateFrames{0};
    std::atomic<PictureSinkHandle> m_windows[3] = {nullptr, nullptr, nullptr};

    CSync m_lock;  // the player lock; guards everything below
    bool m_prebuffering = true;
    int m_frameCount0 = 0;
    bool m_keyWait[3] = {true, true, true};
    int m_cushionCount = 0;
    int m_bitsPerSample = 16;
    int m_sampleRate = 8000;
    static constexpr int kCushionMs = 700;  // front video queued before presenting starts
    bool m_openFailed = false;
    int m_frontQueued = 0;  // front pictures in the decode queue
    // Media time at the end of the sound pushed so far, in ms; -1 while unknown (after a
    // reset, or when stepping skipped sound), until the next pushed sound anchors it.
    double m_audioEndMs = -1.0;
    CFramePacer m_pacer;
    bool m_pacerLog = true;

    TextCallback m_textCallback = nullptr;  // set before Start
    void* m_textUser = nullptr;
    EventCallback m_eventCallback = nullptr;  // set before Start
    void* m_eventUser = nullptr;

    std::unique_ptr<uint8_t[]> m_readBuffer;     // kPacketBufferBytes, worker only
    std::unique_ptr<uint8_t[]> m_presentBuffer;  // kPacketBufferBytes, worker only
    static constexpr int kNameBytes = 260;
    mutable std::mutex m_nameLock;
    char m_name[kNameBytes] = {};  // --- protected by m_nameLock
    std::atomic<bool> m_noPauseOnFront{false};
    bool m_started = false;  // user-interface thread only
};
