#include "tools/mubcard/road_route.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kPi = 3.14159265358979323846;
// Metres per degree of latitude on the sphere GPS distances are usually taken on.
constexpr double kMetresPerDegree = 6371000.0 * kPi / 180.0;
// Where the local metre grid is anchored: Seoul City Hall.
constexpr double kOriginLatitude = 37.5660;
constexpr double kOriginLongitude = 126.9780;
// Corners of a city street are driven on an arc of about this radius.
constexpr double kCornerRadiusMetres = 14.0;
// Straight stretches are kept as points this far apart.
constexpr double kStepMetres = 4.0;
constexpr int kArcSteps = 10;
// The stop line lies this far before the junction's middle.
constexpr double kStopLineMetres = 12.0;

struct Waypoint {
    double latitude;
    double longitude;
    bool light;  // a signalled junction
};

// The loop, starting in front of City Hall heading south.
constexpr Waypoint kWaypoints[] = {
    {37.56605, 126.97800, true},   // Sejong-daero at City Hall
    {37.56480, 126.97730, true},   // Seoul Plaza, south side
    {37.56360, 126.97650, false},  // Bukchang-dong
    {37.56110, 126.97550, false},  // Namdaemun market
    {37.56000, 126.97530, true},   // Sungnyemun
    {37.56050, 126.97250, false},  // Chilpae-ro
    {37.56140, 126.97020, true},   // Seosomun
    {37.56300, 126.96870, false},  // Seosomun-ro
    {37.56500, 126.96720, true},   // Seosomun-ro, north
    {37.56640, 126.96640, true},   // Seodaemun junction
    {37.56870, 126.96850, false},  // Saemunan-ro
    {37.56990, 126.97000, true},   // Gyeonghuigung
    {37.57020, 126.97400, true},   // Saemunan-ro, east
    {37.57075, 126.97690, true},   // Sejongno junction
    {37.57040, 126.97960, false},  // Jong-ro
    {37.57010, 126.98250, true},   // Jonggak
    {37.57015, 126.98790, true},   // Jongno 2-ga
    {37.57035, 126.99190, true},   // Jongno 3-ga
    {37.57065, 126.99600, false},  // Jong-ro
    {37.57085, 126.99830, true},   // Jongno 4-ga
    {37.56890, 126.99820, true},   // Changgyeonggung-ro at Cheonggyecheon
    {37.56660, 126.99810, true},   // Euljiro 4-ga
    {37.56630, 126.99180, true},   // Euljiro 3-ga
    {37.56605, 126.98650, true},   // Euljiro 2-ga
    {37.56600, 126.98210, true},   // Euljiro 1-ga
    {37.56595, 126.97950, false},  // Seoul Plaza, north side
};
constexpr int kWaypointCount = static_cast<int>(sizeof kWaypoints / sizeof kWaypoints[0]);

double MetresPerDegreeLongitude()
{
    return kMetresPerDegree * std::cos(kOriginLatitude * kPi / 180.0);
}

double Heading(double dx, double dy)
{
    const double h = std::atan2(dx, dy) * 180.0 / kPi;
    return h < 0 ? h + 360.0 : h;
}

double TurnDegrees(double from, double to)
{
    double d = std::fmod(to - from + 540.0, 360.0) - 180.0;
    return d == -180.0 ? 180.0 : d;
}

}  // namespace

