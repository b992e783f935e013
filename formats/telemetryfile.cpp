// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/telemetryfile.h"

#include "formats/telemetry.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <unistd.h>

namespace {

// GPS clock fields are UTC plus this many hours (the camera's time zone).
constexpr int kHourOffset = 9;
// Seven decimals of a degree are about a centimetre; two of a km/h are plenty.
constexpr int kDegreeDecimals = 7;
constexpr int kSpeedDecimals = 2;
constexpr const char* kPartSuffix = ".part";

// "." decimals whatever the locale: to_chars ignores it.
std::string Fixed(double value, int decimals)
{
    char text[64];
    const auto r = std::to_chars(text, text + sizeof(text), value, std::chars_format::fixed, decimals);
    return r.ec == std::errc() ? std::string(text, r.ptr) : std::string("0");
}

std::string XmlEscaped(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&apos;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// The fix's clock as UTC text; empty when its fields are not a date and time.
std::string UtcText(const CGPSData& fix)
{
    const int hour = fix.m_hour - kHourOffset;
    if (fix.m_month < 1 || fix.m_month > 12 || fix.m_day < 1 || fix.m_day > 31 || hour < 0 || hour > 23 ||
        fix.m_minute < 0 || fix.m_minute > 59 || fix.m_second < 0 || fix.m_second > 60) {
        return {};
    }
    struct tm t {};
    t.tm_year = ((fix.m_year + 30) % 100) + 70;  // 70..99 are 1970..1999, 00..69 2000..2069
    t.tm_mon = fix.m_month - 1;
    t.tm_mday = fix.m_day;
    t.tm_hour = hour;
    t.tm_min = fix.m_minute;
    t.tm_sec = fix.m_second;
    const time_t seconds = timegm(&t);  // also rolls a day 31 of a short month over
    struct tm utc {};
    if (!gmtime_r(&seconds, &utc)) {
        return {};
    }
    char text[80];  // room for any int the fields could hold
    std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return text;
}

bool OnTheGlobe(double latitude, double longitude)
{
    return std::isfinite(latitude) && std::isfinite(longitude) && std::fabs(latitude) <= 90.0 &&
           std::fabs(longitude) <= 180.0;
}

// The record as a row; false for records the viewer does not read.
bool RowOf(const TelemetryRecord& record, CVehicleSignals* signals, TelemetryRow* row)
{
    const std::string& b = record.bytes;
    if (b.empty()) {
        return false;
    }
    row->timeMs = record.timeMs;
    // G and B records are text: they end at the first zero byte.
    const std::string_view text(b.data(), strnlen(b.data(), b.size()));
    switch (b[0]) {
        case 'G': {
            CGPSData fix;
            if (text.size() < 7 || text.substr(2, 5) != "GPRMC" || !fix.Parse(text)) {
                return false;
            }
            row->utc = UtcText(fix);
            row->latitude = fix.Latitude();
            row->longitude = fix.Longitude();
            row->speedKmh = fix.Speed();
            row->kind = fix.IsValid() && OnTheGlobe(row->latitude, row->longitude) ? TelemetryRow::kGps
                                                                                   : TelemetryRow::kGpsVoid;
            return true;
        }
        case 'M': {
            if (b.size() < 4) {
                return false;
            }
            const CGSensorData sample(static_cast<unsigned char>(b[1]), static_cast<unsigned char>(b[2]),
                                      static_cast<unsigned char>(b[3]));
            row->kind = TelemetryRow::kGSensor;
            row->axes[0] = sample.m_x;
            row->axes[1] = sample.m_y;
            row->axes[2] = sample.m_z;
            return true;
        }
        case 'B': {
            const CVehicleSignals::Table table = signals->ApplyLine(text.substr(1));
            row->kind = TelemetryRow::kSignals;
            for (int i = 0; i < CVehicleSignals::kKeyCount; ++i) {
                row->signals[i] = table.values[i].current;
            }
            return true;
        }
        default:
            return false;
    }
}

bool WriteWhole(const std::string& path, const std::string& text, std::string* error)
{
    const std::string part = path + kPartSuffix;
    FILE* f = std::fopen(part.c_str(), "wb");
    if (f == nullptr) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    // On the disk before it takes the name, so a power cut cannot leave an empty file.
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size() && std::fflush(f) == 0 &&
              fsync(fileno(f)) == 0;
    int failure = ok ? 0 : errno;
    if (std::fclose(f) != 0 && ok) {
        failure = errno;
        ok = false;
    }
    if (ok && std::rename(part.c_str(), path.c_str()) != 0) {
        failure = errno;
        ok = false;
    }
    if (!ok) {
        std::remove(part.c_str());
        *error = "cannot write " + path + ": " + std::strerror(failure != 0 ? failure : EIO);
    }
    return ok;
}

}  // namespace

void CTelemetryLog::Add(const void* data, int length, int timeMs)
{
    if (data == nullptr || length <= 0) {
        return;
    }
    TelemetryRecord record;
    record.timeMs = timeMs;
    record.bytes.assign(static_cast<const char*>(data), static_cast<size_t>(length));
    // Records come in file order, which is media-time order; a stray earlier one goes to
    // its place after the others of its time.
    const auto at = std::upper_bound(m_records.begin(), m_records.end(), timeMs,
                                     [](int t, const TelemetryRecord& r) { return t < r.timeMs; });
    m_records.insert(at, std::move(record));
}

std::vector<TelemetryRow> CTelemetryLog::Rows() const
{
    std::vector<TelemetryRow> rows;
    CVehicleSignals signals;
    for (const TelemetryRecord& record : m_records) {
        TelemetryRow row;
        if (RowOf(record, &signals, &row)) {
            rows.push_back(row);
        }
    }
    return rows;
}

int CTelemetryLog::ValidFixCount() const
{
    const std::vector<TelemetryRow> rows = Rows();
    return static_cast<int>(std::count_if(
        rows.begin(), rows.end(), [](const TelemetryRow& r) { return r.kind == TelemetryRow::kGps; }));
}

std::string GpxText(const std::string& recordingName, const CTelemetryLog& log)
{
    const std::string name = XmlEscaped(recordingName);
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<gpx version=\"1.1\" creator=\"mubviewer\" xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
        "     xmlns:mub=\"urn:mubviewer:telemetry:1\">\n"
        "  <metadata><name>" +
        name +
        "</name></metadata>\n"
        "  <trk>\n"
        "    <name>" +
        name + "</name>\n    <trkseg>\n";
    for (const TelemetryRow& row : log.Rows()) {
        if (row.kind != TelemetryRow::kGps) {
            continue;
        }
        out += "      <trkpt lat=\"" + Fixed(row.latitude, kDegreeDecimals) + "\" lon=\"" +
               Fixed(row.longitude, kDegreeDecimals) + "\">";
        if (!row.utc.empty()) {
            out += "<time>" + row.utc + "</time>";
        }
        // GPX 1.1 has no speed of its own.
        out += "<extensions><mub:speed_kmh>" + Fixed(row.speedKmh, kSpeedDecimals) +
               "</mub:speed_kmh></extensions></trkpt>\n";
    }
    out += "    </trkseg>\n  </trk>\n</gpx>\n";
    return out;
}

std::string TelemetryCsvText(const std::string& recordingName, const CTelemetryLog& log)
{
    const std::vector<TelemetryRow> rows = log.Rows();
    const auto fixes = std::count_if(rows.begin(), rows.end(),
                                     [](const TelemetryRow& r) { return r.kind == TelemetryRow::kGps; });
    std::string out = "# telemetry of " + recordingName +
                      ", one row per record in media-time order; UTC times, speeds in km/h, "
                      "G-sensor axes as 128 minus the stored byte\n";
    if (fixes == 0) {
        out += "# no valid GPS fix in this recording, so no GPX track was written\n";
    } else {
        out += "# " + std::to_string(fixes) + " valid GPS fixes\n";
    }
    out += "media_time_ms,record,utc_time,latitude,longitude,speed_kmh,g_x,g_y,g_z";
    for (const char* key : CVehicleSignals::kKeys) {
        out += ",";
        out += key;
    }
    out += "\n";
    static const char* const kKinds[] = {"gps", "gps_void", "gsensor", "signals"};
    for (const TelemetryRow& row : rows) {
        out += std::to_string(row.timeMs) + "," + kKinds[row.kind] + ",";
        if (row.kind == TelemetryRow::kGps || row.kind == TelemetryRow::kGpsVoid) {
            out += row.utc;
        }
        out += ",";
        if (row.kind == TelemetryRow::kGps) {
            out += Fixed(row.latitude, kDegreeDecimals) + "," + Fixed(row.longitude, kDegreeDecimals) + "," +
                   Fixed(row.speedKmh, kSpeedDecimals);
        } else {
            out += ",,";
        }
        for (int axis = 0; axis < 3; ++axis) {
            out += ",";
            if (row.kind == TelemetryRow::kGSensor) {
                out += std::to_string(row.axes[axis]);
            }
        }
        for (int i = 0; i < CVehicleSignals::kKeyCount; ++i) {
            out += ",";
            if (row.kind == TelemetryRow::kSignals && row.signals[i] != kSignalAbsent) {
                out += std::to_string(row.signals[i]);
            }
        }
        out += "\n";
    }
    return out;
}

bool WriteGpx(const std::string& path, const std::string& recordingName, const CTelemetryLog& log,
              std::string* error)
{
    return WriteWhole(path, GpxText(recordingName, log), error);
}

bool WriteTelemetryCsv(const std::string& path, const std::string& recordingName, const CTelemetryLog& log,
                       std::string* error)
{
    return WriteWhole(path, TelemetryCsvText(recordingName, log), error);
}
