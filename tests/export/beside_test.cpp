// SPDX-License-Identifier: GPL-3.0-or-later
// What an export writes beside the AVI: the telemetry rows behind NAME.csv and NAME.gpx,
// and SHA256SUMS, with sha256sum itself as the judge of the checksum lines.
#include "formats/aviwriter.h"
#include "formats/checksums.h"
#include "formats/exportbundle.h"
#include "formats/telemetryfile.h"
#include "scripted_parser.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr const char* kFix = "G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";

std::string ReadText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const fs::path& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

int Occurrences(const std::string& text, const std::string& what)
{
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) {
        ++n;
    }
    return n;
}

class TempFolder : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("mub_beside_" + std::to_string(getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    RunResult CheckSums() const
    {
        return RunCommand("cd '" + dir.string() + "' && sha256sum -c --strict SHA256SUMS");
    }
    fs::path dir;
};

TEST(TelemetryRows, EachRecordTheViewerReadsBecomesOneRow)
{
    struct Case {
        const char* what;
        std::string bytes;
        int kind;  // -1: no row
        std::string utc;
    };
    const std::string voidFix = std::string(kFix).replace(15, 1, "V");
    const std::string offGlobe = std::string(kFix).replace(17, 8, "9107.038");
    const Case cases[] = {
        {"valid fix", kFix, TelemetryRow::kGps, "1994-03-23T12:35:19Z"},
        {"void fix", voidFix, TelemetryRow::kGpsVoid, "1994-03-23T12:35:19Z"},
        {"latitude past the pole", offGlobe, TelemetryRow::kGpsVoid, "1994-03-23T12:35:19Z"},
        {"not a date", "G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,000094", TelemetryRow::kGps, ""},
        {"other sentence", "G$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M", -1, ""},
        {"too few fields", "G$GPRMC,123519,A", -1, ""},
        {"G-sensor", std::string("M\x80\x7f\x81", 4), TelemetryRow::kGSensor, ""},
        {"short G-sensor", "M\x80", -1, ""},
        {"signals", "Bspd=-5; rpm = 2000", TelemetryRow::kSignals, ""},
        {"unknown", "Xabc", -1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CTelemetryLog log;
        log.Add(c.bytes.data(), static_cast<int>(c.bytes.size()), 40);
        const std::vector<TelemetryRow> rows = log.Rows();
        if (c.kind < 0) {
            EXPECT_TRUE(rows.empty());
            continue;
        }
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0].kind, c.kind);
        EXPECT_EQ(rows[0].timeMs, 40);
        EXPECT_EQ(rows[0].utc, c.utc);
    }

    CTelemetryLog log;
    log.Add(kFix, static_cast<int>(std::strlen(kFix)), 0);
    log.Add("M\x80\x7f\x81", 4, 0);
    log.Add("Bspd=-5; rpm = 2000", 19, 0);
    const std::string csv = TelemetryCsvText("REC_a.avi", log);
    EXPECT_NE(csv.find("\n0,gps,1994-03-23T12:35:19Z,48.1173000,11.5166667,41.48,,,,,,,,,,,\n"),
              std::string::npos)
        << csv;
    EXPECT_NE(csv.find("\n0,gsensor,,,,,0,1,-1,,,,,,,,\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("\n0,signals,,,,,,,,2000,,0,,,,,\n"), std::string::npos) << csv;
}

TEST(TelemetryRows, KeptInMediaTimeOrderAndATrackOnlyOfValidFixes)
{
    CTelemetryLog log;
    const std::string voidFix = std::string(kFix).replace(15, 1, "V");
    log.Add(kFix, static_cast<int>(std::strlen(kFix)), 2000);
    log.Add(voidFix.data(), static_cast<int>(voidFix.size()), 1000);
    log.Add(kFix, static_cast<int>(std::strlen(kFix)), 3000);
    log.Add("M\x80\x80\x80", 4, 2000);
    std::vector<int> times;
    for (const TelemetryRecord& r : log.Records()) {
        times.push_back(r.timeMs);
    }
    EXPECT_EQ(times, (std::vector<int>{1000, 2000, 2000, 3000}));
    EXPECT_EQ(log.ValidFixCount(), 2);
    EXPECT_EQ(Occurrences(GpxText("REC_a.avi", log), "<trkpt "), 2);

    CTelemetryLog noFix;
    noFix.Add(voidFix.data(), static_cast<int>(voidFix.size()), 0);
    EXPECT_EQ(noFix.ValidFixCount(), 0);
    EXPECT_NE(TelemetryCsvText("REC_a.avi", noFix).find("\n# no valid GPS fix"), std::string::npos);
}

using Checksums = TempFolder;

TEST_F(Checksums, SumsOfOddNamesPassSha256sumAndAChangedByteFails)
{
    const std::vector<std::string> names = {"plain.avi", "with space.csv", "back\\slash.gpx",
                                            "line\nbreak.jpg"};
    for (const std::string& name : names) {
        WriteText(dir / name, "contents of " + name);
    }
    std::vector<std::string> problems;
    std::string error;
    ASSERT_TRUE(AppendChecksums(
        dir.string(),
        ChecksumComment("card 7, recording\nREC_a.avi") + ChecksumLinesFor(dir.string(), names, &problems),
        &error))
        << error;
    EXPECT_TRUE(problems.empty());
    // A second export appends; the first one's lines stay.
    WriteText(dir / "later.avi", "later");
    ASSERT_TRUE(AppendChecksums(
        dir.string(), ChecksumLinesFor(dir.string(), {"later.avi", "missing.avi"}, &problems), &error));
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("missing.avi"), std::string::npos);

    const RunResult ok = CheckSums();
    EXPECT_EQ(ok.status, 0) << ok.output;
    EXPECT_EQ(Occurrences(ok.output, ": OK"), 5) << ok.output;
    EXPECT_EQ(ReadText(dir / "SHA256SUMS").rfind("# card 7, recording REC_a.avi\n", 0), 0u);

    std::string bytes = ReadText(dir / "with space.csv");
    bytes[3] ^= 1;
    WriteText(dir / "with space.csv", bytes);
    const RunResult changed = CheckSums();
    EXPECT_NE(changed.status, 0);
    EXPECT_NE(changed.output.find("with space.csv: FAILED"), std::string::npos) << changed.output;
}

TEST(Sha256, DigestOfKnownBytes)
{
    EXPECT_EQ(Sha256Hex("abc", 3), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    std::string error;
    EXPECT_EQ(Sha256OfFile("/nonexistent/file", &error), "");
    EXPECT_NE(error.find("/nonexistent/file"), std::string::npos);
}

using Bundle = TempFolder;

TEST_F(Bundle, TelemetryFilesAsAskedAndEveryFileInTheSums)
{
    ScriptedParser parser;
    parser.info.frameRate0 = 10;
    parser.info.frameCount0 = 2;
    const std::string voidFix = std::string(kFix).replace(15, 1, "V");
    struct Case {
        const char* what;
        std::string fix;
        TelemetryFiles asked;
        std::vector<std::string> written;
        bool noFixes;
    };
    const Case cases[] = {
        {"nothing asked", kFix, {}, {"REC_1.avi"}, false},
        {"both", kFix, {true, true}, {"REC_2.avi", "REC_2.gpx", "REC_2.csv"}, false},
        {"no fix: no track", voidFix, {true, true}, {"REC_3.avi", "REC_3.csv"}, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        parser.packets = {{"00dc", 9}, {"03tx", 0, c.fix}, {"02wb", 8}, {"00dc", 9}, {"03tx", 0, "Bspd=3"}};
        BundleOptions options;
        options.avi.traceAddData = false;
        options.telemetry = [&c] { return c.asked; };
        CAVIWriter writer;
        const std::string name = "REC_" + std::to_string(++n) + ".avi,1.00";
        const BundleResult r = ExportBundle(parser, writer, name, dir.string(), options);
        EXPECT_EQ(r.avi.status, ExportStatus::Written) << r.avi.reason;
        EXPECT_EQ(r.written, c.written);
        EXPECT_TRUE(r.problems.empty());
        EXPECT_EQ(r.noFixes, c.noFixes);
        for (const std::string& file : c.written) {
            EXPECT_TRUE(fs::exists(dir / file)) << file;
        }
    }
    const std::string sums = ReadText(dir / "SHA256SUMS");
    EXPECT_EQ(Occurrences(sums, "# card 0, recording REC_"), 3);
    EXPECT_EQ(Occurrences(sums, "source file on the card not found"), 3);  // no card here
    const RunResult check = CheckSums();
    EXPECT_EQ(check.status, 0) << check.output;
    EXPECT_EQ(Occurrences(check.output, ": OK"), 6) << check.output;
}

}  // namespace
