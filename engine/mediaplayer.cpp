#include "engine/mediaplayer.h"

#include "engine/wavebox.h"
#include "platform/picturesink.h"
#include "platform/waveout.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// A video payload whose NAL header byte (after the 4-byte start code) is this is a reference
// non-IDR slice; anything else counts as a key unit for resynchronisation.
constexpr uint8_t kNonKeyNal = 0x41;
// The clock thread's poll while nothing is queued.
constexpr int kSyncIdleMs = 1;
// WaitDrain's poll.
constexpr int kDrainPollMs = 10;
// The poll while a picture waits for the sound to reach it: fine enough to keep both
// within a few milliseconds.
constexpr int kSoundPollMs = 1;
// A device whose backlog does not move for this long is taken as stopped.
constexpr int kSoundStallMs = 250;
// Idle worker poll.
constexpr int kIdlePollMs = 10;
// Timer resolution asked for while a player exists (a no-op here).
constexpr UINT kTimerPeriodMs = 1;

bool IsKeyUnit(const uint8_t* data, int size)
{
    return size > 4 && data[4] != kNonKeyNal;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// CMediaSync

CMediaSync::CMediaSync() : m_work(std::make_unique<uint8_t[]>(kMaxAudioPlayBytes)) {}

CMediaSync::~CMediaSync()
{
    StopThread();
}

void CMediaSync::SetAudio(VAudio* audio)
{
    m_audio = audio;
    m_backlog = dynamic_cast<VAudioBacklog*>(audio);
}

bool CMediaSync::Push(const void* pcm, int length)
{
    if (length < 0 || (length > 0 && pcm == nullptr)) {
        return false;
    }
    length = std::min(length, kMaxAudioPlayBytes);
    std::lock_guard<CSync> lock(m_lock);
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
    m_queue.push_back(std::move(entry));
    m_queuedBytes += length;
    m_count = static_cast<int>(m_queue.size());
    return true;
}

bool CMediaSync::Pop(void* out, int* length)
{
    if (m_count.load() == 0) {
        return false;
    }
    std::lock_guard<CSync> lock(m_lock);
    if (m_queue.empty()) {
        return false;
    }
    std::unique_ptr<_packet_pcm> entry = std::move(m_queue.front());
    m_queue.pop_front();
    if (entry->length > 0) {
        std::memcpy(out, entry->data, static_cast<size_t>(entry->length));
    }
    *length = entry->length;
    m_queuedBytes -= entry->length;
    // Counted as unheard until the output has taken it.
    m_inHandBytes = entry->length;
    if (m_backlog) {
        m_backlog->PendingBytes(&m_inHandBase);
    }
    m_count = static_cast<int>(m_queue.size());
    m_spare.push_back(std::move(entry));
    return true;
}

void CMediaSync::WaitDrain(const std::atomic<int>* runMode)
{
    while (m_count.load() >= 2 && m_thread.IsRunning()) {
        if (runMode && runMode->load() == 0) {
            return;
        }
        SleepMs(kDrainPollMs);
    }
}

void CMediaSync::Clear()
{
    std::lock_guard<CSync> lock(m_lock);
    while (!m_queue.empty()) {
        m_spare.push_back(std::move(m_queue.front()));
        m_queue.pop_front();
    }
    m_queuedBytes = 0;
    m_count = 0;
}

int CMediaSync::UnheardBytes()
{
    if (m_backlog == nullptr || !m_backlog->IsPlaying()) {
        return -1;
    }
    int queued = 0;
    int inHand = 0;
    int64_t base = 0;
    {
        std::lock_guard<CSync> lock(m_lock);
        queued = m_queuedBytes;
        inHand = m_inHandBytes;
        base = m_inHandBase;
    }
    int64_t accepted = 0;
    const int pending = m_backlog->PendingBytes(&accepted);
    // Once the output has taken the packet in hand it is counted as pending there.
    const int64_t taken = std::max<int64_t>(0, accepted - base);
    return queued + static_cast<int>(std::max<int64_t>(0, inHand - taken)) + pending;
}

bool CMediaSync::StartThread()
{
    return m_thread.Begin([this] { Run(); });
}

void CMediaSync::StopThread()
{
    m_thread.Stop();
}

void CMediaSync::Run()
{
    if (!m_hold.load() && Pop(m_work.get(), &m_workLength)) {
        if (m_audio) {
            m_audio->Write(m_work.get(), m_workLength);
        }
        std::lock_guard<CSync> lock(m_lock);
        m_inHandBytes = 0;
    } else {
        SleepMs(kSyncIdleMs);
    }
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
        std::printf("[%02d] dif %2d, mean %2d : %2d msec\n", 0, dt, mean, sleep);
    }
    return std::clamp(sleep, 0, period);
}

