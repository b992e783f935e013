// SPDX-License-Identifier: GPL-3.0-or-later
// Decode and convert of a 1080p30 H.264 stream into a 640x360 sink, against the ffmpeg
// command doing the same work (one decoder thread, fast bilinear scaling to BGR24).
// Usage: decode_bench [stream.h264]   (default: made once with ffmpeg/libx264, cached)
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
// Two passes each; the faster counts (the machine is shared).
constexpr int kPasses = 2;

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

bool MakeStream(const std::string& path)
{
    // Moving pictures with temporal noise so that the encoder spends its ~10 Mbit/s.
    const std::string cmd = std::string(FFMPEG_EXECUTABLE) +
                            " -hide_banner -loglevel error -y -f lavfi"
                            " -i testsrc2=size=1920x1080:rate=30,noise=alls=12:allf=t"
                            " -frames:v 300 -c:v libx264 -preset veryfast -profile:v main"
                            " -b:v 10M -maxrate 12M -bufsize 10M -bf 0 -g 30"
                            " -x264-params repeat-headers=1:aud=0:scenecut=0 -f h264 '" +
                            path + ".tmp' && mv '" + path + ".tmp' '" + path + "'";
    std::printf("making %s ...\n", path.c_str());
    return std::system(cmd.c_str()) == 0;
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

Pass RunFfmpeg(const std::string& path, int frames)
{
    const std::string cmd = std::string(FFMPEG_EXECUTABLE) +
                            " -hide_banner -loglevel error -nostdin -threads 1 -i '" + path +
                            "' -vf scale=640:360:flags=fast_bilinear -pix_fmt bgr24 -f null -";
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

Pass Best(const Pass& a, const Pass& b)
{
    return a.wall <= b.wall ? a : b;
}

void Print(const char* name, const Pass& p)
{
    std::printf("%-28s %4d pictures  wall %6.3f s  %7.1f fps   cpu %6.3f s  %7.1f fps/cpu\n", name,
                p.pictures, p.wall, p.pictures / p.wall, p.cpu, p.pictures / p.cpu);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string path =
        argc > 1 ? argv[1] : std::string(MUB_BINARY_DIR) + "/bench/decode/moving_1080p30_main.h264";
    if (!std::filesystem::exists(path) && (argc > 1 || !MakeStream(path))) {
        std::fprintf(stderr, "no stream %s\n", path.c_str());
        return 1;
    }
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Units units = SplitAccessUnits(bytes);
    std::printf("%s: %zu access units, %.2f Mbit/s at 30 fps\n", path.c_str(), units.size(),
                static_cast<double>(bytes.size()) * 8 * 30 /
                    static_cast<double>(std::max<size_t>(units.size(), 1)) / 1e6);

    Pass ours1;
    Pass ours2;
    Pass ffmpeg;
    Pass decodeOnly;
    for (int i = 0; i < kPasses; ++i) {
        const Pass a = RunOurs(units, 1);
        const Pass f = RunFfmpeg(path, static_cast<int>(units.size()));
        const Pass b = RunOurs(units, 2);
        const Pass d = RunOurs(units, 1, false);
        decodeOnly = i == 0 ? d : Best(decodeOnly, d);
        ours1 = i == 0 ? a : Best(ours1, a);
        ffmpeg = i == 0 ? f : Best(ffmpeg, f);
        ours2 = i == 0 ? b : Best(ours2, b);
    }
    Print("CDecoder, 1 thread", ours1);
    Print("CDecoder, 2 slice threads", ours2);
    Print("ffmpeg -threads 1", ffmpeg);
    Print("CDecoder, decode only", decodeOnly);
    if (ffmpeg.pictures > 0 && ffmpeg.wall > 0) {
        std::printf("fps ratio CDecoder(1 thread)/ffmpeg: wall %.2f, cpu %.2f\n",
                    (ours1.pictures / ours1.wall) / (ffmpeg.pictures / ffmpeg.wall),
                    (ours1.pictures / ours1.cpu) / (ffmpeg.pictures / ffmpeg.cpu));
    }
    return ours1.pictures == static_cast<int>(units.size()) ? 0 : 1;
}
