// SPDX-License-Identifier: GPL-3.0-or-later
// CDecoder on real H.264: pictures follow the sink, flips, colour details, corrupt and
// JPEG-marked packets, redraw, snapshots, and three channels from several threads.
#include "engine/decoder.h"
#include "platform/picturesink.h"
#include "tests/support/h264_encode.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <atomic>
#include <climits>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using Units = std::vector<std::vector<uint8_t>>;

constexpr int kWidth = 320;
constexpr int kHeight = 240;

// 320x240, one IDR picture then P pictures; encoded once for the whole program.
const Units& Stream()
{
    static const Units units = [] {
        H264EncodeOptions options;
        options.width = kWidth;
        options.height = kHeight;
        options.frames = 30;
        return EncodeH264(options);
    }();
    return units;
}

bool Decode(CDecoder& decoder, int channel, CPictureSink* sink, const std::vector<uint8_t>& unit,
            bool show = true)
{
    return decoder.DecodeAndShow(channel, sink, unit.data(), static_cast<int>(unit.size()), show);
}

cv::Mat Latest(const CPictureSink& sink)
{
    CVipImgBase image;
    EXPECT_TRUE(sink.Latest(&image));
    return image.Mat();
}

bool Same(const cv::Mat& a, const cv::Mat& b)
{
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

class DecoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (Stream().empty()) {
            GTEST_SKIP() << "libx264 encoder not available";
        }
        ASSERT_TRUE(m_decoder.Init());
    }

    CDecoder m_decoder;
};

}  // namespace

TEST_F(DecoderTest, PictureFollowsSinkSizeWithOneScalerPerGeometry)
{
    CPictureSink sink(160, 120);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(Decode(m_decoder, 0, &sink, Stream()[i])) << i;
    }
    EXPECT_EQ(sink.Serial(), 5u);
    cv::Mat shown = Latest(sink);
    EXPECT_EQ(shown.cols, 160);
    EXPECT_EQ(shown.rows, 120);
    EXPECT_EQ(m_decoder.ScalerBuilds(0), 1);

    sink.SetSize(200, 100);
    ASSERT_TRUE(Decode(m_decoder, 0, &sink, Stream()[5]));
    ASSERT_TRUE(Decode(m_decoder, 0, &sink, Stream()[6]));
    shown = Latest(sink);
    EXPECT_EQ(shown.cols, 200);
    EXPECT_EQ(shown.rows, 100);
    EXPECT_EQ(m_decoder.ScalerBuilds(0), 2);
}

TEST_F(DecoderTest, PresentedPictureIsNeverOverwritten)
{
    CPictureSink sink(kWidth, kHeight);
    ASSERT_TRUE(Decode(m_decoder, 0, &sink, Stream()[0]));
    const cv::Mat held = Latest(sink);  // a view still painting this picture
    const cv::Mat before = held.clone();
    for (int i = 1; i < 4; ++i) {
        ASSERT_TRUE(Decode(m_decoder, 0, &sink, Stream()[i]));
    }
    EXPECT_TRUE(Same(held, before));
    EXPECT_FALSE(Same(Latest(sink), before));  // the content moves between frames
}

TEST_F(DecoderTest, FlipModesFlipTheShownPicture)
{
    CPictureSink sink(kWidth, kHeight);
    ASSERT_TRUE(Decode(m_decoder, 0, &sink, Stream()[0]));
    const cv::Mat plain = Latest(sink).clone();
    // The first frame has a bright 16x16 square at x 0..15, y 32..47 on a darker gradient.
    EXPECT_GT(plain.at<cv::Vec3b>(40, 8)[1], 200);
    EXPECT_LT(plain.at<cv::Vec3b>(40, kWidth - 9)[1], 150);

    const struct {
        int mode;
        int code;
        int x, y;  // where the square's centre lands
    } cases[] = {{1, 0, 8, kHeight - 41}, {2, -1, kWidth - 9, kHeight - 41}, {3, 1, kWidth - 9, 40}};
    for (const auto& c : cases) {
        m_decoder.SetFlipMode(0, c.mode);
        ASSERT_TRUE(m_decoder.Redraw(0, &sink));
        const cv::Mat flipped = Latest(sink);
        cv::Mat expected;
        cv::flip(plain, expected, c.code);
        EXPECT_TRUE(Same(flipped, expected)) << "mode " << c.mode;
        EXPECT_GT(flipped.at<cv::Vec3b>(c.y, c.x)[1], 200) << "mode " << c.mode;
    }
    m_decoder.SetFlipMode(0, 7);  // unknown modes show the picture as it is
    ASSERT_TRUE(m_decoder.Redraw(0, &sink));
    EXPECT_TRUE(Same(Latest(sink), plain));
}

