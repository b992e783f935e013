// Start-up of the viewer on a card of 1,000 recordings (250 in each category), from the
// start of the process to its window shown with the list filled, against the same start
// on a card of 12 recordings. Each start is a process of its own; medians of three.
//
//   viewer_start_bench            (makes the cards once, synthetic payloads)
//   viewer_start_bench --child CARD    one start; prints "listed N rows in T ms"
#include "bench/common/road_card.h"
#include "viewer/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTemporaryDir>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Milliseconds since the process started (its start time in /proc, in clock ticks).
double SinceProcessStartMs()
{
    unsigned long long startTicks = 0;
    if (FILE* f = std::fopen("/proc/self/stat", "r")) {
        char buffer[1024] = {};
        const size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
        std::fclose(f);
        const char* p = std::strrchr(buffer, ')');
        // Field 22 is the start time; p points at the end of field 2.
        for (int field = 2; p != nullptr && field < 21 && p < buffer + n; ++field) {
            p = std::strchr(p + 1, ' ');
        }
        if (p != nullptr) {
            startTicks = std::strtoull(p + 1, nullptr, 10);
        }
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const double nowMs = static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
    return nowMs - static_cast<double>(startTicks) * 1e3 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

int Child(int argc, char** argv, const std::string& card)
{
    QApplication app(argc, argv);
    QTemporaryDir config;
    CSamplePlayerDlg::Options options;
    options.cardFolder = card;
    options.configFolder = config.path().toStdString();
    options.messageBox = [](QWidget*, const QString&, const QString&, int) { return int(QMessageBox::Ok); };
    CSamplePlayerDlg dlg(options);
    dlg.OnInitDialog();
    dlg.show();
    QElapsedTimer limit;
    limit.start();
    while ((dlg.RowCount() == 0 || !dlg.isVisible()) && limit.elapsed() < 20000) {
        QApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    const double ms = SinceProcessStartMs();
    std::printf("listed %d rows in %.1f ms\n", dlg.RowCount(), ms);
    return dlg.RowCount() > 0 ? 0 : 1;
}

// Median of three starts in ms, -1 when one failed.
double MedianStart(const char* self, const std::string& card, int* rows)
{
    std::vector<double> ms;
    for (int i = 0; i < 3; ++i) {
        const std::string cmd = std::string(self) + " --child '" + card + "' 2>/dev/null";
        FILE* p = popen(cmd.c_str(), "r");
        char line[256] = {};
        double t = -1;
        while (p != nullptr && std::fgets(line, sizeof line, p) != nullptr) {
            std::sscanf(line, "listed %d rows in %lf ms", rows, &t);
        }
        if (p == nullptr || pclose(p) != 0 || t < 0) {
            return -1;
        }
        ms.push_back(t);
    }
    std::sort(ms.begin(), ms.end());
    return ms[1];
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--child") {
        return Child(argc, argv, argv[2]);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    setenv("MUB_MAP_PROVIDER", "off", 0);
    setenv("MUB_NO_REMOVABLE", "1", 0);
    // Recordings of 8 s are just over the 1 MiB the list asks of a recording.
    namespace fs = std::filesystem;
    const fs::path mubcard = fs::path(MUB_BINARY_DIR) / "tools/mubcard/mubcard";
    const fs::path cards = fs::path(MUB_BINARY_DIR) / "bench/cards";
    fs::create_directories(cards);
    const std::string big = sample_card::MakeOnce(mubcard, cards / "list1000",
                                                  "--synthetic --per-category 250 --duration 8 --seed 31");
    const std::string small = sample_card::MakeOnce(mubcard, cards / "list12",
                                                    "--synthetic --per-category 3 --duration 8 --seed 31");
    if (big.empty() || small.empty()) {
        std::fprintf(stderr, "viewer_start_bench: mubcard failed\n");
        return 1;
    }
    std::printf("load %.1f\n", road_card::LoadAverage());
    int bigRows = 0, smallRows = 0;
    const double bigMs = MedianStart(argv[0], big, &bigRows);
    const double smallMs = MedianStart(argv[0], small, &smallRows);
    std::printf("start to list: %.0f ms for %d rows of 1,000 recordings, %.0f ms for %d rows of 12\n", bigMs,
                bigRows, smallMs, smallRows);
    road_card::Summary("viewer start to window with the list, 1,000 recordings (vs 12)", bigMs, smallMs, "ms",
                       "<= 300 ms");
    return bigMs > 0 ? 0 : 1;
}
