// SPDX-License-Identifier: GPL-3.0-or-later
// The sound clock: which media time is being heard now, from what was handed to the sound
// device and a reading of the device. Plain data in, an answer out; the caller supplies the
// time, so tests drive it with a fake clock.
//
// Each packet the device accepts is noted as a segment: where it starts in the device's
// stream and the media time of its first byte. A pull at time t that took n bytes ending at
// stream position P is heard from t + latency on, at the stream's byte rate. Between pulls
// the position heard is interpolated with the caller's clock, for at most one pull's worth,
// so a device that stops pulling stops the clock, and never faster than the stream's own
// pace, so a device that pulls a burst (a sound server starting up) is heard at that pace
// rather than all at once. A packet the device never accepted
// (dropped after waiting too long) has no segment: its media time is skipped over, not
// waited for.
#pragma once

#include "engine/wavebox.h"

#include <cstdint>
#include <deque>

class CSoundClock {
public:
    enum class Kind {
        Waiting,    // sound was handed over but the device has not pulled since: ask again soon
        Running,    // heardMs is the media time being heard
        Stalled,    // the device has sound but stopped pulling: follow the frame rate
        Exhausted,  // everything handed over was heard and nothing more is coming
    };
    struct Position {
        Kind kind = Kind::Exhausted;
        double heardMs = 0;
    };

    // A device with sound to pull that does not pull for this long is taken as stopped.
    static constexpr int64_t kStallNs = 250'000'000;
    // ... but a device that has not pulled at all since it got sound or went on again may be
    // a sound server starting a stream, which can take over a second.
    static constexpr int64_t kStartNs = 2'000'000'000;
    // Segments kept: far more than the device ever holds (a few packets).
    static constexpr size_t kMaxSegments = 256;

    // Forgets every segment (the device was flushed or reopened).
    void Clear()
    {
        m_segments.clear();
        m_lastNs = 0;
    }
    // The device accepted `bytes` of sound starting at stream position `position`, whose
    // first byte belongs to media time `mediaStartMs`.
    void Add(uint64_t position, int bytes, double mediaStartMs, int bytesPerSec);
    bool Empty() const { return m_segments.empty(); }
    // Media time at the end of the last segment (what the device will have played).
    double EndMs() const;

    // moreToCome: sound is still queued on the way to the device. Times must not go back.
    Position Heard(const AudioClockSample& device, int64_t nowNs, bool moreToCome);

    // Stream position heard at nowNs (may lie before what was pulled: the latency).
    static double HeardPosition(const AudioClockSample& device, int64_t nowNs);

private:
    struct Segment {
        uint64_t position;
        int bytes;
        double startMs;
        double bytesPerMs;
    };
    double MediaAt(double position) const;

    std::deque<Segment> m_segments;
    // The position answered last and when: the next answer is no further on than the
    // stream's pace allows. m_lastNs 0: none since Clear.
    double m_lastPosition = 0;
    int64_t m_lastNs = 0;
};
