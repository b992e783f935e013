// SPDX-License-Identifier: GPL-3.0-or-later
// Flicker-free painting: draw into an off-screen buffer, copied onto the target when it ends.
#pragma once

#include <QColor>
#include <QPainter>
#include <QPixmap>
#include <QRect>

class CQVZ_MemDC {
public:
    // rect: the area to buffer (target coordinates); null means the painter's clip area, or the
    // whole device without one. copyBackground: keep what the target already shows under the area
    // (the buffer starts see-through); otherwise start from the background colour. A painter on a
    // printer is drawn on directly.
    CQVZ_MemDC(QPainter* target, const QRect* rect = nullptr, bool copyBackground = false,
               const QColor& background = Qt::black);
    ~CQVZ_MemDC();
    CQVZ_MemDC(const CQVZ_MemDC&) = delete;
    CQVZ_MemDC& operator=(const CQVZ_MemDC&) = delete;

    // The painter to draw with, in the target's coordinates.
    QPainter* painter() { return m_memDraw ? &m_mem : m_target; }
    QPainter* operator->() { return painter(); }
    QRect rect() const { return m_rect; }
    bool IsMemoryDrawing() const { return m_memDraw; }

private:
    QPainter* m_target;
    QRect m_rect;
    bool m_memDraw;
    QPixmap m_buffer;
    QPainter m_mem;
};
