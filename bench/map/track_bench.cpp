// Reading a recording's GPS track for the map's route through the card library, as the
// viewer does on every open: a 60 s and a 10 min recording, with front 1920x1080 and rear
// 1280x720 or with the sample card's 640x360 and 320x180 (synthetic payloads at the
// camera's bit rates), from the page cache (warm) and after dropping the file's cached
// pages (cold). The baseline is a plain sequential read of the same file.
//
// Makes its cards with mubcard under MUB_BENCH_DIR or the temporary folder.
#include "formats/gpstrack.h"
#include "mublib/mub_card.h"
#include "mublib/mublib.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct BenchRecording {
    fs::path card;
    std::string name;
    std::string path;
    uint64_t bytes = 0;
    bool ok = false;
};

BenchRecording Make(int seconds, int height)
{
    BenchRecording r;
    const char* base = std::getenv("MUB_BENCH_DIR");
    r.card = fs::path(base != nullptr ? base : fs::temp_directory_path().c_str()) /
             ("mub_track_bench_" + std::to_string(seconds) + "_" + std::to_string(height));
    const std::string sizes =
        height == 1080 ? " --front 1920x1080 --rear 1280x720" : " --front 640x360 --rear 320x180";
    if (!fs::exists(r.card / "RECORD")) {
        const std::string cmd = std::string(MUB_BINARY_DIR) + "/tools/mubcard/mubcard --out '" +
                                r.card.string() + "' --synthetic --per-category 1 --letters D --duration " +
                                std::to_string(seconds) + sizes + " --seed 5 > /dev/null 2>&1";
        if (std::system(cmd.c_str()) != 0) {
            return r;
        }
    }
    const auto list = mub::ListCategory(r.card.string(), MUB_CATEGORY_DRIVING);
    if (list.empty()) {
        return r;
    }
    r.name = list.front().stem + ".avi";
    r.path = list.front().path;
    r.bytes = fs::file_size(r.path);
    r.ok = true;
    return r;
}

const BenchRecording& Recording(const benchmark::State& state)
{
    static std::map<std::pair<int64_t, int64_t>, BenchRecording> made;
    const auto key = std::make_pair(state.range(0), state.range(2));
    auto it = made.find(key);
    if (it == made.end()) {
        it = made.emplace(key, Make(static_cast<int>(key.first), static_cast<int>(key.second))).first;
    }
    return it->second;
}

// Before a cold round: the file's cached pages go, outside the timing.
void DropCacheIfCold(benchmark::State& state, const std::string& path)
{
    if (state.range(1) == 0) {
        return;
    }
    state.PauseTiming();
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        fdatasync(fd);
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        close(fd);
    }
    state.ResumeTiming();
}

void ReadTrack(benchmark::State& state)
{
    const BenchRecording& r = Recording(state);
    if (!r.ok) {
        state.SkipWithError("mubcard could not make the recording");
        return;
    }
    MUBContext ctx = MUB_CreateContext();
    MUB_AddCardFolder(ctx, r.card.c_str());
    size_t points = 0;
    for (auto _ : state) {
        DropCacheIfCold(state, r.path);
        GpsTrack track;
        ReadGpsTrack(ctx, r.name, &track);
        points = track.points.size();
        benchmark::DoNotOptimize(track.points.data());
    }
    MUB_ReleaseContext(ctx);
    state.counters["points"] = static_cast<double>(points);
    state.counters["MiB"] = static_cast<double>(r.bytes) / (1 << 20);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * r.bytes));
}

void PlainRead(benchmark::State& state)
{
    const BenchRecording& r = Recording(state);
    if (!r.ok) {
        state.SkipWithError("mubcard could not make the recording");
        return;
    }
    std::vector<char> buffer(1 << 20);
    for (auto _ : state) {
        DropCacheIfCold(state, r.path);
        const int fd = open(r.path.c_str(), O_RDONLY);
        while (read(fd, buffer.data(), buffer.size()) > 0) {
        }
        close(fd);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * r.bytes));
}

// Arguments: recording seconds, cold (1) or warm (0), front picture height.
BENCHMARK(ReadTrack)
    ->ArgsProduct({{60, 600}, {0, 1}, {1080, 360}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(PlainRead)
    ->ArgsProduct({{60, 600}, {0, 1}, {1080, 360}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
