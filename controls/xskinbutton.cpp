#include "controls/xskinbutton.h"

#include <qdrawutil.h>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <utility>

#include "controls/controlid.h"
#include "controls/winevent.h"
#include "res/skin.h"

void PaintSkinImage(QPainter* p, const QPixmap& image, const QRect& rect, int drawMode)
{
    if (p == nullptr || image.isNull()) {
        return;
    }
    switch (drawMode) {
        case CxSkinButton::kDrawTile:
            p->drawTiledPixmap(rect, image);
            break;
        case CxSkinButton::kDrawStretch:
            p->drawPixmap(rect, image);
            break;
        default:
            p->save();
            p->setClipRect(rect);
            p->drawPixmap(rect.topLeft(), image);
            p->restore();
            break;
    }
}

CxSkinButton::CxSkinButton(QWidget* parent, int controlId, Kind kind) : QWidget(parent), m_kind(kind)
{
    SetControlId(this, controlId);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_NoSystemBackground);
    m_textColor = palette().color(QPalette::ButtonText);
}

CxSkinButton::Kind CxSkinButton::KindFromStyle(unsigned style)
{
    if ((style & 3u) == 3u) {
        return kCheckBox;
    }
    if ((style & 9u) == 9u) {
        return kRadioButton;
    }
    return kPushButton;
}

void CxSkinButton::SetKind(Kind kind)
{
    m_kind = kind;
    if (m_kind == kPushButton) {
        m_checked = false;
    }
    update();
}

bool CxSkinButton::LoadSkinImages(int normalId, int downId, int overId, int disabledId, int focusId,
                                  int maskId, int drawMode, int border, int margin)
{
    (void)maskId;  // window regions from a mask are not supported
    auto load = [](int id) { return id != 0 ? LoadSkinBitmap(id) : QPixmap(); };
    return LoadSkinImages(load(normalId), load(downId), load(overId), load(disabledId), load(focusId),
                          drawMode, border, margin);
}

bool CxSkinButton::LoadSkinImages(const QPixmap& normal, const QPixmap& down, const QPixmap& over,
                                  const QPixmap& disabled, const QPixmap& focus, int drawMode, int border,
                                  int margin)
{
    m_images[kNormal] = normal;
    m_images[kDown] = down;
    m_images[kOver] = over;
    m_images[kDisabled] = disabled.isNull() ? normal : disabled;
    m_images[kFocus] = focus;
    m_drawMode = drawMode > 1 ? kDrawTile : (drawMode < 0 ? kDrawAsIs : drawMode);
    m_border = border;
    m_margin = margin < 0 ? 0 : margin;
    update();
    return !normal.isNull();
}

void CxSkinButton::SetCheck(bool checked)
{
    const bool was = m_checked;
    m_checked = checked && m_kind != kPushButton;
    if (m_kind == kRadioButton && m_checked && parentWidget() != nullptr) {
        const auto siblings = parentWidget()->findChildren<CxSkinButton*>(Qt::FindDirectChildrenOnly);
        for (CxSkinButton* b : siblings) {
            if (b != this && b->m_group == m_group) {
                PostWinMessage(b, WM_SKIN_UNCHECK, 0, 0);
            }
        }
    }
    update();
    if (was != m_checked) {
        emit toggled(m_checked);
    }
}

void CxSkinButton::SetText(const QString& text)
{
    m_text = text;
    update();
}

void CxSkinButton::SetTextColor(const QColor& c)
{
    m_textColor = c;
    update();
}

QSize CxSkinButton::sizeHint() const
{
    return m_images[kNormal].isNull() ? QSize(24, 24) : m_images[kNormal].deviceIndependentSize().toSize();
}

bool CxSkinButton::event(QEvent* e)
{
    if (const CWinEvent* w = CWinEvent::From(e); w != nullptr && w->message() == WM_SKIN_UNCHECK) {
        if (m_checked) {
            m_checked = false;
            update();
            emit toggled(false);
        }
        return true;
    }
    return QWidget::event(e);
}

int CxSkinButton::ChooseImage() const
{
    if (!isEnabled()) {
        return kDisabled;
    }
    if (m_pushed || m_checked) {
        return kDown;
    }
    if (m_mouseOver && !m_images[kOver].isNull()) {
        return kOver;
    }
    if (hasFocus() && !m_images[kFocus].isNull()) {
        return kFocus;
    }
    return kNormal;
}

