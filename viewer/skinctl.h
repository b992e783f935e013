// SPDX-License-Identifier: GPL-3.0-or-later
// Makes the main window's skinned controls and reaches the few operations the window
// needs from them, so the handlers do not depend on how each control draws itself.
#pragma once

#include <QString>
#include <functional>

class QAbstractButton;
class QLabel;
class QObject;
class QWidget;

namespace viewer {

// A four-image button (normal, selected, focus, disabled at base + 0..3), key colour
// black, sized to its normal image when it has one. base 0: a plain captioned button.
QAbstractButton* MakeImageButton(QWidget* parent, int id, int imageBase, const QString& caption = {});
// A captioned button whose images come from the language's skin set.
QAbstractButton* MakeLangButton(QWidget* parent, int id, int langItem, int skinSet);
// A skinned check box (normal, down, disabled at base + 0, 1, 3); base 0: a plain check box.
QWidget* MakeCheckBox(QWidget* parent, int id, int imageBase, const QString& caption = {});
// A view check box drawn from the language's skin set.
QWidget* MakeLangCheckBox(QWidget* parent, int id, int langItem, int skinSet);

// The check state of a skinned or plain check box.
bool IsChecked(const QWidget* box);
void SetChecked(QWidget* box, bool checked);
// Calls handler when the button or box is clicked.
void ConnectClicked(QWidget* button, QObject* context, std::function<void()> handler);

// A check box by reference, so handlers read like the button code they replace.
class CheckRef {
public:
    explicit CheckRef(QWidget* box) : m_box(box) {}
    CheckRef* operator->() { return this; }
    bool isChecked() const { return IsChecked(m_box); }
    void setChecked(bool checked) { SetChecked(m_box, checked); }
    void update();

private:
    QWidget* m_box;
};

// A bitmap slider from its channel, active-channel and thumb images (0: plain).
QWidget* MakeSlider(QWidget* parent, int id, int channelId, int activeId, int thumbId);
void SetSliderRange(QWidget* slider, int minimum, int maximum);
void SetSliderPos(QWidget* slider, int position);
int SliderPos(const QWidget* slider);
int SliderMax(const QWidget* slider);
void SetSliderPageSize(QWidget* slider, int pageSize);

// A transparent picture (key colour black) and its bitmap by resource id.
QWidget* MakePicture(QWidget* parent, int id);
void SetPicture(QWidget* picture, int bitmapId);
// Resource id of the bitmap a picture shows (0 none) and how often one was set, for checks.
int PictureId(const QWidget* picture);

}  // namespace viewer
