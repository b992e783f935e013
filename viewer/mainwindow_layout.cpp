// Main window: where every control goes in the normal and the full-screen layout. The two
// tables are the one source of these places; ApplyWindowLayout only walks them.
#include "viewer/mainwindow.h"
#include "viewer/pictureview.h"
#include "viewer/videoplaces.h"
#include "viewer/windowlayout.h"

#include <QTreeWidget>
#include <array>
#include <cstdio>

namespace viewer {

namespace {

constexpr From S = From::Start;
constexpr From E = From::End;

constexpr LayoutEntry At(int id, int x, int y, int w, int h, Shown shown)
{
    return {id, Geometry::Fixed, S, x, S, y, w, h, shown};
}
// x and y counted back from the right and bottom edges.
constexpr LayoutEntry AtEnd(int id, From xFrom, int x, From yFrom, int y, int w, int h, Shown shown)
{
    return {id, Geometry::Fixed, xFrom, x, yFrom, y, w, h, shown};
}
constexpr LayoutEntry Only(int id, Shown shown)
{
    return {id, Geometry::Unchanged, S, 0, S, 0, 0, 0, shown};
}
constexpr LayoutEntry FullPicture(int id)
{
    return {id, Geometry::FullPicture, S, 0, S, 0, 0, 0, Shown::Keep};
}

constexpr Shown Yes = Shown::Yes;
constexpr Shown No = Shown::No;
constexpr Shown Keep = Shown::Keep;

// The transport row of the full-screen layout sits this far above the bottom edge.
constexpr int kFullRow = 43;

constexpr std::array kNormalLayout = {
    At(IDC_GRAPH, 30, 620, 760, 104, Yes),
    At(IDC_ZOOM, 431, 471, 21, 21, Yes),
    At(IDC_SETTINGS, 546, 471, 21, 21, Yes),
    At(IDC_MIRROR, 599, 470, 30, 23, Yes),
    At(IDC_CAPTURE, 484, 472, 30, 20, Yes),
    At(IDC_FULLSCREEN, 922, 5, 25, 25, Yes),
    At(IDC_MINIMIZE, 898, 5, 25, 25, Keep),
    At(IDC_CH3, 817, 5, 76, 25, Yes),
    At(IDC_QUIT, 946, 5, 25, 25, Keep),
    At(IDC_SWAP, 326, 38, 161, 24, Yes),
    At(IDC_MAP_ENLARGE, 485, 38, 161, 24, Yes),
    At(IDC_VIEW_TWO, 650, 246, 161, 24, Yes),
    At(IDC_VIEW_MAP, 809, 246, 161, 24, Yes),
    At(IDC_CAT_DRIVING, 650, 38, 65, 24, Yes),
    At(IDC_CAT_EVENT, 714, 38, 65, 24, Yes),
    At(IDC_CAT_MOTION, 778, 38, 65, 24, Yes),
    At(IDC_CAT_MANUAL, 842, 38, 65, 24, Yes),
    At(IDC_CAT_ALL, 906, 38, 65, 24, Yes),
    At(IDC_EXPORT, 825, 218, 117, 20, Yes),
    At(IDC_SELECT_ALL, 650, 218, 117, 20, No),
    At(IDC_OPEN, 28, 473, 19, 17, Yes),
    At(IDC_STOP, 87, 474, 15, 17, Keep),
    At(IDC_PRE, 137, 473, 31, 17, Keep),
    At(IDC_BACK10, 198, 473, 25, 16, Keep),
    At(IDC_PLAY, 261, 473, 15, 17, Keep),  // exactly one of PLAY and Pause shows
    At(IDC_PAUSE, 261, 473, 15, 17, Keep),
    At(IDC_FWD10, 313, 473, 25, 16, Keep),
    At(IDC_NEXT, 368, 473, 31, 17, Keep),
    At(IDC_POSITION, 92, 432, 410, 14, Keep),
    At(IDC_VOLUME, 715, 474, 81, 14, Yes),
    At(IDC_BRIGHTNESS, 864, 474, 81, 14, Yes),
    At(IDC_INERT, 832, 472, 24, 25, Keep),
    At(IDC_MUTE, 684, 472, 27, 22, Keep),
    At(IDC_CURTIME, 25, 433, 56, 14, Keep),
    At(IDC_TOTALTIME, 495, 433, 56, 14, Keep),
    At(IDC_SPEED, 580, 433, 56, 14, Keep),
    Only(IDC_RESTORE, No),
    Only(IDC_LIST, Yes),
    Only(IDC_SIG_TURN, Yes),
    Only(IDC_SIG_PEDAL, Yes),
    Only(IDC_SIG_GEAR, Yes),
    Only(IDC_SIG_SPD, Yes),
    Only(IDC_SIG_RPM, Yes),
    Only(IDC_SIG_WAT, Yes),
    Only(IDC_SIG_STEER, Yes),
    Only(795, Yes),
    Only(796, Yes),
    Only(797, Yes),
    Only(798, Yes),
    Only(799, Yes),
    Only(800, Yes),
    Only(801, Yes),
};

constexpr std::array kFullLayout = {
    Only(IDC_GRAPH, No),
    FullPicture(IDC_FRONT),
    FullPicture(IDC_REAR),
    FullPicture(IDC_THIRD),
    AtEnd(IDC_QUIT, E, 45, S, 5, 25, 25, Keep),
    AtEnd(IDC_RESTORE, E, 69, S, 5, 25, 25, Yes),
    AtEnd(IDC_MINIMIZE, E, 93, S, 5, 25, 25, Keep),
    AtEnd(IDC_SWAP, E, 300, S, 5, 161, 24, Keep),
    AtEnd(IDC_CH3, E, 380, S, 5, 76, 25, Yes),
    AtEnd(IDC_OPEN, E, 51, E, kFullRow, 19, 17, No),
    AtEnd(IDC_NEXT, E, 112, E, kFullRow, 31, 17, Keep),
    AtEnd(IDC_FWD10, E, 163, E, kFullRow, 25, 16, Keep),
    AtEnd(IDC_PLAY, E, 204, E, kFullRow, 15, 17, Keep),
    AtEnd(IDC_PAUSE, E, 204, E, kFullRow, 15, 17, Keep),
    AtEnd(IDC_BACK10, E, 265, E, kFullRow, 25, 16, Keep),
    AtEnd(IDC_PRE, E, 316, E, kFullRow, 31, 17, Keep),
    AtEnd(IDC_STOP, E, 367, E, kFullRow, 15, 17, Keep),
    AtEnd(IDC_POSITION, S, 55, E, 50, 390, 14, Keep),
    AtEnd(IDC_BRIGHTNESS, E, 165, E, 80, 81, 14, Keep),
    AtEnd(IDC_INERT, E, 199, E, 85, 24, 25, Keep),
    AtEnd(IDC_VOLUME, E, 298, E, 80, 81, 14, Keep),
    AtEnd(IDC_MUTE, E, 337, E, 85, 27, 22, Keep),
    AtEnd(IDC_CURTIME, S, 55, E, 25, 60, 12, Keep),
    AtEnd(IDC_TOTALTIME, S, 370, E, 25, 60, 12, Keep),
    AtEnd(IDC_SPEED, S, 470, E, 25, 60, 12, Keep),
    Only(IDC_LIST, No),
    Only(IDC_SETTINGS, No),
    Only(IDC_CAPTURE, No),
    Only(IDC_ZOOM, No),
    Only(IDC_VIEW_MAP, No),
    Only(IDC_VIEW_TWO, No),
    Only(IDC_MAP_ENLARGE, No),
    Only(IDC_FULLSCREEN, No),
    Only(IDC_CAT_DRIVING, No),
    Only(IDC_CAT_EVENT, No),
    Only(IDC_CAT_MOTION, No),
    Only(IDC_CAT_MANUAL, No),
    Only(IDC_CAT_ALL, No),
    Only(IDC_MIRROR, No),
    Only(IDC_EXPORT, No),
    Only(IDC_SELECT_ALL, No),
    Only(IDC_SIG_TURN, No),
    Only(IDC_SIG_PEDAL, No),
    Only(IDC_SIG_GEAR, No),
    Only(IDC_SIG_SPD, No),
    Only(IDC_SIG_RPM, No),
    Only(IDC_SIG_WAT, No),
    Only(IDC_SIG_STEER, No),
    Only(795, No),
    Only(796, No),
    Only(797, No),
    Only(798, No),
    Only(799, No),
    Only(800, No),
    Only(801, No),
};

}  // namespace

std::span<const LayoutEntry> WindowLayoutTable(int mode)
{
    if (mode == kLayoutNormal) {
        return kNormalLayout;
    }
    if (mode == kLayoutFull) {
        return kFullLayout;
    }
    return {};
}

QRect PlaceOf(const LayoutEntry& entry, QSize client, const QRect& fullPicture)
{
    switch (entry.geometry) {
        case Geometry::Fixed: {
            const int x = entry.xFrom == From::End ? client.width() - entry.x : entry.x;
            const int y = entry.yFrom == From::End ? client.height() - entry.y : entry.y;
            return QRect(x, y, entry.w, entry.h);
        }
        case Geometry::FullPicture:
            return fullPicture;
        default:
            return {};
    }
}

}  // namespace viewer