// ---------------------------------------------------------------------------------------
// CQVZMediaPlayer

CQVZMediaPlayer::CQVZMediaPlayer()
    : m_readBuffer(std::make_unique<uint8_t[]>(kPacketBufferBytes)),
      m_presentBuffer(std::make_unique<uint8_t[]>(kPacketBufferBytes))
{
    timeBeginPeriod(kTimerPeriodMs);
}

CQVZMediaPlayer::~CQVZMediaPlayer()
{
    Shutdown();
    timeEndPeriod(kTimerPeriodMs);
}

void CQVZMediaPlayer::SetTextCallback(TextCallback callback, void* user)
{
    m_textCallback = callback;
    m_textUser = user;
}

void CQVZMediaPlayer::SetEventCallback(EventCallback callback, void* user)
{
    m_eventCallback = callback;
    m_eventUser = user;
}

int CQVZMediaPlayer::FpsOr30() const
{
    const int fps = m_frameRate0.load();
    return fps > 0 ? fps : 30;
}

int CQVZMediaPlayer::FrameTimeMs(int frame) const
{
    return static_cast<int>(static_cast<long long>(frame) * 1000 / FpsOr30());
}

bool CQVZMediaPlayer::Start(PictureSinkHandle front, PictureSinkHandle rear)
{
    if (m_started) {
        return true;
    }
    m_windows[0] = front;
    m_windows[1] = rear;
    if (m_parser) {
        m_parser->Start();
    }
    if (m_decoder) {
        m_decoder->Init();
    }
    if (m_audio) {
        m_audio->Open(m_bitsPerSample, m_sampleRate);
    }
    m_sync.SetAudio(m_audio);
    m_sync.StartThread();
    m_worker.Begin([this] { WorkerBody(); });
    m_started = true;
    return true;
}

void CQVZMediaPlayer::Shutdown()
{
    if (!m_started) {
        return;
    }
    m_runMode = kIdle;
    m_worker.Stop();
    m_sync.StopThread();
    if (m_parser) {
        m_parser->Stop();
    }
    if (m_audio) {
        m_audio->Close();
    }
    m_started = false;
}

bool CQVZMediaPlayer::Open(const char* name)
{
    if (name == nullptr) {
        name = "";
    }
    m_noPauseOnFront = std::strstr(name, "_D") != nullptr;
    m_runMode = kIdle;
    std::lock_guard<CSync> lock(m_lock);

    // The parser cuts the index part off the string it is given.
    char path[kNameBytes];
    std::snprintf(path, sizeof(path), "%s", name);
    ++m_openSerial;
    MediaInfo info;
    const int opened = m_parser ? m_parser->Open(path, &info) : 0;
    {
        std::lock_guard<std::mutex> nameLock(m_nameLock);
        std::memcpy(m_name, path, sizeof(m_name));
        m_name[kNameBytes - 1] = 0;
    }
    // A recording the library cannot open ends at once, through the event callback.
    m_openFailed = opened == 0;

    if (!m_openFailed) {
        int bits = m_bitsPerSample;
        int rate = m_sampleRate;
        m_parser->GetAudioFormat(&bits, &rate);
        if (bits != m_bitsPerSample || rate != m_sampleRate) {
            m_bitsPerSample = bits;
            m_sampleRate = rate;
            if (m_audio) {
                m_audio->Close();
                m_audio->Open(bits, rate);
            }
        }
        m_frameRate0 = m_parser->GetFrameRate(0);
        m_frameRate1 = m_parser->GetFrameRate(1);
    }

    m_decodeQueue.Clear();
    m_cushionCount = 0;
    m_prebuffering = true;
    m_frameIndex = 0;
    m_durationMs = 0;
    // Without a frame rate nothing can be sought; a count left from the previous recording
    // would seek this one with the wrong length.
    m_frameCount0 = 0;
    if (!m_openFailed && info.frameRate0 != 0) {
        m_durationMs = static_cast<int>(static_cast<double>(info.frameCount0) / info.frameRate0 * 1000.0);
        m_frameCount0 = info.frameCount0;
    }
    // A target left for the previous recording does not apply to this one.
    m_pendingSeek = -1;
    Reset();
    m_sync.Clear();
    m_runMode = kPlaying;
    return true;
}

