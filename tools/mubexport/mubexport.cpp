// SPDX-License-Identifier: GPL-3.0-or-later
// mubexport: exports recordings from a card into a folder as AVI files, with a progress
// bar on the terminal; on request each with its GPS track (--gpx) and telemetry (--csv)
// beside it. Every file written gets its line in the folder's SHA256SUMS. Ctrl-C stops
// after the current packet and leaves the file being written finished (shortened but
// valid); so does a recording that cannot be read or written whole (a failing card, the
// AVI size limit), with the reason. Exit status 0 only when every file was written whole.
#include "formats/aviwriter.h"
#include "formats/exportbundle.h"
#include "formats/mubparser.h"
#include "platform/trace.h"
#include "tools/common/args.h"
#include "tools/common/card.h"

#include <sys/stat.h>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Set by SIGINT; read by the export before every packet.
std::atomic<bool> g_cancel{false};
static_assert(std::atomic<bool>::is_always_lock_free, "used from a signal handler");

void OnInterrupt(int)
{
    g_cancel.store(true);
}

constexpr const char* kHelp =
    "Usage: mubexport [--card DIR]... --out DIR [--gpx] [--csv] NAME...\n"
    "  or:  mubexport [--card DIR]... --out DIR [--gpx] [--csv] --category WORD\n"
    "Exports recordings from a dashboard camera's card into a folder as AVI files, with\n"
    "progress on standard error. Ctrl-C stops after the current packet and keeps the file\n"
    "being written, shortened but valid. The exit status is 0 only when every file was\n"
    "written whole. Every file written gets its line in the folder's SHA256SUMS.\n"
    "\n"
    "Options:\n"
    "  --card DIR        a folder that holds a card (may be given more than once)\n"
    "  --out DIR         the folder the AVI files go into\n"
    "  --category WORD   every recording of a category: REC, EVENT, PARKING or MANUAL\n"
    "  --gpx             NAME.gpx beside each AVI: its GPS track (none without a fix)\n"
    "  --csv             NAME.csv beside each AVI: every telemetry record\n"
    "  --verbose         diagnostic lines on standard error\n"
    "  -h, --help        show this help and exit\n"
    "  --version         show the version and exit\n"
    "\n"
    "Environment:\n"
    "  MUB_CARD=DIR      also names a card folder\n"
    "  MUB_TRACE=1       diagnostic lines on standard error, as --verbose\n";

int LibraryCategoryOfWord(const std::string& word)
{
    if (word == "EVENT") {
        return MUB_CATEGORY_EVENT;
    }
    if (word == "REC") {
        return MUB_CATEGORY_DRIVING;
    }
    if (word == "PARKING") {
        return MUB_CATEGORY_PARKING;
    }
    if (word == "MANUAL") {
        return MUB_CATEGORY_MANUAL;
    }
    return -1;
}

