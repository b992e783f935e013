// SPDX-License-Identifier: GPL-3.0-or-later
// The off-screen painter and the key-colour helpers, on plain images.
#include <gtest/gtest.h>

#include <QPainter>

#include "controls/keycolor.h"
#include "controls/memdc.h"
#include "support.h"

namespace {

TEST(MemDC, BuffersOnlyItsRectangleAndStartsFromTheBackgroundColour)
{
    QImage target = Solid(40, 20, 0x112233);
    {
        QPainter p(&target);
        const QRect r(10, 5, 20, 10);
        CQVZ_MemDC mem(&p, &r, false, QColor(0x44, 0x55, 0x66));
        ASSERT_TRUE(mem.IsMemoryDrawing());
        mem->fillRect(QRect(12, 6, 2, 2), QColor(0xFF, 0, 0));  // target coordinates
        mem->fillRect(QRect(0, 0, 5, 5), QColor(0, 0xFF, 0));   // outside the rectangle: lost
        EXPECT_EQ(target.pixel(12, 6) & 0xFFFFFF, 0x112233u);   // nothing shown before the end
    }
    EXPECT_EQ(target.pixel(12, 6) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(target.pixel(20, 10) & 0xFFFFFF, 0x445566u);
    EXPECT_EQ(target.pixel(1, 1) & 0xFFFFFF, 0x112233u);
    EXPECT_EQ(target.pixel(35, 10) & 0xFFFFFF, 0x112233u);
}

TEST(MemDC, CopyBackgroundKeepsWhatTheTargetShows)
{
    QImage target = Solid(40, 20, 0x112233);
    {
        QPainter p(&target);
        const QRect r(0, 0, 40, 20);
        CQVZ_MemDC mem(&p, &r, true);
        mem->fillRect(QRect(0, 0, 4, 4), QColor(0xFF, 0, 0));
    }
    EXPECT_EQ(target.pixel(1, 1) & 0xFFFFFF, 0xFF0000u);
    EXPECT_EQ(target.pixel(20, 10) & 0xFFFFFF, 0x112233u);
}

TEST(KeyColour, FromPixelAndMasks)
{
    QImage img = Solid(4, 4, 0x0A0B0C);
    img.setPixel(1, 1, 0xFF00FF00);
    EXPECT_EQ(ResolveKeyColor(img, kKeyFromPixel, 0, 0), 0x0A0B0Cu);
    EXPECT_EQ(ResolveKeyColor(img, kKeyFromPixel, 1, 1), 0x00FF00u);
    EXPECT_EQ(ResolveKeyColor(img, kKeyFromPixel, 9, 9), 0u);  // outside the image
    EXPECT_EQ(ResolveKeyColor(img, 0xFF00FF, 0, 0), 0xFF00FFu);

    QRgb used = 1;
    QImage work = img;
    const QBitmap mask = BuildKeyMask(work, kKeyFromPixel, 0, 0, &used);
    EXPECT_EQ(used, 0x0A0B0Cu);
    EXPECT_EQ(qAlpha(work.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(work.pixel(1, 1)), 255);
    const QImage m = mask.toImage();
    EXPECT_NE(m.pixelIndex(0, 0), m.pixelIndex(1, 1));

    EXPECT_TRUE(KeyedImage(QImage(), 0).isNull());
    QPainter* none = nullptr;
    BlitWithKeyColor(none, QPixmap(), 0, 0, 0);  // nothing to draw with: no crash
}

}  // namespace
