// SPDX-License-Identifier: GPL-3.0-or-later
// mubcard: writes a sample card folder for the viewer and the tests.
//
//   mubcard --out DIR [--seed N] [--per-category N] [--letters DTEN]
//           [--duration SECONDS | --duration MIN-MAX] [--front WxH] [--rear WxH]
//           [--third WxH] [--fps N] [--start YYYYMMDD_HHMMSS] [--synthetic]
//           [--content plain|road] [--count N]
//
// The same options and seed give the same bytes.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "mublib/mub_card.h"
#include "tools/common/args.h"
#include "tools/mubcard/card_plan.h"
#include "tools/mubcard/recording_maker.h"
#include "tools/mubcard/telemetry_gen.h"

namespace {

constexpr const char* kHelp =
    "Usage: mubcard --out DIR [options]\n"
    "Writes a sample dashboard camera card into a folder: recordings with real H.264\n"
    "video, sound and telemetry of a car driving a loop of city roads, and the camera's\n"
    "settings. The same options and seed give the same bytes. Prints one line per\n"
    "recording written.\n"
    "\n"
    "Options:\n"
    "  --out DIR                 the card folder to write (made when missing)\n"
    "  --seed N                  the random seed (default 1)\n"
    "  --per-category N          recordings per category (default 3)\n"
    "  --letters DTEN            the channel letters to use: D front and rear, T all\n"
    "                            three, E front and third, N front only\n"
    "  --duration S|MIN-MAX      each recording's length in seconds\n"
    "  --front WxH               the front picture's size (also --rear, --third)\n"
    "  --fps N                   pictures per second (default 30)\n"
    "  --start YYYYMMDD_HHMMSS   the first recording's start\n"
    "  --synthetic               fake (not decodable) video payloads, fast, for big\n"
    "                            test cards\n"
    "  --content plain|road      road: textured, moving, noisy pictures at dashcam bit\n"
    "                            rates (about 5 Mbit/s at 720p, 10 at 1080p, 25 at\n"
    "                            2160p), as costly to decode as real footage\n"
    "  --count N                 write only the first N recordings of the card\n"
    "  -h, --help                show this help and exit\n"
    "  --version                 show the version and exit\n";

bool ParseSize(const char* text, int* w, int* h)
{
    char rest = 0;
    if (std::sscanf(text, "%dx%d%c", w, h, &rest) != 2) {
        return false;
    }
    // 4:2:0 pictures need even sizes; the description record holds 16 bits.
    return *w >= 16 && *h >= 16 && *w <= 4096 && *h <= 4096 && *w % 2 == 0 && *h % 2 == 0;
}

bool MakeDirs(const std::string& path)
{
    std::string cur;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (!cur.empty() && ::mkdir(cur.c_str(), 0755) != 0 && errno != EEXIST) {
                return false;
            }
        }
        if (i < path.size()) {
            cur += path[i];
        }
    }
    return true;
}

bool WriteFile(const std::string& path, const void* data, size_t len)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        return false;
    }
    const bool ok = std::fwrite(data, 1, len, f) == len;
    return std::fclose(f) == 0 && ok;
}

