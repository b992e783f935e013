// SPDX-License-Identifier: GPL-3.0-or-later
// Listing a card of 1,000 recordings (250 per category) the way the viewer does: for each
// category the count (ordinal 9), then the names and sizes (ordinal 10). The cache is warm
// after the first round.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "mublib/mub_card.h"
#include "mublib/mub_container.h"
#include "mublib/mublib.h"

namespace {

constexpr int kPerCategory = 250;

struct Card {
    std::string root;
    Card()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "mublist-XXXXXX").string();
        root = mkdtemp(tmpl.data());
        mub::RecordingDescription desc;
        desc.width[0] = 640;
        desc.height[0] = 360;
        std::vector<uint8_t> unit(2000, 0x41);
        for (int c = 0; c < 4; ++c) {
            std::filesystem::create_directories(mub::CategoryFolder(root, c));
            for (int i = 0; i < kPerCategory; ++i) {
                const time_t t = 1764574200 + (c * kPerCategory + i) * 60;
                mub::RecordingName name;
                mub::ParseRecordingName(mub::MakeRecordingName(c, t, 'N').c_str(), &name);
                mub::CMubWriter w;
                desc.category = static_cast<uint8_t>(c);
                desc.startTime = static_cast<uint32_t>(t);
                w.Create(mub::RecordingPath(root, c, name.stem), desc);
                for (int f = 0; f < 30; ++f) {
                    w.WritePacket(0, f == 0 ? 0 : 2, f == 0 ? 1 : 0, static_cast<uint32_t>(f * 33),
                                  unit.data(), static_cast<uint32_t>(unit.size()));
                }
                w.Finish();
            }
        }
    }
    ~Card() { std::filesystem::remove_all(root); }
};

void BM_ListThousandRecordings(benchmark::State& state)
{
    static Card card;
    setenv("MUB_NO_REMOVABLE", "1", 1);
    MUBContext ctx = MUB_CreateContext();
    MUB_AddCardFolder(ctx, card.root.c_str());
    uint8_t id = 0;
    MUB_GetCardId(ctx, &id);
    std::vector<char> names;
    std::vector<uint32_t> sizes, extra;
    int listed = 0;
    for (auto _ : state) {
        listed = 0;
        for (int c = 0; c < 4; ++c) {
            const int n = MUB_GetFileCount(ctx, id, c);
            names.assign(static_cast<size_t>(n) * MUB_NAME_SLOT_BYTES, 0);
            sizes.assign(2 * static_cast<size_t>(n) + 2, 0);
            extra.assign(static_cast<size_t>(n) + 2, 0);
            listed += MUB_GetFileList(ctx, id, c, n, names.data(), sizes.data(), extra.data());
        }
        benchmark::DoNotOptimize(names.data());
    }
    state.counters["recordings"] = listed;
    MUB_ReleaseContext(ctx);
}
BENCHMARK(BM_ListThousandRecordings)->Unit(benchmark::kMillisecond);

// A half-hour driving recording (front and rear, small units): a seek is one index lookup
// whatever the target, and reading goes at the speed of the file cache.
struct LongRecording {
    std::string root;
    static constexpr int kSeconds = 1800;
    LongRecording()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "mublong-XXXXXX").string();
        root = mkdtemp(tmpl.data());
        std::filesystem::create_directories(mub::CategoryFolder(root, 1));
        mub::RecordingDescription desc;
        desc.width[0] = 640;
        desc.height[0] = 360;
        desc.width[1] = 320;
        desc.height[1] = 180;
        mub::CMubWriter w;
        w.Create(mub::RecordingPath(root, 1, "REC_20261201_080000_D"), desc);
        std::vector<uint8_t> unit(600, 0x41), pcm(4000, 0);
        for (int f = 0; f < kSeconds * 30; ++f) {
            const uint32_t ms = static_cast<uint32_t>(f * 1000 / 30);
            const bool key = f % 30 == 0;
            for (uint8_t c = 0; c < 2; ++c) {
                w.WritePacket(c, key ? 0 : 2, key ? 1 : 0, ms, unit.data(),
                              static_cast<uint32_t>(unit.size()));
            }
            if (f % 30 == 0 || f % 30 == 8 || f % 30 == 15 || f % 30 == 23) {
                w.WritePacket(0, 1, 0, ms, pcm.data(), static_cast<uint32_t>(pcm.size()));
            }
        }
        w.Finish();
    }
    ~LongRecording() { std::filesystem::remove_all(root); }
};

MUBContext OpenLong(LongRecording& rec)
{
    setenv("MUB_NO_REMOVABLE", "1", 1);
    MUBContext ctx = MUB_CreateContext();
    MUB_AddCardFolder(ctx, rec.root.c_str());
    MUB_SelectFile(ctx, 1, 0, MUB_OpenFileByName(ctx, 1, "REC_20261201_080000_D.avi"));
    return ctx;
}

void BM_SeekAndReadKeyUnit(benchmark::State& state)
{
    static LongRecording rec;
    MUBContext ctx = OpenLong(rec);
    std::vector<uint8_t> buf(0x200000);
    int keys = 0, n = 0;
    for (auto _ : state) {
        n = (n + 7919) % LongRecording::kSeconds;
        MUB_Seek(ctx, keys + n + 1, keys + LongRecording::kSeconds + 1);
        uint8_t t, s, f;
        int size = static_cast<int>(buf.size());
        MUB_ReadPacket(ctx, &t, &s, &f, &size, buf.data(), nullptr);
        keys += s == 0 ? 1 : 0;
    }
    MUB_ReleaseContext(ctx);
}
BENCHMARK(BM_SeekAndReadKeyUnit)->Unit(benchmark::kMicrosecond);

void BM_ReadWholeRecording(benchmark::State& state)
{
    static LongRecording rec;
    MUBContext ctx = OpenLong(rec);
    std::vector<uint8_t> buf(0x200000);
    int64_t packets = 0;
    for (auto _ : state) {
        MUB_SelectFile(ctx, 1, 0, 0);
        for (;;) {
            uint8_t t, s, f;
            int size = static_cast<int>(buf.size());
            if (MUB_ReadPacket(ctx, &t, &s, &f, &size, buf.data(), nullptr) != MUB_READ_OK) {
                break;
            }
            ++packets;
        }
    }
    state.SetItemsProcessed(packets);
    MUB_ReleaseContext(ctx);
}
BENCHMARK(BM_ReadWholeRecording)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
