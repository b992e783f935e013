// SPDX-License-Identifier: GPL-3.0-or-later
// Round trips through sample cards written by mubcard: what the card holds comes out of
// CMUBParser byte for byte, in order and with its stream ids; seeking, the end, cut and
// damaged recordings.
#include "sample_card.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <random>

using namespace sample;

namespace {

std::vector<uint8_t> ReadFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const fs::path& path, const uint8_t* data, size_t size)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Four recordings of four seconds, one per category, one per channel letter.
constexpr const char* kSmallCard =
    "--per-category 1 --letters DTEN --duration 4 --front 96x64 --rear 64x48 --third 64x48 "
    "--seed 7";
constexpr int kSeconds = 4;
constexpr int kFps = 30;

// Each case runs with the read-ahead thread and without it (reads on the caller's thread).
class RoundTrip : public ::testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<TempDir>("roundtrip");
        s_made = MakeCard(s_dir->Path(), kSmallCard);
    }
    static void TearDownTestSuite() { s_dir.reset(); }
    void SetUp() override
    {
        ASSERT_TRUE(s_made) << "mubcard failed: " << MubcardPath();
        card = std::make_unique<OpenedCard>(s_dir->Path());
        ASSERT_TRUE(card->Ok());
        if (GetParam()) {
            parser.Start();
        }
    }
    void TearDown() override
    {
        parser.Stop();
        card.reset();
    }
    std::string NameWithLetter(char letter) const
    {
        for (const CardRecording& r : card->All()) {
            if (r.name.size() > 6 && r.name[r.name.size() - 5] == letter) {
                return r.name;
            }
        }
        return {};
    }

    static std::unique_ptr<TempDir> s_dir;
    static bool s_made;
    std::unique_ptr<OpenedCard> card;
    CMUBParser parser;
};
std::unique_ptr<TempDir> RoundTrip::s_dir;
bool RoundTrip::s_made = false;

TEST_P(RoundTrip, EveryPacketComesOutAsStored)
{
    const std::vector<CardRecording> all = card->All();
    ASSERT_EQ(all.size(), 4u);
    for (const CardRecording& r : all) {
        SCOPED_TRACE(r.name);
        const std::vector<Packet> reference = ReadReference(ContainerFile(s_dir->Path(), r.name));
        ASSERT_FALSE(reference.empty());
        MediaInfo info;
        ASSERT_EQ(OpenByName(parser, r.name, &info), 1);
        const Delivery d = ReadThroughParser(parser, 100000);
        ASSERT_TRUE(d.ended);
        ASSERT_EQ(d.packets.size(), reference.size());
        for (size_t i = 0; i < reference.size(); ++i) {
            ASSERT_EQ(d.packets[i].id, reference[i].id) << "packet " << i;
            ASSERT_EQ(d.packets[i].bytes, reference[i].bytes) << "packet " << i;
        }

        // What mubcard writes: 30 fps on each channel the letter names, 16-bit sound at
        // 8000 Hz, H.264 access units in byte-stream form.
        const char letter = r.name[r.name.size() - 5];
        const bool rear = letter == 'D' || letter == 'T';
        const bool third = letter == 'T' || letter == 'E';
        EXPECT_EQ(info.frameRate0, kFps);
        EXPECT_EQ(info.frameRate1, rear ? kFps : 0);
        EXPECT_EQ(info.frameRate2, third ? kFps : 0);
        EXPECT_EQ(info.frameCount0, kSeconds * kFps);
        EXPECT_EQ(parser.GetVideoSize(0).width, 96);
        EXPECT_EQ(parser.GetVideoSize(0).height, 64);
        std::map<std::string, int> count;
        size_t audioBytes = 0;
        for (const Packet& p : d.packets) {
            ++count[p.id];
            if (p.id == "02wb") {
                audioBytes += p.bytes.size();
            } else if (p.id[2] == 'd') {
                ASSERT_GE(p.bytes.size(), 5u);
                EXPECT_EQ(std::vector<uint8_t>(p.bytes.begin(), p.bytes.begin() + 4),
                          (std::vector<uint8_t>{0, 0, 0, 1}));
            }
        }
        EXPECT_EQ(count["00dc"], kSeconds * kFps);
        EXPECT_EQ(count["01dc"], rear ? info.frameCount1 : 0);
        EXPECT_EQ(count["02dc"], third ? kSeconds * kFps : 0);
        EXPECT_EQ(audioBytes, static_cast<size_t>(kSeconds * 8000 * 2));
        EXPECT_EQ(count["02wb"], parser.RecordingInfo(13));
        EXPECT_GT(count["03tx"], 0);
        EXPECT_EQ(parser.KeyUnitCount(), kSeconds * kFps / 30 * (1 + (rear ? 1 : 0) + (third ? 1 : 0)));
    }
}

