// SPDX-License-Identifier: GPL-3.0-or-later
// Every program: --help on standard output, --version, one line and status 2 for bad
// arguments; mubplay's and mubexport's output holds only their own lines, so it can be
// piped; no sound device is told in one line.
#include "tests/parser/sample_card.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace sample;

namespace {

std::map<std::string, std::string> Programs()
{
    std::map<std::string, std::string> programs;
    std::istringstream list(MUB_PROGRAMS);
    std::string item;
    while (std::getline(list, item, ',')) {
        const size_t eq = item.find('=');
        programs[item.substr(0, eq)] = item.substr(eq + 1);
    }
    return programs;
}

struct Output {
    int status = -1;
    std::string out;
    std::string err;
};

// Standard output and standard error apart.
Output RunApart(const std::string& command, const fs::path& errFile)
{
    const RunResult r = RunCommand("{ " + command + " 2>'" + errFile.string() + "'; }");
    Output o{r.status, r.output, {}};
    if (FILE* f = std::fopen(errFile.c_str(), "r")) {
        char buf[4096];
        size_t n = 0;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
            o.err.append(buf, n);
        }
        std::fclose(f);
    }
    return o;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(line);
    }
    return lines;
}

bool StartsWithAny(const std::string& line, std::initializer_list<const char*> prefixes)
{
    for (const char* p : prefixes) {
        if (line.rfind(p, 0) == 0) {
            return true;
        }
    }
    return false;
}

}  // namespace

TEST(ProgramManners, HelpVersionAndBadArguments)
{
    TempDir dir("cli");
    const fs::path err = dir.Path() / "stderr";
    const auto programs = Programs();
    ASSERT_GE(programs.size(), 4u);
    for (const auto& [name, path] : programs) {
        SCOPED_TRACE(name);
        // No display: the viewer answers before it needs one.
        const Output help = RunApart("env -u DISPLAY QT_QPA_PLATFORM= " + path + " --help", err);
        EXPECT_EQ(help.status, 0);
        EXPECT_EQ(help.out.rfind("Usage: " + name, 0), 0u) << help.out;
        EXPECT_NE(help.out.find("--version"), std::string::npos);
        EXPECT_EQ(help.err, "");

        const Output version = RunApart(path + " --version", err);
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(Lines(version.out).size(), 1u) << version.out;
        EXPECT_EQ(version.out.rfind(name + " ", 0), 0u) << version.out;
        EXPECT_NE(version.out.find(" " MUB_VERSION_TEXT "\n"), std::string::npos) << version.out;

        for (const char* bad : {"--no-such-option", "--card"}) {
            if (name == "mubcard" && std::string(bad) == "--card") {
                continue;  // mubcard has no --card; its bad option is the first case
            }
            const Output r = RunApart(path + " " + bad, err);
            EXPECT_EQ(r.status, 2) << bad;
            EXPECT_EQ(r.out, "") << bad;
            ASSERT_EQ(Lines(r.err).size(), 1u) << bad << ": " << r.err;
            EXPECT_EQ(r.err.rfind(name + ": ", 0), 0u) << r.err;
        }
    }
}

class ToolOutput : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<TempDir>("cli_card");
        s_made = MakeCard(s_dir->Path() / "card",
                          "--per-category 1 --letters D --duration 8 --front 160x96 --rear 160x96 --seed 4");
    }
    static void TearDownTestSuite() { s_dir.reset(); }
    void SetUp() override { ASSERT_TRUE(s_made); }

    static std::string Card() { return (s_dir->Path() / "card").string(); }
    static std::string Tool(const char* name) { return Programs().at(name); }
    static std::string Driving()
    {
        OpenedCard card(s_dir->Path() / "card");
        for (const CardRecording& r : card.All()) {
            if (r.name.rfind("REC_", 0) == 0) {
                return r.name;
            }
        }
        return {};
    }

    static std::unique_ptr<TempDir> s_dir;
    static bool s_made;
};
std::unique_ptr<TempDir> ToolOutput::s_dir;
bool ToolOutput::s_made = false;

TEST_F(ToolOutput, MubplayPrintsOnlyItsSummaryAndTracesOnStandardError)
{
    const fs::path err = s_dir->Path() / "stderr";
    const std::string play = Tool("mubplay") + " --card '" + Card() + "' " + Driving();
    struct Case {
        const char* env;
        bool traced;
    };
    for (const Case c :
         {Case{"SDL_AUDIODRIVER=dummy", false}, Case{"SDL_AUDIODRIVER=dummy MUB_TRACE=1", true}}) {
        SCOPED_TRACE(c.env);
        const Output r = RunApart(std::string("env ") + c.env + " " + play + " --seconds 5", err);
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> lines = Lines(r.out);
        ASSERT_GE(lines.size(), 3u) << r.out;
        EXPECT_EQ(lines.front().rfind("intervals_ms n=", 0), 0u) << r.out;
        EXPECT_EQ(lines.back().rfind("presented front=", 0), 0u) << r.out;
        for (const std::string& line : lines) {
            EXPECT_TRUE(
                StartsWithAny(line, {"intervals_ms ", "state=", "flashes=", "offsets_ms", "presented "}))
                << line;
        }
        // The reader's end line comes in every run; whether the player ever finds the
        // read-ahead queue empty depends on timing.
        EXPECT_EQ(r.err.find("Media End Recv") != std::string::npos, c.traced) << r.err;
    }
}

TEST_F(ToolOutput, NoSoundDeviceIsToldInOneLine)
{
    // ALSA with no sound card prints eight lines of its own; a machine with a card plays.
    const fs::path err = s_dir->Path() / "stderr";
    const Output r = RunApart("env SDL_AUDIODRIVER=alsa " + Tool("mubplay") + " --card '" + Card() + "' " +
                                  Driving() + " --seconds 1",
                              err);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err.find("ALSA lib"), std::string::npos) << r.err;
    int told = 0;
    for (const std::string& line : Lines(r.err)) {
        told += line.find("sound device") != std::string::npos;
    }
    EXPECT_LE(told, 1) << r.err;
}

TEST_F(ToolOutput, MubexportPrintsOnlyProgressAndResult)
{
    const fs::path err = s_dir->Path() / "stderr";
    const fs::path out = s_dir->Path() / "out";
    fs::create_directories(out);
    const Output r = RunApart(
        Tool("mubexport") + " --card '" + Card() + "' --out '" + out.string() + "' --category REC", err);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::vector<std::string> lines = Lines(r.err);
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
        // The progress bar redraws itself in place with carriage returns.
        std::istringstream parts(line);
        std::string part;
        while (std::getline(parts, part, '\r')) {
            EXPECT_TRUE(part.empty() || StartsWithAny(part, {"[1/1] ", "mubexport: "})) << part;
        }
    }
    EXPECT_EQ(lines.back(),
              "mubexport: 1 written, 0 shortened, 0 failed, 0 cancelled, 0 not started; 0 with a problem "
              "beside the AVI");
}
