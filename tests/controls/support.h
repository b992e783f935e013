// SPDX-License-Identifier: GPL-3.0-or-later
// Shared helpers of the control tests: one application, a parent that records window messages and
// paints a known colour, and mouse events sent as the window system would.
#pragma once

#include <QApplication>
#include <QImage>
#include <QList>
#include <QWidget>

#include "controls/winevent.h"

QApplication* TestApp();

struct RecordedMessage {
    int message;
    qintptr wParam;
    qintptr lParam;
};

class RecordingParent : public QWidget {
public:
    explicit RecordingParent(QColor fill = QColor(0, 200, 0));
    QList<RecordedMessage> messages;
    QColor fill;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
};

// Shows the window and waits until it can take input.
void ShowAndWait(QWidget* top);
// Shows and activates it, so that its widgets can take the keyboard focus; fails the test
// when it never becomes active.
void ActivateAndWait(QWidget* top);
// Delivers posted events (window messages, radio unchecks).
void Flush();

void SendMouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons);
void Press(QWidget* w, QPoint pos);
void Release(QWidget* w, QPoint pos);
void MoveHeld(QWidget* w, QPoint pos);
void DoubleClick(QWidget* w, QPoint pos);
void Click(QWidget* w, QPoint pos);

// A solid image with an optional square of another colour in its middle.
QImage Solid(int w, int h, QRgb colour);
QImage WithCentre(QImage img, int size, QRgb colour);
// The colour of one pixel of a grabbed widget.
QRgb GrabPixel(QWidget* w, QPoint p);
