// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's start: from the fork of mubviewer (offscreen, its own configuration) to the
// first paint of its window with the list filled (the viewer's "[start]" trace line), on a
// card of 1,000 recordings, against the same start on a card of one recording (Qt's own
// start-up and everything else that does not grow with the card). Warm page cache; the
// median of --runs starts each, taken in turns.
//
//   startup_bench [--runs N] [--count N]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/common/road_card.h"
#include "mublib/mub_card.h"
#include "mublib/mub_container.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* kStartLine = "[start] window shown with the list filled: ";

// Shares of the card a camera gives each category (its factory capacity setting):
// driving 40 %, parking 30 %, event 20 %, manual 10 %. By category number.
constexpr std::array<int, 4> kSharePercent = {20, 40, 30, 10};
constexpr int kDriving = 1;

struct Packet {
    mub::PacketInfo info;
    std::vector<uint8_t> data;
};

std::vector<Packet> ReadPackets(const std::string& file, mub::RecordingDescription* desc)
{
    std::vector<Packet> packets;
    road_card::ForEachPacket(file, desc, [&](const mub::PacketInfo& info, const uint8_t* data) {
        packets.push_back({info, std::vector<uint8_t>(data, data + info.length)});
    });
    return packets;
}

// Writes the source's packets (again from the start, their times moved on, when one pass
// is too short) until the recording holds at least minBytes of packets, and extraPackets
// more; the last packet's time gives its length.
bool WriteRecording(const std::string& path, mub::RecordingDescription desc,
                    const std::vector<Packet>& packets, uint32_t lengthMs, uint64_t minBytes,
                    size_t extraPackets)
{
    size_t total = 0;
    for (uint64_t bytes = 0; bytes < minBytes || extraPackets > 0; ++total) {
        if (bytes >= minBytes) {
            --extraPackets;
        }
        bytes += mub::kPacketHeaderBytes + packets[total % packets.size()].info.length;
    }
    const auto timeOf = [&](size_t n) {
        // A round starts at a key unit, so every part of the recording plays.
        return packets[n % packets.size()].info.timeMs + lengthMs * static_cast<uint32_t>(n / packets.size());
    };
    desc.durationMs = timeOf(total - 1) + 1000 / std::max<uint32_t>(1, desc.fps[0]);
    mub::CMubWriter writer;
    bool ok = writer.Create(path, desc);
    for (size_t n = 0; ok && n < total; ++n) {
        const Packet& p = packets[n % packets.size()];
        ok = writer.WritePacket(p.info.type, p.info.status, p.info.flag, timeOf(n), p.data.data(),
                                p.info.length);
    }
    return writer.Finish() && ok;
}

// A card of count recordings in the build folder (made once, again when its source is
// newer): one real recording of mubcard's, written under every name over and over to a
// little over 1 MiB, the categories shared as a camera shares them and shuffled, the
// recordings one after another in time. Returns the card and the number of driving ones.
std::string MakeStartCard(const std::string& folder, int count, int* driving)
{
    const std::string source =
        road_card::Make("start-source",
                        "--count 1 --letters D --duration 20 --front 640x360 --rear 320x180 "
                        "--seed 31");
    const fs::path card = fs::path(MUB_BINARY_DIR) / "bench/cards" / folder;
    std::vector<int> categories;
    for (int c = 0; c < 4; ++c) {
        categories.insert(categories.end(), static_cast<size_t>(count * kSharePercent[c] / 100), c);
    }
    categories.resize(static_cast<size_t>(count), kDriving);
    std::mt19937 rng(7);
    std::shuffle(categories.begin(), categories.end(), rng);
    *driving = static_cast<int>(std::count(categories.begin(), categories.end(), kDriving));
    if (source.empty()) {
        return {};
    }
    std::error_code ec;
    const fs::path stamp = card / "made.stamp";
    if (fs::exists(stamp, ec) &&
        fs::last_write_time(stamp, ec) > fs::last_write_time(fs::path(source) / "made.stamp", ec)) {
        return card.string();
    }
    std::printf("making the card %s (%d recordings) ...\n", card.c_str(), count);
    std::fflush(stdout);
    const std::string file = road_card::FirstRecordingFile(source);
    mub::RecordingDescription desc;
    const std::vector<Packet> packets = file.empty() ? std::vector<Packet>() : ReadPackets(file, &desc);
    if (packets.empty()) {
        return {};
    }
    const uint32_t lengthMs = packets.back().info.timeMs + 1000 / std::max<int>(1, desc.fps[0]);
    const fs::path fresh = card.string() + ".new";
    fs::remove_all(fresh, ec);
    fs::copy(source, fresh, fs::copy_options::recursive, ec);
    fs::remove(fresh / fs::relative(file, source), ec);
    fs::remove(fresh / "made.stamp", ec);
    time_t start = 1764574200;  // 2025-12-01 07:30
    std::array<uint64_t, 4> previousSize = {};
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        const int c = categories[static_cast<size_t>(i)];
        mub::RecordingName name;
        mub::ParseRecordingName(mub::MakeRecordingName(c, start, desc.letter).c_str(), &name);
        const std::string path = mub::RecordingPath(fresh.string(), c, name.stem);
        desc.category = static_cast<uint8_t>(c);
        desc.startTime = static_cast<uint32_t>(start);
        // Sizes from a little over 1 MiB up; the list keeps only the last of equal sizes in
        // a row, so a size equal to the one before is made one packet longer.
        const uint64_t minBytes = (1u << 20) + 16384 + static_cast<uint64_t>(i % 32) * 4096;
        size_t extra = 0;
        do {
            ok = WriteRecording(path, desc, packets, lengthMs, minBytes, extra++);
        } while (ok && fs::file_size(path, ec) == previousSize[static_cast<size_t>(c)]);
        previousSize[static_cast<size_t>(c)] = fs::file_size(path, ec);
        ok = ok && fs::file_size(path, ec) > 0x100000;
        start += 60;
    }
    if (!ok) {
        std::fprintf(stderr, "startup_bench: cannot write the card %s\n", fresh.c_str());
        fs::remove_all(fresh, ec);
        return {};
    }
    return road_card::PutInPlace(fresh, card);
}

