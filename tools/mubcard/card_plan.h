// SPDX-License-Identifier: GPL-3.0-or-later
// What goes on a sample card: the options and, from them, one plan per recording.
#pragma once

#include <cstdint>
#include <ctime>
#include <random>
#include <string>
#include <vector>

struct CardOptions {
    std::string outDir;
    uint64_t seed = 1;
    int perCategory = 3;
    std::string letters = "DTEN";
    int minSeconds = 20;
    int maxSeconds = 60;
    int width[3] = {640, 320, 320};
    int height[3] = {360, 180, 180};
    int fps = 30;
    bool synthetic = false;                 // fake video payloads: fast, not decodable
    bool road = false;                      // road-like pictures at dashcam bit rates
    int count = 0;                          // write only the first recordings; 0: all
    std::string start = "20261201_073000";  // wall-clock time of the first recording
};

struct RecordingPlan {
    int category = 1;  // library category
    char letter = 'D';
    time_t start = 0;  // wall-clock seconds (local time read as UTC)
    int seconds = 0;
    uint64_t seed = 0;  // seeds this recording's pictures, noise and telemetry
    std::string name;   // as the library reports it (".avi")
};

// A small deterministic generator: the same seed gives the same numbers everywhere.
class CRandom {
public:
    explicit CRandom(uint64_t seed) : m_engine(seed) {}
    uint64_t Next() { return m_engine(); }
    // Uniform integer in lo..hi (inclusive).
    int Range(int lo, int hi)
    {
        return hi <= lo ? lo : lo + static_cast<int>(Next() % static_cast<uint64_t>(hi - lo + 1));
    }
    // Uniform real in 0..1.
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

private:
    std::mt19937_64 m_engine;
};

// Parses "YYYYMMDD_HHMMSS" as wall-clock seconds; false when malformed.
bool ParseWallClock(const std::string& text, time_t* out);
// Recordings in time order: categories shuffled, gaps between them, letters cycling.
std::vector<RecordingPlan> PlanCard(const CardOptions& options);