QPixmap CxSkinButton::CurrentImage() const
{
    return m_images[ChooseImage()];
}

void CxSkinButton::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    QRect textRect = r.adjusted(m_margin + 2, 0, -(m_margin + 2), 0);
    const int which = ChooseImage();
    const QPixmap& img = m_images[which];
    if (img.isNull()) {
        p.fillRect(r, palette().color(QPalette::Button));
    } else {
        PaintSkinImage(&p, img, r, m_drawMode);
    }

    if (which == kDisabled) {
        if (m_border != 0) {
            qDrawShadePanel(&p, r, palette(), false, 1);
        }
        // embossed grey caption: highlight below right, grey text on top
        const QPoint shift = m_checked ? QPoint(1, 1) : QPoint(0, 0);
        p.setPen(palette().color(QPalette::Light));
        p.drawText(textRect.translated(shift), Qt::AlignCenter | Qt::TextSingleLine, m_text);
        p.setPen(palette().color(QPalette::Disabled, QPalette::ButtonText));
        p.drawText(textRect.translated(shift - QPoint(1, 1)), Qt::AlignCenter | Qt::TextSingleLine, m_text);
        return;
    }

    const bool sunken = which == kDown;
    if (sunken) {
        textRect.translate(1, 1);
    }
    if (m_border != 0) {
        qDrawShadePanel(&p, r, palette(), sunken, 1);
    }
    if (hasFocus() && m_margin > 0) {
        p.save();
        p.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawRect(r.adjusted(m_margin, m_margin, -m_margin - 1, -m_margin - 1));
        p.restore();
    }
    if (!m_text.isEmpty()) {
        p.setPen(m_textColor);
        p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, m_text);
    }
}

void CxSkinButton::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(e);
        return;
    }
    m_mouseOver = false;
    m_buttonDown = true;
    m_pushed = true;
    setFocus(Qt::MouseFocusReason);
    update();
}

void CxSkinButton::mouseMoveEvent(QMouseEvent* e)
{
    if (m_buttonDown) {
        // the press grabs the mouse; the pushed look follows the cursor on and off the button
        const bool over = rect().contains(e->position().toPoint());
        if (over != m_pushed) {
            m_pushed = over;
            update();
        }
    } else if (!m_mouseOver) {
        m_mouseOver = true;
        update();
    }
    QWidget::mouseMoveEvent(e);
}

void CxSkinButton::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !m_buttonDown) {
        QWidget::mouseReleaseEvent(e);
        return;
    }
    const bool over = rect().contains(e->position().toPoint());
    if (over) {
        if (m_kind == kCheckBox) {
            SetCheck(!m_checked);
        } else if (m_kind == kRadioButton) {
            SetCheck(true);
        }
    }
    m_buttonDown = false;
    m_pushed = false;
    update();
    if (over) {
        emit clicked();
    }
}

void CxSkinButton::mouseDoubleClickEvent(QMouseEvent* e)
{
    // a double click is a second press
    mousePressEvent(e);
}

void CxSkinButton::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat()) {
        m_spaceDown = true;
        if (m_kind == kCheckBox) {
            SetCheck(!m_checked);
        } else if (m_kind == kRadioButton) {
            SetCheck(true);
        }
        return;
    }
    QWidget::keyPressEvent(e);
}

void CxSkinButton::keyReleaseEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Space && !e->isAutoRepeat()) {
        // A release whose press went elsewhere (the window took it as a key of its own) is
        // not a click.
        if (std::exchange(m_spaceDown, false)) {
            emit clicked();
        }
        return;
    }
    QWidget::keyReleaseEvent(e);
}

void CxSkinButton::focusOutEvent(QFocusEvent* e)
{
    m_spaceDown = false;
    if (m_buttonDown) {
        m_buttonDown = false;
        m_pushed = false;
        update();
    }
    QWidget::focusOutEvent(e);
}

void CxSkinButton::enterEvent(QEnterEvent* e)
{
    if (!m_buttonDown && !m_mouseOver) {
        m_mouseOver = true;
        update();
    }
    QWidget::enterEvent(e);
}

void CxSkinButton::leaveEvent(QEvent* e)
{
    m_mouseOver = false;
    update();
    QWidget::leaveEvent(e);
}
