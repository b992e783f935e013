// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/telemetry.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>

namespace {

// The sentence is copied into a work buffer of this size, terminator included.
constexpr size_t kSentenceBufferBytes = 1024;
// Identifier plus time, status, latitude, N/S, longitude, E/W, speed, course, date.
constexpr int kRmcFields = 10;
constexpr double kKnotsToKmh = 1.852;
// Clock fields are UTC; the recordings show the camera's time zone, nine hours ahead.
constexpr int kHourOffset = 9;

// Value of the leading decimal digits of a two-character group (0 if none).
int TwoDigits(std::string_view group)
{
    int value = 0;
    for (size_t i = 0; i < 2 && i < group.size(); ++i) {
        if (group[i] < '0' || group[i] > '9') {
            break;
        }
        value = value * 10 + (group[i] - '0');
    }
    return value;
}

// The number a field starts with, as the C library's atof reads it, but independent of
// the process locale (the viewer may run under a locale with decimal commas).
double LeadingDouble(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    if (i < text.size() && text[i] == '+') {
        ++i;
    }
    double value = 0;
    const auto result = std::from_chars(text.data() + i, text.data() + text.size(), value);
    return result.ec == std::errc() ? value : 0.0;
}

// Leading decimal integer with optional sign, clamped to 32 bits (0 if none).
int32_t LeadingInt(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{INT32_MAX} + 1);
    }
    value = negative ? -value : value;
    return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

std::string_view TrimSpaces(std::string_view text)
{
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

// ddmm.mmmm (already scaled by 0.01 to dd.mmmmmm) to decimal degrees.
double Degrees(double x)
{
    const double t = std::trunc(x);
    return t + (x - t) * 100.0 / 60.0;
}

}  // namespace

// ---------------------------------------------------------------- CGPSData

CGPSData::CGPSData(const char* sentence, int /*tag*/)
{
    if (sentence != nullptr) {
        // Never look further than the work buffer could hold.
        Parse(std::string_view(sentence, strnlen(sentence, kSentenceBufferBytes)));
    }
}

bool CGPSData::Parse(std::string_view sentence)
{
    *this = CGPSData();
    // A zero byte ends the sentence, as in the zero-terminated packet.
    sentence = sentence.substr(0, std::min(sentence.size(), sentence.find('\0')));
    if (sentence.size() >= kSentenceBufferBytes) {
        return false;  // longer than the work buffer: rejected rather than cut
    }
    std::string_view fields[kRmcFields];
    int count = 0;
    size_t start = 0;
    while (count < kRmcFields) {
        const size_t comma = sentence.find(',', start);
        fields[count++] =
            sentence.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start);
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    if (count < kRmcFields) {
        return false;
    }
    const std::string_view time = fields[1];
    const std::string_view date = fields[9];
    // Shorter clock fields would leave groups undefined: rejected.
    if (time.size() < 6 || date.size() < 6) {
        return false;
    }
    CGPSData fix;
    fix.m_hour = TwoDigits(time.substr(0, 2)) + kHourOffset;
    fix.m_minute = TwoDigits(time.substr(2, 2));
    fix.m_second = TwoDigits(time.substr(4, 2));
    fix.m_valid = (!fields[2].empty() && fields[2][0] == 'A') ? 1 : 0;
    fix.m_latitudeRaw = LeadingDouble(fields[3]);
    if (fields[4].empty() || fields[4][0] != 'N') {
        fix.m_latitudeRaw = -fix.m_latitudeRaw;
    }
    fix.m_longitudeRaw = LeadingDouble(fields[5]);
    if (fields[6].empty() || fields[6][0] != 'E') {
        fix.m_longitudeRaw = -fix.m_longitudeRaw;
    }
    fix.m_speedKmh = static_cast<double>(static_cast<float>(LeadingDouble(fields[7]) * kKnotsToKmh));
    fix.m_course = static_cast<double>(static_cast<float>(LeadingDouble(fields[8])));
    fix.m_day = TwoDigits(date.substr(0, 2));
    fix.m_month = TwoDigits(date.substr(2, 2));
    fix.m_year = TwoDigits(date.substr(4, 2));

    std::tm tm{};
    tm.tm_sec = fix.m_second;
    tm.tm_min = fix.m_minute;
    tm.tm_hour = fix.m_hour;  // above 23 rolls over into the next day
    tm.tm_mday = fix.m_day;
    tm.tm_mon = fix.m_month - 1;
    tm.tm_year = ((fix.m_year + 30) % 100) + 70;  // 70..99 -> 1970s..90s, 00..69 -> 2000..2069
    // The clock fields carry no daylight-saving flag: let the local zone's rules decide.
    tm.tm_isdst = -1;
    fix.m_time = static_cast<int64_t>(std::mktime(&tm));
    *this = fix;
    return true;
}

