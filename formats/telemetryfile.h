// SPDX-License-Identifier: GPL-3.0-or-later
// A recording's telemetry beside its export: the GPS track as GPX 1.1 and every record as
// CSV. Numbers are written with "." decimals whatever the process locale.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One text record as the recording holds it, at its media time: the channel 0 pictures
// read before it, in milliseconds.
struct TelemetryRecord {
    int timeMs = 0;
    std::string bytes;  // first byte G, M or B
};

// The fields of a record that a row or a track point shows.
struct TelemetryRow {
    enum Kind { kGps, kGpsVoid, kGSensor, kSignals };
    Kind kind = kGps;
    int timeMs = 0;
    std::string utc;  // "YYYY-MM-DDThh:mm:ssZ"; empty when the date is not a date
    double latitude = 0, longitude = 0, speedKmh = 0;
    int axes[3] = {};
    int signals[8] = {};  // in CVehicleSignals key order; kSignalAbsent when absent
};

// The records the export saw, kept in media-time order (records of one time in the order
// they came).
class CTelemetryLog {
public:
    void Add(const void* data, int length, int timeMs);
    const std::vector<TelemetryRecord>& Records() const { return m_records; }
    // One row per record the viewer understands: GPRMC fixes (valid or void), G-sensor
    // samples and vehicle-signal lines. Other records are left out.
    std::vector<TelemetryRow> Rows() const;
    // Valid fixes with coordinates on the globe: the track's points.
    int ValidFixCount() const;

private:
    std::vector<TelemetryRecord> m_records;
};

// Writes the track (one trkpt per valid fix) of the named recording. The file is written
// beside its path and takes its name only when whole. False with *error when it cannot be
// written (nothing is left then); a log without fixes is the caller's to skip.
bool WriteGpx(const std::string& path, const std::string& recordingName, const CTelemetryLog& log,
              std::string* error);
// Writes the header comment, the column names and one row per record; the same care.
bool WriteTelemetryCsv(const std::string& path, const std::string& recordingName, const CTelemetryLog& log,
                       std::string* error);

// The text of the files, for the writers and their tests.
std::string GpxText(const std::string& recordingName, const CTelemetryLog& log);
std::string TelemetryCsvText(const std::string& recordingName, const CTelemetryLog& log);
