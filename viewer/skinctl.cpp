#include "viewer/skinctl.h"

#include "controls/controlid.h"
#include "controls/winevent.h"
#include "res/resid.h"
#include "res/skin.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>
#include <QStyle>

namespace viewer {

namespace {

// A button drawn from its state images; black pixels let the background show.
class ImageButton : public QPushButton {
public:
    ImageButton(QWidget* parent, int base, bool checkable, int images)
        : QPushButton(parent), m_base(base), m_images(images)
    {
        setCheckable(checkable);
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_NoSystemBackground);
        for (int i = 0; i < images; ++i) {
            m_pixmaps[i] = KeyedBitmap(base ? base + i : 0);
        }
        if (!m_pixmaps[0].isNull()) {
            resize(m_pixmaps[0].size());
        }
    }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        if (m_pixmaps[0].isNull()) {
            QPushButton::paintEvent(e);
            return;
        }
        QPainter p(this);
        int state = 0;
        if (!isEnabled()) {
            state = m_images == 4 ? 3 : 2;
        } else if (isDown() || isChecked()) {
            state = 1;
        }
        const QPixmap& pm = m_pixmaps[state].isNull() ? m_pixmaps[0] : m_pixmaps[state];
        p.drawPixmap(0, 0, pm);
    }

private:
    static QPixmap KeyedBitmap(int id)
    {
        QPixmap pm = LoadSkinBitmap(id);
        if (!pm.isNull()) {
            pm.setMask(pm.createMaskFromColor(Qt::black));
        }
        return pm;
    }

    int m_base;
    int m_images;
    QPixmap m_pixmaps[4];
};

// A horizontal bitmap-less slider that reports to its parent like the skinned one: a
// settled message on release and after each key.
class PlainSlider : public QSlider {
public:
    explicit PlainSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent)
    {
        setRange(0, 100);
        setFocusPolicy(Qt::ClickFocus);
        connect(this, &QSlider::sliderReleased, this, [this] { Settle(); });
        connect(this, &QSlider::sliderMoved, this, [this](int pos) {
            PostWinMessage(parentWidget(), WM_SLIDER_DRAGGING, ControlId(this), pos);
        });
    }

protected:
    void keyPressEvent(QKeyEvent* e) override
    {
        QSlider::keyPressEvent(e);
        Settle();
    }
    void mousePressEvent(QMouseEvent* e) override
    {
        // Jump to the click instead of paging.
        if (e->button() == Qt::LeftButton && maximum() > minimum()) {
            const int pos =
                QStyle::sliderValueFromPosition(minimum(), maximum(), e->position().toPoint().x(), width());
            setSliderPosition(pos);
        }
        QSlider::mousePressEvent(e);
    }

private:
    void Settle() { PostWinMessage(parentWidget(), WM_SLIDER_SETTLED, ControlId(this), value()); }
};

}  // namespace

QAbstractButton* MakeImageButton(QWidget* parent, int id, int imageBase, const QString& caption)
{
    auto* button = new ImageButton(parent, imageBase, false, 4);
    button->setText(imageBase ? QString() : caption);
    SetControlId(button, id);
    return button;
}

QAbstractButton* MakeLangButton(QWidget* parent, int id, int langItem, int skinSet)
{
    return MakeImageButton(parent, id, LangSkinId(langItem, static_cast<SkinSet>(skinSet)));
}

QAbstractButton* MakeCheckBox(QWidget* parent, int id, int imageBase, const QString& caption)
{
    QAbstractButton* box = nullptr;
    if (imageBase) {
        box = new ImageButton(parent, imageBase, true, 3);
    } else {
        box = new QCheckBox(caption, parent);
    }
    SetControlId(box, id);
    return box;
}

QAbstractButton* MakeLangCheckBox(QWidget* parent, int id, int langItem, int skinSet)
{
    auto* box = new ImageButton(parent, LangSkinId(langItem, static_cast<SkinSet>(skinSet)), true, 4);
    SetControlId(box, id);
    return box;
}

QWidget* MakeSlider(QWidget* parent, int id, int, int, int)
{
    auto* slider = new PlainSlider(parent);
    SetControlId(slider, id);
    return slider;
}

void SetSliderRange(QWidget* slider, int minimum, int maximum)
{
    auto* s = static_cast<QSlider*>(slider);
    const QSignalBlocker block(s);
    s->setRange(minimum, maximum);
}

void SetSliderPos(QWidget* slider, int position)
{
    auto* s = static_cast<QSlider*>(slider);
    const QSignalBlocker block(s);
    s->setValue(position);
}

int SliderPos(const QWidget* slider)
{
    return static_cast<const QSlider*>(slider)->value();
}

int SliderMax(const QWidget* slider)
{
    return static_cast<const QSlider*>(slider)->maximum();
}

void SetSliderPageSize(QWidget* slider, int pageSize)
{
    static_cast<QSlider*>(slider)->setPageStep(pageSize);
}

QWidget* MakePicture(QWidget* parent, int id)
{
    auto* label = new QLabel(parent);
    SetControlId(label, id);
    return label;
}

void SetPicture(QWidget* picture, int bitmapId)
{
    auto* label = static_cast<QLabel*>(picture);
    QPixmap pm = LoadSkinBitmap(bitmapId);
    if (!pm.isNull()) {
        pm.setMask(pm.createMaskFromColor(Qt::black));
    }
    label->setPixmap(pm);
    label->setProperty("mubBitmapId", bitmapId);
}

int PictureId(const QWidget* picture)
{
    return picture->property("mubBitmapId").toInt();
}

}  // namespace viewer
