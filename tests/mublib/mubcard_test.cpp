// SPDX-License-Identifier: GPL-3.0-or-later
// What mubcard writes: same bytes for the same seed, the channels and sizes asked for,
// H.264 units in the shape the player expects, pictures and beeps on whole seconds, and
// telemetry records at their rates.
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "mublib/mublib.h"
#include "tests/mublib/card_fixture.h"

namespace {

int RunMubcard(const std::string& args)
{
    const std::string cmd = std::string(MUBCARD_EXECUTABLE) + " " + args + " > /dev/null";
    return std::system(cmd.c_str());
}

struct Recording {
    std::string path;
    std::string stem;
    int category = 0;
    mub::RecordingHeader header;
    std::vector<ScriptPacket> packets;
};

std::vector<Recording> LoadCard(const std::string& root)
{
    std::vector<Recording> out;
    for (int c = 0; c < 4; ++c) {
        for (const auto& e : mub::ListCategory(root, c)) {
            Recording r;
            r.path = e.path;
            r.stem = e.stem;
            r.category = c;
            auto src = std::make_unique<mub::CMubFileSource>();
            EXPECT_TRUE(src->Open(e.path));
            mub::CMubReader reader;
            EXPECT_TRUE(reader.Open(std::move(src)));
            EXPECT_FALSE(reader.WasRecovered());
            r.header = reader.Header();
            std::vector<uint8_t> buf(0x200000);
            mub::PacketInfo info;
            while (reader.Next(buf.data(), static_cast<uint32_t>(buf.size()), &info) ==
                   mub::ReadResult::kOk) {
                r.packets.push_back({info.type, info.status, info.flag, info.timeMs,
                                     std::vector<uint8_t>(buf.begin(), buf.begin() + info.length)});
            }
            out.push_back(std::move(r));
        }
    }
    return out;
}

const char* kSmall = "--front 160x96 --rear 96x64 --third 64x48";

class SampleCard : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new CTempDir;
        root = dir->Path() + "/card";
        ASSERT_EQ(RunMubcard("--out " + root + " --seed 3 --per-category 2 --duration 2-3 " + kSmall), 0);
        card = new std::vector<Recording>(LoadCard(root));
    }
    static void TearDownTestSuite()
    {
        delete card;
        delete dir;
    }
    static CTempDir* dir;
    static std::string root;
    static std::vector<Recording>* card;
};
CTempDir* SampleCard::dir = nullptr;
std::string SampleCard::root;
std::vector<Recording>* SampleCard::card = nullptr;

TEST_F(SampleCard, RecordingsPerCategoryWithDistinctTimesAndCyclingLetters)
{
    ASSERT_EQ(card->size(), 8u);
    std::map<std::string, int> times;
    std::map<char, int> letters;
    for (const auto& r : *card) {
        mub::RecordingName name;
        ASSERT_TRUE(mub::ParseRecordingName((r.stem + ".avi").c_str(), &name));
        EXPECT_EQ(name.category, r.category);
        times[r.stem.substr(r.stem.find('_'), 16)]++;
        letters[name.letter]++;
    }
    EXPECT_EQ(times.size(), 8u);
    EXPECT_EQ(letters['D'], 2);
    EXPECT_EQ(letters['T'], 2);
    EXPECT_EQ(letters['E'], 2);
    EXPECT_EQ(letters['N'], 2);
    EXPECT_TRUE(std::filesystem::exists(root + "/SETTING/blackbox.cfg"));
}

TEST_F(SampleCard, ChannelsSizesAndRatesFollowTheLetter)
{
    for (const auto& r : *card) {
        const char letter = r.stem.back();
        const auto d = mub::DecodeDescription(r.header.description);
        const int seconds = static_cast<int>(r.header.durationMs / 1000);
        ASSERT_TRUE(seconds == 2 || seconds == 3) << r.stem;
        const int w[3] = {160, 96, 64}, h[3] = {96, 64, 48};
        for (int c = 0; c < 3; ++c) {
            const bool has = mub::LetterHasChannel(letter, c);
            EXPECT_EQ(d.fps[c], has ? 30 : 0) << r.stem << c;
            EXPECT_EQ(d.width[c], has ? w[c] : 0);
            EXPECT_EQ(d.height[c], has ? h[c] : 0);
            EXPECT_EQ(r.header.frameCount[c], has ? static_cast<uint32_t>(30 * seconds) : 0u) << r.stem << c;
        }
        EXPECT_EQ(r.header.audioCount, static_cast<uint32_t>(4 * seconds));
        EXPECT_EQ(r.header.accCount, static_cast<uint32_t>(10 * seconds));
        EXPECT_EQ(r.header.gpsCount, static_cast<uint32_t>(seconds));
        EXPECT_EQ(r.header.otherText, static_cast<uint32_t>(seconds));
    }
}

