// The car behind the camera: a small driving model that yields the telemetry records of
// each recording (GPS fixes, G-sensor samples, vehicle-signal lines) at their times.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/mubcard/card_plan.h"

struct TextRecord {
    uint32_t timeMs = 0;
    std::string bytes;  // first byte G, M or B
};

class CVehicleSim {
public:
    // The route starts here; the car then keeps its state from one recording to the next.
    CVehicleSim();
    // coldStart: the GPS has been off, so the first fixes have no position (status V).
    std::vector<TextRecord> Run(const RecordingPlan& plan, bool coldStart);

    static std::string RmcSentence(time_t wallClock, bool valid, double lat, double lon, double speedKmh,
                                   double course);

private:
    double m_lat;
    double m_lon;
    double m_speedKmh = 0;
    double m_course = 45;
    double m_coolant = 35;
};
