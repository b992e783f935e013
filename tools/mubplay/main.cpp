// mubplay: plays a recording of a card folder headless, with sound on the default sound
// device and pictures into off-screen sinks, and reports what was presented and how far
// sound and pictures were apart.
//
//   mubplay --card DIR NAME [--seconds S] [--seek-ms MS] [--dump-every N --dump-dir DIR]
//           [--telemetry] [--front WxH] [--rear WxH] [--third WxH] [--pacer-log]
//           [--drain-only]
//   mubplay --card DIR --list
//   mubplay --card DIR --every [--seconds S]
//
// --every plays every recording of the card in turn, over and over (until --seconds or
// "quit"), and after each round prints "round N rss_kb=K" (for long runs under a sanitizer).
// --drain-only keeps the sound output's backlog from the player, which then paces
// pictures only by the length of its sound queue (for comparison).
//
// Commands on standard input, one a line: "seek MS", "pause", "resume", "stop",
// "open [NAME]", "quit". At the end it prints the spread of the intervals between the front
// pictures presented while playing, then the player's state:
//   intervals_ms n=N mean=X sd=X p1=X p99=X max=X over50=N
//   state=NAME frame=N first_ms=N opens=N ends=N stale_ends=N
// and last
//   presented front=N rear=N third=N late=N av_offset_ms median=X max=Y
// with n/a for X and Y when there was no sound to measure against.
#include "tools/common/args.h"
#include "tools/common/card.h"
#include "tools/mubplay/session.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Usage()
{
    std::fprintf(stderr,
                 "usage: mubplay --card DIR NAME [--seconds S] [--seek-ms MS]\n"
                 "               [--dump-every N --dump-dir DIR] [--telemetry]\n"
                 "               [--front WxH] [--rear WxH] [--third WxH] [--pacer-log] [--drain-only]\n"
                 "       mubplay --card DIR --list\n"
                 "       mubplay --card DIR --every [--seconds S]\n"
                 "commands on standard input: seek MS | pause | resume | stop | open [NAME] | quit\n");
}

bool ParseSize(const char* text, VideoSize* size)
{
    char rest = 0;
    return std::sscanf(text, "%dx%d%c", &size->width, &size->height, &rest) == 2 && size->width > 0 &&
           size->height > 0 && size->width <= 8192 && size->height <= 8192;
}

// Reads command lines from standard input without blocking the caller for long.
class CCommandReader {
public:
    // Returns a complete line when one is there within timeoutMs; false otherwise.
    bool Next(std::string* line, int timeoutMs)
    {
        if (TakeLine(line)) {
            return true;
        }
        if (m_eof) {
            return false;
        }
        pollfd fd{STDIN_FILENO, POLLIN, 0};
        if (poll(&fd, 1, timeoutMs) <= 0) {
            return false;
        }
        char buffer[256];
        const ssize_t n = read(STDIN_FILENO, buffer, sizeof(buffer));
        if (n <= 0) {
            m_eof = true;  // no more commands; playback goes on
            return false;
        }
        m_pending.append(buffer, static_cast<size_t>(n));
        return TakeLine(line);
    }
    bool AtEnd() const { return m_eof; }

private:
    bool TakeLine(std::string* line)
    {
        const size_t end = m_pending.find('\n');
        if (end == std::string::npos) {
            return false;
        }
        *line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        return true;
    }
    std::string m_pending;
    bool m_eof = false;
};

long ResidentKb()
{
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

}  // namespace

