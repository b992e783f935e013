// The main window's two layouts as data: one table per mode of where each control goes
// and whether it shows. The tables live in mainwindow_layout.cpp, beside the code that
// applies them.
#pragma once

#include <QRect>
#include <QSize>
#include <span>

namespace viewer {

// Whether a control is shown, hidden or left as it is.
enum class Shown : signed char { Keep = -1, No = 0, Yes = 1 };

// Where a coordinate counts from: the client's left or top edge, or its right or bottom one.
enum class From : unsigned char { Start, End };

// How a control's rectangle is found.
enum class Geometry : unsigned char {
    Fixed,        // x, y, w, h below
    FullPicture,  // the full-screen picture rectangle
    Unchanged,    // not moved; only shown or hidden
};

struct LayoutEntry {
    int id;
    Geometry geometry;
    From xFrom;
    int x;  // from the left edge, or the distance of the left edge from the right edge
    From yFrom;
    int y;
    int w;
    int h;
    Shown shown;
};

// The table of a layout mode (kLayoutNormal or kLayoutFull); empty for any other.
std::span<const LayoutEntry> WindowLayoutTable(int mode);

// An entry's rectangle for a client of this size; an empty rectangle for Unchanged.
QRect PlaceOf(const LayoutEntry& entry, QSize client, const QRect& fullPicture);

}  // namespace viewer
