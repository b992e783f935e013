// A recording's GPS track for the map's route: every valid fix of its text stream with
// the playback time it is shown at, read through the card library without touching a
// decoder.
#pragma once

#include "formats/telemetry.h"
#include "mublib/mublib.h"

#include <string>
#include <vector>

struct GpsTrackPoint {
    double latitude = 0;   // decimal degrees
    double longitude = 0;  // decimal degrees
    int timeMs = 0;        // playback time of the fix: front frames before it at the frame rate
};

struct GpsTrack {
    std::vector<GpsTrackPoint> points;  // in recording order
    int frameRate = 0;                  // front frames per second the times were taken at
};

// A fix the map can show: the valid flag set and a position on the earth other than 0, 0
// (what empty position fields read as).
bool IsMappableFix(const CGPSData& fix);

// Reads the GPS track of the recording with that file name (as the player opens it) on
// the card the context finds. Selecting a recording moves the context's read position, so
// the context must be one that no player reads from. Valid fixes are taken by the same
// rules as the telemetry store's (a "G" record of an RMC sentence with status A), and only
// mappable ones are kept. False, with an empty track, when the recording cannot be read.
bool ReadGpsTrack(MUBContext ctx, const std::string& name, GpsTrack* track);

// How many points of the track lie at or before the playback position: the driven part.
int DrivenPointCount(const GpsTrack& track, int positionMs);
