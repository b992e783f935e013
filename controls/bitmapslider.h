// SPDX-License-Identifier: GPL-3.0-or-later
// A horizontal slider drawn entirely from images: a channel (with an optional "active" image left
// of the thumb) and a thumb (with an optional image while it is held). The parent learns of moves
// through posted WM_SLIDER_DRAGGING / WM_SLIDER_SETTLED messages (wParam = control id,
// lParam = position). GUI thread only.
#pragma once

#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QRgb>
#include <QWidget>

#include "controls/keycolor.h"

class CBitmapSlider : public QWidget {
    Q_OBJECT
public:
    explicit CBitmapSlider(QWidget* parent = nullptr, int controlId = 0);

    // Images by resource id. Channel id 0 unloads the channel. With `transparent`, pixels of the key
    // colour (kKeyFromPixel: the colour at (keyX, keyY) of each image) show the background.
    // Loading a channel sizes the slider to it. False when an image does not load.
    bool LoadChannelImages(int channelId, int activeId = 0, bool transparent = false,
                           QRgb key = kKeyFromPixel, int keyX = 0, int keyY = 0);
    bool LoadThumbImages(int thumbId, int activeId = 0, bool transparent = false, QRgb key = kKeyFromPixel,
                         int keyX = 0, int keyY = 0);
    // The same from images at hand; a null channel image unloads the channel.
    bool LoadChannelImages(const QImage& channel, const QImage& active, bool transparent, QRgb key, int keyX,
                           int keyY);
    bool LoadThumbImages(const QImage& thumb, const QImage& active, bool transparent, QRgb key, int keyX,
                         int keyY);

    // Range; no check that min is below max. Positions are clamped on SetPosition only.
    void SetRangeMin(int min, bool redraw = false);
    void SetRangeMax(int max, bool redraw = false);
    void SetRange(int min, int max, bool redraw = false);
    int GetRangeMin() const { return m_min; }
    int GetRangeMax() const { return m_max; }

    // Stores the position clamped to at most the maximum, then to at least the minimum.
    void SetPosition(int pos);
    int GetPosition() const { return m_pos; }
    // Returns the previous page size.
    int SetPageSize(int size);
    int GetPageSize() const { return m_page; }

    void ShowFocusFrame(bool show, bool redraw = false);
    bool IsFocusFrameShown() const { return m_showFocusFrame; }
    // The slider's own enabled flag: when clear it ignores mouse and keys and draws only the channel.
    void Enable(bool enable);
    bool IsSliderEnabled() const { return m_enabled && isEnabled(); }

    void SetMargins(int left, int top, int right, int bottom);

    // Position <-> x of the thumb centre.
    int PositionToPixel(int pos) const;
    int PixelToPosition(int x) const;

    int ThumbWidth() const { return m_thumbW; }
    int ThumbHeight() const { return m_thumbH; }
    bool IsButtonDown() const { return m_buttonDown; }
    QRgb ChannelKeyColor() const { return m_channelKey; }
    QRgb ThumbKeyColor() const { return m_thumbKey; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    void Notify(int message);
    void MoveThumbTo(int mouseX);
    static bool PrepareImage(const QImage& src, bool transparent, QRgb key, int kx, int ky, QImage* out,
                             QRgb* usedKey);

    int m_max = 100;
    int m_min = 0;
    int m_pos = 0;
    int m_page = 20;
    int m_width = 0;  // control size in pixels (the channel image's, else the client area's)
    int m_height = 0;
    int m_thumbW = 0;
    int m_thumbH = 0;
    int m_marginLeft = 0;
    int m_marginRight = 0;
    int m_marginTop = 0;
    int m_marginBottom = 0;
    int m_mouseOffset = 0;  // grab point inside the thumb, relative to its centre
    bool m_hasActiveChannel = false;
    bool m_hasActiveThumb = false;
    bool m_channelTransparent = false;
    bool m_thumbTransparent = false;
    bool m_channelLoaded = false;
    bool m_thumbLoaded = false;
    bool m_buttonDown = false;
    bool m_hasFocus = false;
    bool m_showFocusFrame = true;
    bool m_enabled = true;
    QRgb m_channelKey = 0;
    QRgb m_thumbKey = 0;
    // Drawn forms: key-coloured pixels transparent when the part is transparent.
    QImage m_channel;
    QImage m_activeChannel;
    QImage m_thumb;
    QImage m_activeThumb;
};
