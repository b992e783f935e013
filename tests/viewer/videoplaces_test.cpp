// The video places without a window: the commands, the layout they lead to, the
// full-screen rectangle, the layout tables and the magnifier's source rectangle.
#include "viewer/videoplaces.h"
#include "viewer/mainwindow.h"
#include "viewer/windowlayout.h"
#include "viewer/zoomdlg.h"

#include <gtest/gtest.h>
#include <map>
#include <random>
#include <vector>

namespace viewer {
std::ostream& operator<<(std::ostream& os, const VideoPlaces& p)
{
    return os << "{front " << p.front << ", rear " << p.rear << ", map " << p.map << "}";
}
}  // namespace viewer

using namespace viewer;

namespace {

constexpr int N = kPlaceNone;
constexpr int M = kPlaceMain;
constexpr int S = kPlaceSide;

constexpr ChannelSet kOne{1, false};      // N
constexpr ChannelSet kTwo{2, false};      // D: front and rear
constexpr ChannelSet kTwoThird{2, true};  // E: front and third
constexpr ChannelSet kThree{3, true};     // T

const char* Name(ChannelSet c)
{
    return c.count == 1 ? "n=1" : c.count == 3 ? "n=3" : c.extra ? "n=2 e=1" : "n=2 e=0";
}

}  // namespace

TEST(FullScreenRect, FromTheClientSize)
{
    struct Case {
        int W, H;
        QRect expected;
    };
    const Case cases[] = {
        {1920, 1080, {112, 40, 1696, 896}},  // h 900, w 1701 fit in 1900; both down to 8s
        {2048, 1260, {0, 40, 2048, 1080}},   // large enough for the native size
        {2560, 1440, {256, 128, 2048, 1080}},
        {2048, 1080, {176, 40, 1696, 896}},  // wide enough, too low
        {1280, 720, {128, 40, 1016, 536}},   // no step down needed
        {1366, 768, {128, 40, 1104, 584}},
        {800, 600, {16, 40, 768, 408}},
        {100, 100, {48, 0, 0, 0}},  // too small for a picture: nothing negative
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FullScreenPictureRect(c.W, c.H), c.expected) << c.W << "x" << c.H;
    }
}

TEST(VideoPlaces, OpeningPutsFrontMainAndRearSideWhenThereIsOne)
{
    EXPECT_EQ(OpenedPlaces(kOne), (VideoPlaces{M, N, N}));
    EXPECT_EQ(OpenedPlaces(kTwo), (VideoPlaces{M, S, N}));
    EXPECT_EQ(OpenedPlaces(kTwoThird), (VideoPlaces{M, N, N}));
    EXPECT_EQ(OpenedPlaces(kThree), (VideoPlaces{M, S, N}));
}

TEST(VideoPlaces, SwapTable)
{
    struct Case {
        VideoPlaces before, after;
    };
    const Case cases[] = {
        // map hidden: front and rear trade places
        {{M, S, N}, {S, M, N}},
        {{M, N, N}, {S, M, N}},
        {{S, M, N}, {M, S, N}},
        // map main: the channel in the side place changes
        {{S, N, M}, {N, S, M}},
        {{N, S, M}, {S, N, M}},
        // map side: the channel in the main place changes
        {{M, N, S}, {N, M, S}},
        {{N, M, S}, {M, N, S}},
        // anything else stays
        {{N, N, N}, {N, N, N}},
        {{N, N, M}, {N, N, M}},
        {{N, N, S}, {N, N, S}},
    };
    for (const Case& c : cases) {
        VideoPlaces p = c.before;
        SwapChannels(&p);
        EXPECT_EQ(p, c.after) << "from " << c.before;
    }
}

