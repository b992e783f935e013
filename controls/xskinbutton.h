// SPDX-License-Identifier: GPL-3.0-or-later
// An owner-drawn push button, check box or radio button drawn from images, with its own pushed,
// checked and mouse-over handling.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QWidget>

class CxSkinButton : public QWidget {
    Q_OBJECT
public:
    enum Kind { kPushButton = 0, kCheckBox = 2, kRadioButton = 4 };
    enum DrawMode { kDrawAsIs = 0, kDrawStretch = 1, kDrawTile = 2 };

    explicit CxSkinButton(QWidget* parent = nullptr, int controlId = 0, Kind kind = kPushButton);

    // The kind a template button style gives: (style & 3) == 3 check box, else (style & 9) == 9
    // radio, else push button. Only the low bits count, so an owner-drawn style (0x0B) reads as a
    // check box.
    static Kind KindFromStyle(unsigned style);
    void SetKind(Kind kind);
    Kind GetKind() const { return m_kind; }

    // Images by resource id (0: none) in the order normal, down, over, disabled, focus, mask, then
    // the draw mode (above 1 becomes tile, below 0 as-is), the border flag and the focus margin
    // (below 0 becomes 0). No disabled image: the normal one stands in. The mask is not used.
    bool LoadSkinImages(int normalId, int downId, int overId = 0, int disabledId = 0, int focusId = 0,
                        int maskId = 0, int drawMode = kDrawStretch, int border = 0, int margin = 0);
    bool LoadSkinImages(const QPixmap& normal, const QPixmap& down, const QPixmap& over = {},
                        const QPixmap& disabled = {}, const QPixmap& focus = {}, int drawMode = kDrawStretch,
                        int border = 0, int margin = 0);

    // BM_SETCHECK / BM_GETCHECK. A push button never stays checked; a radio that becomes checked
    // asks every other radio of its group (same parent, same group number) to clear its check.
    void SetCheck(bool checked);
    bool GetCheck() const { return m_checked; }
    void SetGroup(int group) { m_group = group; }
    int Group() const { return m_group; }

    void SetText(const QString& text);
    QString Text() const { return m_text; }
    void SetTextColor(const QColor& c);
    int DrawMode() const { return m_drawMode; }

    // State read by tests and by owners.
    bool IsPushed() const { return m_pushed; }
    bool IsButtonDown() const { return m_buttonDown; }
    bool IsMouseOver() const { return m_mouseOver; }
    // The image the button would draw now.
    QPixmap CurrentImage() const;

    QSize sizeHint() const override;

signals:
    // Released over the button (after a check box or radio changed its check), or Space
    // released after the button took its press.
    void clicked();
    void toggled(bool checked);

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    enum { kNormal, kDown, kOver, kDisabled, kFocus, kImageCount };
    int ChooseImage() const;

    Kind m_kind = kPushButton;
    int m_group = 0;
    bool m_checked = false;
    bool m_mouseOver = false;
    bool m_buttonDown = false;  // left button pressed on us and not yet released
    bool m_pushed = false;      // drawn pushed: down and the cursor over the button
    bool m_spaceDown = false;   // Space pressed on us and not yet released
    QPixmap m_images[kImageCount];
    int m_drawMode = kDrawStretch;
    int m_border = 0;
    int m_margin = 0;
    QString m_text;
    QColor m_textColor;
};

// Draws the image into the rectangle: tiled (mode 2), stretched (1) or at its own size (0).
class QPainter;
void PaintSkinImage(QPainter* p, const QPixmap& image, const QRect& rect, int drawMode);