void CSamplePlayerDlg::ComputeFullScreenRect()
{
    m_fullClient = size();
    m_fullRect = viewer::FullScreenPictureRect(width(), height());
    std::printf("Width => %d, Hight => %d, X => %d, Y => %d\n", width(), height(), m_fullRect.x(),
                m_fullRect.y());
    std::fflush(stdout);
}

void CSamplePlayerDlg::ApplyWindowLayout(int mode)
{
    ComputeFullScreenRect();
    for (const viewer::LayoutEntry& entry : viewer::WindowLayoutTable(mode)) {
        QWidget* widget = Control(entry.id);
        if (widget == nullptr) {
            continue;
        }
        if (entry.geometry != viewer::Geometry::Unchanged) {
            widget->setGeometry(viewer::PlaceOf(entry, m_fullClient, m_fullRect));
        }
        if (entry.shown != viewer::Shown::Keep) {
            widget->setVisible(entry.shown == viewer::Shown::Yes);
        }
    }
    if (mode == viewer::kLayoutFull) {
        DestroyThirdWindow();
    } else {
        m_list->update();
    }
    // ApplyVideoLayout enables swap where it applies; the tick enables the rest once the
    // recording has a usable GPS fix.
    for (int id : {IDC_SWAP, IDC_MAP_ENLARGE, IDC_VIEW_MAP, IDC_VIEW_TWO}) {
        Control(id)->setEnabled(false);
    }
    update();
}