TEST(VideoPlaces, ViewCommandsByChannels)
{
    enum Command { kViewMap, kViewTwo, kEnlarge };
    struct Case {
        ChannelSet channels;
        Command command;
        VideoPlaces before;
        bool applies;
        VideoPlaces after;
    };
    const Case cases[] = {
        // one channel: the view boxes do nothing; enlarge trades the front picture and the map
        {kOne, kViewMap, {M, N, N}, false, {M, N, N}},
        {kOne, kViewTwo, {M, N, N}, false, {M, N, N}},
        {kOne, kEnlarge, {M, N, N}, true, {S, N, M}},
        {kOne, kEnlarge, {S, N, M}, true, {M, N, S}},
        {kOne, kEnlarge, {M, N, S}, true, {S, N, M}},
        // front and rear
        {kTwo, kViewMap, {M, S, N}, true, {M, N, S}},
        {kTwo, kViewMap, {S, M, N}, true, {N, M, S}},
        {kTwo, kViewMap, {S, N, M}, true, {N, S, M}},
        {kTwo, kViewTwo, {M, N, S}, true, {M, S, N}},
        {kTwo, kViewTwo, {N, M, S}, true, {S, M, N}},
        {kTwo, kViewTwo, {S, N, M}, true, {M, S, N}},
        {kTwo, kEnlarge, {M, S, N}, true, {S, N, M}},
        {kTwo, kEnlarge, {S, M, N}, true, {N, S, M}},
        {kTwo, kEnlarge, {S, N, M}, true, {M, N, S}},
        {kTwo, kEnlarge, {N, S, M}, true, {N, M, S}},
        {kTwo, kEnlarge, {M, N, S}, true, {S, N, M}},
        // front and third (E): the map may show beside the front, nothing else applies
        {kTwoThird, kViewMap, {M, N, N}, true, {M, N, S}},
        {kTwoThird, kViewTwo, {M, N, S}, false, {M, N, S}},
        {kTwoThird, kEnlarge, {M, N, N}, false, {M, N, N}},
        {kTwoThird, kEnlarge, {M, N, S}, false, {M, N, S}},
        // all three: as front and rear
        {kThree, kViewMap, {M, S, N}, true, {M, N, S}},
        {kThree, kViewTwo, {M, N, S}, true, {M, S, N}},
        {kThree, kEnlarge, {M, S, N}, true, {S, N, M}},
        {kThree, kEnlarge, {S, N, M}, true, {M, N, S}},
    };
    for (const Case& c : cases) {
        VideoPlaces p = c.before;
        bool applied = false;
        switch (c.command) {
            case kViewMap:
                applied = ViewMap(&p, c.channels);
                break;
            case kViewTwo:
                applied = ViewTwo(&p, c.channels);
                break;
            case kEnlarge:
                applied = MapEnlarge(&p, c.channels);
                break;
        }
        SCOPED_TRACE(testing::Message()
                     << Name(c.channels) << ", command " << c.command << ", from " << c.before);
        EXPECT_EQ(applied, c.applies);
        EXPECT_EQ(p, c.after);
    }
}

TEST(VideoLayout, NormalLayoutPlacesPicturesMapAndBoxes)
{
    const QRect full(112, 40, 1696, 896);
    struct Case {
        ChannelSet channels;
        VideoPlaces places;
        std::optional<QRect> front, rear, map;  // shown there; no value: hidden
        std::optional<bool> viewTwo;
        bool viewMap;
    };
    const Case cases[] = {
        {kTwo, {M, S, N}, kMainPlace, kSidePlaceRear, {}, true, false},
        {kTwo, {S, M, N}, kSidePlace, kMainPlace, {}, true, false},
        {kTwo, {M, N, S}, kMainPlace, {}, kSidePlace, false, true},
        {kTwo, {S, N, M}, kSidePlace, {}, kMainPlace, true, false},
        {kTwo, {N, S, M}, {}, kSidePlaceRear, kMainPlace, false, true},
        // one channel after enlarge map: front and map trade places
        {kOne, {S, N, M}, kSidePlace, {}, kMainPlace, true, false},
        {kOne, {M, N, S}, kMainPlace, {}, kSidePlace, {}, true},
        // E: never a rear picture
        {kTwoThird, {M, N, N}, kMainPlace, {}, {}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << Name(c.channels) << " " << c.places);
        const VideoLayout l = PlanVideoLayout(c.places, c.channels, true, kLayoutNormal, full);
        const auto check = [](const Placement& got, const std::optional<QRect>& want, const char* what) {
            EXPECT_EQ(got.shown, want.has_value()) << what;
            if (want) {
                EXPECT_EQ(got.rect, want) << what;
            }
        };
        check(l.front, c.front, "front");
        check(l.rear, c.rear, "rear");
        check(l.map, c.map, "map");
        EXPECT_FALSE(l.third.shown);
        EXPECT_EQ(l.viewTwoChecked, c.viewTwo);
        EXPECT_EQ(l.viewMapChecked, c.viewMap);
    }
}

