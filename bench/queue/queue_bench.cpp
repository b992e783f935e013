// SPDX-License-Identifier: GPL-3.0-or-later
// Push + pop throughput of the packet queues against a plain memcpy of the same bytes.
#include "engine/media.h"
#include "engine/packetqueue.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

// Room for a few of the largest entries, as the parser's 2 MiB queue has for its packets.
constexpr int kQueueBytes = 4 * 1024 * 1024;

void BM_Memcpy(benchmark::State& state)
{
    const auto bytes = static_cast<size_t>(state.range(0));
    std::vector<uint8_t> src(bytes, 0x5A);
    std::vector<uint8_t> dst(bytes);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), bytes);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_ThreadQueuePushPop(benchmark::State& state)
{
    const auto bytes = static_cast<int>(state.range(0));
    std::vector<uint8_t> src(static_cast<size_t>(bytes), 0x5A);
    std::vector<uint8_t> dst(static_cast<size_t>(bytes));
    CThreadQueue q;
    q.Init(kQueueBytes);
    // Keep a few entries queued so pops and pushes walk through the storage.
    for (int i = 0; i < 2; ++i) {
        q.Push(src.data(), bytes, i);
    }
    for (auto _ : state) {
        q.Push(src.data(), bytes, 1);
        void* out = dst.data();
        int length = 0;
        int tag = 0;
        q.Pop(&out, &length, &tag);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_DecodeQueuePushPop(benchmark::State& state)
{
    const auto bytes = static_cast<int>(state.range(0));
    std::vector<uint8_t> src(static_cast<size_t>(bytes), 0x5A);
    std::vector<uint8_t> dst(static_cast<size_t>(bytes));
    DecodeQueue q;
    for (int i = 0; i < 2; ++i) {
        q.Push(i, src.data(), bytes);
    }
    for (auto _ : state) {
        q.Push(1, src.data(), bytes);
        int length = 0;
        int tag = 0;
        q.Pop(dst.data(), &length, &tag);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// The read-ahead's usual state: the queue is full, the player takes one packet and the
// reader puts the next one in.
void BM_ThreadQueueFullPushPop(benchmark::State& state)
{
    const auto bytes = static_cast<int>(state.range(0));
    std::vector<uint8_t> src(static_cast<size_t>(bytes), 0x5A);
    std::vector<uint8_t> dst(static_cast<size_t>(bytes));
    CThreadQueue q;
    q.Init(kPacketBufferBytes);
    while (q.Push(src.data(), bytes, 0)) {
    }
    for (auto _ : state) {
        void* out = dst.data();
        int length = 0;
        int tag = 0;
        q.Pop(&out, &length, &tag);
        q.Push(src.data(), bytes, 1);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

}  // namespace

BENCHMARK(BM_Memcpy)->Arg(2 << 10)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_ThreadQueuePushPop)->Arg(2 << 10)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_DecodeQueuePushPop)->Arg(2 << 10)->Arg(64 << 10)->Arg(1 << 20);
BENCHMARK(BM_ThreadQueueFullPushPop)->Arg(2 << 10)->Arg(64 << 10);

BENCHMARK_MAIN();
