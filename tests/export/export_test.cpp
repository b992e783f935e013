// SPDX-License-Identifier: GPL-3.0-or-later
// The per-file export against a scripted parser: what lands in the file, progress,
// cancel, and what is left on disk when it fails.
#include "avi_check.h"
#include "engine/fsnormal.h"
#include "formats/aviwriter.h"
#include "formats/exportfile.h"
#include "scripted_parser.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// A file sink that stops writing after a byte budget, like a full disk.
class ShortSink : public VFileSystem {
public:
    explicit ShortSink(long budget) : m_budget(budget) {}
    bool Open(const char* path, const char* mode) override { return m_file.Open(path, mode); }
    int Write(const void* data, int length) override
    {
        const int n = static_cast<int>(std::min<long>(length, std::max<long>(m_budget, 0)));
        m_budget -= n;
        return n > 0 ? m_file.Write(data, n) : 0;
    }
    bool Close() override { return m_file.Close(); }
    int Seek(long offset, int origin) override { return m_file.Seek(offset, origin); }
    bool IsOpen() override { return m_file.IsOpen(); }

private:
    CFSNormal m_file;
    long m_budget;
};

// A buffered file whose device goes away before the close: whatever was still in the
// buffer (the final header rewrite) is lost, and only the close can tell.
class LosingSink : public VFileSystem {
public:
    bool Open(const char* path, const char* mode) override
    {
        m_fp = std::fopen(path, mode);
        return m_fp != nullptr;
    }
    int Write(const void* data, int length) override
    {
        return static_cast<int>(std::fwrite(data, 1, static_cast<size_t>(length), m_fp));
    }
    bool Close() override
    {
        ::close(fileno(m_fp));
        const bool ok = std::fclose(m_fp) == 0;
        m_fp = nullptr;
        return ok;
    }
    int Seek(long offset, int origin) override { return std::fseek(m_fp, offset, origin); }
    bool IsOpen() override { return m_fp != nullptr; }

private:
    FILE* m_fp = nullptr;
};

// Writes of a megabyte or more become holes after their first 8 bytes (a chunk's header
// when the chunk comes in one piece), so a file of gigabytes costs no disk.
class SparseSink : public VFileSystem {
public:
    bool Open(const char* path, const char* mode) override { return m_file.Open(path, mode); }
    int Write(const void* data, int length) override
    {
        if (length >= (1 << 20)) {
            return m_file.Write(data, 8) == 8 && m_file.Seek(length - 8, 1) == 0 ? length : 0;
        }
        return m_file.Write(data, length);
    }
    bool Close() override { return m_file.Close(); }
    int Seek(long offset, int origin) override { return m_file.Seek(offset, origin); }
    bool IsOpen() override { return m_file.IsOpen(); }

private:
    CFSNormal m_file;
};

class ExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("mub_export_test_" + std::to_string(getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        parser.info.frameRate0 = 30;
        parser.info.frameCount0 = 5;
        options.traceAddData = false;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Five front pictures, rear pictures, sound, telemetry and an empty poll.
    void TypicalRecording()
    {
        parser.packets = {{"00dc", 100}, {"01dc", 50}, {"02wb", 64}, {"03tx", 20}, {"00dc", 101}, {"", 0},
                          {"00dc", 7},   {"02wb", 64}, {"00dc", 9},  {"01dc", 51}, {"00dc", 10}};
    }
    std::vector<std::string> Files() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir)) {
            names.push_back(e.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir;
    ScriptedParser parser;
    ExportOptions options;
};

TEST(ExportFileName, KeepsTheRecordingNameAndRefusesPaths)
{
    EXPECT_EQ(ExportFileName("REC_20261201_101500_D.avi"), "REC_20261201_101500_D.avi");
    EXPECT_EQ(ExportFileName("REC_20261201_101500_D.avi,3.21"), "REC_20261201_101500_D.avi");
    EXPECT_EQ(ExportFileName("REC_20261201_101500_D.AVI"), "REC_20261201_101500_D.AVI");
    EXPECT_EQ(ExportFileName("REC_20261201_101500_D"), "REC_20261201_101500_D.avi");
    EXPECT_EQ(ExportFileName(""), "");
    EXPECT_EQ(ExportFileName(".."), "");
    EXPECT_EQ(ExportFileName("../etc/passwd"), "");
    EXPECT_EQ(ExportFileName("a\\b.avi"), "");
    EXPECT_EQ(ExportFileName(std::string(59, 'x') + ".avi").size(), 63u);
    EXPECT_EQ(ExportFileName(std::string(60, 'x') + ".avi"), "");
}

TEST_F(ExportTest, WritesVideoAndSoundUnderTheRecordingName)
{
    TypicalRecording();
    parser.info.frameRate1 = 15;
    CAVIWriter writer;
    const ExportResult r = ExportRecording(parser, writer, "REC_a.avi,1.00", dir.string(), options);
    ASSERT_EQ(r.status, ExportStatus::Written) << r.reason;
    EXPECT_EQ(r.path, (dir / "REC_a.avi").string());
    EXPECT_EQ(Files(), std::vector<std::string>{"REC_a.avi"});
    EXPECT_EQ(r.framesWritten, 5);
    EXPECT_EQ(r.packetsWritten, 9);
    EXPECT_EQ(parser.closes, 1);
    const AviSummary avi = ReadAviSummary(r.path);
    ASSERT_TRUE(avi.valid);
    // Two video channels: ids 00dc, 01dc, 02wb; the telemetry is not exported.
    EXPECT_EQ(avi.Count("00dc"), 5);
    EXPECT_EQ(avi.Count("01dc"), 2);
    EXPECT_EQ(avi.Count("02wb"), 2);
    EXPECT_EQ(avi.indexIds.size(), 9u);
    EXPECT_EQ(avi.indexIds[1], "01dc");
}

TEST_F(ExportTest, ChannelTheRecordingDoesNotAnnounceIsLeftOut)
{
    TypicalRecording();  // rear pictures, but rear frame rate 0
    CAVIWriter writer;
    const ExportResult r = ExportRecording(parser, writer, "REC_a.avi", dir.string(), options);
    ASSERT_EQ(r.status, ExportStatus::Written) << r.reason;
    const AviSummary avi = ReadAviSummary(r.path);
    ASSERT_TRUE(avi.valid);
    EXPECT_EQ(avi.Count("00dc"), 5);  // not 7: rear pictures stay out of the front stream
    EXPECT_EQ(avi.Count("01wb"), 2);
    EXPECT_EQ(avi.indexIds.size(), 7u);
}

TEST_F(ExportTest, ProgressCountsFrontPictures)
{
    TypicalRecording();
    std::vector<double> fractions;
    options.progress = [&](const ExportProgress& p) {
        EXPECT_EQ(p.framesTotal, parser.info.frameCount0);
        fractions.push_back(p.fraction);
        return true;
    };
    CAVIWriter writer;
    ExportRecording(parser, writer, "REC_a.avi", dir.string(), options);
    EXPECT_EQ(fractions, (std::vector<double>{0.0, 0.2, 0.4, 0.6, 0.8}));

    parser.info.frameCount0 = 0;  // unknown total
    fractions.clear();
    ExportRecording(parser, writer, "REC_b.avi", dir.string(), options);
    EXPECT_EQ(fractions, (std::vector<double>{0, 0, 0, 0, 0}));
}

TEST_F(ExportTest, CancelFinishesAShortenedValidFile)
{
    TypicalRecording();
    std::atomic<bool> cancel{false};
    options.cancel = &cancel;
    options.progress = [&](const ExportProgress& p) {
        if (p.framesDone == 2) {
            cancel = true;  // like Ctrl-C arriving while the third picture is read
        }
        return true;
    };
    CAVIWriter writer;
    ExportResult r = ExportRecording(parser, writer, "REC_a.avi", dir.string(), options);
    ASSERT_EQ(r.status, ExportStatus::Cancelled);
    EXPECT_EQ(r.framesWritten, 3);  // the packet in hand is still written
    AviSummary avi = ReadAviSummary(r.path);
    ASSERT_TRUE(avi.valid);
    EXPECT_EQ(avi.Count("00dc"), 3);
    EXPECT_EQ(Files(), std::vector<std::string>{"REC_a.avi"});

    // The progress callback cancels the same way.
    cancel = false;
    options.progress = [](const ExportProgress& p) { return p.framesDone < 1; };
    r = ExportRecording(parser, writer, "REC_b.avi", dir.string(), options);
    ASSERT_EQ(r.status, ExportStatus::Cancelled);
    EXPECT_EQ(r.framesWritten, 2);
    EXPECT_TRUE(ReadAviSummary(r.path).valid);
}

TEST_F(ExportTest, TelemetryGoesByWithTheTimeOfThePicturesReadBeforeIt)
{
    parser.info.frameRate0 = 10;
    parser.packets = {{"03tx", 0, "Ga"}, {"00dc", 9}, {"00dc", 9},      {"03tx", 0, "Mxyz"},
                      {"02wb", 8},       {"00dc", 9}, {"03tx", 0, "Bb"}};
    std::vector<std::pair<std::string, int>> seen;
    options.text = [&](const void* data, int length, int timeMs) {
        seen.emplace_back(std::string(static_cast<const char*>(data), static_cast<size_t>(length)), timeMs);
    };
    CAVIWriter writer;
    ASSERT_EQ(ExportRecording(parser, writer, "REC_a.avi", dir.string(), options).status,
              ExportStatus::Shortened);
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, int>>{{"Ga", 0}, {"Mxyz", 200}, {"Bb", 300}}));
}

