#include "viewer/videoplaces.h"

#include <algorithm>

namespace viewer {

namespace {

// The full-screen picture keeps about the recording's aspect and leaves room for the
// controls below it; past this screen size it stays at its native size.
constexpr double kFullAspect = 1.89;
constexpr int kNativeWidth = 2048;
constexpr int kNativeHeight = 1080;
constexpr int kNativeMinClientHeight = 1260;
constexpr int kControlsHeight = 180;  // taken off the height for the transport row
constexpr int kSideMargin = 20;
constexpr int kBottomBand = 100;  // the picture sits this much above the vertical centre, twice over
constexpr int kHeightStep = 10;
constexpr int kGrid = 8;  // edges and sizes fall on multiples of 8

int DownToGrid(int v)
{
    return std::max(0, v - v % kGrid);
}

}  // namespace

VideoPlaces OpenedPlaces(ChannelSet channels)
{
    VideoPlaces places;
    places.front = kPlaceMain;
    if (channels.count >= 2 && !channels.FrontAndThirdOnly()) {
        places.rear = kPlaceSide;
    }
    return places;
}

void SwapChannels(VideoPlaces* p)
{
    switch (p->map) {
        case kPlaceNone:
            if (p->front == kPlaceMain) {
                p->front = kPlaceSide;
                p->rear = kPlaceMain;
            } else if (p->front == kPlaceSide) {
                p->front = kPlaceMain;
                p->rear = kPlaceSide;
            }
            break;
        case kPlaceMain:
            if (p->front == kPlaceSide) {
                p->front = kPlaceNone;
                p->rear = kPlaceSide;
            } else if (p->rear == kPlaceSide) {
                p->rear = kPlaceNone;
                p->front = kPlaceSide;
            }
            break;
        case kPlaceSide:
            if (p->front == kPlaceMain) {
                p->front = kPlaceNone;
                p->rear = kPlaceMain;
            } else if (p->rear == kPlaceMain) {
                p->rear = kPlaceNone;
                p->front = kPlaceMain;
            }
            break;
        default:
            break;
    }
}

bool ViewMap(VideoPlaces* p, ChannelSet channels)
{
    if (channels.count < 2) {
        return false;
    }
    if (p->map == kPlaceMain) {
        p->front = kPlaceNone;
        p->rear = kPlaceSide;
    } else {
        p->map = kPlaceSide;
        if (p->front == kPlaceSide) {
            p->front = kPlaceNone;
        }
        if (p->rear == kPlaceSide) {
            p->rear = kPlaceNone;
        }
    }
    return true;
}

bool ViewTwo(VideoPlaces* p, ChannelSet channels)
{
    if (channels.count < 2 || channels.FrontAndThirdOnly()) {
        return false;
    }
    if (p->map == kPlaceMain) {
        p->front = kPlaceMain;
        p->rear = kPlaceSide;
    } else if (p->front == kPlaceMain) {
        p->rear = kPlaceSide;
    } else if (p->rear == kPlaceMain) {
        p->front = kPlaceSide;
    }
    p->map = kPlaceNone;
    return true;
}

bool MapEnlarge(VideoPlaces* p, ChannelSet channels)
{
    if (channels.count < 2) {
        // One picture: it and the map trade places.
        if (p->map == kPlaceMain) {
            p->map = kPlaceSide;
            p->front = kPlaceMain;
        } else {
            p->map = kPlaceMain;
            p->front = kPlaceSide;
            p->rear = kPlaceNone;
        }
        return true;
    }
    if (channels.FrontAndThirdOnly()) {
        return false;
    }
    if (p->map == kPlaceMain) {
        p->map = kPlaceSide;
        if (p->front == kPlaceSide) {
            p->front = kPlaceMain;
            p->rear = kPlaceNone;
        } else if (p->rear == kPlaceSide) {
            p->rear = kPlaceMain;
            p->front = kPlaceNone;
        }
    } else {
        p->map = kPlaceMain;
        if (p->front == kPlaceMain) {
            p->front = kPlaceSide;
            p->rear = kPlaceNone;
        } else if (p->rear == kPlaceMain) {
            p->rear = kPlaceSide;
            p->front = kPlaceNone;
        }
    }
    return true;
}

QRect FullScreenPictureRect(int width, int height)
{
    int w = kNativeWidth;
    int h = kNativeHeight;
    if (width < kNativeWidth || height < kNativeMinClientHeight) {
        h = height - kControlsHeight;
        w = static_cast<int>(h * kFullAspect);
        while (width - kSideMargin < w && h > 0) {
            h -= kHeightStep;
            w = static_cast<int>(h * kFullAspect);
        }
        h = DownToGrid(h);
        w = DownToGrid(w);
    }
    const int x = DownToGrid((width - w) / 2);
    const int y = DownToGrid((height - h - kBottomBand) / 2);
    return QRect(x, y, w, h);
}

VideoLayout PlanVideoLayout(const VideoPlaces& places, ChannelSet channels, bool hasGps, int mode,
                            const QRect& fullRect)
{
    VideoLayout out;
    const int n = channels.count;
    if (n < 2) {
        out.swapEnabled = false;
        out.viewBoxesDisabled = true;
        out.thirdAvailable = false;
    } else {
        out.thirdAvailable = channels.extra;
        // Front and third only: nothing to swap with in the normal layout, whatever played before.
        out.swapEnabled = n > 2 || !channels.extra;
    }

    if (mode == kLayoutFull) {
        out.front = {places.front == kPlaceMain, fullRect};
        out.rear = {places.rear == kPlaceMain, fullRect};
        out.third = {false, fullRect};
        if (channels.FrontAndThirdOnly()) {
            // Swap here trades the front picture for the third one (CH3) and back.
            out.swapEnabled = true;
            out.front.shown = true;
            out.rear.shown = false;
        }
        out.map = {false, kMapHidden};
        return out;
    }

    out.third = {false, std::nullopt};
    switch (places.front) {
        case kPlaceMain:
            out.front = {true, kMainPlace};
            break;
        case kPlaceSide:
            out.front = {true, kSidePlace};
            out.viewTwoChecked = true;
            break;
        default:
            out.front = {false, std::nullopt};
            out.viewTwoChecked = false;
            break;
    }
    if (n < 2) {
        out.rear = {false, std::nullopt};
    } else {
        switch (places.rear) {
            case kPlaceMain:
                out.rear = {true, kMainPlace};
                break;
            case kPlaceSide:
                out.rear = {true, kSidePlaceRear};
                out.viewTwoChecked = true;
                break;
            default:
                out.rear = {false, std::nullopt};
                out.viewTwoChecked = false;
                break;
        }
    }
    switch (places.map) {
        case kPlaceMain:
            out.map = {true, kMainPlace};
            if (places.front == kPlaceSide) {
                out.viewTwoChecked = true;
                out.viewMapChecked = false;
            } else if (places.rear == kPlaceSide) {
                out.viewTwoChecked = false;
                out.viewMapChecked = true;
            }
            break;
        case kPlaceSide:
            // Without a GPS sample there is nothing to show: the map is hidden, not left
            // wherever it was (over the main picture, after enlarge map).
            out.map = hasGps ? Placement{true, kSidePlace} : Placement{false, kMapHidden};
            out.viewMapChecked = true;
            break;
        default:
            out.map = {false, kMapHidden};
            out.viewMapChecked = false;
            break;
    }
    return out;
}

}  // namespace viewer