double CGPSData::Latitude() const
{
    return Degrees(m_latitudeRaw * 0.01);
}

double CGPSData::Longitude() const
{
    return Degrees(m_longitudeRaw * 0.01);
}

// ---------------------------------------------------------------- CGSensorData

CGSensorData::CGSensorData(int x, int y, int z, int /*tag*/)
    : m_x(128 - (x & 0xFF)), m_y(128 - (y & 0xFF)), m_z(128 - (z & 0xFF))
{
}

// ---------------------------------------------------------------- CTextData

void CTextData::AddGSensor(const CGSensorData& sample)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_gsensor.push_back(sample);
}

bool CTextData::AddGSensorWhileBelow(const CGSensorData& sample, int limit)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (static_cast<int64_t>(m_gsensor.size()) >= limit) {
        return false;
    }
    m_gsensor.push_back(sample);
    return true;
}

void CTextData::AddGPS(const CGPSData& sample)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_gps.push_back(sample);
}

int CTextData::GSensorCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<int>(m_gsensor.size());
}

int CTextData::GPSCount() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return static_cast<int>(m_gps.size());
}

bool CTextData::GSensorAt(int index, CGSensorData* sample) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (index < 0 || static_cast<size_t>(index) >= m_gsensor.size()) {
        return false;
    }
    *sample = m_gsensor[static_cast<size_t>(index)];
    return true;
}

bool CTextData::GPSAt(int index, CGPSData* sample) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (index < 0 || static_cast<size_t>(index) >= m_gps.size()) {
        return false;
    }
    *sample = m_gps[static_cast<size_t>(index)];
    return true;
}

bool CTextData::LastGPS(CGPSData* sample) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_gps.empty()) {
        return false;
    }
    *sample = m_gps.back();
    return true;
}

void CTextData::GSensorFrom(int from, std::vector<CGSensorData>* out) const
{
    out->clear();
    std::lock_guard<std::mutex> lock(m_lock);
    const size_t first = static_cast<size_t>(std::max(from, 0));
    if (first < m_gsensor.size()) {
        out->assign(m_gsensor.begin() + static_cast<std::ptrdiff_t>(first), m_gsensor.end());
    }
}

void CTextData::Clear()
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<CGSensorData>().swap(m_gsensor);
    std::vector<CGPSData>().swap(m_gps);
}

// ---------------------------------------------------------------- CVehicleSignals

const char* const CVehicleSignals::kKeys[kKeyCount] = {"rpm",   "wat",     "spd",     "Accel",
                                                       "Break", "TurnSig", "GearPos", "steer_angle"};

int CVehicleSignals::IndexOf(std::string_view key)
{
    for (int i = 0; i < kKeyCount; ++i) {
        if (key == kKeys[i]) {
            return i;
        }
    }
    return -1;
}

void CVehicleSignals::Reset()
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (SignalPair& pair : m_values) {
        pair = SignalPair();
    }
}

bool CVehicleSignals::Set(std::string_view key, int32_t value)
{
    const int index = IndexOf(key);
    if (index < 0) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    m_values[index].current = value;
    return true;
}

bool CVehicleSignals::Lookup(std::string_view key, SignalPair* pair) const
{
    const int index = IndexOf(key);
    if (index < 0) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_lock);
    *pair = m_values[index];
    return true;
}

