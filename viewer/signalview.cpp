// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/signalview.h"

#include <algorithm>
#include <cstdio>

namespace viewer {

int TurnSignalBitmap(int turnSig)
{
    switch (turnSig) {
        case -1:
            return kTurnLeft;
        case 1:
            return kTurnRight;
        case 2:
            return kTurnBoth;
        default:
            return kTurnNone;
    }
}

int PedalBitmap(int accel, int brake)
{
    if (accel > 0) {
        return brake == 1 ? kPedalBoth : kPedalAccel;
    }
    if (accel == 0 && brake == 1) {
        return kPedalBrake;
    }
    return kPedalNone;
}

int GearBitmap(int gearPos)
{
    switch (gearPos) {
        case 1:
            return kGearP;
        case 2:
            return kGearR;
        case 3:
            return kGearN;
        case 4:
            return kGearD;
        default:
            return kGearNone;
    }
}

std::string SignalNumberText(int value)
{
    return std::to_string(value == kSignalAbsent ? 0 : value);
}

std::string SpeedText(double kmh)
{
    char text[48];
    std::snprintf(text, sizeof(text), "%dKm/h", static_cast<int>(std::clamp(kmh, -1e6, 1e6)));
    return text;
}

int ChartSampleCount(int second, int sampleCount, int shownCount)
{
    if (sampleCount <= 0) {
        return -1;
    }
    const int m = second > sampleCount ? sampleCount : second;
    return m == shownCount ? -1 : m;
}

}  // namespace viewer