void CQVZMediaPlayer::Stop()
{
    m_runMode = kIdle;
    std::lock_guard<CSync> lock(m_lock);
    m_playState = kStateStopped;
    if (m_parser) {
        m_parser->Close();
    }
    Reset();
}

void CQVZMediaPlayer::Pause()
{
    m_runMode = kIdle;
    // The sound queued ahead of the pictures waits with them.
    m_sync.SetHold(true);
}

void CQVZMediaPlayer::Resume()
{
    m_runMode = kPlaying;
}

bool CQVZMediaPlayer::SeekMs(int ms)
{
    const long long frame = static_cast<long long>(ms) * m_frameRate0.load() / 1000;
    const int target = static_cast<int>(std::clamp<long long>(frame, 0, 0x7FFFFFFF));
    if (m_runMode.load() != kIdle) {
        m_pendingSeek = target;
        return true;
    }
    {
        std::lock_guard<CSync> lock(m_lock);
        SeekToFrame(target);
    }
    m_runMode = kStepping;
    return true;
}

int CQVZMediaPlayer::CurrentTimeMs() const
{
    return FrameTimeMs(m_frameIndex.load());
}

void CQVZMediaPlayer::RedrawAll()
{
    if (m_runMode.load() != kIdle || m_decoder == nullptr) {
        return;
    }
    std::lock_guard<CSync> lock(m_lock);
    for (int channel = 0; channel < 3; ++channel) {
        m_decoder->Redraw(channel, m_windows[channel].load());
    }
}

bool CQVZMediaPlayer::SaveSnapshot(int channel, const char* path)
{
    if (m_playState.load() == kStateStopped || m_decoder == nullptr) {
        return false;
    }
    std::lock_guard<CSync> lock(m_lock);
    return m_decoder->SaveSnapshot(channel, path);
}

void CQVZMediaPlayer::SetBrightness(int channel, int value)
{
    if (m_decoder) {
        m_decoder->SetBrightness(channel, value);
    }
}

void CQVZMediaPlayer::SetFlipMode(int channel, int mode)
{
    if (m_decoder) {
        m_decoder->SetFlipMode(channel, mode);
    }
}

int CQVZMediaPlayer::ChannelCount(int* extra)
{
    std::lock_guard<std::mutex> lock(m_nameLock);
    const size_t length = std::strlen(m_name);
    if (length == 0) {
        return m_frameRate1.load() != 0 ? 2 : 1;
    }
    if (length < 5) {
        return 1;
    }
    switch (m_name[length - 5]) {
        case 'D':
            return 2;
        case 'E':
            if (extra) {
                *extra = 1;
            }
            return 2;
        case 'T':
            if (extra) {
                *extra = 1;
            }
            return 3;
        default:
            return 1;
    }
}

// --- player lock held ---

void CQVZMediaPlayer::SeekToFrame(int frame)
{
    if (m_frameCount0 == 0) {
        return;
    }
    frame = std::clamp(frame, 0, m_frameCount0 - 1);
    m_frameIndex = frame;
    const int reached = m_parser->SeekTime(static_cast<float>(frame) / static_cast<float>(FpsOr30()));
    if (m_parser->IsSeekSnapped()) {
        m_frameIndex = reached * m_frameRate0.load();
    }
    Reset();
}

void CQVZMediaPlayer::Reset()
{
    for (bool& wait : m_keyWait) {
        wait = true;
    }
    m_decodeQueue.Clear();
    m_frontQueued = 0;
    m_cushionCount = 0;
    m_prebuffering = true;
    if (m_decoder) {
        m_decoder->Flush(0);
        m_decoder->Flush(1);
    }
    // Sound read before the reset belongs to the old position: it must not be heard with
    // the new pictures, nor hold them back.
    m_sync.Clear();
    m_audioEndMs = -1.0;
}

