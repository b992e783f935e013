// The road the sample car drives: a loop of about 7 km along the main roads around Seoul
// City Hall (Sejong-daero, Jong-ro, Changgyeonggung-ro, Eulji-ro, Sungnyemun, Seosomun-ro,
// Saemunan-ro), its corners rounded as a car drives them, with the traffic lights on it.
#pragma once

#include <vector>

struct RoadPosition {
    double latitude = 0;
    double longitude = 0;
    double heading = 0;  // degrees clockwise from north
};

class CRoadRoute {
public:
    CRoadRoute();

    // Metres once round the loop.
    double Length() const { return m_length; }
    // Where the car is after s metres from the start (any s: the loop repeats).
    RoadPosition At(double s) const;
    // The next corner sharper than minDegrees within aheadMetres of s: its angle (degrees,
    // right positive) and distance; false when there is none.
    bool CornerAhead(double s, double aheadMetres, double minDegrees, double* degrees,
                     double* distance) const;
    // Distance in metres to the next traffic light after s (at most one loop).
    double NextLight(double s) const;
    // Metres from a position to the nearest point of the road.
    double DistanceToRoad(double latitude, double longitude) const;

private:
    struct Point {
        double x = 0;  // metres east of the origin
        double y = 0;  // metres north of the origin
        double s = 0;  // metres along the loop
    };
    struct Corner {
        double s = 0;
        double degrees = 0;
    };

    double Wrap(double s) const;

    std::vector<Point> m_path;  // dense points every few metres, closed (last = first)
    std::vector<Corner> m_corners;
    std::vector<double> m_lights;  // loop positions, ascending
    double m_length = 0;
};
