// SPDX-License-Identifier: GPL-3.0-or-later
// mubexport and the export unit on a real sample card, with FFmpeg's tools as the judge
// of the files written.
#include "avi_check.h"
#include "ffmpeg_check.h"
#include "formats/aviwriter.h"
#include "formats/checksums.h"
#include "formats/exportfile.h"
#include "tests/mublib/card_fixture.h"
#include "tests/parser/sample_card.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

using namespace sample;

namespace {

std::string Quote(const std::string& s)
{
    return "'" + s + "'";
}

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string Sha256OfFileOrEmpty(const std::string& path)
{
    std::string error;
    return Sha256OfFile(path, &error);
}

class ExportCard : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<TempDir>("exportcard");
        s_made = MakeCard(s_dir->Path() / "card",
                          "--per-category 1 --letters DTEN --duration 3 --front 96x64 "
                          "--rear 64x48 --third 64x48 --seed 21");
    }
    static void TearDownTestSuite() { s_dir.reset(); }
    void SetUp() override
    {
        if (std::string(FFPROBE_EXECUTABLE).empty() || std::string(FFMPEG_EXECUTABLE).empty()) {
            GTEST_SKIP() << "ffprobe/ffmpeg not found";
        }
        ASSERT_TRUE(s_made);
        out = s_dir->Path() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(out);
        fs::create_directories(out);
    }
    // Front, rear and third picture counts of a recording, as its description gives them.
    static std::vector<int> DescribedFrames(CMUBParser& parser, const std::string& name)
    {
        MediaInfo info;
        OpenByName(parser, name, &info);
        parser.Close();
        std::vector<int> frames = {info.frameCount0};
        if (info.frameRate1 != 0) {
            frames.push_back(info.frameCount1);
        }
        if (info.frameRate2 != 0) {
            frames.push_back(parser.RecordingInfo(12));
        }
        return frames;
    }

    static std::unique_ptr<TempDir> s_dir;
    static bool s_made;
    fs::path out;
};
std::unique_ptr<TempDir> ExportCard::s_dir;
bool ExportCard::s_made = false;

TEST_F(ExportCard, MubexportWritesFilesFfmpegAccepts)
{
    std::vector<CardRecording> all;
    {
        OpenedCard card(s_dir->Path() / "card");
        all = card.All();
    }
    ASSERT_EQ(all.size(), 4u);
    std::string names;
    for (const CardRecording& r : all) {
        names += " " + Quote(r.name);
    }
    const std::string tool = std::string(MUB_BINARY_DIR) + "/tools/mubexport/mubexport";
    const RunResult r = RunCommand(tool + " --card " + Quote((s_dir->Path() / "card").string()) + " --out " +
                                   Quote(out.string()) + names);
    ASSERT_EQ(r.status, 0) << r.output;

    OpenedCard card(s_dir->Path() / "card");
    CMUBParser parser;
    for (const CardRecording& rec : all) {
        const fs::path avi = out / rec.name;
        ASSERT_TRUE(fs::exists(avi)) << rec.name;
        EXPECT_TRUE(ReadAviSummary(avi.string()).valid);
        ExpectFfmpegAccepts(avi.string(), DescribedFrames(parser, rec.name));
    }
    // Nothing else was left in the folder but the checksums.
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 5);
}

TEST_F(ExportCard, MubexportFailsWhenARecordingIsMissing)
{
    const std::string tool = std::string(MUB_BINARY_DIR) + "/tools/mubexport/mubexport";
    const RunResult r = RunCommand(tool + " --card " + Quote((s_dir->Path() / "card").string()) + " --out " +
                                   Quote(out.string()) + " REC_20000101_000000_D.avi --category EVENT");
    EXPECT_NE(r.status, 0);
    const RunResult r2 = RunCommand(tool + " --card " + Quote((s_dir->Path() / "card").string()) + " --out " +
                                    Quote(out.string()) + " REC_20000101_000000_D.avi");
    EXPECT_EQ(r2.status, 1);
    EXPECT_TRUE(fs::is_empty(out));
    const RunResult r3 = RunCommand(tool + " --card " + Quote((s_dir->Path() / "card").string()) + " --out " +
                                    Quote(out.string()) + " --category EVENT");
    EXPECT_EQ(r3.status, 0) << r3.output;
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2);
}

