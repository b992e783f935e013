// SPDX-License-Identifier: GPL-3.0-or-later
// The bitmap slider driven through mouse and key events; its messages arrive at the parent.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QPainter>
#include <QTest>

#include "controls/bitmapslider.h"
#include "res/resid.h"
#include "support.h"

namespace {

constexpr QRgb kKey = 0x102030;  // the see-through colour, taken from the top-left pixel
constexpr QRgb kTrack = 0x808080;
constexpr QRgb kActive = 0x2080FF;
constexpr QRgb kThumb = 0xFFFFFF;
constexpr QRgb kGreen = 0x00C800;

// Channel 214 x 14: key colour everywhere except a 4-pixel track in rows 5..8.
QImage Channel(QRgb track)
{
    QImage img = Solid(214, 14, kKey);
    QPainter p(&img);
    p.fillRect(QRect(0, 5, 214, 4), QColor::fromRgb(track));
    return img;
}

QImage Thumb()
{
    QImage img = Solid(14, 14, kKey);
    QPainter p(&img);
    p.fillRect(QRect(3, 3, 8, 8), QColor::fromRgb(kThumb));
    return img;
}

class SliderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent = std::make_unique<RecordingParent>();
        slider = new CBitmapSlider(parent.get(), 361);
        ASSERT_TRUE(slider->LoadChannelImages(Channel(kTrack), Channel(kActive), true, kKeyFromPixel, 0, 0));
        ASSERT_TRUE(slider->LoadThumbImages(Thumb(), Thumb(), true, kKeyFromPixel, 0, 0));
        slider->move(10, 10);
        slider->SetRange(0, 200);  // usable length 214 - 14 = 200: one pixel per step
        ShowAndWait(parent.get());
        parent->messages.clear();
    }
    QList<RecordedMessage> Take()
    {
        Flush();
        QList<RecordedMessage> m = parent->messages;
        parent->messages.clear();
        return m;
    }
    QPoint At(int x) const { return QPoint(x, 7); }

    std::unique_ptr<RecordingParent> parent;
    CBitmapSlider* slider = nullptr;
};

TEST_F(SliderTest, LoadingSizesTheControlToTheChannel)
{
    EXPECT_EQ(slider->size(), QSize(214, 14));
    EXPECT_EQ(slider->ThumbWidth(), 14);
    EXPECT_EQ(slider->ChannelKeyColor(), kKey);
    EXPECT_EQ(slider->ThumbKeyColor(), kKey);
}

TEST_F(SliderTest, SetPositionClamps)
{
    slider->SetPosition(250);
    EXPECT_EQ(slider->GetPosition(), 200);
    slider->SetPosition(-3);
    EXPECT_EQ(slider->GetPosition(), 0);
    slider->SetRange(-5, 5);
    slider->SetPosition(-6);
    EXPECT_EQ(slider->GetPosition(), -5);
    EXPECT_EQ(slider->SetPageSize(25), 20);
    EXPECT_EQ(slider->GetPageSize(), 25);
}

TEST_F(SliderTest, PositionPixelMapping)
{
    EXPECT_EQ(slider->PositionToPixel(0), 7);
    EXPECT_EQ(slider->PositionToPixel(200), 207);
    EXPECT_EQ(slider->PositionToPixel(100), 107);
    EXPECT_EQ(slider->PixelToPosition(107), 100);
    slider->SetRange(0, 99);
    // 50/99 * 200 = 101.01 -> 101; back: 94/200*99 = 46.53 -> 46 (both truncate)
    EXPECT_EQ(slider->PositionToPixel(50), 7 + 101);
    EXPECT_EQ(slider->PixelToPosition(101), 46);
    // an empty range does not divide by zero
    slider->SetRange(3, 3);
    EXPECT_EQ(slider->PositionToPixel(3), 7);
}

TEST_F(SliderTest, PressOffTheThumbJumpsItsCentreToTheMouse)
{
    Press(slider, At(120));
    // centre 120 is position 113 up to the truncation of (113 / 200) * 200 in floating point
    const int pos = slider->GetPosition();
    EXPECT_NEAR(pos, 113, 1);
    EXPECT_NEAR(slider->PositionToPixel(pos), 120, 1);
    const auto msgs = Take();
    ASSERT_EQ(msgs.size(), 1);
    EXPECT_EQ(msgs[0].message, WM_SLIDER_DRAGGING);
    EXPECT_EQ(msgs[0].wParam, 361);
    EXPECT_EQ(msgs[0].lParam, pos);
    EXPECT_TRUE(slider->hasFocus());

    Release(slider, At(120));
    const auto settled = Take();
    ASSERT_EQ(settled.size(), 1);
    EXPECT_EQ(settled[0].message, WM_SLIDER_SETTLED);
    EXPECT_EQ(settled[0].lParam, pos);
}

