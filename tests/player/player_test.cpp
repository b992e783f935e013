// SPDX-License-Identifier: GPL-3.0-or-later
// The media player driven by a scripted recording: cushion, end of media, seeks and steps,
// key-unit waits, callbacks, the sound clock and the pacer.
#include "engine/mediaplayer.h"
#include "platform/picturesink.h"
#include "player_fixture.h"
#include "tests/support/trace_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

using namespace fakes;

TEST_F(PlayerTest, FirstFrontPictureWaitsForTheCushion)
{
    std::atomic<int> deliveredAtFirst{-1};
    decoder.onDecode = [&](const DecodeCall&) {
        int expected = -1;
        deliveredAtFirst.compare_exchange_strong(expected, parser.frontDelivered.load());
    };
    StartAndOpen({.frames = 40, .fps = 30});
    ASSERT_TRUE(WaitForEnd());
    player.Shutdown();  // before the locals the decoder hook uses go
    // 700 ms at 30 fps: the 21st front frame starts presenting.
    EXPECT_EQ(deliveredAtFirst.load(), 21);
}

TEST_F(PlayerTest, WithoutAFrameRateThereIsNoCushionAndTimeCountsAt30)
{
    std::atomic<int> deliveredAtFirst{-1};
    decoder.onDecode = [&](const DecodeCall&) {
        int expected = -1;
        deliveredAtFirst.compare_exchange_strong(expected, parser.frontDelivered.load());
    };
    StartAndOpen({.frames = 45, .fps = 0, .textEvery = 15});
    ASSERT_TRUE(WaitForEnd());
    player.Shutdown();
    EXPECT_EQ(deliveredAtFirst.load(), 1);
    EXPECT_EQ(player.FrameIndex(), 45);
    EXPECT_EQ(player.CurrentTimeMs(), 1500);
    EXPECT_EQ(player.DurationMs(), 0);
    // The line read before the first key unit goes with the wait for it.
    const std::vector<TextLine> got = Lines();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].timeMs, 500);
    EXPECT_EQ(got[1].timeMs, 1000);
}

TEST_F(PlayerTest, PlaysEveryFrameInOrderThenReportsTheEndOnce)
{
    StartAndOpen({.frames = 60, .fps = 30, .audioBytes = 533, .textEvery = 30});
    ASSERT_TRUE(WaitForEnd());
    std::vector<int> expected(60);
    for (int i = 0; i < 60; ++i) {
        expected[static_cast<size_t>(i)] = i;
    }
    EXPECT_EQ(decoder.FramesOf(0), expected);
    for (const DecodeCall& c : decoder.Calls()) {
        EXPECT_TRUE(c.show);
    }
    EXPECT_EQ(player.PlayState(), CQVZMediaPlayer::kStateStopped);
    EXPECT_EQ(player.RunMode(), CQVZMediaPlayer::kIdle);
    EXPECT_EQ(player.DurationMs(), 2000);
    EXPECT_EQ(player.CurrentTimeMs(), 2000);
    // Every sound packet reached the output whole, in order.
    ASSERT_TRUE(WaitUntil([&] { return audio0.Frames().size() == 60u; }));
    EXPECT_EQ(audio0.Frames(), expected);
    for (int length : audio0.Lengths()) {
        EXPECT_EQ(length, 533);
    }
    // Lines carry their zero, and the time of the picture they precede.
    // (The line before the first key unit is dropped with the wait for it.)
    const std::vector<TextLine> got = Lines();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].text, "Bspd=30");
    EXPECT_EQ(got[0].length, 8);
    EXPECT_EQ(got[0].timeMs, 1000);
    SleepMs(50);
    EXPECT_EQ(ends.load(), 1);
}

TEST_F(PlayerTest, LongSoundPacketsPlayTheirFirst8192Bytes)
{
    StartAndOpen({.frames = 25, .fps = 30, .audioBytes = 10000});
    ASSERT_TRUE(WaitForEnd());
    ASSERT_TRUE(WaitUntil([&] { return audio0.Lengths().size() == 25u; }));
    for (int length : audio0.Lengths()) {
        EXPECT_EQ(length, 8192);
    }
}

TEST_F(PlayerTest, PicturesWaitUntilAtMostOneSoundPacketIsQueued)
{
    audio0.delayMs = 5;
    std::atomic<int> worst{0};
    decoder.onDecode = [&](const DecodeCall&) {
        const int queued = player.Sync().QueuedCount();
        if (queued > worst.load()) {
            worst = queued;
        }
    };
    StartAndOpen({.frames = 60, .fps = 30, .audioBytes = 533});
    ASSERT_TRUE(WaitForEnd());
    player.Shutdown();
    EXPECT_LE(worst.load(), 1);
}

