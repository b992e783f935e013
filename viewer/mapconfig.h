// The map's part of the viewer configuration (section "map" of config.cfg) and, from it,
// which page to load with which map library and the settings handed to the page.
#pragma once

#include <string>

namespace viewer {

// Page resources: 195 for every interface language but Chinese, 358 for Chinese.
constexpr int IDR_MAP_PAGE = 195;
constexpr int IDR_MAP_PAGE_ZH = 358;

constexpr const char* kDefaultTileUrl = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
constexpr const char* kDefaultAttribution = "\u00A9 OpenStreetMap contributors";

enum class MapProvider { kAuto, kOsm, kGoogle, kBaidu, kOff };
enum class MapLibrary { kNone, kLeaflet, kGoogle, kBaidu };

struct MapConfig {
    MapProvider provider = MapProvider::kAuto;
    std::string googleKey;
    std::string baiduKey;
    std::string tileUrl = kDefaultTileUrl;
    std::string attribution = kDefaultAttribution;
    // Empty when every value is usable; otherwise the one line to print, and the map stays
    // blank.
    std::string problem;
};

// The configuration from the values as read; empty values are absent ones, except for
// the attribution, which may be set empty.
struct MapConfigText {
    std::string provider;
    std::string googleKey;
    std::string baiduKey;
    std::string tileUrl = kDefaultTileUrl;
    std::string attribution = kDefaultAttribution;
    bool cut = false;  // a value filled the read buffer and was cut short
};
MapConfig ParseMapConfig(const MapConfigText& text);

// Reads section "map" of <folder>/config.cfg: "provider" (auto, osm, google, baidu, off),
// "google_key", "baidu_key", "tile_url", "attribution". $MUB_MAP_PROVIDER, when set, stands
// for "provider" (tests, and a quick try without editing the file).
MapConfig LoadMapConfig(const std::string& folder);

struct MapPage {
    int resourceId = 0;  // 0: no page is ever loaded
    MapLibrary library = MapLibrary::kNone;
};
// "off" and a configuration with a problem load nothing. "auto" takes the provider of the
// page's language when its key is set (Google for 195, Baidu for 358), else Leaflet with
// the tile server.
MapPage ChooseMapPage(const MapConfig& config, int primaryLanguage);

// The page's settings as a script object literal (library, key, tiles, attribution),
// safe to stand inside a script element.
std::string MapPageSettings(const MapConfig& config, MapLibrary library);

}  // namespace viewer
