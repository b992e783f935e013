// SPDX-License-Identifier: GPL-3.0-or-later
// The skin's colours for windows made of ordinary widgets (dialogs, message boxes), so
// they look like the skinned main window. res/skingen paints the skin with these values.
#pragma once

#include <QColor>
#include <QPalette>

namespace skin {

constexpr QRgb kBackground = 0x1c1f24;      // window background, top of the main window's gradient
constexpr QRgb kPanel = 0x23272e;           // raised panels and buttons
constexpr QRgb kPanelBorder = 0x30353e;     // panel and group frames
constexpr QRgb kPanelHighlight = 0x3a404a;  // hovered buttons
constexpr QRgb kField = 0x17191d;           // list and entry backgrounds
constexpr QRgb kText = 0xe6e9ee;
constexpr QRgb kTextDim = 0x8d95a1;
constexpr QRgb kTextDisabled = 0x5b626d;
constexpr QRgb kAccent = 0x359cff;
constexpr QRgb kAccentDark = 0x1f6fc9;
constexpr QRgb kAccentLight = 0x7cc0ff;
constexpr QRgb kDanger = 0xe5484d;
constexpr QRgb kGreen = 0x3ddc84;

}  // namespace skin

// A palette of the colours above for the whole of a window.
QPalette SkinPalette();