TEST_F(DecoderTest, ColourSettings)
{
    CPictureSink sink(kWidth, kHeight);
    ASSERT_TRUE(Decode(m_decoder, 1, &sink, Stream()[0]));
    const double plain = cv::mean(Latest(sink))[1];

    m_decoder.SetBrightness(1, 2);
    ASSERT_TRUE(m_decoder.Redraw(1, &sink));
    const double brighter = cv::mean(Latest(sink))[1];
    m_decoder.SetBrightness(1, -2);
    ASSERT_TRUE(m_decoder.Redraw(1, &sink));
    const double darker = cv::mean(Latest(sink))[1];
    EXPECT_GT(brighter, plain + 10);
    EXPECT_LT(darker, plain - 10);

    m_decoder.SetBrightness(1, 0);
    m_decoder.SetContrast(1, -5);
    ASSERT_TRUE(m_decoder.Redraw(1, &sink));
    cv::Scalar mean, spreadLow, spreadPlain;
    cv::meanStdDev(Latest(sink), mean, spreadLow);
    m_decoder.SetContrast(1, 0);
    ASSERT_TRUE(m_decoder.Redraw(1, &sink));
    cv::meanStdDev(Latest(sink), mean, spreadPlain);
    EXPECT_LT(spreadLow[1], spreadPlain[1] * 0.7);
    EXPECT_NEAR(cv::mean(Latest(sink))[1], plain, 0.5);

    // Far-out values saturate the picture rather than overflow the 16.16 settings.
    m_decoder.SetBrightness(1, INT_MAX);
    ASSERT_TRUE(m_decoder.Redraw(1, &sink));
    EXPECT_GT(cv::mean(Latest(sink))[1], 250);
    m_decoder.SetBrightness(1, INT_MIN);
    ASSERT_TRUE(m_decoder.Redraw(1, &sink));
    EXPECT_LT(cv::mean(Latest(sink))[1], 5);
}

TEST(DecoderSettings, ValueRangesAndChannelClamping)
{
    CDecoder decoder;
    decoder.SetContrast(0, 15);
    EXPECT_FLOAT_EQ(decoder.Contrast(0), 2.0f);
    decoder.SetContrast(0, -10);
    EXPECT_FLOAT_EQ(decoder.Contrast(0), 0.01f);
    decoder.SetContrast(0, -5);
    EXPECT_FLOAT_EQ(decoder.Contrast(0), 0.5f);
    decoder.SetContrast(0, 0);
    EXPECT_FLOAT_EQ(decoder.Contrast(0), 1.0f);
    decoder.SetBrightness(9, 10);
    EXPECT_FLOAT_EQ(decoder.Brightness(2), 1.0f);
    decoder.SetFlipMode(5, 2);
    EXPECT_EQ(decoder.FlipMode(2), 2);
    decoder.SetFlipMode(-1, 1);
    EXPECT_EQ(decoder.FlipMode(0), 1);
    EXPECT_EQ(decoder.FlipMode(1), 0);
}

