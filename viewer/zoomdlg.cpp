#include "viewer/zoomdlg.h"

#include "res/resid.h"
#include "res/skin.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>
#include <cstdio>

namespace viewer {

QRect ZoomSourceRect(QPoint pointer, QSize client, int factor, const QRect& screen)
{
    const int w = std::min(client.width() / std::max(factor, 1), screen.width());
    const int h = std::min(client.height() / std::max(factor, 1), screen.height());
    int left = pointer.x() - w / 2;
    int top = pointer.y() - h / 2;
    left = std::clamp(left, screen.left(), screen.left() + screen.width() - w);
    top = std::clamp(top, screen.top(), screen.top() + screen.height() - h);
    return QRect(left, top, w, h);
}

bool ScreenIsReadable(const QString& platformName)
{
    return !platformName.startsWith(QLatin1String("wayland"));
}

}  // namespace viewer

CZoomDlg::CZoomDlg(Source source) : QWidget(nullptr, Qt::Tool), m_source(source)
{
    setWindowTitle(QStringLiteral("Zoom"));
    setWindowIcon(QIcon(LoadSkinBitmap(IDI_MAINFRAME)));
    setAttribute(Qt::WA_OpaquePaintEvent);
    std::printf("OnInitDialog()\n");
    std::fflush(stdout);
    if (m_source == Source::Auto) {
        m_source = Source::Screen;
        if (!viewer::ScreenIsReadable(QGuiApplication::platformName())) {
            FallBackToOwnWindows();
        }
    }
    m_timer.start(kRefreshMs, this);
}

CZoomDlg::~CZoomDlg()
{
    std::printf("OnDestroy()\r\n");
    std::fflush(stdout);
    m_timer.stop();
}

void CZoomDlg::FallBackToOwnWindows()
{
    static bool told = false;
    if (!told) {
        told = true;
        std::fprintf(stderr,
                     "Zoom: this window system does not let programs read the screen; "
                     "magnifying the viewer's own windows instead\n");
    }
    m_source = Source::OwnWindows;
}

void CZoomDlg::StopRefresh()
{
    m_timer.stop();
}

void CZoomDlg::timerEvent(QTimerEvent* e)
{
    if (e->timerId() == m_timer.timerId()) {
        Refresh();
    } else {
        QWidget::timerEvent(e);
    }
}

void CZoomDlg::Refresh()
{
    if (isMinimized()) {
        return;
    }
    const QPoint pointer = QCursor::pos();
    QScreen* screen = QGuiApplication::screenAt(pointer);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    const QRect screenRect = screen->geometry();
    const QRect source = viewer::ZoomSourceRect(pointer, size(), kFactor, screenRect);
    if (source.isEmpty()) {
        return;
    }
    QPixmap copy;
    if (m_source == Source::Screen) {
        // Window 0 is the whole screen; the offset counts from the screen's own corner.
        copy = screen->grabWindow(0, source.x() - screenRect.x(), source.y() - screenRect.y(), source.width(),
                                  source.height());
        if (copy.isNull()) {
            FallBackToOwnWindows();
        }
    }
    if (m_source == Source::OwnWindows) {
        copy = GrabOwnWindows(source);
    }
    // The magnifier's own area would show the magnifier again and again.
    const QRect own = QRect(mapToGlobal(QPoint(0, 0)), size()).intersected(source);
    if (!own.isEmpty()) {
        QPainter p(&copy);
        p.fillRect(own.translated(-source.topLeft()), QColor::fromRgb(kOwnAreaGrey));
    }
    m_copy = copy;
    m_copySource = source;
    update();
}

QPixmap CZoomDlg::GrabOwnWindows(const QRect& source) const
{
    const qreal ratio = devicePixelRatioF();
    QPixmap out(source.size() * ratio);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::black);
    QPainter p(&out);
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window == this || !window->isVisible() || window->isMinimized()) {
            continue;
        }
        const QRect place(window->mapToGlobal(QPoint(0, 0)), window->size());
        if (place.intersects(source)) {
            p.drawPixmap(place.topLeft() - source.topLeft(), window->grab());
        }
    }
    return out;
}

void CZoomDlg::paintEvent(QPaintEvent*)
{
    if (isMinimized()) {
        return;
    }
    QPainter p(this);
    if (m_copy.isNull()) {
        p.fillRect(rect(), QColor::fromRgb(kOwnAreaGrey));
        return;
    }
    p.drawPixmap(rect(), m_copy);
}

void CZoomDlg::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        std::printf("VK_ESCAPE\n");
        std::fflush(stdout);
        StopRefresh();
        return;
    }
    QWidget::keyPressEvent(e);
}

void CZoomDlg::closeEvent(QCloseEvent* e)
{
    StopRefresh();
    QWidget::closeEvent(e);
}

void CZoomDlg::resizeEvent(QResizeEvent* e)
{
    m_width = width();
    QWidget::resizeEvent(e);
}