TEST_P(RoundTrip, NameWithIndexOpensTheListedRecording)
{
    const std::vector<CardRecording> driving =
        ListCardRecordings(card->Context(), card->CardId(), MUB_CATEGORY_DRIVING);
    ASSERT_EQ(driving.size(), 1u);
    MediaInfo info;
    ASSERT_EQ(OpenByName(parser, driving[0].name, &info), 1);
    const Delivery byName = ReadThroughParser(parser, 100000);

    std::string withIndex = "/" + driving[0].name + ",0";
    std::vector<char> text(withIndex.begin(), withIndex.end());
    text.push_back('\0');
    ASSERT_EQ(parser.Open(text.data(), &info), 1);
    EXPECT_STREQ(text.data(), ("/" + driving[0].name).c_str());
    const Delivery byIndex = ReadThroughParser(parser, 100000);
    ASSERT_TRUE(byIndex.ended);
    ASSERT_EQ(byIndex.packets.size(), byName.packets.size());
    EXPECT_TRUE(byIndex.packets.back().bytes == byName.packets.back().bytes);

    // No recording at that index: reported, and nothing is delivered.
    EXPECT_EQ(OpenByName(parser, driving[0].name + ",5", &info), 0);
    const Delivery none = ReadThroughParser(parser, 1000);
    EXPECT_TRUE(none.ended);
    EXPECT_TRUE(none.packets.empty());
}

TEST_P(RoundTrip, SeekDeliversTheKeyUnitStartingThatSecond)
{
    const std::string name = NameWithLetter('D');
    const fs::path file = ContainerFile(s_dir->Path(), name);
    const std::vector<Packet> whole = ReadReference(file);
    MediaInfo info;
    ASSERT_EQ(OpenByName(parser, name, &info), 1);
    std::vector<uint8_t> buffer(kPacketBufferBytes);
    for (int n : {2, 0, 3, 1, 3}) {
        SCOPED_TRACE(n);
        // Read a little first, so that the key units counted so far are not zero.
        for (int i = 0; i < 7; ++i) {
            char id[5] = {};
            int size = kPacketBufferBytes;
            parser.ParseMedia(id, buffer.data(), &size);
        }
        EXPECT_EQ(parser.SeekTime(n + 0.5f), n);
        const std::vector<Packet> from = ReadReference(file, n);
        ASSERT_FALSE(from.empty());
        ASSERT_TRUE(from[0].key);
        // The key unit sought starts front frame 30 n.
        int frontBefore = 0;
        for (const Packet& p : whole) {
            if (p.end == from[0].end) {
                break;
            }
            frontBefore += p.id == "00dc" ? 1 : 0;
        }
        EXPECT_EQ(frontBefore, n * kFps);
        const Delivery d = ReadThroughParser(parser, 40);
        ASSERT_GE(d.packets.size(), 20u);
        for (size_t i = 0; i < 20; ++i) {
            ASSERT_EQ(d.packets[i].id, from[i].id) << i;
            ASSERT_EQ(d.packets[i].bytes, from[i].bytes) << i;
        }
    }
}

TEST_P(RoundTrip, AfterTheEndOnlyMinusOneUntilSeekOrOpen)
{
    const std::string name = NameWithLetter('N');
    const fs::path file = ContainerFile(s_dir->Path(), name);
    MediaInfo info;
    ASSERT_EQ(OpenByName(parser, name, &info), 1);
    ASSERT_TRUE(ReadThroughParser(parser, 100000).ended);
    std::vector<uint8_t> buffer(kPacketBufferBytes);
    for (int i = 0; i < 3; ++i) {
        char id[5] = {};
        int size = kPacketBufferBytes;
        EXPECT_EQ(parser.ParseMedia(id, buffer.data(), &size), -1);
    }
    // A seek moves reading back into the recording.
    EXPECT_EQ(parser.SeekTime(1.0f), 1);
    Delivery d = ReadThroughParser(parser, 100000);
    EXPECT_TRUE(d.ended);
    EXPECT_EQ(d.packets.size(), ReadReference(file, 1).size());
    // A closed recording stays closed, seek or not.
    parser.Close();
    EXPECT_EQ(parser.SeekTime(1.0f), 1);
    char id[5] = {};
    int size = kPacketBufferBytes;
    EXPECT_EQ(parser.ParseMedia(id, buffer.data(), &size), -1);
    ASSERT_EQ(OpenByName(parser, name, &info), 1);
    d = ReadThroughParser(parser, 100000);
    EXPECT_TRUE(d.ended);
    EXPECT_EQ(d.packets.size(), ReadReference(file).size());
}

// Open, seek and read through the real library while the read-ahead runs, and stop the
// parser in the middle of reading (for ThreadSanitizer).
TEST_P(RoundTrip, ReopenSeekAndStopWhileReading)
{
    const std::vector<CardRecording> all = card->All();
    std::mt19937 rng(11);
    std::vector<uint8_t> buffer(kPacketBufferBytes);
    MediaInfo info;
    for (int round = 0; round < 30; ++round) {
        if (round % 5 == 0) {
            OpenByName(parser, all[rng() % all.size()].name, &info);
        }
        for (int i = static_cast<int>(rng() % 20); i > 0; --i) {
            char id[5] = {};
            int size = kPacketBufferBytes;
            parser.ParseMedia(id, buffer.data(), &size);
        }
        const int second = static_cast<int>(rng() % kSeconds);
        EXPECT_EQ(parser.SeekTime(static_cast<float>(second)), second);
        if (round % 7 == 3) {
            parser.Stop();
            parser.Start();
        }
    }
    parser.Stop();
}

