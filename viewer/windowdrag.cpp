#include "viewer/windowdrag.h"

#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

void CWindowDrag::Press(QWidget* window, const QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        return;
    }
    QWindow* handle = window->windowHandle();
    m_following = handle == nullptr || !handle->startSystemMove();
    m_offset = e->globalPosition().toPoint() - window->frameGeometry().topLeft();
}

void CWindowDrag::Move(QWidget* window, const QMouseEvent* e)
{
    if (m_following && (e->buttons() & Qt::LeftButton)) {
        window->move(e->globalPosition().toPoint() - m_offset);
    }
}
