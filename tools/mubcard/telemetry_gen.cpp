#include "tools/mubcard/telemetry_gen.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
constexpr double kPi = 3.14159265358979323846;
// Counts per g of the G-sensor bytes (0x80 = no acceleration).
constexpr double kCountsPerG = 64.0;
// Camera clocks run on Korean time; RMC sentences carry UTC.
constexpr int kUtcOffsetSeconds = 9 * 3600;
// How far ahead the driver looks for corners and lights, and how hard they brake.
constexpr double kCornerLookMetres = 150.0;
constexpr double kLightLookMetres = 120.0;
constexpr double kComfortBraking = 2.0;  // m/s^2
constexpr double kHardestBraking = 4.0;  // m/s^2, short of an emergency

uint8_t AxisByte(double g, int noise)
{
    return static_cast<uint8_t>(
        std::clamp(static_cast<int>(std::lround(0x80 + g * kCountsPerG)) + noise, 0, 255));
}
}  // namespace

CVehicleSim::CVehicleSim() = default;

std::string CVehicleSim::RmcSentence(time_t wallClock, bool valid, double lat, double lon, double speedKmh,
                                     double course)
{
    const time_t utc = wallClock - kUtcOffsetSeconds;
    struct tm t {};
    gmtime_r(&utc, &t);
    char body[160];
    if (valid) {
        const double alat = std::fabs(lat), alon = std::fabs(lon);
        const int dlat = static_cast<int>(alat), dlon = static_cast<int>(alon);
        std::snprintf(body, sizeof body,
                      "GPRMC,%02d%02d%02d.00,A,%02d%07.4f,%c,%03d%07.4f,%c,%05.1f,%05.1f,%02d%02d%02d,,,A",
                      t.tm_hour, t.tm_min, t.tm_sec, dlat, (alat - dlat) * 60.0, lat >= 0 ? 'N' : 'S', dlon,
                      (alon - dlon) * 60.0, lon >= 0 ? 'E' : 'W', speedKmh / 1.852, course, t.tm_mday,
                      t.tm_mon + 1, t.tm_year % 100);
    } else {
        std::snprintf(body, sizeof body, "GPRMC,%02d%02d%02d.00,V,,,,,,,%02d%02d%02d,,,N", t.tm_hour,
                      t.tm_min, t.tm_sec, t.tm_mday, t.tm_mon + 1, t.tm_year % 100);
    }
    uint8_t sum = 0;
    for (const char* p = body; *p; ++p) {
        sum ^= static_cast<uint8_t>(*p);
    }
    char out[200];
    std::snprintf(out, sizeof out, "$%s*%02X", body, sum);
    return out;
}

