// SPDX-License-Identifier: GPL-3.0-or-later
// One headless playback: the card library on a card folder, the parser, decoder, wave box
// and player wired as the main window wires them, off-screen picture sinks, and the counts
// and measurements the tools report.
#pragma once

#include "engine/decoder.h"
#include "engine/mediaplayer.h"
#include "engine/wavebox.h"
#include "formats/mubparser.h"
#include "platform/picturesink.h"
#include "tools/mubplay/avsync_meter.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SessionOptions {
    std::string card;
    std::string name;
    VideoSize size[3];  // 0 x 0: the recorded size
    int dumpEvery = 0;  // save every Nth presented front picture (0: none)
    std::string dumpDir;
    bool telemetry = false;  // print each telemetry line with its playback time
    bool pacerLog = false;   // the player's per-picture pacing line
    // Hide the wave box's backlog from the player: pictures then wait only for the sound
    // queue to drain to one packet (for comparing the two ways of keeping step).
    bool drainOnly = false;
    // Every channel's sink shown, at its given size or 320x180, whatever the first
    // recording holds (for playing many recordings in one session).
    bool allChannels = false;
    // Pictures of at least this many pixels decode on frame threads (-1: the decoder's own
    // threshold; 0: every picture).
    long long frameThreadPixels = -1;
};

// Passes every call to a wave box but tells nothing of its backlog.
class CPlainAudio : public VAudio {
public:
    explicit CPlainAudio(VAudio* audio) : m_audio(audio) {}
    bool Open(int bits, int rate) override { return m_audio->Open(bits, rate); }
    int Close() override { return m_audio->Close(); }
    int Write(const void* pcm, int length) override { return m_audio->Write(pcm, length); }
    int OnError(int code) override { return m_audio->OnError(code); }

private:
    VAudio* m_audio;
};

class CPlaybackSession {
public:
    CPlaybackSession() = default;
    ~CPlaybackSession();
    CPlaybackSession(const CPlaybackSession&) = delete;
    CPlaybackSession& operator=(const CPlaybackSession&) = delete;

    // Opens the card, sizes the sinks and starts the player. False with a message on error.
    bool Setup(const SessionOptions& options, std::string* error);
    // Opens the recording in the player (it starts playing); another name when given.
    void Open(const std::string& name = {});
    // Stops every thread; the counts stay readable.
    void Shutdown();

    CQVZMediaPlayer& Player() { return m_player; }
    CAvSyncMeter& Meter() { return m_meter; }
    bool Ended() const { return m_ended.load(); }
    void ClearEnded() { m_ended = false; }
    // End events received, and those about an open that was no longer the latest.
    int Ends() const { return m_ends.load(); }
    int StaleEnds() const { return m_staleEnds.load(); }
    // Media time of the first front picture presented after the latest Open, -1 before.
    int FirstPresentedMs() const { return m_firstPresentedMs.load(); }

    // The spread of the intervals between front pictures presented while playing. A
    // command breaks the run: the interval across it is not counted.
    struct Intervals {
        size_t count = 0;
        double meanMs = 0, sdMs = 0, p1Ms = 0, p99Ms = 0, maxMs = 0;
        size_t over50 = 0;  // a picture held past one and a half periods at 30 fps
    };
    void BreakIntervals();
    Intervals PresentIntervals() const;
    bool SoundPlaying() { return m_wave.IsPlaying(); }
    long long Presented(int channel) const { return m_presented[channel].load(); }
    CPictureSink& Sink(int channel) { return m_sinks[channel]; }
    // Steady-clock time of the latest front picture and its serial.
    void LatestFront(uint64_t* serial, int64_t* steadyNs);
    // Waits for a front picture with a serial above the given one; false on timeout.
    bool WaitFrontAfter(uint64_t serial, int timeoutMs, int64_t* steadyNs);

    static int64_t NowNs();

private:
    static void OnText(void* user, const char* text, int length, int timeMs);
    static void OnEvent(void* user, int event, int a, int b);
    void OnPicture(int channel, uint64_t serial);
    void SaveLoop();

    SessionOptions m_options;
    MUBContext m_ctx = nullptr;
    CMUBParser m_parser;
    CDecoder m_decoder;
    CWaveBox m_wave;
    CPlainAudio m_plainWave{&m_wave};
    CPictureSink m_sinks[3];
    CAvSyncMeter m_meter;
    std::atomic<bool> m_ended{false};
    std::atomic<int> m_ends{0};
    std::atomic<int> m_staleEnds{0};
    std::atomic<int> m_firstPresentedMs{-1};
    std::atomic<long long> m_presented[3] = {0, 0, 0};

    mutable std::mutex m_frontLock;
    std::condition_variable m_frontCond;
    uint64_t m_frontSerial = 0;       // --- protected by m_frontLock
    int64_t m_frontNs = 0;            // --- protected by m_frontLock
    int64_t m_runStartNs = 0;         // --- protected by m_frontLock (0: the run was broken)
    std::vector<double> m_intervals;  // --- protected by m_frontLock

    // Pictures to save, written by a thread of their own so that saving never holds up
    // playback.
    std::mutex m_saveLock;
    std::condition_variable m_saveCond;
    std::deque<std::pair<long long, CVipImgBase>> m_toSave;  // --- protected by m_saveLock
    bool m_saveStop = false;                                 // --- protected by m_saveLock
    std::thread m_saver;

    bool m_started = false;
    // Last: its threads stop before anything above goes.
    CQVZMediaPlayer m_player;
};
