// SPDX-License-Identifier: GPL-3.0-or-later
// The C interface as the viewer and the parser call it: card id, listing, information,
// opening, reading and the seek rule.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <map>
#include <thread>

#include "mublib/mublib.h"
#include "tests/mublib/card_fixture.h"

namespace {

struct Listed {
    std::string name;
    uint32_t size = 0;
    uint32_t seconds = 0;
};

class ApiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = dir.Path() + "/card";
        MakeCardLayout(root, "card-one");
        ctx = MUB_CreateContext();
        ASSERT_NE(ctx, nullptr);
        ASSERT_EQ(MUB_AddCardFolder(ctx, root.c_str()), 1);
    }
    void TearDown() override { MUB_ReleaseContext(ctx); }

    std::string Add(int category, const char* stem, int seconds, bool rear, bool finish = true)
    {
        const std::string path = mub::RecordingPath(root, category, stem);
        auto script = MakeScript(seconds, 30, rear, std::hash<std::string>()(stem));
        auto desc = MakeDescription(category, stem[std::strlen(stem) - 1], 30, rear);
        desc.durationMs = static_cast<uint32_t>(seconds) * 1000;
        EXPECT_TRUE(WriteScript(path, desc, script, finish));
        scripts[stem] = script;
        return path;
    }
    uint8_t CardId()
    {
        uint8_t id = 0xAA;
        MUB_GetCardId(ctx, &id);
        return id;
    }
    std::vector<Listed> List(int category)
    {
        const uint8_t id = CardId();
        const int n = MUB_GetFileCount(ctx, id, category);
        std::vector<char> names(static_cast<size_t>(n) * MUB_NAME_SLOT_BYTES + 1);
        std::vector<uint32_t> sizes(2 * static_cast<size_t>(n) + 2), extra(static_cast<size_t>(n) + 2);
        const int m = MUB_GetFileList(ctx, id, category, n, names.data(), sizes.data(), extra.data());
        EXPECT_EQ(m, n);
        std::vector<Listed> out;
        for (int i = 0; i < m; ++i) {
            out.push_back({&names[static_cast<size_t>(i) * MUB_NAME_SLOT_BYTES],
                           sizes[2 * static_cast<size_t>(i)], extra[static_cast<size_t>(i)]});
        }
        return out;
    }
    // Reads the selected recording to its end the way the parser does.
    std::vector<ScriptPacket> ReadAll(int8_t* last = nullptr)
    {
        std::vector<ScriptPacket> got;
        std::vector<uint8_t> buf(0x200000);
        for (;;) {
            uint8_t t = 0xFF, s = 0xFF, f = 0xFF;
            int size = static_cast<int>(buf.size());
            const int8_t r = MUB_ReadPacket(ctx, &t, &s, &f, &size, buf.data(), nullptr);
            if (r != MUB_READ_OK) {
                if (last) {
                    *last = r;
                }
                return got;
            }
            got.push_back({t, s, f, 0, std::vector<uint8_t>(buf.begin(), buf.begin() + size)});
        }
    }

    CTempDir dir;
    std::string root;
    MUBContext ctx = nullptr;
    std::map<std::string, std::vector<ScriptPacket>> scripts;
};

TEST_F(ApiTest, CardIdFollowsTheFolder)
{
    const std::string other = dir.Path() + "/other";
    MUBContext c = MUB_CreateContext();
    uint8_t id = 0xAA;
    EXPECT_EQ(MUB_GetCardId(c, &id), 0);
    EXPECT_EQ(id, 0);  // no card named yet

    MUB_AddCardFolder(c, other.c_str());
    EXPECT_EQ(MUB_GetCardId(c, &id), 0);
    EXPECT_EQ(id, 0);  // the folder does not exist

    MakeCardLayout(other, "first");
    EXPECT_EQ(MUB_GetCardId(c, &id), 1);
    const uint8_t first = id;
    EXPECT_NE(first, 0);
    MUB_GetCardId(c, &id);
    EXPECT_EQ(id, first);  // stable while it stays

    // Another card in its place between two polls.
    std::filesystem::remove_all(other);
    MakeCardLayout(other, "second");
    MUB_GetCardId(c, &id);
    EXPECT_NE(id, 0);
    EXPECT_NE(id, first);

    std::filesystem::remove_all(other);
    MUB_GetCardId(c, &id);
    EXPECT_EQ(id, 0);

    // A folder without the layout is no card.
    std::filesystem::create_directories(other);
    MUB_GetCardId(c, &id);
    EXPECT_EQ(id, 0);
    MUB_ReleaseContext(c);
}

