// CMUBParser against a stand-in library: the calls it makes, how it reads the replies,
// the read-ahead thread and seeking.
#include "fake_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>

namespace {

class ParserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetLibraryContext(FakeContext());
        SetSeekUnit(30);
        parser = std::make_unique<CMUBParser>(FakeLibrary::Calls(&lib));
    }
    void TearDown() override
    {
        parser.reset();
        SetLibraryContext(nullptr);
    }
    int Open(std::string name, MediaInfo* info = nullptr)
    {
        buffer.assign(name.begin(), name.end());
        buffer.push_back('\0');
        MediaInfo local;
        return parser->Open(buffer.data(), info != nullptr ? info : &local);
    }
    // The first number of a packet of the fake's numbered stream.
    static int SeqOf(const std::vector<uint8_t>& data)
    {
        int seq = 0;
        std::memcpy(&seq, data.data(), sizeof seq);
        return seq;
    }

    FakeLibrary lib;
    std::unique_ptr<CMUBParser> parser;
    std::vector<char> buffer;  // the string handed to Open
};

TEST_F(ParserTest, CategoryFromFirstCharacterWithOrWithoutSlash)
{
    struct Case {
        const char* name;
        int category;
        int library;
    };
    const Case cases[] = {
        {"REC_20261201_101500_D.avi", 0, 1},    {"/REC_20261201_101500_D.avi", 0, 1},
        {"EVENT_20261201_101500_D.avi", 1, 0},  {"/EVENT_20261201_101500_D.avi", 1, 0},
        {"MANUAL_20261201_101500_D.avi", 2, 3}, {"PARKING_20261201_101500_D.avi", 3, 2},
    };
    for (const Case& c : cases) {
        lib.ClearCalls();
        Open(c.name);
        EXPECT_EQ(parser->Category(), c.category) << c.name;
        const std::string bare = c.name[0] == '/' ? c.name + 1 : c.name;
        const auto calls = lib.Calls();
        ASSERT_EQ(calls.size(), 3u);
        EXPECT_EQ(calls[1], "12:" + std::to_string(c.library) + ":" + bare);
        EXPECT_EQ(calls[2], "16:" + std::to_string(c.library) + ":0:7");
    }
    // Any other first character keeps the category of the previous Open.
    Open("EVENT_x.avi");
    lib.ClearCalls();
    Open("x_20261201.avi");
    EXPECT_EQ(parser->Category(), 1);
    EXPECT_EQ(lib.Calls()[1], "12:0:x_20261201.avi");
}

TEST_F(ParserTest, IndexNameOpensByIndexAndCutsCallersString)
{
    Open("REC_20261201_101500_D.avi,12");
    EXPECT_STREQ(buffer.data(), "REC_20261201_101500_D.avi");
    auto calls = lib.Calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0], "4:REC_20261201_101500_D.avi:12");
    EXPECT_EQ(calls[1], "13:1:12");

    lib.ClearCalls();
    Open("/EVENT_a.avi ,, 3");
    EXPECT_STREQ(buffer.data(), "/EVENT_a.avi");
    calls = lib.Calls();
    EXPECT_EQ(calls[0], "4:EVENT_a.avi:3");
    EXPECT_EQ(calls[1], "13:0:3");

    // A separator with no number after it is a name without index.
    lib.ClearCalls();
    Open("REC_b.avi,");
    EXPECT_STREQ(buffer.data(), "REC_b.avi");
    calls = lib.Calls();
    EXPECT_EQ(calls[0], "3:REC_b.avi");
    EXPECT_EQ(calls[1], "12:1:REC_b.avi");
}

TEST_F(ParserTest, LongNameIsCutForTheLibraryOnly)
{
    const std::string name = "R" + std::string(300, 'x');
    Open(name);
    EXPECT_EQ(lib.Calls()[0], "3:" + name.substr(0, CMUBParser::kMaxFileNameChars));
    EXPECT_EQ(std::string(buffer.data()), name);
}

