// SPDX-License-Identifier: GPL-3.0-or-later
// Telemetry records of a recording's text stream: GPS fixes ("G" + RMC sentence),
// G-sensor samples ("M" + three bytes) and vehicle-signal lines ("B" + key=value;...),
// the per-recording sample store and the vehicle-signal table.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// One GPS fix from an NMEA RMC sentence.
class CGPSData {
public:
    CGPSData() = default;
    // Parses sentence; on failure every field stays zero (so the fix reads invalid).
    // tag is unused.
    explicit CGPSData(const char* sentence, int tag = 0);
    virtual ~CGPSData() = default;
    CGPSData(const CGPSData&) = default;
    CGPSData& operator=(const CGPSData&) = default;

    // Fills the fields from a sentence (its first field, the identifier, is skipped).
    // False, with all fields zero, for a sentence over 1023 bytes, fewer than ten fields,
    // or a time or date field shorter than six characters.
    bool Parse(std::string_view sentence);

    // Decimal degrees from the raw ddmm.mmmm values, computed on each call.
    double Latitude() const;
    double Longitude() const;
    double Speed() const { return m_speedKmh; }
    bool IsValid() const { return m_valid != 0; }

    int32_t m_year = 0;   // two digits, 0..99
    int32_t m_month = 0;  // 1..12
    int32_t m_day = 0;    // 0 in a default sample
    int32_t m_hour = 0;   // UTC hour + 9, not wrapped (9..32)
    int32_t m_minute = 0;
    int32_t m_second = 0;
    int32_t m_valid = 0;        // status field began with 'A'
    double m_latitudeRaw = 0;   // ddmm.mmmm, negative unless 'N'
    double m_longitudeRaw = 0;  // dddmm.mmmm, negative unless 'E'
    double m_speedKmh = 0;      // knots x 1.852, single precision
    double m_course = 0;        // degrees, single precision
    int64_t m_time = 0;         // seconds since 1970 of the clock fields read as local time
};

// One G-sensor sample: 128 - byte per axis.
class CGSensorData {
public:
    CGSensorData() = default;
    // Each value uses its low eight bits; tag is unused.
    CGSensorData(int x, int y, int z, int tag = 0);
    virtual ~CGSensorData() = default;
    CGSensorData(const CGSensorData&) = default;
    CGSensorData& operator=(const CGSensorData&) = default;

    int32_t m_x = 0;
    int32_t m_y = 0;
    int32_t m_z = 0;
};

// Samples of the open recording. Appended on the player's delivery thread, read on the
// interface thread: every access is under the lock and reads copy out, so a reader never
// sees a half-appended sample.
class CTextData {
public:
    void AddGSensor(const CGSensorData& sample);
    // Appends only while fewer than limit samples are stored (check and append at once).
    bool AddGSensorWhileBelow(const CGSensorData& sample, int limit);
    void AddGPS(const CGPSData& sample);
    int GSensorCount() const;
    int GPSCount() const;
    // Copies the sample at index out; false when index is out of range.
    bool GSensorAt(int index, CGSensorData* sample) const;
    bool GPSAt(int index, CGPSData* sample) const;
    bool LastGPS(CGPSData* sample) const;
    // Copies the G-sensor samples from index `from` on into out (replacing its contents).
    void GSensorFrom(int from, std::vector<CGSensorData>* out) const;
    // Empties both arrays and frees their storage.
    void Clear();

private:
    mutable std::mutex m_lock;
    std::vector<CGSensorData> m_gsensor;  // --- protected by m_lock
    std::vector<CGPSData> m_gps;          // --- protected by m_lock
};

// A value read -1000 when its key was absent from the latest line.
constexpr int kSignalAbsent = -1000;

struct SignalPair {
    int32_t previous = kSignalAbsent;
    int32_t current = kSignalAbsent;
};

// The eight vehicle signals in their fixed order. Written by the delivery thread, read by
// the interface thread; a line is applied as a whole under the lock.
class CVehicleSignals {
public:
    static constexpr int kKeyCount = 8;
    // "rpm", "wat", "spd", "Accel", "Break", "TurnSig", "GearPos", "steer_angle"
    static const char* const kKeys[kKeyCount];

    // The whole table at one moment, in key order: a copy that the writer cannot change
    // under a reader.
    struct Table {
        SignalPair values[kKeyCount];
        // Exact (case-sensitive) lookup.
        bool Lookup(std::string_view key, SignalPair* pair) const;
    };

    CVehicleSignals() { Reset(); }

    // Every key back to (-1000, -1000).
    void Reset();
    // Sets a key's current value; false for a key not in the table (the table never grows).
    bool Set(std::string_view key, int32_t value);
    // Exact (case-sensitive) lookup.
    bool Lookup(std::string_view key, SignalPair* pair) const;
    // All eight pairs in key order.
    std::vector<std::pair<std::string, SignalPair>> Snapshot() const;
    Table Current() const;

    // Applies one line (UTF-8, without the lead "B"): every previous := current and every
    // current := -1000, then each known key=value field sets its current value. Returns the
    // table as this line left it.
    Table ApplyLine(std::string_view line);

private:
    static int IndexOf(std::string_view key);

    mutable std::mutex m_lock;
    SignalPair m_values[kKeyCount];  // --- protected by m_lock
};

// The text-packet handler and what it fills. Owned by the main window; OnTextPacket runs
// on the player's delivery thread, the accessors on any thread.
class CTelemetryStore {
public:
    // Called on the delivery thread after a vehicle-signal line was applied, with the table
    // as that line left it (the window hands it on in its refresh event).
    using SignalsApplied = std::function<void(const CVehicleSignals::Table&)>;

    // Set before packets arrive.
    void SetSignalsApplied(SignalsApplied notice) { m_signalsApplied = std::move(notice); }

    // One text packet: text holds length bytes, the last normally the terminating zero as
    // the player delivers it; timeMs is the playback time of the packet.
    void OnTextPacket(const char* text, int length, int timeMs);
    // Adapter for the player's text callback; user is the store.
    static void TextCallback(void* user, const char* text, int length, int timeMs);

    CTextData& Samples() { return m_samples; }
    const CTextData& Samples() const { return m_samples; }
    CVehicleSignals& Signals() { return m_signals; }
    const CVehicleSignals& Signals() const { return m_signals; }

private:
    CTextData m_samples;
    CVehicleSignals m_signals;
    SignalsApplied m_signalsApplied;  // set before the delivery thread starts
};
