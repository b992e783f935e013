// The player wired to the fakes, with the callbacks counted: the fixture of the player tests.
#pragma once

#include "engine/mediaplayer.h"
#include "platform/picturesink.h"
#include "player_fakes.h"
#include "tests/support/timing.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace fakes {

struct TextLine {
    std::string text;
    int length;
    int timeMs;
};

class PlayerTest : public testing::Test {
public:
    static bool TimingAsserts() { return test_timing::BoundsHold(); }

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

}  // namespace fakes
