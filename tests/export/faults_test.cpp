// SPDX-License-Identifier: GPL-3.0-or-later
// Exports when the world fails: a card that stops answering part-way (pulled, or a bad
// region), and a disk that fills up. No crash, no hang; the file is finished valid with
// what it holds, or removed; the card is never written.
#include "avi_check.h"
#include "formats/aviwriter.h"
#include "formats/checksums.h"
#include "formats/exportfile.h"
#include "tests/mublib/card_fixture.h"
#include "tests/parser/sample_card.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <map>

namespace {

class CardFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = dir.Path() + "/card";
        out = dir.Path() + "/out";
        MakeCardLayout(root, "card");
        std::filesystem::create_directories(out);
        // Longer than the read-ahead queue holds, so a fault reaches reading in progress.
        script = MakeScript(120, 30, true, 3);
        ASSERT_TRUE(
            WriteScript(mub::RecordingPath(root, 1, kStem), MakeDescription(1, 'D', 30, true), script));
    }
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(out)) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }
    std::map<std::string, std::vector<uint8_t>> CardBytes() const
    {
        std::map<std::string, std::vector<uint8_t>> bytes;
        for (const auto& e : std::filesystem::recursive_directory_iterator(root)) {
            bytes[e.path().string()] =
                e.is_regular_file() ? ReadWholeFile(e.path().string()) : std::vector<uint8_t>{};
        }
        return bytes;
    }

    static constexpr const char* kStem = "REC_20261201_080000_D";
    static constexpr const char* kName = "REC_20261201_080000_D.avi";
    static constexpr int kFrames = 120 * 30;
    CTempDir dir;
    std::string root;
    std::string out;
    std::vector<ScriptPacket> script;
};

TEST_F(CardFaults, CardFailingPartWayGivesAShortenedValidFile)
{
    const uint64_t size = std::filesystem::file_size(mub::RecordingPath(root, 1, kStem));
    const struct {
        const char* what;
        uint64_t failFrom;
    } cases[] = {{"card pulled", 0}, {"bad region near the end", size * 3 / 4}};
    sample::OpenedCard card(root);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CMUBParser parser;
        parser.Start();
        CAVIWriter writer;
        CCardFault fault;
        ExportOptions options;
        options.traceAddData = false;
        // From the hundredth picture on, while the read-ahead is still reading.
        options.progress = [&](const ExportProgress& p) {
            if (p.framesDone == 100) {
                fault.FailFrom(c.failFrom);
            }
            return true;
        };
        const ExportResult r = ExportRecording(parser, writer, kName, out, options);
        parser.Stop();
        ASSERT_EQ(r.status, ExportStatus::Shortened) << r.reason;
        EXPECT_GT(fault.Failures(), 0);
        EXPECT_GE(r.framesWritten, 100);
        EXPECT_LT(r.framesWritten, kFrames);
        EXPECT_NE(r.reason.find("of the " + std::to_string(kFrames) + " pictures"), std::string::npos)
            << r.reason;
        const AviSummary avi = ReadAviSummary(r.path);
        ASSERT_TRUE(avi.valid);
        EXPECT_EQ(avi.Count("00dc"), r.framesWritten);
        EXPECT_EQ(static_cast<int>(avi.indexIds.size()), r.packetsWritten);
        EXPECT_EQ(Files(), std::vector<std::string>{kName});
        std::filesystem::remove(r.path);
    }
}

// Mounts a small tmpfs over a folder in a mount namespace of this process alone, so that
// nothing outside the test sees it. Needs root (CI runs as root).
class SmallDisk {
public:
    explicit SmallDisk(const std::string& folder) : m_folder(folder)
    {
        if (geteuid() != 0 || ::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
            return;
        }
        m_mounted = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    ~SmallDisk()
    {
        if (m_mounted) {
            ::umount2(m_folder.c_str(), MNT_DETACH);
        }
    }
    bool Mounted() const { return m_mounted; }

private:
    std::string m_folder;
    bool m_mounted = false;
};

TEST_F(CardFaults, FullDiskGivesAClearMessageLeavesNoFileAndTheCardUntouched)
{
    SmallDisk disk(out);
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    }
    {
        std::ofstream earlier(out + "/" + kName);
        earlier << "an earlier export";
    }
    const auto before = CardBytes();
    const RunResult r = RunCommand(std::string(MUB_BINARY_DIR) + "/tools/mubexport/mubexport --card '" +
                                   root + "' --out '" + out + "' " + kName);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find(std::string("mubexport: cannot write ") + out + "/" + kName +
                            ".part: No space left on device"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(Files(), std::vector<std::string>{kName});
    std::ifstream earlier(out + "/" + kName);
    std::string text;
    std::getline(earlier, text);
    EXPECT_EQ(text, "an earlier export");
    EXPECT_TRUE(CardBytes() == before);
}

// A checksum block that does not fit goes whole or not at all: the lines of earlier exports
// stay as they were, with no half line after them.
TEST(ChecksumsOnAFullDisk, FailedAppendLeavesTheFileAsItWas)
{
    CTempDir dir;
    SmallDisk disk(dir.Path());
    if (!disk.Mounted()) {
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    }
    std::string error;
    ASSERT_TRUE(AppendChecksums(dir.Path(), "# an earlier export\n", &error)) << error;
    const std::string block = ChecksumLine(std::string(64, 'a'), std::string(200 * 1024, 'n'));
    EXPECT_FALSE(AppendChecksums(dir.Path(), block, &error));
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    const std::vector<uint8_t> bytes = ReadWholeFile(dir.Path() + "/SHA256SUMS");
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "# an earlier export\n");
}

}  // namespace
