// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/mubplay/session.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>

CPlaybackSession::~CPlaybackSession()
{
    Shutdown();
}

int64_t CPlaybackSession::NowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool CPlaybackSession::Setup(const SessionOptions& options, std::string* error)
{
    m_options = options;
    m_ctx = CreateLibraryContext();
    if (m_ctx == nullptr || !AddCardFolder(m_ctx, options.card.c_str()) || QueryCardId(m_ctx) == 0 ||
        !OpenCard(m_ctx)) {
        *error = "no card in " + options.card;
        return false;
    }
    SetLibraryContext(m_ctx);
    SetSeekUnit(30);

    // The recorded sizes, from a parser of its own (the player's is not started yet).
    {
        CMUBParser probe;
        std::string name = options.name;
        std::vector<char> path(name.begin(), name.end());
        path.push_back(0);
        MediaInfo info;
        if (probe.Open(path.data(), &info) == 0) {
            *error = "no recording named " + options.name;
            return false;
        }
        for (int c = 0; c < 3; ++c) {
            VideoSize size = options.size[c];
            if (size.width <= 0 || size.height <= 0) {
                size = probe.GetVideoSize(c);
            }
            if (options.allChannels && (size.width <= 0 || size.height <= 0)) {
                size = {320, 180};
            }
            const bool present =
                (options.allChannels || probe.GetFrameRate(c) > 0) && size.width > 0 && size.height > 0;
            m_sinks[c].SetSize(present ? size.width : 0, present ? size.height : 0);
            m_sinks[c].SetVisible(present);
        }
        probe.Close();
    }
    for (int c = 0; c < 3; ++c) {
        m_sinks[c].SetListener([this, c](uint64_t serial) { OnPicture(c, serial); });
    }
    if (options.dumpEvery > 0) {
        std::error_code ec;
        std::filesystem::create_directories(options.dumpDir, ec);
        m_saver = std::thread([this] { SaveLoop(); });
    }
    waveOutSetPullHook([this](const WaveOutPull& pull) { m_meter.OnPull(pull); });

    m_player.SetParser(&m_parser);
    if (options.frameThreadPixels >= 0) {
        m_decoder.SetFrameThreadPixels(options.frameThreadPixels);
    }
    m_player.SetDecoder(&m_decoder);
    m_player.SetAudio(options.drainOnly ? static_cast<VAudio*>(&m_plainWave) : &m_wave);
    m_player.SetPacerLog(options.pacerLog);
    m_player.SetTextCallback(&CPlaybackSession::OnText, this);
    m_player.SetEventCallback(&CPlaybackSession::OnEvent, this);
    m_player.Start(&m_sinks[0], &m_sinks[1]);
    m_player.SetThirdWindow(&m_sinks[2]);
    m_started = true;
    return true;
}

void CPlaybackSession::Open(const std::string& name)
{
    m_ended = false;
    m_firstPresentedMs = -1;
    BreakIntervals();
    m_player.Open((name.empty() ? m_options.name : name).c_str());
}

void CPlaybackSession::BreakIntervals()
{
    std::lock_guard<std::mutex> lock(m_frontLock);
    m_runStartNs = 0;
}

CPlaybackSession::Intervals CPlaybackSession::PresentIntervals() const
{
    std::vector<double> sorted;
    {
        std::lock_guard<std::mutex> lock(m_frontLock);
        sorted = m_intervals;
    }
    Intervals r;
    if (sorted.empty()) {
        return r;
    }
    std::sort(sorted.begin(), sorted.end());
    r.count = sorted.size();
    double sum = 0;
    for (double v : sorted) {
        sum += v;
        r.over50 += v > 50.0 ? 1 : 0;
    }
    r.meanMs = sum / static_cast<double>(r.count);
    double var = 0;
    for (double v : sorted) {
        var += (v - r.meanMs) * (v - r.meanMs);
    }
    r.sdMs = std::sqrt(var / static_cast<double>(r.count));
    r.p1Ms = sorted[r.count / 100];
    r.p99Ms = sorted[std::min(r.count - 1, r.count * 99 / 100)];
    r.maxMs = sorted.back();
    return r;
}

