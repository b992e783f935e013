// SPDX-License-Identifier: GPL-3.0-or-later
// Measures how far apart sound and pictures reach their devices on recordings whose
// pictures flash white and whose sound beeps at the same instants: a flash is a front
// picture much brighter than the one before it, a beep the first loud sample after a
// stretch of silence in the bytes the sound device pulls.
#pragma once

#include "platform/vipimg.h"
#include "platform/waveout.h"

#include <cstdint>
#include <mutex>
#include <vector>

class CAvSyncMeter {
public:
    struct Result {
        std::vector<double> offsetsMs;  // picture time minus sound time, one per matched flash
        double medianMs = 0;            // of the signed offsets
        double maxAbsMs = 0;
        double minMs = 0;
        double maxMs = 0;
    };

    // Any thread (the player's worker): a front picture reached its sink at steadyNs.
    void OnFrontPicture(const CVipImgBase& image, int64_t steadyNs);
    // The sound system's thread: 16-bit mono bytes were pulled. A beep counts from when its
    // own sample is heard: the pull's time, plus its place in the pull, plus the latency.
    void OnPull(const WaveOutPull& pull);

    int Flashes() const;
    int Beeps() const;
    // Pairs each flash with the nearest beep within half a second.
    Result Compute() const;

    // Mean of the three colour samples over a sparse grid of the picture, 0..255.
    static double MeanBrightness(const CVipImgBase& image);

private:
    // A picture this bright (mean) is a flash; the recordings' other pictures stay far below.
    static constexpr double kFlashMean = 160.0;
    // A sample louder than this is a beep; the recordings are silent between beeps.
    static constexpr int kLoud = 3000;
    // Silence needed before a loud sample counts as a new beep: 50 ms at 8 kHz, far longer
    // than the gaps inside a beep, and short enough to catch a beep right after a seek.
    static constexpr int kQuietSamples = 400;

    mutable std::mutex m_lock;
    std::vector<int64_t> m_flashNs;  // --- protected by m_lock
    std::vector<int64_t> m_beepNs;   // --- protected by m_lock
    bool m_lastBright = false;       // --- protected by m_lock
    int m_quietRun = kQuietSamples;  // --- protected by m_lock
    bool m_oddByte = false;          // --- protected by m_lock (a pull ended inside a sample)
    uint8_t m_lowByte = 0;           // --- protected by m_lock
};