TEST_F(PlayerTest, SeekWhilePlayingLeavesATargetForTheWorker)
{
    StartAndOpen({.frames = 600, .fps = 30});
    ASSERT_TRUE(WaitUntil([&] { return !decoder.Calls().empty(); }));
    parser.Hold();
    ASSERT_TRUE(parser.WaitUntilHeld());
    ASSERT_TRUE(player.SeekMs(10000));
    EXPECT_EQ(player.PendingSeek(), 300);
    EXPECT_TRUE(parser.Seeks().empty());
    parser.Release();
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<int> f = decoder.FramesOf(0);
        return std::find(f.begin(), f.end(), 300) != f.end();
    }));
    EXPECT_EQ(player.PendingSeek(), -1);
    ASSERT_EQ(parser.Seeks().size(), 1u);
    EXPECT_FLOAT_EQ(parser.Seeks()[0], 10.0f);
    // The seek came before the next read.
    const std::vector<std::string> log = parser.Log();
    const auto seek = std::find(log.begin(), log.end(), "seek");
    ASSERT_NE(seek, log.end());
    ASSERT_NE(seek, log.begin());
    EXPECT_EQ(*(seek - 1), "read");
    // Pictures go on from the target.
    const std::vector<int> f = decoder.FramesOf(0);
    const auto at = std::find(f.begin(), f.end(), 300);
    EXPECT_EQ(*(at - 1) < 300, true);
    player.Stop();
}

// A decoder that holds front pictures back (frame threads): each picture is shown once,
// at its own time; a step shows the picture sought; the held ones come out at the end.
class DelayedPlayerTest : public PlayerTest, public testing::WithParamInterface<int> {};

TEST_P(DelayedPlayerTest, EveryPictureIsShownOnceInOrderAndTheEndComesAfterTheLast)
{
    decoder.delay = GetParam();
    StartAndOpen({.frames = 60, .fps = 30, .audioBytes = 533});
    ASSERT_TRUE(WaitForEnd());
    std::vector<int> shown;
    for (const DecodeCall& c : decoder.Out()) {
        EXPECT_TRUE(c.show) << "frame " << c.frame;
        shown.push_back(c.frame);
    }
    std::vector<int> expected(60);
    std::iota(expected.begin(), expected.end(), 0);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(player.CurrentTimeMs(), 2000);
    SleepMs(50);
    EXPECT_EQ(ends.load(), 1);
}

TEST_P(DelayedPlayerTest, AStepShowsThePictureSoughtAndTheLastPictureBeforeTheEnd)
{
    decoder.delay = GetParam();
    StartAndOpen({.frames = 90, .fps = 30, .keyEvery = 1});
    player.Pause();
    for (const int ms : {1000, 60000}) {
        const int frame = std::min(ms * 30 / 1000, 89);
        decoder.ClearCalls();
        ASSERT_TRUE(player.SeekMs(ms));
        ASSERT_TRUE(WaitUntil([&] { return player.RunMode() == CQVZMediaPlayer::kIdle; }));
        // Nothing held from before the seek comes out with it.
        const std::vector<DecodeCall> out = decoder.Out();
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out.back().frame, frame);
        EXPECT_FALSE(out.back().show);  // a step: painted by the redraw
        EXPECT_EQ(player.FrameIndex(), frame + 1);
        EXPECT_EQ(player.PlayState(), CQVZMediaPlayer::kStatePausedStep);
        ASSERT_FALSE(decoder.Redraws().empty());
        EXPECT_EQ(ends.load(), 0);
    }
    player.Resume();
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(decoder.Out().back().frame, 89);
}

INSTANTIATE_TEST_SUITE_P(FrameThreads, DelayedPlayerTest, testing::Values(1, 2));

TEST_F(PlayerTest, StepToNinetyFiveAndAHalfSecondsLandsOnTheSnappedSecond)
{
    parser.snapped = true;
    StartAndOpen({.frames = 3000, .fps = 30});
    player.Pause();
    ASSERT_TRUE(player.SeekMs(95500));
    ASSERT_EQ(parser.Seeks().size(), 1u);
    EXPECT_FLOAT_EQ(parser.Seeks()[0], 95.5f);  // frame 2865
    ASSERT_TRUE(WaitUntil([&] { return player.RunMode() == CQVZMediaPlayer::kIdle; }));
    const std::vector<DecodeCall> hidden = decoder.HiddenCalls();
    ASSERT_EQ(hidden.size(), 1u);
    EXPECT_EQ(hidden[0].channel, 0);
    EXPECT_EQ(hidden[0].frame, 2850);
    EXPECT_EQ(player.FrameIndex(), 2851);
    EXPECT_EQ(player.CurrentTimeMs(), 95033);
    // On a stepped picture: loaded, so that it can be captured.
    EXPECT_EQ(player.PlayState(), CQVZMediaPlayer::kStatePausedStep);
    const std::vector<int> redraws = decoder.Redraws();
    ASSERT_FALSE(redraws.empty());
    EXPECT_EQ(redraws.back(), 0);
    // Stays put until told otherwise.
    SleepMs(50);
    EXPECT_EQ(player.FrameIndex(), 2851);
}

