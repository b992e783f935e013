// SPDX-License-Identifier: GPL-3.0-or-later
// The map pages in the web engine, headless: loading from the resources by the language's
// path, the marker, the route, what a page may fetch, and hostile configuration values.
#include "viewer/mapview.h"
#include "formats/gpstrack.h"
#include "mublib/mublib.h"
#include "tests/map/map_support.h"
#include "tests/map/tile_server.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QJsonArray>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <csignal>
#include <memory>

namespace {

using maptest::Eval;

using maptest::State;
using maptest::WaitUntil;

constexpr int kKorean = 0x12;
constexpr int kChinese = 0x04;
constexpr int kJapanese = 0x11;
constexpr int kEnglish = 0x09;
// Nothing listens there: tiles fail at once, and nothing leaves the machine.
const char* const kNoTiles = "http://127.0.0.1:9/{z}/{x}/{y}.png";

CGPSData Fix(const char* status, const char* lat, const char* lon)
{
    return CGPSData(
        (std::string("G$GPRMC,010203.00,") + status + "," + lat + ",N," + lon + ",E,0,0,011226,,,A").c_str());
}

// Keeps a page's requests on this machine, whatever its library would allow.
class LocalOnly : public QWebEngineUrlRequestInterceptor {
public:
    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QString host = info.requestUrl().host();
        if (!host.isEmpty() && host != "127.0.0.1") {
            info.block(true);
        }
    }
};

class MapViewTest : public ::testing::Test {
protected:
    void Make(viewer::MapConfigText text = {}, bool online = true)
    {
        if (text.tileUrl == viewer::kDefaultTileUrl) {
            text.tileUrl = kNoTiles;
        }
        map = std::make_unique<CMapView>();
        map->SetConfig(viewer::ParseMapConfig(text));
        map->SetOnlineCheck([this, online] { return online && !offline; });
        map->resize(320, 180);
        map->show();
    }
    bool Load(int language)
    {
        if (!map->LoadMapPage(language)) {
            return false;
        }
        return WaitUntil([this] { return map->IsPageReady(); });
    }
    QJsonArray Marker() { return State(map.get())["marker"].toArray(); }

    bool offline = false;
    std::unique_ptr<CMapView> map;
};

