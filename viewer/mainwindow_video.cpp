// SPDX-License-Identifier: GPL-3.0-or-later
// Main window: where the video channels and the map appear, the normal layout, the
// background paint and the rear mirror.
#include "controls/controlid.h"
#include "platform/trace.h"
#include "viewer/mainwindow.h"
#include "viewer/pictureview.h"
#include "viewer/skinctl.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPainter>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// Places of the normal layout.
const QRect kMainPlace(4, 64, 640, 360);
const QRect kSidePlace(650, 268, 320, 180);
const QRect kSidePlaceRear(650, 270, 320, 180);
const QRect kMapHidden(650, 268, 0, 0);

viewer::CheckRef Box(QWidget* w)
{
    return viewer::CheckRef(w);
}

}  // namespace

void CSamplePlayerDlg::MoveInto(QWidget* w, int x, int y, int width, int height)
{
    // A picture moving into a place first shrinks to nothing there, then takes its size.
    w->setGeometry(x, y, 0, 0);
    w->setGeometry(x, y, width, height);
}

void CSamplePlayerDlg::MoveInto(QWidget* w, const QRect& place)
{
    MoveInto(w, place.x(), place.y(), place.width(), place.height());
}

void CSamplePlayerDlg::PlaceWidget(int id, int x, int y, int w, int h, int show)
{
    QWidget* widget = Control(id);
    if (widget == nullptr) {
        return;
    }
    widget->setGeometry(x, y, w, h);
    if (show == 1) {
        widget->show();
    } else if (show == 0) {
        widget->hide();
    }
}

void CSamplePlayerDlg::SwapChannels()
{
    if (m_mapPos == 0) {
        if (m_frontPos == 1) {
            m_frontPos = 2;
            m_rearPos = 1;
        } else if (m_frontPos == 2) {
            m_frontPos = 1;
            m_rearPos = 2;
        }
    } else if (m_mapPos == 1) {
        if (m_frontPos == 2) {
            m_frontPos = 0;
            m_rearPos = 2;
        } else if (m_rearPos == 2) {
            m_rearPos = 0;
            m_frontPos = 2;
        }
    } else if (m_mapPos == 2) {
        if (m_frontPos == 1) {
            m_frontPos = 0;
            m_rearPos = 1;
        } else if (m_rearPos == 1) {
            m_rearPos = 0;
            m_frontPos = 1;
        }
    }
}

void CSamplePlayerDlg::OnSwap()
{
    Trace("OnBnClickedButtonChangeView()\n");
    int extra = 0;
    if (m_busy || LoadedChannelCount(&extra) < 2) {
        return;
    }
    SwapChannels();
    ApplyVideoLayout();
}

void CSamplePlayerDlg::OnViewMap()
{
    int extra = 0;
    if (m_busy || LoadedChannelCount(&extra) < 2) {
        Box(Control(IDC_VIEW_MAP))->setChecked(m_mapPos == 2);
        return;
    }
    Box(Control(IDC_VIEW_TWO))->setChecked(false);
    Box(Control(IDC_VIEW_MAP))->setChecked(true);
    if (m_mapPos == 1) {
        m_frontPos = 0;
        m_rearPos = 2;
    } else {
        m_mapPos = 2;
        if (m_frontPos == 2) {
            m_frontPos = 0;
        }
        if (m_rearPos == 2) {
            m_rearPos = 0;
        }
    }
    ApplyVideoLayout();
}

void CSamplePlayerDlg::OnViewTwo()
{
    int extra = 0;
    const int channels = LoadedChannelCount(&extra);
    if (m_busy || channels < 2 || (channels == 2 && extra == 1)) {
        Box(Control(IDC_VIEW_TWO))->setChecked(m_frontPos == 2 || m_rearPos == 2);
        return;
    }
    Box(Control(IDC_VIEW_TWO))->setChecked(true);
    Box(Control(IDC_VIEW_MAP))->setChecked(false);
    if (m_mapPos == 1) {
        m_frontPos = 1;
        m_rearPos = 2;
    } else if (m_frontPos == 1) {
        m_rearPos = 2;
    } else if (m_rearPos == 1) {
        m_frontPos = 2;
    }
    m_mapPos = 0;
    ApplyVideoLayout();
}

