// SPDX-License-Identifier: GPL-3.0-or-later
// What the telemetry indicators show for given values, free of widgets.
#pragma once

#include <string>

namespace viewer {

// Bitmap resource ids of the vehicle-signal pictures.
enum SignalBitmap {
    kPedalNone = 808,
    kPedalAccel = 810,
    kPedalBrake = 811,
    kGearD = 812,
    kGearN = 813,
    kGearNone = 814,
    kGearP = 815,
    kGearR = 816,
    kTurnLeft = 817,
    kTurnNone = 818,
    kTurnRight = 819,
    kTurnBoth = 820,
    kPedalBoth = 821,
};

// A signal absent from the latest vehicle line.
constexpr int kSignalAbsent = -1000;

int TurnSignalBitmap(int turnSig);
int PedalBitmap(int accel, int brake);
int GearBitmap(int gearPos);
// "%d", with an absent value shown as 0.
std::string SignalNumberText(int value);
// "%dKm/h", truncated toward zero.
std::string SpeedText(double kmh);

// Chart baselines of the three G-sensor axes (value range 200).
constexpr int kAxisBaseline[3] = {150, 100, 50};

// How many G-sensor samples the chart shows at a second, or -1 when it need not change
// (no samples, or the same count as already shown).
int ChartSampleCount(int second, int sampleCount, int shownCount);

}  // namespace viewer
