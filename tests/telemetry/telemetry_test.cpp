// SPDX-License-Identifier: GPL-3.0-or-later
// Telemetry records: RMC fixes, G-sensor samples, vehicle-signal lines, and the store
// shared between the delivery thread and a reader.
#include "formats/telemetry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <string>
#include <thread>

namespace {

// Calendar times are local: pin the zone so expected values are exact.
const bool g_utc = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

const char kSample[] = "G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W";

int64_t Utc(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    return static_cast<int64_t>(timegm(&tm));
}

// A packet as the player hands it over: the text and its terminating zero.
void Deliver(CTelemetryStore& store, const std::string& text, int timeMs)
{
    store.OnTextPacket(text.c_str(), static_cast<int>(text.size()) + 1, timeMs);
}

SignalPair Signal(const CTelemetryStore& store, const char* key)
{
    SignalPair pair;
    EXPECT_TRUE(store.Signals().Lookup(key, &pair)) << key;
    return pair;
}

}  // namespace

TEST(GpsFix, SampleSentence)
{
    CGPSData fix;
    ASSERT_TRUE(fix.Parse(kSample));
    EXPECT_TRUE(fix.IsValid());
    EXPECT_EQ(fix.m_hour, 21);
    EXPECT_EQ(fix.m_minute, 35);
    EXPECT_EQ(fix.m_second, 19);
    EXPECT_EQ(fix.m_day, 23);
    EXPECT_EQ(fix.m_month, 3);
    EXPECT_EQ(fix.m_year, 94);
    EXPECT_NEAR(fix.Latitude(), 48.1173, 1e-9);
    EXPECT_NEAR(fix.Longitude(), 11.516667, 1e-6);
    EXPECT_EQ(fix.Speed(), static_cast<double>(static_cast<float>(22.4 * 1.852)));
    EXPECT_NE(fix.Speed(), 22.4 * 1.852);  // rounded to single precision
    EXPECT_EQ(fix.m_course, static_cast<double>(84.4f));
    EXPECT_EQ(fix.m_time, Utc(1994, 3, 23, 21, 35, 19));
}

TEST(GpsFix, HemispheresNegateUnlessNorthOrEast)
{
    CGPSData south("G$GPRMC,123519,A,4807.038,S,01131.000,W,0,0,230394", 0);
    EXPECT_LT(south.Latitude(), 0);
    EXPECT_LT(south.Longitude(), 0);
    CGPSData lower("G$GPRMC,123519,A,4807.038,n,01131.000,e,0,0,230394", 0);
    EXPECT_NEAR(lower.Latitude(), -48.1173, 1e-9);
    EXPECT_LT(lower.Longitude(), 0);
    CGPSData empty("G$GPRMC,123519,,4807.038,,01131.000,,,,230394", 0);
    EXPECT_FALSE(empty.IsValid());
    EXPECT_LT(empty.Latitude(), 0);
    EXPECT_EQ(empty.Speed(), 0.0);
}

TEST(GpsFix, HourRollsIntoNextDayAndTwoDigitYears)
{
    CGPSData late("G$GPRMC,153000,A,0,N,0,E,0,0,311299", 0);
    EXPECT_EQ(late.m_hour, 24);
    EXPECT_EQ(late.m_time, Utc(2000, 1, 1, 0, 30, 0));

    CGPSData y69("G$GPRMC,000000,A,0,N,0,E,0,0,010169", 0);
    EXPECT_EQ(y69.m_time, Utc(2069, 1, 1, 9, 0, 0));
    CGPSData y70("G$GPRMC,000000,A,0,N,0,E,0,0,010170", 0);
    EXPECT_EQ(y70.m_time, Utc(1970, 1, 1, 9, 0, 0));
}

TEST(GpsFix, RejectsWhatCannotBeReadSafely)
{
    CGPSData fix;
    EXPECT_FALSE(fix.Parse("G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4"));  // nine fields
    EXPECT_FALSE(fix.Parse("G$GPRMC,12351,A,4807.038,N,01131.000,E,022.4,084.4,230394"));
    EXPECT_FALSE(fix.Parse("G$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,2303"));
    EXPECT_FALSE(fix.IsValid());
    EXPECT_EQ(fix.m_hour, 0);  // a failed parse leaves nothing half-filled

    std::string longest(kSample);
    longest += ',';
    longest.resize(1023, '0');
    EXPECT_TRUE(fix.Parse(longest));
    longest += '0';
    EXPECT_FALSE(fix.Parse(longest));
    CGPSData fromPointer(longest.c_str(), 0);
    EXPECT_FALSE(fromPointer.IsValid());

    // Fraction of seconds and trailing fields are ignored; digits stop at a non-digit.
    ASSERT_TRUE(fix.Parse("G$GPRMC,1235x9.250,A,1,N,1,E,1,1,230394"));
    EXPECT_EQ(fix.m_second, 0);
}