TEST_F(PlayerTest, SeekBeyondTheEndClampsToTheLastFrame)
{
    StartAndOpen({.frames = 90, .fps = 30});
    player.Pause();
    ASSERT_TRUE(player.SeekMs(60000));
    EXPECT_EQ(player.FrameIndex(), 89);
    ASSERT_EQ(parser.Seeks().size(), 1u);
    EXPECT_FLOAT_EQ(parser.Seeks()[0], 89.0f / 30.0f);
}

TEST_F(PlayerTest, SeekWithoutFramesDoesNothing)
{
    StartAndOpen({.frames = 30, .fps = 0});
    ASSERT_TRUE(WaitForEnd());
    ASSERT_TRUE(player.SeekMs(500));
    EXPECT_TRUE(parser.Seeks().empty());
    EXPECT_EQ(player.FrameIndex(), 30);
}

TEST_F(PlayerTest, AfterASeekNothingPlaysUntilAKeyUnit)
{
    StartAndOpen({.frames = 300, .fps = 30, .rear = true, .audioBytes = 533});
    ASSERT_TRUE(WaitUntil([&] { return !decoder.Calls().empty(); }));
    // Frame 45 is in the middle of a group: the next key unit is frame 60.
    ASSERT_TRUE(player.SeekMs(1500));
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<int> f = decoder.FramesOf(0);
        return std::find_if(f.begin(), f.end(), [](int x) { return x >= 45; }) != f.end();
    }));
    for (const DecodeCall& c : decoder.Calls()) {
        EXPECT_FALSE(c.frame >= 45 && c.frame < 60) << "channel " << c.channel << " frame " << c.frame;
    }
    const std::vector<int> f = decoder.FramesOf(0);
    EXPECT_EQ(*std::find_if(f.begin(), f.end(), [](int x) { return x >= 45; }), 60);
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<int> a = audio0.Frames();
        return std::find_if(a.begin(), a.end(), [](int x) { return x >= 60; }) != a.end();
    }));
    for (int frame : audio0.Frames()) {
        EXPECT_FALSE(frame >= 45 && frame < 60) << "sound of frame " << frame;
    }
    player.Stop();
}

TEST_F(PlayerTest, StepWithoutDStopsAtTheFrontPicture)
{
    StartAndOpen({.frames = 120, .fps = 30, .rear = true});
    player.Pause();
    ASSERT_TRUE(player.SeekMs(1000));
    ASSERT_TRUE(WaitUntil([&] { return player.RunMode() == CQVZMediaPlayer::kIdle; }));
    const std::vector<DecodeCall> hidden = decoder.HiddenCalls();
    ASSERT_EQ(hidden.size(), 1u);
    EXPECT_EQ(hidden[0].frame, 30);
    EXPECT_EQ(player.PlayState(), CQVZMediaPlayer::kStatePausedStep);
}

TEST_F(PlayerTest, StepWithDGoesOnToTheRearPicture)
{
    StartAndOpen({.frames = 120, .fps = 30, .rear = true}, "R_0001_D.avi");
    player.Pause();
    decoder.ClearCalls();
    ASSERT_TRUE(player.SeekMs(1000));
    ASSERT_TRUE(WaitUntil([&] { return player.RunMode() == CQVZMediaPlayer::kIdle; }));
    const std::vector<DecodeCall> hidden = decoder.HiddenCalls();
    ASSERT_EQ(hidden.size(), 2u);
    EXPECT_EQ(hidden[0].channel, 0);
    EXPECT_EQ(hidden[0].frame, 30);
    EXPECT_EQ(hidden[1].channel, 1);
    EXPECT_EQ(hidden[1].frame, 30);
    EXPECT_EQ(player.PlayState(), CQVZMediaPlayer::kStatePausedStep);
    const std::vector<int> redraws = decoder.Redraws();
    ASSERT_GE(redraws.size(), 3u);
    EXPECT_EQ(std::vector<int>(redraws.end() - 3, redraws.end()), (std::vector<int>{0, 1, 2}));
}

TEST_F(PlayerTest, HiddenOrMissingRearAndThirdPicturesAreDropped)
{
    rear.SetVisible(false);
    StartAndOpen({.frames = 40, .fps = 30, .rear = true, .third = true});
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(decoder.FramesOf(0).size(), 40u);
    EXPECT_TRUE(decoder.FramesOf(1).empty());
    EXPECT_TRUE(decoder.FramesOf(2).empty());

    CPictureSink third(32, 24);
    rear.SetVisible(true);
    player.SetThirdWindow(&third);
    decoder.ClearCalls();
    ends = 0;
    player.Open("R_0002_T.avi");
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(decoder.FramesOf(1).size(), 40u);
    EXPECT_EQ(decoder.FramesOf(2).size(), 40u);
    player.Stop();
    player.SetThirdWindow(nullptr);
}

