// SPDX-License-Identifier: GPL-3.0-or-later
// The wave box against a fake device whose buffers finish only when the test says so,
// and the SDL wave-output layer on SDL's dummy driver.
#include "engine/wavebox.h"
#include "platform/thread.h"
#include "platform/waveout.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// A device that keeps what is written queued until Finish() is called.
class FakeWaveOut : public VWaveOut {
public:
    bool failOpen = false;
    int opens = 0;
    int closes = 0;
    int resets = 0;
    std::vector<std::vector<char>> written;  // bytes of each accepted write
    WAVEFORMATEX format{};

    MMRESULT Open(HWAVEOUT* device, UINT, const WAVEFORMATEX* fmt, WaveOutProc callback, DWORD_PTR instance,
                  DWORD) override
    {
        ++opens;
        if (failOpen) {
            *device = nullptr;
            return MMSYSERR_NODRIVER;
        }
        format = *fmt;
        m_callback = callback;
        m_instance = instance;
        *device = Handle();
        m_open = true;
        return MMSYSERR_NOERROR;
    }
    MMRESULT PrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT) override
    {
        if (!Valid(device)) {
            return MMSYSERR_INVALHANDLE;
        }
        header->dwFlags = header->dwFlags.load() | WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }
    MMRESULT UnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT) override
    {
        if (!Valid(device)) {
            return MMSYSERR_INVALHANDLE;
        }
        header->dwFlags = header->dwFlags.load() & ~WHDR_PREPARED;
        return MMSYSERR_NOERROR;
    }
    MMRESULT Write(HWAVEOUT device, WAVEHDR* header, UINT) override
    {
        if (!Valid(device)) {
            return MMSYSERR_INVALHANDLE;
        }
        if (!(header->dwFlags.load() & WHDR_PREPARED)) {
            return WAVERR_UNPREPARED;
        }
        header->dwFlags = (header->dwFlags.load() & ~WHDR_DONE) | WHDR_INQUEUE;
        written.emplace_back(header->lpData, header->lpData + header->dwBufferLength);
        m_queue.push_back(header);
        return MMSYSERR_NOERROR;
    }
    MMRESULT Reset(HWAVEOUT device) override
    {
        if (!Valid(device)) {
            return MMSYSERR_INVALHANDLE;
        }
        ++resets;
        while (!m_queue.empty()) {
            Finish();
        }
        return MMSYSERR_NOERROR;
    }
    MMRESULT Close(HWAVEOUT device) override
    {
        if (!Valid(device)) {
            return MMSYSERR_INVALHANDLE;
        }
        if (!m_queue.empty()) {
            return WAVERR_STILLPLAYING;
        }
        ++closes;
        m_open = false;
        return MMSYSERR_NOERROR;
    }
    MMRESULT GetPosition(HWAVEOUT device, MMTIME* time, UINT) override
    {
        if (!Valid(device)) {
            return MMSYSERR_INVALHANDLE;
        }
        time->cb = m_position;
        return MMSYSERR_NOERROR;
    }
    // A device that got sound and has not pulled since (a sound server starting up).
    bool starting = false;
    MMRESULT GetClock(HWAVEOUT device, WaveOutClock* clock) override
    {
        const MMRESULT r = VWaveOut::GetClock(device, clock);
        clock->activeSinceNs = starting ? 2 : 0;
        clock->lastPullNs = starting ? 1 : 0;
        return r;
    }

    // Plays the oldest queued buffer to its end.
    void Finish()
    {
        WAVEHDR* header = m_queue.front();
        m_queue.pop_front();
        m_position += header->dwBufferLength;
        header->dwFlags = (header->dwFlags.load() & ~WHDR_INQUEUE) | WHDR_DONE;
        m_callback(Handle(), WOM_DONE, m_instance, reinterpret_cast<DWORD_PTR>(header), 0);
    }
    size_t Queued() const { return m_queue.size(); }
    void AdvancePosition(DWORD bytes) { m_position += bytes; }

