// SPDX-License-Identifier: GPL-3.0-or-later
// A scripted recording, a decoder that only notes what it is asked, and audio outputs
// that play at a chosen pace: enough to drive the player without a card or FFmpeg.
#pragma once

#include "engine/media.h"
#include "engine/wavebox.h"
#include "platform/thread.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace fakes {

// A video payload: start code, NAL header byte, then the frame number.
inline std::vector<uint8_t> VideoPayload(int frame, bool key)
{
    std::vector<uint8_t> p = {0, 0, 0, 1, static_cast<uint8_t>(key ? 0x65 : 0x41), 0, 0, 0, 0};
    std::memcpy(p.data() + 5, &frame, 4);
    return p;
}

inline int FrameOf(const void* data, int size)
{
    int frame = -1;
    if (size >= 9) {
        std::memcpy(&frame, static_cast<const uint8_t*>(data) + 5, 4);
    }
    return frame;
}

struct Packet {
    std::string id;
    std::vector<uint8_t> data;
    int frame = 0;  // the front frame it belongs to
};

struct RecordingPlan {
    int frames = 90;
    int fps = 30;               // what the parser reports for channel 0
    int keyEvery = 30;          // front key unit every this many frames
    bool rear = false;          // a rear picture after every front one
    bool third = false;         // a third-channel picture after every front one
    int audioBytes = 0;         // a sound packet after every front one (stamped with the frame)
    int audioFrames = 1 << 30;  // ... but only for the frames before this one
    int textEvery = 0;          // a text line before every this many-th front picture
    int firstKey = 0;           // frames before this one are never key units
};

inline std::vector<Packet> MakeRecording(const RecordingPlan& plan)
{
    std::vector<Packet> packets;
    for (int f = 0; f < plan.frames; ++f) {
        const bool key = f >= plan.firstKey && (f - plan.firstKey) % plan.keyEvery == 0;
        if (plan.textEvery > 0 && f % plan.textEvery == 0) {
            const std::string line = "Bspd=" + std::to_string(f);
            packets.push_back({"03tx", std::vector<uint8_t>(line.begin(), line.end()), f});
        }
        packets.push_back({"00dc", VideoPayload(f, key), f});
        if (plan.rear) {
            packets.push_back({"01dc", VideoPayload(f, key), f});
        }
        if (plan.third) {
            packets.push_back({"02dc", VideoPayload(f, key), f});
        }
        if (plan.audioBytes > 0 && f < plan.audioFrames) {
            std::vector<uint8_t> pcm(static_cast<size_t>(plan.audioBytes), 0);
            std::memcpy(pcm.data(), &f, std::min<size_t>(4, pcm.size()));
            packets.push_back({"02wb", std::move(pcm), f});
        }
    }
    return packets;
}

// Called only under the player lock, like the real parser.
class FakeParser : public VMediaParser {
public:
    explicit FakeParser(const RecordingPlan& plan = {}) { SetRecording(plan); }

    void SetRecording(const RecordingPlan& plan)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_spec = plan;
        m_packets = MakeRecording(plan);
        m_pos = 0;
    }
    // Seeks land on whole seconds and report them, like the card parser.
    std::atomic<bool> snapped{false};
    std::atomic<bool> openFails{false};
    std::atomic<int> frontDelivered{0};
    std::atomic<int> starts{0};
    std::atomic<int> stops{0};
    std::atomic<int> closes{0};

    // Holds ParseMedia until Release (the worker is then inside its loop with the lock).
    void Hold()
    {
        std::lock_guard<std::mutex> lock(m_gateLock);
        m_held = true;
    }
    void Release()
    {
        {
            std::lock_guard<std::mutex> lock(m_gateLock);
            m_held = false;
        }
        m_gate.notify_all();
    }
    bool WaitUntilHeld(int timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> lock(m_gateLock);
        return m_gate.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_waiting; });
    }

    std::vector<std::string> Log()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_log;
    }
    std::vector<float> Seeks()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_seeks;
    }

    bool Start() override
    {
        ++starts;
        return true;
    }
    void Stop() override { ++stops; }
    int Open(char* path, MediaInfo* info) override
    {
        char* cut = std::strpbrk(path, ", ");
        if (cut) {
            *cut = 0;
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_log.push_back(std::string("open ") + path);
        m_pos = 0;
        frontDelivered = 0;
        if (openFails) {
            m_pos = m_packets.size();
            return 0;
        }
        info->frameRate0 = m_spec.fps;
        info->frameRate1 = m_spec.rear ? m_spec.fps : 0;
        info->frameCount0 = m_spec.frames;
        info->frameCount1 = m_spec.rear ? m_spec.frames : 0;
        return 1;
    }
    void Close() override
    {
        ++closes;
        std::lock_guard<std::mutex> lock(m_lock);
        m_pos = m_packets.size();
    }
    int ReadPacket(void*, int*) override { return kPacketNone; }
    int ParseMedia(char* id, void* buffer, int* size) override
    {
        {
            std::unique_lock<std::mutex> lock(m_gateLock);
            if (m_held) {
                m_waiting = true;
                m_gate.notify_all();
                m_gate.wait(lock, [&] { return !m_held; });
                m_waiting = false;
            }
        }
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_log.empty() || m_log.back() != "read") {
            m_log.push_back("read");
        }
        if (m_pos >= m_packets.size()) {
            return -1;
        }
        const Packet& p = m_packets[m_pos++];
        std::memcpy(id, p.id.c_str(), 4);
        const int n = std::min(*size, static_cast<int>(p.data.size()));
        std::memcpy(buffer, p.data.data(), static_cast<size_t>(n));
        *size = n;
        if (p.id == "00dc") {
            ++frontDelivered;
        }
        return 5;
    }
    VideoSize GetVideoSize(int) override { return {64, 48}; }
    int GetFrameRate(int channel) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return channel == 0 ? m_spec.fps : (channel == 1 && m_spec.rear ? m_spec.fps : 0);
    }
    void GetAudioFormat(int* bits, int* rate) override
    {
        *bits = 16;
        *rate = 8000;
    }
    int SeekTime(float seconds) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_seeks.push_back(seconds);
        m_log.push_back("seek");
        const int fps = m_spec.fps > 0 ? m_spec.fps : 30;
        const int whole = static_cast<int>(seconds);
        const int frame = snapped ? whole * fps : static_cast<int>(seconds * static_cast<float>(fps) + 0.5f);
        // Reading continues with the first packet of that frame.
        m_pos = m_packets.size();
        for (size_t i = 0; i < m_packets.size(); ++i) {
            if (m_packets[i].frame >= frame) {
                m_pos = i;
                break;
            }
        }
        return whole;
    }
    bool IsSeekSnapped() override { return snapped.load(); }