TEST_F(SliderTest, PressOnTheThumbKeepsTheGrabOffset)
{
    slider->SetPosition(50);  // centre at 57
    Press(slider, At(60));    // 3 pixels right of the centre, inside the thumb
    EXPECT_EQ(slider->GetPosition(), 50);
    EXPECT_TRUE(Take().isEmpty());

    MoveHeld(slider, At(70));
    EXPECT_EQ(slider->GetPosition(), 60);  // centre follows at 70 - 3
    MoveHeld(slider, At(71));
    EXPECT_EQ(slider->GetPosition(), 61);
    auto msgs = Take();
    ASSERT_EQ(msgs.size(), 2);
    EXPECT_EQ(msgs[1].message, WM_SLIDER_DRAGGING);
    EXPECT_EQ(msgs[1].lParam, 61);

    // dragged far past the end: clamped to the last thumb place, reported once
    MoveHeld(slider, At(1000));
    MoveHeld(slider, At(1200));
    EXPECT_EQ(slider->GetPosition(), 200);
    msgs = Take();
    EXPECT_EQ(msgs.size(), 1);

    Release(slider, At(1200));
    msgs = Take();
    ASSERT_EQ(msgs.size(), 1);
    EXPECT_EQ(msgs[0].message, WM_SLIDER_SETTLED);
    EXPECT_EQ(msgs[0].lParam, 200);
    // moving after the release does nothing
    MoveHeld(slider, At(30));
    EXPECT_EQ(slider->GetPosition(), 200);
    EXPECT_TRUE(Take().isEmpty());
}

TEST_F(SliderTest, KeysMoveAndAlwaysSettle)
{
    slider->setFocus();
    slider->SetPosition(0);
    QTest::keyClick(slider, Qt::Key_Home);
    auto msgs = Take();
    ASSERT_EQ(msgs.size(), 1);  // nothing changed, still reported
    EXPECT_EQ(msgs[0].message, WM_SLIDER_SETTLED);
    EXPECT_EQ(msgs[0].lParam, 0);

    QTest::keyClick(slider, Qt::Key_PageDown);
    EXPECT_EQ(slider->GetPosition(), 20);
    QTest::keyClick(slider, Qt::Key_Right);
    QTest::keyClick(slider, Qt::Key_Down);
    EXPECT_EQ(slider->GetPosition(), 22);
    QTest::keyClick(slider, Qt::Key_Up);
    EXPECT_EQ(slider->GetPosition(), 21);
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(slider->GetPosition(), 200);
    QTest::keyClick(slider, Qt::Key_PageDown);
    EXPECT_EQ(slider->GetPosition(), 200);
    QTest::keyClick(slider, Qt::Key_A);  // not a slider key
    msgs = Take();
    ASSERT_EQ(msgs.size(), 6);
    EXPECT_EQ(msgs.back().lParam, 200);
}

TEST_F(SliderTest, DisabledSliderIgnoresInputAndDrawsOnlyTheChannel)
{
    slider->SetPosition(100);
    slider->Enable(false);
    Press(slider, At(20));
    MoveHeld(slider, At(30));
    Release(slider, At(30));
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Home);
    EXPECT_EQ(slider->GetPosition(), 100);
    EXPECT_TRUE(Take().isEmpty());
    // the thumb is not drawn and the track left of it is not the active colour
    EXPECT_EQ(GrabPixel(parent.get(), QPoint(10 + 107, 10 + 4)), kGreen);
    EXPECT_EQ(GrabPixel(parent.get(), QPoint(10 + 50, 10 + 6)), kTrack);

    slider->Enable(true);
    EXPECT_EQ(GrabPixel(parent.get(), QPoint(10 + 107, 10 + 4)), kThumb);
    EXPECT_EQ(GrabPixel(parent.get(), QPoint(10 + 50, 10 + 6)), kActive);
    EXPECT_EQ(GrabPixel(parent.get(), QPoint(10 + 150, 10 + 6)), kTrack);
}

TEST_F(SliderTest, TopLeftPixelColourIsSeeThrough)
{
    slider->SetPosition(0);
    // key-coloured rows above the track and the thumb's key corners show the parent
    EXPECT_EQ(GrabPixel(parent.get(), QPoint(10 + 100, 10 + 1)), kGreen);
    EXPECT_EQ(GrabPixel(parent.get(), QPoint(10 + 1, 10 + 1)), kGreen);
    EXPECT_EQ(GrabPixel(parent.get(), QPoint(10 + 100, 10 + 6)), kTrack);
}

TEST(Slider, FailedLoadsAndTheShippedSkin)
{
    RecordingParent parent;
    CBitmapSlider slider(&parent, 363);
    EXPECT_FALSE(slider.LoadChannelImages(987654));
    EXPECT_FALSE(slider.LoadChannelImages(IDB_SLIDER_VOL_CHANNEL, 987654));
    EXPECT_TRUE(slider.LoadChannelImages(0));
    ASSERT_TRUE(
        slider.LoadChannelImages(IDB_SLIDER_VOL_CHANNEL, IDB_SLIDER_VOL_ACTIVE, true, kKeyFromPixel, 0, 0));
    ASSERT_TRUE(
        slider.LoadThumbImages(IDB_SLIDER_VOL_THUMB, IDB_SLIDER_VOL_THUMB, true, kKeyFromPixel, 0, 0));
    EXPECT_EQ(slider.size(), QSize(81, 14));
    EXPECT_EQ(slider.ChannelKeyColor(), 0xFF00FFu);
    slider.SetRange(0, 99);
    slider.SetPosition(50);
    EXPECT_EQ(slider.PositionToPixel(50), 7 + 33);  // 50/99*67 = 33.8
}

}  // namespace
