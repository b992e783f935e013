// SPDX-License-Identifier: GPL-3.0-or-later
// Playback figures on the road cards, each with its anchor from the same run:
// - CPU of real-time play with sound (SDL_AUDIODRIVER=dummy headless), late front
//   pictures and the sound/picture offset, against `ffmpeg -threads 1` decoding and
//   converting each stream to its picture size (sum of the channels);
// - seeks while paused, from SeekMs to the picture in the front sink, against decoding
//   and converting that key unit alone on one thread;
// - with --long: the time to open and show the first picture, a paused seek to 9:30, and
//   the resident memory after a minute of play and after a minute more at 8:00.
//
//   playback_bench [--card DIR] [--label TEXT] [--seconds S] [--runs N] [--seeks N] [--long]
//
// Without --card it plays the three-channel road card (made once, several minutes), and
// with --long that card's minute ten times over.
#include "bench/common/road_card.h"
#include "engine/decoder.h"
#include "tools/mubplay/session.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

double Median(std::vector<double> v)
{
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

long ResidentKb()
{
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// CPU seconds of a child command (user + system).
double ChildCpu(const std::string& cmd)
{
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

std::string Arg(int argc, char** argv, const char* name, const char* fallback)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == name) {
            return argv[i + 1];
        }
    }
    return fallback;
}

bool Flag(int argc, char** argv, const char* name)
{
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == name) {
            return true;
        }
    }
    return false;
}

// Waits until the step the last seek started has ended.
void WaitIdle(CPlaybackSession& session)
{
    const long long until = TickMs() + 5000;
    while (session.Player().RunMode() != CQVZMediaPlayer::kIdle && TickMs() < until) {
        SleepMs(2);
    }
}

// Milliseconds from SeekMs while paused to the picture in the front sink; -1 on timeout.
double PausedSeek(CPlaybackSession& session, int targetMs)
{
    uint64_t serial = 0;
    int64_t unused = 0;
    session.LatestFront(&serial, &unused);
    const int64_t t0 = CPlaybackSession::NowNs();
    session.Player().SeekMs(targetMs);
    int64_t t1 = 0;
    if (!session.WaitFrontAfter(serial, 5000, &t1)) {
        return -1;
    }
    WaitIdle(session);
    SleepMs(50);
    return static_cast<double>(t1 - t0) / 1e6;
}

