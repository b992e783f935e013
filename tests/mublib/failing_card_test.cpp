// A card whose reads fail part-way (pulled, dying) and a library whose insides throw: the
// C interface answers with its error results and never takes a failure for the end.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <iterator>

#include "mublib/mublib.h"
#include "tests/mublib/card_fixture.h"

namespace {

class FailingCard : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = dir.Path() + "/card";
        MakeCardLayout(root, "card");
        script = MakeScript(3, 30, true, 5);
        path = mub::RecordingPath(root, 1, kStem);
        ASSERT_TRUE(WriteScript(path, MakeDescription(1, 'D', 30, true), script));
        ctx = MUB_CreateContext();
        ASSERT_EQ(MUB_AddCardFolder(ctx, root.c_str()), 1);
        MUB_GetCardId(ctx, &cardId);
    }
    void TearDown() override { MUB_ReleaseContext(ctx); }

    int Select() { return MUB_SelectFile(ctx, 1, 0, MUB_OpenFileByName(ctx, 1, kName)); }
    // Reads until something other than a packet; returns it, and the packets in *count.
    int8_t ReadToTheEnd(size_t* count)
    {
        std::vector<uint8_t> buf(0x200000);
        *count = 0;
        for (;;) {
            uint8_t t = 0xFF, s = 0xFF, f = 0xFF;
            int size = static_cast<int>(buf.size());
            const int8_t r = MUB_ReadPacket(ctx, &t, &s, &f, &size, buf.data(), nullptr);
            if (r != MUB_READ_OK) {
                return r;
            }
            EXPECT_EQ(std::vector<uint8_t>(buf.begin(), buf.begin() + size), script[*count].bytes);
            ++*count;
        }
    }
    // Where packet i starts in the file.
    uint64_t PacketOffset(size_t i) const
    {
        uint64_t pos = mub::kHeaderBytes;
        for (size_t k = 0; k < i; ++k) {
            pos += mub::kPacketHeaderBytes + script[k].bytes.size();
        }
        return pos;
    }

    static constexpr const char* kStem = "REC_20261201_080000_D";
    static constexpr const char* kName = "REC_20261201_080000_D.avi";
    CTempDir dir;
    std::string root;
    std::string path;
    std::vector<ScriptPacket> script;
    MUBContext ctx = nullptr;
    uint8_t cardId = 0;
};

TEST_F(FailingCard, ReadsThatFailPartWayEndInAnErrorNotTheEnd)
{
    // In a packet header, in a payload, and in the first packet header after a key unit.
    size_t big = 41;
    while (script[big].bytes.size() < 100) {
        ++big;
    }
    const size_t keyAfter = 2 * 30 * 2 + 30;  // well into second 2
    struct Case {
        const char* what;
        uint64_t failFrom;
        size_t whole;  // packets delivered before the error
    };
    const Case cases[] = {
        {"packet header", PacketOffset(40) + 3, 40},
        {"payload", PacketOffset(big) + mub::kPacketHeaderBytes + 10, big},
        {"header after a key unit", PacketOffset(keyAfter), keyAfter},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(Select(), 1);
        CCardFault fault;
        fault.FailFrom(c.failFrom);
        size_t count = 0;
        EXPECT_EQ(ReadToTheEnd(&count), MUB_READ_ERROR);
        EXPECT_EQ(count, c.whole);
        EXPECT_GT(fault.Failures(), 0);
    }
}

TEST_F(FailingCard, UnreadableHeaderMeansNoRecording)
{
    CCardFault fault;
    fault.FailFrom(0);
    EXPECT_EQ(MUB_GetFileCount(ctx, cardId, 1), 0);
    EXPECT_EQ(MUB_OpenFileByName(ctx, 1, kName), -1);
    uint8_t description[MUB_DESCRIPTION_BYTES];
    EXPECT_EQ(MUB_GetFileInfo(ctx, kName, description, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              0);
}

TEST_F(FailingCard, ExceptionsInsideBecomeErrorResults)
{
    const int handle = MUB_OpenFileByName(ctx, 1, kName);
    ASSERT_EQ(MUB_SelectFile(ctx, 1, 0, handle), 1);
    auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator());
    };
    const auto filesBefore = openFiles();
    CCardFault fault;
    fault.Throw(true);
    testing::internal::CaptureStdout();
    uint8_t t = 0xFF, s = 0xFF, f = 0xFF;
    std::vector<uint8_t> buf(0x200000);
    int size = static_cast<int>(buf.size());
    EXPECT_EQ(MUB_ReadPacket(ctx, &t, &s, &f, &size, buf.data(), nullptr), MUB_READ_ERROR);
    EXPECT_EQ(MUB_SelectFile(ctx, 1, 0, handle), 0);
    EXPECT_EQ(MUB_GetFileCount(ctx, cardId, 1), 0);
    std::vector<char> names(MUB_NAME_SLOT_BYTES);
    EXPECT_EQ(MUB_GetFileList(ctx, cardId, 1, 1, names.data(), nullptr, nullptr), 0);
    EXPECT_EQ(MUB_OpenFileByName(ctx, 1, kName), -1);
    EXPECT_EQ(MUB_OpenFileByIndex(ctx, 1, 0), -1);
    uint8_t description[MUB_DESCRIPTION_BYTES];
    EXPECT_EQ(MUB_GetFileInfo(ctx, kName, description, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
              0);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("[MUBLib] call failed: std::bad_alloc"), std::string::npos) << out;
    EXPECT_EQ(openFiles(), filesBefore - 1);  // nothing left open but the selection closed

    // The context is still usable once the fault is gone.
    fault.Throw(false);
    EXPECT_EQ(MUB_GetFileCount(ctx, cardId, 1), 1);
    ASSERT_EQ(MUB_SelectFile(ctx, 1, 0, handle), 1);
    size_t count = 0;
    EXPECT_EQ(ReadToTheEnd(&count), MUB_READ_END);
    EXPECT_EQ(count, script.size());
}

TEST_F(FailingCard, ACardTakenOutLetsGoOfItsRecording)
{
    // An open file would keep the pulled card's file system busy: it could not be unmounted.
    auto filesOnCard = [&] {
        int n = 0;
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            n += std::filesystem::read_symlink(fd.path(), ec).string().rfind(root, 0) == 0 ? 1 : 0;
        }
        return n;
    };
    ASSERT_EQ(Select(), 1);
    uint8_t t = 0xFF, s = 0xFF, f = 0xFF;
    std::vector<uint8_t> buf(0x200000);
    int size = static_cast<int>(buf.size());
    ASSERT_EQ(MUB_ReadPacket(ctx, &t, &s, &f, &size, buf.data(), nullptr), MUB_READ_OK);
    ASSERT_EQ(filesOnCard(), 1);

    std::filesystem::rename(root, root + ".out");
    uint8_t id = 0xFF;
    EXPECT_EQ(MUB_GetCardId(ctx, &id), 0);
    EXPECT_EQ(id, 0);
    std::filesystem::rename(root + ".out", root);
    EXPECT_EQ(filesOnCard(), 0);
    size = static_cast<int>(buf.size());
    EXPECT_EQ(MUB_ReadPacket(ctx, &t, &s, &f, &size, buf.data(), nullptr), MUB_READ_ERROR);

    // Back in: it reads again once selected.
    EXPECT_EQ(MUB_GetCardId(ctx, &id), 1);
    ASSERT_EQ(Select(), 1);
    size_t count = 0;
    EXPECT_EQ(ReadToTheEnd(&count), MUB_READ_END);
    EXPECT_EQ(count, script.size());
}

}  // namespace
