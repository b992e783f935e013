#include "controls/bitmapbuttontrans.h"

#include <QPainter>

#include "controls/controlid.h"
#include "res/skin.h"

CBitmapButtonTrans::CBitmapButtonTrans(QWidget* parent, int controlId) : QAbstractButton(parent)
{
    SetControlId(this, controlId);
    setFocusPolicy(Qt::StrongFocus);
    // Nothing is erased: the parent's painting shows through key-coloured pixels.
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

void CBitmapButtonTrans::SetKeyColor(QRgb key)
{
    m_keyColor = key & 0xFFFFFFu;
    RebuildKeyed();
    update();
}

bool CBitmapButtonTrans::LoadBitmaps(int normalId, int selectedId, int focusId, int disabledId)
{
    auto load = [](int id) { return id != 0 ? LoadSkinBitmap(id) : QPixmap(); };
    return LoadBitmaps(load(normalId), load(selectedId), load(focusId), load(disabledId));
}

bool CBitmapButtonTrans::LoadBitmaps(const QPixmap& normal, const QPixmap& selected, const QPixmap& focus,
                                     const QPixmap& disabled)
{
    m_images[kNormal] = normal;
    m_images[kSelected] = selected;
    m_images[kFocus] = focus;
    m_images[kDisabled] = disabled;
    RebuildKeyed();
    update();
    return !normal.isNull();
}

void CBitmapButtonTrans::SizeToContent()
{
    if (!m_images[kNormal].isNull()) {
        resize(m_images[kNormal].deviceIndependentSize().toSize());
    }
}

void CBitmapButtonTrans::LoadHoverImage(int id)
{
    m_hoverId = id;
    if (id != 0) {
        m_images[kHover] = LoadSkinBitmap(id);
        RebuildKeyed();
    }
}

QSize CBitmapButtonTrans::sizeHint() const
{
    return m_images[kNormal].isNull() ? QSize(16, 16) : m_images[kNormal].deviceIndependentSize().toSize();
}

void CBitmapButtonTrans::RebuildKeyed()
{
    for (int i = 0; i < kImageCount; ++i) {
        m_keyed[i] = KeyedImage(m_images[i].toImage(), m_keyColor);
    }
}

static int ChooseImage(bool hover, bool hasHover, bool down, bool hasSelected, bool focus, bool hasFocus,
                       bool disabled, bool hasDisabled)
{
    enum { kNormal, kSelected, kFocus, kDisabled, kHover };
    if (hover && hasHover) {
        return kHover;
    }
    if (down && hasSelected) {
        return kSelected;
    }
    if (focus && hasFocus) {
        return kFocus;
    }
    if (disabled && hasDisabled) {
        return kDisabled;
    }
    return kNormal;
}

QPixmap CBitmapButtonTrans::CurrentImage() const
{
    const int i =
        ChooseImage(m_hover, !m_images[kHover].isNull(), isDown(), !m_images[kSelected].isNull(), hasFocus(),
                    !m_images[kFocus].isNull(), !isEnabled(), !m_images[kDisabled].isNull());
    return m_images[i];
}

void CBitmapButtonTrans::paintEvent(QPaintEvent*)
{
    const int i =
        ChooseImage(m_hover, !m_images[kHover].isNull(), isDown(), !m_images[kSelected].isNull(), hasFocus(),
                    !m_images[kFocus].isNull(), !isEnabled(), !m_images[kDisabled].isNull());
    if (m_keyed[i].isNull()) {
        return;
    }
    QPainter p(this);
    p.drawImage(0, 0, m_keyed[i]);
}

void CBitmapButtonTrans::enterEvent(QEnterEvent* e)
{
    if (!m_hover && !m_images[kHover].isNull()) {
        m_hover = true;  // nothing clears it again, as with the original hover tracking
        update();
    }
    QAbstractButton::enterEvent(e);
}

void CBitmapButtonTrans::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_hover && !m_images[kHover].isNull()) {
        m_hover = true;
        update();
    }
    QAbstractButton::mouseMoveEvent(e);
}
