// SPDX-License-Identifier: GPL-3.0-or-later
// Open, stop, seek, pause and resume from a second thread while the player plays: no
// deadlock, no crash, no leak, every thread joined at the end, and the state as the commands
// left it: stopped after a stop, at most one end per open, a seek while playing acted on.
#include "engine/mediaplayer.h"
#include "platform/picturesink.h"
#include "player_fakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

using namespace fakes;

namespace {

struct EndLog {
    std::atomic<int> count{0};
    std::mutex lock;
    std::vector<int> opens;  // --- protected by lock
};

void CountEnd(void* user, int, int open, int)
{
    auto* log = static_cast<EndLog*>(user);
    std::lock_guard<std::mutex> guard(log->lock);
    log->opens.push_back(open);
    ++log->count;
}

void IgnoreText(void*, const char*, int, int) {}

}  // namespace

TEST(PlayerStorm, CommandsFromAnotherThreadWhilePlaying)
{
    CPictureSink front(64, 48);
    CPictureSink rear(64, 48);
    CPictureSink third(64, 48);
    FakeParser parser({.frames = 2000,
                       .fps = 1000,
                       .keyEvery = 50,
                       .rear = true,
                       .third = true,
                       .audioBytes = 16,
                       .textEvery = 100});
    FakeDecoder decoder;
    FakeAudio audio;
    EndLog ends;
    std::atomic<int> notStopped{0};
    {
        CQVZMediaPlayer player;
        player.SetParser(&parser);
        player.SetDecoder(&decoder);
        player.SetAudio(&audio);
        player.SetPacerLog(false);
        player.SetEventCallback(&CountEnd, &ends);
        player.SetTextCallback(&IgnoreText, nullptr);
        ASSERT_TRUE(player.Start(&front, &rear));
        player.SetThirdWindow(&third);
        player.Open("R_0001_T.avi");

        std::atomic<bool> done{false};
        std::thread reader([&] {
            // The interface thread's readers, all the while.
            int extra = 0;
            while (!done.load()) {
                player.CurrentTimeMs();
                player.PlayState();
                player.DurationMs();
                player.ChannelCount(&extra);
                std::this_thread::yield();
            }
        });
        std::thread commands([&] {
            std::mt19937 random(12345);
            for (int i = 0; i < 3000; ++i) {
                switch (random() % 9) {
                    case 0:
                        player.Open(i % 2 ? "R_0002_D.avi" : "R_0003_T.avi, 4");
                        break;
                    case 1:
                        player.Stop();
                        notStopped += player.PlayState() == CQVZMediaPlayer::kStateStopped ? 0 : 1;
                        break;
                    case 2:
                    case 3:
                        player.SeekMs(static_cast<int>(random() % 2500));
                        break;
                    case 4:
                        player.Pause();
                        break;
                    case 5:
                        player.Resume();
                        break;
                    case 6:
                        player.RedrawAll();
                        break;
                    case 7:
                        player.SaveSnapshot(0, "/nonexistent/still.jpg");
                        break;
                    default:
                        player.SetThirdWindow(i % 3 ? &third : nullptr);
                        rear.SetVisible(i % 4 != 0);
                        break;
                }
                if (i % 16 == 0) {
                    std::this_thread::yield();
                }
            }
        });
        commands.join();
        EXPECT_EQ(notStopped.load(), 0);
        // Still alive: the last command may have been a stop, so open once more, seek while
        // playing, and see the seek land and the recording play to its end.
        const int endsBefore = ends.count.load();
        player.Open("R_0004_F.avi");
        ASSERT_TRUE(WaitUntil([&] { return player.FrameIndex() > 10; }));
        decoder.ClearCalls();
        player.SeekMs(1500);
        EXPECT_TRUE(WaitUntil([&] { return ends.count.load() > endsBefore; }, 60000));
        const std::vector<int> shown = decoder.FramesOf(0);
        EXPECT_NE(std::find(shown.begin(), shown.end(), 1500), shown.end());
        done = true;
        reader.join();
        player.Shutdown();
        EXPECT_EQ(parser.stops.load(), 1);
        EXPECT_EQ(audio.closes.load(), 1);
    }
    // One end at most for each open.
    std::vector<int> opens = ends.opens;
    std::sort(opens.begin(), opens.end());
    EXPECT_EQ(std::adjacent_find(opens.begin(), opens.end()), opens.end());
}