int main(int argc, char** argv)
{
    SessionOptions options;
    double seconds = 0;
    long seekMs = -1;
    bool list = false;
    bool every = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        long n = 0;
        if (a == "--telemetry") {
            options.telemetry = true;
        } else if (a == "--pacer-log") {
            options.pacerLog = true;
        } else if (a == "--drain-only") {
            options.drainOnly = true;
        } else if (a == "--list") {
            list = true;
        } else if (a == "--every") {
            every = true;
            options.allChannels = true;
        } else if (a.rfind("--", 0) == 0) {
            if (v == nullptr) {
                std::fprintf(stderr, "mubplay: %s needs a value\n", a.c_str());
                return 2;
            }
            ++i;
            bool ok = true;
            if (a == "--card") {
                options.card = v;
            } else if (a == "--seconds") {
                char* end = nullptr;
                seconds = std::strtod(v, &end);
                ok = end != v && !*end && seconds > 0 && seconds < 1e6;
            } else if (a == "--seek-ms") {
                ok = ParseLong(v, 0, 0x7FFFFFFF, &seekMs);
            } else if (a == "--dump-every") {
                ok = ParseLong(v, 1, 1000000, &n);
                options.dumpEvery = static_cast<int>(n);
            } else if (a == "--dump-dir") {
                options.dumpDir = v;
            } else if (a == "--front") {
                ok = ParseSize(v, &options.size[0]);
            } else if (a == "--rear") {
                ok = ParseSize(v, &options.size[1]);
            } else if (a == "--third") {
                ok = ParseSize(v, &options.size[2]);
            } else {
                ok = false;
            }
            if (!ok) {
                std::fprintf(stderr, "mubplay: bad option %s %s\n", a.c_str(), v);
                Usage();
                return 2;
            }
        } else if (options.name.empty()) {
            options.name = a;
        } else {
            Usage();
            return 2;
        }
    }
    std::vector<std::string> names;
    if (every) {
        for (const CardRecording& r : RecordingsOf(options.card)) {
            names.push_back(r.name);
        }
        if (names.empty()) {
            std::fprintf(stderr, "mubplay: no recordings in %s\n", options.card.c_str());
            return 1;
        }
        options.name = names.front();
    }
    if (options.card.empty() || (options.name.empty() && !list) ||
        (options.dumpEvery > 0 && options.dumpDir.empty())) {
        Usage();
        return 2;
    }
    if (list) {
        const std::vector<CardRecording> all = RecordingsOf(options.card);
        if (all.empty()) {
            std::fprintf(stderr, "mubplay: no recordings in %s\n", options.card.c_str());
            return 1;
        }
        for (const CardRecording& r : all) {
            std::printf("%s %u\n", r.name.c_str(), r.lengthSecs);
        }
        return 0;
    }

    CPlaybackSession session;
    std::string error;
    if (!session.Setup(options, &error)) {
        std::fprintf(stderr, "mubplay: %s\n", error.c_str());
        return 1;
    }
    session.Open();
    if (seekMs >= 0) {
        session.Player().SeekMs(static_cast<int>(seekMs));
    }
    const int64_t startNs = CPlaybackSession::NowNs();
    CCommandReader commands;
    bool quit = false;
    size_t next = 1;
    int round = 1;
    for (;;) {
        if (session.Ended() && every) {
            if (next == names.size()) {
                std::printf("round %d rss_kb=%ld\n", round++, ResidentKb());
                std::fflush(stdout);
                next = 0;
            }
            session.Open(names[next++]);
        }
        if (quit || session.Ended()) {
            break;
        }
        if (seconds > 0 && static_cast<double>(CPlaybackSession::NowNs() - startNs) / 1e9 >= seconds) {
            break;
        }
        std::string line;
        if (!commands.Next(&line, 20)) {
            if (commands.AtEnd()) {
                SleepMs(20);
            }
            continue;
        }
        char word[16] = {};
        long value = 0;
        const int got = std::sscanf(line.c_str(), "%15s %ld", word, &value);
        const std::string command = got >= 1 ? word : "";
        session.BreakIntervals();
        if (command == "open") {
            char name[128] = {};
            session.Open(std::sscanf(line.c_str(), "%*s %127s", name) == 1 ? name : "");
        } else if (command == "seek" && got == 2 && value >= 0) {
            session.Player().SeekMs(static_cast<int>(std::min(value, 0x7FFFFFFFL)));
        } else if (command == "pause") {
            session.Player().Pause();
        } else if (command == "resume") {
            session.Player().Resume();
        } else if (command == "stop") {
            session.Player().Stop();
        } else if (command == "quit") {
            quit = true;
        } else if (!command.empty()) {
            std::fprintf(stderr, "mubplay: unknown command: %s\n", line.c_str());
        }
    }
    // A step under way settles before the state is read.
    for (int i = 0; i < 100 && session.Player().State() == PlayerState::Stepping; ++i) {
        SleepMs(10);
    }
    const long long late = session.Player().LateFrames();
    const bool sound = session.SoundPlaying();
    const PlayerState state = session.Player().State();
    const int frame = session.Player().FrameIndex();
    const int opens = session.Player().OpenSerial();
    session.Shutdown();

    const CPlaybackSession::Intervals iv = session.PresentIntervals();
    std::printf("intervals_ms n=%zu mean=%.1f sd=%.1f p1=%.1f p99=%.1f max=%.1f over50=%zu\n", iv.count,
                iv.meanMs, iv.sdMs, iv.p1Ms, iv.p99Ms, iv.maxMs, iv.over50);
    std::printf("state=%s frame=%d first_ms=%d opens=%d ends=%d stale_ends=%d\n", PlayerStateName(state),
                frame, session.FirstPresentedMs(), opens, session.Ends(), session.StaleEnds());

    const CAvSyncMeter::Result r = session.Meter().Compute();
    char offsets[96];
    if (sound && !r.offsetsMs.empty()) {
        std::printf("flashes=%d beeps=%d matched=%zu offset_ms min=%.1f median=%.1f max=%.1f\n",
                    session.Meter().Flashes(), session.Meter().Beeps(), r.offsetsMs.size(), r.minMs,
                    r.medianMs, r.maxMs);
        std::printf("offsets_ms");
        for (double offset : r.offsetsMs) {
            std::printf(" %.1f", offset);
        }
        std::printf("\n");
        std::snprintf(offsets, sizeof(offsets), "median=%.1f max=%.1f", r.medianMs, r.maxAbsMs);
    } else {
        std::snprintf(offsets, sizeof(offsets), "median=n/a max=n/a");
    }
    std::printf("presented front=%lld rear=%lld third=%lld late=%lld av_offset_ms %s\n", session.Presented(0),
                session.Presented(1), session.Presented(2), late, offsets);
    std::fflush(stdout);
    return 0;
}
