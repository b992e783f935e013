#include "controls/bitmapslider.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "controls/controlid.h"
#include "controls/memdc.h"
#include "controls/winevent.h"
#include "res/skin.h"

namespace {

enum class PairLoad { kLoaded, kNoImage, kNoActive };

// An image's size in device-independent pixels.
QSize LogicalSize(const QImage& image)
{
    return image.deviceIndependentSize().toSize();
}

// A skin image and, when one is named, its active twin; id 0 leaves both null.
PairLoad LoadSkinPair(int id, int activeId, QImage* image, QImage* active)
{
    if (id == 0) {
        return PairLoad::kLoaded;
    }
    *image = LoadSkinImage(id, SkinPixelRatio());
    if (image->isNull()) {
        return PairLoad::kNoImage;
    }
    if (activeId != 0) {
        *active = LoadSkinImage(activeId, SkinPixelRatio());
        if (active->isNull()) {
            return PairLoad::kNoActive;
        }
    }
    return PairLoad::kLoaded;
}

}  // namespace

CBitmapSlider::CBitmapSlider(QWidget* parent, int controlId) : QWidget(parent)
{
    SetControlId(this, controlId);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_NoSystemBackground);
    m_width = width();
    m_height = height();
}

bool CBitmapSlider::PrepareImage(const QImage& src, bool transparent, QRgb key, int kx, int ky, QImage* out,
                                 QRgb* usedKey)
{
    if (src.isNull()) {
        return false;
    }
    QImage img = src.convertToFormat(QImage::Format_RGB32);
    if (transparent) {
        BuildKeyMask(img, key, kx, ky, usedKey);
    }
    *out = img;
    return true;
}

bool CBitmapSlider::LoadChannelImages(int channelId, int activeId, bool transparent, QRgb key, int keyX,
                                      int keyY)
{
    QImage channel;
    QImage active;
    switch (LoadSkinPair(channelId, activeId, &channel, &active)) {
        case PairLoad::kNoImage:
            return false;
        case PairLoad::kNoActive:
            // a named active image that does not load fails the whole call and unloads the channel
            LoadChannelImages(QImage(), QImage(), transparent, key, keyX, keyY);
            return false;
        case PairLoad::kLoaded:
            break;
    }
    return LoadChannelImages(channel, active, transparent, key, keyX, keyY);
}

bool CBitmapSlider::LoadChannelImages(const QImage& channel, const QImage& active, bool transparent, QRgb key,
                                      int keyX, int keyY)
{
    if (channel.isNull()) {
        m_channelLoaded = false;
        m_hasActiveChannel = false;
        m_channel = QImage();
        m_activeChannel = QImage();
        update();
        return true;
    }
    if (!PrepareImage(channel, transparent, key, keyX, keyY, &m_channel, &m_channelKey)) {
        return false;
    }
    m_hasActiveChannel = PrepareImage(active, transparent, key, keyX, keyY, &m_activeChannel, nullptr);
    if (!m_hasActiveChannel) {
        m_activeChannel = QImage();
    }
    m_width = LogicalSize(m_channel).width();
    m_height = LogicalSize(m_channel).height();
    resize(m_width, m_height);
    m_channelTransparent = transparent;
    m_channelLoaded = true;
    update();
    return true;
}

bool CBitmapSlider::LoadThumbImages(int thumbId, int activeId, bool transparent, QRgb key, int keyX, int keyY)
{
    QImage thumb;
    QImage active;
    switch (LoadSkinPair(thumbId, activeId, &thumb, &active)) {
        case PairLoad::kNoImage:
            return false;
        case PairLoad::kNoActive:
            LoadThumbImages(QImage(), QImage(), transparent, key, keyX, keyY);
            return false;
        case PairLoad::kLoaded:
            break;
    }
    return LoadThumbImages(thumb, active, transparent, key, keyX, keyY);
}

