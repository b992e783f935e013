// SPDX-License-Identifier: GPL-3.0-or-later
// A static picture drawn with a key colour (black): black pixels leave the background showing.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QRgb>
#include <QWidget>

class TransBitmap : public QWidget {
    Q_OBJECT
public:
    explicit TransBitmap(QWidget* parent = nullptr, int controlId = 0);

    // STM_SETIMAGE: shows the image and returns the one it replaces.
    QPixmap SetBitmap(const QPixmap& image);
    // Loads the image by resource id (0 clears it); false when the id does not load.
    bool SetBitmapId(int id);
    QPixmap GetBitmap() const { return m_image; }
    int BitmapId() const { return m_imageId; }
    QRgb KeyColor() const { return m_keyColor; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QRgb m_keyColor = 0;  // black
    QPixmap m_image;
    QImage m_keyed;
    int m_imageId = 0;
};
