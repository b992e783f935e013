// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/aviwriter.h"
#include "tests/support/memory_sink.h"
#include "tests/support/trace_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

// Little-endian expected bytes, spelled out field by field.
class Expect {
public:
    Expect& id(const char* four)
    {
        bytes.insert(bytes.end(), four, four + 4);
        return *this;
    }
    Expect& u32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i) {
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
        return *this;
    }
    Expect& u16(uint16_t v)
    {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    Expect& raw(std::initializer_list<uint8_t> b)
    {
        bytes.insert(bytes.end(), b);
        return *this;
    }
    std::vector<uint8_t> bytes;
};

uint32_t U32At(const std::vector<uint8_t>& b, size_t pos)
{
    return static_cast<uint32_t>(b.at(pos)) | static_cast<uint32_t>(b.at(pos + 1)) << 8 |
           static_cast<uint32_t>(b.at(pos + 2)) << 16 | static_cast<uint32_t>(b.at(pos + 3)) << 24;
}

std::string IdAt(const std::vector<uint8_t>& b, size_t pos)
{
    return std::string(reinterpret_cast<const char*>(b.data() + pos), 4);
}

// The writer owns the sink; the test keeps a pointer to look at the bytes.
struct Fixture {
    CMemorySink* sink = new CMemorySink;
    CAVIWriter writer{sink};
};

// Offsets inside a file: RIFF size at 4, total frames at 48, streams at 56.
constexpr size_t kRiffSizeAt = 4;
constexpr size_t kHdrlSizeAt = 16;
constexpr size_t kTotalFramesAt = 48;
constexpr size_t kStreamsAt = 56;

}  // namespace

TEST(AviWriter, SmallFileMatchesTheGoldenBytes)
{
    Fixture f;
    f.writer.SetVideoSize(0, 64, 48);
    f.writer.SetFrameRate(0, 30);
    f.writer.SetTwoChannels(false);
    f.writer.SetThreeChannels(false);
    ASSERT_TRUE(f.writer.Create("golden.avi"));
    ASSERT_TRUE(f.writer.AddData("ABCDE", 5, 0));
    const uint8_t pcm[] = {1, 2, 3, 4};
    ASSERT_TRUE(f.writer.AddData(pcm, 4, 3));
    ASSERT_TRUE(f.writer.AddData("xyz", 3, 4));
    EXPECT_EQ(f.writer.Finish(), 494);

    Expect e;
    e.id("RIFF").u32(494).id("AVI ");
    e.id("LIST").u32(376).id("hdrl");
    e.id("avih").u32(56).u32(0).u32(0).u32(0).u32(0x110).u32(3).u32(0).u32(3).u32(0).u32(64).u32(48);
    e.u32(0).u32(0).u32(0).u32(0);
    // video: scale 1000, rate 30000, length 1, suggested buffer 6 (padded bytes / chunks)
    e.id("LIST").u32(116).id("strl");
    e.id("strh").u32(56).id("vids").id("AVC1").u32(0).u16(0).u16(0).u32(0).u32(1000).u32(30000).u32(0);
    e.u32(1).u32(6).u32(0).u32(0).u16(0).u16(0).u16(64).u16(48);
    e.id("strf").u32(40).u32(40).u32(64).u32(48).u32(0).id("AVC1").u32(0).u32(0).u32(0).u32(0).u32(0);
    // audio: scale 2, rate 16000, length 2000 per chunk
    e.id("LIST").u32(92).id("strl");
    e.id("strh").u32(56).id("auds").u32(0).u32(0).u16(0).u16(0).u32(0).u32(2).u32(16000).u32(0);
    e.u32(2000).u32(2000).u32(0).u32(2).u16(0).u16(0).u16(0).u16(0);
    e.id("strf").u32(16).u16(1).u16(1).u32(8000).u32(16000).u16(2).u16(16);
    // text
    e.id("LIST").u32(76).id("strl");
    e.id("strh").u32(56).id("txts").id("XBLB").u32(0).u16(0).u16(0).u32(0).u32(1000).u32(100000).u32(0);
    e.u32(1).u32(4).u32(0).u32(0).u16(0).u16(0).u16(0).u16(0);
    e.id("strf").u32(0);
    // movie list: odd payloads padded with a zero byte
    e.id("LIST").u32(42).id("movi");
    e.id("00dc").u32(5).raw({'A', 'B', 'C', 'D', 'E', 0});
    e.id("01wb").u32(4).raw({1, 2, 3, 4});
    e.id("02tx").u32(3).raw({'x', 'y', 'z', 0});
    e.id("idx1").u32(48);
    e.id("00dc").u32(0x10).u32(4).u32(6);
    e.id("01wb").u32(0x10).u32(18).u32(4);
    e.id("02tx").u32(0x10).u32(30).u32(4);

    EXPECT_EQ(f.sink->Bytes(), e.bytes);
    EXPECT_EQ(f.sink->Bytes().size(), 494u + 8u);
}