// Redrawn in place on stderr; only when the shown percentage changes.
class ProgressBar {
public:
    ProgressBar(std::string label, int index, int count)
        : m_label(std::move(label)), m_index(index), m_count(count)
    {
    }
    void Show(double fraction)
    {
        const int percent = static_cast<int>(std::clamp(fraction, 0.0, 1.0) * 100.0);
        if (percent == m_shown) {
            return;
        }
        m_shown = percent;
        constexpr int kWidth = 30;
        const int filled = percent * kWidth / 100;
        std::fprintf(stderr, "\r[%d/%d] [%s%s] %3d%% %s", m_index, m_count,
                     std::string(static_cast<size_t>(filled), '#').c_str(),
                     std::string(static_cast<size_t>(kWidth - filled), '.').c_str(), percent,
                     m_label.c_str());
    }
    void End(const char* what)
    {
        std::fprintf(stderr, "\r[%d/%d] %s %s\033[K\n", m_index, m_count, what, m_label.c_str());
    }

private:
    std::string m_label;
    int m_index;
    int m_count;
    int m_shown = -1;
};

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> cards;
    std::vector<std::string> names;
    std::string outDir;
    std::string category;
    TelemetryFiles telemetry;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (AnswerStandardOption(arg, "mubexport", kHelp)) {
            return 0;
        }
        if (arg == "--card" || arg == "--out" || arg == "--category") {
            if (i + 1 == argc) {
                return BadArguments("mubexport", arg + " needs a value");
            }
            const std::string value = argv[++i];
            if (arg == "--card") {
                cards.push_back(value);
            } else if (arg == "--out") {
                outDir = value;
            } else {
                category = value;
            }
        } else if (arg == "--gpx") {
            telemetry.gpx = true;
        } else if (arg == "--csv") {
            telemetry.csv = true;
        } else if (arg == "--verbose") {
            SetTraceEnabled(true);
        } else if (!arg.empty() && arg[0] == '-') {
            return BadArguments("mubexport", "unknown option " + arg);
        } else {
            names.push_back(arg);
        }
    }
    const int libraryCategory = category.empty() ? -1 : LibraryCategoryOfWord(category);
    if (outDir.empty()) {
        return BadArguments("mubexport", "--out DIR is needed");
    }
    if (names.empty() && category.empty()) {
        return BadArguments("mubexport", "name the recordings or give --category WORD");
    }
    if (!names.empty() && !category.empty()) {
        return BadArguments("mubexport", "recording names and --category exclude each other");
    }
    if (!category.empty() && libraryCategory < 0) {
        return BadArguments("mubexport", "unknown category " + category + " (REC, EVENT, PARKING or MANUAL)");
    }
    struct stat st {};
    if (stat(outDir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        std::fprintf(stderr, "mubexport: %s is not a folder\n", outDir.c_str());
        return 1;
    }

    uint8_t cardId = 0;
    MUBContext ctx = OpenToolCard("mubexport", cards, &cardId);
    if (ctx == nullptr) {
        return 1;
    }
    if (!category.empty()) {
        std::vector<CardRecording> list = ListCardRecordings(ctx, cardId, libraryCategory);
        SortNewestFirst(&list);
        for (const CardRecording& r : list) {
            names.push_back(r.name);
        }
        if (names.empty()) {
            std::fprintf(stderr, "mubexport: no %s recordings on the card\n", category.c_str());
        }
    }

    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);

    // Not started: without the read-ahead each packet goes straight into the writer's chunk.
    CMUBParser parser;
    CAVIWriter writer;
    int written = 0;
    int failed = 0;
    int cancelled = 0;
    int shortened = 0;
    int incomplete = 0;  // the AVI written, something beside it not
    const int count = static_cast<int>(names.size());
    for (int i = 0; i < count && !g_cancel.load(); ++i) {
        ProgressBar bar(names[i], i + 1, count);
        BundleOptions options;
        options.avi.cancel = &g_cancel;
        options.avi.progress = [&bar](const ExportProgress& p) {
            bar.Show(p.fraction);
            return true;
        };
        options.telemetry = [telemetry] { return telemetry; };
        options.card = ctx;
        options.cardId = cardId;
        bar.Show(0);
        const BundleResult bundle = ExportBundle(parser, writer, names[i], outDir, options);
        const ExportResult& r = bundle.avi;
        switch (r.status) {
            case ExportStatus::Written:
                ++written;
                bar.End("written");
                break;
            case ExportStatus::Cancelled:
                ++cancelled;
                bar.End("cancelled, shortened file kept:");
                break;
            case ExportStatus::Shortened:
                ++shortened;
                bar.End("SHORTENED, file kept:");
                std::fprintf(stderr, "mubexport: %s: %s\n", r.path.c_str(), r.reason.c_str());
                break;
            case ExportStatus::Failed:
                ++failed;
                bar.End("FAILED");
                break;
        }
        for (const std::string& problem : bundle.problems) {
            std::fprintf(stderr, "mubexport: %s\n", problem.c_str());
        }
        if (bundle.noFixes) {
            std::fprintf(stderr, "mubexport: %s has no GPS fix: no track written\n", names[i].c_str());
        }
        if (r.status != ExportStatus::Failed && !bundle.problems.empty()) {
            ++incomplete;
        }
    }
    CloseToolCard(ctx);

    std::fprintf(stderr,
                 "mubexport: %d written, %d shortened, %d failed, %d cancelled, %d not started; "
                 "%d with a problem beside the AVI\n",
                 written, shortened, failed, cancelled, count - written - shortened - failed - cancelled,
                 incomplete);
    return written == count && incomplete == 0 ? 0 : 1;
}
