// SPDX-License-Identifier: GPL-3.0-or-later
// Read throughput of a road recording (a minute of 1080p front, 720p rear and third):
// through CMUBParser::ParseMedia with its read-ahead thread (as the player reads), without
// it (as an export reads), and as a plain sequential read of the same file in 1 MiB
// blocks, the anchor. The file is in the page cache for all of them; medians of three.
#include "bench/common/road_card.h"
#include "formats/mubparser.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The parser prints a line at the end of each recording; keep it out of the report.
class QuietStdout {
public:
    QuietStdout()
    {
        std::fflush(stdout);
        m_saved = dup(1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        close(null);
    }
    ~QuietStdout()
    {
        std::fflush(stdout);
        dup2(m_saved, 1);
        close(m_saved);
    }

private:
    int m_saved = -1;
};

double PlainRead(const std::string& file)
{
    std::vector<char> buffer(1 << 20);
    const double t0 = road_card::NowSeconds();
    const int fd = open(file.c_str(), O_RDONLY);
    uint64_t total = 0;
    ssize_t n = 0;
    while ((n = read(fd, buffer.data(), buffer.size())) > 0) {
        total += static_cast<uint64_t>(n);
    }
    close(fd);
    return total > 0 ? road_card::NowSeconds() - t0 : -1;
}

// Seconds to read every packet through ParseMedia; packets counted into *packets.
double ThroughParser(const std::string& name, bool readAhead, int* packets)
{
    std::vector<uint8_t> buffer(kPacketBufferBytes);
    QuietStdout quiet;
    CMUBParser parser;
    if (readAhead) {
        parser.Start();
    }
    const double t0 = road_card::NowSeconds();
    std::vector<char> path(name.begin(), name.end());
    path.push_back('\0');
    MediaInfo info;
    parser.Open(path.data(), &info);
    *packets = 0;
    for (;;) {
        char id[5] = {};
        int size = kPacketBufferBytes;
        if (parser.ParseMedia(id, buffer.data(), &size) < 0) {
            break;
        }
        *packets += id[0] != '\0' ? 1 : 0;
    }
    const double seconds = road_card::NowSeconds() - t0;
    parser.Stop();
    return seconds;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    // "--profile ahead|direct": that path alone, twenty times, for perf.
    const std::string profile = argc == 3 && std::string(argv[1]) == "--profile" ? argv[2] : "";
    const std::string card = road_card::Make("road3ch", road_card::kRoad3ch);
    const std::string file = road_card::FirstRecordingFile(card);
    if (file.empty()) {
        std::fprintf(stderr, "parser_bench: no road card\n");
        return 1;
    }
    MUBContext ctx = CreateLibraryContext();
    AddCardFolder(ctx, card.c_str());
    OpenCard(ctx);
    SetLibraryContext(ctx);
    const std::string name = fs::path(file).stem().string() + ".avi";
    const double mb = static_cast<double>(fs::file_size(file)) / 1e6;
    std::printf("%s: %.1f MB, load %.1f\n", name.c_str(), mb, road_card::LoadAverage());

    PlainRead(file);  // into the page cache
    if (!profile.empty()) {
        int packets = 0;
        std::vector<double> runs;
        for (int round = 0; round < 20; ++round) {
            runs.push_back(ThroughParser(name, profile == "ahead", &packets));
        }
        for (double r : runs) {
            std::printf("%.1f ", r * 1e3);
        }
        std::printf("\n%s: median %.1f ms, %d packets\n", profile.c_str(), Median(runs) * 1e3, packets);
        ReleaseLibraryContext(ctx);
        return 0;
    }
    std::vector<double> plain, threaded, direct;
    int packets = 0;
    for (int round = 0; round < 3; ++round) {
        plain.push_back(PlainRead(file));
        threaded.push_back(ThroughParser(name, true, &packets));
        direct.push_back(ThroughParser(name, false, &packets));
    }
    const double p = Median(plain), t = Median(threaded), d = Median(direct);
    std::printf("plain sequential read   %7.1f ms  %6.0f MB/s\n", p * 1e3, mb / p);
    std::printf("ParseMedia, read-ahead  %7.1f ms  %6.0f MB/s  %d packets\n", t * 1e3, mb / t, packets);
    std::printf("ParseMedia, direct      %7.1f ms  %6.0f MB/s\n", d * 1e3, mb / d);
    road_card::Summary("CMUBParser::ParseMedia (read-ahead) vs plain sequential read", t * 1e3, p * 1e3, "ms",
                       "ratio <= 1.5");
    road_card::Summary("ParseMedia without read-ahead (export) vs plain sequential read", d * 1e3, p * 1e3,
                       "ms", "-");
    ReleaseLibraryContext(ctx);
    return 0;
}
