// SPDX-License-Identifier: GPL-3.0-or-later
// CAVIWriter::AddData throughput against plain fwrite of the same bytes to a file.
#include "formats/aviwriter.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Start a new file after this many bytes, so the benchmark never fills the disk.
constexpr int64_t kBytesPerFile = 256LL << 20;

std::string BenchPath(const char* name)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir != nullptr ? dir : "/tmp") + "/" + name + "_" + std::to_string(getpid());
}

void BM_Fwrite(benchmark::State& state)
{
    const auto bytes = static_cast<size_t>(state.range(0));
    const std::vector<uint8_t> payload(bytes, 0x5A);
    const std::string path = BenchPath("bench_fwrite.bin");
    FILE* fp = std::fopen(path.c_str(), "wb");
    int64_t inFile = 0;
    for (auto _ : state) {
        std::fwrite(payload.data(), 1, bytes, fp);
        inFile += static_cast<int64_t>(bytes);
        if (inFile >= kBytesPerFile) {
            state.PauseTiming();
            std::fclose(fp);
            fp = std::fopen(path.c_str(), "wb");
            inFile = 0;
            state.ResumeTiming();
        }
    }
    std::fclose(fp);
    std::remove(path.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_AviAddData(benchmark::State& state)
{
    const auto bytes = static_cast<int>(state.range(0));
    const std::vector<uint8_t> payload(static_cast<size_t>(bytes), 0x5A);
    const std::string path = BenchPath("bench_avi.avi");
    CAVIWriter writer;
    writer.SetFrameRate(0, 30);
    writer.SetVideoSize(0, 1280, 720);
    writer.Create(path.c_str());
    int64_t inFile = 0;
    for (auto _ : state) {
        if (!writer.AddData(payload.data(), bytes, 0)) {
            state.SkipWithError("AddData failed");
            break;
        }
        inFile += bytes;
        if (inFile >= kBytesPerFile) {
            state.PauseTiming();
            writer.Finish();
            writer.Create(path.c_str());
            inFile = 0;
            state.ResumeTiming();
        }
    }
    writer.Finish();
    std::remove(path.c_str());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_Fwrite)->Arg(4000)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_AviAddData)->Arg(4000)->Arg(64 << 10)->Arg(1 << 20);

BENCHMARK_MAIN();
