// SPDX-License-Identifier: GPL-3.0-or-later
// Timeline and transport arithmetic of the main window, free of widgets.
#pragma once

#include <cstdint>
#include <string>

namespace viewer {

// Skips move by this much.
constexpr int kSkipMs = 10000;
// A recording that reports no length gets a one-minute timeline.
constexpr int64_t kFallbackTotalSeconds = 60;
// Volume slider range and the step of the Up and Down keys.
constexpr int kVolumeMax = 99;
constexpr int kVolumeKeyStep = 5;
// Brightness slider range.
constexpr int kBrightnessMin = -5;
constexpr int kBrightnessMax = 5;

// "%02d:%02d:%02d".
std::string FormatClock(int64_t seconds);

// Whole seconds of a recording; 60 when the player reports 0 or less.
int64_t TotalSecondsFor(int durationMs);

// Target of a skip back, or false when it would not be after the start.
bool SkipBackTarget(int currentMs, int* targetMs);
// Target of a skip forward, or false when it would not leave at least 2 ms before the end
// of the slider's range.
bool SkipForwardTarget(int currentMs, int sliderMaxSeconds, int* targetMs);
// Where a released time slider plays from: one second past the position shown.
int SliderSeekMs(int sliderPosition);

int VolumeUp(int position);
int VolumeDown(int position);
// Device volume for a slider position: floor(p * 655.35) in both 16-bit halves.
uint32_t WaveVolumeFor(int position);

// New list index for NEXT (one newer: index - 1) and PRE (one older: index + 1), or -1
// when the command stops playback instead.
int NextNewerIndex(int current);
int NextOlderIndex(int current, int rowCount);

}  // namespace viewer
