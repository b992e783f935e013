// SPDX-License-Identifier: GPL-3.0-or-later
// Playback figures on a three-channel sample card: CPU time of a minute of real-time play
// with sound on the default device (SDL_AUDIODRIVER=dummy headless), late front pictures,
// the sound/picture offset, and the latency of seeks while paused (from SeekMs to the
// picture reaching the front sink).
//
//   playback_bench [--card DIR [--name NAME]] [--seconds S] [--seeks N]
//
// Without --card it makes the card (1080p front, 720p rear and third, 30 fps, 60 s) in
// the build folder first, which takes several minutes.
#include "tools/common/card.h"
#include "tools/common/make_card.h"
#include "tools/mubplay/session.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string MakeCard()
{
    const fs::path mubcard = fs::path(MUB_BINARY_DIR) / "tools/mubcard/mubcard";
    const fs::path card = fs::path(MUB_BINARY_DIR) / "bench/playback/card";
    if (!sample_card::IsCurrent(mubcard, card)) {
        std::printf("making the sample card in %s ...\n", card.c_str());
        std::fflush(stdout);
    }
    return sample_card::MakeOnce(
        mubcard, card,
        "--per-category 1 --letters T --duration 60 --front 1920x1080 --rear 1280x720"
        " --third 1280x720 --fps 30 --seed 21");
}

}  // namespace

int main(int argc, char** argv)
{
    std::string card;
    std::string name;
    double seconds = 60;
    int seeks = 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--card") {
            card = argv[i + 1];
        } else if (a == "--name") {
            name = argv[i + 1];
        } else if (a == "--seconds") {
            seconds = std::atof(argv[i + 1]);
        } else if (a == "--seeks") {
            seeks = std::atoi(argv[i + 1]);
        }
    }
    if (card.empty()) {
        card = MakeCard();
    }
    if (name.empty() && !card.empty()) {
        name = LastRecordingOf(card, MUB_CATEGORY_DRIVING);
    }
    if (name.empty()) {
        std::fprintf(stderr, "playback_bench: no recording\n");
        return 1;
    }

    CPlaybackSession session;
    SessionOptions options;
    options.card = card;
    options.name = name;
    std::string error;
    if (!session.Setup(options, &error)) {
        std::fprintf(stderr, "playback_bench: %s\n", error.c_str());
        return 1;
    }
    std::printf("recording %s, front %dx%d rear %dx%d third %dx%d, sound %s\n", name.c_str(),
                session.Sink(0).Width(), session.Sink(0).Height(), session.Sink(1).Width(),
                session.Sink(1).Height(), session.Sink(2).Width(), session.Sink(2).Height(),
                session.SoundPlaying() ? "on" : "off");

    // 1. Real-time playback.
    const double cpu0 = CpuSeconds();
    const int64_t wall0 = CPlaybackSession::NowNs();
    session.Open();
    while (!session.Ended() && static_cast<double>(CPlaybackSession::NowNs() - wall0) / 1e9 < seconds) {
        SleepMs(20);
    }
    const double wall = static_cast<double>(CPlaybackSession::NowNs() - wall0) / 1e9;
    const double cpu = CpuSeconds() - cpu0;
    const CAvSyncMeter::Result sync = session.Meter().Compute();
    std::printf(
        "playback: %.1f s wall, %.1f s CPU (%.0f%% of one core), presented front=%lld rear=%lld "
        "third=%lld, late front=%lld\n",
        wall, cpu, 100.0 * cpu / wall, session.Presented(0), session.Presented(1), session.Presented(2),
        session.Player().LateFrames());
    if (!sync.offsetsMs.empty()) {
        std::printf("sound/picture offset over %zu flashes: min %.1f ms, median %.1f ms, max %.1f ms\n",
                    sync.offsetsMs.size(), sync.minMs, sync.medianMs, sync.maxMs);
    }

    // 2. Seeks while paused: from SeekMs to the stepped picture in the front sink.
    session.Open();
    SleepMs(1500);
    session.Player().Pause();
    SleepMs(200);
    const int lengthMs = std::max(session.Player().DurationMs() - 2000, 1000);
    std::mt19937 random(7);
    std::vector<double> latencies;
    for (int i = 0; i < seeks; ++i) {
        uint64_t serial = 0;
        int64_t unused = 0;
        session.LatestFront(&serial, &unused);
        const int target = static_cast<int>(random() % static_cast<unsigned>(lengthMs));
        const int64_t t0 = CPlaybackSession::NowNs();
        session.Player().SeekMs(target);
        int64_t t1 = 0;
        if (!session.WaitFrontAfter(serial, 5000, &t1)) {
            std::printf("seek to %d ms: no picture within 5 s\n", target);
            continue;
        }
        latencies.push_back(static_cast<double>(t1 - t0) / 1e6);
        // The step ends idle; wait for that before the next one.
        const long long until = TickMs() + 5000;
        while (session.Player().RunMode() != CQVZMediaPlayer::kIdle && TickMs() < until) {
            SleepMs(2);
        }
        SleepMs(50);
    }
    session.Shutdown();
    if (!latencies.empty()) {
        std::sort(latencies.begin(), latencies.end());
        std::printf("seek while paused, %zu seeks: median %.1f ms, worst %.1f ms\n", latencies.size(),
                    latencies[latencies.size() / 2], latencies.back());
    }
    return 0;
}
