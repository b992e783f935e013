// The map's rules without a browser: the configuration, which page with which library,
// and the text that goes into a page.
#include "viewer/mapconfig.h"
#include "viewer/mapscript.h"
#include "viewer/viewerconfig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using viewer::MapConfig;
using viewer::MapConfigText;
using viewer::MapLibrary;
using viewer::MapProvider;

constexpr int kKorean = 0x12;
constexpr int kChinese = 0x04;
constexpr int kEnglish = 0x09;

TEST(MapConfig, ValuesAndTheirProblems)
{
    struct Case {
        MapConfigText text;
        MapProvider provider;
        const char* problem;  // a part of the line, or "" for none
    };
    const std::string tiles = viewer::kDefaultTileUrl;
    const Case cases[] = {
        {{}, MapProvider::kAuto, ""},
        {{"AUTO"}, MapProvider::kAuto, ""},
        {{"osm"}, MapProvider::kOsm, ""},
        {{"Google", "k1"}, MapProvider::kGoogle, ""},
        {{"baidu", "", "k2"}, MapProvider::kBaidu, ""},
        {{"off"}, MapProvider::kOff, ""},
        {{"off", "", "", "not a url"}, MapProvider::kOff, ""},  // nothing is ever loaded
        {{"bing"}, MapProvider::kAuto, "\"provider\" is \"bing\""},
        {{"google"}, MapProvider::kGoogle, "needs \"google_key\""},
        {{"baidu", "k1"}, MapProvider::kBaidu, "needs \"baidu_key\""},
        {{"", "", "", "http://127.0.0.1:8080/{z}/{x}/{y}.png"}, MapProvider::kAuto, ""},
        {{"", "", "", "https://{s}.tiles.example/{z}/{x}/{y}{r}.png"}, MapProvider::kAuto, ""},
        {{"", "", "", "ftp://tiles.example/{z}/{x}/{y}.png"}, MapProvider::kAuto, "http:// or https://"},
        {{"", "", "", ""}, MapProvider::kAuto, "http:// or https://"},
        {{"", "", "", "https:///{z}/{x}/{y}.png"}, MapProvider::kAuto, "names no server"},
        {{"", "", "", "https://tiles.example/{z}/{x}.png"}, MapProvider::kAuto, "lacks {y}"},
        {{"", "", "", "https://tiles.example/{z}/{x}/{y}.png?key={apikey}"},
         MapProvider::kAuto,
         "placeholder"},
        {{"", "", "", "https://tiles.example/{z}/{x}/{y}.png\"onerror=\""}, MapProvider::kAuto, "character"},
        {{"", "", "", "https://tiles.example/{z}/{x}/{y}.png</script>"}, MapProvider::kAuto, "character"},
        {{"bing", "", "", "ftp://x/{z}/{x}/{y}"}, MapProvider::kAuto, "\"provider\" is \"bing\", not auto"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.provider + " | " + c.text.tileUrl);
        const MapConfig config = viewer::ParseMapConfig(c.text);
        EXPECT_EQ(config.provider, c.provider);
        if (*c.problem == '\0') {
            EXPECT_EQ(config.problem, "");
        } else {
            EXPECT_NE(config.problem.find(c.problem), std::string::npos) << config.problem;
            EXPECT_EQ(config.problem.find('\n'), std::string::npos) << "one line";
            EXPECT_EQ(viewer::ChooseMapPage(config, kKorean).resourceId, 0) << "the map stays blank";
        }
    }
}