std::vector<TextRecord> CVehicleSim::Run(const RecordingPlan& plan, bool coldStart)
{
    CRandom rng(plan.seed ^ 0x5EED5EED5EEDull);
    std::vector<TextRecord> out;
    const bool parked = plan.category == 2;
    const bool event = plan.category == 0;
    const int brakeAt = std::max(1, plan.seconds / 2);  // second of the hard braking of an event
    double cruise = (30 + rng.Range(0, 30)) / 3.6;      // m/s
    bool hazard = false;
    double accel = 0;  // m/s^2 along the car
    double heading = m_road.At(m_odometer).heading;

    const int steps = plan.seconds * 10;
    for (int step = 0; step < steps; ++step) {
        const uint32_t timeMs = static_cast<uint32_t>(step) * 100;
        const int second = step / 10;
        const bool wholeSecond = step % 10 == 0;
        double speed = m_speedKmh / 3.6;  // m/s
        double impact = 0;
        double turnRate = 0;  // degrees per second, right positive
        int signal = 0;       // turn signal: -1 left, 1 right

        if (parked) {
            accel = 0;
            speed = 0;
        } else {
            if (wholeSecond && rng.Range(0, 14) == 0) {
                cruise = (30 + rng.Range(0, 30)) / 3.6;
            }
            double allowed = cruise;
            // Corners: slow enough to take them, braking comfortably on the way.
            double degrees = 0;
            double distance = 0;
            if (m_road.CornerAhead(m_odometer, kCornerLookMetres, 12.0, &degrees, &distance)) {
                const double cornerSpeed = (std::fabs(degrees) >= 60   ? 18.0
                                            : std::fabs(degrees) >= 30 ? 30.0
                                                                       : 45.0) /
                                           3.6;
                allowed = std::min(allowed, std::sqrt(cornerSpeed * cornerSpeed +
                                                      2 * kComfortBraking * std::max(0.0, distance - 10)));
                if (std::fabs(degrees) >= 30 && distance < 60) {
                    signal = degrees > 0 ? 1 : -1;
                }
            }
            // Traffic lights: each one met is red or green once; a red one holds the car
            // at its stop line until it turns.
            const double toLight = m_road.NextLight(m_odometer);
            if (toLight < kLightLookMetres && std::fabs(m_odometer + toLight - m_lightAt) > 1.0) {
                m_lightAt = m_odometer + toLight;
                m_redSteps = rng.Range(0, 99) < 35 ? rng.Range(60, 250) : 0;
            }
            if (m_redSteps > 0 && toLight < kLightLookMetres) {
                --m_redSteps;
                allowed = std::min(allowed, std::sqrt(2 * kComfortBraking * std::max(0.0, toLight - 3)));
            }
            if (event && second >= brakeAt && second < brakeAt + 3) {
                accel = speed > 0 ? -7.5 : 0;  // hard braking
                if (second == brakeAt && step % 10 < 2) {
                    impact = 0.6;
                }
                hazard = true;
            } else if (event && hazard) {
                accel = 0;  // stays stopped with the hazard lights on
                speed = 0;
            } else {
                accel = std::clamp((allowed - speed) * 0.8, -kHardestBraking, 1.6);
            }
            speed = std::max(0.0, speed + accel * 0.1);
            if (speed == 0 && accel < 0) {
                accel = 0;
            }
            m_odometer += speed * 0.1;
            const double newHeading = m_road.At(m_odometer).heading;
            double turn = std::fmod(newHeading - heading + 540.0, 360.0) - 180.0;
            turnRate = turn / 0.1;
            heading = newHeading;
        }
        m_speedKmh = speed * 3.6;
        const RoadPosition at = m_road.At(m_odometer);

        // G-sensor, ten times a second: braking pushes the first axis, turns the second.
        const double lateral = speed * turnRate * kPi / 180 / 9.81;
        std::string m = "M";
        m += static_cast<char>(AxisByte(-accel / 9.81, rng.Range(-2, 2)));
        m += static_cast<char>(AxisByte(lateral, rng.Range(-2, 2)));
        m += static_cast<char>(AxisByte(impact, rng.Range(-2, 2)));
        out.push_back({timeMs, m});

        if (wholeSecond) {
            const bool valid = !(coldStart && second < 2);
            out.push_back({timeMs, "G" + RmcSentence(plan.start + second, valid, at.latitude, at.longitude,
                                                     m_speedKmh, at.heading)});
            m_coolant = std::min(90.0, m_coolant + (parked ? -0.2 : 1.0));
            const int rpm = parked ? 0 : 750 + static_cast<int>(m_speedKmh * 28) + rng.Range(-30, 30);
            const int turnSig = hazard ? 2 : signal;
            const int steer = std::clamp(static_cast<int>(std::lround(turnRate * 8)), -540, 540);
            char line[200];
            std::snprintf(line, sizeof line,
                          "Brpm=%d;wat=%d;spd=%d;Accel=%d;Break=%d;TurnSig=%d;GearPos=%d;steer_angle=%d", rpm,
                          static_cast<int>(m_coolant), static_cast<int>(std::lround(m_speedKmh)),
                          accel > 0.3 ? 1 : 0, accel < -0.5 ? 1 : 0, turnSig, parked ? 1 : 4, steer);
            out.push_back({timeMs, line});
        }
    }
    return out;
}
