// The route reader: which fixes of a recording make the route, at which playback time,
// read through the card library from recordings written packet by packet.
#include "formats/gpstrack.h"
#include "mublib/mublib.h"
#include "tests/mublib/card_fixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kFps = 30;

ScriptPacket Front(int frame)
{
    const bool key = frame % mub::kGopFrames == 0;
    ScriptPacket p;
    p.type = 0;
    p.status = key ? mub::kStatusKey : mub::kStatusVideo;
    p.flag = key ? mub::kPacketFlagKey : 0;
    p.timeMs = static_cast<uint32_t>(frame * 1000 / kFps);
    p.bytes.assign(key ? 4000 : 600, 0x41);
    return p;
}

ScriptPacket Text(const std::string& text, uint32_t timeMs)
{
    return {0, mub::kStatusText, 0, timeMs, std::vector<uint8_t>(text.begin(), text.end())};
}

std::string Rmc(const char* status, const char* lat, const char* ns, const char* lon, const char* ew)
{
    return std::string("G$GPRMC,010203.00,") + status + "," + lat + "," + ns + "," + lon + "," + ew +
           ",010.0,045.0,011226,,,A*00";
}

class GpsTrackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = dir.Path() + "/card";
        MakeCardLayout(root, "map-card");
        ctx = MUB_CreateContext();
        ASSERT_NE(ctx, nullptr);
        MUB_AddCardFolder(ctx, root.c_str());
    }
    void TearDown() override { MUB_ReleaseContext(ctx); }

    // Front frames with the given text records placed after the frame count each names.
    std::string Write(const char* stem, int frames, const std::vector<std::pair<int, std::string>>& texts,
                      bool rear = false)
    {
        std::vector<ScriptPacket> packets;
        size_t next = 0;
        for (int f = 0; f < frames; ++f) {
            while (next < texts.size() && texts[next].first == f) {
                packets.push_back(Text(texts[next].second, static_cast<uint32_t>(f * 1000 / kFps)));
                ++next;
            }
            packets.push_back(Front(f));
            if (rear) {
                ScriptPacket r = Front(f);
                r.type = 1;
                packets.push_back(r);
            }
            if (f % 8 == 0) {
                packets.push_back({0, mub::kStatusAudio, 0, static_cast<uint32_t>(f * 1000 / kFps),
                                   std::vector<uint8_t>(2000, 0)});
            }
        }
        for (; next < texts.size(); ++next) {
            packets.push_back(Text(texts[next].second, static_cast<uint32_t>(frames * 1000 / kFps)));
        }
        auto desc = MakeDescription(1, 'D', kFps, rear);
        desc.durationMs = static_cast<uint32_t>(frames * 1000 / kFps);
        EXPECT_TRUE(WriteScript(mub::RecordingPath(root, 1, stem), desc, packets));
        return std::string(stem) + ".avi";
    }

    CTempDir dir;
    std::string root;
    MUBContext ctx = nullptr;
};

TEST_F(GpsTrackTest, KeepsTheValidMappableFixesAtThePlaybackTimeOfTheirFrame)
{
    const std::string valid = Rmc("A", "3733.9629", "N", "12658.6758", "E");
    const std::vector<std::pair<int, std::string>> texts = {
        {0, valid},                                           // before any frame: time 0
        {15, Rmc("V", "3733.9629", "N", "12658.6758", "E")},  // status V
        {30, Rmc("A", "3733.9629", "S", "12658.6758", "W")},  // southern and western
        {45, "G$GPGGA,010203.00,3733.9629,N,12658.6758,E,1,08,0.9,545.4,M,,,,*47"},
        {60, Rmc("A", "9130.0000", "N", "12658.6758", "E")},  // 91.5 degrees: not on the earth
        {60, Rmc("A", "3733.9629", "N", "18130.0000", "E")},  // 181.5 degrees
        {75, "Bspd=10"},
        {75, "M\x81\x80\x7f"},
        {90, Rmc("A", "", "N", "", "E")},  // empty fields read 0, 0
        {100, valid},
        {120, "G$GPRMC,010203.00,A,3733.9629"},  // too few fields
        {130, valid},                            // after the last frame
    };
    const std::string name = Write("REC_20261201_073000_D", 120, texts);
    GpsTrack track;
    ASSERT_TRUE(ReadGpsTrack(ctx, name, &track));
    EXPECT_EQ(track.frameRate, kFps);
    struct Expected {
        double latitude, longitude;
        int timeMs;
    };
    const Expected expected[] = {
        {37.566048, 126.977930, 0},
        {-37.566048, -126.977930, 1000},
        {37.566048, 126.977930, 3333},
        {37.566048, 126.977930, 4000},
    };
    ASSERT_EQ(track.points.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(track.points[i].latitude, expected[i].latitude, 1e-6);
        EXPECT_NEAR(track.points[i].longitude, expected[i].longitude, 1e-6);
        EXPECT_EQ(track.points[i].timeMs, expected[i].timeMs);
    }
}

TEST_F(GpsTrackTest, RearFramesDoNotCountAndTheNameMayCarryAnIndex)
{
    const std::string valid = Rmc("A", "3733.9629", "N", "12658.6758", "E");
    const std::string name = Write("REC_20261201_080000_D", 90, {{30, valid}, {60, valid}}, true);
    for (const std::string& asked : {name, name + ",0", "  " + name + " 3"}) {
        SCOPED_TRACE(asked);
        GpsTrack track;
        ASSERT_TRUE(ReadGpsTrack(ctx, asked, &track));
        ASSERT_EQ(track.points.size(), 2u);
        EXPECT_EQ(track.points[0].timeMs, 1000);
        EXPECT_EQ(track.points[1].timeMs, 2000);
    }
}

TEST_F(GpsTrackTest, WhatCannotBeReadGivesAnEmptyTrack)
{
    Write("REC_20261201_090000_D", 30, {{0, Rmc("A", "3733.9629", "N", "12658.6758", "E")}});
    for (const char* name :
         {"REC_20261201_090001_D.avi", "not a recording", "", "../REC_20261201_090000_D.avi"}) {
        SCOPED_TRACE(name);
        GpsTrack track;
        track.points.push_back({1, 2, 3});
        EXPECT_FALSE(ReadGpsTrack(ctx, name, &track));
        EXPECT_TRUE(track.points.empty());
    }
    GpsTrack track;
    EXPECT_FALSE(ReadGpsTrack(nullptr, "REC_20261201_090000_D.avi", &track));
}

TEST(DrivenPointCount, CountsThePointsAtOrBeforeThePosition)
{
    GpsTrack track;
    for (int ms : {0, 1000, 2000, 2000, 5000}) {
        track.points.push_back({37.5, 127.0, ms});
    }
    const std::pair<int, int> cases[] = {{-1, 0},   {0, 1},    {999, 1},  {1000, 2},
                                         {2000, 4}, {4999, 4}, {5000, 5}, {90000, 5}};
    for (const auto& [positionMs, count] : cases) {
        EXPECT_EQ(DrivenPointCount(track, positionMs), count) << positionMs;
    }
    EXPECT_EQ(DrivenPointCount(GpsTrack{}, 1000), 0);
}

}  // namespace