// Returns -1 when the card is to be made, else the exit status.
int ParseOptions(int argc, char** argv, CardOptions* o)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        long n = 0;
        if (AnswerStandardOption(a, "mubcard", kHelp)) {
            return 0;
        }
        if (a == "--synthetic") {
            o->synthetic = true;
            continue;
        }
        static const std::set<std::string> kValueOptions = {
            "--out",  "--seed",  "--per-category", "--letters", "--duration", "--front",
            "--rear", "--third", "--fps",          "--start",   "--count",    "--content"};
        if (kValueOptions.count(a) == 0) {
            return BadArguments("mubcard",
                                (a.rfind("-", 0) == 0 ? "unknown option " : "unexpected argument ") + a);
        }
        if (!v) {
            return BadArguments("mubcard", a + " needs a value");
        }
        ++i;
        bool ok = true;
        if (a == "--out") {
            o->outDir = v;
        } else if (a == "--seed") {
            char* end = nullptr;
            o->seed = std::strtoull(v, &end, 10);
            ok = end != v && !*end;
        } else if (a == "--per-category") {
            ok = ParseLong(v, 0, 100000, &n);
            o->perCategory = static_cast<int>(n);
        } else if (a == "--letters") {
            o->letters = v;
            ok = !o->letters.empty() && o->letters.find_first_not_of("DTEN") == std::string::npos;
        } else if (a == "--duration") {
            int lo = 0, hi = 0;
            char rest = 0;
            const int got = std::sscanf(v, "%d-%d%c", &lo, &hi, &rest);
            if (got == 1) {
                hi = lo;
            }
            ok = (got == 1 || got == 2) && lo >= 1 && hi >= lo && hi <= 3600;
            o->minSeconds = lo;
            o->maxSeconds = hi;
        } else if (a == "--front") {
            ok = ParseSize(v, &o->width[0], &o->height[0]);
        } else if (a == "--rear") {
            ok = ParseSize(v, &o->width[1], &o->height[1]);
        } else if (a == "--third") {
            ok = ParseSize(v, &o->width[2], &o->height[2]);
        } else if (a == "--fps") {
            ok = ParseLong(v, 1, 120, &n);
            o->fps = static_cast<int>(n);
        } else if (a == "--count") {
            ok = ParseLong(v, 1, 400000, &n);
            o->count = static_cast<int>(n);
        } else if (a == "--content") {
            ok = std::strcmp(v, "plain") == 0 || std::strcmp(v, "road") == 0;
            o->road = std::strcmp(v, "road") == 0;
        } else if (a == "--start") {
            time_t t = 0;
            ok = ParseWallClock(v, &t);
            o->start = v;
        }
        if (!ok) {
            return BadArguments("mubcard", "bad value for " + a + ": " + v);
        }
    }
    if (o->outDir.empty()) {
        return BadArguments("mubcard", "--out DIR is needed");
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    av_log_set_level(AV_LOG_ERROR);
    CardOptions options;
    if (const int status = ParseOptions(argc, argv, &options); status >= 0) {
        return status;
    }
    const std::string root = options.outDir;
    for (int c = 0; c < 4; ++c) {
        if (!MakeDirs(mub::CategoryFolder(root, c))) {
            std::fprintf(stderr, "mubcard: cannot create %s\n", mub::CategoryFolder(root, c).c_str());
            return 1;
        }
    }
    if (!MakeDirs(root + "/" + mub::kSettingDir)) {
        std::fprintf(stderr, "mubcard: cannot create the settings folder\n");
        return 1;
    }
    // The card's own id: the library tells cards apart by it.
    CRandom idRng(options.seed ^ 0xCA4DCA4Dull);
    uint8_t id[16];
    for (auto& b : id) {
        b = static_cast<uint8_t>(idRng.Next());
    }
    const std::string& config = mub::DefaultConfigText();
    if (!WriteFile(root + "/" + mub::kCardIdFile, id, sizeof id) ||
        !WriteFile(root + "/" + mub::kConfigFile, config.data(), config.size())) {
        std::fprintf(stderr, "mubcard: cannot write into %s\n", root.c_str());
        return 1;
    }

    auto plans = PlanCard(options);
    if (options.count > 0 && plans.size() > static_cast<size_t>(options.count)) {
        plans.resize(static_cast<size_t>(options.count));
    }
    CVehicleSim car;
    int failed = 0;
    int unlisted = 0;
    for (size_t i = 0; i < plans.size(); ++i) {
        const RecordingPlan& p = plans[i];
        const bool cold = i == 0 || p.start - (plans[i - 1].start + plans[i - 1].seconds) > 60;
        const auto text = car.Run(p, cold);
        mub::RecordingName name;
        mub::ParseRecordingName(p.name.c_str(), &name);
        const std::string path = mub::RecordingPath(root, p.category, name.stem);
        if (!MakeRecording(options, p, text, path)) {
            ++failed;
            continue;
        }
        struct stat st {};
        ::stat(path.c_str(), &st);
        const double mib = static_cast<double>(st.st_size) / (1024.0 * 1024.0);
        std::printf("%s %d s %.2f MiB\n", p.name.c_str(), p.seconds, mib);
        if (st.st_size <= 0x100000 || st.st_size >= 0xA000000) {
            ++unlisted;
        }
    }
    if (unlisted > 0) {
        std::fprintf(
            stderr,
            "mubcard: %d recording(s) outside 1 MiB < size < 160 MiB; the viewer does not list them\n",
            unlisted);
    }
    return failed ? 1 : 0;
}
