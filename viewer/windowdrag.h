// Drags a frameless top-level window by its background: through the window system's own
// move where it has one (under Wayland nothing else can move a window), otherwise, as on
// X11 without a window manager, by following the mouse.
#pragma once

#include <QPoint>

class QMouseEvent;
class QWidget;

class CWindowDrag {
public:
    // A left-button press on the window starts a drag.
    void Press(QWidget* window, const QMouseEvent* e);
    void Move(QWidget* window, const QMouseEvent* e);
    void Release() { m_following = false; }

private:
    bool m_following = false;  // the window system does not move it: follow the mouse
    QPoint m_offset;
};