TEST_F(ParserTest, DescriptionRecordAndSummaryFillRecordingInfo)
{
    lib.SetDescription(30, 15, 0, 1280, 720, 640, 480);
    lib.count0 = 11;
    lib.count1 = 22;
    lib.sixth = 33;
    lib.summary = "cntVideo0=300; cntVideo1=150; cntAudio=40; cntACC=50; cntGPS=10";
    MediaInfo info;
    EXPECT_EQ(Open("REC_a.avi", &info), 1);
    EXPECT_EQ(info.frameRate0, 30);
    EXPECT_EQ(info.frameRate1, 15);
    EXPECT_EQ(info.frameRate2, 0);
    EXPECT_EQ(info.frameCount0, 300);
    EXPECT_EQ(info.frameCount1, 150);
    EXPECT_EQ(info.extraCount, 33);
    EXPECT_EQ(parser->GetVideoSize(0).width, 1280);
    EXPECT_EQ(parser->GetVideoSize(0).height, 720);
    EXPECT_EQ(parser->GetVideoSize(1).width, 640);
    EXPECT_EQ(parser->GetVideoSize(1).height, 480);
    EXPECT_EQ(parser->GetVideoSize(3).width, 0);
    EXPECT_EQ(parser->GetFrameRate(1), 15);
    EXPECT_EQ(parser->RecordingInfo(13), 40);
    EXPECT_EQ(parser->RecordingInfo(15), 50);
    EXPECT_EQ(parser->RecordingInfo(14), 10);
    int bits = 0;
    int rate = 0;
    parser->GetAudioFormat(&bits, &rate);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(rate, 8000);
}

TEST_F(ParserTest, PartialSummaryKeepsLaterCountsFromBefore)
{
    lib.count0 = 5;
    lib.count1 = 6;
    lib.summary = "cntVideo0=300; cntVideo1=150";
    Open("REC_a.avi");
    EXPECT_EQ(parser->RecordingInfo(10), 300);
    EXPECT_EQ(parser->RecordingInfo(11), 150);
    EXPECT_EQ(parser->RecordingInfo(13), 0);
    EXPECT_EQ(parser->RecordingInfo(14), 0);
    EXPECT_EQ(parser->RecordingInfo(15), 0);

    lib.summary = "cntVideo0=1; cntVideo1=2; cntAudio=3; cntACC=4; cntGPS=5";
    Open("REC_a.avi");
    lib.summary = "cntVideo0=9; cntVideo1=x; cntAudio=7";
    Open("REC_a.avi");
    EXPECT_EQ(parser->RecordingInfo(10), 9);
    EXPECT_EQ(parser->RecordingInfo(11), 6);  // the library's count; the text stopped here
    EXPECT_EQ(parser->RecordingInfo(13), 3);
    EXPECT_EQ(parser->RecordingInfo(15), 4);
    EXPECT_EQ(parser->RecordingInfo(14), 5);
}

TEST(ParseSummary, ReadsLikeSscanf)
{
    int v[5] = {};
    EXPECT_EQ(
        CMUBParser::ParseSummary("cntVideo0=1;cntVideo1= -2;   cntAudio=+3; cntACC=4; cntGPS=5x", 256, v), 5);
    EXPECT_EQ(v[1], -2);
    EXPECT_EQ(v[2], 3);
    EXPECT_EQ(v[4], 5);
    EXPECT_EQ(CMUBParser::ParseSummary("", 256, v), 0);
    EXPECT_EQ(CMUBParser::ParseSummary("cntVideo0=", 256, v), 0);
    EXPECT_EQ(CMUBParser::ParseSummary("cntvideo0=1", 256, v), 0);
    // Saturates instead of overflowing.
    EXPECT_EQ(CMUBParser::ParseSummary("cntVideo0=99999999999999999999", 256, v), 1);
    EXPECT_EQ(v[0], INT32_MAX);
    // Never reads beyond the length given, terminated or not.
    const char unterminated[12] = {'c', 'n', 't', 'V', 'i', 'd', 'e', 'o', '0', '=', '4', '2'};
    EXPECT_EQ(CMUBParser::ParseSummary(unterminated, sizeof unterminated, v), 1);
    EXPECT_EQ(v[0], 42);
}

