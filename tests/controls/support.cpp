// SPDX-License-Identifier: GPL-3.0-or-later
#include "support.h"

#include <gtest/gtest.h>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>

QApplication* TestApp()
{
    static int argc = 1;
    static char arg0[] = "controls_tests";
    static char* argv[] = {arg0, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

namespace {
// The application exists before any test builds a widget.
class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override { TestApp(); }
};
const auto* g_appEnvironment = ::testing::AddGlobalTestEnvironment(new AppEnvironment);
}  // namespace

RecordingParent::RecordingParent(QColor f) : fill(f)
{
    resize(300, 120);
}

bool RecordingParent::event(QEvent* e)
{
    if (const CWinEvent* w = CWinEvent::From(e)) {
        messages.append({w->message(), w->wParam(), w->lParam()});
        return true;
    }
    return QWidget::event(e);
}

void RecordingParent::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), fill);
}

void ShowAndWait(QWidget* top)
{
    top->show();
    (void)QTest::qWaitForWindowExposed(top);
}

void ActivateAndWait(QWidget* top)
{
    ShowAndWait(top);
    top->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(top));
}

void Flush()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QMouseEvent e(type, QPointF(pos), QPointF(w->mapToGlobal(pos)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void Press(QWidget* w, QPoint pos)
{
    SendMouse(w, QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton);
}

void Release(QWidget* w, QPoint pos)
{
    SendMouse(w, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
}

void MoveHeld(QWidget* w, QPoint pos)
{
    SendMouse(w, QEvent::MouseMove, pos, Qt::NoButton, Qt::LeftButton);
}

void DoubleClick(QWidget* w, QPoint pos)
{
    // what the window system delivers for the second click of a double click
    SendMouse(w, QEvent::MouseButtonDblClick, pos, Qt::LeftButton, Qt::LeftButton);
    Release(w, pos);
}

void Click(QWidget* w, QPoint pos)
{
    Press(w, pos);
    Release(w, pos);
}

QImage Solid(int w, int h, QRgb colour)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(colour);
    return img;
}

QImage WithCentre(QImage img, int size, QRgb colour)
{
    QPainter p(&img);
    p.fillRect(QRect((img.width() - size) / 2, (img.height() - size) / 2, size, size),
               QColor::fromRgb(colour));
    return img;
}

QRgb GrabPixel(QWidget* w, QPoint p)
{
    return w->grab().toImage().pixel(p) & 0xFFFFFF;
}
