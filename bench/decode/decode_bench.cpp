// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding of the road streams at each picture size (720p, 1080p, 2160p, 300 pictures
// each), ours against `ffmpeg -threads 1` on the same stream, so the load of every other
// figure is visible; then decode and convert of the 1080p stream into a 640x360 sink.
// Usage: decode_bench [stream.h264]   (default: the road cards' streams, made once)
#include "bench/common/road_card.h"
#include "engine/decoder.h"
#include "platform/picturesink.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Units = std::vector<std::vector<uint8_t>>;

constexpr int kSinkWidth = 640;
constexpr int kSinkHeight = 360;

double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double NowSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Splits an Annex B byte stream into access units with libavcodec's parser.
Units SplitAccessUnits(const std::vector<uint8_t>& bytes)
{
    Units units;
    AVCodecParserContext* parser = av_parser_init(AV_CODEC_ID_H264);
    AVCodecContext* ctx = avcodec_alloc_context3(nullptr);
    const uint8_t* p = bytes.data();
    int left = static_cast<int>(bytes.size());
    while (true) {
        uint8_t* out = nullptr;
        int outSize = 0;
        const int used =
            av_parser_parse2(parser, ctx, &out, &outSize, p, left, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        if (outSize > 0) {
            units.emplace_back(out, out + outSize);
        }
        if (left == 0) {
            if (outSize == 0) {
                break;
            }
            continue;
        }
        p += used;
        left -= used;
    }
    avcodec_free_context(&ctx);
    av_parser_close(parser);
    return units;
}

struct Pass {
    double wall = 0;
    double cpu = 0;
    int pictures = 0;
};

Pass RunOurs(const Units& units, int threads, bool show = true)
{
    CDecoder decoder;
    decoder.SetThreadCount(threads);
    decoder.Init();
    CPictureSink sink(kSinkWidth, kSinkHeight);
    Pass pass;
    const double cpu0 = CpuSeconds();
    const double wall0 = NowSeconds();
    for (const auto& unit : units) {
        pass.pictures +=
            decoder.DecodeAndShow(0, &sink, unit.data(), static_cast<int>(unit.size()), show) ? 1 : 0;
    }
    pass.wall = NowSeconds() - wall0;
    pass.cpu = CpuSeconds() - cpu0;
    return pass;
}

// filter: ffmpeg's output options after the input (empty: decode only).
Pass RunFfmpeg(const std::string& path, int frames, const std::string& filter)
{
    const std::string cmd = std::string(FFMPEG_EXECUTABLE) +
                            " -hide_banner -loglevel error -nostdin -threads 1 -i '" + path + "' " + filter +
                            " -f null -";
    Pass pass;
    const double wall0 = NowSeconds();
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    pass.wall = NowSeconds() - wall0;
    pass.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    pass.pictures = (WIFEXITED(status) && WEXITSTATUS(status) == 0) ? frames : 0;
    return pass;
}

double Fps(const Pass& p)
{
    return p.wall > 0 ? p.pictures / p.wall : 0;
}

// The middle of three passes by frame rate.
template <typename Run>
Pass Median3(Run run)
{
    Pass p[3] = {run(), run(), run()};
    std::sort(std::begin(p), std::end(p), [](const Pass& a, const Pass& b) { return Fps(a) < Fps(b); });
    return p[1];
}

void Print(const char* name, const Pass& p)
{
    std::printf("%-34s %4d pictures  wall %6.3f s  %7.1f fps   cpu %6.3f s  %7.1f fps/cpu\n", name,
                p.pictures, p.wall, Fps(p), p.cpu, p.pictures / p.cpu);
}

Units ReadUnits(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return SplitAccessUnits(bytes);
}

// The first kPictures units of a channel of a road card as a stream file.
constexpr int kPictures = 300;
std::string RoadStream(const std::string& card, int channel, const std::string& label)
{
    const std::string file = road_card::FirstRecordingFile(card);
    const std::string out = std::string(MUB_BINARY_DIR) + "/bench/decode/road_" + label + ".h264";
    if (file.empty()) {
        return {};
    }
    if (!std::filesystem::exists(out)) {
        auto units = road_card::ChannelUnits(file, channel);
        units.resize(std::min<size_t>(units.size(), kPictures));
        std::ofstream f(out, std::ios::binary);
        for (const auto& u : units) {
            f.write(reinterpret_cast<const char*>(u.data()), static_cast<std::streamsize>(u.size()));
        }
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    struct Size {
        const char* label;
        std::string path;
    };
    std::vector<Size> sizes;
    if (argc > 1) {
        sizes.push_back({"stream", argv[1]});
    } else {
        const std::string card3 = road_card::Make("road3ch", road_card::kRoad3ch);
        const std::string card4k = road_card::Make("road4k", road_card::kRoad4k);
        sizes.push_back({"720p", RoadStream(card3, 1, "720p")});
        sizes.push_back({"1080p", RoadStream(card3, 0, "1080p")});
        sizes.push_back({"2160p", RoadStream(card4k, 0, "2160p")});
    }
    bool ok = true;
    std::string stream1080;
    for (const Size& size : sizes) {
        const Units units = ReadUnits(size.path);
        if (units.empty()) {
            std::fprintf(stderr, "no stream %s\n", size.path.c_str());
            ok = false;
            continue;
        }
        if (std::string(size.label) == "1080p" || argc > 1) {
            stream1080 = size.path;
        }
        const double mbits = static_cast<double>(std::filesystem::file_size(size.path)) * 8 * 30 /
                             static_cast<double>(units.size()) / 1e6;
        std::printf("%s %s: %zu access units, %.1f Mbit/s at 30 fps, load %.1f\n", size.label,
                    size.path.c_str(), units.size(), mbits, road_card::LoadAverage());
        const Pass ours = Median3([&] { return RunOurs(units, 1, false); });
        const Pass ffmpeg = Median3([&] { return RunFfmpeg(size.path, static_cast<int>(units.size()), ""); });
        Print("CDecoder, decode only, 1 thread", ours);
        Print("ffmpeg -threads 1, decode only", ffmpeg);
        const std::string figure =
            std::string("decode fps, road ") + size.label + " (ours vs ffmpeg -threads 1)";
        // Per CPU second: the machine is shared, and wall time says more about the others.
        road_card::Summary(figure.c_str(), ours.pictures / ours.cpu, ffmpeg.pictures / ffmpeg.cpu,
                           "fps/cpu-s", "load only");
        ok = ok && ours.pictures == static_cast<int>(units.size());
    }
    if (!stream1080.empty()) {
        // Decode and convert into a 640x360 sink, as the player paints a picture place.
        const Units units = ReadUnits(stream1080);
        const Pass ours = Median3([&] { return RunOurs(units, 1); });
        const Pass ffmpeg = Median3([&] {
            return RunFfmpeg(stream1080, static_cast<int>(units.size()),
                             "-vf scale=640:360:flags=fast_bilinear -pix_fmt bgr24");
        });
        Print("CDecoder, 1 thread, to 640x360", ours);
        Print("ffmpeg -threads 1, to 640x360", ffmpeg);
    }
    return ok ? 0 : 1;
}
