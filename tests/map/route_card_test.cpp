// The sample card's drive, read back from a card mubcard wrote: the route reader keeps
// every fix the telemetry store keeps, and the car drives real-looking roads at the speed
// it reports.
#include "formats/gpstrack.h"
#include "formats/telemetry.h"
#include "mublib/mub_card.h"
#include "mublib/mub_container.h"
#include "mublib/mublib.h"
#include "tools/mubcard/road_route.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEarthRadiusMetres = 6371000.0;

double Radians(double degrees)
{
    return degrees * kPi / 180.0;
}

double HaversineMetres(double lat1, double lon1, double lat2, double lon2)
{
    const double dLat = Radians(lat2 - lat1);
    const double dLon = Radians(lon2 - lon1);
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) + std::cos(Radians(lat1)) *
                                                                   std::cos(Radians(lat2)) *
                                                                   std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthRadiusMetres * std::asin(std::sqrt(a));
}

double BearingDegrees(double lat1, double lon1, double lat2, double lon2)
{
    const double y = std::sin(Radians(lon2 - lon1)) * std::cos(Radians(lat2));
    const double x = std::cos(Radians(lat1)) * std::sin(Radians(lat2)) -
                     std::sin(Radians(lat1)) * std::cos(Radians(lat2)) * std::cos(Radians(lon2 - lon1));
    return std::fmod(std::atan2(y, x) * 180.0 / kPi + 360.0, 360.0);
}

double AngleBetween(double a, double b)
{
    return std::fabs(std::fmod(b - a + 540.0, 360.0) - 180.0);
}

struct Recording {
    std::string name;
    int category = 0;
    std::vector<CGPSData> fixes;  // as the telemetry store keeps them
};

// Every recording of the card, oldest first, with the fixes the store keeps.
std::vector<Recording> ReadCard(const std::string& root)
{
    std::vector<Recording> out;
    for (int category = 0; category < 4; ++category) {
        for (const mub::ListEntry& entry : mub::ListCategory(root, category)) {
            Recording r;
            r.name = entry.stem + ".avi";
            r.category = category;
            auto source = std::make_unique<mub::CMubFileSource>();
            mub::CMubReader reader;
            if (!source->Open(entry.path) || !reader.Open(std::move(source))) {
                ADD_FAILURE() << entry.path;
                continue;
            }
            CTelemetryStore store;
            std::vector<char> buffer(0x200000);
            mub::PacketInfo info;
            for (mub::ReadResult result;
                 (result = reader.Next(buffer.data(), buffer.size() - 1, &info)) != mub::ReadResult::kEnd &&
                 result != mub::ReadResult::kError;) {
                if (result == mub::ReadResult::kOk && info.status == mub::kStatusText) {
                    buffer[info.length] = 0;
                    store.OnTextPacket(buffer.data(), static_cast<int>(info.length) + 1,
                                       static_cast<int>(info.timeMs));
                }
            }
            for (int i = 0; i < store.Samples().GPSCount(); ++i) {
                CGPSData fix;
                store.Samples().GPSAt(i, &fix);
                r.fixes.push_back(fix);
            }
            out.push_back(std::move(r));
        }
    }
    std::sort(out.begin(), out.end(), [](const Recording& a, const Recording& b) {
        return a.name.substr(a.name.find('_')) < b.name.substr(b.name.find('_'));
    });
    return out;
}

class RouteCard : public ::testing::Test {
protected:
    static void SetUpTestSuite() { recordings = new std::vector<Recording>(ReadCard(ROUTE_CARD_DIR)); }
    static void TearDownTestSuite()
    {
        delete recordings;
        recordings = nullptr;
    }
    static std::vector<Recording>* recordings;
};
std::vector<Recording>* RouteCard::recordings = nullptr;

TEST_F(RouteCard, TheRouteReaderKeepsEveryFixTheStoreKeeps)
{
    ASSERT_FALSE(recordings->empty());
    MUBContext ctx = MUB_CreateContext();
    MUB_AddCardFolder(ctx, ROUTE_CARD_DIR);
    for (const Recording& r : *recordings) {
        SCOPED_TRACE(r.name);
        GpsTrack track;
        ASSERT_TRUE(ReadGpsTrack(ctx, r.name, &track));
        ASSERT_EQ(track.points.size(), r.fixes.size());
        for (size_t i = 0; i < track.points.size(); ++i) {
            EXPECT_DOUBLE_EQ(track.points[i].latitude, r.fixes[i].Latitude());
            EXPECT_DOUBLE_EQ(track.points[i].longitude, r.fixes[i].Longitude());
            if (i > 0) {
                EXPECT_GE(track.points[i].timeMs, track.points[i - 1].timeMs);
            }
        }
    }
    MUB_ReleaseContext(ctx);
}

TEST_F(RouteCard, TheCarDrivesTheRoadAtTheSpeedItReports)
{
    const CRoadRoute road;
    double totalMetres = 0;
    double totalTurnDegrees = 0;
    double fastestKmh = 0;
    int longestStopSeconds = 0;
    for (const Recording& r : *recordings) {
        SCOPED_TRACE(r.name);
        int stopSeconds = 0;
        for (size_t i = 0; i < r.fixes.size(); ++i) {
            const CGPSData& b = r.fixes[i];
            EXPECT_LT(road.DistanceToRoad(b.Latitude(), b.Longitude()), 3.0)
                << "fix " << i << " is off the road";
            fastestKmh = std::max(fastestKmh, b.Speed());
            // Parked cars and the stop after an event's braking are not waits at a light.
            const bool driving = r.category == MUB_CATEGORY_DRIVING || r.category == MUB_CATEGORY_MANUAL;
            stopSeconds = driving && b.Speed() < 0.5 ? stopSeconds + 1 : 0;
            longestStopSeconds = std::max(longestStopSeconds, stopSeconds);
            if (i == 0) {
                continue;
            }
            const CGPSData& a = r.fixes[i - 1];
            ASSERT_EQ(b.m_time - a.m_time, 1) << "fixes come once a second";
            const double metres = HaversineMetres(a.Latitude(), a.Longitude(), b.Latitude(), b.Longitude());
            const double expected = (a.Speed() + b.Speed()) / 2 / 3.6;
            EXPECT_NEAR(metres, expected, 1.0 + 0.05 * expected) << "fix " << i;
            totalMetres += metres;
            if (metres > 5) {
                const double bearing =
                    BearingDegrees(a.Latitude(), a.Longitude(), b.Latitude(), b.Longitude());
                EXPECT_LT(AngleBetween(bearing, b.m_course), 30.0) << "fix " << i;
                totalTurnDegrees += AngleBetween(a.m_course, b.m_course);
            }
        }
    }
    EXPECT_GT(totalMetres, 2000.0) << "a few kilometres over the card";
    EXPECT_LT(fastestKmh, 65.0) << "city streets";
    EXPECT_GT(totalTurnDegrees, 180.0) << "it turns corners";
    EXPECT_GE(longestStopSeconds, 5) << "it waits at a red light";
    std::printf("route card: %.0f m driven, %.0f degrees turned, fastest %.0f km/h, longest stop %d s\n",
                totalMetres, totalTurnDegrees, fastestKmh, longestStopSeconds);
}

}  // namespace