TEST_F(ParserTest, UnterminatedSummaryFromTheLibraryIsNotOverrun)
{
    lib.summaryFillsBuffer = true;
    lib.summary = "cntVideo0=12; cntVideo1=";
    Open("REC_a.avi");
    EXPECT_EQ(parser->RecordingInfo(10), 12);
}

TEST_F(ParserTest, UnknownRecordingOpensButReportsFailure)
{
    lib.handle = -1;
    EXPECT_EQ(Open("REC_missing.avi"), 0);
}

struct ReadCase {
    int result;
    int status;
    int type;
    int sizeOut;  // what the library writes into *size; -1 leaves it
    int code;     // expected ReadPacket result
    int size;     // expected *size afterwards
    bool end;     // expected end flag afterwards
    int keyUnits;
};

TEST_F(ParserTest, ReadPacketDecisionTable)
{
    constexpr int kCap = 1000;
    const ReadCase cases[] = {
        {MUB_READ_OK, 0, 0, 10, 0, 10, false, 1},
        {MUB_READ_OK, 0, 1, 10, 1, 10, false, 1},
        {MUB_READ_OK, 2, 2, 10, 2, 10, false, 0},
        {MUB_READ_OK, 1, 0xFF, 10, 3, 10, false, 0},
        {MUB_READ_OK, 3, 0xFF, 10, 4, 10, false, 0},
        {MUB_READ_NONE, 0xFF, 0xFF, -1, 5, kCap, false, 0},
        {MUB_READ_END, 0xFF, 0xFF, -1, 6, 1, true, 0},
        {MUB_READ_ERROR, 0xFF, 0xFF, -1, 6, 1, true, 0},
        // status 0 with an unknown type still counts the key unit, then goes by result
        {MUB_READ_NONE, 0, 9, -1, 5, kCap, false, 1},
        {MUB_READ_TOOBIG, 0xFF, 0xFF, -1, 5, kCap, false, 0},
        {MUB_READ_TOOBIG, 0xFF, 0xFF, 0, 6, 1, false, 0},
        // a length beyond the buffer is never handed on
        {MUB_READ_OK, 2, 0, kCap + 1, 5, 0, false, 0},
        {MUB_READ_OK, 1, 0, -4, 5, 0, false, 0},
    };
    std::vector<uint8_t> data(kCap);
    for (const ReadCase& c : cases) {
        lib.read = [&c](uint8_t* type, uint8_t* status, uint8_t*, int* size, void*) {
            if (c.status != 0xFF) {
                *status = static_cast<uint8_t>(c.status);
            }
            if (c.type != 0xFF) {
                *type = static_cast<uint8_t>(c.type);
            }
            if (c.sizeOut >= 0 || c.sizeOut == -4) {
                *size = c.sizeOut;
            }
            return c.result;
        };
        Open("REC_a.avi");
        int size = kCap;
        const int code = parser->ReadPacket(data.data(), &size);
        const std::string where = "result " + std::to_string(c.result) + " status " +
                                  std::to_string(c.status) + " type " + std::to_string(c.type);
        EXPECT_EQ(code, c.code) << where;
        EXPECT_EQ(size, c.size) << where;
        EXPECT_EQ(parser->KeyUnitCount(), c.keyUnits) << where;
        // After the end flag the library is not asked again.
        size = kCap;
        const int next = parser->ReadPacket(data.data(), &size);
        if (c.end) {
            EXPECT_EQ(next, 6) << where;
            EXPECT_EQ(size, 0) << where;
        }
    }
}