TEST_F(ApiTest, ExplicitFoldersComeFirstInTheOrderGiven)
{
    const std::string second = dir.Path() + "/second";
    MakeCardLayout(second, "two");
    mub::RecordingPath(second, 1, "x");
    ASSERT_TRUE(WriteScript(mub::RecordingPath(second, 1, "REC_20261201_100000_N"),
                            MakeDescription(1, 'N', 30, false), MakeScript(1, 30, false, 1)));
    MUB_AddCardFolder(ctx, second.c_str());
    EXPECT_TRUE(List(1).empty());  // the first folder is the card
    std::filesystem::remove_all(root);
    ASSERT_EQ(List(1).size(), 1u);  // now the second is
    EXPECT_EQ(MUB_OpenCard(ctx), 1);
}

TEST_F(ApiTest, CardRootsAreTheFoldersHoldingTheLayout)
{
    const std::string plain = dir.Path() + "/plain";
    std::filesystem::create_directories(plain);
    MUB_AddCardFolder(ctx, plain.c_str());
    char roots[4][256] = {};
    ASSERT_EQ(MUB_GetCardRoots(ctx, roots[0], 256, 4), 1);
    EXPECT_EQ(std::string(roots[0]), root);
    // A slot too small for the path leaves it out rather than cutting it.
    EXPECT_EQ(MUB_GetCardRoots(ctx, roots[0], static_cast<int>(root.size()), 4), 0);
    EXPECT_EQ(MUB_GetCardRoots(ctx, roots[0], 256, 0), 0);
}

TEST_F(ApiTest, ListsNamesSizesAndLengthsPerCategory)
{
    Add(1, "REC_20261201_080000_D", 3, true);
    Add(1, "REC_20261201_070000_N", 2, false);
    Add(0, "EVENT_20261201_073000_T", 2, true);
    Add(3, "MANUAL_20261201_090000_E", 1, false);
    // What does not belong: other names, other files, a file that is not a recording.
    std::ofstream(mub::CategoryFolder(root, 1) + "/notes.txt") << "x";
    std::ofstream(mub::CategoryFolder(root, 1) + "/REC_2026_bad_D.mub") << "x";
    std::ofstream(mub::CategoryFolder(root, 1) + "/REC_20261201_110000_D.mub") << "not a recording";
    std::ofstream(mub::CategoryFolder(root, 1) + "/EVENT_20261201_110000_D.mub") << "wrong folder";

    auto driving = List(1);
    ASSERT_EQ(driving.size(), 2u);
    EXPECT_EQ(driving[0].name, "REC_20261201_070000_N.avi");
    EXPECT_EQ(driving[1].name, "REC_20261201_080000_D.avi");
    EXPECT_EQ(driving[1].size,
              std::filesystem::file_size(mub::RecordingPath(root, 1, "REC_20261201_080000_D")));
    EXPECT_EQ(driving[0].seconds, 2u);
    EXPECT_EQ(driving[1].seconds, 3u);
    ASSERT_EQ(List(0).size(), 1u);
    EXPECT_EQ(List(0)[0].name, "EVENT_20261201_073000_T.avi");
    EXPECT_TRUE(List(2).empty());
    EXPECT_EQ(List(3).size(), 1u);

    // The wrong card id, another category number, or a short table.
    const uint8_t id = CardId();
    EXPECT_EQ(MUB_GetFileCount(ctx, static_cast<uint8_t>(id + 1), 1), 0);
    EXPECT_EQ(MUB_GetFileCount(ctx, id, 4), 0);
    EXPECT_EQ(MUB_GetFileCount(ctx, id, -1), 0);
    char names[MUB_NAME_SLOT_BYTES] = {};
    uint32_t sizes[2] = {}, extra[1] = {};
    EXPECT_EQ(MUB_GetFileList(ctx, id, 1, 1, names, sizes, extra), 1);
    EXPECT_STREQ(names, "REC_20261201_070000_N.avi");
}

