// SPDX-License-Identifier: GPL-3.0-or-later
// Numeric control ids, kept from the dialog templates: layout tables and tests address controls by them.
#pragma once

class QWidget;

// Stores the id on the widget (a dynamic property, so any widget class can carry one).
void SetControlId(QWidget* w, int id);
// The widget's id, or 0 when it has none.
int ControlId(const QWidget* w);
// The first descendant of parent carrying the id, or null.
QWidget* FindControl(QWidget* parent, int id);

template <typename T>
T* FindControlAs(QWidget* parent, int id)
{
    return dynamic_cast<T*>(FindControl(parent, id));
}