TEST(VideoLayout, ButtonsByChannels)
{
    struct Case {
        ChannelSet channels;
        int mode;
        std::optional<bool> swap;
        bool boxesDisabled;
        bool third;
    };
    const Case cases[] = {
        {kOne, kLayoutNormal, false, true, false},      {kTwo, kLayoutNormal, true, false, false},
        {kTwoThird, kLayoutNormal, false, false, true}, {kThree, kLayoutNormal, true, false, true},
        {kOne, kLayoutFull, false, true, false},        {kTwoThird, kLayoutFull, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << Name(c.channels) << " mode " << c.mode);
        const VideoLayout l = PlanVideoLayout(OpenedPlaces(c.channels), c.channels, true, c.mode, {});
        EXPECT_EQ(l.swapEnabled, c.swap);
        EXPECT_EQ(l.viewBoxesDisabled, c.boxesDisabled);
        EXPECT_EQ(l.thirdAvailable, c.third);
    }
}

// E: swap changes the places, enlarge map and box 402 do nothing, CH3 is available; in full
// screen the front picture shows whichever way the places were swapped.
TEST(VideoLayout, FrontAndThirdOnly)
{
    VideoPlaces p = OpenedPlaces(kTwoThird);
    SwapChannels(&p);
    EXPECT_EQ(p, (VideoPlaces{S, M, N}));
    EXPECT_FALSE(MapEnlarge(&p, kTwoThird));
    EXPECT_FALSE(ViewTwo(&p, kTwoThird));
    EXPECT_EQ(p, (VideoPlaces{S, M, N}));
    const QRect full(112, 40, 1696, 896);
    const VideoLayout l = PlanVideoLayout(p, kTwoThird, true, kLayoutFull, full);
    EXPECT_TRUE(l.thirdAvailable);
    EXPECT_TRUE(l.front.shown);
    EXPECT_FALSE(l.rear.shown);
    EXPECT_EQ(l.front.rect, full);
    EXPECT_FALSE(l.map.shown);
}

TEST(VideoLayout, FullScreenShowsTheMainChannelOnly)
{
    const QRect full(112, 40, 1696, 896);
    for (const VideoPlaces& p : {VideoPlaces{M, S, N}, VideoPlaces{S, M, N}, VideoPlaces{N, M, S}}) {
        const VideoLayout l = PlanVideoLayout(p, kThree, true, kLayoutFull, full);
        EXPECT_EQ(l.front.shown, p.front == M) << p;
        EXPECT_EQ(l.rear.shown, p.rear == M) << p;
        EXPECT_FALSE(l.third.shown);
        EXPECT_FALSE(l.map.shown);
        for (const Placement* picture : {&l.front, &l.rear, &l.third}) {
            EXPECT_EQ(picture->rect, full);
        }
    }
}

// Whatever the user does, a recording without GPS samples never shows the map beside the
// main picture (nor leaves it over the main one after the map went back to the side).
TEST(VideoLayout, NoGpsNeverShowsTheMapInTheSidePlace)
{
    std::mt19937 random(7);
    for (ChannelSet channels : {kOne, kTwo, kTwoThird, kThree}) {
        VideoPlaces p = OpenedPlaces(channels);
        for (int step = 0; step < 200; ++step) {
            switch (random() % 4) {
                case 0:
                    SwapChannels(&p);
                    break;
                case 1:
                    ViewMap(&p, channels);
                    break;
                case 2:
                    ViewTwo(&p, channels);
                    break;
                default:
                    MapEnlarge(&p, channels);
                    break;
            }
            const VideoLayout l = PlanVideoLayout(p, channels, false, kLayoutNormal, {});
            ASSERT_FALSE(l.map.shown && l.map.rect == kSidePlace) << Name(channels) << " " << p;
            ASSERT_EQ(l.map.shown, p.map == M) << Name(channels) << " " << p;
        }
    }
}