TEST_F(ApiTest, InfoFillsDescriptionCountsAndSummary)
{
    Add(0, "EVENT_20261201_073000_D", 2, true);
    uint8_t desc[MUB_DESCRIPTION_BYTES] = {};
    uint16_t c0 = 0, c1 = 0, c6 = 0;
    char text[MUB_TEXT_BYTES] = {}, summary[MUB_TEXT_BYTES] = {};
    uint8_t work[MUB_WORK_BYTES] = {};
    for (const char* name : {"EVENT_20261201_073000_D.avi", "/EVENT_20261201_073000_D.avi"}) {
        ASSERT_EQ(MUB_GetFileInfo(ctx, name, desc, &c0, &c1, &c6, text, summary, work), 1) << name;
        EXPECT_EQ(c0, 60);
        EXPECT_EQ(c1, 60);
        EXPECT_EQ(c6, 0);
        EXPECT_STREQ(summary, "cntVideo0=60; cntVideo1=60; cntAudio=8; cntACC=20; cntGPS=2");
        EXPECT_EQ(desc[3], 30);
        EXPECT_EQ(desc[0x34] | desc[0x35] << 8, 640);
        EXPECT_EQ(desc[0x16] | desc[0x17] << 8, 180);
    }
    std::memset(summary, 0, sizeof summary);
    ASSERT_EQ(MUB_GetFileInfoByIndex(ctx, "EVENT_20261201_073000_D.avi", 0, desc, &c0, &c1, &c6, text,
                                     summary, work),
              1);
    EXPECT_EQ(c0, 60);
    EXPECT_STRNE(summary, "");
    EXPECT_EQ(MUB_GetFileInfoByIndex(ctx, "EVENT_20261201_073000_D.avi", 1, desc, &c0, &c1, &c6, text,
                                     summary, work),
              0);
    EXPECT_EQ(MUB_GetFileInfo(ctx, "EVENT_20261201_073001_D.avi", desc, &c0, &c1, &c6, text, summary, work),
              0);
}

TEST_F(ApiTest, NamesThatCouldLeaveTheCardAreRefused)
{
    Add(1, "REC_20261201_080000_D", 1, true);
    for (const char* bad : {"../RECORD/DRIVING/REC_20261201_080000_D.avi", "REC_20261201_080000_D",
                            "REC_20261201_080000_X.avi", "REC_20261201_08000/_D.avi", "",
                            "//REC_20261201_080000_D.avi", "REC_20261201_080000_D.avi/../../x"}) {
        EXPECT_EQ(MUB_OpenFileByName(ctx, 1, bad), -1) << bad;
    }
    EXPECT_EQ(MUB_OpenFileByName(ctx, 1, nullptr), -1);
    EXPECT_GE(MUB_OpenFileByName(ctx, 1, "REC_20261201_080000_D.avi"), 0);
    EXPECT_GE(MUB_OpenFileByName(ctx, 1, "/REC_20261201_080000_D.avi"), 0);
    EXPECT_GE(MUB_OpenFileByName(ctx, 1, "REC_20261201_080000_d.avi"), 0);
    EXPECT_EQ(MUB_OpenFileByName(ctx, 0, "REC_20261201_080000_D.avi"), -1);  // not in that category
}