TEST_F(PlayerTest, FailedFrontPictureResetsTheDecodersAndPlaybackGoesOn)
{
    decoder.failFrame = 10;
    StartAndOpen({.frames = 40, .fps = 30});
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(decoder.releases.load(), 1);
    EXPECT_EQ(decoder.inits.load(), 2);
    EXPECT_EQ(decoder.FramesOf(0).size(), 40u);
}

TEST_F(PlayerTest, OpenOfAMissingRecordingEndsThroughTheEventCallback)
{
    parser.openFails = true;
    StartAndOpen({.frames = 40, .fps = 30}, "R_9999_F.avi");
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(player.PlayState(), CQVZMediaPlayer::kStateStopped);
    EXPECT_EQ(player.RunMode(), CQVZMediaPlayer::kIdle);
    EXPECT_TRUE(decoder.Calls().empty());
}

TEST_F(PlayerTest, ChannelCountFollowsTheNameOrTheRearFrameRate)
{
    Wire({.frames = 2, .fps = 30, .rear = true});
    ASSERT_TRUE(player.Start(&front, &rear));
    struct Case {
        const char* name;
        int channels;
        int extra;
    };
    const Case cases[] = {
        {"R_0001_T.avi", 3, 1},  {"R_0001_E.avi", 2, 1},    {"R_0001_D.avi", 2, -7},
        {"R_0001_F.avi", 1, -7}, {"R_0001_T.avi,12", 3, 1}, {"T.av", 1, -7},
    };
    for (const Case& c : cases) {
        player.Open(c.name);
        int extra = -7;
        EXPECT_EQ(player.ChannelCount(&extra), c.channels) << c.name;
        EXPECT_EQ(extra, c.extra) << c.name;
    }
    player.Open("");
    int extra = -7;
    EXPECT_EQ(player.ChannelCount(&extra), 2);
    parser.SetRecording({.frames = 2, .fps = 30, .rear = false});
    player.Open("");
    EXPECT_EQ(player.ChannelCount(&extra), 1);
    EXPECT_EQ(extra, -7);
    // Stopped, nothing is open: one channel, whatever was open before.
    parser.SetRecording({.frames = 2, .fps = 30, .rear = true});
    player.Open("R_0001_T.avi");
    player.Stop();
    EXPECT_EQ(player.ChannelCount(&extra), 1);
    EXPECT_EQ(extra, -7);
}

TEST_F(PlayerTest, StopAndShutdownReleaseTheComponents)
{
    StartAndOpen({.frames = 3000, .fps = 30, .audioBytes = 533});
    ASSERT_TRUE(WaitUntil([&] { return !decoder.Calls().empty(); }));
    player.Stop();
    EXPECT_EQ(player.PlayState(), CQVZMediaPlayer::kStateStopped);
    EXPECT_EQ(parser.closes.load(), 1);
    EXPECT_FALSE(player.SaveSnapshot(0, "/nonexistent/x.jpg"));
    const size_t calls = decoder.Calls().size();
    SleepMs(60);
    EXPECT_EQ(decoder.Calls().size(), calls);
    player.SetBrightness(1, 40);
    EXPECT_EQ(decoder.brightness[1], 40);
    player.Shutdown();
    EXPECT_EQ(parser.starts.load(), 1);
    EXPECT_EQ(parser.stops.load(), 1);
    EXPECT_EQ(audio0.opens.load(), 1);
    EXPECT_EQ(audio0.closes.load(), 1);
}

// ---- Commands racing the worker ----

TEST_F(PlayerTest, PlayDuringAStepPlaysOnAndTheStepEndsNothing)
{
    StartAndOpen({.frames = 300, .fps = 30, .audioBytes = 533});
    player.Pause();
    // The Play lands while the step's picture is being decoded.
    decoder.onDecode = [&](const DecodeCall& c) {
        if (!c.show) {
            player.Resume();
        }
    };
    ASSERT_TRUE(player.SeekMs(2000));
    ASSERT_TRUE(WaitUntil([&] { return decoder.FramesOf(0).size() > 20u; }));
    EXPECT_EQ(player.State(), PlayerState::Playing);
    EXPECT_EQ(player.PlayState(), CQVZMediaPlayer::kStatePlaying);
    // Sound is not held: it reaches the output from the stepped position on.
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<int> a = audio0.Frames();
        return std::find_if(a.begin(), a.end(), [](int f) { return f > 70; }) != a.end();
    }));
    player.Stop();
    player.Shutdown();
}