bool CBitmapSlider::LoadThumbImages(const QImage& thumb, const QImage& active, bool transparent, QRgb key,
                                    int keyX, int keyY)
{
    if (thumb.isNull()) {
        m_thumbLoaded = false;
        m_hasActiveThumb = false;
        m_thumb = QImage();
        m_activeThumb = QImage();
        update();
        return true;
    }
    if (!PrepareImage(thumb, transparent, key, keyX, keyY, &m_thumb, &m_thumbKey)) {
        return false;
    }
    m_hasActiveThumb = PrepareImage(active, transparent, key, keyX, keyY, &m_activeThumb, nullptr);
    if (!m_hasActiveThumb) {
        m_activeThumb = QImage();
    }
    m_thumbW = LogicalSize(m_thumb).width();
    m_thumbH = LogicalSize(m_thumb).height();
    if (!m_channelLoaded) {
        m_width = width();
        m_height = height();
    }
    m_thumbTransparent = transparent;
    m_thumbLoaded = true;
    update();
    return true;
}

void CBitmapSlider::SetRangeMin(int min, bool redraw)
{
    m_min = min;
    if (redraw) {
        update();
    }
}

void CBitmapSlider::SetRangeMax(int max, bool redraw)
{
    m_max = max;
    if (redraw) {
        update();
    }
}

void CBitmapSlider::SetRange(int min, int max, bool redraw)
{
    SetRangeMin(min, false);
    SetRangeMax(max, redraw);
}

void CBitmapSlider::SetPosition(int pos)
{
    m_pos = pos;
    if (m_pos > m_max) {
        m_pos = m_max;
    }
    if (m_pos < m_min) {
        m_pos = m_min;
    }
    update();
}

int CBitmapSlider::SetPageSize(int size)
{
    const int old = m_page;
    m_page = size;
    return old;
}

void CBitmapSlider::ShowFocusFrame(bool show, bool redraw)
{
    m_showFocusFrame = show;
    if (redraw) {
        update();
    }
}

void CBitmapSlider::Enable(bool enable)
{
    m_enabled = enable;
    if (!enable) {
        m_buttonDown = false;
    }
    update();
}

void CBitmapSlider::SetMargins(int left, int top, int right, int bottom)
{
    m_marginLeft = left;
    m_marginTop = top;
    m_marginRight = right;
    m_marginBottom = bottom;
    update();
}

int CBitmapSlider::PositionToPixel(int pos) const
{
    const int usable = m_width - m_marginRight - m_marginLeft - m_thumbW;
    if (m_max == m_min) {
        // an empty range has nowhere to go: the thumb rests at the start
        return m_marginLeft + m_thumbW / 2;
    }
    const double frac = static_cast<double>(pos - m_min) / static_cast<double>(m_max - m_min);
    return m_marginLeft + static_cast<int>(std::trunc(frac * usable)) + m_thumbW / 2;
}

int CBitmapSlider::PixelToPosition(int x) const
{
    const int usable = m_width - m_marginRight - m_marginLeft - m_thumbW;
    if (usable <= 0) {
        return m_min;
    }
    const double v = m_min + static_cast<double>(x - m_thumbW / 2 - m_marginLeft) / usable * (m_max - m_min);
    return static_cast<int>(std::trunc(v));
}

QSize CBitmapSlider::sizeHint() const
{
    return m_channelLoaded ? LogicalSize(m_channel) : QSize(100, 14);
}

void CBitmapSlider::resizeEvent(QResizeEvent* e)
{
    // Without a channel image the control's own size is the size it works in.
    if (!m_channelLoaded) {
        m_width = width();
        m_height = height();
    }
    QWidget::resizeEvent(e);
}

