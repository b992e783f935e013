// SPDX-License-Identifier: GPL-3.0-or-later
// The realistic load every benchmark measures: cards made by mubcard with road pictures
// at dashcam bit rates, kept in the build folder, and one channel of a recording as a
// plain H.264 stream for the ffmpeg anchors.
#pragma once

#include <sys/resource.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "mublib/mub_container.h"
#include "tools/common/make_card.h"

namespace road_card {

// The cards of the benchmarks: one recording each, 30 fps.
// A minute of three channels: 1080p front, 720p rear and third.
inline const char* const kRoad3ch =
    "--count 1 --letters T --duration 60 --front 1920x1080 --rear 1280x720 --third 1280x720 --seed 21";
// A minute of a 2160p front and a 1080p rear.
inline const char* const kRoad4k =
    "--count 1 --letters D --duration 60 --front 3840x2160 --rear 1920x1080 --seed 22";

// A card of road recordings in the build folder under folder; made once (minutes).
inline std::string Make(const std::string& folder, const std::string& args)
{
    namespace fs = std::filesystem;
    const fs::path mubcard = fs::path(MUB_BINARY_DIR) / "tools/mubcard/mubcard";
    const fs::path card = fs::path(MUB_BINARY_DIR) / "bench/cards" / folder;
    if (!sample_card::IsCurrent(mubcard, card)) {
        std::printf("making the road card %s (%s) ...\n", card.c_str(), args.c_str());
        std::fflush(stdout);
        fs::create_directories(card.parent_path());
    }
    return sample_card::MakeOnce(mubcard, card, "--content road " + args);
}

// The container file of the card's first recording (by path).
inline std::string FirstRecordingFile(const std::string& card)
{
    namespace fs = std::filesystem;
    std::vector<std::string> files;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(card, ec)) {
        if (e.path().extension() == mub::kRecordingExt) {
            files.push_back(e.path().string());
        }
    }
    std::sort(files.begin(), files.end());
    return files.empty() ? std::string() : files.front();
}

// Stamps a card made in fresh as made and moves it over card; returns card.
inline std::string PutInPlace(const std::filesystem::path& fresh, const std::filesystem::path& card)
{
    if (std::FILE* f = std::fopen((fresh / "made.stamp").c_str(), "w")) {
        std::fclose(f);
    }
    std::error_code ec;
    std::filesystem::remove_all(card, ec);
    std::filesystem::rename(fresh, card, ec);
    return card.string();
}

// A card whose one recording is the road card's minute played `times` times over (every
// packet again, its time moved on by a minute each round): ten minutes of real road
// pictures (about 1.5 GB) in seconds instead of the hour mubcard would take on this machine.
inline std::string MakeLooped(const std::string& source, const std::string& folder, int times)
{
    namespace fs = std::filesystem;
    const fs::path card = fs::path(MUB_BINARY_DIR) / "bench/cards" / folder;
    std::error_code ec;
    if (fs::exists(card / "made.stamp", ec)) {
        return card.string();
    }
    const std::string file = FirstRecordingFile(source);
    if (file.empty()) {
        return {};
    }
    const fs::path fresh = card.string() + ".new";
    fs::remove_all(fresh, ec);
    fs::copy(source, fresh, fs::copy_options::recursive, ec);
    const fs::path target = fresh / fs::relative(file, source);
    auto src = std::make_unique<mub::CMubFileSource>();
    mub::CMubReader reader;
    if (!src->Open(file) || !reader.Open(std::move(src))) {
        return {};
    }
    mub::RecordingDescription desc = mub::DecodeDescription(reader.Header().description);
    const uint32_t lengthMs = desc.durationMs;
    desc.durationMs = lengthMs * static_cast<uint32_t>(times);
    mub::CMubWriter writer;
    bool ok = writer.Create(target.string(), desc);
    std::vector<uint8_t> buffer(mub::kMaxPayloadBytes);
    for (int round = 0; round < times && ok; ++round) {
        reader.Rewind();
        mub::PacketInfo info;
        while (ok && reader.Next(buffer.data(), static_cast<uint32_t>(buffer.size()), &info) ==
                         mub::ReadResult::kOk) {
            ok = writer.WritePacket(info.type, info.status, info.flag, info.timeMs + lengthMs * round,
                                    buffer.data(), info.length);
        }
    }
    ok = writer.Finish() && ok;
    if (!ok) {
        fs::remove_all(fresh, ec);
        return {};
    }
    return PutInPlace(fresh, card);
}

// Calls fn(info, payload) for every packet of a recording, in order, after giving its
// description to *desc (when not null); false when the file cannot be read.
template <class Fn>
inline bool ForEachPacket(const std::string& file, mub::RecordingDescription* desc, Fn fn)
{
    auto source = std::make_unique<mub::CMubFileSource>();
    mub::CMubReader reader;
    if (!source->Open(file) || !reader.Open(std::move(source))) {
        return false;
    }
    if (desc != nullptr) {
        *desc = mub::DecodeDescription(reader.Header().description);
    }
    std::vector<uint8_t> buffer(mub::kMaxPayloadBytes);
    mub::PacketInfo info;
    while (reader.Next(buffer.data(), static_cast<uint32_t>(buffer.size()), &info) == mub::ReadResult::kOk) {
        fn(info, buffer.data());
    }
    return true;
}

// The access units of one video channel, in order.
inline std::vector<std::vector<uint8_t>> ChannelUnits(const std::string& file, int channel)
{
    std::vector<std::vector<uint8_t>> units;
    ForEachPacket(file, nullptr, [&](const mub::PacketInfo& info, const uint8_t* data) {
        if ((info.status == mub::kStatusKey || info.status == mub::kStatusVideo) && info.type == channel) {
            units.emplace_back(data, data + info.length);
        }
    });
    return units;
}

// Writes one channel as an Annex B stream (made once); false when it has no units.
inline bool ExtractChannel(const std::string& file, int channel, const std::string& out)
{
    if (std::filesystem::exists(out)) {
        return true;
    }
    const auto units = ChannelUnits(file, channel);
    std::ofstream f(out + ".tmp", std::ios::binary);
    for (const auto& u : units) {
        f.write(reinterpret_cast<const char*>(u.data()), static_cast<std::streamsize>(u.size()));
    }
    f.close();
    return !units.empty() && f && std::rename((out + ".tmp").c_str(), out.c_str()) == 0;
}

inline double NowSeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

inline double CpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// One line of the summary table scripts/bench collects: the figure, ours, the anchor
// measured in the same run, ours / anchor, and the target.
inline void Summary(const char* figure, double ours, double anchor, const char* unit, const char* target)
{
    std::printf("SUMMARY|%s|%.3g %s|%.3g %s|%.2f|%s\n", figure, ours, unit, anchor, unit,
                anchor > 0 ? ours / anchor : 0.0, target);
    std::fflush(stdout);
}

// The 1-minute load average, noted with each figure (the machine is shared).
inline double LoadAverage()
{
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

}  // namespace road_card
