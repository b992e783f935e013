// Where the video channels and the map appear in the main window, as plain state and rules:
// the commands that move them, and what the window does to its pictures, map and view
// boxes for a given state. The window only applies what these functions decide.
#pragma once

#include <QRect>
#include <optional>

namespace viewer {

// A place: not shown, the large main place or the small side place.
constexpr int kPlaceNone = 0;
constexpr int kPlaceMain = 1;
constexpr int kPlaceSide = 2;

// Layout modes of the main window.
constexpr int kLayoutNormal = 1;
constexpr int kLayoutFull = 2;

// Places of the normal layout, in client coordinates. The rear picture sits two pixels
// lower in the side place than the front picture and the map.
inline constexpr QRect kMainPlace(4, 64, 640, 360);
inline constexpr QRect kSidePlace(650, 268, 320, 180);
inline constexpr QRect kSidePlaceRear(650, 270, 320, 180);
inline constexpr QRect kMapHidden(650, 268, 0, 0);

// The channels of the open recording: count n (1 to 3) and whether its second channel is
// the third camera (letters E and T).
struct ChannelSet {
    int count = 1;
    bool extra = false;

    // Front and third camera only (E): there is no rear picture.
    bool FrontAndThirdOnly() const { return count == 2 && extra; }
    // The side place can show another channel (the view boxes apply).
    bool HasTwoViews() const { return count == 3 || (count == 2 && !extra); }
};

// Each of front, rear and map: kPlaceNone, kPlaceMain or kPlaceSide.
struct VideoPlaces {
    int front = kPlaceNone;
    int rear = kPlaceNone;
    int map = kPlaceNone;

    bool operator==(const VideoPlaces&) const = default;
};

// Places right after a recording opened: front main, map hidden, rear in the side place
// when there is a rear picture.
VideoPlaces OpenedPlaces(ChannelSet channels);

// Swaps front and rear (and the channel beside the map); other states stay.
void SwapChannels(VideoPlaces* places);

// The view commands. Each returns false and leaves the places alone when it does not
// apply to the recording's channels.
bool ViewMap(VideoPlaces* places, ChannelSet channels);     // box 401: the side place shows the map
bool ViewTwo(VideoPlaces* places, ChannelSet channels);     // box 402: it shows the other channel
bool MapEnlarge(VideoPlaces* places, ChannelSet channels);  // button 403: map and main picture trade

// The picture rectangle of the full-screen layout for a client of width x height.
QRect FullScreenPictureRect(int width, int height);

// What the window does to one picture or the map: show or hide it, and move it there
// (no rectangle: it stays where it is).
struct Placement {
    bool shown = false;
    std::optional<QRect> rect;
};

// What ApplyVideoLayout does to the window for a state.
struct VideoLayout {
    Placement front, rear, third, map;
    std::optional<bool> swapEnabled;     // no value: left as it is
    bool viewBoxesDisabled = false;      // boxes 401 and 402 (a one-channel recording)
    bool thirdAvailable = false;         // the CH3 button and the third-channel window
    std::optional<bool> viewTwoChecked;  // box 402
    bool viewMapChecked = false;         // box 401
};

// hasGps: the recording has at least one GPS sample; without one the map never shows in
// the side place.
VideoLayout PlanVideoLayout(const VideoPlaces& places, ChannelSet channels, bool hasGps, int mode,
                            const QRect& fullRect);

}  // namespace viewer
