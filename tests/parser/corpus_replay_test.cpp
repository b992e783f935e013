// SPDX-License-Identifier: GPL-3.0-or-later
// Replays the container fuzzer's corpus through the recording reader in the normal test
// run, so that an input that once found a fault keeps being checked.
#include "mublib/mub_container.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

TEST(ContainerCorpus, EveryInputReadsWithoutFault)
{
    const fs::path dir = fs::path(MUB_SOURCE_DIR) / "fuzz" / "container" / "corpus";
    ASSERT_TRUE(fs::is_directory(dir));
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                         std::istreambuf_iterator<char>());
        for (uint32_t capacity : {64u, 4096u, 0x200000u}) {
            const mub::ReadAllStats s = mub::ReadAllPackets(bytes.data(), bytes.size(), capacity);
            EXPECT_LE(s.payloadBytes, bytes.size()) << entry.path();
            if (entry.path().filename().string().rfind("finished_two_channels", 0) == 0 && capacity >= 4096) {
                EXPECT_TRUE(s.opened);
                EXPECT_FALSE(s.recovered);
                EXPECT_EQ(s.packets, 65u * 2 + 17 + 5) << entry.path();
            }
        }
        ++files;
    }
    EXPECT_GE(files, 4);
}