TEST_F(ApiTest, OpenSelectReadGivesBackEveryPacket)
{
    Add(1, "REC_20261201_080000_D", 3, true);
    Add(1, "REC_20261201_090000_N", 2, false);
    const int byName = MUB_OpenFileByName(ctx, 1, "REC_20261201_080000_D.avi");
    const int byIndex = MUB_OpenFileByIndex(ctx, 1, 1);
    ASSERT_GE(byName, 0);
    ASSERT_GE(byIndex, 0);
    EXPECT_EQ(MUB_OpenFileByIndex(ctx, 1, 2), -1);

    for (auto [handle, stem] :
         {std::pair{byName, "REC_20261201_080000_D"}, {byIndex, "REC_20261201_090000_N"}}) {
        ASSERT_EQ(MUB_SelectFile(ctx, 1, 0, handle), 1);
        int8_t last = 0;
        const auto got = ReadAll(&last);
        EXPECT_EQ(last, MUB_READ_END);
        const auto& want = scripts[stem];
        ASSERT_EQ(got.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            ASSERT_EQ(got[i].type, want[i].type);
            ASSERT_EQ(got[i].status, want[i].status);
            ASSERT_EQ(got[i].flag, want[i].flag);
            ASSERT_EQ(got[i].bytes, want[i].bytes);
        }
    }
    // Without a selection reading is an error.
    EXPECT_EQ(MUB_SelectFile(ctx, 1, 0, 99), 0);
    uint8_t t, s, f;
    int size = 16;
    uint8_t buf[16];
    EXPECT_EQ(MUB_ReadPacket(ctx, &t, &s, &f, &size, buf, nullptr), MUB_READ_ERROR);
}

TEST_F(ApiTest, PacketLargerThanTheBufferIsSkippedAndLeavesTheOutputsAlone)
{
    Add(1, "REC_20261201_080000_N", 1, false);
    ASSERT_EQ(MUB_SelectFile(ctx, 1, 0, MUB_OpenFileByName(ctx, 1, "REC_20261201_080000_N.avi")), 1);
    uint8_t t = 0xFF, s = 0xFF, f = 0xFF;
    uint8_t buf[100];
    int size = sizeof buf;
    // The first packet is a key unit of over 3000 bytes.
    EXPECT_EQ(MUB_ReadPacket(ctx, &t, &s, &f, &size, buf, nullptr), MUB_READ_TOOBIG);
    EXPECT_EQ(t, 0xFF);
    EXPECT_EQ(s, 0xFF);
    EXPECT_EQ(size, static_cast<int>(sizeof buf));
    EXPECT_EQ(MUB_ReadPacket(ctx, &t, &s, &f, &size, buf, nullptr), MUB_READ_TOOBIG);  // the audio packet
    EXPECT_EQ(MUB_ReadPacket(ctx, &t, &s, &f, &size, buf, nullptr), MUB_READ_OK);      // a G-sensor record
    EXPECT_EQ(s, mub::kStatusText);
    EXPECT_EQ(size, 4);
}

// The parser's side of a seek: it counts status-0 packets (K) and passes
// target = K + n + 1, limit = K + frameCount0 / 30 + 1.
class SeekTest : public ApiTest {
protected:
    void SetUp() override
    {
        ApiTest::SetUp();
        Add(1, "REC_20261201_080000_D", 8, true);
        ASSERT_EQ(MUB_SelectFile(ctx, 1, 0, MUB_OpenFileByName(ctx, 1, "REC_20261201_080000_D.avi")), 1);
    }
    // Reads count packets, counting key units as the parser does; returns the last.
    ScriptPacket Read(int count)
    {
        ScriptPacket p;
        std::vector<uint8_t> buf(0x200000);
        for (int i = 0; i < count; ++i) {
            uint8_t t = 0xFF, s = 0xFF, f = 0xFF;
            int size = static_cast<int>(buf.size());
            EXPECT_EQ(MUB_ReadPacket(ctx, &t, &s, &f, &size, buf.data(), nullptr), MUB_READ_OK);
            keys += s == 0 ? 1 : 0;
            p = {t, s, f, 0, std::vector<uint8_t>(buf.begin(), buf.begin() + size)};
        }
        return p;
    }
    // Seeks like the parser and returns the index of the front key unit read next.
    int SeekAndIdentify(int n, int frameCount0 = 240)
    {
        MUB_Seek(ctx, keys + n + 1, keys + frameCount0 / 30 + 1);
        const ScriptPacket p = Read(1);
        EXPECT_EQ(p.type, 0);
        EXPECT_EQ(p.status, 0);
        const auto& want = scripts["REC_20261201_080000_D"];
        int unit = 0;
        for (const auto& w : want) {
            if (w.type == 0 && w.status == 0) {
                if (w.bytes == p.bytes) {
                    return unit;
                }
                ++unit;
            }
        }
        return -1;
    }
    int keys = 0;
};

