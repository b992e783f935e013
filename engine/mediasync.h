// SPDX-License-Identifier: GPL-3.0-or-later
// The sound side of the player: a queue of PCM packets, the "MediaSync" thread that writes
// them to the audio output, and the sound clock that says which media time is being heard.
// Also the frame-rate pacer the player falls back to when there is no sound to follow.
//
// Locks, in the order they may be taken: the writer lock (held by the thread around one
// write, and by Flush/Reopen), then the queue lock, then the output's own locks.
#pragma once

#include "engine/media.h"
#include "engine/soundclock.h"
#include "platform/thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class CMediaSync {
public:
    CMediaSync();
    virtual ~CMediaSync();
    CMediaSync(const CMediaSync&) = delete;
    CMediaSync& operator=(const CMediaSync&) = delete;

    // Set before StartThread. When the output can also tell its position (VAudioClock),
    // the sound clock follows it; otherwise only the queue length paces (WaitDrain).
    void SetAudio(VAudio* audio);
    // Set before StartThread: sound goes to the output only while this says so (the player
    // opens it while playing). Empty: always.
    void SetGate(std::function<bool()> gate) { m_gate = std::move(gate); }
    // The gate may have opened: the thread looks again at once.
    void Wake();

    // Any thread. Keeps at most kMaxAudioPlayBytes of the packet; mediaStartMs is the media
    // time of its first byte.
    bool Push(const void* pcm, int length, double mediaStartMs = 0);
    // False when the queue is empty. (The thread pops on its own; this is for checks.)
    bool Pop(void* out, int* length);
    // Waits while two or more packets are queued and keepWaiting() holds.
    void WaitDrain(const std::function<bool()>& keepWaiting = {});
    // Drops the sound queued here, in hand and at the device: nothing of it is heard.
    void Flush();
    // Closes and opens the output with a new format, with nothing queued anywhere.
    void Reopen(int bitsPerSample, int sampleRate);
    int QueuedCount() const { return m_count.load(); }
    // Packets the output gave up on (dropped); their time is skipped, not waited for.
    long long DroppedPackets() const { return m_dropped.load(); }

    // The media time heard at nowNs. False when the output cannot tell (no clock, or no
    // device open): the caller then paces by the frame rate.
    bool Heard(int64_t nowNs, CSoundClock::Position* position);

    bool StartThread();
    void StopThread();

private:
    struct _packet_pcm {
        uint8_t data[kMaxAudioPlayBytes];
        int32_t length;
        double startMs;
    };

    // Runs on the "MediaSync" thread.
    void Run();
    bool GateOpen() const { return !m_gate || m_gate(); }
    void Idle();
    // Takes the writer lock, making any write under way give up first.
    std::unique_lock<std::mutex> LockWriter();
    // Writer lock held: forgets every packet, queued or in hand, and the clock's segments.
    void DropAll();

    VAudio* m_audio = nullptr;        // set before the thread starts
    VAudioClock* m_device = nullptr;  // the same object, when it can tell its position
    std::function<bool()> m_gate;     // set before the thread starts
    CSingleThread m_thread{"MediaSync"};

    std::mutex m_writeLock;                 // held around one write to the output
    std::unique_ptr<_packet_pcm> m_inHand;  // --- protected by m_writeLock; null when none
    std::atomic<bool> m_hasInHand{false};   // mirrors m_inHand for the clock's readers
    std::atomic<long long> m_dropped{0};

    mutable std::mutex m_lock;  // the queue lock
    std::condition_variable m_wake;
    std::deque<std::unique_ptr<_packet_pcm>> m_queue;  // --- protected by m_lock
    std::deque<std::unique_ptr<_packet_pcm>> m_spare;  // --- protected by m_lock (reused entries)
    CSoundClock m_clock;                               // --- protected by m_lock
    bool m_woken = false;                              // --- protected by m_lock
    std::atomic<int> m_count{0};                       // mirrors m_queue.size()
};

// Paces front pictures to the frame rate, minus the mean work time between pictures.
class CFramePacer {
public:
    // Milliseconds to sleep before the picture due now (nowMs), and the diagnostic line.
    int Next(long long nowMs, int fps, bool log);
    // After the sleep: the next work time is measured from here.
    void Done(long long nowMs) { m_lastTickMs = nowMs; }
    // Forgets the work times: pictures that followed the sound were spaced by it, and their
    // gaps must not count as work when the pacer takes over.
    void Reset() { *this = CFramePacer(); }

private:
    static constexpr int kWindow = 24;  // work times averaged
    long long m_lastTickMs = -1;
    int m_times[kWindow] = {};
    int m_count = 0;
    int m_next = 0;
};