// The least a seek must do, on one thread: decode the front key unit of that second and
// convert it to the sink's size.
double KeyUnitDecodeMs(const std::vector<std::vector<uint8_t>>& front, int targetMs, int width, int height)
{
    const size_t unit = static_cast<size_t>(targetMs / 1000) * 30;
    if (unit >= front.size()) {
        return -1;
    }
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 3);
    const double t0 = road_card::NowSeconds();
    CFFMH264_Decoder decoder;
    decoder.Init(1);
    const bool ok = decoder.Decode(front[unit].data(), static_cast<int>(front[unit].size())) ==
                        CFFMH264_Decoder::Result::Picture &&
                    decoder.Convert(width, height, width * 3, pixels.data());
    return ok ? (road_card::NowSeconds() - t0) * 1e3 : -1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string card = Arg(argc, argv, "--card", "");
    const std::string label = Arg(argc, argv, "--label", "3 channels, 1080p/720p/720p");
    const double seconds = std::atof(Arg(argc, argv, "--seconds", "20").c_str());
    const int runs = std::max(1, std::atoi(Arg(argc, argv, "--runs", "3").c_str()));
    const int seeks = std::atoi(Arg(argc, argv, "--seeks", "10").c_str());
    const bool longMode = Flag(argc, argv, "--long");
    if (card.empty()) {
        card = road_card::Make("road3ch", road_card::kRoad3ch);
        if (longMode) {
            card = road_card::MakeLooped(card, "long10", 10);
        }
    }
    const std::string file = road_card::FirstRecordingFile(card);
    if (file.empty()) {
        std::fprintf(stderr, "playback_bench: no recording in %s\n", card.c_str());
        return 1;
    }
    const std::string name = fs::path(file).stem().string() + ".avi";

    CPlaybackSession session;
    SessionOptions options;
    options.card = card;
    options.name = name;
    std::string error;
    if (!session.Setup(options, &error)) {
        std::fprintf(stderr, "playback_bench: %s\n", error.c_str());
        return 1;
    }
    int width[3], height[3];
    for (int c = 0; c < 3; ++c) {
        width[c] = session.Sink(c).Width();
        height[c] = session.Sink(c).Height();
    }
    std::printf("%s: %s, front %dx%d rear %dx%d third %dx%d, sound %s, load %.1f\n", label.c_str(),
                name.c_str(), width[0], height[0], width[1], height[1], width[2], height[2],
                session.SoundPlaying() ? "on" : "off", road_card::LoadAverage());
    if (longMode) {
        // Open to the first picture, a minute of play, a minute more from 8:00, then paused
        // seeks to 9:30.
        const int64_t t0 = CPlaybackSession::NowNs();
        uint64_t serial = 0;
        int64_t unused = 0;
        session.LatestFront(&serial, &unused);
        session.Open();
        const double openMs = static_cast<double>(CPlaybackSession::NowNs() - t0) / 1e6;
        int64_t t1 = 0;
        session.WaitFrontAfter(serial, 10000, &t1);
        const double firstMs = static_cast<double>(t1 - t0) / 1e6;
        std::printf("open: %.1f ms to return, %.1f ms to the first picture\n", openMs, firstMs);
        SleepMs(static_cast<int>(seconds * 1000));
        const long rss1 = ResidentKb();
        session.Player().SeekMs(480000);
        SleepMs(static_cast<int>(seconds * 1000));
        const long rss2 = ResidentKb();
        session.Player().Pause();
        SleepMs(200);
        std::vector<double> late;
        for (int i = 0; i < 3; ++i) {
            late.push_back(PausedSeek(session, 570000 + i * 1000));
        }
        // Only now: the front stream of ten minutes is 750 MB.
        const auto front = road_card::ChannelUnits(file, 0);
        std::vector<double> anchor;
        for (int i = 0; i < 3; ++i) {
            anchor.push_back(KeyUnitDecodeMs(front, 570000 + i * 1000, width[0], height[0]));
        }
        session.Shutdown();
        std::printf("seek to 9:30 while paused: median %.1f ms (key unit alone %.1f ms)\n", Median(late),
                    Median(anchor));
        std::printf("resident memory: %ld MB after %.0f s of play, %ld MB after %.0f s more from 8:00\n",
                    rss1 / 1024, seconds, rss2 / 1024, seconds);
        // No anchor: the first picture waits for the 700 ms cushion and the sound clock.
        std::printf(
            "SUMMARY|10-min recording: Open() returns; first picture|%.3g ms; %.3g ms|-|-|open <= 200 ms\n",
            openMs, firstMs);
        road_card::Summary("10-min recording: paused seek to 9:30 (vs key unit decode alone)", Median(late),
                           Median(anchor), "ms", "<= 50 ms");
        road_card::Summary("10-min recording: resident memory, 9:00 vs 1:00",
                           static_cast<double>(rss2) / 1024, static_cast<double>(rss1) / 1024, "MB",
                           "within 10 MB");
        return 0;
    }

    const auto front = road_card::ChannelUnits(file, 0);

    // 1. Real-time playback, runs times.
    std::vector<double> cpu;
    long long late = 0;
    std::vector<std::array<long long, 3>> presented;
    for (int run = 0; run < runs; ++run) {
        const long long late0 = session.Player().LateFrames();
        const std::array<long long, 3> shown0 = {session.Presented(0), session.Presented(1),
                                                 session.Presented(2)};
        const double cpu0 = road_card::CpuSeconds();
        const int64_t wall0 = CPlaybackSession::NowNs();
        session.Open();
        while (!session.Ended() && static_cast<double>(CPlaybackSession::NowNs() - wall0) / 1e9 < seconds) {
            SleepMs(20);
        }
        const double wall = static_cast<double>(CPlaybackSession::NowNs() - wall0) / 1e9;
        const double used = road_card::CpuSeconds() - cpu0;
        cpu.push_back(used);
        const long long lateRun = session.Player().LateFrames() - late0;
        late += lateRun;
        presented.push_back({session.Presented(0) - shown0[0], session.Presented(1) - shown0[1],
                             session.Presented(2) - shown0[2]});
        std::printf(
            "run %d: %.1f s wall, %.2f s CPU (%.0f%% of one core), presented %lld/%lld/%lld, late front "
            "%lld\n",
            run + 1, wall, used, 100.0 * used / wall, presented.back()[0], presented.back()[1],
            presented.back()[2], lateRun);
    }
    // The meter pairs the flashes and beeps of every run.
    std::vector<double> offsets = session.Meter().Compute().offsetsMs;
    std::printf("offsets by flash (ms):");
    for (double o : offsets) {
        std::printf(" %.0f", o);
    }
    std::printf("\n");
    // The anchor: as many pictures of each channel as the run presented, decoded and
    // converted to the sink's size.
    std::vector<double> ffmpeg;
    for (int run = 0; run < runs; ++run) {
        double sum = 0;
        for (int c = 0; c < 3; ++c) {
            if (width[c] == 0) {
                continue;
            }
            const std::string stream = std::string(MUB_BINARY_DIR) + "/bench/playback/" +
                                       fs::path(card).filename().string() + "_" + std::to_string(c) + ".h264";
            if (!road_card::ExtractChannel(file, c, stream)) {
                continue;
            }
            // The same pictures the player presented in that run.
            const long long frames = presented[static_cast<size_t>(run)][static_cast<size_t>(c)];
            if (frames <= 0) {
                continue;
            }
            const std::string cmd =
                std::string(FFMPEG_EXECUTABLE) + " -hide_banner -loglevel error -nostdin -threads 1 -i '" +
                stream + "' -frames:v " + std::to_string(frames) + " -vf scale=" + std::to_string(width[c]) +
                ":" + std::to_string(height[c]) + ":flags=fast_bilinear -pix_fmt bgr24 -f null -";
            sum += std::max(0.0, ChildCpu(cmd));
        }
        ffmpeg.push_back(sum);
    }
    std::sort(offsets.begin(), offsets.end());
    const double worstOffset =
        offsets.empty() ? 0 : std::max(std::abs(offsets.front()), std::abs(offsets.back()));
    std::printf(
        "CPU median %.2f s for %.0f s of play; ffmpeg -threads 1 median %.2f s; late front %lld; "
        "sound/picture offset over %zu flashes: median %.1f ms, worst %.1f ms\n",
        Median(cpu), seconds, Median(ffmpeg), late, offsets.size(), Median(offsets), worstOffset);
    const std::string cpuFigure = label + ": playback CPU vs ffmpeg -threads 1 decode+scale (sum)";
    road_card::Summary(cpuFigure.c_str(), Median(cpu), Median(ffmpeg), "s", "ratio <= 1.0");
    std::printf(
        "SUMMARY|%s: late front pictures, worst sound/picture offset|%lld late, %.1f ms|-|-|0 late, <= 33 "
        "ms\n",
        label.c_str(), late, worstOffset);

    // 2. Seeks while paused: from SeekMs to the stepped picture in the front sink.
    if (seeks > 0) {
        session.Open();
        SleepMs(1500);
        session.Player().Pause();
        SleepMs(200);
        const int lengthMs = std::max(session.Player().DurationMs() - 2000, 1000);
        std::mt19937 random(7);
        std::vector<double> latencies, anchor;
        for (int i = 0; i < seeks * runs; ++i) {
            const int target = static_cast<int>(random() % static_cast<unsigned>(lengthMs));
            const double ms = PausedSeek(session, target);
            if (ms < 0) {
                std::printf("seek to %d ms: no picture within 5 s\n", target);
                continue;
            }
            latencies.push_back(ms);
            anchor.push_back(KeyUnitDecodeMs(front, target, width[0], height[0]));
        }
        std::sort(latencies.begin(), latencies.end());
        if (!latencies.empty()) {
            std::printf(
                "seek while paused, %zu seeks: median %.1f ms, worst %.1f ms; key unit alone: median %.1f "
                "ms\n",
                latencies.size(), Median(latencies), latencies.back(), Median(anchor));
            const std::string figure = label + ": seek while paused, median (vs key unit decode alone)";
            road_card::Summary(figure.c_str(), Median(latencies), Median(anchor), "ms", "<= 50 ms");
            const std::string worst = label + ": seek while paused, worst";
            std::printf("SUMMARY|%s|%.3g ms|-|-|<= 80 ms\n", worst.c_str(), latencies.back());
        }
    }
    session.Shutdown();
    return 0;
}
