// The recording container on its own: round trip, header fields, recovery of recordings
// cut short, and damaged bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "tests/mublib/card_fixture.h"

namespace {

using mub::CMubMemorySource;
using mub::CMubReader;
using mub::PacketInfo;
using mub::ReadResult;

std::vector<ScriptPacket> ReadAll(CMubReader& r, uint32_t capacity = 0x200000)
{
    std::vector<ScriptPacket> got;
    std::vector<uint8_t> buf(capacity);
    PacketInfo info;
    ReadResult res;
    while ((res = r.Next(buf.data(), capacity, &info)) == ReadResult::kOk) {
        got.push_back({info.type, info.status, info.flag, info.timeMs,
                       std::vector<uint8_t>(buf.begin(), buf.begin() + info.length)});
    }
    EXPECT_EQ(res, ReadResult::kEnd);
    return got;
}

void ExpectSamePackets(const std::vector<ScriptPacket>& want, const std::vector<ScriptPacket>& got)
{
    ASSERT_EQ(want.size(), got.size());
    for (size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(want[i].type, got[i].type) << i;
        ASSERT_EQ(want[i].status, got[i].status) << i;
        ASSERT_EQ(want[i].flag, got[i].flag) << i;
        ASSERT_EQ(want[i].timeMs, got[i].timeMs) << i;
        ASSERT_EQ(want[i].bytes, got[i].bytes) << i;
    }
}

class ContainerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        script = MakeScript(6, 30, true, 7);
        path = dir.Path() + "/rec.mub";
        ASSERT_TRUE(WriteScript(path, MakeDescription(1, 'D', 30, true), script));
        bytes = ReadWholeFile(path);
    }
    bool OpenBytes(CMubReader& r, const std::vector<uint8_t>& b)
    {
        return r.Open(std::make_unique<CMubMemorySource>(b.data(), b.size()));
    }

    CTempDir dir;
    std::vector<ScriptPacket> script;
    std::string path;
    std::vector<uint8_t> bytes;
};

TEST_F(ContainerTest, PacketsComeBackIdenticalFromFileAndMemory)
{
    auto src = std::make_unique<mub::CMubFileSource>();
    ASSERT_TRUE(src->Open(path));
    CMubReader fromFile;
    ASSERT_TRUE(fromFile.Open(std::move(src)));
    EXPECT_FALSE(fromFile.WasRecovered());
    ExpectSamePackets(script, ReadAll(fromFile));

    CMubReader fromMemory;
    ASSERT_TRUE(OpenBytes(fromMemory, bytes));
    ExpectSamePackets(script, ReadAll(fromMemory));
}

TEST_F(ContainerTest, HeaderCountsAndDescriptionOffsets)
{
    CMubReader r;
    ASSERT_TRUE(OpenBytes(r, bytes));
    const auto& h = r.Header();
    EXPECT_EQ(h.frameCount[0], 180u);
    EXPECT_EQ(h.frameCount[1], 180u);
    EXPECT_EQ(h.frameCount[2], 0u);
    EXPECT_EQ(h.audioCount, 24u);
    EXPECT_EQ(h.accCount, 60u);
    EXPECT_EQ(h.gpsCount, 6u);
    EXPECT_EQ(h.indexCount, 6u);
    EXPECT_EQ(h.packetCount, script.size());
    // The offsets callers read the description record at.
    const uint8_t* d = h.description;
    EXPECT_EQ(d[3], 30);
    EXPECT_EQ(d[4], 30);
    EXPECT_EQ(d[5], 0);
    EXPECT_EQ(d[0x34] | d[0x35] << 8, 640);
    EXPECT_EQ(d[0x36] | d[0x37] << 8, 320);
    EXPECT_EQ(d[0x14] | d[0x15] << 8, 360);
    EXPECT_EQ(d[0x16] | d[0x17] << 8, 180);
    // The record sits at 0x60 of the file.
    EXPECT_EQ(0, std::memcmp(bytes.data() + mub::kDescriptionOffset, d, mub::kDescriptionBytes));
    EXPECT_EQ(0, std::memcmp(bytes.data(), "MUBREC", 6));
}