TEST(MapConfig, ReadFromTheMapSectionOfTheConfigurationFile)
{
    const std::filesystem::path folder = std::filesystem::temp_directory_path() / "map_config_test";
    std::filesystem::create_directories(folder);
    const std::string file = viewer::ConfigFilePath(folder.string());
    {
        std::ofstream out(file);
        out << "[config]\nvolume=40\n[map]\nprovider = osm\ngoogle_key = a'b\"c</script>\n"
               "tile_url=http://127.0.0.1:1/{z}/{x}/{y}.png\nattribution=\n";
    }
    ::unsetenv("MUB_MAP_PROVIDER");
    MapConfig config = viewer::LoadMapConfig(folder.string());
    EXPECT_EQ(config.provider, MapProvider::kOsm);
    EXPECT_EQ(config.googleKey, "a'b\"c</script>");
    EXPECT_EQ(config.baiduKey, "");
    EXPECT_EQ(config.tileUrl, "http://127.0.0.1:1/{z}/{x}/{y}.png");
    EXPECT_EQ(config.attribution, "") << "set empty, so none is shown";
    EXPECT_EQ(config.problem, "");

    ::setenv("MUB_MAP_PROVIDER", "off", 1);
    EXPECT_EQ(viewer::LoadMapConfig(folder.string()).provider, MapProvider::kOff);
    ::unsetenv("MUB_MAP_PROVIDER");

    {
        std::ofstream out(file);
        out << "[map]\ngoogle_key=" << std::string(5000, 'k') << "\n";
    }
    config = viewer::LoadMapConfig(folder.string());
    EXPECT_NE(config.problem.find("longer than"), std::string::npos) << config.problem;

    std::filesystem::remove(file);
    config = viewer::LoadMapConfig(folder.string());
    EXPECT_EQ(config.provider, MapProvider::kAuto) << "no file: the defaults";
    EXPECT_EQ(config.tileUrl, viewer::kDefaultTileUrl);
    EXPECT_EQ(config.attribution, viewer::kDefaultAttribution);
    std::filesystem::remove_all(folder);
}

TEST(MapConfig, ThePageFollowsTheLanguageAndTheLibraryTheProviderAndKeys)
{
    struct Case {
        MapConfigText text;
        int language;
        int resourceId;
        MapLibrary library;
    };
    const Case cases[] = {
        {{}, kKorean, 195, MapLibrary::kLeaflet},
        {{}, kEnglish, 195, MapLibrary::kLeaflet},
        {{}, 0, 195, MapLibrary::kLeaflet},
        {{}, kChinese, 358, MapLibrary::kLeaflet},
        {{"", "g"}, kKorean, 195, MapLibrary::kGoogle},
        {{"", "g"}, kChinese, 358, MapLibrary::kLeaflet},
        {{"", "", "b"}, kChinese, 358, MapLibrary::kBaidu},
        {{"", "", "b"}, kKorean, 195, MapLibrary::kLeaflet},
        {{"osm", "g", "b"}, kKorean, 195, MapLibrary::kLeaflet},
        {{"osm", "g", "b"}, kChinese, 358, MapLibrary::kLeaflet},
        {{"google", "g"}, kChinese, 358, MapLibrary::kGoogle},
        {{"baidu", "", "b"}, kKorean, 195, MapLibrary::kBaidu},
        {{"off", "g", "b"}, kKorean, 0, MapLibrary::kNone},
        {{"off"}, kChinese, 0, MapLibrary::kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.provider + " " + c.text.googleKey + " " + c.text.baiduKey + " " +
                     std::to_string(c.language));
        const viewer::MapPage page = viewer::ChooseMapPage(viewer::ParseMapConfig(c.text), c.language);
        EXPECT_EQ(page.resourceId, c.resourceId);
        EXPECT_EQ(page.library, c.library);
    }
}

TEST(MapScript, StringLiteralsCannotEndAStringOrAScriptElement)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "\"\""},
        {"AIza-09_x", "\"AIza-09_x\""},
        {"a\"b'c\\d", "\"a\\u0022b\\u0027c\\u005Cd\""},
        {"</script><script>x()</script>",
         "\"\\u003C/script\\u003E\\u003Cscript\\u003Ex()\\u003C/script\\u003E\""},
        {"&amp;", "\"\\u0026amp;\""},
        {"a\nb\r\t\x01", "\"a\\u000Ab\\u000D\\u0009\\u0001\""},
        {"\xE2\x80\xA8\xE2\x80\xA9", "\"\\u2028\\u2029\""},
        {"\xC2\xA9 \xEC\x84\x9C\xEC\x9A\xB8", "\"\xC2\xA9 \xEC\x84\x9C\xEC\x9A\xB8\""},  // kept as UTF-8
    };
    for (const auto& [text, literal] : cases) {
        EXPECT_EQ(viewer::JsStringLiteral(text), literal);
    }
    // The settings carry a hostile key without a raw quote or angle bracket.
    MapConfigText text{"google", "k\"</script><script>alert(1)</script>"};
    const std::string settings = viewer::MapPageSettings(viewer::ParseMapConfig(text), MapLibrary::kGoogle);
    EXPECT_EQ(settings.find('<'), std::string::npos) << settings;
    EXPECT_EQ(settings.find("k\""), std::string::npos) << settings;
    EXPECT_NE(settings.find("\"library\":\"google\""), std::string::npos) << settings;
}