TEST_F(DecoderTest, BadInputFailsCleanlyAndKeepsThePicture)
{
    CPictureSink sink(kWidth, kHeight);
    CPictureSink empty(0, 0);
    const auto& idr = Stream()[0];
    EXPECT_FALSE(Decode(m_decoder, 0, nullptr, idr));
    EXPECT_FALSE(Decode(m_decoder, 0, &empty, idr));
    EXPECT_FALSE(Decode(m_decoder, 3, &sink, idr));
    EXPECT_FALSE(Decode(m_decoder, -1, &sink, idr));
    EXPECT_FALSE(m_decoder.DecodeAndShow(0, &sink, nullptr, 10, true));
    EXPECT_TRUE(m_decoder.DecodeFailed(0));
    EXPECT_FALSE(m_decoder.Redraw(0, &sink));  // nothing decoded yet
    EXPECT_FALSE(m_decoder.SaveSnapshot(0, "/tmp/never.jpg"));
    EXPECT_EQ(sink.Serial(), 0u);

    ASSERT_TRUE(Decode(m_decoder, 0, &sink, idr));
    const cv::Mat shown = Latest(sink).clone();
    std::vector<uint8_t> garbage(3000);
    for (size_t i = 0; i < garbage.size(); ++i) {
        garbage[i] = static_cast<uint8_t>(i * 7919 + 13);
    }
    EXPECT_FALSE(Decode(m_decoder, 0, &sink, garbage));
    EXPECT_EQ(sink.Serial(), 1u);
    ASSERT_TRUE(m_decoder.Redraw(0, &sink));
    EXPECT_TRUE(Same(Latest(sink), shown));

    EXPECT_FALSE(m_decoder.Redraw(2, &sink));  // the third channel is never redrawn
    EXPECT_FALSE(m_decoder.Redraw(0, &empty));
    EXPECT_FALSE(m_decoder.Redraw(0, nullptr));
}

TEST_F(DecoderTest, JpegMarkedPacketNeverReachesTheDecoder)
{
    CPictureSink sink(kWidth, kHeight);
    // The same IDR picture behind three leading bytes: the decoder skips junk before a
    // start code, so it would decode it were it handed over.
    std::vector<uint8_t> marked = {0xFF, 0xD8, 0xFF};
    marked.insert(marked.end(), Stream()[0].begin(), Stream()[0].end());
    EXPECT_FALSE(Decode(m_decoder, 0, &sink, marked));
    EXPECT_FALSE(m_decoder.DecodeFailed(0));  // a still, not bad data: nothing to reset
    EXPECT_EQ(sink.Serial(), 0u);
    marked[2] = 0x00;
    EXPECT_TRUE(Decode(m_decoder, 0, &sink, marked));
}

TEST_F(DecoderTest, ADecoderReorderingBFramesGivesNoPictureYetWithoutFailing)
{
    H264EncodeOptions options;
    options.width = 160;
    options.height = 96;
    options.frames = 30;
    options.bFrames = 2;
    const Units units = EncodeH264(options);
    ASSERT_EQ(units.size(), 30u);
    CPictureSink sink(160, 96);
    int pictures = 0;
    int held = 0;
    for (const auto& unit : units) {
        if (Decode(m_decoder, 0, &sink, unit)) {
            ++pictures;
        } else {
            ++held;
            EXPECT_FALSE(m_decoder.DecodeFailed(0)) << "after " << pictures << " pictures";
        }
    }
    EXPECT_GT(held, 0);  // the stream does hold pictures back
    EXPECT_EQ(pictures + held, 30);
    EXPECT_GE(pictures, 27);
}

TEST_F(DecoderTest, HiddenOrNotShownDecodesWithoutPainting)
{
    CPictureSink sink(kWidth, kHeight, /*visible=*/false);
    ASSERT_TRUE(Decode(m_decoder, 0, &sink, Stream()[0]));
    ASSERT_TRUE(Decode(m_decoder, 0, &sink, Stream()[1]));
    EXPECT_EQ(sink.Serial(), 0u);
    sink.SetVisible(true);
    ASSERT_TRUE(Decode(m_decoder, 0, &sink, Stream()[2], /*show=*/false));
    EXPECT_EQ(sink.Serial(), 0u);
    ASSERT_TRUE(m_decoder.Redraw(0, &sink));
    const cv::Mat redrawn = Latest(sink).clone();

    // The redraw showed the third picture: the same as decoding it with show set.
    CDecoder other;
    ASSERT_TRUE(other.Init());
    CPictureSink reference(kWidth, kHeight);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Decode(other, 0, &reference, Stream()[i]));
    }
    EXPECT_TRUE(Same(redrawn, Latest(reference)));
}