TEST_F(ContainerTest, SeekKeyUnitLandsOnFrontKeyOfThatSecondAndClamps)
{
    CMubReader r;
    ASSERT_TRUE(OpenBytes(r, bytes));
    std::vector<uint8_t> buf(0x10000);
    PacketInfo info;
    for (int n : {0, 2, 5}) {
        ASSERT_TRUE(r.SeekKeyUnit(n));
        ASSERT_EQ(r.Next(buf.data(), static_cast<uint32_t>(buf.size()), &info), ReadResult::kOk);
        EXPECT_EQ(info.type, 0);
        EXPECT_EQ(info.status, mub::kStatusKey);
        EXPECT_EQ(info.timeMs, static_cast<uint32_t>(n * 1000));
    }
    ASSERT_TRUE(r.SeekKeyUnit(99));
    ASSERT_EQ(r.Next(buf.data(), static_cast<uint32_t>(buf.size()), &info), ReadResult::kOk);
    EXPECT_EQ(info.timeMs, 5000u);
    ASSERT_TRUE(r.SeekKeyUnit(-3));
    ASSERT_EQ(r.Next(buf.data(), static_cast<uint32_t>(buf.size()), &info), ReadResult::kOk);
    EXPECT_EQ(info.timeMs, 0u);
}

TEST_F(ContainerTest, PacketTooBigForBufferIsSkippedNotOverrun)
{
    CMubReader r;
    ASSERT_TRUE(OpenBytes(r, bytes));
    // Key units are over 3000 bytes, the rest far smaller.
    const uint32_t cap = 1000;
    std::vector<uint8_t> buf(cap + 16, 0xEE);
    PacketInfo info;
    size_t i = 0, tooBig = 0;
    for (;;) {
        ReadResult res = r.Next(buf.data(), cap, &info);
        if (res == ReadResult::kEnd) {
            break;
        }
        ASSERT_LT(i, script.size());
        if (res == ReadResult::kTooBig) {
            EXPECT_GT(script[i].bytes.size(), cap);
            ++tooBig;
        } else {
            ASSERT_EQ(res, ReadResult::kOk);
            EXPECT_EQ(info.length, script[i].bytes.size());
        }
        ++i;
    }
    EXPECT_EQ(i, script.size());
    size_t want = 0;
    for (const auto& p : script) {
        want += p.bytes.size() > cap ? 1 : 0;
    }
    EXPECT_EQ(tooBig, want);  // key units and audio
    EXPECT_EQ(want, 12u + 24u);
    for (size_t k = cap; k < buf.size(); ++k) {
        ASSERT_EQ(buf[k], 0xEE);
    }
}

TEST_F(ContainerTest, CutRecordingReadsUpToTheCutAtRandomPoints)
{
    // Where each packet ends, to know how many whole packets a cut leaves.
    std::vector<uint64_t> ends;
    uint64_t pos = mub::kHeaderBytes;
    for (const auto& p : script) {
        pos += mub::kPacketHeaderBytes + p.bytes.size();
        ends.push_back(pos);
    }
    std::mt19937 rng(40);
    for (int trial = 0; trial < 40; ++trial) {
        const size_t cut =
            trial == 0 ? mub::kHeaderBytes : mub::kHeaderBytes + rng() % (bytes.size() - mub::kHeaderBytes);
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<long>(cut));
        CMubReader r;
        ASSERT_TRUE(OpenBytes(r, part)) << cut;
        const size_t whole =
            static_cast<size_t>(std::upper_bound(ends.begin(), ends.end(), cut) - ends.begin());
        if (cut < ends.back()) {
            EXPECT_TRUE(r.WasRecovered());
        }
        auto got = ReadAll(r);
        ASSERT_EQ(got.size(), whole) << "cut at " << cut;
        ExpectSamePackets(
            std::vector<ScriptPacket>(script.begin(), script.begin() + static_cast<long>(whole)), got);
        EXPECT_EQ(r.Header().packetCount, whole);
    }
}

TEST_F(ContainerTest, UnfinishedRecordingIsScannedAndIndexed)
{
    const std::string cut = dir.Path() + "/cut.mub";
    ASSERT_TRUE(WriteScript(cut, MakeDescription(1, 'D', 30, true), script, false));
    auto src = std::make_unique<mub::CMubFileSource>();
    ASSERT_TRUE(src->Open(cut));
    CMubReader r;
    ASSERT_TRUE(r.Open(std::move(src)));
    EXPECT_TRUE(r.WasRecovered());
    EXPECT_EQ(r.Header().frameCount[0], 180u);
    EXPECT_EQ(r.KeyIndex().size(), 6u);
    ExpectSamePackets(script, ReadAll(r));
}