TEST_F(SeekTest, NextPacketIsTheFrontKeyUnitOfTheSecondAsked)
{
    EXPECT_EQ(SeekAndIdentify(3), 3);
    Read(50);
    EXPECT_EQ(SeekAndIdentify(6), 6);
    EXPECT_EQ(SeekAndIdentify(1), 1);  // backwards, after key units were counted
    Read(200);
    EXPECT_EQ(SeekAndIdentify(0), 0);
}

TEST_F(SeekTest, ClampsToTheLimitAndToTheLastKeyUnit)
{
    EXPECT_EQ(SeekAndIdentify(50), 7);     // past the end: the limit is unit 8, the last is 7
    EXPECT_EQ(SeekAndIdentify(5, 90), 3);  // limit m = 3
    EXPECT_EQ(SeekAndIdentify(-4), 0);     // before the start
    Read(10);
    EXPECT_EQ(SeekAndIdentify(2), 2);
}

TEST_F(SeekTest, KeyCountStartsAgainAtSelect)
{
    Read(100);
    ASSERT_EQ(MUB_SelectFile(ctx, 1, 0, MUB_OpenFileByName(ctx, 1, "REC_20261201_080000_D.avi")), 1);
    keys = 0;
    EXPECT_EQ(SeekAndIdentify(4), 4);
}

TEST_F(ApiTest, CutRecordingListsAndReadsUpToTheCut)
{
    const std::string path = Add(1, "REC_20261201_080000_D", 4, true);
    const auto full = ReadWholeFile(path);
    const auto& want = scripts["REC_20261201_080000_D"];
    mub::RecordingHeader h;
    bool checksumOk = false;
    ASSERT_TRUE(mub::ParseHeader(full.data(), full.size(), &h, &checksumOk));
    // Anywhere, and inside the very last packet.
    for (size_t cut : {full.size() / 3, full.size() / 2 + 7, static_cast<size_t>(h.dataEnd) - 7}) {
        WriteWholeFile(path, std::vector<uint8_t>(full.begin(), full.begin() + static_cast<long>(cut)));
        auto listed = List(1);
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].size, cut);
        uint16_t c0 = 0, c1 = 0, c6 = 0;
        uint8_t desc[MUB_DESCRIPTION_BYTES];
        char text[MUB_TEXT_BYTES], summary[MUB_TEXT_BYTES];
        ASSERT_EQ(
            MUB_GetFileInfo(ctx, "REC_20261201_080000_D.avi", desc, &c0, &c1, &c6, text, summary, nullptr),
            1);
        EXPECT_GT(c0, 0);
        EXPECT_LE(c0, 120);
        ASSERT_EQ(MUB_SelectFile(ctx, 1, 0, MUB_OpenFileByName(ctx, 1, "REC_20261201_080000_D.avi")), 1);
        int8_t last = 0;
        const auto got = ReadAll(&last);
        EXPECT_EQ(last, MUB_READ_END);
        ASSERT_LT(got.size(), want.size());
        for (size_t i = 0; i < got.size(); ++i) {
            ASSERT_EQ(got[i].bytes, want[i].bytes);
        }
        size_t front = 0;
        for (const auto& g : got) {
            front += (g.status == 0 || g.status == 2) && g.type == 0;
        }
        EXPECT_EQ(front, c0);
    }
}