TEST(GSensor, BytesAreCentredOn128)
{
    const CGSensorData sample(0x80, 0x7F, 0x81);
    EXPECT_EQ(sample.m_x, 0);
    EXPECT_EQ(sample.m_y, 1);
    EXPECT_EQ(sample.m_z, -1);
    const CGSensorData ends(0x00, 0xFF, 0x1FF);
    EXPECT_EQ(ends.m_x, 128);
    EXPECT_EQ(ends.m_y, -127);
    EXPECT_EQ(ends.m_z, -127);
}

TEST(TextPackets, GpsStoredOnlyWhenValidRmc)
{
    CTelemetryStore store;
    Deliver(store, kSample, 0);
    std::string invalid(kSample);
    invalid[invalid.find(",A,") + 1] = 'V';
    Deliver(store, invalid, 0);
    std::string other(kSample);
    other.replace(2, 5, "GPGGA");
    Deliver(store, other, 0);
    Deliver(store, "G$GPR", 0);
    ASSERT_EQ(store.Samples().GPSCount(), 1);
    CGPSData last;
    ASSERT_TRUE(store.Samples().LastGPS(&last));
    EXPECT_EQ(last.m_hour, 21);
    EXPECT_FALSE(store.Samples().GPSAt(1, &last));
}

TEST(TextPackets, GSensorAtMostOncePerSecond)
{
    CTelemetryStore store;
    const std::string packet = "M\x80\x7F\x81";
    for (int t = 0; t < 1000; t += 100) {
        Deliver(store, packet, t);
    }
    EXPECT_EQ(store.Samples().GSensorCount(), 0);
    for (int t = 1000; t < 3500; t += 100) {
        Deliver(store, packet, t);
        EXPECT_EQ(store.Samples().GSensorCount(), t / 1000) << t;
    }
    CGSensorData sample;
    ASSERT_TRUE(store.Samples().GSensorAt(2, &sample));
    EXPECT_EQ(sample.m_z, -1);

    // A forward seek catches up one packet at a time; a backward one stores nothing.
    Deliver(store, packet, 6000);
    Deliver(store, packet, 6000);
    EXPECT_EQ(store.Samples().GSensorCount(), 5);
    Deliver(store, packet, 2000);
    EXPECT_EQ(store.Samples().GSensorCount(), 5);

    // Axis bytes may be zero; a packet too short for three bytes is dropped.
    const char zeros[] = {'M', 0, 0, 0, 0};
    store.OnTextPacket(zeros, 5, 9000);
    ASSERT_TRUE(store.Samples().GSensorAt(5, &sample));
    EXPECT_EQ(sample.m_x, 128);
    store.OnTextPacket("M\x80", 3, 9000);
    EXPECT_EQ(store.Samples().GSensorCount(), 6);

    store.Samples().Clear();
    EXPECT_EQ(store.Samples().GSensorCount(), 0);
    EXPECT_EQ(store.Samples().GPSCount(), 0);
}

