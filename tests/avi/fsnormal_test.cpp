// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/fsnormal.h"
#include "tests/support/trace_capture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::filesystem::path TempPath(const char* name)
{
    return std::filesystem::path(testing::TempDir()) / name;
}

}  // namespace

TEST(FSNormal, SecondOpenIsRefusedOnceAndTheFirstStreamStaysUsable)
{
    const auto first = TempPath("fsnormal_first.bin");
    const auto second = TempPath("fsnormal_second.bin");
    std::filesystem::remove(second);
    CFSNormal fs;
    ASSERT_TRUE(fs.Open(first.c_str(), "wb"));
    ASSERT_EQ(fs.Write("abc", 3), 3);
    CTraceCapture trace;
    EXPECT_FALSE(fs.Open(second.c_str(), "wb"));
    EXPECT_EQ(trace.Take(), "[CFSNormal] FP is Already Opened\n");
    EXPECT_FALSE(std::filesystem::exists(second));
    EXPECT_TRUE(fs.IsOpen());
    EXPECT_EQ(fs.Write("def", 3), 3);
    EXPECT_EQ(fs.Seek(1, 0), 0);
    EXPECT_EQ(fs.Write("X", 1), 1);
    EXPECT_EQ(fs.Seek(0, 2), 0);
    EXPECT_EQ(fs.Write("g", 1), 1);
    fs.Close();
    EXPECT_EQ(ReadFile(first), "aXcdefg");
}

TEST(FSNormal, CloseWhenClosedDoesNothingAndOpenWorksAfterwards)
{
    const auto path = TempPath("fsnormal_reopen.bin");
    CFSNormal fs;
    fs.Close();
    EXPECT_FALSE(fs.IsOpen());
    EXPECT_EQ(fs.Write("abc", 3), 0);
    EXPECT_NE(fs.Seek(0, 0), 0);
    ASSERT_TRUE(fs.Open(path.c_str(), "wb"));
    EXPECT_EQ(fs.Write("abc", 3), 3);
    EXPECT_NE(fs.Seek(0, 3), 0);  // unknown origin
    fs.Close();
    fs.Close();
    EXPECT_EQ(ReadFile(path), "abc");
    EXPECT_FALSE(fs.Open((std::filesystem::path(testing::TempDir()) / "no/such/dir/x").c_str(), "wb"));
    EXPECT_FALSE(fs.IsOpen());
}

TEST(FSNormal, CloseReportsWhatTheBufferCouldNotWrite)
{
    // The bytes sit in the stream's buffer until the close, which is where the device
    // refuses them.
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    CFSNormal fs;
    ASSERT_TRUE(fs.Open("/dev/full", "wb"));
    EXPECT_EQ(fs.Write("abc", 3), 3);
    errno = 0;
    EXPECT_FALSE(fs.Close());
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_FALSE(fs.IsOpen());

    const auto path = TempPath("fsnormal_close.bin");
    ASSERT_TRUE(fs.Open(path.c_str(), "wb"));
    EXPECT_EQ(fs.Write("abc", 3), 3);
    EXPECT_TRUE(fs.Close());
    EXPECT_TRUE(fs.Close());  // closed already: nothing to report
    EXPECT_EQ(ReadFile(path), "abc");
}

TEST(FSNormal, WorkWhileSyncingSeesEveryByteAndRunsOnceOnlyAfterAGoodFlush)
{
    // Past the writeback step, so that the early writeback is exercised too.
    const std::string data(CFSNormal::kWritebackBytes + 3 * CFSNormal::kWriteBlockBytes / 2, 'x');
    const auto path = TempPath("fsnormal_while.bin");
    CFSNormal fs;
    ASSERT_TRUE(fs.Open(path.c_str(), "wb"));
    EXPECT_EQ(fs.Write(data.data(), static_cast<int>(data.size())), static_cast<int>(data.size()));
    int runs = 0;
    std::string seen;
    fs.SetWhileSyncing([&] {
        ++runs;
        seen = ReadFile(path);
    });
    EXPECT_TRUE(fs.Close());
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(seen == data) << "the work saw " << seen.size() << " of " << data.size() << " bytes";
    ASSERT_TRUE(fs.Open(path.c_str(), "wb"));
    EXPECT_TRUE(fs.Close());
    EXPECT_EQ(runs, 1);  // one close only

    if (std::filesystem::exists("/dev/full")) {
        ASSERT_TRUE(fs.Open("/dev/full", "wb"));
        EXPECT_EQ(fs.Write("abc", 3), 3);
        fs.SetWhileSyncing([&] { ++runs; });
        EXPECT_FALSE(fs.Close());
        EXPECT_EQ(runs, 1);
    }
}