TEST_F(SampleCard, VideoUnitsAreAnnexBWithAKeyUnitEveryThirtyFrames)
{
    for (const auto& r : *card) {
        int frame[3] = {0, 0, 0};
        uint32_t lastMs = 0;
        for (const auto& p : r.packets) {
            EXPECT_GE(p.timeMs, lastMs);  // recording order
            lastMs = p.timeMs;
            if (p.status != 0 && p.status != 2) {
                continue;
            }
            ASSERT_GE(p.bytes.size(), 5u);
            const bool key = frame[p.type] % 30 == 0;
            EXPECT_EQ(p.status, key ? 0 : 2) << r.stem << " frame " << frame[p.type];
            EXPECT_EQ(p.flag, key ? 1 : 0);
            EXPECT_EQ(p.bytes[0] | p.bytes[1] | p.bytes[2], 0);
            EXPECT_EQ(p.bytes[3], 1);
            EXPECT_EQ(p.bytes[4], key ? 0x67 : 0x41);
            EXPECT_EQ(p.timeMs, static_cast<uint32_t>(frame[p.type] * 1000 / 30));
            ++frame[p.type];
        }
    }
}

TEST_F(SampleCard, BeepStartsAtEachWholeSecond)
{
    const auto& r = card->front();
    std::vector<int16_t> pcm;
    for (const auto& p : r.packets) {
        if (p.status == 1) {
            ASSERT_EQ(p.bytes.size(), 4000u);
            EXPECT_EQ(p.timeMs, static_cast<uint32_t>(pcm.size() / 8));
            for (size_t i = 0; i + 1 < p.bytes.size(); i += 2) {
                pcm.push_back(static_cast<int16_t>(p.bytes[i] | p.bytes[i + 1] << 8));
            }
        }
    }
    ASSERT_GE(pcm.size(), 16000u);
    for (size_t s = 0; s + 8000 <= pcm.size(); s += 8000) {
        double tone = 0, rest = 0;
        for (size_t i = 0; i < 800; ++i) {
            tone += std::abs(pcm[s + i]);
        }
        for (size_t i = 800; i < 8000; ++i) {
            rest += std::abs(pcm[s + i]);
        }
        EXPECT_GT(tone / 800, 5000) << "second " << s / 8000;
        EXPECT_EQ(rest, 0) << "second " << s / 8000;
        EXPECT_GT(std::abs(pcm[s + 2]), 5000);  // 1 kHz: the first peak is two samples in
    }
}

TEST_F(SampleCard, TelemetryRecordsHaveTheirShape)
{
    bool braked = false;
    bool firstFix = true;
    for (const auto& r : *card) {
        bool hardBrake = false;
        for (const auto& p : r.packets) {
            if (p.status != 3) {
                continue;
            }
            const std::string s(p.bytes.begin(), p.bytes.end());
            if (s[0] == 'G') {
                ASSERT_EQ(s.compare(0, 7, "G$GPRMC"), 0) << s;
                const size_t star = s.find('*');
                ASSERT_NE(star, std::string::npos);
                unsigned sum = 0;
                for (size_t i = 2; i < star; ++i) {
                    sum ^= static_cast<unsigned char>(s[i]);
                }
                EXPECT_EQ(std::strtoul(s.c_str() + star + 1, nullptr, 16), sum) << s;
                if (firstFix && s.find(",A,") != std::string::npos) {
                    // The route starts at 37.5660483 N, 126.9779299 E.
                    EXPECT_NE(s.find(",3733.9"), std::string::npos) << s;
                    EXPECT_NE(s.find(",12658.6"), std::string::npos) << s;
                    firstFix = false;
                }
            } else if (s[0] == 'M') {
                ASSERT_EQ(s.size(), 4u);
                for (int a = 1; a < 4; ++a) {
                    hardBrake |= std::abs(static_cast<unsigned char>(s[a]) - 0x80) > 25;
                }
            } else {
                ASSERT_EQ(s[0], 'B');
                for (const char* key :
                     {"rpm=", "wat=", "spd=", "Accel=", "Break=", "TurnSig=", "GearPos=", "steer_angle="}) {
                    EXPECT_NE(s.find(key), std::string::npos) << s;
                }
            }
        }
        if (r.category == 0) {
            EXPECT_TRUE(hardBrake) << r.stem;
            braked = true;
        }
    }
    EXPECT_TRUE(braked);
}

