// SPDX-License-Identifier: GPL-3.0-or-later
// The media player: reads a recording through the parser, keeps a cushion of front video,
// presents pictures through the decoder in step with the sound heard, hands telemetry lines
// to a callback. CMediaSync (mediasync.h) feeds the sound to the audio output on its own
// thread; the state machine is in playerstate.h.
//
// Threads and locks. The worker holds the player lock for whole read-and-present passes.
// Every change of state goes through Apply, under the state lock, from any thread; the
// worker only ever reports what it found (a stepped picture, the end of the data) and never
// stores a state over a command. Lock order: player lock, then the window lock, then the
// state lock, then the sound queue's locks, the wave box and the device; the decoder's
// locks come after the window lock.
#pragma once

#include "engine/media.h"
#include "engine/mediasync.h"
#include "engine/packetqueue.h"
#include "engine/playerstate.h"
#include "platform/thread.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

class CQVZMediaPlayer {
public:
    using TextCallback = void (*)(void* user, const char* text, int length, int timeMs);
    using EventCallback = void (*)(void* user, int event, int a, int b);

    // Run modes (RunModeOf).
    static constexpr int kIdle = 0;
    static constexpr int kPlaying = 1;
    static constexpr int kStepping = 10;
    // Play states (PlayStateOf).
    static constexpr int kStatePlaying = 0;
    static constexpr int kStatePausedStep = 1;
    static constexpr int kStateStopped = 2;
    // Presentation types in the decode queue.
    static constexpr int kTypeFront = 0;
    static constexpr int kTypeRear = 1;
    static constexpr int kTypeText = 2;
    static constexpr int kTypeThird = 100;
    // Event callback (user, kEventEnd, open number, 0): the recording of that open ended
    // or could not be read. Called once per open.
    static constexpr int kEventEnd = 1;

    CQVZMediaPlayer();
    virtual ~CQVZMediaPlayer();
    CQVZMediaPlayer(const CQVZMediaPlayer&) = delete;
    CQVZMediaPlayer& operator=(const CQVZMediaPlayer&) = delete;

    // Wiring, once, before Start.
    void SetParser(VMediaParser* parser) { m_parser = parser; }
    void SetAudio(VAudio* audio)
    {
        m_audio = audio;
        m_device = dynamic_cast<VAudioClock*>(audio);
    }
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
    // Any thread; does not wait for the worker.
    bool SaveSnapshot(int channel, const char* path);
    void SetBrightness(int channel, int value);
    void SetFlipMode(int channel, int mode);
    // Once this returns, the worker no longer paints into the sink it replaced, which the
    // caller may then destroy.
    void SetThirdWindow(PictureSinkHandle window);
    int ChannelCount(int* extra);

    // Read by the main window.
    PlayerState State() const { return m_state.load(); }
    int DurationMs() const { return m_durationMs.load(); }
    int PlayState() const { return PlayStateOf(State()); }
    int RunMode() const { return RunModeOf(State()); }
    // The picture after the one shown (pictures a decoder still holds are not shown).
    int FrameIndex() const { return std::max(m_frameIndex.load() - m_heldBack.load(), 0); }
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
    // Decoder resets after a real decoding error.
    long long DecoderResets() const { return m_decoderResets.load(); }
    CMediaSync& Sync() { return m_sync; }

private:
    enum class LoopResult { Ok, End };
    enum class SoundWait { Followed, NoClock, Interrupted };

    // Any thread: the one writer of the state. Returns the actions the caller carries out.
    uint8_t Apply(PlayerEvent event, int target = -1);
    // Waits up to timeoutNs, or until the worker has something else to do than the picture
    // in hand (not playing any more, or a seek target left).
    void WaitWhilePlaying(int64_t timeoutNs);

    // Worker thread.
    void WorkerBody();
    LoopResult ReadPresentLoop();
    // Present one video entry (and the text before it); false when the queue was empty.
    bool Present();
    void PresentFront(int length, bool show);
    // The front channel of a decoder that holds pictures back (Delay > 0): the picture
    // that comes out is shown at its own time, and the last ones come out at the end.
    void PresentDelayedFront(int length, bool show);
    bool DrainFront();
    void ShowFront(int pictureTag, bool show);
    void ResetDecoderAfterError();
    // The sound waits for the first picture of a decoder that holds pictures back.
    void HoldSoundForFirstPicture();
    void ReleaseSound();
    void PresentOther(int channel, int length, bool show);
    // Waits until the sound heard reaches the picture due at timeMs.
    SoundWait WaitForSound(int timeMs);
    // Waits until the picture due at timeMs may be shown: by the sound, or by the pacer.
    void WaitForTurn(int timeMs);
    void Pace(bool sleep);
    void StepShown(int lastChannel);

    // Player lock held.
    void SeekToFrame(int frame);
    void Reset();
    void KeyFrameFound();

    int FpsOr30() const;
    int FrameTimeMs(int frame) const;
    bool WindowVisible(int channel);

    CSingleThread m_worker{"player"};
    VMediaParser* m_parser = nullptr;    // set before Start
    VAudio* m_audio = nullptr;           // set before Start
    VAudioClock* m_device = nullptr;     // the same, when it can pause and tell its position
    VMediaDecoder* m_decoder = nullptr;  // set before Start
    CMediaSync m_sync;
    DecodeQueue m_decodeQueue;

    std::mutex m_stateLock;
    std::condition_variable m_stateChanged;                  // notified by every Apply that changed something
    std::atomic<PlayerState> m_state{PlayerState::Stopped};  // written by Apply only
    std::atomic<int> m_pendingSeek{-1};  // set by Apply, taken by the worker, cleared by Apply
    bool m_endTold = false;              // --- protected by m_stateLock: this open's end was told

    std::atomic<int> m_frameRate0{0};
    std::atomic<int> m_frameRate1{0};
    std::atomic<int> m_durationMs{0};
    std::atomic<int> m_frameIndex{0};   // the next front packet to present
    std::atomic<int> m_heldBack{0};     // front packets the decoder took but showed no picture of
    std::atomic<int> m_frameCount0{0};  // written under the player lock
    std::atomic<int> m_openSerial{0};   // written under the player lock
    std::atomic<long long> m_frontPresented{0};
    std::atomic<long long> m_lateFrames{0};
    std::atomic<long long> m_decoderResets{0};

    std::mutex m_windowLock;  // held while a sink is painted, and to change the third
    PictureSinkHandle m_windows[3] = {nullptr, nullptr, nullptr};  // --- protected by m_windowLock

    CSync m_lock;  // the player lock; guards everything below
    bool m_prebuffering = true;
    bool m_keyWait[3] = {true, true, true};
    int m_cushionCount = 0;
    int m_bitsPerSample = 16;
    int m_sampleRate = 8000;
    static constexpr int kCushionMs = 700;  // front video queued before presenting starts
    bool m_openFailed = false;
    int m_frontQueued = 0;  // front pictures in the decode queue
    // Media time at the end of the sound pushed so far, in ms; -1 until the first sound
    // after a reset anchors it to the front picture read last.
    double m_audioEndMs = -1.0;
    CFramePacer m_pacer;
    bool m_pacedBySound = false;  // the last picture followed the sound clock
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
    std::atomic<bool> m_soundHeld{false};  // read by the sound thread's gate
    bool m_started = false;                // user-interface thread only
};
