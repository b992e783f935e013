// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/mediasync.h"

#include "engine/wavebox.h"
#include "platform/trace.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

// The thread's wait while it has nothing to write; a Push or Wake ends it sooner.
constexpr int kSyncIdleMs = 5;
// WaitDrain's poll.
constexpr int kDrainPollMs = 10;

}  // namespace

CMediaSync::CMediaSync() = default;

CMediaSync::~CMediaSync()
{
    StopThread();
}

void CMediaSync::SetAudio(VAudio* audio)
{
    m_audio = audio;
    m_device = dynamic_cast<VAudioClock*>(audio);
}

void CMediaSync::Wake()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_woken = true;
    }
    m_wake.notify_all();
}

bool CMediaSync::Push(const void* pcm, int length, double mediaStartMs)
{
    if (length < 0 || (length > 0 && pcm == nullptr)) {
        return false;
    }
    length = std::min(length, kMaxAudioPlayBytes);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::unique_ptr<_packet_pcm> entry;
        if (!m_spare.empty()) {
            entry = std::move(m_spare.front());
            m_spare.pop_front();
        } else {
            entry = std::make_unique<_packet_pcm>();
        }
        if (length > 0) {
            std::memcpy(entry->data, pcm, static_cast<size_t>(length));
        }
        entry->length = length;
        entry->startMs = mediaStartMs;
        m_queue.push_back(std::move(entry));
        m_count = static_cast<int>(m_queue.size());
        m_woken = true;
    }
    m_wake.notify_all();
    return true;
}

bool CMediaSync::Pop(void* out, int* length)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_queue.empty()) {
        return false;
    }
    std::unique_ptr<_packet_pcm> entry = std::move(m_queue.front());
    m_queue.pop_front();
    if (entry->length > 0) {
        std::memcpy(out, entry->data, static_cast<size_t>(entry->length));
    }
    *length = entry->length;
    m_count = static_cast<int>(m_queue.size());
    m_spare.push_back(std::move(entry));
    return true;
}

void CMediaSync::WaitDrain(const std::function<bool()>& keepWaiting)
{
    while (m_count.load() >= 2 && m_thread.IsRunning() && (!keepWaiting || keepWaiting())) {
        SleepMs(kDrainPollMs);
    }
}

std::unique_lock<std::mutex> CMediaSync::LockWriter()
{
    std::unique_lock<std::mutex> writer(m_writeLock, std::defer_lock);
    // A write waiting for room at the device gives up at its next try; asking again each
    // time also catches a write that began after the first request.
    while (!writer.try_lock()) {
        if (m_device) {
            m_device->Interrupt();
        }
        SleepMs(1);
    }
    return writer;
}

void CMediaSync::DropAll()
{
    std::lock_guard<std::mutex> lock(m_lock);
    while (!m_queue.empty()) {
        m_spare.push_back(std::move(m_queue.front()));
        m_queue.pop_front();
    }
    if (m_inHand) {
        m_spare.push_back(std::move(m_inHand));
    }
    m_hasInHand = false;
    m_count = 0;
    m_clock.Clear();
}

void CMediaSync::Flush()
{
    std::unique_lock<std::mutex> writer = LockWriter();
    DropAll();
    if (m_device) {
        m_device->Flush();
    }
}

void CMediaSync::Reopen(int bitsPerSample, int sampleRate)
{
    std::unique_lock<std::mutex> writer = LockWriter();
    DropAll();
    if (m_audio) {
        m_audio->Close();
        m_audio->Open(bitsPerSample, sampleRate);
    }
}

bool CMediaSync::Heard(int64_t nowNs, CSoundClock::Position* position)
{
    AudioClockSample sample;
    if (m_device == nullptr || !m_device->ClockSample(&sample)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    *position = m_clock.Heard(sample, nowNs, !m_queue.empty() || m_hasInHand.load());
    return true;
}

bool CMediaSync::StartThread()
{
    return m_thread.Begin([this] { Run(); });
}

void CMediaSync::StopThread()
{
    m_thread.Stop();
}

void CMediaSync::Idle()
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_wake.wait_for(lock, std::chrono::milliseconds(kSyncIdleMs), [&] { return m_woken; });
    m_woken = false;
}

void CMediaSync::Run()
{
    std::unique_lock<std::mutex> writer(m_writeLock);
    if (!GateOpen()) {
        writer.unlock();
        Idle();
        return;
    }
    if (!m_inHand) {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_queue.empty()) {
            m_inHand = std::move(m_queue.front());
            m_queue.pop_front();
            m_count = static_cast<int>(m_queue.size());
            m_hasInHand = true;
        }
    }
    if (!m_inHand) {
        writer.unlock();
        Idle();
        return;
    }
    if (m_audio == nullptr) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_spare.push_back(std::move(m_inHand));
        m_hasInHand = false;
        return;
    }
    AudioClockSample before;
    const bool clocked = m_device && m_device->ClockSample(&before);
    const int r = m_audio->Write(m_inHand->data, m_inHand->length);
    if (r == 0) {
        // Not queued (paused, or being flushed): kept for the next try unless flushed.
        writer.unlock();
        Idle();
        return;
    }
    AudioClockSample after;
    const bool accepted =
        clocked && m_device->ClockSample(&after) &&
        after.acceptedBytes == before.acceptedBytes + static_cast<uint64_t>(m_inHand->length);
    if (r == 2 || (clocked && !accepted && m_inHand->length > 0)) {
        ++m_dropped;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    if (accepted) {
        m_clock.Add(before.acceptedBytes, m_inHand->length, m_inHand->startMs, after.bytesPerSec);
    }
    m_spare.push_back(std::move(m_inHand));
    m_hasInHand = false;
}

// ---------------------------------------------------------------------------------------
// CFramePacer

int CFramePacer::Next(long long nowMs, int fps, bool log)
{
    if (m_lastTickMs < 0) {
        m_lastTickMs = nowMs;
    }
    const int dt = static_cast<int>(std::clamp(nowMs - m_lastTickMs, 0LL, 60LL));
    m_times[m_next] = dt;
    m_next = (m_next + 1) % kWindow;
    m_count = std::min(m_count + 1, kWindow);
    int sum = 0;
    for (int i = 0; i < m_count; ++i) {
        sum += m_times[i];
    }
    const int mean = sum / m_count;
    const int period = 1000 / (fps > 0 ? fps : 30);
    const int sleep = period - mean - 2;
    if (log) {
        Trace("[%02d] dif %2d, mean %2d : %2d msec\n", 0, dt, mean, sleep);
    }
    return std::clamp(sleep, 0, period);
}
