// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/mediaplayer.h"

#include "engine/wavebox.h"
#include "platform/picturesink.h"
#include "platform/waveout.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

// A video payload whose NAL header byte (after the 4-byte start code) is this is a reference
// non-IDR slice; anything else counts as a key unit for resynchronisation.
constexpr uint8_t kNonKeyNal = 0x41;
// The idle worker looks at the state at least this often (a command wakes it sooner).
constexpr int kIdleWaitMs = 50;
// While the device has been given sound but has not pulled since, the clock is looked at
// again after this long.
constexpr int64_t kClockRetryNs = 4'000'000;
// Longest single sleep towards a picture's time: the clock is read again after it.
constexpr int64_t kLongestSoundWaitNs = 100'000'000;
// Timer resolution asked for while a player exists (a no-op here).
constexpr UINT kTimerPeriodMs = 1;

bool IsKeyUnit(const uint8_t* data, int size)
{
    return size > 4 && data[4] != kNonKeyNal;
}

int64_t NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

CQVZMediaPlayer::CQVZMediaPlayer()
    // Left unset: every read of them is of bytes just written, and zeroing 4 MiB touched every
    // page of them at the viewer's start.
    : m_readBuffer(std::make_unique_for_overwrite<uint8_t[]>(kPacketBufferBytes)),
      m_presentBuffer(std::make_unique_for_overwrite<uint8_t[]>(kPacketBufferBytes))
{
    timeBeginPeriod(kTimerPeriodMs);
    // Sound plays only while pictures do.
    m_sync.SetGate([this] { return State() == PlayerState::Playing && !m_soundHeld.load(); });
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

// ---------------------------------------------------------------------------------------
// The state

uint8_t CQVZMediaPlayer::Apply(PlayerEvent event, int target)
{
    std::lock_guard<std::mutex> lock(m_stateLock);
    // A seek left for the worker comes before the end it may have read meanwhile: the
    // worker goes on and acts on it.
    if (event == PlayerEvent::EndOfData && m_pendingSeek.load() >= 0) {
        return kActNone;
    }
    const PlayerState from = m_state.load();
    PlayerTransition t = NextPlayerState(from, event);
    m_state = t.next;
    // The end is told once an open: a step after it that reads to the end again is quiet.
    if (event == PlayerEvent::Open) {
        m_endTold = false;
    } else if (t.actions & kActNotifyEnd) {
        t.actions = static_cast<uint8_t>(m_endTold ? t.actions & ~kActNotifyEnd : t.actions);
        m_endTold = true;
    }
    if (t.actions & kActSetTarget) {
        m_pendingSeek = target;
    }
    // A target left for the recording before does not apply to the next one.
    if (event == PlayerEvent::Open || t.next == PlayerState::Stopped) {
        m_pendingSeek = -1;
    }
    const bool wasPlaying = from == PlayerState::Playing;
    const bool playing = t.next == PlayerState::Playing;
    if (wasPlaying != playing) {
        // The device runs exactly while playing: paused at once, nothing queued lost.
        if (m_device) {
            m_device->Pause(!playing);
        }
        if (playing) {
            m_sync.Wake();
        }
    }
    if (from != t.next || t.actions != kActNone) {
        m_stateChanged.notify_all();
    }
    return t.actions;
}

void CQVZMediaPlayer::WaitWhilePlaying(int64_t timeoutNs)
{
    std::unique_lock<std::mutex> lock(m_stateLock);
    m_stateChanged.wait_for(lock, std::chrono::nanoseconds(timeoutNs), [&] {
        return m_state.load() != PlayerState::Playing || m_pendingSeek.load() >= 0;
    });
}

// ---------------------------------------------------------------------------------------
// Commands

bool CQVZMediaPlayer::Start(PictureSinkHandle front, PictureSinkHandle rear)
{
    if (m_started) {
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(m_windowLock);
        m_windows[0] = front;
        m_windows[1] = rear;
    }
    if (m_parser) {
        m_parser->Start();
    }
    if (m_decoder) {
        m_decoder->Init();
    }
    if (m_audio) {
        m_audio->Open(m_bitsPerSample, m_sampleRate);
        // Nothing plays until a recording does.
        if (m_device) {
            m_device->Pause(true);
        }
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
    Apply(PlayerEvent::Shutdown);
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
    // The worker leaves its pass at its next look at the state.
    Apply(PlayerEvent::Stop);
    std::lock_guard<CSync> lock(m_lock);
    ++m_openSerial;

    // The parser cuts the index part off the string it is given.
    char path[kNameBytes];
    std::snprintf(path, sizeof(path), "%s", name);
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
            m_sync.Reopen(bits, rate);
        }
        m_frameRate0 = m_parser->GetFrameRate(0);
        m_frameRate1 = m_parser->GetFrameRate(1);
        if (m_decoder) {
            for (int channel = 0; channel < 3; ++channel) {
                const VideoSize size = m_parser->GetVideoSize(channel);
                m_decoder->SetPictureSize(channel, size.width, size.height);
            }
        }
    }

    m_frameIndex = 0;
    m_durationMs = 0;
    // Without a frame rate nothing can be sought; a count left from the previous recording
    // would seek this one with the wrong length.
    m_frameCount0 = 0;
    if (!m_openFailed && info.frameRate0 != 0) {
        m_durationMs = static_cast<int>(static_cast<double>(info.frameCount0) / info.frameRate0 * 1000.0);
        m_frameCount0 = info.frameCount0;
    }
    Reset();
    m_pacer.Reset();
    m_pacedBySound = false;
    Apply(PlayerEvent::Open);
    return true;
}