TEST(TextPackets, VehicleSignalLines)
{
    CTelemetryStore store;
    int notices = 0;
    CVehicleSignals::Table handed;
    store.SetSignalsApplied([&](const CVehicleSignals::Table& table) {
        ++notices;
        handed = table;
    });
    const auto snapshot = store.Signals().Snapshot();
    ASSERT_EQ(snapshot.size(), 8u);
    EXPECT_EQ(snapshot.front().first, "rpm");
    EXPECT_EQ(snapshot.back().first, "steer_angle");
    EXPECT_EQ(snapshot[3].first, "Accel");

    Deliver(store, "Bwat=90;TurnSig=-1", 0);
    Deliver(store, "B spd=-5; rpm = 2000", 0);
    EXPECT_EQ(notices, 2);
    EXPECT_EQ(Signal(store, "spd").current, 0);
    EXPECT_EQ(Signal(store, "spd").previous, kSignalAbsent);
    EXPECT_EQ(Signal(store, "rpm").current, 2000);
    EXPECT_EQ(Signal(store, "wat").current, kSignalAbsent);
    EXPECT_EQ(Signal(store, "wat").previous, 90);
    EXPECT_EQ(Signal(store, "TurnSig").previous, -1);
    EXPECT_EQ(Signal(store, "GearPos").current, kSignalAbsent);
    // The notice hands the table as the line left it.
    SignalPair handedRpm;
    ASSERT_TRUE(handed.Lookup("rpm", &handedRpm));
    EXPECT_EQ(handedRpm.current, 2000);
    EXPECT_EQ(handedRpm.previous, kSignalAbsent);
    EXPECT_FALSE(handed.Lookup("RPM", &handedRpm));

    Deliver(store, "Bspd", 0);
    EXPECT_EQ(Signal(store, "spd").current, 0);
    EXPECT_EQ(Signal(store, "rpm").current, kSignalAbsent);
    EXPECT_EQ(Signal(store, "rpm").previous, 2000);

    Deliver(store, "BSPD=30;foo=1;steer_angle=-12x=7;GearPos=abc;;Accel", 0);
    EXPECT_EQ(Signal(store, "spd").current, kSignalAbsent);
    EXPECT_EQ(Signal(store, "steer_angle").current, -12);
    EXPECT_EQ(Signal(store, "GearPos").current, 0);
    EXPECT_EQ(Signal(store, "Accel").current, 0);
    SignalPair pair;
    EXPECT_FALSE(store.Signals().Lookup("SPD", &pair));
    EXPECT_FALSE(store.Signals().Set("foo", 1));
    EXPECT_EQ(store.Signals().Snapshot().size(), 8u);
    EXPECT_EQ(notices, 4);

    Deliver(store, "Brpm=99999999999", 0);
    EXPECT_EQ(Signal(store, "rpm").current, INT32_MAX);
    store.Signals().Reset();
    EXPECT_EQ(Signal(store, "rpm").previous, kSignalAbsent);
    EXPECT_EQ(Signal(store, "rpm").current, kSignalAbsent);
}

TEST(TextPackets, OtherAndEmptyPacketsIgnored)
{
    CTelemetryStore store;
    store.OnTextPacket(nullptr, 10, 5000);
    store.OnTextPacket("", 0, 5000);
    Deliver(store, "X123", 5000);
    CTelemetryStore::TextCallback(&store, "M\x80\x80\x80", 5, 5000);
    CTelemetryStore::TextCallback(nullptr, "M\x80\x80\x80", 5, 5000);
    EXPECT_EQ(store.Samples().GSensorCount(), 1);
    EXPECT_EQ(store.Samples().GPSCount(), 0);
}

// Packets of any bytes and length, not zero-terminated, each in a buffer of exactly its
// size: under ASan a read past the packet fails the test.
TEST(TextPackets, ArbitraryBytesStayInsideThePacket)
{
    CTelemetryStore store;
    std::mt19937 random(1234);
    const std::string alphabet = "GMB,.0123456789AVNSEW=; -";
    for (int i = 0; i < 3000; ++i) {
        const size_t length = random() % 1100;
        std::vector<char> packet(length);
        for (char& c : packet) {
            c = random() % 4 ? alphabet[random() % alphabet.size()] : static_cast<char>(random());
        }
        if (length > 0) {
            packet[0] = "GMBX"[random() % 4];
        }
        if (length > 8 && random() % 2) {
            std::memcpy(packet.data() + 1, "$GPRMC,", 7);
        }
        store.OnTextPacket(packet.data(), static_cast<int>(length), static_cast<int>(random() % 100000));
    }
    EXPECT_LE(store.Samples().GSensorCount(), 100);
}

// One thread delivers packets while another reads; readers must only ever see whole
// samples and whole lines (run under ThreadSanitizer).
TEST(TextPackets, DeliveryAndReadingOnTwoThreads)
{
    CTelemetryStore store;
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 2000; ++i) {
            Deliver(store, kSample, 0);
            Deliver(store, "M\x80\x7F\x81", (i + 1) * 1000);
            Deliver(store, "Brpm=" + std::to_string(i) + ";wat=" + std::to_string(i), 0);
            if (i % 500 == 499) {
                store.Samples().Clear();
            }
        }
        done = true;
    });
    int reads = 0;
    while (!done || reads == 0) {
        CGPSData fix;
        if (store.Samples().LastGPS(&fix)) {
            ASSERT_EQ(fix.m_hour, 21);
            ASSERT_EQ(fix.m_day, 23);
        }
        std::vector<CGSensorData> samples;
        store.Samples().GSensorFrom(0, &samples);
        for (const CGSensorData& s : samples) {
            ASSERT_EQ(s.m_y, 1);
        }
        const auto signals = store.Signals().Snapshot();
        ASSERT_EQ(signals[0].second.current, signals[1].second.current);
        ++reads;
    }
    writer.join();
    EXPECT_EQ(store.Samples().GPSCount(), 0);
}