TEST_F(ApiTest, DefaultConfigurationHasEverySectionWithCrLf)
{
    char buf[MUB_CONFIG_BYTES];
    int length = sizeof buf;
    ASSERT_NE(MUB_GetDefaultConfig(ctx, buf, &length), 0);
    ASSERT_GT(length, 0);
    ASSERT_LT(length, static_cast<int>(sizeof buf));
    const std::string text(buf, static_cast<size_t>(length));
    for (const char* key : {"[capacity]\r\n",
                            "[blackbox]\r\n",
                            "[time]\r\n",
                            "\r\nconst=",
                            "\r\nevent=",
                            "\r\nmanual=",
                            "\r\npark=",
                            "\r\nmub_update=",
                            "\r\nlanguage=",
                            "\r\ndef_language=",
                            "\r\ndef_local_time=",
                            "\r\nversion=",
                            "\r\nmodel=",
                            "\r\npower_off_vlt=",
                            "\r\nmic_in=",
                            "\r\nmic_volume=",
                            "\r\nvoice_out=",
                            "\r\nvoice_volume=",
                            "\r\nuse_tick=",
                            "\r\nacc_level=",
                            "\r\nmotion_level=",
                            "\r\nuse_ldws=",
                            "\r\nuse_fvsa=",
                            "\r\nsafe_drive=",
                            "\r\nadas_alarm=",
                            "\r\nuse_tlds=",
                            "\r\nldws_left=",
                            "\r\nldws_right=",
                            "\r\nlocal_time=",
                            "\r\nlcd_time_s=",
                            "\r\nlcdoff_time_s=",
                            "\r\npower_off_hour=",
                            "\r\nsummer_time=",
                            "\r\nosd_speed=",
                            "\r\npark_mode=",
                            "\r\nset=",
                            "\r\nyear=",
                            "\r\nmonth=",
                            "\r\nday=",
                            "\r\nhour=",
                            "\r\nmin=",
                            "\r\nsec="}) {
        EXPECT_NE(text.find(key), std::string::npos) << key;
    }
    // Every LF is part of a CR LF.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ASSERT_TRUE(i > 0 && text[i - 1] == '\r');
        }
    }
    int tooShort = 16;
    EXPECT_EQ(MUB_GetDefaultConfig(ctx, buf, &tooShort), 0);
}

TEST_F(ApiTest, DeviceIdentityIsAccepted)
{
    MUBDeviceIdentity id{};
    std::strcpy(id.field1, "viewer");
    EXPECT_EQ(MUB_SetDeviceIdentity(ctx, id), 1);
}

// The card watch, the read-ahead and the UI thread call in at the same time.
TEST_F(ApiTest, ConcurrentCallersShareOneContext)
{
    Add(1, "REC_20261201_080000_D", 2, true);
    ASSERT_EQ(MUB_SelectFile(ctx, 1, 0, MUB_OpenFileByName(ctx, 1, "REC_20261201_080000_D.avi")), 1);
    std::atomic<bool> stop{false};
    std::thread watch([&] {
        while (!stop) {
            uint8_t id = 0;
            MUB_GetCardId(ctx, &id);
            EXPECT_NE(id, 0);
        }
    });
    std::thread reader([&] {
        std::vector<uint8_t> buf(0x200000);
        for (int i = 0; i < 2000; ++i) {
            uint8_t t, s, f;
            int size = static_cast<int>(buf.size());
            if (MUB_ReadPacket(ctx, &t, &s, &f, &size, buf.data(), nullptr) != MUB_READ_OK) {
                MUB_Seek(ctx, 1, 3);
            }
        }
    });
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(List(1).size(), 1u);
        MUB_Seek(ctx, 2, 3);
    }
    reader.join();
    stop = true;
    watch.join();
}

}  // namespace
