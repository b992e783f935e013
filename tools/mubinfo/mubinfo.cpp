// SPDX-License-Identifier: GPL-3.0-or-later
// mubinfo: lists a card's recordings by category, newest first, or describes one
// recording with its packet statistics.
#include "formats/mubparser.h"
#include "tools/common/args.h"
#include "tools/common/card.h"

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct CategoryName {
    int library;
    const char* word;
};
// Listed in the library's order, as the "all" view of the viewer does.
constexpr CategoryName kCategories[] = {
    {MUB_CATEGORY_EVENT, "EVENT"},
    {MUB_CATEGORY_DRIVING, "REC"},
    {MUB_CATEGORY_PARKING, "PARKING"},
    {MUB_CATEGORY_MANUAL, "MANUAL"},
};

constexpr const char* kHelp =
    "Usage: mubinfo [--card DIR]... [NAME]\n"
    "Lists the recordings on a dashboard camera's card by category, newest first, or\n"
    "describes one recording and counts its packets.\n"
    "\n"
    "Options:\n"
    "  --card DIR     a folder that holds a card (may be given more than once)\n"
    "  NAME           the recording to describe, for example REC_20261208_101500_D.avi\n"
    "  -h, --help     show this help and exit\n"
    "  --version      show the version and exit\n"
    "\n"
    "Environment:\n"
    "  MUB_CARD=DIR   also names a card folder\n"
    "  MUB_TRACE=1    diagnostic lines on standard error\n";

int List(MUBContext ctx, uint8_t cardId)
{
    for (const CategoryName& c : kCategories) {
        std::vector<CardRecording> list = ListCardRecordings(ctx, cardId, c.library);
        SortNewestFirst(&list);
        std::printf("# %s: %zu recording%s\n", c.word, list.size(), list.size() == 1 ? "" : "s");
        for (const CardRecording& r : list) {
            std::printf("%-40s %8.2f MB %6u s\n", r.name.c_str(), r.sizeBytes * (1.0 / 1024) * (1.0 / 1024),
                        r.lengthSecs);
        }
    }
    return 0;
}

struct StreamStats {
    long long packets = 0;
    long long bytes = 0;
};

int Describe(const std::string& recording)
{
    CMUBParser parser;
    std::vector<char> name(recording.begin(), recording.end());
    name.push_back('\0');
    MediaInfo info;
    if (parser.Open(name.data(), &info) == 0) {
        std::fprintf(stderr, "mubinfo: no recording named %s on the card\n", recording.c_str());
        return 1;
    }
    std::printf("name: %s\n", name.data());
    static const char* const kWords[4] = {"REC", "EVENT", "MANUAL", "PARKING"};
    std::printf("category: %s\n", kWords[parser.Category() & 3]);
    const int fps[3] = {info.frameRate0, info.frameRate1, info.frameRate2};
    for (int ch = 0; ch < 3; ++ch) {
        const VideoSize size = parser.GetVideoSize(ch);
        if (fps[ch] == 0 && size.width == 0) {
            continue;
        }
        std::printf("channel %d: %dx%d, %d fps\n", ch, size.width, size.height, fps[ch]);
    }
    int bits = 0;
    int rate = 0;
    parser.GetAudioFormat(&bits, &rate);
    std::printf("audio: %d bits, %d Hz\n", bits, rate);
    std::printf("frames: channel 0 %d, channel 1 %d; sixth count %d\n", info.frameCount0, info.frameCount1,
                info.extraCount);
    std::printf("records: audio %d, GPS %d, G-sensor %d\n", parser.RecordingInfo(13),
                parser.RecordingInfo(14), parser.RecordingInfo(15));
    for (int ch = 0; ch < 2; ++ch) {
        const int count = ch == 0 ? info.frameCount0 : info.frameCount1;
        if (fps[ch] > 0) {
            std::printf("duration channel %d: %.3f s\n", ch, static_cast<double>(count) / fps[ch]);
        }
    }

    // Read straight through the library, without the read-ahead thread.
    auto buffer = std::make_unique_for_overwrite<uint8_t[]>(kPacketBufferBytes);
    static const char* const kIds[5] = {"00dc", "01dc", "02dc", "02wb", "03tx"};
    std::map<std::string, StreamStats> stats;
    long long skipped = 0;
    for (;;) {
        int size = kPacketBufferBytes;
        const int code = parser.ReadPacket(buffer.get(), &size);
        if (code == kPacketEnd) {
            break;
        }
        if (code == kPacketNone) {
            // The library may skip a packet or have nothing this time; stop if it never
            // moves on.
            if (++skipped > 1000000) {
                break;
            }
            continue;
        }
        StreamStats& s = stats[kIds[code]];
        ++s.packets;
        s.bytes += size;
    }
    std::printf("packets:\n");
    for (const auto& [id, s] : stats) {
        std::printf("  %s %8lld packets %12lld bytes\n", id.c_str(), s.packets, s.bytes);
    }
    std::printf("key units: %d\n", parser.KeyUnitCount());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> cards;
    std::string recording;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (AnswerStandardOption(arg, "mubinfo", kHelp)) {
            return 0;
        }
        if (arg == "--card") {
            if (i + 1 == argc) {
                return BadArguments("mubinfo", "--card needs a folder");
            }
            cards.push_back(argv[++i]);
        } else if (!arg.empty() && arg[0] == '-') {
            return BadArguments("mubinfo", "unknown option " + arg);
        } else if (!recording.empty()) {
            return BadArguments("mubinfo", "one recording at a time, not " + recording + " and " + arg);
        } else {
            recording = arg;
        }
    }
    uint8_t cardId = 0;
    MUBContext ctx = OpenToolCard("mubinfo", cards, &cardId);
    if (ctx == nullptr) {
        return 1;
    }
    const int status = recording.empty() ? List(ctx, cardId) : Describe(recording);
    CloseToolCard(ctx);
    return status;
}