TEST_F(ExportTest, FailuresLeaveNoFileBehind)
{
    TypicalRecording();
    CAVIWriter writer;
    parser.openResult = 0;
    ExportResult r = ExportRecording(parser, writer, "REC_a.avi", dir.string(), options);
    EXPECT_EQ(r.status, ExportStatus::Failed);
    EXPECT_FALSE(r.reason.empty());
    EXPECT_EQ(parser.closes, 1);

    parser.openResult = 1;
    r = ExportRecording(parser, writer, "REC_a.avi", (dir / "missing").string(), options);
    EXPECT_EQ(r.status, ExportStatus::Failed);

    r = ExportRecording(parser, writer, "../REC_a.avi", dir.string(), options);
    EXPECT_EQ(r.status, ExportStatus::Failed);
    EXPECT_TRUE(Files().empty());
}

TEST_F(ExportTest, ShortWriteFailsAndKeepsTheFileItWouldReplace)
{
    TypicalRecording();
    {
        std::ofstream old(dir / "REC_a.avi");
        old << "an earlier export";
    }
    CAVIWriter writer(new ShortSink(600));  // headers fit, the packets do not
    const ExportResult r = ExportRecording(parser, writer, "REC_a.avi", dir.string(), options);
    EXPECT_EQ(r.status, ExportStatus::Failed);
    EXPECT_EQ(Files(), std::vector<std::string>{"REC_a.avi"});
    std::ifstream in(dir / "REC_a.avi");
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "an earlier export");
}

TEST_F(ExportTest, FailedCloseFailsTheExportAndLeavesNoFile)
{
    TypicalRecording();
    CAVIWriter writer(new LosingSink);
    const ExportResult r = ExportRecording(parser, writer, "REC_a.avi", dir.string(), options);
    EXPECT_EQ(r.status, ExportStatus::Failed);
    EXPECT_NE(r.reason.find("cannot finish"), std::string::npos) << r.reason;
    EXPECT_TRUE(Files().empty());
}

TEST_F(ExportTest, RecordingEndingEarlyGivesAShortenedValidFile)
{
    TypicalRecording();
    parser.info.frameCount0 = 8;  // announced, but only five come
    CAVIWriter writer;
    const ExportResult r = ExportRecording(parser, writer, "REC_a.avi", dir.string(), options);
    ASSERT_EQ(r.status, ExportStatus::Shortened);
    EXPECT_EQ(r.reason, "only 5 of the 8 pictures could be read from the card");
    EXPECT_EQ(Files(), std::vector<std::string>{"REC_a.avi"});
    const AviSummary avi = ReadAviSummary(r.path);
    ASSERT_TRUE(avi.valid);
    EXPECT_EQ(avi.Count("00dc"), 5);
}

TEST_F(ExportTest, RecordingPastTheSizeLimitGivesAShortenedValidFile)
{
    // 1100 pictures of 2 MiB: the writer stops at the 2 GiB its fields can describe.
    parser.packets.assign(1100, {"00dc", kPacketBufferBytes});
    parser.info.frameCount0 = 1100;
    testing::internal::CaptureStderr();
    CAVIWriter writer(new SparseSink);
    const ExportResult r = ExportRecording(parser, writer, "REC_big.avi", dir.string(), options);
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(r.status, ExportStatus::Shortened) << r.reason;
    EXPECT_EQ(r.framesWritten, 1023);
    EXPECT_EQ(r.reason, "the file reached the AVI size limit of 2 GiB after 1023 of 1100 pictures");
    EXPECT_EQ(Files(), std::vector<std::string>{"REC_big.avi"});
    EXPECT_LE(fs::file_size(r.path), CAVIWriter::kMaxRiffSize + 8);
    const AviSummary avi = ReadAviSummary(r.path);
    ASSERT_TRUE(avi.valid);
    EXPECT_EQ(avi.Count("00dc"), 1023);
}

}  // namespace