TEST_F(MapViewTest, EachLanguageLoadsItsPageFromTheResourcesWithoutTheNetwork)
{
    struct Case {
        int language;
        bool written;
        const char* title;
    };
    const Case cases[] = {
        {kKorean, false, "Remove Markers"},
        {kEnglish, false, "Remove Markers"},
        {kJapanese, false, "Remove Markers"},
        {kChinese, true, "Baidu Map"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        Make();
        EXPECT_EQ(map->Url(), QUrl("about:blank"));
        EXPECT_EQ(map->Browser(), nullptr) << "no engine before the first page";
        ASSERT_TRUE(Load(c.language));
        EXPECT_EQ(map->UsedDocumentWrite(), c.written);
        if (c.written) {
            EXPECT_EQ(map->Url(), QUrl("about:blank")) << "written into the blank document";
        } else {
            EXPECT_EQ(map->Url().scheme(), "qrc");
            EXPECT_EQ(map->Url().path(), "/map/195.html");
        }
        ASSERT_TRUE(WaitUntil([&] { return State(map.get())["ready"].toBool(); }));
        const QJsonObject state = State(map.get());
        EXPECT_EQ(state["title"].toString(), c.title);
        EXPECT_EQ(state["library"].toString(), "leaflet");
        EXPECT_EQ(Marker(), QJsonArray({37.5660483, 126.9779299}));
        EXPECT_EQ(Eval(map.get(), "typeof L.version").toString(), "string") << "Leaflet from the resources";
        EXPECT_EQ(Eval(map.get(), "document.querySelectorAll('script[src^=\"http\"]').length").toInt(), 0);
        for (const QString& request : map->NetworkRequests()) {
            EXPECT_TRUE(request.startsWith("http://127.0.0.1:9/")) << request.toStdString() << ": only tiles";
        }
    }
}

TEST_F(MapViewTest, DrawCurrentMovesTheMarkerAndWhatIsNoPositionLeavesIt)
{
    Make();
    ASSERT_TRUE(Load(kKorean));
    struct Step {
        std::function<void()> draw;
        double latitude, longitude;
    };
    const Step steps[] = {
        {[&] { map->DrawCurrent(Fix("A", "3730.0000", "12715.0000")); }, 37.5, 127.25},
        {[&] { map->DrawCurrent(Fix("V", "3600.0000", "12700.0000")); }, 37.5, 127.25},
        {[&] { map->DrawCurrent(Fix("A", "9130.0000", "12700.0000")); }, 37.5, 127.25},
        {[&] { map->DrawCurrent(CGPSData()); }, 37.5, 127.25},
        {[&] { map->RunScript("javascript:DrawCurrent('abc', '127.0')"); }, 37.5, 127.25},
        {[&] { map->RunScript("javascript:DrawCurrent('37.1')"); }, 37.5, 127.25},
        {[&] { map->RunScript("javascript:DrawCurrent('-91', '0')"); }, 37.5, 127.25},
        {[&] { map->RunScript("javascript:DrawCurrent('37.566048', '126.977930')"); }, 37.566048, 126.97793},
        {[&] { map->DrawCurrent(Fix("A", "3733.9629", "12658.6758")); }, 37.566048, 126.97793},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(i);
        steps[i].draw();
        const QJsonArray marker = Marker();
        EXPECT_NEAR(marker[0].toDouble(), steps[i].latitude, 1e-9);
        EXPECT_NEAR(marker[1].toDouble(), steps[i].longitude, 1e-9);
    }
    EXPECT_EQ(maptest::Run(map.get(), "javascript:NoSuchFunction('1')"), "");
    EXPECT_EQ(maptest::Run(map.get(), "no call at all"), "");
}

TEST_F(MapViewTest, TheRouteHasEveryValidFixAndItsDrivenPartFollowsThePosition)
{
    MUBContext ctx = MUB_CreateContext();
    MUB_AddCardFolder(ctx, ROUTE_CARD_DIR);
    uint8_t id = 0;
    MUB_GetCardId(ctx, &id);
    char names[MUB_NAME_SLOT_BYTES * 4] = {};
    uint32_t sizes[8] = {};
    uint32_t extra[4] = {};
    ASSERT_GT(MUB_GetFileList(ctx, id, MUB_CATEGORY_DRIVING, 1, names, sizes, extra), 0);
    GpsTrack track;
    ASSERT_TRUE(ReadGpsTrack(ctx, names, &track));
    MUB_ReleaseContext(ctx);
    ASSERT_GT(track.points.size(), 10u);

    for (int language : {kKorean, kChinese}) {
        SCOPED_TRACE(language);
        Make();
        map->SetRoute(track);  // before the page: drawn once it is ready
        ASSERT_TRUE(Load(language));
        ASSERT_TRUE(WaitUntil([&] { return State(map.get())["route"].toInt() > 0; }));
        EXPECT_EQ(State(map.get())["route"].toInt(), static_cast<int>(track.points.size()));
        EXPECT_EQ(State(map.get())["driven"].toInt(), 0);
        for (int positionMs : {5000, 12000, 3000, 0, 999999}) {
            map->ShowProgress(positionMs);
            EXPECT_EQ(State(map.get())["driven"].toInt(), DrivenPointCount(track, positionMs)) << positionMs;
        }
        map->ClearRoute();
        EXPECT_EQ(State(map.get())["route"].toInt(), 0);
    }
}

TEST_F(MapViewTest, APageWhoseRendererDiesIsLoadedAgainWithItsRoute)
{
    GpsTrack track;
    for (int i = 0; i < 12; ++i) {
        track.points.push_back({37.56 + i * 0.0001, 126.97, i * 1000});
    }
    for (int language : {kKorean, kChinese}) {
        SCOPED_TRACE(language);
        Make();
        map->SetRoute(track);
        ASSERT_TRUE(Load(language));
        ASSERT_TRUE(WaitUntil([&] { return State(map.get())["route"].toInt() == 12; }));
        const qint64 pid = qobject_cast<QWebEngineView*>(map->Browser())->page()->renderProcessPid();
        ASSERT_GT(pid, 0);
        ::kill(static_cast<pid_t>(pid), SIGKILL);
        ASSERT_TRUE(WaitUntil([&] { return !map->IsPageReady(); }));
        ASSERT_TRUE(WaitUntil([&] { return map->IsPageReady(); })) << "loaded again";
        EXPECT_EQ(map->UsedDocumentWrite(), language == kChinese);
        ASSERT_TRUE(WaitUntil([&] { return State(map.get())["route"].toInt() == 12; })) << "with its route";
    }
}

TEST_F(MapViewTest, NothingIsSentBeforeAPageAndNothingLoadsOfflineOrOff)
{
    Make({}, false);
    EXPECT_FALSE(map->LoadMapPage(kKorean));
    bool called = false;
    map->RunScript("javascript:MapState()", [&](const QString& r) {
        called = true;
        EXPECT_EQ(r, "");
    });
    EXPECT_TRUE(called) << "dropped at once";
    map->DrawCurrent(Fix("A", "3730.0000", "12715.0000"));
    map->ShowProgress(1000);
    EXPECT_EQ(map->Browser(), nullptr);
    EXPECT_FALSE(map->PageLoadStarted());

    for (const char* provider : {"off", "nonsense"}) {
        Make({provider});
        EXPECT_FALSE(map->LoadMapPage(kKorean)) << provider;
        EXPECT_FALSE(map->WantsRoute()) << provider;
        EXPECT_EQ(map->Browser(), nullptr) << provider;
    }

    // Offline, then online: the second try loads, and later ones keep that page.
    Make();
    offline = true;
    EXPECT_FALSE(map->LoadMapPage(kKorean));
    EXPECT_EQ(map->Browser(), nullptr);
    offline = false;
    ASSERT_TRUE(Load(kKorean));
    const QUrl page = map->Url();
    offline = true;
    EXPECT_TRUE(map->LoadMapPage(kChinese));
    EXPECT_EQ(map->Url(), page);
}

TEST_F(MapViewTest, HostileKeysAndAttributionStayText)
{
    const std::string hostile =
        "k\"'</script><script>window.pwned=1</script><img src=x onerror=\"window.pwned=2\">";
    struct Case {
        viewer::MapConfigText text;
        int language;
        const char* scriptPrefix;  // the provider's script, or "" for none
    };
    const Case cases[] = {
        {{"google", hostile}, kKorean, "https://maps.googleapis.com/maps/api/js?v=3.exp&sensor=false&key="},
        {{"google", hostile}, kChinese, "https://maps.googleapis.com/maps/api/js?v=3.exp&sensor=false&key="},
        {{"baidu", "", hostile}, kChinese, "https://api.map.baidu.com/api?v=2.0&ak="},
        {{"auto", "", "", viewer::kDefaultTileUrl, hostile}, kKorean, ""},
        {{"auto", "", "", viewer::kDefaultTileUrl, hostile}, kChinese, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.provider + " " + std::to_string(c.language));
        Make(c.text);
        ASSERT_TRUE(map->LoadMapPage(c.language));
        LocalOnly localOnly;
        qobject_cast<QWebEngineView*>(map->Browser())
            ->page()
            ->profile()
            ->setUrlRequestInterceptor(&localOnly);
        ASSERT_TRUE(WaitUntil([&] { return map->IsPageReady(); }));
        maptest::Pump(300);
        EXPECT_EQ(Eval(map.get(), "typeof window.pwned").toString(), "undefined");
        const QStringList scripts = Eval(map.get(),
                                         "Array.from(document.scripts).map(function (s) { return s.src; })"
                                         ".filter(function (s) { return s.indexOf('http') === 0; })")
                                        .toStringList();
        if (*c.scriptPrefix == '\0') {
            EXPECT_TRUE(scripts.isEmpty()) << scripts.join(' ').toStdString();
            const QString shown =
                Eval(map.get(), "document.querySelector('.leaflet-control-attribution').textContent")
                    .toString();
            EXPECT_EQ(shown.toStdString(), hostile) << "shown as the text it is";
            EXPECT_EQ(
                Eval(map.get(), "document.querySelectorAll('.leaflet-control-attribution *').length").toInt(),
                0);
        } else {
            ASSERT_EQ(scripts.size(), 1) << scripts.join(' ').toStdString();
            EXPECT_TRUE(scripts[0].startsWith(c.scriptPrefix)) << scripts[0].toStdString();
            EXPECT_FALSE(scripts[0].contains('<') || scripts[0].contains('"')) << scripts[0].toStdString();
            const QString key = Eval(map.get(),
                                     "(function () { var u = new URL(document.querySelector("
                                     "'script[src^=\"https\"]').src); return u.searchParams.get('key')"
                                     " || u.searchParams.get('ak'); })()")
                                    .toString();
            EXPECT_EQ(key.toStdString(), hostile) << "the whole key, as one parameter";
        }
        qobject_cast<QWebEngineView*>(map->Browser())->page()->profile()->setUrlRequestInterceptor(nullptr);
        map.reset();
    }
}

TEST_F(MapViewTest, TilesFromALocalServerShowUnderTheRouteAndTheMarker)
{
    CTileServer server;
    ASSERT_TRUE(server.Listening());
    viewer::MapConfigText text;
    text.tileUrl = server.TileUrl().toStdString();
    text.attribution = "test tiles";
    Make(text);
    map->resize(640, 360);
    GpsTrack track;
    // Northward from the start, then east: about 600 m, within the view at zoom 16.
    for (int i = 0; i <= 40; ++i) {
        const double north = std::min(i, 20) * 0.0001;
        const double east = std::max(0, i - 20) * 0.00012;
        track.points.push_back({37.5645 + north, 126.9760 + east, i * 1000});
    }
    map->SetRoute(track);
    ASSERT_TRUE(Load(kKorean));
    map->ShowProgress(25000);
    map->DrawCurrent(Fix("A", "3734.0100", "12658.6920"));  // 37.566833, 126.978200
    ASSERT_TRUE(WaitUntil([&] { return server.Served().size() >= 4; })) << "tiles were asked for";
    maptest::Pump(1500);  // the pan and the tiles settle

    const QImage shot = map->grab().toImage();
    const QString file = QString(MUB_BINARY_DIR) + "/tests/map/map-tiles.png";
    shot.save(file);
    int tile = 0, route = 0, driven = 0, marker = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            tile += c.rgb() == QColor::fromRgb(CTileServer::kTileColour).rgb();
            route += c.blue() > 200 && c.red() < 110 && c.green() < 140;                     // #1f5fff
            driven += c.red() > 200 && c.green() < 90 && c.blue() < 90;                      // #ff2a1a
            marker += c.blue() > 150 && c.red() < 80 && c.green() > 100 && c.green() < 160;  // the pin
        }
    }
    const int area = shot.width() * shot.height();
    EXPECT_GT(tile, area / 3) << "the local tiles fill the map (" << file.toStdString() << ")";
    EXPECT_GT(route, 200) << "the route is drawn over them";
    EXPECT_GT(driven, 200) << "and its driven part";
    EXPECT_GT(marker, 50) << "and the marker";
    for (const QString& request : map->NetworkRequests()) {
        EXPECT_TRUE(request.startsWith("http://127.0.0.1:")) << request.toStdString();
    }
}

}  // namespace