TEST_F(ParserTest, SeekTimeUnits)
{
    lib.SetDescription(30, 0, 0, 640, 480, 0, 0);
    lib.count0 = 3000;  // 100 s
    Open("REC_a.avi");
    EXPECT_EQ(parser->SeekTime(95.5f), 95);
    EXPECT_EQ(lib.Calls().back(), "22:96:101");

    // Frame rate 0 seeks as 30 fps.
    lib.SetDescription(0, 0, 0, 640, 480, 0, 0);
    Open("REC_a.avi");
    EXPECT_EQ(parser->SeekTime(10.0f), 10);
    EXPECT_EQ(lib.Calls().back(), "22:11:101");

    // 15 fps: half a unit per second, the answer snaps to the two-second grid.
    lib.SetDescription(15, 0, 0, 640, 480, 0, 0);
    lib.count0 = 1500;
    Open("REC_a.avi");
    EXPECT_EQ(parser->SeekTime(95.5f), 94);
    EXPECT_EQ(lib.Calls().back(), "22:48:51");

    // Key units read so far shift both numbers.
    std::vector<uint8_t> data(64);
    for (int i = 0; i < 25; ++i) {
        int size = 64;
        parser->ReadPacket(data.data(), &size);
    }
    EXPECT_EQ(parser->KeyUnitCount(), 3);
    parser->SeekTime(2.0f);
    EXPECT_EQ(lib.Calls().back(), "22:5:54");

    // Values no cast can hold neither crash nor wrap.
    EXPECT_EQ(parser->SeekTime(NAN), 0);
    parser->SeekTime(1e30f);
    parser->SeekTime(-1e30f);
}

TEST_F(ParserTest, SeekNeverHangsWithoutReader)
{
    Open("REC_a.avi");
    EXPECT_EQ(parser->SeekTime(1.0f), 1);  // never started
    EXPECT_EQ(lib.Calls().back(), "22:2:1");
    parser->Start();
    parser->Stop();
    lib.ClearCalls();
    EXPECT_EQ(parser->SeekTime(1.0f), 1);  // stopped
    ASSERT_EQ(lib.Calls().size(), 1u);
    EXPECT_EQ(lib.Calls()[0].substr(0, 3), "22:");
}

TEST_F(ParserTest, ReadAheadDeliversInOrderThenEndsUntilNextOpen)
{
    lib.streamEnd = 45;
    parser->Start();
    Open("REC_a.avi");
    std::vector<uint8_t> data(kPacketBufferBytes);
    int expected = 0;
    for (;;) {
        char id[5] = {};
        int size = kPacketBufferBytes;
        const int r = parser->ParseMedia(id, data.data(), &size);
        if (r < 0) {
            break;
        }
        ASSERT_EQ(r, 5);
        if (id[0] == '\0') {
            continue;
        }
        ASSERT_EQ(size, 4);
        EXPECT_EQ(SeqOf(data), expected);
        EXPECT_STREQ(id, expected % FakeLibrary::kGop == FakeLibrary::kGop / 2 ? "02wb" : "00dc");
        ++expected;
    }
    EXPECT_EQ(expected, 45);
    for (int i = 0; i < 3; ++i) {
        char id[5] = {};
        int size = kPacketBufferBytes;
        EXPECT_EQ(parser->ParseMedia(id, data.data(), &size), -1);
    }
    Open("REC_a.avi");
    char id[5] = {};
    int size = kPacketBufferBytes;
    EXPECT_EQ(parser->ParseMedia(id, data.data(), &size), 5);
    EXPECT_STREQ(id, "00dc");
    EXPECT_EQ(SeqOf(data), 0);
}

TEST_F(ParserTest, NothingForASecondIsNoPacketNotTheEnd)
{
    lib.read = [](uint8_t*, uint8_t*, uint8_t*, int*, void*) { return MUB_READ_NONE; };
    parser->Start();
    Open("REC_a.avi");
    std::vector<uint8_t> data(kPacketBufferBytes);
    char id[5] = {};
    int size = kPacketBufferBytes;
    EXPECT_EQ(parser->ParseMedia(id, data.data(), &size), 5);
    EXPECT_STREQ(id, "");
    parser->Close();
    EXPECT_EQ(parser->ParseMedia(id, data.data(), &size), -1);
}