void CSamplePlayerDlg::OnMirror()
{
    if (m_busy) {
        return;
    }
    ApplyMirror();
}

void CSamplePlayerDlg::ApplyMirror()
{
    int extra = 0;
    auto box = Box(Control(IDC_MIRROR));
    if (LoadedChannelCount(&extra) < 2) {
        box->setChecked(false);
    }
    const int mode = box->isChecked() ? 3 : 0;
    m_player.SetFlipMode(1, mode);
    m_player.SetFlipMode(2, extra == 1 ? mode : 0);
}

int CSamplePlayerDlg::LoadedChannelCount(int* extra)
{
    // The player keeps the last recording's name after Stop (and after the card is gone),
    // so with nothing open the window does not ask it.
    if (m_openSerial == 0) {
        return 1;
    }
    return m_player.ChannelCount(extra);
}

void CSamplePlayerDlg::SetThirdChannelAvailable(bool available)
{
    Control(IDC_CH3)->setEnabled(available);
}

void CSamplePlayerDlg::ApplyVideoLayout()
{
    Box(Control(IDC_VIEW_MAP))->setChecked(false);
    int extra = 0;
    const int channels = LoadedChannelCount(&extra);
    QWidget* swap = Control(IDC_SWAP);
    if (channels == 1) {
        swap->setEnabled(false);
        Control(IDC_VIEW_TWO)->setEnabled(false);
        Control(IDC_VIEW_MAP)->setEnabled(false);
        SetThirdChannelAvailable(false);
    } else {
        SetThirdChannelAvailable(extra == 1);
        // Front and third only (E): no rear picture to swap with, whatever played before.
        swap->setEnabled(channels > 2 || (channels == 2 && extra == 0));
    }
    auto viewTwo = Box(Control(IDC_VIEW_TWO));
    auto viewMap = Box(Control(IDC_VIEW_MAP));

    if (m_layoutMode == 1) {
        m_third->hide();
        switch (m_frontPos) {
            case 1:
                MoveInto(m_front, kMainPlace);
                m_front->show();
                break;
            case 2:
                MoveInto(m_front, kSidePlace);
                m_front->show();
                viewTwo->setChecked(true);
                break;
            default:
                m_front->hide();
                viewTwo->setChecked(false);
                break;
        }
        if (channels < 2) {
            m_rear->hide();
        } else {
            switch (m_rearPos) {
                case 1:
                    MoveInto(m_rear, kMainPlace);
                    m_rear->show();
                    break;
                case 2:
                    MoveInto(m_rear, kSidePlaceRear);
                    m_rear->show();
                    viewTwo->setChecked(true);
                    break;
                default:
                    m_rear->hide();
                    m_mapView->setGeometry(kMapHidden);
                    viewTwo->setChecked(false);
                    break;
            }
        }
        switch (m_mapPos) {
            case 1:
                MoveInto(m_mapView, kMainPlace);
                if (m_frontPos == 2) {
                    viewTwo->setChecked(true);
                    viewMap->setChecked(false);
                } else if (m_rearPos == 2) {
                    viewTwo->setChecked(false);
                    viewMap->setChecked(true);
                }
                viewTwo->update();
                viewMap->update();
                break;
            case 2:
                if (m_telemetry.Samples().GPSCount() > 0) {
                    MoveInto(m_mapView, kSidePlace);
                }
                viewMap->setChecked(true);
                break;
            default:
                m_mapView->setGeometry(kMapHidden);
                viewMap->setChecked(false);
                break;
        }
    }
    update();
}

void CSamplePlayerDlg::ComputeFullScreenRect()
{
    const int W = width();
    const int H = height();
    int w = 0;
    int h = 0;
    if (W < 2048 || H < 1260) {
        h = H - 180;
        w = static_cast<int>(h * 1.89);
        while (W - 20 < w && h > 0) {
            h -= 10;
            w = static_cast<int>(h * 1.89);
        }
        h -= h % 8;
        w -= w % 8;
    } else {
        w = 2048;
        h = 1080;
    }
    int x = (W - w) / 2;
    int y = (H - h - 100) / 2;
    x -= x % 8;
    y -= y % 8;
    m_fullX = x;
    m_fullY = y;
    m_fullW = w;
    m_fullH = h;
    Trace("Width => %d, Hight => %d, X => %d, Y => %d\n", W, H, x, y);
}

