// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/timeline.h"

#include <algorithm>
#include <cstdio>

namespace viewer {

std::string FormatClock(int64_t seconds)
{
    char text[48];
    std::snprintf(text, sizeof(text), "%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>((seconds % 3600) / 60), static_cast<int>(seconds % 60));
    return text;
}

int64_t TotalSecondsFor(int durationMs)
{
    const int64_t seconds = durationMs / 1000;
    return seconds <= 0 ? kFallbackTotalSeconds : seconds;
}

bool SkipBackTarget(int currentMs, int* targetMs)
{
    const int target = currentMs - kSkipMs;
    if (target <= 0) {
        return false;
    }
    *targetMs = target;
    return true;
}

bool SkipForwardTarget(int currentMs, int sliderMaxSeconds, int* targetMs)
{
    const int64_t target = static_cast<int64_t>(currentMs) + kSkipMs;
    if (static_cast<int64_t>(sliderMaxSeconds) * 1000 - target < 2) {
        return false;
    }
    *targetMs = static_cast<int>(target);
    return true;
}

int SliderSeekMs(int sliderPosition)
{
    return (sliderPosition + 1) * 1000;
}

int VolumeUp(int position)
{
    return std::min(position + kVolumeKeyStep, kVolumeMax);
}

int VolumeDown(int position)
{
    return std::max(position - kVolumeKeyStep, 0);
}

uint32_t WaveVolumeFor(int position)
{
    const int p = std::clamp(position, 0, kVolumeMax);
    const auto v = static_cast<uint32_t>(p * 655.35);
    return v | (v << 16);
}

int NextNewerIndex(int current)
{
    return current <= 0 ? -1 : current - 1;
}

int NextOlderIndex(int current, int rowCount)
{
    return current + 1 >= rowCount ? -1 : current + 1;
}

}  // namespace viewer
