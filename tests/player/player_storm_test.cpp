// Open, stop, seek, pause and resume from a second thread while the player plays: no
// deadlock, no crash, no leak, and every thread joined at the end.
#include "engine/mediaplayer.h"
#include "platform/picturesink.h"
#include "player_fakes.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

using namespace fakes;

namespace {

void CountEnd(void* user, int, int, int)
{
    ++*static_cast<std::atomic<int>*>(user);
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
    std::atomic<int> ends{0};
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
        // Still alive: the last command may have been a stop, so open once more and see
        // the recording play to its end.
        const int endsBefore = ends.load();
        player.Open("R_0004_F.avi");
        EXPECT_TRUE(WaitUntil([&] { return ends.load() > endsBefore; }, 60000));
        done = true;
        reader.join();
        player.Shutdown();
        EXPECT_EQ(parser.stops.load(), 1);
        EXPECT_EQ(audio.closes.load(), 1);
    }
    EXPECT_GT(decoder.Calls().size(), 0u);
}
