// Sound and pictures in step on a real recording: a sample card whose pictures flash and
// whose sound beeps once a second is played for a minute in real time on SDL's dummy
// sound driver, and each flash reaching the front sink is matched with its beep being
// pulled by the sound device.
#include "tools/mubplay/session.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

// A minute of two small channels: decoding stays far below real time even under sanitizers.
constexpr const char* kCardArgs =
    "--per-category 1 --letters D --duration 60 --front 160x96 --rear 160x96 --seed 11";

// The card is kept in the build folder and made again only when mubcard is newer. ctest
// runs the tests of this program in parallel processes, so each makes its card in a
// folder of its own and moves it into place; a process that loses the race uses the
// winner's card.
std::string SyncCard()
{
    const fs::path mubcard = fs::path(MUB_BINARY_DIR) / "tools/mubcard/mubcard";
    const fs::path card = fs::path(MUB_BINARY_DIR) / "tests/player/sync_card";
    const fs::path stamp = card / "made.stamp";
    std::error_code ec;
    if (fs::exists(stamp, ec) && fs::last_write_time(stamp, ec) > fs::last_write_time(mubcard, ec)) {
        return card.string();
    }
    const fs::path fresh = card.string() + ".new" + std::to_string(getpid());
    fs::remove_all(fresh, ec);
    fs::create_directories(fresh, ec);
    const std::string cmd = mubcard.string() + " --out '" + fresh.string() + "' " + kCardArgs + " > /dev/null";
    if (std::system(cmd.c_str()) != 0) {
        fs::remove_all(fresh, ec);
        return {};
    }
    if (std::FILE* f = std::fopen((fresh / "made.stamp").c_str(), "w")) {
        std::fclose(f);
    }
    // Replace only a stale card; a fresh one another process just made stays.
    if (!(fs::exists(stamp, ec) && fs::last_write_time(stamp, ec) > fs::last_write_time(mubcard, ec))) {
        const fs::path old = card.string() + ".old" + std::to_string(getpid());
        fs::rename(card, old, ec);
        fs::rename(fresh, card, ec);
        fs::remove_all(old, ec);
    }
    fs::remove_all(fresh, ec);
    return card.string();
}

std::string DrivingRecording(const std::string& card)
{
    MUBContext ctx = CreateLibraryContext();
    AddCardFolder(ctx, card.c_str());
    const uint8_t id = QueryCardId(ctx);
    std::string name;
    if (id != 0 && OpenCard(ctx)) {
        for (const CardRecording& r : ListCardRecordings(ctx, id, MUB_CATEGORY_DRIVING)) {
            name = r.name;
        }
    }
    ReleaseLibraryContext(ctx);
    return name;
}

}  // namespace

TEST(PlayerSync, FlashesAndBeepsStayWithin45MsOverAMinute)
{
    const std::string card = SyncCard();
    ASSERT_FALSE(card.empty()) << "mubcard failed";
    const std::string name = DrivingRecording(card);
    ASSERT_FALSE(name.empty());

    CPlaybackSession session;
    SessionOptions options;
    options.card = card;
    options.name = name;
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
    EXPECT_EQ(session.Presented(0), 1800);
    EXPECT_EQ(session.Meter().Flashes(), 60);
    EXPECT_GE(r.offsetsMs.size(), 59u);
    EXPECT_LE(r.maxAbsMs, 45.0);
}

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
        player.Open(DrivingRecording(card).c_str());
        while (front.Serial() == 0 && TickMs() < deadline + 20000) {
            SleepMs(10);
        }
        EXPECT_GT(front.Serial(), 0u);
        player.Shutdown();
    }
    SetLibraryContext(nullptr);
    ReleaseLibraryContext(ctx);
}
