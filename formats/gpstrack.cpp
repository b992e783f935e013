#include "formats/gpstrack.h"

#include "mublib/mub_card.h"
#include "mublib/mub_container.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <memory>

namespace {

// The engine's packet buffer: a packet larger than this is skipped by the player too.
constexpr int kReadBufferBytes = 0x200000;
// The player's frame rate when a recording names none.
constexpr int kDefaultFrameRate = 30;

// The name up to the first "," or " ", as the parser splits "name,index".
std::string FileNameOf(const std::string& name)
{
    const size_t start = name.find_first_not_of(", ");
    if (start == std::string::npos) {
        return {};
    }
    const size_t end = name.find_first_of(", ", start);
    return name.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

int FrontFrameRate(MUBContext ctx, const std::string& name)
{
    uint8_t description[MUB_DESCRIPTION_BYTES] = {};
    if (MUB_GetFileInfo(ctx, name.c_str(), description, nullptr, nullptr, nullptr, nullptr, nullptr,
                        nullptr) == 0) {
        return 0;
    }
    const int fps = mub::DecodeDescription(description).fps[0];
    return fps > 0 ? fps : kDefaultFrameRate;
}

// A "G" record the telemetry store would keep, as a fix; false for anything else.
bool FixFromRecord(const char* text, size_t length, CGPSData* fix)
{
    const size_t textBytes = strnlen(text, length);
    if (textBytes < 7 || text[0] != 'G' || std::memcmp(text + 2, "GPRMC", 5) != 0) {
        return false;
    }
    return fix->Parse(std::string_view(text, textBytes)) && fix->IsValid();
}

}  // namespace

bool IsMappableFix(const CGPSData& fix)
{
    const double latitude = fix.Latitude();
    const double longitude = fix.Longitude();
    // 0, 0 is what empty position fields read as, not a place a car was.
    return fix.IsValid() && std::isfinite(latitude) && std::isfinite(longitude) &&
           std::fabs(latitude) <= 90.0 && std::fabs(longitude) <= 180.0 &&
           !(latitude == 0.0 && longitude == 0.0);
}

bool ReadGpsTrack(MUBContext ctx, const std::string& name, GpsTrack* track)
{
    track->points.clear();
    track->frameRate = 0;
    const std::string fileName = FileNameOf(name);
    mub::RecordingName parsed;
    if (ctx == nullptr || !mub::ParseRecordingName(fileName.c_str(), &parsed)) {
        return false;
    }
    const int fps = FrontFrameRate(ctx, fileName);
    if (fps == 0) {
        return false;
    }
    const int handle = MUB_OpenFileByName(ctx, parsed.category, fileName.c_str());
    if (handle < 0 || MUB_SelectFile(ctx, parsed.category, 0, handle) == 0) {
        return false;
    }
    track->frameRate = fps;

    // Video payloads are copied, never decoded: only front frames are counted, for the
    // time at which the player shows the text that follows them.
    const auto buffer = std::make_unique<char[]>(kReadBufferBytes);
    long long frontFrames = 0;
    for (;;) {
        uint8_t type = 0;
        uint8_t status = 0;
        uint8_t flag = 0;
        int size = kReadBufferBytes;
        const int result = MUB_ReadPacket(ctx, &type, &status, &flag, &size, buffer.get(), nullptr);
        if (result == MUB_READ_TOOBIG) {
            continue;
        }
        if (result != MUB_READ_OK) {
            break;
        }
        if ((status == mub::kStatusKey || status == mub::kStatusVideo) && type == 0) {
            ++frontFrames;
        } else if (status == mub::kStatusText && size > 0) {
            CGPSData fix;
            if (FixFromRecord(buffer.get(), static_cast<size_t>(size), &fix) && IsMappableFix(fix)) {
                const long long timeMs = frontFrames * 1000 / fps;
                track->points.push_back({fix.Latitude(), fix.Longitude(),
                                         static_cast<int>(std::min<long long>(timeMs, INT32_MAX))});
            }
        }
    }
    MUB_SelectFile(ctx, parsed.category, 0, -1);  // closes the file
    return true;
}

int DrivenPointCount(const GpsTrack& track, int positionMs)
{
    const auto end = std::upper_bound(track.points.begin(), track.points.end(), positionMs,
                                      [](int ms, const GpsTrackPoint& p) { return ms < p.timeMs; });
    return static_cast<int>(end - track.points.begin());
}
