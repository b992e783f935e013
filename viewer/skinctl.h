// Makes the main window's skinned controls and reaches the few operations the window
// needs from them, so the handlers do not depend on how each control draws itself.
#pragma once

#include <QString>

class QAbstractButton;
class QLabel;
class QWidget;

namespace viewer {

// A four-image button (normal, selected, focus, disabled at base + 0..3), key colour
// black, sized to its normal image when it has one. base 0: a plain captioned button.
QAbstractButton* MakeImageButton(QWidget* parent, int id, int imageBase, const QString& caption = {});
// A captioned button whose images come from the language's skin set.
QAbstractButton* MakeLangButton(QWidget* parent, int id, int langItem, int skinSet);
// A skinned check box (normal, down, disabled at base + 0..2); base 0: a plain check box.
QAbstractButton* MakeCheckBox(QWidget* parent, int id, int imageBase, const QString& caption = {});
// A view check box drawn from the language's skin set.
QAbstractButton* MakeLangCheckBox(QWidget* parent, int id, int langItem, int skinSet);

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
