// SPDX-License-Identifier: GPL-3.0-or-later
// Names and the mount table: the pieces of card detection that need no real card.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/mublib/card_fixture.h"

namespace {

TEST(RecordingNames, MadeNamesParseBackToTheirCategoryAndLetter)
{
    const time_t t = 1764574200;  // 2025-12-01 07:30:00 read as wall clock
    const char* words[4] = {"EVENT_", "REC_", "PARKING_", "MANUAL_"};
    for (int c = 0; c < 4; ++c) {
        for (char letter : {'D', 'T', 'E', 'N'}) {
            const std::string name = mub::MakeRecordingName(c, t, letter);
            EXPECT_EQ(name.rfind(words[c], 0), 0u) << name;
            EXPECT_EQ(name.substr(name.size() - 21), std::string("20251201_073000_") + letter + ".avi");
            EXPECT_EQ(name[name.size() - 5], letter);  // five places before the end
            EXPECT_LT(name.size(), 40u);
            mub::RecordingName parsed;
            ASSERT_TRUE(mub::ParseRecordingName(name.c_str(), &parsed));
            EXPECT_EQ(parsed.category, c);
            EXPECT_EQ(parsed.letter, letter);
            ASSERT_TRUE(mub::ParseRecordingName(("/" + name).c_str(), &parsed));
        }
    }
    mub::RecordingName parsed;
    EXPECT_TRUE(mub::ParseRecordingName("REC_20251201_073000_t.AVI", &parsed));
    EXPECT_EQ(parsed.letter, 'T');
    EXPECT_EQ(parsed.stem, "REC_20251201_073000_T");
    EXPECT_TRUE(mub::ParseRecordingName("REC_20251201_073000_D.mub", &parsed));
    for (const char* bad :
         {"REC_20251201_073000_D.avix", "REC_20251201_07300_D.avi", "RECX_20251201_073000_D.avi",
          "rec_20251201_073000_D.avi", "REC_20251201_073000_Q.avi", "REC_2025120a_073000_D.avi",
          "REC_20251201-073000_D.avi"}) {
        EXPECT_FALSE(mub::ParseRecordingName(bad, &parsed)) << bad;
    }
}

TEST(RecordingNames, LettersNameTheirChannels)
{
    EXPECT_TRUE(mub::LetterHasChannel('D', 1));
    EXPECT_FALSE(mub::LetterHasChannel('D', 2));
    EXPECT_TRUE(mub::LetterHasChannel('T', 2));
    EXPECT_FALSE(mub::LetterHasChannel('E', 1));
    EXPECT_TRUE(mub::LetterHasChannel('E', 2));
    EXPECT_FALSE(mub::LetterHasChannel('N', 1));
    EXPECT_TRUE(mub::LetterHasChannel('n', 0));
}

TEST(MountTable, FieldsAreSplitAndEscapesUndone)
{
    const auto m = mub::ParseMountTable(
        "/dev/sda1 / ext4 rw 0 0\n/dev/sdb1 /media/user/MY\\040CARD vfat rw 0 0\n\ntmpfs /run tmpfs rw 0 "
        "0\n");
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[1].first, "/dev/sdb1");
    EXPECT_EQ(m[1].second, "/media/user/MY CARD");
    EXPECT_EQ(m[2].second, "/run");
}

TEST(MountTable, OnlyRemovableBlockDevicesCount)
{
    CTempDir dir;
    const std::string mounts = dir.Path() + "/mounts";
    // A plain file posing as a device, and a device that does not exist.
    std::ofstream(dir.Path() + "/fake") << "x";
    std::ofstream(mounts) << dir.Path() << "/fake " << dir.Path()
                          << " vfat rw 0 0\n/dev/nonexistent9 /mnt vfat rw 0 0\n";
    EXPECT_TRUE(mub::RemovableMountPoints(mounts, dir.Path() + "/sys").empty());
    EXPECT_FALSE(mub::IsRemovableBlockDevice("/dev/null", "/sys"));  // a character device
}

}  // namespace
