// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/controlid.h"

#include <QVariant>
#include <QWidget>

namespace {
constexpr const char* kIdProperty = "mubControlId";
}

void SetControlId(QWidget* w, int id)
{
    if (w != nullptr) {
        w->setProperty(kIdProperty, id);
    }
}

int ControlId(const QWidget* w)
{
    if (w == nullptr) {
        return 0;
    }
    const QVariant v = w->property(kIdProperty);
    return v.isValid() ? v.toInt() : 0;
}

QWidget* FindControl(QWidget* parent, int id)
{
    if (parent == nullptr || id == 0) {
        return nullptr;
    }
    const auto children = parent->findChildren<QWidget*>();
    for (QWidget* c : children) {
        if (ControlId(c) == id) {
            return c;
        }
    }
    return nullptr;
}