// Mean luma of each front picture of a recording, decoded in order.
std::vector<double> FrontLuma(const Recording& r)
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    avcodec_open2(dec, codec, nullptr);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<double> meanLuma;
    auto receive = [&] {
        while (avcodec_receive_frame(dec, frame) == 0) {
            double sum = 0;
            for (int y = 0; y < frame->height; ++y) {
                for (int x = 0; x < frame->width; ++x) {
                    sum += frame->data[0][y * frame->linesize[0] + x];
                }
            }
            meanLuma.push_back(sum / (frame->width * frame->height));
        }
    };
    for (const auto& p : r.packets) {
        if ((p.status == 0 || p.status == 2) && p.type == 0) {
            std::vector<uint8_t> data(p.bytes);
            data.resize(p.bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
            pkt->data = data.data();
            pkt->size = static_cast<int>(p.bytes.size());
            EXPECT_EQ(avcodec_send_packet(dec, pkt), 0);
            receive();
        }
    }
    avcodec_send_packet(dec, nullptr);
    receive();
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    return meanLuma;
}

void ExpectFlashesOnWholeSeconds(const std::vector<double>& meanLuma)
{
    ASSERT_GE(meanLuma.size(), 60u);
    EXPECT_GT(meanLuma[0], 180);
    EXPECT_GT(meanLuma[30], 180);
    EXPECT_LT(meanLuma[1], 120);
    EXPECT_LT(meanLuma[15], 120);
    EXPECT_LT(meanLuma[29], 120);
}

TEST_F(SampleCard, FrontPictureFlashesWhiteOnWholeSeconds)
{
    ExpectFlashesOnWholeSeconds(FrontLuma(card->front()));
}

// The road pictures load a decoder like real footage: a dashcam's bit rate for the size
// (720p at 5 Mbit/s scaled down to 480x270: about 1.3), and still the flashes.
TEST(Mubcard, RoadContentKeepsTheSyncMarksAtADashcamBitRate)
{
    CTempDir dir;
    ASSERT_EQ(RunMubcard("--out " + dir.Path() +
                         " --content road --per-category 1 --letters D --duration 2 "
                         "--front 480x270 --rear 240x136 --seed 4"),
              0);
    const auto card = LoadCard(dir.Path());
    ASSERT_FALSE(card.empty());
    const Recording& r = card.front();
    ExpectFlashesOnWholeSeconds(FrontLuma(r));
    double frontBytes = 0;
    for (const auto& p : r.packets) {
        frontBytes +=
            p.type == 0 && (p.status == 0 || p.status == 2) ? static_cast<double>(p.bytes.size()) : 0;
    }
    const double mbits = frontBytes * 8 / 2 / 1e6;
    EXPECT_GT(mbits, 0.9);
    EXPECT_LT(mbits, 1.8);
}

// Decodes one key unit on its own and returns the mean of its luma.
double KeyUnitLuma(const std::vector<uint8_t>& unit)
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    AVCodecContext* dec = avcodec_alloc_context3(codec);
    avcodec_open2(dec, codec, nullptr);
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<uint8_t> data(unit);
    data.resize(unit.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    pkt->data = data.data();
    pkt->size = static_cast<int>(unit.size());
    double mean = -1;
    if (avcodec_send_packet(dec, pkt) == 0 && avcodec_send_packet(dec, nullptr) == 0 &&
        avcodec_receive_frame(dec, frame) == 0) {
        double sum = 0;
        for (int y = 0; y < frame->height; ++y) {
            for (int x = 0; x < frame->width; ++x) {
                sum += frame->data[0][y * frame->linesize[0] + x];
            }
        }
        mean = sum / (frame->width * frame->height);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&dec);
    return mean;
}