TEST_F(ParserTest, SmallCallerBufferNeverOverrun)
{
    lib.streamEnd = 5;
    lib.read = [](uint8_t* type, uint8_t* status, uint8_t*, int* size, void* buffer) {
        *type = 0;
        *status = 2;
        *size = 100;
        std::memset(buffer, 1, 100);
        return MUB_READ_OK;
    };
    parser->Start();
    Open("REC_a.avi");
    std::vector<uint8_t> small(50);
    char id[5] = {};
    int size = 50;
    EXPECT_EQ(parser->ParseMedia(id, small.data(), &size), 5);
    EXPECT_STREQ(id, "");
    std::vector<uint8_t> enough(100);
    size = 100;
    EXPECT_EQ(parser->ParseMedia(id, enough.data(), &size), 5);
    EXPECT_STREQ(id, "00dc");
    EXPECT_EQ(size, 100);
}

TEST_F(ParserTest, StopReturnsWhileQueueIsFullAndNobodyReads)
{
    lib.read = [](uint8_t* type, uint8_t* status, uint8_t*, int* size, void*) {
        *type = 0;
        *status = 2;
        *size = 300000;
        return MUB_READ_OK;
    };
    parser->Start();
    Open("REC_a.avi");
    SleepMs(50);  // lets the queue fill; Stop must not wait for a consumer
    parser->Stop();
    EXPECT_TRUE(parser->IsReading());
}

TEST_F(ParserTest, PacketAsLargeAsTheQueueIsDroppedNotStalled)
{
    int calls = 0;
    lib.read = [&calls](uint8_t* type, uint8_t* status, uint8_t*, int* size, void*) {
        if (calls++ == 2) {
            return MUB_READ_END;
        }
        *type = 0;
        *status = 2;
        *size = calls == 1 ? CMUBParser::kQueueBytes : 8;
        return MUB_READ_OK;
    };
    parser->Start();
    Open("REC_a.avi");
    std::vector<uint8_t> data(kPacketBufferBytes);
    char id[5] = {};
    int size = kPacketBufferBytes;
    EXPECT_EQ(parser->ParseMedia(id, data.data(), &size), 5);
    EXPECT_EQ(size, 8);
    size = kPacketBufferBytes;
    EXPECT_EQ(parser->ParseMedia(id, data.data(), &size), -1);
}

// Open, seek and read from one thread while the read-ahead runs: a seek never overlaps a
// library read, and the first packet after a seek is the key unit sought.
TEST_F(ParserTest, SeekWhileReadingIsExclusiveAndLandsOnTheKeyUnit)
{
    lib.SetDescription(30, 0, 0, 640, 480, 0, 0);
    lib.count0 = 30 * 1000;
    SetSeekUnit(30);
    parser->Start();
    std::vector<uint8_t> data(kPacketBufferBytes);
    for (int round = 0; round < 40; ++round) {
        if (round % 10 == 0) {
            Open("REC_a.avi");
        }
        // Let the reader run ahead a little, sometimes not at all.
        for (int i = 0; i < round % 4; ++i) {
            char id[5] = {};
            int size = kPacketBufferBytes;
            parser->ParseMedia(id, data.data(), &size);
        }
        const int second = (round * 7) % 50;
        EXPECT_EQ(parser->SeekTime(static_cast<float>(second)), second);
        char id[5] = {};
        int size = kPacketBufferBytes;
        do {
            ASSERT_EQ(parser->ParseMedia(id, data.data(), &size), 5);
        } while (id[0] == '\0');
        EXPECT_EQ(SeqOf(data), second * FakeLibrary::kGop) << "round " << round;
    }
    parser->Stop();
    EXPECT_FALSE(lib.overlapped.load());
}

// The reader keeps signalling "idle" while nothing is open; a signal left over from then
// must not let a seek start while a read is in flight.
TEST_F(ParserTest, SeekRightAfterOpenWaitsForTheReadInFlight)
{
    lib.SetDescription(30, 0, 0, 640, 480, 0, 0);
    lib.count0 = 3000;
    lib.infoDelayMs = 4;
    lib.readDelayMs = 2;
    parser->Start();
    std::vector<uint8_t> data(kPacketBufferBytes);
    for (int round = 0; round < 10; ++round) {
        parser->Close();
        SleepMs(3);
        Open("REC_a.avi");
        SleepMs(1);
        EXPECT_EQ(parser->SeekTime(1.0f), 1);
        char id[5] = {};
        int size = kPacketBufferBytes;
        do {
            ASSERT_EQ(parser->ParseMedia(id, data.data(), &size), 5);
        } while (id[0] == '\0');
        EXPECT_EQ(SeqOf(data), FakeLibrary::kGop) << "round " << round;
    }
    parser->Stop();
    EXPECT_FALSE(lib.overlapped.load());
}