bool CVehicleSignals::Table::Lookup(std::string_view key, SignalPair* pair) const
{
    const int index = IndexOf(key);
    if (index < 0) {
        return false;
    }
    *pair = values[index];
    return true;
}

CVehicleSignals::Table CVehicleSignals::Current() const
{
    Table table;
    std::lock_guard<std::mutex> lock(m_lock);
    std::copy(std::begin(m_values), std::end(m_values), table.values);
    return table;
}

std::vector<std::pair<std::string, SignalPair>> CVehicleSignals::Snapshot() const
{
    std::vector<std::pair<std::string, SignalPair>> out;
    out.reserve(kKeyCount);
    std::lock_guard<std::mutex> lock(m_lock);
    for (int i = 0; i < kKeyCount; ++i) {
        out.emplace_back(kKeys[i], m_values[i]);
    }
    return out;
}

CVehicleSignals::Table CVehicleSignals::ApplyLine(std::string_view line)
{
    // Parse first, then apply the whole line at once under the lock.
    int32_t current[kKeyCount];
    std::fill(std::begin(current), std::end(current), kSignalAbsent);
    size_t start = 0;
    while (true) {
        const size_t semicolon = line.find(';', start);
        const std::string_view field = line.substr(
            start, semicolon == std::string_view::npos ? std::string_view::npos : semicolon - start);
        const size_t eq = field.find('=');
        const std::string_view key = TrimSpaces(field.substr(0, eq));
        std::string_view valueText;
        if (eq != std::string_view::npos) {
            const std::string_view rest = field.substr(eq + 1);
            valueText = TrimSpaces(rest.substr(0, rest.find('=')));
        }
        const int index = IndexOf(key);
        if (index >= 0) {
            int32_t value = LeadingInt(valueText);
            if (EqualsNoCase(key, "spd") && value < 0) {
                value = 0;  // a speed is never shown negative
            }
            current[index] = value;
        }
        if (semicolon == std::string_view::npos) {
            break;
        }
        start = semicolon + 1;
    }
    Table applied;
    std::lock_guard<std::mutex> lock(m_lock);
    for (int i = 0; i < kKeyCount; ++i) {
        m_values[i].previous = m_values[i].current;
        m_values[i].current = current[i];
        applied.values[i] = m_values[i];
    }
    return applied;
}

// ---------------------------------------------------------------- CTelemetryStore

void CTelemetryStore::OnTextPacket(const char* text, int length, int timeMs)
{
    if (text == nullptr || length <= 0) {
        return;
    }
    const size_t available = static_cast<size_t>(length);
    // G and B records are text: they end at the first zero byte.
    const size_t textBytes = strnlen(text, available);
    switch (text[0]) {
        case 'B': {
            const CVehicleSignals::Table applied =
                m_signals.ApplyLine(std::string_view(text + 1, textBytes - 1));
            if (m_signalsApplied) {
                m_signalsApplied(applied);
            }
            break;
        }
        case 'G': {
            // The second byte (normally '$') is not examined.
            if (textBytes < 7 || std::memcmp(text + 2, "GPRMC", 5) != 0) {
                break;
            }
            CGPSData fix;
            if (fix.Parse(std::string_view(text, textBytes)) && fix.IsValid()) {
                m_samples.AddGPS(fix);
            }
            break;
        }
        case 'M': {
            // The three axis bytes may be zero, so they are bounded by length, not by text.
            if (available < 4) {
                break;
            }
            // At most one sample per second of playback: sample k is the first packet at
            // or after second k + 1.
            const int seconds = timeMs / 1000;
            const auto* bytes = reinterpret_cast<const unsigned char*>(text);
            m_samples.AddGSensorWhileBelow(CGSensorData(bytes[1], bytes[2], bytes[3]), seconds);
            break;
        }
        default:
            break;
    }
}

void CTelemetryStore::TextCallback(void* user, const char* text, int length, int timeMs)
{
    if (user != nullptr) {
        static_cast<CTelemetryStore*>(user)->OnTextPacket(text, length, timeMs);
    }
}