void CSamplePlayerDlg::ApplyWindowLayout(int mode)
{
    ComputeFullScreenRect();
    if (mode == 1) {
        PlaceWidget(IDC_GRAPH, 30, 620, 760, 104, 1);
        PlaceWidget(IDC_ZOOM, 431, 471, 21, 21, 1);
        PlaceWidget(IDC_SETTINGS, 546, 471, 21, 21, 1);
        PlaceWidget(IDC_MIRROR, 599, 470, 30, 23, 1);
        PlaceWidget(IDC_CAPTURE, 484, 472, 30, 20, 1);
        PlaceWidget(IDC_FULLSCREEN, 922, 5, 25, 25, 1);
        PlaceWidget(IDC_MINIMIZE, 898, 5, 25, 25, -1);
        PlaceWidget(IDC_CH3, 817, 5, 76, 25, 1);
        PlaceWidget(IDC_QUIT, 946, 5, 25, 25, -1);
        PlaceWidget(IDC_SWAP, 326, 38, 161, 24, 1);
        PlaceWidget(IDC_MAP_ENLARGE, 485, 38, 161, 24, 1);
        PlaceWidget(IDC_VIEW_TWO, 650, 246, 161, 24, 1);
        PlaceWidget(IDC_VIEW_MAP, 809, 246, 161, 24, 1);
        const int categories[] = {IDC_CAT_DRIVING, IDC_CAT_EVENT, IDC_CAT_MOTION, IDC_CAT_MANUAL,
                                  IDC_CAT_ALL};
        for (int i = 0; i < 5; ++i) {
            PlaceWidget(categories[i], 650 + 64 * i, 38, 65, 24, 1);
        }
        PlaceWidget(IDC_EXPORT, 825, 218, 117, 20, 1);
        PlaceWidget(IDC_SELECT_ALL, 650, 218, 117, 20, 0);
        PlaceWidget(IDC_OPEN, 28, 473, 19, 17, 1);
        PlaceWidget(IDC_STOP, 87, 474, 15, 17, -1);
        PlaceWidget(IDC_PRE, 137, 473, 31, 17, -1);
        PlaceWidget(IDC_BACK10, 198, 473, 25, 16, -1);
        PlaceWidget(IDC_PLAY, 261, 473, 15, 17, -1);
        PlaceWidget(IDC_PAUSE, 261, 473, 15, 17, -1);
        PlaceWidget(IDC_FWD10, 313, 473, 25, 16, -1);
        PlaceWidget(IDC_NEXT, 368, 473, 31, 17, -1);
        PlaceWidget(IDC_POSITION, 92, 432, 410, 14, -1);
        PlaceWidget(IDC_VOLUME, 715, 474, 81, 14, 1);
        PlaceWidget(IDC_BRIGHTNESS, 864, 474, 81, 14, 1);
        PlaceWidget(IDC_INERT, 832, 472, 24, 25, -1);
        PlaceWidget(IDC_MUTE, 684, 472, 27, 22, -1);
        PlaceWidget(IDC_CURTIME, 25, 433, 56, 14, -1);
        PlaceWidget(IDC_TOTALTIME, 495, 433, 56, 14, -1);
        PlaceWidget(IDC_SPEED, 580, 433, 56, 14, -1);
        Control(IDC_RESTORE)->hide();
        m_list->show();
        for (int id = IDC_SIG_TURN; id <= IDC_LABEL_LAST; ++id) {
            if (QWidget* w = Control(id)) {
                w->show();
            }
        }
        m_list->update();
    }
    for (int id : {IDC_SWAP, IDC_MAP_ENLARGE, IDC_VIEW_MAP, IDC_VIEW_TWO}) {
        Control(id)->setEnabled(false);
    }
    update();
}

void CSamplePlayerDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.drawPixmap(0, 0, m_background);
    p.end();
    m_player.RedrawAll();
}