TEST_F(ParserTest, StopDuringReading)
{
    parser->Start();
    Open("REC_a.avi");
    std::vector<uint8_t> data(kPacketBufferBytes);
    char id[5] = {};
    int size = kPacketBufferBytes;
    ASSERT_EQ(parser->ParseMedia(id, data.data(), &size), 5);
    ASSERT_STREQ(id, "00dc");
    parser->Stop();
    parser->Start();  // and it starts again, from the first packet of the recording
    Open("REC_a.avi");
    char again[5] = {};
    std::fill(data.begin(), data.end(), uint8_t{0xEE});
    size = kPacketBufferBytes;
    EXPECT_EQ(parser->ParseMedia(again, data.data(), &size), 5);
    EXPECT_STREQ(again, "00dc");
    EXPECT_EQ(size, 4);
    EXPECT_EQ(SeqOf(data), 0);
}

TEST_F(ParserTest, EmptyPacketsAreLeftOutWhateverElseIsQueued)
{
    // Text, an empty one, text: all three are read before anyone takes a packet.
    lib.streamEnd = 3;
    lib.read = [this](uint8_t* type, uint8_t* status, uint8_t*, int* size, void* buffer) {
        if (lib.position == lib.streamEnd) {
            return MUB_READ_END;
        }
        const int i = lib.position++;
        *type = 0;
        *status = 3;
        *size = i == 1 ? 0 : 4;
        std::memcpy(buffer, &i, sizeof i);
        return MUB_READ_OK;
    };
    parser->Start();
    Open("REC_a.avi");
    while (parser->IsReading()) {
        SleepMs(1);
    }
    std::vector<uint8_t> data(kPacketBufferBytes);
    std::vector<int> got;
    for (;;) {
        char id[5] = {};
        int size = kPacketBufferBytes;
        if (parser->ParseMedia(id, data.data(), &size) < 0) {
            break;
        }
        EXPECT_STREQ(id, "03tx");
        EXPECT_EQ(size, 4);
        got.push_back(SeqOf(data));
    }
    EXPECT_EQ(got, (std::vector<int>{0, 2}));
}

TEST_F(ParserTest, OversizePacketsAreReportedOncePerRecording)
{
    // Too big for the library's buffer, for the queue, and for the caller's buffer.
    int calls = 0;
    lib.read = [&calls](uint8_t* type, uint8_t* status, uint8_t*, int* size, void*) {
        const int i = calls++ % 8;
        if (i == 7) {
            return MUB_READ_END;
        }
        if (i < 3) {
            return MUB_READ_TOOBIG;
        }
        *type = 0;
        *status = 2;
        *size = i == 3 ? CMUBParser::kQueueBytes : i == 4 ? 5000 : 8;
        return MUB_READ_OK;
    };
    parser->Start();
    for (int recording = 0; recording < 2; ++recording) {
        testing::internal::CaptureStdout();
        Open("REC_a.avi");
        std::vector<uint8_t> small(1000);
        std::vector<int> sizes;
        for (;;) {
            char id[5] = {};
            int size = static_cast<int>(small.size());
            if (parser->ParseMedia(id, small.data(), &size) < 0) {
                break;
            }
            if (id[0] != '\0') {
                sizes.push_back(size);
            }
        }
        std::fflush(stdout);
        const std::string out = testing::internal::GetCapturedStdout();
        EXPECT_EQ(sizes, (std::vector<int>{8, 8}));
        const std::string line = "[CMUBParser] Oversize packet skipped in REC_a.avi";
        EXPECT_NE(out.find(line), std::string::npos) << out;
        EXPECT_EQ(out.find(line), out.rfind(line)) << out;
    }
}

}  // namespace