void CQVZMediaPlayer::Stop()
{
    Apply(PlayerEvent::Stop);
    std::lock_guard<CSync> lock(m_lock);
    if (m_parser) {
        m_parser->Close();
    }
    Reset();
    // Nothing is open: its channels must not outlive it (a card taken out stops too).
    {
        std::lock_guard<std::mutex> nameLock(m_nameLock);
        m_name[0] = 0;
    }
    m_frameRate1 = 0;
}

void CQVZMediaPlayer::Pause()
{
    Apply(PlayerEvent::Pause);
}

void CQVZMediaPlayer::Resume()
{
    Apply(PlayerEvent::Play);
}

bool CQVZMediaPlayer::SeekMs(int ms)
{
    const long long frame = static_cast<long long>(ms) * m_frameRate0.load() / 1000;
    const int target = static_cast<int>(std::clamp<long long>(frame, 0, 0x7FFFFFFF));
    // Nothing open, or nothing to step through: a seek has nothing to act on.
    if (State() == PlayerState::Stopped || m_frameCount0.load() == 0) {
        return true;
    }
    // While playing or stepping the worker takes the target before its next read.
    if (IsRunning(State()) && (Apply(PlayerEvent::Seek, target) & kActSetTarget)) {
        return true;
    }
    // Idle: seek at once under the player lock, so that the step the worker starts shows the
    // new position.
    std::lock_guard<CSync> lock(m_lock);
    if (Apply(PlayerEvent::Seek, target) & kActSeekNow) {
        SeekToFrame(target);
    }
    return true;
}

int CQVZMediaPlayer::CurrentTimeMs() const
{
    return FrameTimeMs(FrameIndex());
}

void CQVZMediaPlayer::RedrawAll()
{
    if (IsRunning(State()) || m_decoder == nullptr) {
        return;
    }
    std::lock_guard<CSync> lock(m_lock);
    std::lock_guard<std::mutex> windows(m_windowLock);
    for (int channel = 0; channel < 3; ++channel) {
        m_decoder->Redraw(channel, m_windows[channel]);
    }
}

