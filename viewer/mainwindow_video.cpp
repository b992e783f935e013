// Main window: where the video channels and the map appear, the view commands, full screen
// and restore, the third-channel and zoom windows, the background paint and the rear
// mirror. The rules are in videoplaces.h; this unit applies them to the widgets.
#include "controls/controlid.h"
#include "res/resid.h"
#include "res/skin.h"
#include "viewer/ch3dlg.h"
#include "viewer/mainwindow.h"
#include "viewer/pictureview.h"
#include "viewer/skinctl.h"
#include "viewer/zoomdlg.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QTreeWidget>
#include <cstdio>

namespace {

constexpr int kStateStopped = 2;

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

int CSamplePlayerDlg::LoadedChannelCount(int* extra)
{
    // The player keeps the last recording's name after Stop (and after the card is gone),
    // so with nothing open the window does not ask it.
    if (m_openSerial == 0) {
        return 1;
    }
    return m_player.ChannelCount(extra);
}

viewer::ChannelSet CSamplePlayerDlg::OpenChannels()
{
    int extra = 0;
    const int count = LoadedChannelCount(&extra);
    return {count, extra == 1};
}

// ---- the view commands

void CSamplePlayerDlg::SwapChannels()
{
    viewer::SwapChannels(&m_places);
}

void CSamplePlayerDlg::OnSwap()
{
    std::printf("OnBnClickedButtonChangeView()\n");
    std::fflush(stdout);
    if (m_busy || OpenChannels().count < 2) {
        return;
    }
    SwapChannels();
    ApplyVideoLayout();
}

void CSamplePlayerDlg::OnViewMap()
{
    // A box that was clicked checks itself: where the command does not act, it shows the
    // state again.
    if (m_busy || !viewer::ViewMap(&m_places, OpenChannels())) {
        Box(Control(IDC_VIEW_MAP))->setChecked(m_places.map == viewer::kPlaceSide);
        return;
    }
    Box(Control(IDC_VIEW_TWO))->setChecked(false);
    Box(Control(IDC_VIEW_MAP))->setChecked(true);
    ApplyVideoLayout();
}

void CSamplePlayerDlg::OnViewTwo()
{
    if (m_busy || !viewer::ViewTwo(&m_places, OpenChannels())) {
        Box(Control(IDC_VIEW_TWO))
            ->setChecked(m_places.front == viewer::kPlaceSide || m_places.rear == viewer::kPlaceSide);
        return;
    }
    Box(Control(IDC_VIEW_TWO))->setChecked(true);
    Box(Control(IDC_VIEW_MAP))->setChecked(false);
    ApplyVideoLayout();
}

void CSamplePlayerDlg::OnMapEnlarge()
{
    if (!m_busy) {
        MapEnlarge();
    }
}

void CSamplePlayerDlg::MapEnlarge()
{
    if (viewer::MapEnlarge(&m_places, OpenChannels())) {
        ApplyVideoLayout();
    }
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

// ---- what shows where

void CSamplePlayerDlg::SetThirdChannelAvailable(bool available)
{
    Control(IDC_CH3)->setEnabled(available);
    if (!m_ch3) {
        return;
    }
    if (available) {
        m_ch3->ShowPicture();
    } else {
        m_ch3->hide();
    }
}

void CSamplePlayerDlg::ApplyVideoLayout()
{
    const bool hasGps = m_telemetry.Samples().GPSCount() > 0;
    const viewer::VideoLayout plan =
        viewer::PlanVideoLayout(m_places, OpenChannels(), hasGps, m_layoutMode, m_fullRect);
    if (plan.swapEnabled) {
        Control(IDC_SWAP)->setEnabled(*plan.swapEnabled);
    }
    if (plan.viewBoxesDisabled) {
        Control(IDC_VIEW_TWO)->setEnabled(false);
        Control(IDC_VIEW_MAP)->setEnabled(false);
    }
    SetThirdChannelAvailable(plan.thirdAvailable);

    const std::pair<QWidget*, const viewer::Placement*> placements[] = {
        {m_front, &plan.front}, {m_rear, &plan.rear}, {m_third, &plan.third}, {m_mapView, &plan.map}};
    for (const auto& [widget, placement] : placements) {
        if (placement->rect && widget->geometry() != *placement->rect) {
            MoveInto(widget, *placement->rect);
        }
        widget->setVisible(placement->shown);
    }

    auto viewTwo = Box(Control(IDC_VIEW_TWO));
    auto viewMap = Box(Control(IDC_VIEW_MAP));
    if (plan.viewTwoChecked) {
        viewTwo->setChecked(*plan.viewTwoChecked);
    }
    viewMap->setChecked(plan.viewMapChecked);
    viewTwo->update();
    viewMap->update();
    // Nothing waits for the pictures here: each repaints itself when the engine next
    // presents into it at its new size.
    update();
}

// ---- full screen and restore

void CSamplePlayerDlg::ResetTimeTextsIfStopped()
{
    if (m_player.PlayState() == kStateStopped) {
        static_cast<QLabel*>(Control(IDC_CURTIME))->setText("00:00:00");
        static_cast<QLabel*>(Control(IDC_TOTALTIME))->setText("00:00:00");
    }
}

void CSamplePlayerDlg::CentreOnScreen()
{
    // Where the window system places windows itself (Wayland), this asks for nothing.
    const QScreen* on = screen();
    if (on == nullptr) {
        on = QGuiApplication::primaryScreen();
    }
    if (on != nullptr) {
        move(on->availableGeometry().center() - rect().center());
    }
}

void CSamplePlayerDlg::OnFullScreen()
{
    if (m_busy) {
        return;
    }
    if (m_layoutMode == viewer::kLayoutNormal) {
        m_normalRect = frameGeometry();
        // The screen the window is on, not the first one.
        const QScreen* on = screen();
        m_layoutMode = viewer::kLayoutFull;
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        if (on != nullptr) {
            // Without a window manager nothing would act on the maximised state alone.
            setGeometry(on->availableGeometry());
        }
        showMaximized();
        m_background = QPixmap();
        if (m_places.map == viewer::kPlaceMain) {
            // A video channel takes the main place.
            MapEnlarge();
        }
    }
    ResetTimeTextsIfStopped();
    ApplyWindowLayout(m_layoutMode);
    ApplyVideoLayout();
}

void CSamplePlayerDlg::OnRestore()
{
    if (m_busy) {
        return;
    }
    if (m_layoutMode == viewer::kLayoutFull) {
        showNormal();
        m_layoutMode = viewer::kLayoutNormal;
    }
    ResetTimeTextsIfStopped();
    ApplyWindowLayout(m_layoutMode);
    m_background = LoadSkinBitmap(IDB_MAIN_BG);
    setFixedSize(kBackgroundSize);
    CentreOnScreen();
    ApplyVideoLayout();
    if (m_currentRow < 0) {
        SetThirdChannelAvailable(false);
    }
}

void CSamplePlayerDlg::resizeEvent(QResizeEvent* e)
{
    // A window manager maximises after the fact: the full-screen layout follows the size
    // the window got.
    if (m_initialised && m_layoutMode == viewer::kLayoutFull && size() != m_fullClient) {
        ApplyWindowLayout(m_layoutMode);
        ApplyVideoLayout();
    }
    DockThirdWindow();
    QWidget::resizeEvent(e);
}

void CSamplePlayerDlg::moveEvent(QMoveEvent* e)
{
    DockThirdWindow();
    QWidget::moveEvent(e);
}

// ---- the third-channel window

void CSamplePlayerDlg::DockThirdWindow()
{
    if (m_ch3 && m_ch3->isVisible() && !m_ch3->MovedByUser()) {
        m_ch3->DockTo(frameGeometry());
    }
}

void CSamplePlayerDlg::DestroyThirdWindow()
{
    if (!m_ch3) {
        return;
    }
    // Once this returns the engine no longer paints into the window's picture.
    m_player.SetThirdWindow(m_third->Sink());
    m_ch3.reset();
}

void CSamplePlayerDlg::OnCh3()
{
    if (m_busy) {
        return;
    }
    if (m_layoutMode == viewer::kLayoutFull) {
        m_player.SetThirdWindow(m_third->Sink());
        if (!m_third->isVisible()) {
            SwapChannels();
        }
        m_front->hide();
        m_rear->hide();
        m_third->show();
        return;
    }
    if (!m_ch3) {
        m_ch3 = std::make_unique<CCH3Dlg>(this, [this] { return m_openSerial; });
    }
    if (m_ch3->isVisible()) {
        m_ch3->hide();
        return;
    }
    m_player.SetThirdWindow(m_ch3->Picture()->Sink());
    m_ch3->ShowBeside(frameGeometry());
}

void CSamplePlayerDlg::OnThirdReturn()
{
    if (!m_ch3) {
        return;
    }
    if (m_busy) {
        m_ch3->ClearReturned();
        return;
    }
    DestroyThirdWindow();
    OnFullScreen();
    m_front->hide();
    m_rear->hide();
    m_third->show();
    SwapChannels();
}

// ---- the magnifier

void CSamplePlayerDlg::OnZoom()
{
    if (m_busy) {
        return;
    }
    m_zoom.reset();
    m_zoom = std::make_unique<CZoomDlg>();
    m_zoom->setGeometry(CZoomDlg::kPlace);
    m_zoom->show();
    m_zoom->update();
}

// ---- paint

void CSamplePlayerDlg::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    if (!m_background.isNull()) {
        p.drawPixmap(0, 0, m_background);
    }
    p.end();
    m_player.RedrawAll();
}