TEST_F(PlayerTest, PauseAndResumeBackToBackNeverHoldTheSoundOrFreeze)
{
    StartAndOpen({.frames = 3000, .fps = 30, .audioBytes = 533});
    ASSERT_TRUE(WaitUntil([&] { return !decoder.Calls().empty(); }));
    for (int i = 0; i < 200; ++i) {
        player.Pause();
        player.Resume();
    }
    const size_t shown = decoder.FramesOf(0).size();
    const size_t heard = audio0.Frames().size();
    EXPECT_TRUE(WaitUntil([&] { return decoder.FramesOf(0).size() > shown + 30; }));
    EXPECT_TRUE(WaitUntil([&] { return audio0.Frames().size() > heard + 30; }));
    player.Stop();
}

TEST_F(PlayerTest, ASeekRightAfterOpenOrResumeLands)
{
    StartAndOpen({.frames = 900, .fps = 30});
    for (int round = 0; round < 10; ++round) {
        player.Stop();
        SleepMs(15);  // the worker idles
        decoder.ClearCalls();
        player.Open("R_0001_F.avi");
        ASSERT_TRUE(player.SeekMs(20000));
        // Frame 600 comes long before playing from 0 would reach it (a loaded machine may
        // show a few pictures from 0 before the seek lands).
        auto inBetween = [](int f) { return f >= 100 && f < 600; };
        ASSERT_TRUE(WaitUntil([&] {
            const std::vector<int> f = decoder.FramesOf(0);
            return std::find(f.begin(), f.end(), 600) != f.end() ||
                   std::any_of(f.begin(), f.end(), inBetween);
        }));
        const std::vector<int> f = decoder.FramesOf(0);
        EXPECT_TRUE(std::none_of(f.begin(), f.end(), inBetween)) << "round " << round;
    }

    player.Pause();
    decoder.ClearCalls();
    player.Resume();
    ASSERT_TRUE(player.SeekMs(5000));
    ASSERT_TRUE(WaitUntil([&] {
        const std::vector<int> f = decoder.FramesOf(0);
        return std::find(f.begin(), f.end(), 150) != f.end();
    }));
    player.Stop();
}

TEST_F(PlayerTest, StopRacingTheWorkerStaysStoppedAndPlayAfterItDoesNothing)
{
    StartAndOpen({.frames = 3000, .fps = 30});
    ASSERT_TRUE(WaitUntil([&] { return !decoder.Calls().empty(); }));
    for (int round = 0; round < 20; ++round) {
        // The worker is inside its pass, holding the player lock, when the Stop comes.
        parser.Hold();
        ASSERT_TRUE(parser.WaitUntilHeld());
        std::thread stopper([&] { player.Stop(); });
        SleepMs(1);
        parser.Release();
        stopper.join();
        EXPECT_EQ(player.PlayState(), CQVZMediaPlayer::kStateStopped);
        player.Resume();
        SleepMs(2);
        EXPECT_EQ(player.PlayState(), CQVZMediaPlayer::kStateStopped) << "round " << round;
        // Nothing was open to play, so nothing ended.
        EXPECT_EQ(ends.load(), 0) << "round " << round;
        player.Open("R_0001_F.avi");
        ASSERT_TRUE(WaitUntil([&] { return parser.frontDelivered.load() > 0; }));
    }
}

TEST_F(PlayerTest, AStepThatReachesTheEndWhilePlayRacesItEndsOnce)
{
    StartAndOpen({.frames = 90, .fps = 30, .keyEvery = 1});
    player.Pause();
    decoder.onDecode = [&](const DecodeCall& c) {
        if (!c.show) {
            player.Resume();
        }
    };
    ASSERT_TRUE(player.SeekMs(2990));
    ASSERT_TRUE(WaitForEnd());
    SleepMs(100);
    EXPECT_EQ(ends.load(), 1);
    EXPECT_EQ(player.State(), PlayerState::Ended);
}

TEST_F(PlayerTest, ASeekWithNothingToStepDoesNothing)
{
    StartAndOpen({.frames = 90, .fps = 30});
    player.Stop();
    ASSERT_TRUE(player.SeekMs(1000));
    SleepMs(50);
    EXPECT_TRUE(parser.Seeks().empty());
    EXPECT_EQ(ends.load(), 0);
    EXPECT_EQ(player.State(), PlayerState::Stopped);
}

TEST_F(PlayerTest, ADecoderHoldingPicturesBackIsNotReset)
{
    decoder.heldBack = 2;  // two pictures of delay, as with B-frames
    StartAndOpen({.frames = 40, .fps = 30});
    ASSERT_TRUE(WaitForEnd());
    EXPECT_EQ(decoder.releases.load(), 0);
    EXPECT_EQ(player.DecoderResets(), 0);
    EXPECT_EQ(decoder.FramesOf(0).size(), 40u);
}