TEST(AviWriter, HeaderSizeAndStreamsFollowTheChannels)
{
    struct Case {
        bool second;
        bool third;
        int headerSize;
        uint32_t streams;
        const char* ids;  // slots 0..4
    };
    const Case cases[] = {
        {false, false, 380, 3, "00dc00dc    01wb02tx"},
        {true, false, 504, 4, "00dc01dc    02wb03tx"},
        {false, true, 504, 4, "00dc00dc01dc02wb03tx"},
        {true, true, 628, 5, "00dc01dc02dc03wb04tx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "second " << c.second << " third " << c.third);
        Fixture f;
        f.writer.SetTwoChannels(c.second);
        f.writer.SetThreeChannels(c.third);
        ASSERT_TRUE(f.writer.Create("empty.avi"));
        EXPECT_EQ(f.writer.HeaderSize(), c.headerSize);
        for (int slot = 0; slot < 5; ++slot) {
            const std::string want(c.ids + 4 * slot, 4);
            if (want != "    ") {
                EXPECT_EQ(std::string(f.writer.ChunkId(slot), 4), want) << "slot " << slot;
            }
        }
        // No packets: RIFF size = 4 + (header + 4) + 12 + 8.
        const int riff = f.writer.Finish();
        EXPECT_EQ(riff, 4 + c.headerSize + 4 + 12 + 8);
        const auto& b = f.sink->Bytes();
        ASSERT_EQ(b.size(), static_cast<size_t>(riff) + 8);
        EXPECT_EQ(U32At(b, kRiffSizeAt), static_cast<uint32_t>(riff));
        EXPECT_EQ(U32At(b, kHdrlSizeAt), static_cast<uint32_t>(c.headerSize - 4));
        EXPECT_EQ(U32At(b, kStreamsAt), c.streams);
        const size_t movi = static_cast<size_t>(c.headerSize) + 16;
        EXPECT_EQ(IdAt(b, movi), "LIST");
        EXPECT_EQ(U32At(b, movi + 4), 4u);
        EXPECT_EQ(IdAt(b, movi + 12), "idx1");
        EXPECT_EQ(U32At(b, movi + 16), 0u);
    }
}

TEST(AviWriter, CreateWritesPlaceholdersUntilFinish)
{
    Fixture f;
    ASSERT_TRUE(f.writer.Create("open.avi"));
    const auto& b = f.sink->Bytes();
    ASSERT_EQ(b.size(), 380u + 28u);
    EXPECT_EQ(IdAt(b, kRiffSizeAt), "0000");
    EXPECT_EQ(IdAt(b, 380 + 20), "0000");  // movie list size
    EXPECT_EQ(IdAt(b, 380 + 24), "movi");
}

TEST(AviWriter, OddPacketIsPaddedAndIndexedEven)
{
    Fixture f;
    ASSERT_TRUE(f.writer.Create("odd.avi"));
    ASSERT_TRUE(f.writer.AddData("12345", 5, 0));
    ASSERT_TRUE(f.writer.AddData("ab", 2, 0));
    const int riff = f.writer.Finish();
    const auto& b = f.sink->Bytes();
    const size_t first = 408;  // first chunk header
    EXPECT_EQ(IdAt(b, first), "00dc");
    EXPECT_EQ(U32At(b, first + 4), 5u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[first + 8]), 5), "12345");
    EXPECT_EQ(b[first + 13], 0);
    EXPECT_EQ(IdAt(b, first + 14), "00dc");  // next chunk 14 bytes further
    EXPECT_EQ(U32At(b, first + 18), 2u);
    const size_t idx = first + 14 + 10;
    EXPECT_EQ(IdAt(b, idx), "idx1");
    EXPECT_EQ(U32At(b, idx + 8 + 8), 4u);    // offset from "movi"
    EXPECT_EQ(U32At(b, idx + 8 + 12), 6u);   // length rounded up
    EXPECT_EQ(U32At(b, idx + 24 + 8), 18u);  // 4 + 14
    EXPECT_EQ(riff, static_cast<int>(b.size()) - 8);
    EXPECT_EQ(U32At(b, 380 + 20), 4u + 8 + 6 + 8 + 2);  // movie list size
}