private:
    std::mutex m_lock;
    RecordingPlan m_spec;           // --- protected by m_lock
    std::vector<Packet> m_packets;  // --- protected by m_lock
    size_t m_pos = 0;               // --- protected by m_lock
    std::vector<std::string> m_log;
    std::vector<float> m_seeks;

    std::mutex m_gateLock;
    std::condition_variable m_gate;
    bool m_held = false;     // --- protected by m_gateLock
    bool m_waiting = false;  // --- protected by m_gateLock
};

struct DecodeCall {
    int channel;
    int frame;
    bool show;
};

class FakeDecoder : public VMediaDecoder {
public:
    std::atomic<int> inits{0};
    std::atomic<int> releases{0};
    std::atomic<int> failFrame{-1};  // front frame whose decoding fails
    // Front decodes that give no picture yet, as a decoder reordering B-frames does.
    std::atomic<int> heldBack{0};
    // Runs on the worker for every DecodeAndShow (before it is noted).
    std::function<void(const DecodeCall&)> onDecode;
    // Front pictures come out this many packets late, through Decode and Show, as from
    // frame threads; 0: through DecodeAndShow.
    std::atomic<int> delay{0};

    // Front pictures that came out of Decode, in order, and whether Show painted them.
    std::vector<DecodeCall> Out()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_out;
    }

    std::vector<DecodeCall> Calls()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_calls;
    }
    std::vector<int> Redraws()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_redraws;
    }
    std::vector<int> Flushes()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_flushes;
    }
    std::vector<int> FramesOf(int channel)
    {
        std::vector<int> frames;
        for (const DecodeCall& c : Calls()) {
            if (c.channel == channel) {
                frames.push_back(c.frame);
            }
        }
        return frames;
    }
    // The decodes made without showing them, in order.
    std::vector<DecodeCall> HiddenCalls()
    {
        std::vector<DecodeCall> hidden;
        for (const DecodeCall& c : Calls()) {
            if (!c.show) {
                hidden.push_back(c);
            }
        }
        return hidden;
    }
    void ClearCalls()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_calls.clear();
        m_redraws.clear();
        m_flushes.clear();
        m_out.clear();
    }

    bool Init() override
    {
        ++inits;
        return true;
    }
    void Release() override { ++releases; }
    bool DecodeAndShow(int channel, PictureSinkHandle, const void* data, int size, bool show) override
    {
        const DecodeCall call{channel, FrameOf(data, size), show};
        if (onDecode) {
            onDecode(call);
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_calls.push_back(call);
        m_failed[channel & 3] = channel == 0 && call.frame == failFrame.load();
        if (channel == 0 && heldBack.load() > 0) {
            --heldBack;
            return false;
        }
        return !m_failed[channel & 3];
    }
    bool DecodeFailed(int channel) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_failed[channel & 3];
    }
    bool Redraw(int channel, PictureSinkHandle) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_redraws.push_back(channel);
        return true;
    }
    void Flush(int channel) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_flushes.push_back(channel);
        if (channel == 0) {
            m_held.clear();
        }
    }
    int Delay(int channel) override { return channel == 0 ? delay.load() : 0; }
    bool Decode(int channel, const void* data, int size, int tag, int* pictureTag) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (channel != 0) {
            return false;
        }
        if (data != nullptr) {
            m_held.push_back({FrameOf(data, size), tag});
        }
        if (m_held.empty() || (data != nullptr && static_cast<int>(m_held.size()) <= delay.load())) {
            return false;
        }
        m_out.push_back({0, m_held.front().first, false});
        *pictureTag = m_held.front().second;
        m_held.erase(m_held.begin());
        return true;
    }
    bool Show(int channel, PictureSinkHandle) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (channel != 0 || m_out.empty()) {
            return false;
        }
        m_out.back().show = true;
        return true;
    }
    void SetContrast(int, int) override {}
    void SetBrightness(int channel, int value) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        brightness[channel & 3] = value;
    }
    void SetFlipMode(int, int) override {}
    bool SaveSnapshot(int, const char*) override { return true; }

    int brightness[4] = {};

