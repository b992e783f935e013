// SPDX-License-Identifier: GPL-3.0-or-later
// A four-image push button whose pictures have a key colour that is left unpainted.
#pragma once

#include <QAbstractButton>
#include <QImage>
#include <QPixmap>
#include <QRgb>

#include "controls/keycolor.h"

class CBitmapButtonTrans : public QAbstractButton {
    Q_OBJECT
public:
    explicit CBitmapButtonTrans(QWidget* parent = nullptr, int controlId = 0);

    // Key colour (24-bit RGB); pixels of it show what lies behind the button.
    virtual void SetKeyColor(QRgb key);
    QRgb KeyColor() const { return m_keyColor; }

    // Images by resource id (0: none): normal, selected (pushed), focus, disabled. False when the
    // normal id does not load; the others simply stay empty when they do not.
    bool LoadBitmaps(int normalId, int selectedId = 0, int focusId = 0, int disabledId = 0);
    // The same from images already at hand (a null pixmap means none).
    bool LoadBitmaps(const QPixmap& normal, const QPixmap& selected = {}, const QPixmap& focus = {},
                     const QPixmap& disabled = {});
    // Resizes the button to its normal image.
    void SizeToContent();

    // The hover image, once loaded, replaces every other image after the mouse first moves over the
    // button. Id 0 keeps the current one.
    virtual void LoadHoverImage(int id);

    // The image the button would draw now (after the choice by state), for callers and tests.
    QPixmap CurrentImage() const;

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    enum { kNormal, kSelected, kFocus, kDisabled, kHover, kImageCount };
    void RebuildKeyed();

    QRgb m_keyColor = kDefaultKeyColor;
    QPixmap m_images[kImageCount];
    QImage m_keyed[kImageCount];  // see-through forms of m_images for m_keyColor
    bool m_hover = false;
    int m_hoverId = 0;
};
