// SPDX-License-Identifier: GPL-3.0-or-later
// A strip chart drawn into an off-screen bitmap: a grid and any number of series, each a
// ring of the last 1024 values, newest at the left. UI thread only.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QPoint>
#include <QWidget>
#include <array>
#include <memory>
#include <vector>

class CGraphStatic : public QWidget {
    Q_OBJECT

public:
    // Values kept per series.
    static constexpr int kRingSize = 1024;

    struct Series {
        QColor color;
        bool visible = true;
        int penWidth = 1;
        std::array<int, kRingSize> ring{};  // pixel offsets above the plot bottom
        int writeIndex = 0;
    };
    using SeriesHandle = Series*;

    explicit CGraphStatic(QWidget* parent = nullptr);

    SeriesHandle AddSeries(QColor color, int penWidth);
    // Zeroes the ring and its write index; does not redraw.
    void ClearSeries(SeriesHandle series);
    // Scales value by client height / value range, clamps it into the plot and stores it.
    void AddValue(SeriesHandle series, int value, bool redraw = true);
    void SetGrid(bool on);
    void SetRange(int valueRange, int gridSpacing);
    void SetStep(int pixels);
    void Redraw();

    // What the last redraw put on screen, for checks: the points of a series, left first.
    std::vector<QPoint> SeriesPoints(SeriesHandle series) const;
    QRect PlotRect() const { return m_plot; }
    const QPixmap& Bitmap() const { return m_bitmap; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool Owns(SeriesHandle series) const;
    void Attach();
    void SyncSize();

    QPixmap m_bitmap;
    QColor m_background{0x01, 0x00, 0x00};
    QColor m_gridColor{0x29, 0x29, 0x29};
    QRect m_plot;  // left, top, right, bottom kept as edges: see PlotBottom()
    int m_plotLeft = 0;
    int m_plotTop = 0;
    int m_plotRight = 0;
    int m_plotBottom = 0;
    bool m_grid = true;
    int m_valueRange = 100;
    int m_gridSpacing = 10;
    int m_rows = 10;
    int m_step = 10;
    std::vector<std::unique_ptr<Series>> m_series;
};