void CQVZMediaPlayer::KeyFrameFound()
{
    m_decodeQueue.Clear();
    m_frontQueued = 0;
    m_cushionCount = 0;
    m_prebuffering = true;
    m_keyWait[0] = false;
    m_audioEndMs = -1.0;
}

// --- worker thread ---

void CQVZMediaPlayer::WorkerBody()
{
    const int mode = m_runMode.load();
    // Sound plays only while pictures do.
    m_sync.SetHold(mode != kPlaying);
    if (mode != kPlaying && mode != kStepping) {
        SleepMs(kIdlePollMs);
        m_pendingSeek = -1;
        return;
    }
    bool ended = false;
    {
        std::lock_guard<CSync> lock(m_lock);
        if (ReadPresentLoop() == LoopResult::End) {
            // Still under the lock: an Open waiting for it must not have its run mode undone.
            ended = true;
            m_playState = kStateStopped;
            int expected = mode;
            m_runMode.compare_exchange_strong(expected, kIdle);
            if (m_eventCallback) {
                m_eventCallback(m_eventUser, kEventEnd, m_openSerial.load(), 0);
            }
        }
    }
    if (mode == kStepping) {
        SleepMs(1);
    } else if (!ended) {
        m_playState = kStatePlaying;
    }
}

CQVZMediaPlayer::LoopResult CQVZMediaPlayer::ReadPresentLoop()
{
    uint8_t* const buffer = m_readBuffer.get();
    while (m_runMode.load() != kIdle) {
        const int pending = m_pendingSeek.exchange(-1);
        if (pending >= 0) {
            SeekToFrame(pending);
        }
        char id[5] = {0, 0, 0, 0, 0};
        int size = kPacketBufferBytes;
        const int r = m_openFailed || m_parser == nullptr ? -1 : m_parser->ParseMedia(id, buffer, &size);
        if (r < 0) {
            // End of input: present what is queued, one picture per pass.
            if (!Present()) {
                return LoopResult::End;
            }
            continue;
        }
        if (r == 0) {
            continue;
        }
        size = std::clamp(size, 0, kPacketBufferBytes);

        if (IsVideoId(id)) {
            const int channel = VideoChannelOf(id);
            const bool key = IsKeyUnit(buffer, size);
            if (channel < 0) {
                return LoopResult::Ok;
            }
            if (m_keyWait[0]) {
                if (channel != 0 || !key) {
                    return LoopResult::Ok;
                }
                KeyFrameFound();
            }
            if (channel == 0) {
                m_decodeQueue.Push(kTypeFront, buffer, size);
                ++m_frontQueued;
                ++m_cushionCount;
                if (m_prebuffering) {
                    if (m_cushionCount < kCushionMs * m_frameRate0.load() / 1000) {
                        return LoopResult::Ok;
                    }
                    m_prebuffering = false;
                }
            } else {
                const int slot = channel == 1 ? 1 : 2;
                if (m_keyWait[slot]) {
                    if (!key) {
                        return LoopResult::Ok;
                    }
                    m_keyWait[slot] = false;
                }
                m_decodeQueue.Push(channel == 1 ? kTypeRear : kTypeThird, buffer, size);
            }
            if (m_prebuffering) {
                return LoopResult::Ok;
            }
            Present();
            continue;
        }
        if (IsAudioId(id)) {
            if (m_keyWait[0]) {
                return LoopResult::Ok;
            }
            // While stepping the clock holds the sound: a step stays silent, and the pictures
            // queued by it keep their sound for when playing resumes.
            m_sync.Push(buffer, size);
            if (m_audioEndMs < 0) {
                // This sound goes with the front picture read last.
                m_audioEndMs = FrameTimeMs(m_frameIndex.load() + std::max(m_frontQueued - 1, 0));
            }
            const double bytesPerMs = m_bitsPerSample / 8 * m_sampleRate / 1000.0;
            if (bytesPerMs > 0) {
                m_audioEndMs += std::min(size, kMaxAudioPlayBytes) / bytesPerMs;
            }
            if (m_prebuffering) {
                return LoopResult::Ok;
            }
            continue;
        }
        if (IsTextId(id)) {
            // The zero added at the end must fit the buffer.
            size = std::min(size, kPacketBufferBytes - 1);
            buffer[size] = 0;
            m_decodeQueue.Push(kTypeText, buffer, size + 1);
        }
        return LoopResult::Ok;
    }
    return LoopResult::Ok;
}