TEST(AviWriter, FrameRateOfAnUnknownChannelOrAfterCreateChangesNothing)
{
    auto write = [](bool extra) {
        Fixture f;
        f.writer.SetFrameRate(0, 30);
        if (extra) {
            f.writer.SetFrameRate(3, 25);
            f.writer.SetFrameRate(-1, 25);
            f.writer.SetVideoSize(3, 1, 1);
        }
        EXPECT_TRUE(f.writer.Create("rate.avi"));
        if (extra) {
            f.writer.SetFrameRate(0, 25);  // too late for this file
        }
        EXPECT_TRUE(f.writer.AddData("abcd", 4, 0));
        f.writer.Finish();
        return f.sink->Bytes();
    };
    const std::vector<uint8_t> plain = write(false);
    EXPECT_EQ(write(true), plain);
    EXPECT_EQ(U32At(plain, 132), 30000u);  // video stream header rate
}

TEST(AviWriter, SecondChannelOffStoresSlotOneUnderTheFirstChannelsId)
{
    Fixture f;
    f.writer.SetTwoChannels(false);
    ASSERT_TRUE(f.writer.Create("one.avi"));
    ASSERT_TRUE(f.writer.AddData("aa", 2, 0));
    ASSERT_TRUE(f.writer.AddData("bb", 2, 1));
    f.writer.Finish();
    const auto& b = f.sink->Bytes();
    EXPECT_EQ(IdAt(b, 408), "00dc");
    EXPECT_EQ(IdAt(b, 418), "00dc");
    EXPECT_EQ(IdAt(b, 428 + 8), "00dc");
    EXPECT_EQ(IdAt(b, 428 + 24), "00dc");
    EXPECT_EQ(U32At(b, kStreamsAt), 3u);
}

TEST(AviWriter, ChunkIdsDoNotDependOnTheOrderOfTheChannelCalls)
{
    Fixture f;
    f.writer.SetThreeChannels(true);
    f.writer.SetTwoChannels(true);  // reversed order
    ASSERT_TRUE(f.writer.Create("three.avi"));
    EXPECT_EQ(std::string(f.writer.ChunkId(2), 4), "02dc");
    EXPECT_EQ(std::string(f.writer.ChunkId(3), 4), "03wb");
    f.writer.Finish();

    // Dropping the third channel must not leave audio and text on stream numbers that
    // the header no longer declares.
    f.writer.SetThreeChannels(false);
    ASSERT_TRUE(f.writer.Create("two.avi"));
    EXPECT_EQ(std::string(f.writer.ChunkId(3), 4), "02wb");
    EXPECT_EQ(std::string(f.writer.ChunkId(4), 4), "03tx");
}

TEST(AviWriter, ChannelChangesWhileWritingDoNotReachTheOpenFile)
{
    Fixture f;
    ASSERT_TRUE(f.writer.Create("a.avi"));
    f.writer.SetTwoChannels(true);
    f.writer.SetThreeChannels(true);
    EXPECT_TRUE(f.writer.AddData("x", 1, 3));
    EXPECT_FALSE(f.writer.AddData("x", 1, 2));
    const int riff = f.writer.Finish();
    EXPECT_EQ(riff, static_cast<int>(f.sink->Bytes().size()) - 8);
    EXPECT_EQ(U32At(f.sink->Bytes(), kStreamsAt), 3u);
    EXPECT_EQ(IdAt(f.sink->Bytes(), 408), "01wb");
}

TEST(AviWriter, BadPacketsAreRefusedWithoutWritingAnything)
{
    Fixture f;
    ASSERT_TRUE(f.writer.Create("bad.avi"));
    const size_t before = f.sink->Bytes().size();
    CTraceCapture trace;
    EXPECT_FALSE(f.writer.AddData("abc", 3, -1));
    EXPECT_FALSE(f.writer.AddData("abc", 3, 5));
    EXPECT_FALSE(f.writer.AddData("abc", -1, 0));
    EXPECT_FALSE(f.writer.AddData(nullptr, 3, 0));
    EXPECT_FALSE(f.writer.AddData("abc", 3, 2));  // no third channel in this file
    trace.Take();
    EXPECT_EQ(f.sink->Bytes().size(), before);
    EXPECT_EQ(f.writer.Chunks(), 0);
    EXPECT_TRUE(f.writer.AddData(nullptr, 0, 4));  // an empty chunk is fine
    EXPECT_EQ(f.writer.Finish(), 4 + 384 + 12 + 8 + 8 + 16);
}