TEST_F(PlayerTest, AThirdSinkGoneAfterItWasTakenBackIsNeverPainted)
{
    std::atomic<bool> gone{false};
    std::atomic<int> paintedAfter{0};
    auto third = std::make_unique<CPictureSink>(32, 24);
    std::atomic<bool> inUse{false};
    decoder.onDecode = [&](const DecodeCall& c) {
        if (c.channel == 2) {
            inUse = true;
            SleepMs(5);  // the sink is in use all this while
            if (gone.load()) {
                ++paintedAfter;
            }
            inUse = false;
        }
    };
    player.SetThirdWindow(third.get());
    StartAndOpen({.frames = 60000, .fps = 100, .third = true}, "R_0001_T.avi");
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(WaitUntil([&] { return inUse.load(); })) << "round " << i;
        player.SetThirdWindow(nullptr);
        gone = true;
        third.reset();
        SleepMs(10);
        third = std::make_unique<CPictureSink>(32, 24);
        gone = false;
        player.SetThirdWindow(third.get());
    }
    player.SetThirdWindow(nullptr);
    player.Shutdown();
    EXPECT_EQ(paintedAfter.load(), 0);
}

// ---- The sound clock ----

namespace {

// Steps a scripted device through the stream and checks, at each step, that exactly the
// pictures whose sound has been pulled were shown.
struct ClockStep {
    int bytesPerFrame;
    int dropPacket;
};

}  // namespace

TEST_F(PlayerTest, PicturesFollowTheSoundPulledAndSkipWhatTheDeviceDropped)
{
    for (const ClockStep step : {ClockStep{640, -1}, ClockStep{640, 10}}) {
        SCOPED_TRACE(step.dropPacket);
        ScriptedDevice device;
        device.dropPacket = step.dropPacket;
        FakeParser localParser({.frames = 40, .fps = 25, .audioBytes = step.bytesPerFrame});
        FakeDecoder localDecoder;
        CQVZMediaPlayer local;
        local.SetParser(&localParser);
        local.SetDecoder(&localDecoder);
        local.SetAudio(&device);
        local.SetPacerLog(false);
        ASSERT_TRUE(local.Start(&front, &rear));
        local.Open("R_0001_F.avi");
        // Frame f (40 ms each) is due once the device has played the sound of its time;
        // the dropped packet is not in the device's stream.
        auto dueAt = [&](int f) {
            const int slot = step.dropPacket >= 0 && f > step.dropPacket ? f - 1 : f;
            return static_cast<uint64_t>(slot) * static_cast<uint64_t>(step.bytesPerFrame);
        };
        for (uint64_t pulled = 0; pulled <= 40u * step.bytesPerFrame; pulled += step.bytesPerFrame / 2) {
            device.PullTo(pulled);
            size_t due = 0;
            for (int f = 0; f < 40; ++f) {
                due += dueAt(f) <= device.Pulled() ? 1 : 0;
            }
            ASSERT_TRUE(WaitUntil([&] { return localDecoder.FramesOf(0).size() >= due; }, 5000))
                << "pulled " << pulled << " due " << due;
            SleepMs(3);
            EXPECT_EQ(localDecoder.FramesOf(0).size(), due) << "pulled " << pulled;
        }
        local.Shutdown();
    }
}

