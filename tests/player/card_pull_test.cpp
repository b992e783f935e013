// A card pulled under the player: from some moment on every read of it fails with EIO.
// Whatever the player was doing, it must end the recording (once) rather than hang or
// crash, answer the commands that follow, and play again once the card is back.
#include "mublib/mub_card.h"
#include "tests/mublib/card_fixture.h"
#include "tests/player/sync_card.h"
#include "tools/common/card.h"
#include "tools/mubplay/session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <string>

namespace fs = std::filesystem;

namespace {

// Runs body on a thread; a player that hangs fails the test and ends the program, which
// could not finish otherwise.
void WithinSeconds(int seconds, const std::function<void()>& body)
{
    auto done = std::async(std::launch::async, body);
    if (done.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
        std::fprintf(stderr, "the player hung after the card was pulled\n");
        std::_Exit(1);
    }
    done.get();
}

bool WaitFor(const std::function<bool()>& ready, int ms)
{
    for (long long end = TickMs() + ms; TickMs() < end; SleepMs(20)) {
        if (ready()) {
            return true;
        }
    }
    return ready();
}

}  // namespace

TEST(CardPull, ThePlayerEndsTheRecordingOnceAndPlaysAgainWhenTheCardIsBack)
{
    const std::string card = SyncCard();
    ASSERT_FALSE(card.empty()) << "mubcard failed";
    const std::string name = LastRecordingOf(card, MUB_CATEGORY_DRIVING);
    ASSERT_FALSE(name.empty());

    const auto recordingBytes =
        fs::file_size(mub::RecordingPath(card, MUB_CATEGORY_DRIVING, name.substr(0, name.size() - 4)));
    // Pulled while a seek reads anew, or dying part-way: whatever was read ahead before the
    // pull still plays, so each case makes the player read past it soon.
    struct Case {
        const char* what;
        double failFrom;  // the share of the recording readable, or -1: pulled later
        std::function<void(CPlaybackSession&)> before;
    };
    const Case cases[] = {
        {"dying part-way while playing", 0.9, [](CPlaybackSession& s) { s.Player().SeekMs(48000); }},
        {"pulled while paused, then a seek", -1, [](CPlaybackSession& s) { s.Player().Pause(); }},
        {"pulled while playing, then a seek", -1, [](CPlaybackSession&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CPlaybackSession session;
        SessionOptions options;
        options.card = card;
        options.name = name;
        std::string error;
        ASSERT_TRUE(session.Setup(options, &error)) << error;
        WithinSeconds(60, [&] {
            long long shown = 0;
            {
                CCardFault pulled;
                if (c.failFrom > 0) {
                    pulled.FailFrom(static_cast<uint64_t>(c.failFrom * static_cast<double>(recordingBytes)));
                }
                session.Open();
                ASSERT_TRUE(WaitFor([&] { return session.Presented(0) >= 15; }, 20000));
                c.before(session);
                if (c.failFrom < 0) {
                    pulled.FailFrom(0);
                    session.Player().SeekMs(30000);
                }
                EXPECT_TRUE(WaitFor([&] { return session.Ended(); }, 30000));
                EXPECT_GT(pulled.Failures(), 0);
                shown = session.Presented(0);
                EXPECT_LT(shown, 1800);
                SleepMs(300);
                EXPECT_EQ(session.Ends(), 1) << "the end was told more than once";
                // Commands on a recording that cannot be read come back.
                session.Player().SeekMs(10000);
                session.Player().Resume();
                session.Player().Stop();
            }
            // The card is back: the same recording opens and plays.
            session.ClearEnded();
            session.Open();
            EXPECT_TRUE(WaitFor([&] { return session.Presented(0) >= shown + 15; }, 20000));
            session.Shutdown();
        });
    }
}
