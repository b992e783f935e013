// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/mubplay/avsync_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

double CAvSyncMeter::MeanBrightness(const CVipImgBase& image)
{
    if (image.IsEmpty()) {
        return 0;
    }
    const int stepX = std::max(1, image.Width() / 64);
    const int stepY = std::max(1, image.Height() / 36);
    uint64_t sum = 0;
    uint64_t count = 0;
    for (int y = 0; y < image.Height(); y += stepY) {
        const unsigned char* row = image.Pixels() + static_cast<size_t>(y) * image.Stride();
        for (int x = 0; x < image.Width(); x += stepX) {
            sum += row[3 * x] + row[3 * x + 1] + row[3 * x + 2];
            count += 3;
        }
    }
    return count ? static_cast<double>(sum) / static_cast<double>(count) : 0;
}

void CAvSyncMeter::OnFrontPicture(const CVipImgBase& image, int64_t steadyNs)
{
    const bool bright = MeanBrightness(image) > kFlashMean;
    std::lock_guard<std::mutex> lock(m_lock);
    if (bright && !m_lastBright) {
        m_flashNs.push_back(steadyNs);
    }
    m_lastBright = bright;
}

void CAvSyncMeter::OnPull(const WaveOutPull& pull)
{
    std::lock_guard<std::mutex> lock(m_lock);
    bool onset = false;
    for (int i = 0; i < pull.bytes; ++i) {
        if (!m_oddByte) {
            m_lowByte = pull.data[i];
            m_oddByte = true;
            continue;
        }
        m_oddByte = false;
        const auto sample = static_cast<int16_t>(m_lowByte | (pull.data[i] << 8));
        if (std::abs(static_cast<int>(sample)) > kLoud) {
            if (m_quietRun >= kQuietSamples && !onset) {
                onset = true;
                // Heard when its own sample plays, not when its pull began.
                const int into = pull.intoPullBytes + std::max(i - 1, 0);
                const int64_t intoPullNs =
                    pull.bytesPerSec > 0 ? static_cast<int64_t>(into) * 1'000'000'000 / pull.bytesPerSec : 0;
                m_beepNs.push_back(pull.steadyNs + pull.latencyNs + intoPullNs);
            }
            m_quietRun = 0;
        } else if (m_quietRun < kQuietSamples) {
            ++m_quietRun;
        }
    }
}

int CAvSyncMeter::Flashes() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<int>(m_flashNs.size());
}

int CAvSyncMeter::Beeps() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<int>(m_beepNs.size());
}

CAvSyncMeter::Result CAvSyncMeter::Compute() const
{
    Result result;
    std::lock_guard<std::mutex> lock(m_lock);
    for (int64_t flash : m_flashNs) {
        int64_t best = -1;
        int64_t bestDistance = 500'000'000;  // half the interval between beeps
        for (int64_t beep : m_beepNs) {
            const int64_t distance = std::llabs(flash - beep);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = beep;
            }
        }
        if (best >= 0) {
            result.offsetsMs.push_back(static_cast<double>(flash - best) / 1e6);
        }
    }
    if (result.offsetsMs.empty()) {
        return result;
    }
    std::vector<double> sorted = result.offsetsMs;
    std::sort(sorted.begin(), sorted.end());
    const size_t n = sorted.size();
    result.medianMs = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    result.minMs = sorted.front();
    result.maxMs = sorted.back();
    result.maxAbsMs = std::max(std::fabs(sorted.front()), std::fabs(sorted.back()));
    return result;
}
