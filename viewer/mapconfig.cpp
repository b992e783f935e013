#include "viewer/mapconfig.h"

#include "platform/profile.h"
#include "viewer/mapscript.h"
#include "viewer/viewerconfig.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace viewer {

namespace {

constexpr const char* kSection = "map";
// Longer than any key or tile address; a value that fills the buffer was cut short.
constexpr int kValueBytes = 2048;
constexpr int kChinese = 0x04;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// Why a tile address cannot be used, or empty. Leaflet fills {s}, {x}, {y}, {z} and {r}
// and fails on any other name.
std::string TileUrlProblem(const std::string& url)
{
    const std::string lower = Lower(url);
    const std::string_view scheme = StartsWith(lower, "https://")  ? "https://"
                                    : StartsWith(lower, "http://") ? "http://"
                                                                   : "";
    if (scheme.empty()) {
        return "\"tile_url\" must start with http:// or https://";
    }
    const size_t hostEnd = url.find_first_of("/?#", scheme.size());
    if (hostEnd == scheme.size() || url.size() == scheme.size()) {
        return "\"tile_url\" names no server";
    }
    for (unsigned char c : url) {
        if (c <= 0x20 || c == 0x7F || c == '"' || c == '\'' || c == '<' || c == '>' || c == '\\' ||
            c == '`') {
            return "\"tile_url\" holds a character an address cannot hold";
        }
    }
    for (const char* needed : {"{x}", "{y}", "{z}"}) {
        if (url.find(needed) == std::string::npos) {
            return std::string("\"tile_url\" lacks ") + needed;
        }
    }
    for (size_t open = url.find('{'); open != std::string::npos; open = url.find('{', open + 1)) {
        const size_t close = url.find('}', open);
        const std::string name = close == std::string::npos ? "" : url.substr(open + 1, close - open - 1);
        if (name != "s" && name != "x" && name != "y" && name != "z" && name != "r") {
            return "\"tile_url\" has a placeholder other than {s}, {x}, {y}, {z}, {r}";
        }
    }
    return {};
}

std::string Read(const std::string& file, const char* key, const char* defaultValue, bool* cut)
{
    std::vector<char> value(kValueBytes);
    const int n =
        GetPrivateProfileStringA(kSection, key, defaultValue, value.data(), kValueBytes, file.c_str());
    if (n >= kValueBytes - 1) {
        *cut = true;
    }
    return std::string(value.data());
}

}  // namespace

MapConfig ParseMapConfig(const MapConfigText& text)
{
    MapConfig config;
    std::vector<std::string> problems;
    const std::string provider = Lower(text.provider);
    if (provider.empty() || provider == "auto") {
        config.provider = MapProvider::kAuto;
    } else if (provider == "osm") {
        config.provider = MapProvider::kOsm;
    } else if (provider == "google") {
        config.provider = MapProvider::kGoogle;
    } else if (provider == "baidu") {
        config.provider = MapProvider::kBaidu;
    } else if (provider == "off") {
        config.provider = MapProvider::kOff;
    } else {
        problems.push_back("\"provider\" is \"" + text.provider + "\", not auto, osm, google, baidu or off");
    }
    config.googleKey = text.googleKey;
    config.baiduKey = text.baiduKey;
    if (config.provider == MapProvider::kGoogle && config.googleKey.empty()) {
        problems.push_back("provider google needs \"google_key\"");
    }
    if (config.provider == MapProvider::kBaidu && config.baiduKey.empty()) {
        problems.push_back("provider baidu needs \"baidu_key\"");
    }
    config.tileUrl = text.tileUrl;
    if (std::string why = TileUrlProblem(config.tileUrl); !why.empty()) {
        problems.push_back(why);
    }
    config.attribution = text.attribution;
    if (text.cut) {
        problems.push_back("a value is longer than " + std::to_string(kValueBytes - 2) + " bytes");
    }
    if (!problems.empty() && config.provider != MapProvider::kOff) {
        config.problem = "map: ";
        for (size_t i = 0; i < problems.size(); ++i) {
            config.problem += (i == 0 ? "" : "; ") + problems[i];
        }
        config.problem += "; the map stays blank";
    }
    return config;
}

MapConfig LoadMapConfig(const std::string& folder)
{
    const std::string file = ConfigFilePath(folder);
    bool cut = false;
    MapConfigText text;
    text.provider = Read(file, "provider", "", &cut);
    if (const char* override = std::getenv("MUB_MAP_PROVIDER"); override != nullptr && *override != '\0') {
        text.provider = override;
    }
    text.googleKey = Read(file, "google_key", "", &cut);
    text.baiduKey = Read(file, "baidu_key", "", &cut);
    text.tileUrl = Read(file, "tile_url", kDefaultTileUrl, &cut);
    text.attribution = Read(file, "attribution", kDefaultAttribution, &cut);
    text.cut = cut;
    return ParseMapConfig(text);
}

MapPage ChooseMapPage(const MapConfig& config, int primaryLanguage)
{
    MapPage page;
    if (config.provider == MapProvider::kOff || !config.problem.empty()) {
        return page;
    }
    const bool chinese = primaryLanguage == kChinese;
    page.resourceId = chinese ? IDR_MAP_PAGE_ZH : IDR_MAP_PAGE;
    switch (config.provider) {
        case MapProvider::kGoogle:
            page.library = MapLibrary::kGoogle;
            break;
        case MapProvider::kBaidu:
            page.library = MapLibrary::kBaidu;
            break;
        case MapProvider::kOsm:
            page.library = MapLibrary::kLeaflet;
            break;
        default:
            if (chinese && !config.baiduKey.empty()) {
                page.library = MapLibrary::kBaidu;
            } else if (!chinese && !config.googleKey.empty()) {
                page.library = MapLibrary::kGoogle;
            } else {
                page.library = MapLibrary::kLeaflet;
            }
            break;
    }
    return page;
}

std::string MapPageSettings(const MapConfig& config, MapLibrary library)
{
    const char* name = library == MapLibrary::kGoogle    ? "google"
                       : library == MapLibrary::kBaidu   ? "baidu"
                       : library == MapLibrary::kLeaflet ? "leaflet"
                                                         : "none";
    std::string key;
    if (library == MapLibrary::kGoogle) {
        key = config.googleKey;
    } else if (library == MapLibrary::kBaidu) {
        key = config.baiduKey;
    }
    return "{\"library\":" + JsStringLiteral(name) + ",\"key\":" + JsStringLiteral(key) +
           ",\"tiles\":" + JsStringLiteral(config.tileUrl) +
           ",\"attribution\":" + JsStringLiteral(config.attribution) + "}";
}

}  // namespace viewer