TEST_F(ExportCard, CancelLeavesAShortenedFileFfmpegAccepts)
{
    OpenedCard card(s_dir->Path() / "card");
    std::string name;
    for (const CardRecording& r : card.All()) {
        if (r.name[r.name.size() - 5] == 'T') {
            name = r.name;
        }
    }
    ASSERT_FALSE(name.empty());
    CMUBParser parser;
    parser.Start();
    CAVIWriter writer;
    std::atomic<bool> cancel{false};
    ExportOptions options;
    options.traceAddData = false;
    options.cancel = &cancel;
    options.progress = [&cancel](const ExportProgress& p) {
        if (p.framesDone == 40) {
            cancel = true;  // as SIGINT would, from anywhere
        }
        return true;
    };
    const ExportResult r = ExportRecording(parser, writer, name, out.string(), options);
    parser.Stop();
    ASSERT_EQ(r.status, ExportStatus::Cancelled) << r.reason;
    EXPECT_EQ(r.framesWritten, 41);
    const RunResult count =
        RunCommand(std::string(FFPROBE_EXECUTABLE) +
                   " -v error -count_packets -select_streams v:0 -show_entries stream=nb_read_packets "
                   "-of csv=p=0 " +
                   Quote(r.path));
    EXPECT_EQ(count.output, "41\n");
    const RunResult probe = RunCommand(std::string(FFPROBE_EXECUTABLE) + " -v error " + Quote(r.path));
    EXPECT_EQ(probe.status, 0);
    EXPECT_EQ(probe.output, "");
    const RunResult decode = RunCommand(std::string(FFMPEG_EXECUTABLE) + " -nostdin -v error -xerror -i " +
                                        Quote(r.path) + " -map 0:v -map 0:a -f null -");
    EXPECT_EQ(decode.status, 0);
    EXPECT_EQ(decode.output, "");
}

// What a person would read the files beside an export with: sha256sum, xmllint, gpsbabel
// and Python's csv module. The counts come from the recordings read directly.
TEST_F(ExportCard, MubexportTelemetryFilesReadByTheirToolsAndSumsThatCheck)
{
    for (const char* tool : {"sha256sum", "xmllint", "gpsbabel", "python3"}) {
        if (RunCommand(std::string("command -v ") + tool).status != 0) {
            GTEST_SKIP() << tool << " not found";
        }
    }
    std::vector<CardRecording> all;
    {
        OpenedCard card(s_dir->Path() / "card");
        all = card.All();
    }
    std::string names;
    for (const CardRecording& r : all) {
        names += " " + Quote(r.name);
    }
    const std::string tool = std::string(MUB_BINARY_DIR) + "/tools/mubexport/mubexport";
    const RunResult r = RunCommand(tool + " --gpx --csv --card " + Quote((s_dir->Path() / "card").string()) +
                                   " --out " + Quote(out.string()) + names);
    ASSERT_EQ(r.status, 0) << r.output;

    for (const CardRecording& rec : all) {
        SCOPED_TRACE(rec.name);
        int fixes = 0;
        int rows = 0;
        for (const Packet& p : ReadReference(ContainerFile(s_dir->Path() / "card", rec.name))) {
            const std::string text(p.bytes.begin(), p.bytes.end());
            if (p.id != "03tx" || text.empty()) {
                continue;
            }
            if (text[0] == 'G' && text.compare(2, 5, "GPRMC") == 0) {
                ++rows;
                const size_t status = text.find(',', text.find(',') + 1) + 1;  // G$GPRMC,hhmmss,A,
                fixes += text.compare(status, 2, "A,") == 0 ? 1 : 0;
            } else if ((text[0] == 'M' && text.size() >= 4) || text[0] == 'B') {
                ++rows;
            }
        }
        const std::string stem = (out / rec.name.substr(0, rec.name.size() - 4)).string();
        if (fixes == 0) {
            EXPECT_FALSE(fs::exists(stem + ".gpx"));
        } else {
            const RunResult lint = RunCommand("xmllint --noout " + Quote(stem + ".gpx"));
            EXPECT_EQ(lint.status, 0) << lint.output;
            const RunResult read =
                RunCommand("gpsbabel -t -i gpx -f " + Quote(stem + ".gpx") + " -o gpx -F -");
            ASSERT_EQ(read.status, 0) << read.output;
            std::istringstream lines(read.output);
            int tracks = 0;
            int points = 0;
            for (std::string line; std::getline(lines, line);) {
                tracks += line.find("<trk>") != std::string::npos ? 1 : 0;
                points += line.find("<trkpt ") != std::string::npos ? 1 : 0;
            }
            EXPECT_EQ(tracks, 1);
            EXPECT_EQ(points, fixes);
        }
        const RunResult csv = RunCommand(
            "python3 -c 'import csv, sys\n"
            "rows = list(csv.reader(l for l in open(sys.argv[1], newline=\"\") if not l.startswith(\"#\")))\n"
            "assert all(len(r) == len(rows[0]) == 17 for r in rows), rows[0]\n"
            "print(len(rows) - 1)' " +
            Quote(stem + ".csv"));
        EXPECT_EQ(csv.output, std::to_string(rows) + "\n");
    }

    const std::string check = "cd " + Quote(out.string()) + " && sha256sum -c --strict SHA256SUMS";
    const RunResult passes = RunCommand(check);
    EXPECT_EQ(passes.status, 0) << passes.output;
    const std::string sums = ReadAll(out / "SHA256SUMS");
    for (const CardRecording& rec : all) {
        const std::string source = ContainerFile(s_dir->Path() / "card", rec.name).string();
        EXPECT_NE(sums.find(", recording " + rec.name + ", " + std::to_string(fs::file_size(source)) +
                            " bytes, source SHA-256 " + Sha256OfFileOrEmpty(source) + "\n"),
                  std::string::npos)
            << sums;
    }
    // One byte changed in an AVI: the check fails and names it.
    const fs::path avi = out / all[1].name;
    std::fstream f(avi, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(static_cast<std::streamoff>(fs::file_size(avi) / 2));
    f.put('\x5A');
    f.close();
    const RunResult fails = RunCommand(check);
    EXPECT_NE(fails.status, 0);
    EXPECT_NE(fails.output.find(all[1].name + ": FAILED"), std::string::npos) << fails.output;
}

TEST(MubexportTelemetry, RecordingWithoutAFixGetsNoTrackAndACsvThatSaysSo)
{
    CTempDir dir;
    const std::string root = dir.Path() + "/card";
    const std::string out = dir.Path() + "/out";
    MakeCardLayout(root, "nofix");
    fs::create_directories(out);
    std::vector<ScriptPacket> script = MakeScript(3, 30, false, 5);
    std::erase_if(script, [](const ScriptPacket& p) { return !p.bytes.empty() && p.bytes[0] == 'G'; });
    ASSERT_TRUE(WriteScript(mub::RecordingPath(root, 1, "REC_20261201_080000_N"),
                            MakeDescription(1, 'N', 30, false), script));
    const RunResult r =
        RunCommand(std::string(MUB_BINARY_DIR) + "/tools/mubexport/mubexport --gpx --csv --card " +
                   Quote(root) + " --out " + Quote(out) + " REC_20261201_080000_N.avi");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("has no GPS fix: no track written"), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(out + "/REC_20261201_080000_N.gpx"));
    EXPECT_NE(ReadAll(out + "/REC_20261201_080000_N.csv").find("\n# no valid GPS fix in this recording"),
              std::string::npos);
}