TEST(AviWriter, IdleWriterRefusesAndFinishWritesNothing)
{
    Fixture f;
    CTraceCapture trace;
    EXPECT_FALSE(f.writer.AddData("abc", 3, 0));
    EXPECT_EQ(trace.Take(), "[CAVIWriter] AddData : File is already closed\n");
    EXPECT_EQ(f.writer.Finish(), 0);
    EXPECT_EQ(f.sink->Opens(), 0);
    EXPECT_TRUE(f.sink->Bytes().empty());

    f.sink->SetRefuseOpen(true);
    EXPECT_FALSE(f.writer.Create("nowhere.avi"));
    EXPECT_TRUE(f.sink->Bytes().empty());
}

TEST(AviWriter, SecondCreateWithoutFinishKeepsTheFirstFile)
{
    Fixture f;
    ASSERT_TRUE(f.writer.Create("first.avi"));
    ASSERT_TRUE(f.writer.AddData("abcd", 4, 0));
    EXPECT_FALSE(f.writer.Create("second.avi"));
    EXPECT_EQ(f.sink->Path(), "first.avi");
    EXPECT_EQ(f.writer.Chunks(), 1);
    ASSERT_TRUE(f.writer.AddData("efgh", 4, 0));
    const int riff = f.writer.Finish();
    EXPECT_EQ(riff, static_cast<int>(f.sink->Bytes().size()) - 8);
    EXPECT_EQ(f.writer.Chunks(), 2);
}

TEST(AviWriter, ShortWriteIsTakenBackSoTheFileStaysConsistent)
{
    Fixture f;
    ASSERT_TRUE(f.writer.Create("short.avi"));
    ASSERT_TRUE(f.writer.AddData("good", 4, 0));
    f.sink->SetWriteBudget(8 + 3);       // the header and 3 of 7 payload bytes
    testing::internal::CaptureStderr();  // a write error is told with trace lines off too
    EXPECT_FALSE(f.writer.AddData("1234567", 7, 0));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "CAVIWriter::AddDataBody error 3 != 8\n");
    EXPECT_EQ(f.writer.Chunks(), 1);
    EXPECT_EQ(f.writer.SlotChunks(0), 1);
    f.sink->SetWriteBudget(-1);
    ASSERT_TRUE(f.writer.AddData("ok", 2, 3));
    const int riff = f.writer.Finish();
    const auto& b = f.sink->Bytes();
    // The index points at the chunks where they really are; the RIFF size ends at the index.
    EXPECT_EQ(riff, 4 + 384 + 12 + 8 + 4 + 8 + 2 + 8 + 32);
    const size_t idx = 408 + 12 + 10;
    ASSERT_EQ(IdAt(b, idx), "idx1");
    for (int i = 0; i < 2; ++i) {
        const uint32_t offset = U32At(b, idx + 8 + 16 * i + 8);
        EXPECT_EQ(IdAt(b, 404 + offset), IdAt(b, idx + 8 + 16 * i));
    }
    EXPECT_EQ(U32At(b, kTotalFramesAt), 2u);
}

// A chunk read straight into the writer's buffer is the same chunk, and a short write of
// it is taken back just the same.
TEST(AviWriter, ChunkBufferWritesWhatAddDataWrites)
{
    const std::vector<std::pair<std::string, int>> packets = {{"ABCDE", 0}, {"pcm!", 3}, {"xyz", 4}, {"", 0}};
    Fixture byCopy;
    Fixture inPlace;
    ASSERT_TRUE(byCopy.writer.Create("a.avi"));
    ASSERT_TRUE(inPlace.writer.Create("b.avi"));
    for (const auto& [bytes, slot] : packets) {
        ASSERT_TRUE(byCopy.writer.AddData(bytes.data(), static_cast<int>(bytes.size()), slot));
        uint8_t* chunk = inPlace.writer.ChunkBuffer(64);
        std::memcpy(chunk, bytes.data(), bytes.size());
        ASSERT_TRUE(inPlace.writer.AddChunk(static_cast<int>(bytes.size()), slot));
    }
    EXPECT_FALSE(inPlace.writer.AddChunk(65, 0));  // more than the buffer holds
    inPlace.sink->SetWriteBudget(8 + 3);
    testing::internal::CaptureStderr();
    std::memcpy(inPlace.writer.ChunkBuffer(64), "1234567", 7);
    EXPECT_FALSE(inPlace.writer.AddChunk(7, 0));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("CAVIWriter::AddDataBody error 3 != 8\n"),
              std::string::npos);
    inPlace.sink->SetWriteBudget(-1);
    EXPECT_EQ(inPlace.writer.Chunks(), 4);
    EXPECT_EQ(byCopy.writer.Finish(), inPlace.writer.Finish());
    EXPECT_EQ(byCopy.sink->Bytes(), inPlace.sink->Bytes());
}