TEST_F(ContainerTest, DamagedIndexFallsBackToScan)
{
    std::vector<uint8_t> b = bytes;
    // Point the first index entry somewhere else; the index checksum no longer holds.
    mub::RecordingHeader h;
    bool ok = false;
    ASSERT_TRUE(mub::ParseHeader(b.data(), b.size(), &h, &ok));
    b[h.indexOffset + 8] ^= 0x40;
    CMubReader r;
    ASSERT_TRUE(OpenBytes(r, b));
    EXPECT_TRUE(r.WasRecovered());
    ExpectSamePackets(script, ReadAll(r));
}

// Replaces the index of a finished recording (with valid checksums) and lets the header be
// changed too, as someone crafting a file would.
std::vector<uint8_t> Refinish(const std::vector<uint8_t>& b, const std::vector<uint64_t>& entries,
                              void (*change)(mub::RecordingHeader*) = nullptr)
{
    mub::RecordingHeader h;
    bool ok = false;
    EXPECT_TRUE(mub::ParseHeader(b.data(), b.size(), &h, &ok));
    std::vector<uint8_t> out(b.begin(), b.begin() + static_cast<long>(h.dataEnd));
    auto put = [&out](uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            out.push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    };
    out.insert(out.end(), {'M', 'I', 'D', 'X'});
    put(entries.size(), 4);
    const size_t first = out.size();
    for (uint64_t e : entries) {
        put(e, 8);
    }
    put(mub::Crc32(out.data() + first, out.size() - first), 4);
    out.insert(out.end(), {'M', 'E', 'N', 'D', 0, 0, 0, 0});
    put(h.indexOffset, 8);
    h.indexCount = static_cast<uint32_t>(entries.size());
    if (change != nullptr) {
        change(&h);
    }
    mub::WriteHeader(h, out.data());
    return out;
}