private:
    HWAVEOUT Handle() { return reinterpret_cast<HWAVEOUT>(this); }
    bool Valid(HWAVEOUT device) { return m_open && device == Handle(); }

    bool m_open = false;
    WaveOutProc m_callback = nullptr;
    DWORD_PTR m_instance = 0;
    std::deque<WAVEHDR*> m_queue;
    DWORD m_position = 0;
};

// Counts the attempts Write makes.
class CountingWaveBox : public CWaveBox {
public:
    using CWaveBox::CWaveBox;
    int attempts = 0;
    int WriteOnce(const void* pcm, int length) override
    {
        ++attempts;
        return CWaveBox::WriteOnce(pcm, length);
    }
};

std::vector<char> Ramp(int length)
{
    std::vector<char> bytes(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
        bytes[static_cast<size_t>(i)] = static_cast<char>(i * 7 + i / 256);
    }
    return bytes;
}

}  // namespace

TEST(WaveBox, OpenDescribesMonoPcm)
{
    FakeWaveOut device;
    CWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    EXPECT_TRUE(box.IsReady());
    EXPECT_EQ(device.format.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(device.format.nChannels, 1);
    EXPECT_EQ(device.format.nSamplesPerSec, 8000u);
    EXPECT_EQ(device.format.nAvgBytesPerSec, 16000u);
    EXPECT_EQ(device.format.nBlockAlign, 2);
    EXPECT_EQ(device.format.wBitsPerSample, 16);
    EXPECT_EQ(device.format.cbSize, 0);
    EXPECT_EQ(box.FreeBuffers(), 2);
}

TEST(WaveBox, LongPacketPlaysItsFirst8192Bytes)
{
    FakeWaveOut device;
    CWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    const std::vector<char> packet = Ramp(10000);
    EXPECT_EQ(box.Write(packet.data(), 10000), 1);
    ASSERT_EQ(device.written.size(), 1u);
    ASSERT_EQ(device.written[0].size(), 8192u);
    EXPECT_EQ(0, std::memcmp(device.written[0].data(), packet.data(), 8192));
    EXPECT_EQ(box.FreeBuffers(), 1);
}

TEST(WaveBox, BuffersRotateAndComeBackThroughTheCallback)
{
    FakeWaveOut device;
    CWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    const std::vector<char> a = Ramp(100);
    const std::vector<char> b = Ramp(200);
    EXPECT_EQ(box.Write(a.data(), 100), 1);
    EXPECT_EQ(box.Write(b.data(), 200), 1);
    EXPECT_EQ(box.FreeBuffers(), 0);
    EXPECT_EQ(box.PendingBytes(), 300);
    device.Finish();
    EXPECT_EQ(box.FreeBuffers(), 1);
    EXPECT_EQ(box.PendingBytes(), 200);
    // The first buffer is free again and is the next one used.
    EXPECT_EQ(box.Write(a.data(), 50), 1);
    EXPECT_EQ(device.written.back().size(), 50u);
    EXPECT_EQ(box.Header(0).dwBufferLength, 50u);
    EXPECT_EQ(box.Header(1).dwBufferLength, 200u);
}

TEST(WaveBox, GivesUpAfter51BusyTriesWhileTheDeviceIsStopped)
{
    FakeWaveOut device;
    CountingWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    const std::vector<char> packet = Ramp(512);
    box.Write(packet.data(), 512);
    box.Write(packet.data(), 512);
    box.attempts = 0;
    EXPECT_EQ(box.Write(packet.data(), 512), 2);
    EXPECT_EQ(box.attempts, 51);
    // A device that has not pulled since it got sound is given two seconds to start.
    device.starting = true;
    box.attempts = 0;
    EXPECT_EQ(box.Write(packet.data(), 512), 2);
    EXPECT_EQ(box.attempts, 201);
    device.starting = false;
    EXPECT_FALSE(box.IsReady());
    EXPECT_EQ(device.written.size(), 2u);  // the packet was dropped
    // A later write finds the device again once it plays.
    device.Finish();
    box.attempts = 0;
    EXPECT_EQ(box.Write(packet.data(), 512), 1);
    EXPECT_EQ(box.attempts, 1);
}

TEST(WaveBox, OnErrorClearsReadyOnlyForDeviceFaults)
{
    FakeWaveOut device;
    CWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    EXPECT_EQ(box.OnError(32), 32);
    EXPECT_TRUE(box.IsReady());
    for (int code : {5, 6, 7, 34}) {
        box.Open(16, 8000);
        ASSERT_TRUE(box.IsReady());
        EXPECT_EQ(box.OnError(code), code);
        EXPECT_FALSE(box.IsReady()) << code;
    }
}

TEST(WaveBox, WithoutADeviceEachWriteEndsAfterOneAttempt)
{
    FakeWaveOut device;
    device.failOpen = true;
    CountingWaveBox box(&device);
    EXPECT_FALSE(box.Open(16, 8000));
    EXPECT_FALSE(box.IsReady());
    const std::vector<char> packet = Ramp(512);
    for (int i = 0; i < 5; ++i) {
        box.attempts = 0;
        EXPECT_EQ(box.Write(packet.data(), 512), 1);
        EXPECT_EQ(box.attempts, 1) << "write " << i;
        EXPECT_FALSE(box.IsReady());
    }
    // Refused buffers are not counted as queued.
    EXPECT_EQ(box.FreeBuffers(), 2);
    EXPECT_EQ(box.PendingBytes(), 0);
    EXPECT_FALSE(box.IsPlaying());
}

TEST(WaveBox, CloseWithQueuedBuffersReleasesTheDevice)
{
    FakeWaveOut device;
    CWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    const std::vector<char> packet = Ramp(512);
    box.Write(packet.data(), 512);
    box.Write(packet.data(), 512);
    EXPECT_EQ(box.Close(), 1);
    EXPECT_EQ(device.closes, 1);
    EXPECT_EQ(device.Queued(), 0u);
    EXPECT_EQ(box.FreeBuffers(), 2);
    EXPECT_FALSE(box.IsReady());
    // Closing twice reports the failure.
    EXPECT_EQ(box.Close(), -1);
    // Reopening with another format works with both buffers.
    ASSERT_TRUE(box.Open(8, 11025));
    EXPECT_EQ(device.format.nBlockAlign, 1);
    EXPECT_EQ(device.format.nAvgBytesPerSec, 11025u);
    EXPECT_EQ(box.Write(packet.data(), 512), 1);
    EXPECT_EQ(box.Write(packet.data(), 512), 1);
}

TEST(WaveBox, EmptyWriteRecyclesAFinishedBuffer)
{
    FakeWaveOut device;
    CWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    const std::vector<char> packet = Ramp(64);
    // Nothing finished yet: nothing to recycle.
    EXPECT_EQ(box.Write(nullptr, 0), 1);
    box.Write(packet.data(), 64);
    EXPECT_EQ(box.Write(nullptr, 0), 1);  // one buffer still queued
    device.Finish();
    EXPECT_EQ(box.Write(nullptr, 0), -1);
    EXPECT_EQ(box.Header(0).dwFlags.load() & WHDR_PREPARED, 0u);
}

TEST(WaveBox, PauseAndFlushMakeAWaitingWriteGiveUpWithoutDroppingTheDevice)
{
    FakeWaveOut device;
    CWaveBox box(&device);
    ASSERT_TRUE(box.Open(16, 8000));
    const std::vector<char> packet = Ramp(512);
    box.Write(packet.data(), 512);
    box.Write(packet.data(), 512);
    // Paused with no room: the packet is handed back at once, not dropped after 51 tries.
    box.Pause(true);
    EXPECT_EQ(box.Write(packet.data(), 512), 0);
    EXPECT_TRUE(box.IsReady());
    // A write waiting for room gives up when interrupted.
    box.Pause(false);
    std::thread waiting([&] { EXPECT_EQ(box.Write(packet.data(), 512), 0); });
    SleepMs(30);
    box.Interrupt();
    waiting.join();
    EXPECT_EQ(device.written.size(), 2u);
    AudioClockSample clock;
    ASSERT_TRUE(box.ClockSample(&clock));
    EXPECT_EQ(clock.acceptedBytes, 1024u);
    EXPECT_EQ(clock.bytesPerSec, 16000);
    // Flushing drops what is queued: both buffers come back and nothing is pending.
    box.Flush();
    EXPECT_EQ(device.resets, 1);
    EXPECT_EQ(box.FreeBuffers(), 2);
    EXPECT_EQ(box.Write(packet.data(), 512), 1);
    EXPECT_EQ(box.PendingBytes(), 512);
}

// ---- The SDL layer on the dummy driver ----

namespace {

struct DoneLog {
    std::mutex lock;
    std::condition_variable cond;
    std::vector<WAVEHDR*> done;  // --- protected by lock

    static void Proc(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
    {
        auto* self = reinterpret_cast<DoneLog*>(instance);
        if (message == WOM_DONE) {
            std::lock_guard<std::mutex> guard(self->lock);
            self->done.push_back(reinterpret_cast<WAVEHDR*>(param1));
            self->cond.notify_all();
        }
    }
    bool WaitFor(size_t count)
    {
        std::unique_lock<std::mutex> guard(lock);
        // A generous bound only so that a broken device cannot hang the test.
        return cond.wait_for(guard, std::chrono::seconds(20), [&] { return done.size() >= count; });
    }
};

WAVEFORMATEX Mono16(uint32_t rate)
{
    return WAVEFORMATEX{WAVE_FORMAT_PCM, 1, rate, rate * 2, 2, 16, 0};
}

}  // namespace

TEST(WaveOutLayer, PullsQueuedHeadersInOrderAndCallsBackWhenDone)
{
    std::mutex pullLock;
    std::vector<WaveOutPull> pulls;
    std::vector<uint8_t> pulled;
    waveOutSetPullHook([&](const WaveOutPull& pull) {
        std::lock_guard<std::mutex> guard(pullLock);
        pulls.push_back(pull);
        pulled.insert(pulled.end(), pull.data, pull.data + pull.bytes);
    });
    DoneLog log;
    HWAVEOUT device = nullptr;
    const WAVEFORMATEX format = Mono16(8000);
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, &DoneLog::Proc, reinterpret_cast<DWORD_PTR>(&log),
                          CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<char> a = Ramp(1000);
    std::vector<char> b = Ramp(3000);
    WAVEHDR ha;
    ha.lpData = a.data();
    ha.dwBufferLength = 1000;
    WAVEHDR hb;
    hb.lpData = b.data();
    hb.dwBufferLength = 3000;
    EXPECT_EQ(waveOutWrite(device, &ha, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    ASSERT_EQ(waveOutPrepareHeader(device, &ha, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutPrepareHeader(device, &hb, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(device, &ha, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(device, &hb, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_TRUE(log.WaitFor(2));
    waveOutSetPullHook(nullptr);
    {
        std::lock_guard<std::mutex> guard(log.lock);
        EXPECT_EQ(log.done[0], &ha);
        EXPECT_EQ(log.done[1], &hb);
    }
    EXPECT_TRUE(ha.dwFlags.load() & WHDR_DONE);
    EXPECT_FALSE(hb.dwFlags.load() & WHDR_INQUEUE);
    // Every byte was pulled once, in order, with contiguous offsets and rising times.
    ASSERT_EQ(pulled.size(), 4000u);
    EXPECT_EQ(0, std::memcmp(pulled.data(), a.data(), 1000));
    EXPECT_EQ(0, std::memcmp(pulled.data() + 1000, b.data(), 3000));
    uint64_t offset = 0;
    for (size_t i = 0; i < pulls.size(); ++i) {
        EXPECT_EQ(pulls[i].byteOffset, offset);
        offset += static_cast<uint64_t>(pulls[i].bytes);
        if (i > 0) {
            EXPECT_GE(pulls[i].steadyNs, pulls[i - 1].steadyNs);
        }
    }
    MMTIME position;
    ASSERT_EQ(waveOutGetPosition(device, &position, sizeof(position)), MMSYSERR_NOERROR);
    EXPECT_EQ(position.cb, 4000u);
    EXPECT_EQ(waveOutUnprepareHeader(device, &ha, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_INVALHANDLE);
}

TEST(WaveOutLayer, CloseRefusesQueuedHeadersUntilReset)
{
    DoneLog log;
    HWAVEOUT device = nullptr;
    const WAVEFORMATEX format = Mono16(8000);
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, &DoneLog::Proc, reinterpret_cast<DWORD_PTR>(&log),
                          CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    // Ten seconds of sound: still queued when Close is called.
    std::vector<char> data(160000);
    WAVEHDR header;
    header.lpData = data.data();
    header.dwBufferLength = static_cast<DWORD>(data.size());
    ASSERT_EQ(waveOutPrepareHeader(device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutUnprepareHeader(device, &header, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutClose(device), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
    ASSERT_TRUE(log.WaitFor(1));
    EXPECT_TRUE(header.dwFlags.load() & WHDR_DONE);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
}

TEST(WaveOutLayer, PauseStopsThePullsAtOnceAndRestartGoesOn)
{
    std::atomic<int> pulledWhilePaused{0};
    std::atomic<bool> paused{false};
    waveOutSetPullHook([&](const WaveOutPull& pull) {
        if (paused.load()) {
            pulledWhilePaused += pull.bytes;
        }
    });
    DoneLog log;
    HWAVEOUT device = nullptr;
    const WAVEFORMATEX format = Mono16(8000);
    ASSERT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, &DoneLog::Proc, reinterpret_cast<DWORD_PTR>(&log),
                          CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    std::vector<char> data(4000);  // a quarter of a second
    WAVEHDR header;
    header.lpData = data.data();
    header.dwBufferLength = static_cast<DWORD>(data.size());
    ASSERT_EQ(waveOutPrepareHeader(device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutWrite(device, &header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutPause(device), MMSYSERR_NOERROR);
    paused = true;
    WaveOutClock before;
    ASSERT_EQ(waveOutGetClock(device, &before), MMSYSERR_NOERROR);
    EXPECT_TRUE(before.paused);
    SleepMs(300);
    WaveOutClock after;
    ASSERT_EQ(waveOutGetClock(device, &after), MMSYSERR_NOERROR);
    EXPECT_EQ(after.pulledBytes, before.pulledBytes);
    EXPECT_EQ(pulledWhilePaused.load(), 0);
    EXPECT_EQ(after.periodBytes, 512);  // about 32 ms a pull at 8 kHz
    EXPECT_EQ(after.latencyNs, 0);      // the dummy driver plays nothing
    paused = false;
    ASSERT_EQ(waveOutRestart(device), MMSYSERR_NOERROR);
    ASSERT_TRUE(log.WaitFor(1));
    ASSERT_EQ(waveOutGetClock(device, &after), MMSYSERR_NOERROR);
    EXPECT_EQ(after.pulledBytes, 4000u);
    EXPECT_GT(after.lastPullNs, before.lastPullNs);
    EXPECT_GT(after.lastPullBytes, 0);
    waveOutSetPullHook(nullptr);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
}

TEST(WaveOutLayer, LatencyIsOnePullForRealDevicesAndCanBeSet)
{
    EXPECT_EQ(waveOutLatencyNs("dummy", 256, 8000), 0);
    EXPECT_EQ(waveOutLatencyNs("pulseaudio", 256, 8000), 32'000'000);
    EXPECT_EQ(waveOutLatencyNs("alsa", 441, 44100), 10'000'000);
    setenv("MUB_AUDIO_LATENCY_MS", "45.5", 1);
    EXPECT_EQ(waveOutLatencyNs("dummy", 256, 8000), 45'500'000);
    setenv("MUB_AUDIO_LATENCY_MS", "junk", 1);
    EXPECT_EQ(waveOutLatencyNs("alsa", 441, 44100), 10'000'000);
    unsetenv("MUB_AUDIO_LATENCY_MS");
}

TEST(WaveOutLayer, RejectsFormatsItCannotPlay)
{
    HWAVEOUT device = nullptr;
    WAVEFORMATEX format = Mono16(8000);
    format.wBitsPerSample = 24;
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, nullptr, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    format = Mono16(8000);
    format.wFormatTag = 3;
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, nullptr, 0, CALLBACK_NULL), WAVERR_BADFORMAT);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(waveOutPrepareHeader(nullptr, nullptr, 0), MMSYSERR_INVALHANDLE);
}

TEST(WaveOutLayer, VolumeIsKeptForTheProcess)
{
    DWORD volume = 0;
    ASSERT_EQ(waveOutSetVolume(nullptr, 0x40004000u), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutGetVolume(nullptr, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0x40004000u);
    waveOutSetVolume(nullptr, 0xFFFFFFFFu);
}

TEST(WaveOutLayer, VolumeScalesTheSamplesHandedToTheSoundSystem)
{
    const int16_t in[4] = {10000, -10000, 32767, -32768};
    int16_t out[4] = {};
    const WAVEFORMATEX mono = Mono16(8000);
    const auto* bytesIn = reinterpret_cast<const uint8_t*>(in);
    auto* bytesOut = reinterpret_cast<uint8_t*>(out);
    waveOutScaleSamples(mono, 0x80008000u, bytesOut, bytesIn, sizeof(in));
    EXPECT_NEAR(out[0], 5000, 1);
    EXPECT_NEAR(out[1], -5000, 1);
    EXPECT_NEAR(out[2], 16384, 1);
    EXPECT_NEAR(out[3], -16384, 1);
    waveOutScaleSamples(mono, 0, bytesOut, bytesIn, sizeof(in));
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[3], 0);
    waveOutScaleSamples(mono, 0xFFFFFFFFu, bytesOut, bytesIn, sizeof(in));
    EXPECT_EQ(out[3], -32768);
    // Stereo: the low word is the first channel, the high word the second.
    WAVEFORMATEX stereo = mono;
    stereo.nChannels = 2;
    waveOutScaleSamples(stereo, 0x0000FFFFu, bytesOut, bytesIn, sizeof(in));
    EXPECT_EQ(out[0], 10000);
    EXPECT_EQ(out[1], 0);
    EXPECT_EQ(out[2], 32767);
    EXPECT_EQ(out[3], 0);
    // 8-bit samples are centred on 128.
    WAVEFORMATEX eight = mono;
    eight.wBitsPerSample = 8;
    const uint8_t in8[3] = {200, 128, 0};
    uint8_t out8[3] = {};
    waveOutScaleSamples(eight, 0, out8, in8, 3);
    EXPECT_EQ(out8[0], 128);
    EXPECT_EQ(out8[2], 128);
    waveOutScaleSamples(eight, 0x80008000u, out8, in8, 3);
    EXPECT_NEAR(out8[0], 164, 1);
    EXPECT_EQ(out8[1], 128);
    EXPECT_NEAR(out8[2], 64, 1);
}

TEST(WaveOutLayerDeathTest, OpenFailsWithoutASoundDriver)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // In a fresh process, since the sound system is set up once per process.
    EXPECT_EXIT(
        {
            setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
            HWAVEOUT device = nullptr;
            const WAVEFORMATEX format = Mono16(8000);
            const MMRESULT r = waveOutOpen(&device, WAVE_MAPPER, &format, nullptr, 0, CALLBACK_NULL);
            CWaveBox box;
            const bool opened = box.Open(16, 8000);
            std::exit(r == MMSYSERR_NODRIVER && device == nullptr && !opened ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}