void CBitmapSlider::paintEvent(QPaintEvent*)
{
    QPainter target(this);
    const QRect client = rect();
    CQVZ_MemDC mem(&target, &client, m_channelTransparent, palette().color(QPalette::Window));
    QPainter* p = mem.painter();
    const bool active = IsSliderEnabled();

    if (m_channelLoaded) {
        if (m_hasActiveChannel && active) {
            // Parts of the images, in device-independent pixels (an image may hold more).
            const auto drawPart = [p](const QImage& image, int x, int w) {
                const qreal ratio = image.devicePixelRatio();
                const int h = LogicalSize(image).height();
                p->drawImage(QRectF(x, 0, w, h), image, QRectF(x * ratio, 0, w * ratio, h * ratio));
            };
            const int px = PositionToPixel(m_pos);
            const int channelW = LogicalSize(m_channel).width();
            if (px < channelW) {
                drawPart(m_channel, px, channelW - px);
            }
            drawPart(m_activeChannel, 0,
                     std::max(0, std::min(px + m_thumbW / 2, LogicalSize(m_activeChannel).width())));
        } else {
            p->drawImage(0, 0, m_channel);
        }
    }
    if (m_thumbLoaded && active) {
        const QImage& thumb = (m_buttonDown && m_hasActiveThumb) ? m_activeThumb : m_thumb;
        p->drawImage(PositionToPixel(m_pos) - m_thumbW / 2, m_marginTop, thumb);
    }
    if (m_showFocusFrame && m_hasFocus && active) {
        p->save();
        p->setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p->setBrush(Qt::NoBrush);
        p->drawRect(client.adjusted(0, 0, -1, -1));
        p->restore();
    }
}

void CBitmapSlider::Notify(int message)
{
    PostWinMessage(parentWidget(), message, ControlId(this), m_pos);
}

void CBitmapSlider::MoveThumbTo(int mouseX)
{
    const int lo = m_marginLeft + m_thumbW / 2;
    const int hi = m_width - m_marginRight - m_thumbW / 2;
    int x = mouseX - m_mouseOffset;
    if (x > hi) {
        x = hi;
    }
    if (x < lo) {
        x = lo;
    }
    if (x != PositionToPixel(m_pos)) {
        SetPosition(PixelToPosition(x));
        Notify(WM_SLIDER_DRAGGING);
    }
}

void CBitmapSlider::mousePressEvent(QMouseEvent* e)
{
    if (!IsSliderEnabled() || e->button() != Qt::LeftButton) {
        return;
    }
    setFocus(Qt::MouseFocusReason);
    m_buttonDown = true;
    const int x = e->position().toPoint().x();
    m_mouseOffset = x - PositionToPixel(m_pos);
    if (std::abs(m_mouseOffset) > m_thumbW / 2) {
        m_mouseOffset = 0;  // pressed off the thumb: its centre jumps to the mouse
    }
    MoveThumbTo(x);
    update();
}

void CBitmapSlider::mouseDoubleClickEvent(QMouseEvent* e)
{
    mousePressEvent(e);
}

void CBitmapSlider::mouseMoveEvent(QMouseEvent* e)
{
    if (!m_buttonDown || !IsSliderEnabled()) {
        return;
    }
    MoveThumbTo(e->position().toPoint().x());
}

void CBitmapSlider::mouseReleaseEvent(QMouseEvent* e)
{
    if (!IsSliderEnabled() || e->button() != Qt::LeftButton) {
        return;
    }
    m_buttonDown = false;
    update();
    Notify(WM_SLIDER_SETTLED);
}

void CBitmapSlider::keyPressEvent(QKeyEvent* e)
{
    if (!IsSliderEnabled()) {
        return;
    }
    int pos = m_pos;
    switch (e->key()) {
        case Qt::Key_PageUp:
            pos = m_pos - m_page;
            break;
        case Qt::Key_PageDown:
            pos = m_pos + m_page;
            break;
        case Qt::Key_End:
            pos = m_max;
            break;
        case Qt::Key_Home:
            pos = m_min;
            break;
        case Qt::Key_Right:
        case Qt::Key_Down:
            pos = m_pos + 1;
            break;
        case Qt::Key_Left:
        case Qt::Key_Up:
            pos = m_pos - 1;
            break;
        default:
            QWidget::keyPressEvent(e);
            return;
    }
    SetPosition(pos);
    Notify(WM_SLIDER_SETTLED);  // even when nothing changed
}

void CBitmapSlider::focusInEvent(QFocusEvent* e)
{
    m_hasFocus = true;
    update();
    QWidget::focusInEvent(e);
}

void CBitmapSlider::focusOutEvent(QFocusEvent* e)
{
    m_hasFocus = false;
    update();
    QWidget::focusOutEvent(e);
}