TEST_F(DecoderTest, FlushAndResetKeepDecoding)
{
    CPictureSink sink(kWidth, kHeight);
    ASSERT_TRUE(Decode(m_decoder, 0, &sink, Stream()[0]));
    ASSERT_TRUE(Decode(m_decoder, 0, &sink, Stream()[1]));
    m_decoder.Flush(0);
    m_decoder.Flush(7);                       // ignored
    EXPECT_TRUE(m_decoder.Redraw(0, &sink));  // the last picture survives a flush
    EXPECT_TRUE(Decode(m_decoder, 0, &sink, Stream()[0]));

    m_decoder.Release();
    EXPECT_FALSE(Decode(m_decoder, 0, &sink, Stream()[0]));
    EXPECT_FALSE(m_decoder.Redraw(0, &sink));
    ASSERT_TRUE(m_decoder.Init());
    EXPECT_TRUE(Decode(m_decoder, 0, &sink, Stream()[0]));
    EXPECT_TRUE(Decode(m_decoder, 0, &sink, Stream()[1]));
}

TEST_F(DecoderTest, SnapshotIsAJpegOfTheDecodedSize)
{
    const std::filesystem::path dir = std::filesystem::path(MUB_BINARY_DIR) / "decoder_test_out";
    std::filesystem::create_directories(dir);
    const std::string jpg = (dir / "snap_front.jpg").string();
    std::filesystem::remove(jpg);

    CPictureSink sink(100, 50);
    m_decoder.SetFlipMode(0, 1);
    ASSERT_TRUE(Decode(m_decoder, 0, &sink, Stream()[0]));
    ASSERT_TRUE(m_decoder.SaveSnapshot(0, jpg.c_str()));
    std::ifstream in(jpg, std::ios::binary);
    unsigned char head[3] = {};
    in.read(reinterpret_cast<char*>(head), 3);
    EXPECT_EQ(head[0], 0xFF);
    EXPECT_EQ(head[1], 0xD8);
    EXPECT_EQ(head[2], 0xFF);
    const cv::Mat read = cv::imread(jpg);
    EXPECT_EQ(read.cols, kWidth);
    EXPECT_EQ(read.rows, kHeight);
    // Saved as decoded, not as shown: the square is at the top.
    EXPECT_GT(read.at<cv::Vec3b>(40, 8)[1], 180);

    // A save that fails leaves the file of that name alone.
    const std::string other = (dir / "keep.unknownext").string();
    std::ofstream(other) << "keep";
    EXPECT_FALSE(m_decoder.SaveSnapshot(0, other.c_str()));
    std::string content;
    std::ifstream(other) >> content;
    EXPECT_EQ(content, "keep");
    EXPECT_FALSE(m_decoder.SaveSnapshot(1, jpg.c_str()));  // nothing decoded there
    EXPECT_FALSE(m_decoder.SaveSnapshot(0, (dir / "missing" / "x.jpg").string().c_str()));
    int leftovers = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        leftovers += entry.path().string().find(".~part") != std::string::npos;
    }
    EXPECT_EQ(leftovers, 0);
}

