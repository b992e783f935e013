// mubplay on a sample card, driven through its standard input by a stream of random
// commands at random intervals: it must end when told, in the state the commands left it,
// with no end event it should not have sent. And a seek given on its command line lands.
#include "engine/playerstate.h"
#include "tests/player/sync_card.h"
#include "tests/support/run_command.h"
#include "tools/common/card.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::string Mubplay()
{
    return (fs::path(MUB_BINARY_DIR) / "tools/mubplay/mubplay").string();
}

// The value of key=VALUE on mubplay's state line.
std::string Field(const std::string& output, const std::string& key)
{
    const size_t line = output.rfind("\nstate=");
    if (line == std::string::npos) {
        return "";
    }
    const size_t at = output.find(" " + key + "=", line);
    const size_t start = key == "state" ? line + 7 : (at == std::string::npos ? at : at + key.size() + 2);
    if (start == std::string::npos) {
        return "";
    }
    return output.substr(start, output.find_first_of(" \n", start) - start);
}

}  // namespace

TEST(MubplayCommands, ARandomStreamLeavesThePlayerInTheStateItAskedFor)
{
    const std::string card = SyncCard();
    ASSERT_FALSE(card.empty()) << "mubcard failed";
    const std::string name = LastRecordingOf(card, MUB_CATEGORY_DRIVING);
    ASSERT_FALSE(name.empty());
    const fs::path out = fs::path(MUB_BINARY_DIR) / "tests/player/mubplay_commands.out";
    const std::string cmd =
        "timeout 120 " + Mubplay() + " --card '" + card + "' " + name + " > '" + out.string() + "' 2>&1";
    FILE* in = popen(cmd.c_str(), "w");
    ASSERT_NE(in, nullptr);

    // The model: the player's own table; a step settles on its picture. Seeks stay 20 s
    // short of the end and the run lasts about 12 s, so nothing ever ends.
    // MUB_SEED picks another stream.
    std::mt19937 random(std::getenv("MUB_SEED") ? std::atoi(std::getenv("MUB_SEED")) : 20261208);
    PlayerState model = PlayerState::Playing;
    int opens = 1;
    int lastSeekMs = -1;
    std::string script;
    for (int i = 0; i < 500; ++i) {
        std::string command;
        PlayerEvent event;
        const int seekMs = static_cast<int>(random() % 40000);
        switch (random() % 6) {
            case 0:
                command = "pause";
                event = PlayerEvent::Pause;
                break;
            case 1:
            case 2:
                command = "resume";
                event = PlayerEvent::Play;
                break;
            case 3:
                command = "seek " + std::to_string(seekMs);
                event = PlayerEvent::Seek;
                break;
            case 4:
                command = "stop";
                event = PlayerEvent::Stop;
                break;
            default:
                command = "open";
                event = PlayerEvent::Open;
                ++opens;
                break;
        }
        const PlayerTransition t = NextPlayerState(model, event);
        if (event == PlayerEvent::Seek && (t.actions & (kActSeekNow | kActSetTarget))) {
            lastSeekMs = seekMs;
        }
        if (event == PlayerEvent::Open || event == PlayerEvent::Stop) {
            lastSeekMs = -1;
        }
        model = t.next == PlayerState::Stepping ? PlayerState::Stepped : t.next;
        script += command + "\n";
        std::fprintf(in, "%s\n", command.c_str());
        std::fflush(in);
        std::this_thread::sleep_for(std::chrono::milliseconds(random() % 51));
    }
    std::fprintf(in, "quit\n");
    const int status = pclose(in);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "mubplay froze or failed";

    std::ifstream file(out);
    std::stringstream text;
    text << file.rdbuf();
    const std::string output = text.str();
    EXPECT_EQ(Field(output, "state"), PlayerStateName(model)) << output.substr(output.rfind("\nstate="));
    EXPECT_EQ(Field(output, "opens"), std::to_string(opens));
    EXPECT_EQ(Field(output, "ends"), "0");
    EXPECT_EQ(Field(output, "stale_ends"), "0");
    if (model == PlayerState::Stepped && lastSeekMs >= 0) {
        // Seeks land on whole seconds; the step shows the picture there.
        const int frame = std::stoi(Field(output, "frame"));
        EXPECT_GE(frame, lastSeekMs / 1000 * 30);
        EXPECT_LE(frame, lastSeekMs / 1000 * 30 + 2);
    }
}

TEST(MubplayCommands, ASeekOnTheCommandLineStartsThere)
{
    const std::string card = SyncCard();
    ASSERT_FALSE(card.empty()) << "mubcard failed";
    const std::string name = LastRecordingOf(card, MUB_CATEGORY_DRIVING);
    const RunResult r = RunCommand("timeout 60 " + Mubplay() + " --card '" + card + "' " + name +
                                   " --seek-ms 20000 --seconds 2");
    ASSERT_EQ(r.status, 0) << r.output;
    const int first = std::stoi(Field(r.output, "first_ms"));
    EXPECT_GE(first, 19000);
    EXPECT_LE(first, 21000);
}
