// SPDX-License-Identifier: GPL-3.0-or-later
// The player against the fakes where time itself is what is checked: a pause that stops the
// sound, a device that stops pulling, sound that ends before the pictures. They run alone.
#include "player_fixture.h"

#include <gtest/gtest.h>

#include <thread>

using namespace fakes;

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

TEST_F(PlayerTest, ADeviceThatStopsPullingHandsThePicturesToTheFrameRate)
{
    // Sound for every picture, but the device stops after the first second.
    ScriptedDevice device;
    StartAndOpen({.frames = 150, .fps = 30, .audioBytes = 533}, "R_0001_F.avi", &device);
    const long long start = TickMs();
    while (TickMs() - start < 1000) {
        device.PullTo(static_cast<uint64_t>(TickMs() - start) * 16);
        SleepMs(2);
    }
    // Waiting a quarter of a second for each picture would take half a minute.
    const bool ended = WaitUntil([&] { return ends.load() > 0; }, TimingAsserts() ? 15000 : 120000);
    player.Shutdown();
    EXPECT_TRUE(ended);
    EXPECT_EQ(decoder.FramesOf(0).size(), 150u);
}

TEST_F(PlayerTest, WhenTheSoundRunsOutThePicturesGoOnAtTheFrameRateWithoutABurst)
{
    // Two seconds of sound, five of pictures; the device plays in real time.
    ScriptedDevice device;
    std::mutex lock;
    std::vector<long long> decodedAt(150, 0);
    decoder.onDecode = [&](const DecodeCall& c) {
        std::lock_guard<std::mutex> guard(lock);
        if (c.channel == 0 && c.frame >= 0 && c.frame < 150) {
            decodedAt[static_cast<size_t>(c.frame)] = TickMs();
        }
    };
    StartAndOpen({.frames = 150, .fps = 30, .audioBytes = 533, .audioFrames = 60}, "R_0001_F.avi", &device);
    std::atomic<bool> done{false};
    std::thread pulling([&] {
        const long long start = TickMs();
        while (!done.load()) {
            device.PullTo(static_cast<uint64_t>(TickMs() - start) * 16);
            SleepMs(2);
        }
    });
    const bool ended = WaitUntil([&] { return ends.load() > 0; }, 60000);
    done = true;
    pulling.join();
    player.Shutdown();
    ASSERT_TRUE(ended);
    std::lock_guard<std::mutex> guard(lock);
    int shortest = 1000;
    for (size_t f = 61; f < 90; ++f) {
        shortest = std::min(shortest, static_cast<int>(decodedAt[f] - decodedAt[f - 1]));
    }
    std::printf("shortest interval after the sound ran out: %d ms\n", shortest);
    if (TimingAsserts()) {
        EXPECT_GE(shortest, 10);
    }
}