CRoadRoute::CRoadRoute()
{
    struct Xy {
        double x, y;
    };
    std::vector<Xy> v(kWaypointCount);
    for (int i = 0; i < kWaypointCount; ++i) {
        v[i].x = (kWaypoints[i].longitude - kOriginLongitude) * MetresPerDegreeLongitude();
        v[i].y = (kWaypoints[i].latitude - kOriginLatitude) * kMetresPerDegree;
    }
    auto add = [this](double x, double y) {
        if (!m_path.empty()) {
            const Point& last = m_path.back();
            const double d = std::hypot(x - last.x, y - last.y);
            if (d < 1e-6) {
                return;
            }
            m_path.push_back({x, y, last.s + d});
        } else {
            m_path.push_back({x, y, 0.0});
        }
    };
    // Each waypoint becomes an arc from A (before it) to B (after it); straight road
    // joins the arcs.
    std::vector<Xy> arcEnd(kWaypointCount);
    for (int i = 0; i < kWaypointCount; ++i) {
        const Xy& prev = v[(i + kWaypointCount - 1) % kWaypointCount];
        const Xy& at = v[i];
        const Xy& next = v[(i + 1) % kWaypointCount];
        const double inLength = std::hypot(at.x - prev.x, at.y - prev.y);
        const double outLength = std::hypot(next.x - at.x, next.y - at.y);
        const double r = std::min({kCornerRadiusMetres, 0.45 * inLength, 0.45 * outLength});
        const Xy a{at.x - (at.x - prev.x) / inLength * r, at.y - (at.y - prev.y) / inLength * r};
        const Xy b{at.x + (next.x - at.x) / outLength * r, at.y + (next.y - at.y) / outLength * r};
        if (i > 0) {
            // The straight from the previous arc's end.
            const Xy& from = arcEnd[i - 1];
            const double length = std::hypot(a.x - from.x, a.y - from.y);
            const int steps = std::max(1, static_cast<int>(length / kStepMetres));
            for (int k = 1; k < steps; ++k) {
                add(from.x + (a.x - from.x) * k / steps, from.y + (a.y - from.y) * k / steps);
            }
        }
        double middle = 0;
        for (int k = 0; k <= kArcSteps; ++k) {
            const double t = static_cast<double>(k) / kArcSteps;
            const double u = 1.0 - t;
            add(u * u * a.x + 2 * u * t * at.x + t * t * b.x, u * u * a.y + 2 * u * t * at.y + t * t * b.y);
            if (k == kArcSteps / 2) {
                middle = m_path.back().s;
            }
        }
        arcEnd[i] = b;
        const double degrees =
            TurnDegrees(Heading(at.x - prev.x, at.y - prev.y), Heading(next.x - at.x, next.y - at.y));
        m_corners.push_back({middle, degrees});
        if (kWaypoints[i].light) {
            m_lights.push_back(middle - kStopLineMetres);
        }
    }
    // Back to the start: the straight after the last arc, then the first point again.
    const Xy& from = arcEnd[kWaypointCount - 1];
    const Point first = m_path.front();
    const double length = std::hypot(first.x - from.x, first.y - from.y);
    const int steps = std::max(1, static_cast<int>(length / kStepMetres));
    for (int k = 1; k < steps; ++k) {
        add(from.x + (first.x - from.x) * k / steps, from.y + (first.y - from.y) * k / steps);
    }
    add(first.x, first.y);
    m_length = m_path.back().s;
    for (double& light : m_lights) {
        light = Wrap(light);
    }
    std::sort(m_lights.begin(), m_lights.end());
}

double CRoadRoute::Wrap(double s) const
{
    const double w = std::fmod(s, m_length);
    return w < 0 ? w + m_length : w;
}

RoadPosition CRoadRoute::At(double s) const
{
    const double w = Wrap(s);
    auto it =
        std::upper_bound(m_path.begin(), m_path.end(), w, [](double v, const Point& p) { return v < p.s; });
    if (it == m_path.begin()) {
        ++it;
    }
    if (it == m_path.end()) {
        --it;
    }
    const Point& b = *it;
    const Point& a = *(it - 1);
    const double t = b.s > a.s ? (w - a.s) / (b.s - a.s) : 0.0;
    const double x = a.x + (b.x - a.x) * t;
    const double y = a.y + (b.y - a.y) * t;
    RoadPosition p;
    p.latitude = kOriginLatitude + y / kMetresPerDegree;
    p.longitude = kOriginLongitude + x / MetresPerDegreeLongitude();
    p.heading = Heading(b.x - a.x, b.y - a.y);
    return p;
}

bool CRoadRoute::CornerAhead(double s, double aheadMetres, double minDegrees, double* degrees,
                             double* distance) const
{
    bool found = false;
    double best = aheadMetres;
    for (const Corner& c : m_corners) {
        const double d = Wrap(c.s - s);
        if (std::fabs(c.degrees) >= minDegrees && d <= best) {
            best = d;
            *degrees = c.degrees;
            *distance = d;
            found = true;
        }
    }
    return found;
}

double CRoadRoute::NextLight(double s) const
{
    double best = m_length;
    for (double light : m_lights) {
        const double d = Wrap(light - s);
        if (d > 0 && d < best) {
            best = d;
        }
    }
    return best;
}

double CRoadRoute::DistanceToRoad(double latitude, double longitude) const
{
    const double x = (longitude - kOriginLongitude) * MetresPerDegreeLongitude();
    const double y = (latitude - kOriginLatitude) * kMetresPerDegree;
    double best = std::numeric_limits<double>::max();
    for (size_t i = 1; i < m_path.size(); ++i) {
        const Point& a = m_path[i - 1];
        const Point& b = m_path[i];
        const double dx = b.x - a.x;
        const double dy = b.y - a.y;
        const double len2 = dx * dx + dy * dy;
        const double t = len2 > 0 ? std::clamp(((x - a.x) * dx + (y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(x - (a.x + dx * t), y - (a.y + dy * t)));
    }
    return best;
}
