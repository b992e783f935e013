// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/wavebox.h"

#include "platform/thread.h"

#include <cstring>

namespace {

// Guards the free-buffer count of every wave box against the sound system's thread. Never
// destroyed, so a callback that outlives a wave box still finds it.
std::mutex& WaveBoxLock()
{
    static auto* lock = new std::mutex;
    return *lock;
}

// A poll step of the writing thread while the device is busy.
constexpr int kPollMs = 10;

}  // namespace

CWaveBox::CWaveBox(VWaveOut* api) : m_api(api ? api : &SystemWaveOut())
{
    m_data = std::make_unique<char[]>(kBufferCount * kBufferBytes);  // zero-filled
    for (int i = 0; i < kBufferCount; ++i) {
        m_headers[i].lpData = m_data.get() + i * kBufferBytes;
        m_headers[i].dwBufferLength = kBufferBytes;
    }
}

CWaveBox::~CWaveBox()
{
    std::lock_guard<std::mutex> lock(m_deviceLock);
    if (m_device) {
        // Drop what is queued so that closing cannot fail and no callback outlives us.
        m_api->Reset(m_device);
        m_api->Close(m_device);
        m_device = nullptr;
    }
}

void CWaveBox::DoneProc(HWAVEOUT, UINT message, DWORD_PTR instance, DWORD_PTR, DWORD_PTR)
{
    if (message != WOM_DONE) {
        return;
    }
    std::lock_guard<std::mutex> lock(WaveBoxLock());
    ++*reinterpret_cast<int*>(instance);
}

bool CWaveBox::Open(int bitsPerSample, int sampleRate)
{
    m_format.wFormatTag = WAVE_FORMAT_PCM;
    m_format.nChannels = 1;
    m_format.nSamplesPerSec = static_cast<uint32_t>(sampleRate);
    m_format.nAvgBytesPerSec = static_cast<uint32_t>(bitsPerSample / 8 * sampleRate);
    m_format.nBlockAlign = static_cast<uint16_t>(bitsPerSample / 8);
    m_format.wBitsPerSample = static_cast<uint16_t>(bitsPerSample);
    m_format.cbSize = 0;

    std::lock_guard<std::mutex> lock(m_deviceLock);
    if (m_device) {
        // Opening again must not leak the device that is open.
        m_api->Reset(m_device);
        m_api->Close(m_device);
        m_device = nullptr;
    }
    const MMRESULT r = m_api->Open(&m_device, WAVE_MAPPER, &m_format, &CWaveBox::DoneProc,
                                   reinterpret_cast<DWORD_PTR>(&m_freeBuffers), CALLBACK_FUNCTION);
    if (r != MMSYSERR_NOERROR) {
        m_device = nullptr;
    }
    {
        // A new device has nothing queued.
        std::lock_guard<std::mutex> countLock(WaveBoxLock());
        m_freeBuffers = kBufferCount;
    }
    m_bytesQueued = 0;
    // A device opened while the player is paused stays quiet until it goes on.
    if (m_device && m_paused.load()) {
        m_api->Pause(m_device);
    }
    m_ready = r == MMSYSERR_NOERROR;
    return m_ready.load();
}

int CWaveBox::Close()
{
    m_ready = false;
    std::lock_guard<std::mutex> lock(m_deviceLock);
    // The system refuses to close a device with queued buffers; dropping them first keeps
    // the device from leaking and gives the buffers back.
    if (m_device) {
        m_api->Reset(m_device);
    }
    const MMRESULT r = m_api->Close(m_device);
    if (r != MMSYSERR_NOERROR) {
        return -1;
    }
    m_device = nullptr;
    return 1;
}

int CWaveBox::OnError(int code)
{
    if (code == static_cast<int>(MMSYSERR_INVALHANDLE) || code == static_cast<int>(MMSYSERR_NODRIVER) ||
        code == static_cast<int>(MMSYSERR_NOMEM) || code == static_cast<int>(WAVERR_UNPREPARED)) {
        m_ready = false;
    }
    return code;
}

int CWaveBox::FreeBuffers() const
{
    std::lock_guard<std::mutex> lock(WaveBoxLock());
    return m_freeBuffers;
}

