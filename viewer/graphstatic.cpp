// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/graphstatic.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>

CGraphStatic::CGraphStatic(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    Attach();
}

void CGraphStatic::Attach()
{
    const int w = std::max(1, width());
    const int h = std::max(1, height());
    m_plotLeft = 4;
    m_plotTop = 2;
    m_plotRight = w - 2;
    m_plotBottom = h - 2;
    m_plot = QRect(QPoint(m_plotLeft, m_plotTop), QPoint(m_plotRight, m_plotBottom));
    m_rows = m_gridSpacing > 0 ? m_valueRange / m_gridSpacing : 0;
    m_bitmap = QPixmap(w, h);
    m_bitmap.fill(m_background);
}

CGraphStatic::SeriesHandle CGraphStatic::AddSeries(QColor color, int penWidth)
{
    auto series = std::make_unique<Series>();
    series->color = color;
    series->penWidth = penWidth;
    m_series.push_back(std::move(series));
    return m_series.back().get();
}

bool CGraphStatic::Owns(SeriesHandle series) const
{
    return std::any_of(m_series.begin(), m_series.end(),
                       [series](const auto& s) { return s.get() == series; });
}

void CGraphStatic::ClearSeries(SeriesHandle series)
{
    if (!Owns(series)) {
        return;
    }
    series->writeIndex = 0;
    series->ring.fill(0);
}

void CGraphStatic::AddValue(SeriesHandle series, int value, bool redraw)
{
    if (m_series.empty() || !Owns(series)) {
        return;
    }
    SyncSize();
    const int range = m_valueRange != 0 ? m_valueRange : 1;
    const int plotHeight = m_plotBottom - m_plotTop;
    int offset = static_cast<int>(static_cast<long long>(value) * height() / range);
    offset = std::clamp(offset, 0, std::max(0, plotHeight));
    series->ring[series->writeIndex] = offset;
    series->writeIndex = (series->writeIndex + 1) % kRingSize;
    if (redraw) {
        Redraw();
    }
}

void CGraphStatic::SetGrid(bool on)
{
    m_grid = on;
    Redraw();
}

void CGraphStatic::SetRange(int valueRange, int gridSpacing)
{
    m_valueRange = valueRange;
    m_gridSpacing = gridSpacing;
    m_rows = gridSpacing > 0 ? valueRange / gridSpacing : 0;
    Redraw();
}

void CGraphStatic::SetStep(int pixels)
{
    m_step = pixels;
    Redraw();
}

std::vector<QPoint> CGraphStatic::SeriesPoints(SeriesHandle series) const
{
    // The plot as the last redraw or added value saw it.
    std::vector<QPoint> points;
    if (!Owns(series) || !series->visible) {
        return points;
    }
    const int w = series->writeIndex;
    if (w == 0) {
        points.emplace_back(m_plotLeft, m_plotBottom - series->ring[0]);
        return points;
    }
    for (int j = 0; j < w; ++j) {
        points.emplace_back(m_plotLeft + j * m_step, m_plotBottom - series->ring[w - 1 - j]);
    }
    return points;
}

void CGraphStatic::SyncSize()
{
    // A hidden widget gets its resize event only when shown; follow the size at once.
    if (m_bitmap.size() != size()) {
        Attach();
    }
}

void CGraphStatic::Redraw()
{
    SyncSize();
    QPainter p(&m_bitmap);
    p.fillRect(m_bitmap.rect(), m_background);
    if (m_grid) {
        p.setPen(QPen(m_gridColor, 1));
        p.drawLine(m_plotLeft, m_plotTop, m_plotLeft, m_plotBottom);
        p.drawLine(m_plotRight, m_plotTop, m_plotRight, m_plotBottom);
        // One pixel per row at least; smaller charts would loop forever.
        const int rowPixels = m_rows > 0 ? (m_plotBottom - m_plotTop) / m_rows : 0;
        if (rowPixels > 0) {
            for (int y = m_plotBottom - rowPixels; y > m_plotTop; y -= rowPixels) {
                p.drawLine(m_plotLeft, y, m_plotRight, y);
            }
        }
    }
    for (const auto& series : m_series) {
        if (!series->visible) {
            continue;
        }
        p.setPen(QPen(series->color, series->penWidth));
        const std::vector<QPoint> points = SeriesPoints(series.get());
        for (size_t i = 0; i < points.size(); ++i) {
            p.drawPoint(points[i]);
            if (i > 0) {
                p.drawLine(points[i - 1], points[i]);
            }
        }
    }
    p.end();
    update();
}

void CGraphStatic::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.drawPixmap(0, 0, m_bitmap);
}

void CGraphStatic::resizeEvent(QResizeEvent*)
{
    Attach();
    Redraw();
}
