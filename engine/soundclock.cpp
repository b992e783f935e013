// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/soundclock.h"

#include <algorithm>

void CSoundClock::Add(uint64_t position, int bytes, double mediaStartMs, int bytesPerSec)
{
    if (bytes <= 0 || bytesPerSec <= 0) {
        return;
    }
    m_segments.push_back({position, bytes, mediaStartMs, bytesPerSec / 1000.0});
    if (m_segments.size() > kMaxSegments) {
        m_segments.pop_front();
    }
}

double CSoundClock::EndMs() const
{
    if (m_segments.empty()) {
        return 0;
    }
    const Segment& last = m_segments.back();
    return last.startMs + last.bytes / last.bytesPerMs;
}

double CSoundClock::HeardPosition(const AudioClockSample& device, int64_t nowNs)
{
    const double bytesPerNs = device.bytesPerSec / 1e9;
    double position = static_cast<double>(device.pulledBytes);
    if (device.lastPullNs != 0 && device.lastPullBytes > 0) {
        // The latest pull's bytes play one after another from the pull on; never further
        // than the pull took.
        const double since = std::clamp(static_cast<double>(nowNs - device.lastPullNs), 0.0,
                                        device.lastPullBytes / bytesPerNs);
        position = static_cast<double>(device.pulledBytes) - device.lastPullBytes + since * bytesPerNs;
    }
    return position - static_cast<double>(device.latencyNs) * bytesPerNs;
}

double CSoundClock::MediaAt(double position) const
{
    const Segment& first = m_segments.front();
    if (position < static_cast<double>(first.position)) {
        // Before the first byte handed over: as far before its media time.
        return first.startMs - (static_cast<double>(first.position) - position) / first.bytesPerMs;
    }
    // The last segment that starts at or before the position.
    auto it =
        std::upper_bound(m_segments.begin(), m_segments.end(), position,
                         [](double p, const Segment& s) { return p < static_cast<double>(s.position); });
    const Segment& s = *(it - 1);
    const double into = std::min(position - static_cast<double>(s.position), static_cast<double>(s.bytes));
    return s.startMs + into / s.bytesPerMs;
}

CSoundClock::Position CSoundClock::Heard(const AudioClockSample& device, int64_t nowNs, bool moreToCome)
{
    Position result;
    if (device.bytesPerSec <= 0) {
        return result;  // no format: nothing to follow
    }
    if (m_segments.empty()) {
        result.kind = moreToCome ? Kind::Waiting : Kind::Exhausted;
        return result;
    }
    double position = HeardPosition(device, nowNs);
    if (m_lastNs != 0 && nowNs >= m_lastNs) {
        position = std::min(
            position, m_lastPosition + static_cast<double>(nowNs - m_lastNs) * device.bytesPerSec / 1e9);
    }
    m_lastPosition = position;
    m_lastNs = nowNs;
    result.heardMs = MediaAt(position);
    const bool pending = device.acceptedBytes > device.pulledBytes;
    // Until the device pulls what it was last given, the reading is older than the sound.
    const bool fresh = device.lastPullNs != 0 && device.lastPullNs >= device.activeSinceNs;
    const int64_t quietNs = nowNs - (fresh ? device.lastPullNs : device.activeSinceNs);
    if (pending && !device.paused && quietNs > (fresh ? kStallNs : kStartNs)) {
        result.kind = Kind::Stalled;
        return result;
    }
    const Segment& last = m_segments.back();
    if (!moreToCome && !pending && position >= static_cast<double>(last.position + last.bytes)) {
        result.kind = Kind::Exhausted;
        return result;
    }
    result.kind = fresh ? Kind::Running : Kind::Waiting;
    return result;
}
