// SPDX-License-Identifier: GPL-3.0-or-later
// Files from the writer, checked by FFmpeg's own reader and decoders.
#include "formats/aviwriter.h"
#include "tests/support/h264_encode.h"
#include "tests/support/run_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

struct Channel {
    int slot;  // the camera channel: 0 front, 1 rear, 2 third
    int width;
    int height;
    int frames;
};

// Writes channels interleaved as the camera would: one picture per channel in turn, a
// 4000-byte PCM chunk (half a second) every 7 or 8 pictures at 15 fps, a text line
// now and then. Returns the number of units written per channel.
std::vector<int> WriteRecording(const std::string& path, const std::vector<Channel>& channels)
{
    std::vector<std::vector<std::vector<uint8_t>>> units;
    for (const Channel& c : channels) {
        units.push_back(EncodeH264({c.width, c.height, c.frames, 15, 30}));
    }
    CAVIWriter writer;
    bool second = false;
    bool third = false;
    for (const Channel& c : channels) {
        writer.SetVideoSize(c.slot, c.width, c.height);
        writer.SetFrameRate(c.slot, 15);
        second = second || c.slot == 1;
        third = third || c.slot == 2;
    }
    writer.SetAudioRate(8000);
    writer.SetTwoChannels(second);
    writer.SetThreeChannels(third);
    EXPECT_TRUE(writer.Create(path.c_str()));

    std::vector<int16_t> pcm(2000);
    size_t longest = 0;
    for (const auto& u : units) {
        longest = std::max(longest, u.size());
    }
    int audioChunks = 0;
    for (size_t f = 0; f < longest; ++f) {
        for (size_t c = 0; c < units.size(); ++c) {
            if (f < units[c].size()) {
                EXPECT_TRUE(writer.AddData(units[c][f].data(), static_cast<int>(units[c][f].size()),
                                           channels[c].slot));
            }
        }
        if (f * 2 / 15 >= static_cast<size_t>(audioChunks)) {
            for (size_t s = 0; s < pcm.size(); ++s) {
                pcm[s] = static_cast<int16_t>(((s + 2000 * audioChunks) % 40) * 800 - 16000);
            }
            EXPECT_TRUE(writer.AddData(pcm.data(), 4000, CAVIWriter::kSlotAudio));
            ++audioChunks;
        }
        if (f % 10 == 0) {
            const std::string line =
                "$GPRMC,120000.00,A,3733.0000,N,12658.0000,E,0.0,0.0,010124,,,A*7" + std::to_string(f % 10);
            EXPECT_TRUE(writer.AddData(line.data(), static_cast<int>(line.size()), CAVIWriter::kSlotText));
        }
    }
    EXPECT_GT(writer.Finish(), 0);
    std::vector<int> written;
    for (const auto& u : units) {
        written.push_back(static_cast<int>(u.size()));
    }
    return written;
}

void CheckWithFFmpeg(const std::string& path, const std::vector<Channel>& channels,
                     const std::vector<int>& framesPerChannel)
{
    const std::string ffprobe = FFPROBE_EXECUTABLE;
    const std::string ffmpeg = FFMPEG_EXECUTABLE;

    const RunResult probe = RunCommand(ffprobe + " -v error '" + path + "'");
    EXPECT_EQ(probe.status, 0);
    EXPECT_EQ(probe.output, "");

    if (!ffmpeg.empty()) {
        const RunResult decode =
            RunCommand(ffmpeg + " -nostdin -v error -xerror -i '" + path + "' -map 0:v -map 0:a -f null -");
        EXPECT_EQ(decode.status, 0);
        EXPECT_EQ(decode.output, "");
    }

    // One "streams.stream.N.key=value" line per field.
    const RunResult streams =
        RunCommand(ffprobe +
                   " -v error -count_packets -show_entries "
                   "stream=codec_type,codec_name,codec_tag_string,width,height,nb_frames,"
                   "nb_read_packets -of flat '" +
                   path + "'");
    ASSERT_EQ(streams.status, 0) << streams.output;
    std::map<std::string, std::string> field;
    for (const std::string& line : Lines(streams.output)) {
        const size_t eq = line.find('=');
        std::string value = line.substr(eq + 1);
        if (value.size() >= 2 && value.front() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        field[line.substr(0, eq)] = value;
    }
    auto get = [&](size_t stream, const char* key) {
        return field["streams.stream." + std::to_string(stream) + "." + key];
    };
    const size_t videos = channels.size();
    EXPECT_EQ(get(videos + 2, "codec_type"), "") << "more streams than written";
    for (size_t i = 0; i < videos; ++i) {
        SCOPED_TRACE("video stream " + std::to_string(i));
        EXPECT_EQ(get(i, "codec_name"), "h264");
        EXPECT_EQ(get(i, "codec_type"), "video");
        EXPECT_EQ(get(i, "codec_tag_string"), "AVC1");
        EXPECT_EQ(get(i, "width"), std::to_string(channels[i].width));
        EXPECT_EQ(get(i, "height"), std::to_string(channels[i].height));
        EXPECT_EQ(get(i, "nb_frames"), std::to_string(framesPerChannel[i]));
        EXPECT_EQ(get(i, "nb_read_packets"), std::to_string(framesPerChannel[i]));
    }
    EXPECT_EQ(get(videos, "codec_name"), "pcm_s16le");
    EXPECT_EQ(get(videos, "codec_type"), "audio");
    EXPECT_EQ(get(videos + 1, "codec_type"), "subtitle");
}

class AviOracle : public testing::Test {
protected:
    void SetUp() override
    {
        if (std::string(FFPROBE_EXECUTABLE).empty()) {
            GTEST_SKIP() << "ffprobe not found";
        }
        if (EncodeH264({64, 64, 1, 15, 30}).empty()) {
            GTEST_SKIP() << "no libx264 encoder in libavcodec";
        }
    }
    std::string PathOf(const char* name)
    {
        return (std::filesystem::path(testing::TempDir()) / name).string();
    }
};

}  // namespace

TEST_F(AviOracle, TwoChannelsWithSoundAndText)
{
    const std::string path = PathOf("oracle_two_channels.avi");
    const std::vector<Channel> channels = {{0, 320, 240, 45}, {1, 176, 144, 40}};
    const std::vector<int> frames = WriteRecording(path, channels);
    ASSERT_EQ(frames, (std::vector<int>{45, 40}));
    CheckWithFFmpeg(path, channels, frames);
}

TEST_F(AviOracle, ThreeChannelsWithSoundAndText)
{
    const std::string path = PathOf("oracle_three_channels.avi");
    const std::vector<Channel> channels = {{0, 320, 240, 31}, {1, 176, 144, 31}, {2, 160, 96, 33}};
    const std::vector<int> frames = WriteRecording(path, channels);
    ASSERT_EQ(frames, (std::vector<int>{31, 31, 33}));
    CheckWithFFmpeg(path, channels, frames);
}

TEST_F(AviOracle, FrontAndThirdChannelWithoutRear)
{
    const std::string path = PathOf("oracle_front_and_third.avi");
    const std::vector<Channel> channels = {{0, 320, 240, 30}, {2, 176, 144, 36}};
    const std::vector<int> frames = WriteRecording(path, channels);
    ASSERT_EQ(frames, (std::vector<int>{30, 36}));
    CheckWithFFmpeg(path, channels, frames);
}
