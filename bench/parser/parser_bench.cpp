// SPDX-License-Identifier: GPL-3.0-or-later
// Read throughput of a recording: through CMUBParser (library, read-ahead thread, queue),
// through the library directly, and as a plain sequential read of the same file. The
// ratio parser / plain read is what the parser costs on top of the disk.
//
// Makes its own card with mubcard (synthetic payloads, ~100 MB front+rear+third
// recording) under MUB_BENCH_DIR or the temporary folder.
#include "formats/mubparser.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct BenchCard {
    fs::path dir;
    std::string name;
    fs::path file;
    uint64_t bytes = 0;
    MUBContext ctx = nullptr;
    bool ok = false;
};

BenchCard& Card()
{
    static BenchCard card = [] {
        BenchCard c;
        const char* base = std::getenv("MUB_BENCH_DIR");
        c.dir =
            fs::path(base != nullptr ? base : fs::temp_directory_path().c_str()) / "mub_parser_bench_card";
        if (!fs::exists(c.dir / "RECORD")) {
            const std::string cmd = std::string(MUB_BINARY_DIR) + "/tools/mubcard/mubcard --out '" +
                                    c.dir.string() +
                                    "' --per-category 1 --letters T --duration 42 --synthetic "
                                    "--front 1920x1080 --rear 1280x720 --third 1280x720 --seed 2 "
                                    "> /dev/null 2>&1";
            if (std::system(cmd.c_str()) != 0) {
                return c;
            }
        }
        c.ctx = CreateLibraryContext();
        AddCardFolder(c.ctx, c.dir.c_str());
        const uint8_t id = QueryCardId(c.ctx);
        OpenCard(c.ctx);
        SetLibraryContext(c.ctx);
        const auto list = ListCardRecordings(c.ctx, id, MUB_CATEGORY_DRIVING);
        if (list.empty()) {
            return c;
        }
        c.name = list[0].name;
        const std::string stem = c.name.substr(0, c.name.rfind('.'));
        for (const auto& e : fs::recursive_directory_iterator(c.dir)) {
            if (e.path().stem() == stem && e.path().extension() == ".mub") {
                c.file = e.path();
            }
        }
        c.bytes = c.file.empty() ? 0 : fs::file_size(c.file);
        c.ok = c.bytes > 0;
        return c;
    }();
    return card;
}

// The parser's queue prints a line each time it is polled empty; keep that out of the
// report while measuring.
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

void BM_PlainSequentialRead(benchmark::State& state)
{
    BenchCard& c = Card();
    if (!c.ok) {
        state.SkipWithError("no card");
        return;
    }
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        const int fd = open(c.file.c_str(), O_RDONLY);
        uint64_t total = 0;
        ssize_t n = 0;
        while ((n = read(fd, buffer.data(), buffer.size())) > 0) {
            total += static_cast<uint64_t>(n);
        }
        close(fd);
        benchmark::DoNotOptimize(total);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.bytes));
}

void BM_LibraryReadPacket(benchmark::State& state)
{
    BenchCard& c = Card();
    if (!c.ok) {
        state.SkipWithError("no card");
        return;
    }
    CMUBParser parser;  // not started: ReadPacket straight through the library
    std::vector<uint8_t> buffer(kPacketBufferBytes);
    for (auto _ : state) {
        std::vector<char> name(c.name.begin(), c.name.end());
        name.push_back('\0');
        MediaInfo info;
        parser.Open(name.data(), &info);
        int packets = 0;
        for (;;) {
            int size = kPacketBufferBytes;
            if (parser.ReadPacket(buffer.data(), &size) == kPacketEnd) {
                break;
            }
            ++packets;
        }
        benchmark::DoNotOptimize(packets);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.bytes));
}

void BM_ParserParseMedia(benchmark::State& state)
{
    BenchCard& c = Card();
    if (!c.ok) {
        state.SkipWithError("no card");
        return;
    }
    std::vector<uint8_t> buffer(kPacketBufferBytes);
    int64_t packets = 0;
    {
        QuietStdout quiet;
        CMUBParser parser;
        parser.Start();
        for (auto _ : state) {
            std::vector<char> name(c.name.begin(), c.name.end());
            name.push_back('\0');
            MediaInfo info;
            parser.Open(name.data(), &info);
            for (;;) {
                char id[5] = {};
                int size = kPacketBufferBytes;
                if (parser.ParseMedia(id, buffer.data(), &size) < 0) {
                    break;
                }
                packets += id[0] != '\0' ? 1 : 0;
            }
        }
        parser.Stop();  // joined here, so its last lines go to the quiet stdout too
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * c.bytes));
    state.counters["packets"] = benchmark::Counter(static_cast<double>(packets), benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_PlainSequentialRead)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_LibraryReadPacket)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();
BENCHMARK(BM_ParserParseMedia)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

BENCHMARK_MAIN();
