// SPDX-License-Identifier: GPL-3.0-or-later
// Sound and pictures in step on a real recording: a sample card whose pictures flash and
// whose sound beeps once a second is played for a minute in real time on SDL's dummy
// sound driver, and each flash reaching the front sink is matched with its beep being
// pulled by the sound device.
#include "tests/player/sync_card.h"
#include "tests/support/timing.h"
#include "tools/common/card.h"
#include "tools/mubplay/session.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace fs = std::filesystem;

// Once with the decoder as it is for such pictures (each packet's picture at once), once
// with frame threads forced on, which hold every picture back by a packet or more.
class PlayerSyncDecoding : public testing::TestWithParam<bool> {};

TEST_P(PlayerSyncDecoding, FlashesAndBeepsStayWithin45MsOverAMinute)
{
    const bool frameThreads = GetParam();
    if (frameThreads && std::thread::hardware_concurrency() < 2) {
        GTEST_SKIP() << "frame threads need two cores";
    }
    const std::string card = SyncCard();
    ASSERT_FALSE(card.empty()) << "mubcard failed";
    const std::string name = LastRecordingOf(card, MUB_CATEGORY_DRIVING);
    ASSERT_FALSE(name.empty());

    CPlaybackSession session;
    SessionOptions options;
    options.card = card;
    options.name = name;
    options.frameThreadPixels = frameThreads ? 0 : -1;
    std::string error;
    ASSERT_TRUE(session.Setup(options, &error)) << error;
    if (!session.SoundPlaying()) {
        GTEST_SKIP() << "no sound device (SDL_AUDIODRIVER=dummy expected)";
    }
    session.Open();
    // The recording ends by itself; the bound only stops a player that hangs.
    const long long deadline = TickMs() + 120000;
    while (!session.Ended() && TickMs() < deadline) {
        SleepMs(50);
    }
    const bool ended = session.Ended();
    session.Shutdown();
    ASSERT_TRUE(ended);

    const CAvSyncMeter::Result r = session.Meter().Compute();
    std::string all;
    for (double offset : r.offsetsMs) {
        char text[32];
        std::snprintf(text, sizeof(text), " %.1f", offset);
        all += text;
    }
    std::printf(
        "flashes=%d beeps=%d matched=%zu offset_ms min=%.1f median=%.1f max=%.1f late=%lld\n"
        "offsets_ms%s\n",
        session.Meter().Flashes(), session.Meter().Beeps(), r.offsetsMs.size(), r.minMs, r.medianMs, r.maxMs,
        session.Player().LateFrames(), all.c_str());
    const CPlaybackSession::Intervals iv = session.PresentIntervals();
    std::printf("intervals_ms n=%zu mean=%.1f sd=%.1f p99=%.1f max=%.1f\n", iv.count, iv.meanMs, iv.sdMs,
                iv.p99Ms, iv.maxMs);
    EXPECT_EQ(session.Presented(0), 1800);
    EXPECT_EQ(session.Meter().Flashes(), 60);
    EXPECT_GE(r.offsetsMs.size(), 59u);
    if (test_timing::BoundsHold()) {
        EXPECT_LE(r.maxAbsMs, 45.0);
    }
}

INSTANTIATE_TEST_SUITE_P(Decoding, PlayerSyncDecoding, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& p) {
                             return p.param ? std::string("FrameThreads") : std::string("SliceThreads");
                         });

namespace {

void CountEnd(void* user, int event, int, int)
{
    if (event == CQVZMediaPlayer::kEventEnd) {
        ++*static_cast<std::atomic<int>*>(user);
    }
}

}  // namespace

TEST(PlayerSync, ANameTheLibraryCannotFindEndsThroughTheEventCallback)
{
    const std::string card = SyncCard();
    ASSERT_FALSE(card.empty()) << "mubcard failed";
    MUBContext ctx = CreateLibraryContext();
    AddCardFolder(ctx, card.c_str());
    ASSERT_NE(QueryCardId(ctx), 0);
    OpenCard(ctx);
    SetLibraryContext(ctx);
    {
        CMUBParser parser;
        CDecoder decoder;
        CWaveBox wave;
        CPictureSink front(160, 96);
        CPictureSink rear(160, 96);
        std::atomic<int> ends{0};
        CQVZMediaPlayer player;
        player.SetParser(&parser);
        player.SetDecoder(&decoder);
        player.SetAudio(&wave);
        player.SetPacerLog(false);
        player.SetEventCallback(&CountEnd, &ends);
        player.Start(&front, &rear);
        player.Open("REC_20000101_000000_D.avi");
        const long long deadline = TickMs() + 20000;
        while (ends.load() == 0 && TickMs() < deadline) {
            SleepMs(10);
        }
        EXPECT_EQ(ends.load(), 1);
        EXPECT_EQ(player.PlayState(), CQVZMediaPlayer::kStateStopped);
        EXPECT_EQ(front.Serial(), 0u);
        // The next recording opens and plays as usual.
        player.Open(LastRecordingOf(card, MUB_CATEGORY_DRIVING).c_str());
        while (front.Serial() == 0 && TickMs() < deadline + 20000) {
            SleepMs(10);
        }
        EXPECT_GT(front.Serial(), 0u);
        player.Shutdown();
    }
    SetLibraryContext(nullptr);
    ReleaseLibraryContext(ctx);
}
