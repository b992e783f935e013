// SPDX-License-Identifier: GPL-3.0-or-later
#include "res/skinpalette.h"

QPalette SkinPalette()
{
    QPalette p;
    const QColor text(skin::kText);
    const QColor disabled(skin::kTextDisabled);
    p.setColor(QPalette::Window, QColor(skin::kBackground));
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, QColor(skin::kField));
    p.setColor(QPalette::AlternateBase, QColor(skin::kPanel));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(skin::kPanel));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(skin::kDanger));
    p.setColor(QPalette::Highlight, QColor(skin::kAccent));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Light, QColor(skin::kPanelHighlight));
    p.setColor(QPalette::Midlight, QColor(skin::kPanelHighlight));
    p.setColor(QPalette::Mid, QColor(skin::kPanelBorder));
    p.setColor(QPalette::Dark, QColor(skin::kField));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::ToolTipBase, QColor(skin::kPanel));
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, QColor(skin::kTextDim));
    p.setColor(QPalette::Link, QColor(skin::kAccentLight));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, disabled);
    }
    p.setColor(QPalette::Disabled, QPalette::Button, QColor(skin::kBackground));
    p.setColor(QPalette::Disabled, QPalette::Base, QColor(skin::kBackground));
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(skin::kPanelHighlight));
    return p;
}
