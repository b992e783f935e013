#include "controls/transbitmap.h"

#include <QPainter>

#include "controls/controlid.h"
#include "controls/keycolor.h"
#include "res/skin.h"

TransBitmap::TransBitmap(QWidget* parent, int controlId) : QWidget(parent)
{
    SetControlId(this, controlId);
    setAttribute(Qt::WA_NoSystemBackground);
}

QPixmap TransBitmap::SetBitmap(const QPixmap& image)
{
    QPixmap old = m_image;
    m_image = image;
    m_keyed = KeyedImage(image.toImage(), m_keyColor);
    m_imageId = 0;
    update();
    return old;
}

bool TransBitmap::SetBitmapId(int id)
{
    const QPixmap img = id != 0 ? LoadSkinBitmap(id) : QPixmap();
    SetBitmap(img);
    m_imageId = img.isNull() ? 0 : id;
    return id == 0 || !img.isNull();
}

QSize TransBitmap::sizeHint() const
{
    return m_image.isNull() ? QSize(16, 16) : m_image.deviceIndependentSize().toSize();
}

void TransBitmap::paintEvent(QPaintEvent*)
{
    if (m_keyed.isNull()) {
        return;
    }
    QPainter p(this);
    p.drawImage(0, 0, m_keyed);
}