void CPlaybackSession::Shutdown()
{
    if (m_started) {
        m_player.Stop();
        m_player.Shutdown();
        waveOutSetPullHook(nullptr);
        m_started = false;
    }
    if (m_saver.joinable()) {
        {
            std::lock_guard<std::mutex> lock(m_saveLock);
            m_saveStop = true;
        }
        m_saveCond.notify_all();
        m_saver.join();
    }
    if (m_ctx) {
        SetLibraryContext(nullptr);
        ReleaseLibraryContext(m_ctx);
        m_ctx = nullptr;
    }
}

void CPlaybackSession::OnText(void* user, const char* text, int length, int timeMs)
{
    auto* self = static_cast<CPlaybackSession*>(user);
    if (!self->m_options.telemetry) {
        return;
    }
    // Lines are text except the G-sensor samples' raw bytes.
    std::string shown;
    for (int i = 0; i + 1 < length && text[i]; ++i) {
        const auto ch = static_cast<unsigned char>(text[i]);
        if (ch >= 0x20 && ch < 0x7F) {
            shown += static_cast<char>(ch);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02X", ch);
            shown += hex;
        }
    }
    std::printf("telemetry %d.%03d %s\n", timeMs / 1000, timeMs % 1000, shown.c_str());
}

void CPlaybackSession::OnEvent(void* user, int event, int open, int)
{
    auto* self = static_cast<CPlaybackSession*>(user);
    if (event != CQVZMediaPlayer::kEventEnd) {
        return;
    }
    ++self->m_ends;
    if (open != self->m_player.OpenSerial()) {
        ++self->m_staleEnds;
        return;
    }
    self->m_ended = true;
}

// Runs on the player's worker thread, right after a picture reached a sink.
void CPlaybackSession::OnPicture(int channel, uint64_t serial)
{
    const int64_t now = NowNs();
    const long long count = ++m_presented[channel];
    if (channel != 0) {
        return;
    }
    int expected = -1;
    m_firstPresentedMs.compare_exchange_strong(
        expected, m_player.CurrentTimeMs() - 1000 / std::max(1, m_player.FrameRate0()));
    CVipImgBase image;
    if (m_sinks[0].Latest(&image)) {
        m_meter.OnFrontPicture(image, now);
        if (m_options.dumpEvery > 0 && count % m_options.dumpEvery == 0) {
            std::lock_guard<std::mutex> lock(m_saveLock);
            m_toSave.emplace_back(count, image);
            m_saveCond.notify_all();
        }
    }
    const bool playing = m_player.State() == PlayerState::Playing;
    {
        std::lock_guard<std::mutex> lock(m_frontLock);
        if (playing && m_runStartNs != 0) {
            m_intervals.push_back(static_cast<double>(now - m_frontNs) / 1e6);
        }
        m_runStartNs = playing ? (m_runStartNs ? m_runStartNs : now) : 0;
        m_frontSerial = serial;
        m_frontNs = now;
    }
    m_frontCond.notify_all();
}

void CPlaybackSession::LatestFront(uint64_t* serial, int64_t* steadyNs)
{
    std::lock_guard<std::mutex> lock(m_frontLock);
    *serial = m_frontSerial;
    *steadyNs = m_frontNs;
}

bool CPlaybackSession::WaitFrontAfter(uint64_t serial, int timeoutMs, int64_t* steadyNs)
{
    std::unique_lock<std::mutex> lock(m_frontLock);
    if (!m_frontCond.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [&] { return m_frontSerial > serial; })) {
        return false;
    }
    *steadyNs = m_frontNs;
    return true;
}

void CPlaybackSession::SaveLoop()
{
    for (;;) {
        std::pair<long long, CVipImgBase> item;
        {
            std::unique_lock<std::mutex> lock(m_saveLock);
            m_saveCond.wait(lock, [&] { return m_saveStop || !m_toSave.empty(); });
            if (m_toSave.empty()) {
                return;  // stopped, and everything asked for is saved
            }
            item = std::move(m_toSave.front());
            m_toSave.pop_front();
        }
        char name[64];
        std::snprintf(name, sizeof(name), "/front_%06lld.png", item.first);
        if (!item.second.SaveImage((m_options.dumpDir + name).c_str())) {
            std::fprintf(stderr, "mubplay: cannot save %s%s\n", m_options.dumpDir.c_str(), name);
        }
    }
}
