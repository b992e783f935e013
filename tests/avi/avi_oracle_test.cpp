// Files from the writer, checked by FFmpeg's own reader and decoders.
#include "formats/aviwriter.h"
#include "tests/support/h264_encode.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct RunResult {
    int status = -1;
    std::string output;  // stdout and stderr together
};

RunResult Run(const std::string& command)
{
    RunResult r;
    FILE* p = popen((command + " 2>&1 </dev/null").c_str(), "r");
    if (p == nullptr) {
        return r;
    }
    std::array<char, 4096> buf;
    size_t n = 0;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) {
        r.output.append(buf.data(), n);
    }
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

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

std::vector<std::string> Split(const std::string& line, char sep)
{
    std::vector<std::string> parts;
    std::stringstream in(line);
    std::string part;
    while (std::getline(in, part, sep)) {
        parts.push_back(part);
    }
    return parts;
}

struct Channel {
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
    for (size_t i = 0; i < channels.size(); ++i) {
        writer.SetVideoSize(static_cast<int>(i), channels[i].width, channels[i].height);
        writer.SetFrameRate(static_cast<int>(i), 15);
    }
    writer.SetAudioRate(8000);
    writer.SetTwoChannels(channels.size() >= 2);
    writer.SetThreeChannels(channels.size() >= 3);
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
                                           static_cast<int>(c)));
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

void CheckWithFFmpeg(const std::string& path, const std::vector<int>& framesPerChannel)
{
    const std::string ffprobe = FFPROBE_EXECUTABLE;
    const std::string ffmpeg = FFMPEG_EXECUTABLE;

    const RunResult probe = Run(ffprobe + " -v error '" + path + "'");
    EXPECT_EQ(probe.status, 0);
    EXPECT_EQ(probe.output, "");

    if (!ffmpeg.empty()) {
        const RunResult decode =
            Run(ffmpeg + " -nostdin -v error -xerror -i '" + path + "' -map 0:v -map 0:a -f null -");
        EXPECT_EQ(decode.status, 0);
        EXPECT_EQ(decode.output, "");
    }

    const RunResult streams = Run(ffprobe +
                                  " -v error -count_packets -show_entries "
                                  "stream=codec_type,codec_name,codec_tag_string,nb_frames,nb_read_packets "
                                  "-of csv=p=0 '" +
                                  path + "'");
    ASSERT_EQ(streams.status, 0) << streams.output;
    const std::vector<std::string> lines = Lines(streams.output);
    ASSERT_EQ(lines.size(), framesPerChannel.size() + 2) << streams.output;
    for (size_t i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        // codec_name,codec_type,codec_tag_string,nb_frames,nb_read_packets
        const std::vector<std::string> f = Split(lines[i], ',');
        ASSERT_GE(f.size(), 5u);
        if (i < framesPerChannel.size()) {
            EXPECT_EQ(f[0], "h264");
            EXPECT_EQ(f[1], "video");
            EXPECT_EQ(f[2], "AVC1");
            EXPECT_EQ(f[3], std::to_string(framesPerChannel[i]));
            EXPECT_EQ(f[4], std::to_string(framesPerChannel[i]));
        } else if (i == framesPerChannel.size()) {
            EXPECT_EQ(f[0], "pcm_s16le");
            EXPECT_EQ(f[1], "audio");
        } else {
            EXPECT_EQ(f[1], "subtitle");
        }
    }
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
    const std::vector<int> frames = WriteRecording(path, {{320, 240, 45}, {176, 144, 40}});
    ASSERT_EQ(frames, (std::vector<int>{45, 40}));
    CheckWithFFmpeg(path, frames);
}

TEST_F(AviOracle, ThreeChannelsWithSoundAndText)
{
    const std::string path = PathOf("oracle_three_channels.avi");
    const std::vector<int> frames = WriteRecording(path, {{320, 240, 31}, {176, 144, 31}, {160, 96, 33}});
    ASSERT_EQ(frames, (std::vector<int>{31, 31, 33}));
    CheckWithFFmpeg(path, frames);
}