TEST(Mubinfo, ListsNewestFirstAndDescribesOne)
{
    TempDir dir("mubinfo");
    ASSERT_TRUE(MakeCard(dir.Path(),
                         "--per-category 3 --letters DN --duration 2 --front 64x48 "
                         "--rear 64x48 --seed 5"));
    const std::string tool = std::string(MUB_BINARY_DIR) + "/tools/mubinfo/mubinfo";
    const RunResult list = RunCommand(tool + " --card " + Quote(dir.Path().string()));
    ASSERT_EQ(list.status, 0) << list.output;
    std::istringstream lines(list.output);
    std::string line;
    std::map<std::string, std::vector<std::string>> byWord;
    while (std::getline(lines, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::string name = line.substr(0, line.find(' '));
        EXPECT_NE(line.find(" MB "), std::string::npos) << line;
        byWord[name.substr(0, name.find('_'))].push_back(name);
    }
    ASSERT_EQ(byWord.size(), 4u);
    for (const auto& [word, names] : byWord) {
        ASSERT_EQ(names.size(), 3u) << word;
        // WORD_YYYYMMDD_HHMMSS_...: the date and time compare as text.
        EXPECT_GT(names[0].substr(word.size()), names[1].substr(word.size())) << word;
        EXPECT_GT(names[1].substr(word.size()), names[2].substr(word.size())) << word;
    }

    const std::string name = byWord["REC"][0];
    const RunResult one = RunCommand("MUB_CARD=" + Quote(dir.Path().string()) + " " + tool + " " + name);
    ASSERT_EQ(one.status, 0) << one.output;
    EXPECT_NE(one.output.find("channel 0: 64x48, 30 fps"), std::string::npos) << one.output;
    EXPECT_NE(one.output.find("00dc       60 packets"), std::string::npos) << one.output;
    EXPECT_NE(one.output.find("02wb"), std::string::npos);
    const RunResult missing =
        RunCommand(tool + " --card " + Quote(dir.Path().string()) + " REC_19990101_000000_D.avi");
    EXPECT_NE(missing.status, 0);
}

}  // namespace