// The player's worker decodes front and rear, another thread the third channel, the
// interface thread changes settings and a view reads the sinks (run under TSan).
TEST_F(DecoderTest, ThreeChannelsFromSeveralThreads)
{
    CPictureSink sinks[3] = {CPictureSink(160, 120), CPictureSink(120, 90), CPictureSink(kWidth, kHeight)};
    std::atomic<int> listened{0};
    for (CPictureSink& sink : sinks) {
        sink.SetListener([&](uint64_t) { ++listened; });
    }
    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    std::thread worker([&] {
        for (const auto& unit : Stream()) {
            failures += !Decode(m_decoder, 0, &sinks[0], unit);
            failures += !Decode(m_decoder, 1, &sinks[1], unit);
        }
    });
    std::thread third([&] {
        for (const auto& unit : Stream()) {
            failures += !Decode(m_decoder, 2, &sinks[2], unit);
        }
    });
    std::thread view([&] {
        while (!done) {
            for (const CPictureSink& sink : sinks) {
                CVipImgBase image;
                if (sink.Latest(&image)) {
                    volatile unsigned char first = image.Pixels()[0];
                    (void)first;
                }
            }
        }
    });
    for (int i = 0; i < 50; ++i) {
        m_decoder.SetBrightness(i % 3, i % 5 - 2);
        m_decoder.SetFlipMode(i % 3, i % 4);
        sinks[1].SetSize(120 + i % 2 * 40, 90);
        std::this_thread::yield();
    }
    worker.join();
    third.join();
    done = true;
    view.join();
    EXPECT_EQ(failures.load(), 0);
    const int frames = static_cast<int>(Stream().size());
    EXPECT_EQ(listened.load(), 3 * frames);
    for (const CPictureSink& sink : sinks) {
        EXPECT_EQ(sink.Serial(), static_cast<uint64_t>(frames));
    }
}

// Large pictures decode on frame threads: every picture still comes out once, in order,
// with its packet's tag, the held ones at the end; after a flush nothing old comes out.
TEST_F(DecoderTest, FrameThreadsHoldPicturesBackButLoseNoneAndKeepTheirTags)
{
    if (std::thread::hardware_concurrency() < 2) {
        GTEST_SKIP() << "frame threads need two cores";
    }
    CPictureSink sink(kWidth, kHeight);
    m_decoder.SetPictureSize(1, kWidth, kHeight);
    EXPECT_EQ(m_decoder.Delay(1), 0);  // small: slice threads, each picture at once
    m_decoder.SetFrameThreadPixels(kWidth * kHeight);
    m_decoder.SetPictureSize(1, kWidth, kHeight);
    const int delay = m_decoder.Delay(1);
    ASSERT_GE(delay, 1);
    for (int round = 0; round < 2; ++round) {
        std::vector<int> tags;
        for (int i = 0; i < static_cast<int>(Stream().size()); ++i) {
            int tag = -1;
            const auto& unit = Stream()[static_cast<size_t>(i)];
            if (m_decoder.Decode(1, unit.data(), static_cast<int>(unit.size()), 100 * round + i, &tag)) {
                tags.push_back(tag);
            }
            EXPECT_FALSE(m_decoder.DecodeFailed(1));
        }
        EXPECT_EQ(static_cast<int>(tags.size()), static_cast<int>(Stream().size()) - delay);
        for (int tag = -1; m_decoder.Decode(1, nullptr, 0, -1, &tag);) {
            tags.push_back(tag);
        }
        ASSERT_EQ(tags.size(), Stream().size());
        for (size_t i = 0; i < tags.size(); ++i) {
            EXPECT_EQ(tags[i], 100 * round + static_cast<int>(i));
        }
        EXPECT_TRUE(m_decoder.Show(1, &sink));
        // A flush with pictures in flight: none of them comes out after it.
        int tag = -1;
        m_decoder.Decode(1, Stream()[0].data(), static_cast<int>(Stream()[0].size()), 999, &tag);
        m_decoder.Flush(1);
        EXPECT_FALSE(m_decoder.Decode(1, nullptr, 0, -1, &tag));
    }
    m_decoder.SetFrameThreadPixels(CDecoder::kDefaultFrameThreadPixels);
    m_decoder.SetPictureSize(1, kWidth, kHeight);
    EXPECT_EQ(m_decoder.Delay(1), 0);
}
