// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/skinctl.h"

#include "controls/bitmapbuttontrans.h"
#include "controls/bitmapslider.h"
#include "controls/controlid.h"
#include "controls/transbitmap.h"
#include "controls/xskinbutton.h"
#include "res/resid.h"
#include "res/skin.h"

#include <QAbstractButton>
#include <QCheckBox>

namespace viewer {

namespace {

// The skin of a plain-captioned control while no image is given.
void Caption(QWidget* w, const QString& caption)
{
    if (auto* button = qobject_cast<QAbstractButton*>(w)) {
        button->setText(caption);
    }
}

}  // namespace

QAbstractButton* MakeImageButton(QWidget* parent, int id, int imageBase, const QString& caption)
{
    auto* button = new CBitmapButtonTrans(parent, id);
    button->SetKeyColor(qRgb(0, 0, 0));
    if (imageBase != 0 &&
        button->LoadBitmaps(SkinId(imageBase, kSkinNormal), SkinId(imageBase, kSkinSelected),
                            SkinId(imageBase, kSkinFocus), SkinId(imageBase, kSkinDisabled))) {
        button->SizeToContent();
    } else {
        Caption(button, caption);
    }
    SetControlId(button, id);
    return button;
}

QAbstractButton* MakeLangButton(QWidget* parent, int id, int langItem, int skinSet)
{
    return MakeImageButton(parent, id, LangSkinId(langItem, static_cast<SkinSet>(skinSet)));
}

QWidget* MakeCheckBox(QWidget* parent, int id, int imageBase, const QString& caption)
{
    QWidget* box = nullptr;
    if (imageBase != 0) {
        auto* skinned = new CxSkinButton(parent, id, CxSkinButton::kCheckBox);
        skinned->LoadSkinImages(SkinId(imageBase, kSkinNormal), SkinId(imageBase, kSkinSelected), 0,
                                SkinId(imageBase, kSkinDisabled), 0, 0, CxSkinButton::kDrawAsIs, 0, 0);
        box = skinned;
    } else {
        box = new QCheckBox(caption, parent);
    }
    SetControlId(box, id);
    return box;
}

QWidget* MakeLangCheckBox(QWidget* parent, int id, int langItem, int skinSet)
{
    return MakeCheckBox(parent, id, LangSkinId(langItem, static_cast<SkinSet>(skinSet)));
}

bool IsChecked(const QWidget* box)
{
    if (const auto* skinned = qobject_cast<const CxSkinButton*>(box)) {
        return skinned->GetCheck();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(box)) {
        return button->isChecked();
    }
    return false;
}

void SetChecked(QWidget* box, bool checked)
{
    if (auto* skinned = qobject_cast<CxSkinButton*>(box)) {
        skinned->SetCheck(checked);
    } else if (auto* button = qobject_cast<QAbstractButton*>(box)) {
        button->setChecked(checked);
    }
}

void ConnectClicked(QWidget* button, QObject* context, std::function<void()> handler)
{
    if (auto* skinned = qobject_cast<CxSkinButton*>(button)) {
        QObject::connect(skinned, &CxSkinButton::clicked, context, handler);
    } else if (auto* plain = qobject_cast<QAbstractButton*>(button)) {
        QObject::connect(plain, &QAbstractButton::clicked, context, handler);
    }
}

void CheckRef::update()
{
    m_box->update();
}

QWidget* MakeSlider(QWidget* parent, int id, int channelId, int activeId, int thumbId)
{
    auto* slider = new CBitmapSlider(parent, id);
    slider->LoadChannelImages(channelId, activeId, true, kKeyFromPixel, 0, 0);
    slider->LoadThumbImages(thumbId, thumbId, true, kKeyFromPixel, 0, 0);
    SetControlId(slider, id);
    return slider;
}

void SetSliderRange(QWidget* slider, int minimum, int maximum)
{
    static_cast<CBitmapSlider*>(slider)->SetRange(minimum, maximum, true);
}

void SetSliderPos(QWidget* slider, int position)
{
    static_cast<CBitmapSlider*>(slider)->SetPosition(position);
}

int SliderPos(const QWidget* slider)
{
    return static_cast<const CBitmapSlider*>(slider)->GetPosition();
}

int SliderMax(const QWidget* slider)
{
    return static_cast<const CBitmapSlider*>(slider)->GetRangeMax();
}

void SetSliderPageSize(QWidget* slider, int pageSize)
{
    static_cast<CBitmapSlider*>(slider)->SetPageSize(pageSize);
}

QWidget* MakePicture(QWidget* parent, int id)
{
    auto* picture = new TransBitmap(parent, id);
    SetControlId(picture, id);
    return picture;
}

void SetPicture(QWidget* picture, int bitmapId)
{
    static_cast<TransBitmap*>(picture)->SetBitmapId(bitmapId);
}

int PictureId(const QWidget* picture)
{
    return static_cast<const TransBitmap*>(picture)->BitmapId();
}

}  // namespace viewer
