// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/memdc.h"

#include <QPaintDevice>

CQVZ_MemDC::CQVZ_MemDC(QPainter* target, const QRect* rect, bool copyBackground, const QColor& background)
    : m_target(target),
      m_memDraw(target != nullptr && target->device() != nullptr &&
                target->device()->devType() != QInternal::Printer)
{
    if (target == nullptr) {
        return;
    }
    if (rect != nullptr) {
        m_rect = *rect;
    } else if (target->hasClipping()) {
        m_rect = target->clipBoundingRect().toAlignedRect();
    } else if (target->device() != nullptr) {
        m_rect = QRect(0, 0, target->device()->width(), target->device()->height());
    }
    if (!m_memDraw || m_rect.isEmpty()) {
        m_memDraw = false;
        return;
    }
    const qreal dpr = target->device()->devicePixelRatioF();
    m_buffer = QPixmap(m_rect.size() * dpr);
    m_buffer.setDevicePixelRatio(dpr);
    // See-through start: compositing the buffer leaves the target's content where nothing is drawn.
    m_buffer.fill(copyBackground ? QColor(Qt::transparent) : background);
    m_mem.begin(&m_buffer);
    m_mem.setFont(target->font());
    m_mem.setRenderHints(target->renderHints());
    m_mem.translate(-m_rect.topLeft());
}

CQVZ_MemDC::~CQVZ_MemDC()
{
    if (!m_memDraw) {
        return;
    }
    m_mem.end();
    m_target->drawPixmap(m_rect.topLeft(), m_buffer);
}