TEST_F(ContainerTest, IndexIsTrustedOnlyWhenTheHeaderCountsAllowIt)
{
    CMubReader genuine;
    ASSERT_TRUE(OpenBytes(genuine, bytes));
    const std::vector<uint64_t> keys = genuine.KeyIndex();
    std::vector<uint64_t> everyPacket;
    for (uint64_t pos = mub::kHeaderBytes; pos < genuine.Header().dataEnd;) {
        everyPacket.push_back(pos);
        pos += mub::kPacketHeaderBytes + (bytes[pos + 4] | bytes[pos + 5] << 8 | bytes[pos + 6] << 16);
    }
    std::vector<uint64_t> wrapping = keys;
    wrapping.back() = UINT64_MAX - 7;  // off + header size wraps to 8
    std::vector<uint64_t> overlapping = keys;
    overlapping[1] = overlapping[0] + 1;

    struct Case {
        const char* what;
        std::vector<uint64_t> entries;
        void (*change)(mub::RecordingHeader*);
        bool trusted;
    };
    const Case cases[] = {
        {"rewritten as it was", keys, nullptr, true},
        // Bounded only by the file size, such an index once cost twice the file in memory.
        {"more entries than front units", everyPacket, nullptr, false},
        {"more front units than packets", everyPacket,
         [](mub::RecordingHeader* h) { h->frameCount[0] = h->packetCount + 1; }, false},
        {"more packets than the data holds", keys,
         [](mub::RecordingHeader* h) { h->packetCount = static_cast<uint32_t>(h->dataEnd / 16); }, false},
        {"an entry near 2^64", wrapping, nullptr, false},
        {"entries closer than a packet header", overlapping, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<uint8_t> b = Refinish(bytes, c.entries, c.change);
        CMubReader r;
        ASSERT_TRUE(OpenBytes(r, b));
        EXPECT_EQ(r.WasRecovered(), !c.trusted);
        EXPECT_EQ(r.KeyIndex(), keys);  // the scan finds the real key units
        ExpectSamePackets(script, ReadAll(r));
    }
}

// Bytes whose reads fail from an offset on, as on a card with a bad region.
class FailingSource : public CMubMemorySource {
public:
    FailingSource(const std::vector<uint8_t>& b, uint64_t failFrom)
        : CMubMemorySource(b.data(), b.size()), m_failFrom(failFrom)
    {
    }
    bool ReadAt(uint64_t offset, void* buffer, size_t len) override
    {
        return offset + len <= m_failFrom && CMubMemorySource::ReadAt(offset, buffer, len);
    }

private:
    uint64_t m_failFrom;
};

TEST_F(ContainerTest, ReadFailureIsAnErrorNotTheEnd)
{
    const std::string cut = dir.Path() + "/cut.mub";
    ASSERT_TRUE(WriteScript(cut, MakeDescription(1, 'D', 30, true), script, false));
    std::vector<uint8_t> unfinished = ReadWholeFile(cut);
    uint64_t failFrom = mub::kHeaderBytes;
    for (size_t i = 0; i < 40; ++i) {
        failFrom += mub::kPacketHeaderBytes + script[i].bytes.size();
    }
    // The index lies past the failure too, so both are scanned on Open: they read up to
    // the failure, and then report it instead of an end.
    for (const std::vector<uint8_t>* b : {&bytes, &unfinished}) {
        SCOPED_TRACE(b == &bytes ? "finished" : "unfinished");
        CMubReader r;
        ASSERT_TRUE(r.Open(std::make_unique<FailingSource>(*b, failFrom + 3)));
        std::vector<uint8_t> buf(0x200000);
        PacketInfo info;
        for (size_t i = 0; i < 40; ++i) {
            ASSERT_EQ(r.Next(buf.data(), static_cast<uint32_t>(buf.size()), &info), ReadResult::kOk) << i;
        }
        EXPECT_EQ(r.Next(buf.data(), static_cast<uint32_t>(buf.size()), &info), ReadResult::kError);
        EXPECT_EQ(r.Next(buf.data(), static_cast<uint32_t>(buf.size()), &info), ReadResult::kError);
    }
}

TEST_F(ContainerTest, DamagedPacketIsPassedOverToTheNextKeyUnit)
{
    // Damage the sync byte of a packet in the middle of second 2.
    size_t victim = 0, resume = 0;
    uint64_t pos = mub::kHeaderBytes, victimPos = 0;
    int keys = 0;
    for (size_t i = 0; i < script.size(); ++i) {
        if (script[i].type == 0 && script[i].status == mub::kStatusKey && keys++ == 3) {
            resume = i;
            break;
        }
        if (victim == 0 && script[i].timeMs == 2500) {
            victim = i;
            victimPos = pos;
        }
        pos += mub::kPacketHeaderBytes + script[i].bytes.size();
    }
    ASSERT_GT(victim, 0u);
    ASSERT_GT(resume, victim);
    std::vector<uint8_t> b = bytes;
    b[victimPos] ^= 0xFF;
    CMubReader r;
    ASSERT_TRUE(OpenBytes(r, b));
    std::vector<ScriptPacket> want(script.begin(), script.begin() + static_cast<long>(victim));
    want.insert(want.end(), script.begin() + static_cast<long>(resume), script.end());
    ExpectSamePackets(want, ReadAll(r));
}

TEST_F(ContainerTest, RandomCorruptionNeverCrashesOrHangs)
{
    std::mt19937 rng(1234);
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<uint8_t> b = bytes;
        const int flips = 1 + static_cast<int>(rng() % 16);
        for (int k = 0; k < flips; ++k) {
            // Bias towards the header and the index, where lengths and offsets live.
            size_t at = rng() % 3 == 0   ? rng() % mub::kHeaderBytes
                        : rng() % 3 == 0 ? b.size() - 1 - rng() % 128
                                         : rng() % b.size();
            b[at] = static_cast<uint8_t>(rng());
        }
        const auto stats = mub::ReadAllPackets(b.data(), b.size(), trial % 2 ? 0x200000 : 512);
        EXPECT_LE(stats.packets, script.size() + 1);
    }
    // Nothing at all, and a header alone.
    EXPECT_FALSE(mub::ReadAllPackets(nullptr, 0).opened);
    EXPECT_TRUE(mub::ReadAllPackets(bytes.data(), mub::kHeaderBytes).opened);
}

TEST(ContainerWriter, RejectsPacketsTheReaderWouldRefuse)
{
    CTempDir dir;
    mub::CMubWriter w;
    ASSERT_TRUE(w.Create(dir.Path() + "/x.mub", MakeDescription(1, 'N', 30, false)));
    const uint8_t b[4] = {};
    EXPECT_FALSE(w.WritePacket(3, mub::kStatusKey, 1, 0, b, 4));  // no channel 3
    EXPECT_FALSE(w.WritePacket(0, 7, 0, 0, b, 4));                // no status 7
    EXPECT_TRUE(w.WritePacket(0, mub::kStatusKey, 1, 0, b, 4));
    EXPECT_TRUE(w.Finish());
}

}  // namespace