INSTANTIATE_TEST_SUITE_P(Parser, RoundTrip, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ReadAhead" : "Direct"; });

class DamagedRecording : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = std::make_unique<TempDir>("damaged");
        ASSERT_TRUE(MakeCard(dir->Path(),
                             "--per-category 1 --letters D --duration 3 --front 96x64 "
                             "--rear 64x48 --seed 9"));
        card = std::make_unique<OpenedCard>(dir->Path());
        ASSERT_TRUE(card->Ok());
        ASSERT_FALSE(card->All().empty());
        name = card->All()[0].name;
        file = ContainerFile(dir->Path(), name);
        ASSERT_FALSE(file.empty());
        original = ReadFile(file);
        reference = ReadReference(file);
        ASSERT_FALSE(reference.empty());
        parser.Start();
    }
    void TearDown() override
    {
        parser.Stop();
        card.reset();
        dir.reset();
    }

    std::unique_ptr<TempDir> dir;
    std::string name;
    fs::path file;
    std::vector<uint8_t> original;
    std::vector<Packet> reference;
    std::unique_ptr<OpenedCard> card;
    CMUBParser parser;
};

TEST_F(DamagedRecording, CutRecordingPlaysUpToTheCut)
{
    std::mt19937 rng(40);
    std::uniform_int_distribution<size_t> at(0, original.size() - 1);
    for (int i = 0; i < 40; ++i) {
        const size_t cut = at(rng);
        SCOPED_TRACE("cut at " + std::to_string(cut));
        WriteFile(file, original.data(), cut);
        MediaInfo info;
        OpenByName(parser, name, &info);
        const Delivery d = ReadThroughParser(parser, 100000);
        ASSERT_TRUE(d.ended);
        size_t whole = 0;
        while (whole < reference.size() && reference[whole].end <= cut) {
            ++whole;
        }
        if (cut >= mub::kHeaderBytes) {
            EXPECT_EQ(d.packets.size(), whole);
        }
        ASSERT_LE(d.packets.size(), whole);
        for (size_t k = 0; k < d.packets.size(); ++k) {
            ASSERT_EQ(d.packets[k].id, reference[k].id) << k;
            ASSERT_EQ(d.packets[k].bytes, reference[k].bytes) << k;
        }
    }
}

TEST_F(DamagedRecording, RandomCorruptionNeitherCrashesNorHangs)
{
    std::mt19937 rng(1234);
    for (int i = 0; i < 40; ++i) {
        std::vector<uint8_t> bytes = original;
        const int flips = 1 + static_cast<int>(rng() % 30);
        for (int f = 0; f < flips; ++f) {
            // Half of the damage goes into the header and the first packets.
            const size_t span = rng() % 2 == 0 ? std::min<size_t>(bytes.size(), 2048) : bytes.size();
            bytes[rng() % span] ^= static_cast<uint8_t>(1 + rng() % 255);
        }
        WriteFile(file, bytes.data(), bytes.size());
        MediaInfo info;
        OpenByName(parser, name, &info);
        // Every packet takes at least a packet header of the file.
        const Delivery d =
            ReadThroughParser(parser, static_cast<int>(bytes.size() / mub::kPacketHeaderBytes) + 10);
        EXPECT_TRUE(d.ended) << "round " << i;
        size_t total = 0;
        for (const Packet& p : d.packets) {
            total += p.bytes.size();
        }
        EXPECT_LE(total, bytes.size());
        parser.SeekTime(static_cast<float>(rng() % 5));
    }
}

// A long recording: 95.5 s lands on second 95 and its key unit.
TEST(LongRecording, SeekNearTheEndOfAHundredSeconds)
{
    TempDir dir("long");
    ASSERT_TRUE(MakeCard(dir.Path(),
                         "--per-category 1 --letters N --duration 100 --synthetic "
                         "--front 64x48 --seed 3"));
    OpenedCard card(dir.Path());
    ASSERT_TRUE(card.Ok());
    const std::vector<CardRecording> all = card.All();
    ASSERT_FALSE(all.empty());
    CMUBParser parser;
    parser.Start();
    MediaInfo info;
    ASSERT_EQ(OpenByName(parser, all[0].name, &info), 1);
    EXPECT_EQ(info.frameCount0, 3000);
    EXPECT_EQ(parser.SeekTime(95.5f), 95);
    const std::vector<Packet> from = ReadReference(ContainerFile(dir.Path(), all[0].name), 95);
    const Delivery d = ReadThroughParser(parser, 100000);
    ASSERT_TRUE(d.ended);
    ASSERT_EQ(d.packets.size(), from.size());
    EXPECT_EQ(d.packets.front().bytes, from.front().bytes);
    int front = 0;
    for (const Packet& p : d.packets) {
        front += p.id == "00dc" ? 1 : 0;
    }
    EXPECT_EQ(front, 5 * kFps);  // seconds 95..99
    parser.Stop();
}

}  // namespace