private:
    std::mutex m_lock;
    std::vector<DecodeCall> m_calls;
    std::vector<int> m_redraws;
    std::vector<int> m_flushes;
    bool m_failed[4] = {};
    std::vector<std::pair<int, int>> m_held;  // front frame, tag
    std::vector<DecodeCall> m_out;
};

// Plays instantly (or with a delay per packet) and notes what it was given.
class FakeAudio : public VAudio {
public:
    std::atomic<int> delayMs{0};
    std::atomic<int> opens{0};
    std::atomic<int> closes{0};

    std::vector<int> Lengths()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_lengths;
    }
    std::vector<int> Frames()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_frames;
    }
    void ClearLog()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_lengths.clear();
        m_frames.clear();
    }

    bool Open(int, int) override
    {
        ++opens;
        return true;
    }
    int Close() override
    {
        ++closes;
        return 1;
    }
    int Write(const void* pcm, int length) override
    {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            m_lengths.push_back(length);
            int frame = -1;
            if (length >= 4) {
                std::memcpy(&frame, pcm, 4);
            }
            m_frames.push_back(frame);
        }
        if (delayMs > 0) {
            SleepMs(delayMs);
        }
        return 1;
    }
    int OnError(int code) override { return code; }

private:
    std::mutex m_lock;
    std::vector<int> m_lengths;
    std::vector<int> m_frames;
};

// A sound device the test drives: it takes every packet at once (but the one it is told to
// give up on) and has pulled exactly what the test says, with no latency.
class ScriptedDevice : public VAudio, public VAudioClock {
public:
    std::atomic<int> dropPacket{-1};  // index of the written packet to give up on
    std::atomic<int> written{0};

    // The device has pulled `total` bytes of what it accepted (never more).
    void PullTo(uint64_t total)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_pulled = std::min(total, m_accepted);
        m_lastPullNs = NowNs();
    }
    uint64_t Pulled()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_pulled;
    }

    bool Open(int, int) override { return true; }
    int Close() override { return 1; }
    int Write(const void*, int length) override
    {
        if (written++ == dropPacket.load()) {
            return 2;  // gave up waiting for room: dropped
        }
        std::lock_guard<std::mutex> lock(m_lock);
        if (m_accepted == m_pulled) {
            m_activeSinceNs = NowNs();
        }
        m_accepted += static_cast<uint64_t>(length);
        return 1;
    }
    int OnError(int code) override { return code; }
    bool ClockSample(AudioClockSample* sample) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        *sample = AudioClockSample{};
        sample->acceptedBytes = m_accepted;
        sample->pulledBytes = m_pulled;
        sample->lastPullNs = m_lastPullNs;  // no bytes named: no interpolation past m_pulled
        sample->activeSinceNs = m_activeSinceNs;
        sample->bytesPerSec = 16000;
        sample->paused = m_paused;
        return true;
    }
    void Pause(bool paused) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_paused = paused;
    }
    void Flush() override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_pulled = m_accepted;
    }
    void Interrupt() override {}

    static int64_t NowNs()
    {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

private:
    std::mutex m_lock;
    uint64_t m_accepted = 0;      // --- protected by m_lock
    uint64_t m_pulled = 0;        // --- protected by m_lock
    int64_t m_lastPullNs = 0;     // --- protected by m_lock
    int64_t m_activeSinceNs = 0;  // --- protected by m_lock
    bool m_paused = false;        // --- protected by m_lock
};

// Polls until pred holds; the bound only keeps a broken player from hanging the test.
inline bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 20000)
{
    const long long end = TickMs() + timeoutMs;
    while (!pred()) {
        if (TickMs() > end) {
            return false;
        }
        SleepMs(2);
    }
    return true;
}

}  // namespace fakes