// Plays two seconds of the card's newest driving recording headless: the card is one the
// player reads, not only one the list shows. Pictures presented, or -1.
int PlayCheck(const std::string& card)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(mub::CategoryFolder(card, kDriving))) {
        names.push_back(e.path().stem().string() + ".avi");
    }
    if (names.empty()) {
        return -1;
    }
    std::sort(names.begin(), names.end());
    const std::string cmd = std::string(MUB_BINARY_DIR) + "/tools/mubplay/mubplay --card '" + card + "' " +
                            names.back() + " --seconds 2 2>/dev/null";
    std::FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) {
        return -1;
    }
    int frames = -1;
    char line[512];
    while (std::fgets(line, sizeof line, p) != nullptr) {
        if (const char* f = std::strstr(line, " frame=")) {
            frames = std::atoi(f + 7);
        }
    }
    return pclose(p) == 0 ? frames : -1;
}

struct Start {
    double ms = -1;        // fork to the line read
    double viewerMs = -1;  // what the viewer says (10 ms steps)
    double cpuMs = -1;     // the viewer's CPU time (all threads) by then, 10 ms steps
    int rows = -1;
};

// User and system time of a process so far, from /proc; -1 when unknown.
double ProcessCpuMs(pid_t pid)
{
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (f == nullptr) {
        return -1;
    }
    char text[1024] = {};
    const size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    const char* rest = std::strrchr(text, ')');
    unsigned long long utime = 0, stime = 0;
    // Fields 14 and 15, counted after the command name.
    if (n == 0 || rest == nullptr ||
        std::sscanf(rest + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime, &stime) !=
            2) {
        return -1;
    }
    return static_cast<double>(utime + stime) * 1000.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Starts the viewer on the card and waits for its start line (60 s at most); then ends it
// the way a user's quit would (SIGTERM: the normal shutdown) and waits for it.
Start StartViewer(const std::string& card, const std::string& work)
{
    Start result;
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        return result;
    }
    const std::string viewer = std::string(MUB_BINARY_DIR) + "/viewer/mubviewer";
    std::vector<std::string> args = {viewer, "--trace", "--card", card};
    std::vector<std::string> env;
    const std::vector<std::pair<std::string, std::string>> own = {{"QT_QPA_PLATFORM", "offscreen"},
                                                                  {"SDL_AUDIODRIVER", "dummy"},
                                                                  {"MUB_NO_REMOVABLE", "1"},
                                                                  {"MUB_VIEWER_CONFIG_DIR", work + "/config"},
                                                                  {"XDG_CONFIG_HOME", work + "/config"},
                                                                  {"XDG_RUNTIME_DIR", work + "/runtime"},
                                                                  {"TMPDIR", work + "/tmp"},
                                                                  {"MUB_TRACE", "1"}};
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string var = *e;
        const std::string key = var.substr(0, var.find('='));
        if (std::none_of(own.begin(), own.end(), [&](const auto& kv) { return kv.first == key; })) {
            env.push_back(var);
        }
    }
    for (const auto& [key, value] : own) {
        env.push_back(key + "=" + value);
    }
    std::vector<char*> argv, envp;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    for (auto& e : env) {
        envp.push_back(e.data());
    }
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, viewer.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return result;
    }
    std::string pending;
    bool signalled = false;
    const auto deadline = t0 + std::chrono::seconds(60);
    for (;;) {
        pollfd pfd = {pipeFds[0], POLLIN, 0};
        const int ready = poll(&pfd, 1, 200);
        if (std::chrono::steady_clock::now() > deadline && !signalled) {
            kill(pid, SIGKILL);
            signalled = true;
        }
        if (ready <= 0) {
            continue;
        }
        char buffer[65536];
        const ssize_t n = read(pipeFds[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;  // the viewer ended
        }
        pending.append(buffer, static_cast<size_t>(n));
        for (size_t end; result.ms < 0 && (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (const size_t at = line.find(kStartLine); at != std::string::npos) {
                result.ms =
                    std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
                result.cpuMs = ProcessCpuMs(pid);
                std::sscanf(line.c_str() + at + std::strlen(kStartLine), "%d rows, %lf", &result.rows,
                            &result.viewerMs);
                kill(pid, SIGTERM);
                signalled = true;
            }
        }
        if (result.ms >= 0) {
            pending.clear();
        }
    }
    close(pipeFds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return result;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 7;
    int count = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0) {
            runs = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--count") == 0) {
            count = std::max(2, std::atoi(argv[i + 1]));
        }
    }
    int driving = 0, drivingOne = 0;
    const std::string big = MakeStartCard("start" + std::to_string(count), count, &driving);
    const std::string one = MakeStartCard("start1", 1, &drivingOne);
    if (big.empty() || one.empty()) {
        std::fprintf(stderr, "startup_bench: the cards could not be made\n");
        return 1;
    }
    const int frames = PlayCheck(big);
    std::printf(
        "card %s: %d recordings, %d of them driving (the list at start); 2 s of the newest played: %d "
        "pictures\n",
        big.c_str(), count, driving, frames);
    if (frames <= 0) {
        std::fprintf(stderr, "startup_bench: a recording of the card does not play\n");
        return 1;
    }

    std::string work = (fs::temp_directory_path() / "mubstart-XXXXXX").string();
    if (mkdtemp(work.data()) == nullptr) {
        return 1;
    }
    for (const char* sub : {"config", "runtime", "tmp"}) {
        fs::create_directories(fs::path(work) / sub);
    }
    fs::permissions(fs::path(work) / "runtime", fs::perms::owner_all);

    struct Series {
        const std::string* card;
        int expectRows;
        std::vector<double> ms, viewerMs, cpuMs;
    };
    Series series[2] = {{&big, driving, {}, {}, {}}, {&one, drivingOne, {}, {}, {}}};
    bool ok = true;
    // One start each first fills the page cache (the program, its libraries, the card).
    for (int r = -1; r < runs && ok; ++r) {
        for (Series& s : series) {
            const Start start = StartViewer(*s.card, work);
            if (start.ms < 0 || start.rows != s.expectRows) {
                std::fprintf(stderr, "startup_bench: the viewer on %s listed %d rows (%d expected)%s\n",
                             s.card->c_str(), start.rows, s.expectRows,
                             start.ms < 0 ? ", no start line" : "");
                ok = false;
                break;
            }
            if (r >= 0) {
                s.ms.push_back(start.ms);
                s.viewerMs.push_back(start.viewerMs);
                s.cpuMs.push_back(start.cpuMs);
            }
        }
    }
    fs::remove_all(work);
    if (!ok) {
        return 1;
    }
    for (const Series& s : series) {
        std::printf(
            "%5zu recording(s), %3d rows: median %.1f ms from the fork (the viewer's own %.0f ms, its CPU "
            "%.0f "
            "ms); runs:",
            s.card == &big ? static_cast<size_t>(count) : 1u, s.expectRows, Median(s.ms), Median(s.viewerMs),
            Median(s.cpuMs));
        for (double v : s.ms) {
            std::printf(" %.0f", v);
        }
        std::printf("\n");
    }
    const double ours = Median(series[0].ms), anchor = Median(series[1].ms);
    std::printf("ratio %.2f, load average %.2f\n", anchor > 0 ? ours / anchor : 0.0,
                road_card::LoadAverage());
    const std::string figure =
        "viewer start to the window with the list, " + std::to_string(count) + " recordings";
    road_card::Summary(figure.c_str(), ours, anchor, "ms", "<= 300 ms");
    return 0;
}