bool CQVZMediaPlayer::SaveSnapshot(int channel, const char* path)
{
    if (PlayState() == kStateStopped || m_decoder == nullptr) {
        return false;
    }
    // The decoder guards each channel's picture itself: waiting for the worker's pass here
    // could take as long as the recording.
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

void CQVZMediaPlayer::SetThirdWindow(PictureSinkHandle window)
{
    std::lock_guard<std::mutex> lock(m_windowLock);
    m_windows[2] = window;
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

// ---------------------------------------------------------------------------------------
// Player lock held

void CQVZMediaPlayer::SeekToFrame(int frame)
{
    const int count = m_frameCount0.load();
    if (count == 0) {
        return;
    }
    frame = std::clamp(frame, 0, count - 1);
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
    m_heldBack = 0;
    HoldSoundForFirstPicture();
    if (m_decoder) {
        m_decoder->Flush(0);
        m_decoder->Flush(1);
    }
    // Sound read before the reset belongs to the old position: none of it may be heard
    // with the new pictures, wherever it is queued.
    m_sync.Flush();
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
    HoldSoundForFirstPicture();
}

void CQVZMediaPlayer::HoldSoundForFirstPicture()
{
    // A decoder that holds pictures back takes a while over its first ones (a large key
    // picture, then the pipeline filling): sound started before them would run ahead.
    m_soundHeld = m_decoder != nullptr && m_decoder->Delay(0) > 0;
}

void CQVZMediaPlayer::ReleaseSound()
{
    if (m_soundHeld.exchange(false)) {
        m_sync.Wake();
    }
}

// ---------------------------------------------------------------------------------------
// Worker thread

void CQVZMediaPlayer::WorkerBody()
{
    if (!IsRunning(State())) {
        std::unique_lock<std::mutex> lock(m_stateLock);
        m_stateChanged.wait_for(lock, std::chrono::milliseconds(kIdleWaitMs),
                                [&] { return IsRunning(m_state.load()); });
        return;
    }
    std::lock_guard<CSync> lock(m_lock);
    if (ReadPresentLoop() == LoopResult::End) {
        // Still under the player lock: the end is that of the recording this open read.
        if ((Apply(PlayerEvent::EndOfData) & kActNotifyEnd) && m_eventCallback) {
            m_eventCallback(m_eventUser, kEventEnd, m_openSerial.load(), 0);
        }
    }
}

CQVZMediaPlayer::LoopResult CQVZMediaPlayer::ReadPresentLoop()
{
    uint8_t* const buffer = m_readBuffer.get();
    while (IsRunning(State())) {
        const int pending = m_pendingSeek.exchange(-1);
        if (pending >= 0) {
            SeekToFrame(pending);
        }
        char id[5] = {0, 0, 0, 0, 0};
        int size = kPacketBufferBytes;
        const int r = m_openFailed || m_parser == nullptr ? -1 : m_parser->ParseMedia(id, buffer, &size);
        if (r < 0) {
            // End of input: present what is queued, one picture per pass, then what the
            // decoder holds back; the end comes on the pass after the last picture.
            if (!Present() && !DrainFront()) {
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
            // The sound read while stepping waits in the queue (the gate is shut) with the
            // pictures the step queued, for when playing goes on.
            if (m_audioEndMs < 0) {
                // This sound goes with the front picture read last.
                m_audioEndMs = FrameTimeMs(m_frameIndex.load() + std::max(m_frontQueued - 1, 0));
            }
            m_sync.Push(buffer, size, m_audioEndMs);
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
    const bool show = State() != PlayerState::Stepping;
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
            case kTypeThird:
                PresentOther(type == kTypeRear ? 1 : 2, length, show);
                return true;
            default:
                continue;
        }
    }
}

bool CQVZMediaPlayer::WindowVisible(int channel)
{
    std::lock_guard<std::mutex> lock(m_windowLock);
    return m_windows[channel] && IsWindowVisible(m_windows[channel]);
}

void CQVZMediaPlayer::PresentFront(int length, bool show)
{
    if (m_decoder != nullptr && m_decoder->Delay(0) > 0) {
        PresentDelayedFront(length, show);
        return;
    }
    if (show) {
        WaitForTurn(FrameTimeMs(m_frameIndex.load()));
    }
    ++m_frameIndex;
    ++m_frontPresented;
    if (m_decoder == nullptr) {
        return;
    }
    bool decoded = false;
    {
        std::lock_guard<std::mutex> lock(m_windowLock);
        decoded = m_decoder->DecodeAndShow(0, m_windows[0], m_presentBuffer.get(), length, show);
    }
    if (decoded) {
        // A step on a two-channel recording goes on to its rear picture, unless the rear
        // is not shown: the step would then run through the whole recording.
        if (!show && !(m_noPauseOnFront && WindowVisible(1))) {
            StepShown(0);
        }
    } else if (m_decoder->DecodeFailed(0)) {
        ResetDecoderAfterError();
    }
}

void CQVZMediaPlayer::ResetDecoderAfterError()
{
    // Bad data, not a decoder still holding its first pictures back.
    m_decoder->Release();
    m_decoder->Init();
    m_heldBack = 0;
    ReleaseSound();
    ++m_decoderResets;
}

void CQVZMediaPlayer::PresentDelayedFront(int length, bool show)
{
    // Decoded before its time: the decoder works on it, and on the ones after it, on its
    // own threads while this one waits for the picture that came out.
    const int tag = m_frameIndex.load();
    ++m_frameIndex;
    ++m_frontPresented;
    int pictureTag = -1;
    bool decoded = false;
    {
        std::lock_guard<std::mutex> lock(m_windowLock);
        decoded = m_decoder->Decode(0, m_presentBuffer.get(), length, tag, &pictureTag);
    }
    if (decoded) {
        ShowFront(pictureTag >= 0 ? pictureTag : std::max(tag - m_heldBack.load(), 0), show);
    } else if (m_decoder->DecodeFailed(0)) {
        ResetDecoderAfterError();
    } else {
        ++m_heldBack;
    }
}

bool CQVZMediaPlayer::DrainFront()
{
    if (m_decoder == nullptr || m_decoder->Delay(0) == 0) {
        return false;
    }
    int pictureTag = -1;
    bool decoded = false;
    {
        std::lock_guard<std::mutex> lock(m_windowLock);
        decoded = m_decoder->Decode(0, nullptr, 0, -1, &pictureTag);
    }
    if (!decoded) {
        m_heldBack = 0;
        return false;
    }
    m_heldBack = std::max(m_heldBack.load() - 1, 0);
    ShowFront(pictureTag >= 0 ? pictureTag : FrameIndex() - 1, State() != PlayerState::Stepping);
    return true;
}

void CQVZMediaPlayer::ShowFront(int pictureTag, bool show)
{
    if (show) {
        // The first picture goes up as soon as it is painted and its sound starts with it:
        // painting a large picture the first time (the scaler, the image) takes a while.
        if (!m_soundHeld.load()) {
            WaitForTurn(FrameTimeMs(pictureTag));
        }
        std::lock_guard<std::mutex> lock(m_windowLock);
        m_decoder->Show(0, m_windows[0]);
    } else if (!(m_noPauseOnFront && WindowVisible(1))) {
        StepShown(0);
    }
    ReleaseSound();
}

void CQVZMediaPlayer::PresentOther(int channel, int length, bool show)
{
    bool decoded = false;
    {
        std::lock_guard<std::mutex> lock(m_windowLock);
        PictureSinkHandle window = m_windows[channel];
        decoded = window && IsWindowVisible(window) && m_decoder &&
                  m_decoder->DecodeAndShow(channel, window, m_presentBuffer.get(), length, show);
    }
    if (decoded && !show) {
        StepShown(channel);
    }
}

void CQVZMediaPlayer::StepShown(int lastChannel)
{
    // A Play during the step's decoding wins: the pictures go on.
    if (!(Apply(PlayerEvent::StepShown) & kActRedraw)) {
        return;
    }
    std::lock_guard<std::mutex> lock(m_windowLock);
    for (int c = 0; c < 3; ++c) {
        if (lastChannel != 0 || c == 0) {
            m_decoder->Redraw(c, m_windows[c]);
        }
    }
}

CQVZMediaPlayer::SoundWait CQVZMediaPlayer::WaitForSound(int timeMs)
{
    for (;;) {
        if (State() != PlayerState::Playing || m_pendingSeek.load() >= 0) {
            return SoundWait::Interrupted;
        }
        CSoundClock::Position heard;
        if (!m_sync.Heard(NowNs(), &heard)) {
            // No clock to follow: keep at most one packet waiting for the sound card.
            m_sync.WaitDrain([this] { return State() == PlayerState::Playing; });
            return SoundWait::NoClock;
        }
        switch (heard.kind) {
            case CSoundClock::Kind::Stalled:
            case CSoundClock::Kind::Exhausted:
                return SoundWait::NoClock;
            case CSoundClock::Kind::Waiting:
                WaitWhilePlaying(kClockRetryNs);
                continue;
            case CSoundClock::Kind::Running:
                break;
        }
        const double aheadMs = timeMs - heard.heardMs;
        if (aheadMs <= 0) {
            if (-aheadMs > 1000.0 / FpsOr30()) {
                ++m_lateFrames;
            }
            return SoundWait::Followed;
        }
        WaitWhilePlaying(std::min(static_cast<int64_t>(aheadMs * 1e6), kLongestSoundWaitNs));
    }
}

void CQVZMediaPlayer::WaitForTurn(int timeMs)
{
    const SoundWait wait = WaitForSound(timeMs);
    if (wait == SoundWait::NoClock && m_pacedBySound) {
        // The gaps of pictures that followed the sound are not work times.
        m_pacer.Reset();
    }
    m_pacedBySound = wait == SoundWait::Followed;
    Pace(wait == SoundWait::NoClock);
}

void CQVZMediaPlayer::Pace(bool sleep)
{
    const int sleepMs = m_pacer.Next(TickMs(), FpsOr30(), m_pacerLog);
    if (sleep && sleepMs > 0) {
        WaitWhilePlaying(static_cast<int64_t>(sleepMs) * 1'000'000);
    }
    m_pacer.Done(TickMs());
}