bool CQVZMediaPlayer::Present()
{
    const bool show = m_runMode.load() != kStepping;
    uint8_t* const data = m_presentBuffer.get();
    for (;;) {
        int length = 0;
        int type = 0;
        if (!m_decodeQueue.Pop(data, &length, &type)) {
            return false;
        }
        switch (type) {
            case kTypeText:
                if (m_textCallback) {
                    m_textCallback(m_textUser, reinterpret_cast<const char*>(data), length,
                                   FrameTimeMs(m_frameIndex.load()));
                }
                continue;
            case kTypeFront:
                --m_frontQueued;
                PresentFront(length, show);
                return true;
            case kTypeRear:
            case kTypeThird: {
                const int channel = type == kTypeRear ? 1 : 2;
                PictureSinkHandle window = m_windows[channel].load();
                if (window && IsWindowVisible(window) && m_decoder &&
                    m_decoder->DecodeAndShow(channel, window, data, length, show) && !show) {
                    m_playState = kStatePausedStep;
                    for (int c = 0; c < 3; ++c) {
                        m_decoder->Redraw(c, m_windows[c].load());
                    }
                    m_runMode = kIdle;
                }
                return true;
            }
            default:
                continue;
        }
    }
}

void CQVZMediaPlayer::PresentFront(int length, bool show)
{
    // Following the sound clock already spaces the pictures; the pacer then only keeps count.
    // A stepped picture waits for no sound (the clock holds it).
    const bool followedSound = show && WaitForSound(FrameTimeMs(m_frameIndex.load()));
    Pace(!followedSound);
    ++m_frameIndex;
    ++m_frontPresented;
    if (m_decoder == nullptr) {
        return;
    }
    PictureSinkHandle window = m_windows[0].load();
    if (m_decoder->DecodeAndShow(0, window, m_presentBuffer.get(), length, show)) {
        if (!show && !m_noPauseOnFront) {
            m_playState = kStateStopped;
            m_decoder->Redraw(0, window);
            m_runMode = kIdle;
        }
    } else {
        m_decoder->Release();
        m_decoder->Init();
    }
}

bool CQVZMediaPlayer::WaitForSound(int timeMs)
{
    int unheard = m_sync.UnheardBytes();
    const double bytesPerMs = m_bitsPerSample / 8 * m_sampleRate / 1000.0;
    if (unheard < 0 || m_audioEndMs < 0 || bytesPerMs <= 0) {
        // No clock to follow: keep at most one packet waiting for the sound card.
        m_sync.WaitDrain(&m_runMode);
        return false;
    }
    // The picture is due once the device has pulled the sound of its time (strictly past
    // it: at the start nothing is pulled yet). Sound still queued anywhere (here, at the
    // output, at the device) has not been heard.
    double heardMs = m_audioEndMs - unheard / bytesPerMs;
    if (heardMs - timeMs > 1000.0 / FpsOr30()) {
        ++m_lateFrames;
    }
    long long lastChangeMs = TickMs();
    int lastUnheard = unheard;
    while (unheard > 0 && heardMs <= timeMs && m_runMode.load() != kIdle) {
        SleepMs(kSoundPollMs);
        unheard = m_sync.UnheardBytes();
        if (unheard < 0) {
            return false;
        }
        const long long now = TickMs();
        if (unheard != lastUnheard) {
            lastUnheard = unheard;
            lastChangeMs = now;
        } else if (now - lastChangeMs > kSoundStallMs) {
            return false;  // the device stopped taking sound: fall back to the frame rate
        }
        heardMs = m_audioEndMs - unheard / bytesPerMs;
    }
    return unheard > 0;
}

void CQVZMediaPlayer::Pace(bool sleep)
{
    const int sleepMs = m_pacer.Next(TickMs(), FpsOr30(), m_pacerLog);
    if (sleep && sleepMs > 0) {
        SleepMs(sleepMs);
    }
    m_pacer.Done(TickMs());
}
