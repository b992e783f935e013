// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/library.h"

#include "tests/mublib/card_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>

using namespace viewer;

namespace {

// Builds 40-byte name slots the way the card library fills them.
std::vector<char> Slots(const std::vector<std::string>& names)
{
    std::vector<char> slots(names.size() * MUB_NAME_SLOT_BYTES, 0);
    for (size_t i = 0; i < names.size(); ++i) {
        std::memcpy(&slots[i * MUB_NAME_SLOT_BYTES], names[i].data(),
                    std::min<size_t>(names[i].size(), MUB_NAME_SLOT_BYTES));
    }
    return slots;
}

std::vector<std::string> Listing(const std::vector<std::string>& names, const std::vector<uint32_t>& sizes)
{
    const auto slots = Slots(names);
    std::vector<std::string> out;
    AppendListing(slots.data(), sizes.data(), static_cast<int>(sizes.size()), &out);
    return out;
}

}  // namespace

TEST(LibraryListing, SizeWindowIsMoreThanOneMebibyteAndBelow160)
{
    const auto out = Listing({"REC_20190923_153000_D1", "REC_20190923_153100_D1", "REC_20190923_153200_D1",
                              "REC_20190923_153300_D1"},
                             {1048576, 1048577, 0x9FFFFFF, 0xA000000});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], "REC_20190923_153100_D1,1.00");
    EXPECT_EQ(out[1], "REC_20190923_153200_D1,160.00");
}

TEST(LibraryListing, RunOfEqualSizesKeepsOnlyTheLast)
{
    const auto out =
        Listing({"A_1", "B_1", "C_1", "D_1", "E_1"}, {2000000, 2000000, 2000000, 3000000, 2000000});
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(EntryPath(out[0]), "C_1");
    EXPECT_EQ(EntryPath(out[1]), "D_1");
    EXPECT_EQ(EntryPath(out[2]), "E_1");
}

TEST(LibraryListing, DroppedEntryBreaksARunOfEqualSizes)
{
    const auto out = Listing({"A", "B", "C"}, {2000000, 100, 2000000});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(EntryPath(out[0]), "A");
    EXPECT_EQ(EntryPath(out[1]), "C");
}

TEST(LibraryListing, NameFillingTheWholeSlotIsNotOverrun)
{
    const std::string full(MUB_NAME_SLOT_BYTES, 'X');
    const auto out = Listing({full, "Y"}, {2000000, 3000000});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(EntryPath(out[0]), full);
    EXPECT_EQ(EntryPath(out[1]), "Y");
}

TEST(LibraryRows, ColumnsOfADrivingRecording)
{
    const RowTexts row = MakeRowTexts("REC_20190923_153000_D1,2.50");
    EXPECT_EQ(row.type, "REC");
    EXPECT_EQ(row.entry, "REC_20190923_153000_D1,2.50");
    EXPECT_EQ(row.dateTime, "2019.09.23 15:30:00");
    EXPECT_EQ(row.rear, "o");
    EXPECT_EQ(row.sizeMb, "2.50");
    EXPECT_EQ(row.ch3, "");
}

TEST(LibraryRows, TypesAndChannelLetters)
{
    EXPECT_EQ(MakeRowTexts("EVENT_20190923_153000_E0,2.00").type, "EVT");
    EXPECT_EQ(MakeRowTexts("PARKING_20190923_153000_N0,2.00").type, "PAK");
    EXPECT_EQ(MakeRowTexts("MANUAL_20190923_153000_N0,2.00").type, "MAN");
    EXPECT_EQ(MakeRowTexts("OTHER_20190923_153000_N0,2.00").type, "OTHER");

    const RowTexts third = MakeRowTexts("REC_20190923_153000_t1,2.00");
    EXPECT_EQ(third.rear, "o");
    EXPECT_EQ(third.ch3, "o");
    const RowTexts e = MakeRowTexts("REC_20190923_153000_E1,2.00");
    EXPECT_EQ(e.rear, "");
    EXPECT_EQ(e.ch3, "o");
    const RowTexts n = MakeRowTexts("REC_20190923_153000_N1,2.00");
    EXPECT_EQ(n.rear, "");
    EXPECT_EQ(n.ch3, "");
}

TEST(LibraryRows, ShortOrOddNamesGiveShortTextsNotGarbage)
{
    EXPECT_EQ(EntryDateText("REC_2019_15,1.00"), "2019.. 15::");
    EXPECT_EQ(EntryDateText("noname"), ".. ::");
    EXPECT_EQ(MakeRowTexts("REC_20190923_153000,1.00").rear, "");
}

TEST(LibrarySort, NewestFirstAcrossCategories)
{
    std::vector<std::string> entries = {"EVENT_20190923_153000_D1,2.00", "REC_20191001_080000_D1,2.00",
                                        "REC_20190923_153001_D1,2.00", "PARKING_20180101_000000_D1,2.00"};
    SortNewestFirst(&entries);
    EXPECT_EQ(EntryPath(entries[0]), "REC_20191001_080000_D1");
    EXPECT_EQ(EntryPath(entries[1]), "REC_20190923_153001_D1");
    EXPECT_EQ(EntryPath(entries[2]), "EVENT_20190923_153000_D1");
    EXPECT_EQ(EntryPath(entries[3]), "PARKING_20180101_000000_D1");
}

TEST(LibraryCard, NoCardListsNothing)
{
    EXPECT_TRUE(ListForButton(nullptr, 0, kAllCategories).empty());
    EXPECT_TRUE(ListForButton(nullptr, 5, 7).empty());
}

// The list is asked for with room for some entries first; a category that fills that room
// is counted and asked for again. Every case lists the whole category, newest first.
TEST(Library, ListsTheWholeCategoryWhateverRoomTheFirstAskHas)
{
    CTempDir dir;
    MakeCardLayout(dir.Path());
    const auto script = MakeScript(2, 10, false, 1);
    std::vector<std::string> expected;
    for (int i = 0; i < 5; ++i) {
        const std::string name = mub::MakeRecordingName(1, 1764574200 + 60 * i, 'N');
        mub::RecordingName parsed;
        ASSERT_TRUE(mub::ParseRecordingName(name.c_str(), &parsed));
        const std::string path = mub::RecordingPath(dir.Path(), 1, parsed.stem);
        ASSERT_TRUE(WriteScript(path, MakeDescription(1, 'N', 10, false), script));
        // Listed by its header and size only: the rest may be a hole.
        const uint32_t size = kMinListedBytes + 4096 * static_cast<uint32_t>(i);
        ASSERT_EQ(truncate(path.c_str(), size), 0);
        expected.insert(expected.begin(), FormatEntry(name, size));
    }
    MUBContext ctx = MUB_CreateContext();
    ASSERT_NE(ctx, nullptr);
    MUB_AddCardFolder(ctx, dir.Path().c_str());
    uint8_t id = 0;
    ASSERT_TRUE(MUB_GetCardId(ctx, &id));
    for (int firstCapacity : {1, 4, 5, 6, kFirstListCapacity}) {
        std::vector<std::string> entries;
        ListCategory(ctx, id, 1, &entries, firstCapacity);
        SortNewestFirst(&entries);
        EXPECT_EQ(entries, expected) << "first ask with room for " << firstCapacity;
    }
    MUB_ReleaseContext(ctx);
}