TEST_F(SampleCard, SeekThroughTheLibraryLandsOnTheWhiteFrameOfThatSecond)
{
    MUBContext ctx = MUB_CreateContext();
    MUB_AddCardFolder(ctx, root.c_str());
    const Recording& r = card->front();
    ASSERT_EQ(
        MUB_SelectFile(ctx, r.category, 0, MUB_OpenFileByName(ctx, r.category, (r.stem + ".avi").c_str())),
        1);
    std::vector<uint8_t> buf(0x200000);
    int keys = 0;
    for (int n : {1, 0, 1}) {
        MUB_Seek(ctx, keys + n + 1, keys + static_cast<int>(r.header.frameCount[0]) / 30 + 1);
        uint8_t t = 0xFF, s = 0xFF, f = 0xFF;
        int size = static_cast<int>(buf.size());
        ASSERT_EQ(MUB_ReadPacket(ctx, &t, &s, &f, &size, buf.data(), nullptr), MUB_READ_OK);
        ASSERT_EQ(t, 0);
        ASSERT_EQ(s, 0);
        keys++;
        const std::vector<uint8_t> unit(buf.begin(), buf.begin() + size);
        EXPECT_GT(KeyUnitLuma(unit), 180) << n;
        int k = 0;
        for (const auto& p : r.packets) {
            if (p.type == 0 && p.status == 0 && k++ == n) {
                EXPECT_EQ(p.bytes, unit) << "front key unit " << n;
            }
        }
        // A few more packets, as playback would read, before the next seek.
        for (int i = 0; i < 20; ++i) {
            size = static_cast<int>(buf.size());
            ASSERT_EQ(MUB_ReadPacket(ctx, &t, &s, &f, &size, buf.data(), nullptr), MUB_READ_OK);
            keys += s == 0 ? 1 : 0;
        }
    }
    MUB_ReleaseContext(ctx);
}

TEST(Mubcard, SameSeedSameBytesOtherSeedOtherBytes)
{
    CTempDir dir;
    const std::string args = std::string(" --per-category 1 --duration 1 ") + kSmall;
    ASSERT_EQ(RunMubcard("--out " + dir.Path() + "/a --seed 9" + args), 0);
    ASSERT_EQ(RunMubcard("--out " + dir.Path() + "/b --seed 9" + args), 0);
    ASSERT_EQ(RunMubcard("--out " + dir.Path() + "/c --seed 10" + args), 0);
    size_t files = 0, same = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir.Path() + "/a")) {
        if (!e.is_regular_file()) {
            continue;
        }
        const auto rel = std::filesystem::relative(e.path(), dir.Path() + "/a");
        EXPECT_EQ(ReadWholeFile(e.path()), ReadWholeFile(dir.Path() + "/b/" + rel.string())) << rel;
        ++files;
        const auto other = dir.Path() + "/c/" + rel.string();
        same += std::filesystem::exists(other) && ReadWholeFile(e.path()) == ReadWholeFile(other);
    }
    EXPECT_EQ(files, 6u);  // four recordings, the card id, the settings
    EXPECT_LE(same, 1u);   // only the settings text may be equal
}

TEST(Mubcard, DefaultPicturesGiveListableSizes)
{
    CTempDir dir;
    ASSERT_EQ(RunMubcard("--out " + dir.Path() + " --per-category 1 --letters N --duration 20"), 0);
    for (int c = 0; c < 4; ++c) {
        for (const auto& e : mub::ListCategory(dir.Path(), c)) {
            EXPECT_GT(e.sizeBytes, 0x100000u) << e.stem;
            EXPECT_LT(e.sizeBytes, 0xA000000u) << e.stem;
        }
    }
}

TEST(Mubcard, SyntheticCardIsQuickAndShapedLikeTheRealOne)
{
    CTempDir dir;
    ASSERT_EQ(RunMubcard("--out " + dir.Path() + " --synthetic --per-category 5 --duration 1"), 0);
    const auto card = LoadCard(dir.Path());
    ASSERT_EQ(card.size(), 20u);
    for (const auto& r : card) {
        for (const auto& p : r.packets) {
            if (p.status == 0 || p.status == 2) {
                ASSERT_EQ(p.bytes[4], p.status == 0 ? 0x67 : 0x41);
            }
        }
    }
}

TEST(Mubcard, BadOptionsAreRefused)
{
    CTempDir dir;
    for (const char* bad :
         {"", "--out", "--per-category -1", "--letters DX", "--duration 0", "--duration 5-2",
          "--front 641x360", "--fps 0", "--start 2026", "--content snow", "--bogus 1"}) {
        const std::string args = std::string(bad) + (std::string(bad).empty() ? "" : " --out " + dir.Path());
        EXPECT_NE(RunMubcard(args + " 2>/dev/null"), 0) << bad;
    }
}

}  // namespace
