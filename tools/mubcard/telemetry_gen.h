// The car behind the camera: a small driving model that yields the telemetry records of
// each recording (GPS fixes, G-sensor samples, vehicle-signal lines) at their times. The
// car follows a real road loop (road_route.h), slows for corners, stops at some red
// lights, and its reported speed is the speed it covers the road at.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/mubcard/card_plan.h"
#include "tools/mubcard/road_route.h"

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

    const CRoadRoute& Road() const { return m_road; }

private:
    CRoadRoute m_road;
    double m_odometer = 0;  // metres driven along the loop
    double m_speedKmh = 0;
    double m_coolant = 35;
    double m_lightAt = -1;  // odometer reading of the light decided on; -1 none
    int m_redSteps = 0;     // tenths of a second until that light turns green
};