TEST(MapScript, RunScriptTokenising)
{
    struct Case {
        const char* text;
        bool ok;
        const char* function;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        {"javascript:DrawCurrent('37.500000', '127.250000')",
         true,
         "DrawCurrent",
         {"37.500000", "127.250000"}},
        {"DrawCurrent('37.566048', '126.977930')", true, "DrawCurrent", {"37.566048", "126.977930"}},
        {"  javascript:  Draw Current (a,,b;\"c\"\t(d))", true, "Draw Current", {"a", "b", "c", "d"}},
        {"x javascript:MapState()", true, "MapState", {}},
        {"javascript:DrawDriven('12')", true, "DrawDriven", {"12"}},
        {"javascript:f('a b')", true, "f", {"a", "b"}},  // every space splits
        {"", false, "", {}},
        {"javascript:", false, "", {}},
        {"DrawCurrent", false, "", {}},
        {"  ('1')", false, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        viewer::ScriptCall call;
        EXPECT_EQ(viewer::ParseScriptCall(c.text, &call), c.ok);
        if (c.ok) {
            EXPECT_EQ(call.function, c.function);
            EXPECT_EQ(call.arguments, c.arguments);
        }
    }
    // The name is looked up as a string: a name cannot run code of its own.
    const std::string js = viewer::ScriptCallJs({"alert(1);x", {"');alert(2);('"}});
    EXPECT_NE(js.find("window[\"alert(1);x\"]"), std::string::npos) << js;
    EXPECT_NE(js.find("\"\\u0027);alert(2);(\\u0027\""), std::string::npos) << js;
}

TEST(MapScript, DrawCurrentSendsSixDecimalsOfMappableFixesOnly)
{
    auto fix = [](const char* sentence) { return CGPSData(sentence); };
    struct Case {
        CGPSData fix;
        std::string script;
    };
    const Case cases[] = {
        {fix("G$GPRMC,010203.00,A,3730.0000,N,12715.0000,E,0,0,011226,,,A"),
         "javascript:DrawCurrent('37.500000', '127.250000')"},
        {fix("G$GPRMC,010203.00,A,3733.9629,S,12658.6758,W,0,0,011226,,,A"),
         "javascript:DrawCurrent('-37.566048', '-126.977930')"},
        {fix("G$GPRMC,010203.00,V,3730.0000,N,12715.0000,E,0,0,011226,,,A"), ""},
        {fix("G$GPRMC,010203.00,A,9130.0000,N,12715.0000,E,0,0,011226,,,A"), ""},
        {fix("G$GPRMC,010203.00,A,,N,,E,0,0,011226,,,A"), ""},
        {CGPSData(), ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(viewer::DrawCurrentScript(c.fix), c.script);
    }
    viewer::ScriptCall call;
    ASSERT_TRUE(viewer::ParseScriptCall(viewer::DrawCurrentScript(cases[0].fix), &call));
    EXPECT_EQ(call.arguments, (std::vector<std::string>{"37.500000", "127.250000"}));

    GpsTrack track;
    track.points = {{37.5, 127.25, 0}, {-0.5, 0.0000004, 1000}};
    EXPECT_EQ(viewer::RouteJs(track), "[[37.500000,127.250000],[-0.500000,0.000000]]");
    EXPECT_EQ(viewer::RouteJs(GpsTrack{}), "[]");
}

}  // namespace