TEST(AviWriter, FailureToTakeBackAShortWriteStopsTheFile)
{
    Fixture f;
    ASSERT_TRUE(f.writer.Create("broken.avi"));
    f.sink->SetWriteBudget(4);
    f.sink->SetRefuseSeek(true);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(f.writer.AddData("abcd", 4, 0));
    f.sink->SetWriteBudget(-1);
    EXPECT_FALSE(f.writer.AddData("abcd", 4, 0));
    EXPECT_EQ(f.writer.Finish(), 0);  // not reported as a good file
    testing::internal::GetCapturedStderr();
    EXPECT_FALSE(f.sink->IsOpen());
}

namespace {
// Counts bytes without keeping them, for files of gigabytes.
class CountingSink : public VFileSystem {
public:
    bool Open(const char*, const char*) override { return !std::exchange(m_open, true); }
    int Write(const void*, int length) override
    {
        m_pos += length;
        m_size = std::max(m_size, m_pos);
        return length;
    }
    bool Close() override
    {
        m_open = false;
        return true;
    }
    int Seek(long offset, int origin) override
    {
        m_pos = origin == 0 ? offset : origin == 1 ? m_pos + offset : m_size + offset;
        return 0;
    }
    bool IsOpen() override { return m_open; }
    long long Size() const { return m_size; }

private:
    bool m_open = false;
    long long m_pos = 0;
    long long m_size = 0;
};
}  // namespace

TEST(AviWriter, RefusesToGrowPastTheSizeItsFieldsCanHold)
{
    auto* sink = new CountingSink;
    CAVIWriter writer(sink);
    ASSERT_TRUE(writer.Create("big.avi"));
    const int chunk = 64 << 20;
    const std::vector<uint8_t> payload(static_cast<size_t>(chunk));
    // 408 + n * (chunk + 8 + 16) stays at most 0x7FFFFFFF for n = 31.
    for (int i = 0; i < 31; ++i) {
        ASSERT_TRUE(writer.AddData(payload.data(), chunk, 0)) << i;
    }
    CTraceCapture trace;
    EXPECT_FALSE(writer.AddData(payload.data(), chunk, 0));
    EXPECT_EQ(trace.Take(), "[CAVIWriter] AddData : file size limit reached\n");
    EXPECT_EQ(writer.Chunks(), 31);
    const long long room = 0x7FFFFFFFLL - (408 + 31LL * (chunk + 24));
    // room - 24 bytes would fit exactly, but the length is odd and its padding would not.
    EXPECT_FALSE(writer.AddData(payload.data(), static_cast<int>(room - 24), 3));
    EXPECT_TRUE(writer.AddData(payload.data(), static_cast<int>(room - 25), 3));
    EXPECT_FALSE(writer.AddData(payload.data(), 1, 3));
    const int riff = writer.Finish();
    EXPECT_EQ(riff, 0x7FFFFFFF - 1);
    EXPECT_EQ(sink->Size(), static_cast<long long>(riff) + 8);
}

TEST(AviWriter, AudioLengthPastAMillionChunksIsExactOrClamped)
{
    // The length counts 2000 samples a chunk; an int product overflowed past 1,073,741.
    const struct {
        int chunks;
        uint32_t length;
    } cases[] = {{1'100'000, 2'200'000'000u}, {2'200'000, 0xFFFFFFFFu}};
    constexpr size_t kAudioLengthAt = 264;  // strh of the audio list behind one video list
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chunks);
        Fixture f;
        ASSERT_TRUE(f.writer.Create("long.avi"));
        for (int i = 0; i < c.chunks; ++i) {
            ASSERT_TRUE(f.writer.AddData(nullptr, 0, CAVIWriter::kSlotAudio));
        }
        ASSERT_GT(f.writer.Finish(), 0);
        ASSERT_EQ(IdAt(f.sink->Bytes(), kAudioLengthAt - 32), "auds");
        EXPECT_EQ(U32At(f.sink->Bytes(), kAudioLengthAt), c.length);
    }
}

TEST(AviWriter, FailedCloseMakesFinishFail)
{
    Fixture f;
    ASSERT_TRUE(f.writer.Create("x.avi"));
    ASSERT_TRUE(f.writer.AddData("abcd", 4, 0));
    f.sink->SetFailClose(true);
    EXPECT_EQ(f.writer.Finish(), 0);
    EXPECT_FALSE(f.sink->IsOpen());
}
