// The media player driven by a scripted recording: cushion, end of media, seeks and steps,
// key-unit waits, callbacks, the sound clock and the pacer.
#include "engine/mediaplayer.h"
#include "platform/picturesink.h"
#include "player_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace fakes;

namespace {

struct TextLine {
    std::string text;
    int length;
    int timeMs;
};

class PlayerTest : public testing::Test {
protected:
    void Wire(const RecordingPlan& plan, VAudio* audio = nullptr)
    {
        parser.SetRecording(plan);
        player.SetParser(&parser);
        player.SetDecoder(&decoder);
        player.SetAudio(audio ? audio : &audio0);
        player.SetPacerLog(false);
        player.SetTextCallback(&PlayerTest::OnText, this);
        player.SetEventCallback(&PlayerTest::OnEvent, this);
    }
    void StartAndOpen(const RecordingPlan& plan, const char* name = "R_0001_F.avi", VAudio* audio = nullptr)
    {
        Wire(plan, audio);
        ASSERT_TRUE(player.Start(&front, &rear));
        ASSERT_TRUE(player.Open(name));
    }
    bool WaitForEnd()
    {
        return WaitUntil([&] { return ends.load() > 0; });
    }
    std::vector<TextLine> Lines()
    {
        std::lock_guard<std::mutex> lock(textLock);
        return lines;
    }

    static void OnText(void* user, const char* text, int length, int timeMs)
    {
        auto* self = static_cast<PlayerTest*>(user);
        std::lock_guard<std::mutex> lock(self->textLock);
        self->lines.push_back({text, length, timeMs});
    }
    static void OnEvent(void* user, int event, int a, int b)
    {
        auto* self = static_cast<PlayerTest*>(user);
        if (event == 1 && a == self->player.OpenSerial() && b == 0) {
            ++self->ends;
        }
    }

    CPictureSink front{64, 48};
    CPictureSink rear{64, 48};
    FakeParser parser;
    FakeDecoder decoder;
    FakeAudio audio0;
    std::atomic<int> ends{0};
    std::mutex textLock;
    std::vector<TextLine> lines;
    // Destroyed first: its threads stop before the fakes go.
    CQVZMediaPlayer player;
};

}  // namespace

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
    EXPECT_EQ(player.PlayState(), CQVZMediaPlayer::kStateStopped);
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

TEST_F(PlayerTest, PausesAndStepsAreSilentAndResumingPlaysTheSoundOfTheSteppedPictures)
{
    audio0.delayMs = 40;  // slower than the pictures: sound stays queued
    StartAndOpen({.frames = 300, .fps = 30, .audioBytes = 533});
    ASSERT_TRUE(WaitUntil([&] { return !decoder.Calls().empty(); }));
    player.Pause();
    // Paused, the sound waits too.
    SleepMs(30);
    const size_t played = audio0.Frames().size();
    SleepMs(100);
    EXPECT_EQ(audio0.Frames().size(), played);
    ASSERT_TRUE(player.SeekMs(5000));
    ASSERT_TRUE(WaitUntil([&] { return player.RunMode() == CQVZMediaPlayer::kIdle; }));
    SleepMs(50);
    for (int frame : audio0.Frames()) {
        EXPECT_LT(frame, 150) << "sound played while stepping";
    }
    audio0.ClearLog();
    player.Resume();
    ASSERT_TRUE(WaitUntil([&] { return audio0.Frames().size() >= 30u; }));
    const std::vector<int> frames = audio0.Frames();
    // The sound goes on from the stepped picture, none of it lost.
    for (size_t i = 0; i < 30; ++i) {
        EXPECT_EQ(frames[i], 150 + static_cast<int>(i));
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
    EXPECT_EQ(player.PlayState(), CQVZMediaPlayer::kStateStopped);
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

// ---- The sound clock ----

namespace {

// Takes sound at once; the test says how much of it the device has pulled.
class ClockAudio : public VAudio, public VAudioBacklog {
public:
    std::atomic<long long> pulled{0};

    bool Open(int, int) override { return true; }
    int Close() override { return 1; }
    int Write(const void*, int length) override
    {
        m_written += length;
        return 1;
    }
    int OnError(int code) override { return code; }
    bool IsPlaying() override { return true; }
    int PendingBytes(int64_t* accepted) override
    {
        if (accepted) {
            *accepted = m_written.load();
        }
        // Moves by a byte on every call so that it never looks stalled.
        m_flip = !m_flip;
        return static_cast<int>(std::max(0LL, m_written.load() - pulled.load() - (m_flip ? 1 : 0)));
    }

private:
    std::atomic<long long> m_written{0};
    std::atomic<bool> m_flip{false};
};

}  // namespace

TEST_F(PlayerTest, PicturesFollowTheSoundTheDeviceHasPulled)
{
    // 25 fps with 640 bytes (40 ms) of sound after each picture.
    ClockAudio audio;
    std::mutex lock;
    std::vector<std::pair<int, long long>> pulledAt;  // frame, bytes pulled when decoded
    decoder.onDecode = [&](const DecodeCall& c) {
        std::lock_guard<std::mutex> guard(lock);
        pulledAt.emplace_back(c.frame, audio.pulled.load());
    };
    StartAndOpen({.frames = 50, .fps = 25, .audioBytes = 640}, "R_0001_F.avi", &audio);
    while (ends.load() == 0 && audio.pulled.load() < 50 * 640 + 10000) {
        audio.pulled += 64;
        SleepMs(1);
    }
    const bool ended = WaitForEnd();
    player.Shutdown();  // before the local sound output goes
    ASSERT_TRUE(ended);
    std::lock_guard<std::mutex> guard(lock);
    ASSERT_EQ(pulledAt.size(), 50u);
    for (const auto& [frame, bytes] : pulledAt) {
        // Frame k is due when k * 40 ms of sound has been pulled.
        EXPECT_GE(bytes, frame * 640LL - 1) << "frame " << frame;
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
    sync.Clear();
    EXPECT_EQ(sync.QueuedCount(), 0);
    EXPECT_FALSE(sync.Pop(out.data(), &length));
    // Nothing reports a backlog without an output that can tell.
    EXPECT_EQ(sync.UnheardBytes(), -1);
}

TEST(MediaSync, ThreadFeedsTheOutputAndDrainWaitsForIt)
{
    FakeAudio audio;
    audio.delayMs = 3;
    CMediaSync sync;
    sync.SetAudio(&audio);
    ASSERT_TRUE(sync.StartThread());
    std::vector<uint8_t> packet(100, 1);
    for (int i = 0; i < 10; ++i) {
        sync.Push(packet.data(), 100);
    }
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
    testing::internal::CaptureStdout();
    EXPECT_EQ(pacer.Next(1000, 30, true), 31);  // first use: no work measured yet
    pacer.Done(1031);
    EXPECT_EQ(pacer.Next(1050, 30, true), 22);  // dt 19, mean 9
    const std::string out = testing::internal::GetCapturedStdout();
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