int CWaveBox::WriteOnce(const void* pcm, int length)
{
    if (FreeBuffers() < 1) {
        SleepMs(kPollMs);
        return 2;
    }
    WAVEHDR* header = &m_headers[m_nextBuffer];
    {
        std::lock_guard<std::mutex> lock(m_deviceLock);
        if (header->dwFlags.load() & WHDR_DONE) {
            OnError(static_cast<int>(m_api->UnprepareHeader(m_device, header, sizeof(WAVEHDR))));
        }
    }
    if (length >= kBufferBytes) {
        length = kBufferBytes;  // the rest of the packet is dropped
    }
    if (length <= 0 || pcm == nullptr) {
        // Drain check: recycle a finished buffer once both are back.
        if (FreeBuffers() == kBufferCount) {
            for (WAVEHDR& h : m_headers) {
                if (h.dwFlags.load() & WHDR_DONE) {
                    std::lock_guard<std::mutex> lock(m_deviceLock);
                    OnError(static_cast<int>(m_api->UnprepareHeader(m_device, &h, sizeof(WAVEHDR))));
                    return -1;
                }
            }
        }
        SleepMs(kPollMs);
        return 1;
    }
    std::memcpy(header->lpData, pcm, static_cast<size_t>(length));
    header->dwBufferLength = static_cast<DWORD>(length);
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(m_deviceLock);
        OnError(static_cast<int>(m_api->PrepareHeader(m_device, header, sizeof(WAVEHDR))));
        const int r = OnError(static_cast<int>(m_api->Write(m_device, header, sizeof(WAVEHDR))));
        if (r == static_cast<int>(MMSYSERR_NOERROR)) {
            queued = true;
            m_bytesQueued += static_cast<uint64_t>(length);
        }
    }
    // A buffer the device refused never comes back through the callback: counting it as
    // taken would leave every later write busy for half a second.
    if (queued) {
        {
            std::lock_guard<std::mutex> lock(WaveBoxLock());
            --m_freeBuffers;
        }
        m_nextBuffer = (m_nextBuffer + 1) % kBufferCount;
    }
    SleepMs(kPollMs);
    return 1;
}

int CWaveBox::Write(const void* pcm, int length)
{
    const unsigned interrupts = m_interrupts.load();
    m_ready = true;
    int tries = 0;
    int startTries = 0;
    int r = 0;
    do {
        // A paused device frees no buffer: waiting would only end in dropping the packet.
        if (m_interrupts.load() != interrupts || (length > 0 && m_paused.load() && FreeBuffers() < 1)) {
            return 0;
        }
        r = WriteOnce(pcm, length);
        if (r == 2) {
            // Waiting for a device to start counts apart from waiting for one that plays.
            const bool starting = Starting();
            if (starting ? ++startTries > kMaxStartTries : ++tries > kMaxBusyTries) {
                m_ready = false;
            }
        } else {
            break;  // queued, nothing to do, or recycled
        }
    } while (m_ready.load());
    return r;
}

bool CWaveBox::Starting()
{
    std::lock_guard<std::mutex> lock(m_deviceLock);
    WaveOutClock clock;
    return m_device && m_api->GetClock(m_device, &clock) == MMSYSERR_NOERROR && clock.activeSinceNs != 0 &&
           clock.lastPullNs < clock.activeSinceNs;
}

bool CWaveBox::IsPlaying()
{
    std::lock_guard<std::mutex> lock(m_deviceLock);
    return m_device != nullptr;
}

int CWaveBox::PendingBytes()
{
    AudioClockSample sample;
    if (!ClockSample(&sample)) {
        return 0;
    }
    return static_cast<int>(sample.acceptedBytes - sample.pulledBytes);
}

bool CWaveBox::ClockSample(AudioClockSample* sample)
{
    std::lock_guard<std::mutex> lock(m_deviceLock);
    WaveOutClock clock;
    if (!m_device || m_api->GetClock(m_device, &clock) != MMSYSERR_NOERROR) {
        return false;
    }
    sample->acceptedBytes = m_bytesQueued;
    // A device that reports only 32 bits of position: carry the wrap from what was queued.
    sample->pulledBytes = clock.pulledBytes;
    if (clock.pulledBytes <= 0xFFFFFFFFull && m_bytesQueued > 0xFFFFFFFFull) {
        const auto pending = static_cast<uint32_t>(m_bytesQueued) - static_cast<uint32_t>(clock.pulledBytes);
        sample->pulledBytes = m_bytesQueued - pending;
    }
    sample->lastPullBytes = clock.lastPullBytes;
    sample->lastPullNs = clock.lastPullNs;
    sample->activeSinceNs = clock.activeSinceNs;
    sample->latencyNs = clock.latencyNs;
    sample->periodBytes = clock.periodBytes;
    sample->bytesPerSec = static_cast<int>(m_format.nAvgBytesPerSec);
    sample->paused = m_paused.load();
    return true;
}

void CWaveBox::Pause(bool paused)
{
    m_paused = paused;
    if (paused) {
        Interrupt();
    }
    std::lock_guard<std::mutex> lock(m_deviceLock);
    if (m_device) {
        paused ? m_api->Pause(m_device) : m_api->Restart(m_device);
    }
}

void CWaveBox::Flush()
{
    Interrupt();
    std::lock_guard<std::mutex> lock(m_deviceLock);
    if (m_device) {
        // Every queued buffer comes back through the callback as done.
        m_api->Reset(m_device);
    }
}