TEST(WindowLayout, ShownControlsFitTheClientAndDoNotOverlap)
{
    struct Case {
        int mode;
        QSize client;
    };
    const Case cases[] = {{kLayoutNormal, {975, 736}},
                          {kLayoutFull, {1024, 768}},
                          {kLayoutFull, {1920, 1080}},
                          {kLayoutFull, {2560, 1440}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "mode " << c.mode << " " << c.client.width() << "x" << c.client.height());
        const QRect full = FullScreenPictureRect(c.client.width(), c.client.height());
        std::map<int, QRect> placed;
        for (const LayoutEntry& e : WindowLayoutTable(c.mode)) {
            EXPECT_EQ(placed.count(e.id), 0u) << "listed twice: " << e.id;
            if (e.geometry == Geometry::Fixed && e.shown != Shown::No) {
                placed[e.id] = PlaceOf(e, c.client, full);
            }
        }
        const QRect client(QPoint(0, 0), c.client);
        for (const auto& [id, rect] : placed) {
            EXPECT_TRUE(client.contains(rect)) << id;
            EXPECT_FALSE(rect.intersects(full) && c.mode == kLayoutFull) << id << " covers the picture";
            for (const auto& [other, otherRect] : placed) {
                // Neighbours share a border of a pixel or two; PLAY and Pause share a place
                // (one of them shows); the time slider's track ends under the total time.
                const QRect both = rect.intersected(otherRect);
                const bool border = both.width() <= 2 || both.height() <= 2;
                const bool meant = (id == IDC_PLAY && other == IDC_PAUSE) ||
                                   (id == IDC_POSITION && other == IDC_TOTALTIME && c.mode == kLayoutNormal);
                if (id < other && !both.isEmpty()) {
                    EXPECT_TRUE(border || meant) << id << " and " << other;
                }
            }
        }
    }
}

TEST(WindowLayout, FullScreenHidesTheNormalOnlyControlsAndShowsRestore)
{
    std::map<int, Shown> full;
    for (const LayoutEntry& e : WindowLayoutTable(kLayoutFull)) {
        full[e.id] = e.shown;
    }
    const int hidden[] = {IDC_LIST,        IDC_FULLSCREEN, IDC_ZOOM,  IDC_VIEW_MAP, IDC_VIEW_TWO,
                          IDC_MAP_ENLARGE, IDC_OPEN,       IDC_GRAPH, IDC_SIG_TURN, 801};
    for (int id : hidden) {
        EXPECT_EQ(full[id], Shown::No) << id;
    }
    EXPECT_EQ(full[IDC_RESTORE], Shown::Yes);
    EXPECT_EQ(full[IDC_CH3], Shown::Yes);
    // Every control the normal layout shows is placed or hidden by the full one.
    for (const LayoutEntry& e : WindowLayoutTable(kLayoutNormal)) {
        EXPECT_EQ(full.count(e.id), 1u) << e.id;
    }
    EXPECT_EQ(PlaceOf(WindowLayoutTable(kLayoutFull)[1], {1920, 1080}, {112, 40, 1696, 896}),
              QRect(112, 40, 1696, 896));
}

TEST(Zoom, TheScreenIsReadExceptOnWayland)
{
    for (const char* name : {"xcb", "offscreen", "windows", "cocoa"}) {
        EXPECT_TRUE(ScreenIsReadable(name)) << name;
    }
    for (const char* name : {"wayland", "wayland-egl", "wayland-brcm"}) {
        EXPECT_FALSE(ScreenIsReadable(name)) << name;
    }
}

TEST(Zoom, SourceIsHalfTheClientAroundThePointerInsideTheScreen)
{
    const QRect screen(0, 0, 1920, 1080);
    const QRect second(1920, 0, 1280, 1024);
    struct Case {
        QPoint pointer;
        QSize client;
        QRect screen;
        QRect expected;
    };
    const Case cases[] = {
        {{960, 540}, {425, 330}, screen, {854, 458, 212, 165}},
        {{5, 5}, {425, 330}, screen, {0, 0, 212, 165}},
        {{1919, 1079}, {425, 330}, screen, {1708, 915, 212, 165}},
        {{1925, 10}, {400, 300}, second, {1920, 0, 200, 150}},  // the second screen's corner
        {{10, 10}, {5000, 3000}, screen, {0, 0, 1920, 1080}},   // larger than the screen
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ZoomSourceRect(c.pointer, c.client, 2, c.screen), c.expected)
            << c.pointer.x() << "," << c.pointer.y();
    }
}