TEST(SoundClock, InterpolatesBetweenPullsAndStopsWithTheDevice)
{
    // 16000 bytes a second: 16 bytes a millisecond. One packet of 1600 bytes at 1000 ms.
    CSoundClock clock;
    clock.Add(3200, 1600, 1000.0, 16000);
    AudioClockSample s;
    s.acceptedBytes = 4800;
    s.bytesPerSec = 16000;
    s.activeSinceNs = 1;
    struct Case {
        uint64_t pulled;
        int lastPull;
        int64_t sinceMs;  // now minus the last pull
        int64_t latencyMs;
        CSoundClock::Kind kind;
        double heardMs;
    };
    const Case cases[] = {
        {3200 + 512, 512, 0, 0, CSoundClock::Kind::Running, 1000.0},    // start of the pull
        {3200 + 512, 512, 16, 0, CSoundClock::Kind::Running, 1016.0},   // half of it played
        {3200 + 512, 512, 200, 0, CSoundClock::Kind::Running, 1032.0},  // never past the pull
        {3200 + 512, 512, 16, 10, CSoundClock::Kind::Running, 1006.0},  // latency
        {3200, 512, 0, 0, CSoundClock::Kind::Running, 968.0},           // before the packet
        {3200 + 1600, 512, 400, 0, CSoundClock::Kind::Exhausted, 1100.0},
        {3200 + 512, 512, 300, 0, CSoundClock::Kind::Stalled, 1032.0},  // sound left, no pull
    };
    for (const Case& c : cases) {
        clock.Clear();
        clock.Add(3200, 1600, 1000.0, 16000);
        s.pulledBytes = c.pulled;
        s.lastPullBytes = c.lastPull;
        s.lastPullNs = 1'000'000'000;
        s.latencyNs = c.latencyMs * 1'000'000;
        const CSoundClock::Position p = clock.Heard(s, s.lastPullNs + c.sinceMs * 1'000'000, false);
        EXPECT_EQ(p.kind, c.kind) << c.pulled << " +" << c.sinceMs;
        EXPECT_NEAR(p.heardMs, c.heardMs, 0.01) << c.pulled << " +" << c.sinceMs;
    }
    // Paused: no stall. Sound given after the last pull: wait for the next one.
    s.pulledBytes = 3200 + 512;
    s.paused = true;
    EXPECT_EQ(clock.Heard(s, s.lastPullNs + 300'000'000, false).kind, CSoundClock::Kind::Running);
    s.paused = false;
    s.activeSinceNs = s.lastPullNs + 1;
    EXPECT_EQ(clock.Heard(s, s.lastPullNs + 2, true).kind, CSoundClock::Kind::Waiting);
    // Not one pull since: a sound server may take a second to start; two are too many.
    EXPECT_EQ(clock.Heard(s, s.activeSinceNs + 1'500'000'000, true).kind, CSoundClock::Kind::Waiting);
    EXPECT_EQ(clock.Heard(s, s.activeSinceNs + 2'100'000'000, true).kind, CSoundClock::Kind::Stalled);
    // A burst of pulls (a sound server filling its buffer) is heard at the stream's pace.
    CSoundClock burst;
    burst.Add(0, 16000, 0.0, 16000);
    s.acceptedBytes = 16000;
    s.activeSinceNs = 1;
    s.lastPullBytes = 512;
    const std::pair<uint64_t, double> pulls[] = {{512, 0.0}, {8192, 1.0}, {16000, 2.0}};
    for (const auto& [pulled, afterMs] : pulls) {
        s.pulledBytes = pulled;
        s.lastPullNs = 1'000'000'000 + static_cast<int64_t>(afterMs * 1e6);
        EXPECT_NEAR(burst.Heard(s, s.lastPullNs, false).heardMs, afterMs, 0.01) << pulled;
    }
    // Nothing handed over: wait while more comes, else nothing to follow.
    CSoundClock empty;
    EXPECT_EQ(empty.Heard(s, 0, true).kind, CSoundClock::Kind::Waiting);
    EXPECT_EQ(empty.Heard(s, 0, false).kind, CSoundClock::Kind::Exhausted);
}

TEST(SoundClock, APacketTheDeviceNeverTookIsSkippedNotWaitedFor)
{
    CSoundClock clock;
    clock.Add(0, 640, 0.0, 16000);     // 0..40 ms
    clock.Add(640, 640, 80.0, 16000);  // 80..120 ms: the packet of 40..80 was dropped
    AudioClockSample s;
    s.acceptedBytes = 1280;
    s.bytesPerSec = 16000;
    s.lastPullNs = 5;
    const std::pair<uint64_t, double> cases[] = {{320, 20.0}, {639, 39.9375}, {640, 80.0}, {960, 100.0}};
    for (const auto& [pulled, heard] : cases) {
        CSoundClock fresh = clock;  // each reading on its own: no pace from the one before
        s.pulledBytes = pulled;
        EXPECT_NEAR(fresh.Heard(s, 5, true).heardMs, heard, 0.01) << pulled;
    }
    EXPECT_NEAR(clock.EndMs(), 120.0, 0.01);
}

TEST(PlayerStateTable, EveryStateAnswersEveryEventByTheRules)
{
    using S = PlayerState;
    using E = PlayerEvent;
    for (int si = 0; si < kPlayerStates; ++si) {
        const auto s = static_cast<S>(si);
        SCOPED_TRACE(PlayerStateName(s));
        // Open always plays; Stop and Shutdown always stop.
        EXPECT_EQ(NextPlayerState(s, E::Open).next, S::Playing);
        EXPECT_EQ(NextPlayerState(s, E::Stop).next, S::Stopped);
        EXPECT_EQ(NextPlayerState(s, E::Shutdown).next, S::Stopped);
        // The end is told once: only a running state ends, and an ended one stays quiet.
        const PlayerTransition end = NextPlayerState(s, E::EndOfData);
        EXPECT_EQ((end.actions & kActNotifyEnd) != 0, IsRunning(s));
        EXPECT_EQ(NextPlayerState(end.next, E::EndOfData).actions & kActNotifyEnd, 0);
        // A stepped picture ends only a step; a Play during it has won.
        const PlayerTransition shown = NextPlayerState(s, E::StepShown);
        EXPECT_EQ(shown.next, s == S::Stepping ? S::Stepped : s);
        // Nothing plays again after a stop but an open; nothing but a stop stops.
        for (int ei = 0; ei < kPlayerEvents; ++ei) {
            const auto e = static_cast<E>(ei);
            const PlayerTransition t = NextPlayerState(s, e);
            if (s == S::Stopped && e != E::Open) {
                EXPECT_EQ(t.next, S::Stopped) << ei;
                EXPECT_EQ(t.actions, kActNone) << ei;
            }
            if (t.next == S::Stopped) {
                EXPECT_TRUE(e == E::Stop || e == E::Shutdown || s == S::Stopped) << ei;
            }
            // Pause and Seek never start the pictures; a seek target goes only to a running worker.
            if (e == E::Pause || e == E::Seek) {
                EXPECT_TRUE(t.next != S::Playing || s == S::Playing) << ei;
            }
            EXPECT_EQ((t.actions & kActSetTarget) != 0, e == E::Seek && IsRunning(s)) << ei;
            EXPECT_EQ((t.actions & kActSeekNow) != 0, e == E::Seek && !IsRunning(s) && s != S::Stopped) << ei;
        }
    }
    // What the window sees.
    const std::pair<S, int> seen[] = {{S::Stopped, 2},  {S::Playing, 0}, {S::Paused, 0},
                                      {S::Stepping, 1}, {S::Stepped, 1}, {S::Ended, 2}};
    for (const auto& [s, play] : seen) {
        EXPECT_EQ(PlayStateOf(s), play) << PlayerStateName(s);
    }
}

TEST(MediaSync, KeepsAtMost8192BytesOfAPacket)
{
    CMediaSync sync;
    std::vector<uint8_t> packet(10000);
    for (size_t i = 0; i < packet.size(); ++i) {
        packet[i] = static_cast<uint8_t>(i * 13);
    }
    EXPECT_TRUE(sync.Push(packet.data(), 10000));
    EXPECT_TRUE(sync.Push(packet.data(), 10));
    EXPECT_EQ(sync.QueuedCount(), 2);
    std::vector<uint8_t> out(8192);
    int length = 0;
    ASSERT_TRUE(sync.Pop(out.data(), &length));
    EXPECT_EQ(length, 8192);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), packet.begin()));
    ASSERT_TRUE(sync.Pop(out.data(), &length));
    EXPECT_EQ(length, 10);
    EXPECT_FALSE(sync.Pop(out.data(), &length));
    sync.Push(packet.data(), 5);
    sync.Flush();
    EXPECT_EQ(sync.QueuedCount(), 0);
    EXPECT_FALSE(sync.Pop(out.data(), &length));
    // Nothing to follow without an output that can tell its position.
    CSoundClock::Position heard;
    EXPECT_FALSE(sync.Heard(0, &heard));
}

TEST(MediaSync, ThreadFeedsTheOutputOnlyThroughAnOpenGateAndDrainWaitsForIt)
{
    FakeAudio audio;
    audio.delayMs = 3;
    CMediaSync sync;
    std::atomic<bool> open{false};
    sync.SetAudio(&audio);
    sync.SetGate([&] { return open.load(); });
    ASSERT_TRUE(sync.StartThread());
    std::vector<uint8_t> packet(100, 1);
    for (int i = 0; i < 10; ++i) {
        sync.Push(packet.data(), 100);
    }
    SleepMs(30);
    EXPECT_TRUE(audio.Lengths().empty());
    open = true;
    sync.Wake();
    sync.WaitDrain();
    EXPECT_LE(sync.QueuedCount(), 1);
    ASSERT_TRUE(WaitUntil([&] { return audio.Lengths().size() == 10u; }));
    sync.StopThread();
    // With the thread stopped nothing drains, and the wait does not hang.
    sync.Push(packet.data(), 100);
    sync.Push(packet.data(), 100);
    sync.WaitDrain();
    EXPECT_EQ(sync.QueuedCount(), 2);
}

TEST(FramePacer, SleepsThePeriodLessTheMeanWorkTime)
{
    CFramePacer pacer;
    CTraceCapture trace;
    EXPECT_EQ(pacer.Next(1000, 30, true), 31);  // first use: no work measured yet
    pacer.Done(1031);
    EXPECT_EQ(pacer.Next(1050, 30, true), 22);  // dt 19, mean 9
    const std::string out = trace.Take();
    EXPECT_EQ(out, "[00] dif  0, mean  0 : 31 msec\n[00] dif 19, mean  9 : 22 msec\n");
    pacer.Done(1072);
    // A long gap counts as 60 ms: mean (0 + 19 + 60) / 3 = 26.
    EXPECT_EQ(pacer.Next(5000, 30, false), 5);
    // A frame rate of 0 is paced as 30.
    CFramePacer zero;
    EXPECT_EQ(zero.Next(0, 0, false), 31);
    // Never more than the period.
    CFramePacer fast;
    EXPECT_EQ(fast.Next(0, 1000, false), 0);
}
