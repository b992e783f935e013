// SPDX-License-Identifier: GPL-3.0-or-later
// Skinned buttons and pictures driven through mouse and key events.
#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "controls/bitmapbuttontrans.h"
#include "controls/controlid.h"
#include "controls/transbitmap.h"
#include "controls/xskinbutton.h"
#include "res/resid.h"
#include "support.h"

namespace {

constexpr QRgb kRed = 0xC00000;
constexpr QRgb kBlue = 0x0000C0;
constexpr QRgb kYellow = 0xC0C000;
constexpr QRgb kMagenta = 0xFF00FF;
constexpr QRgb kGreen = 0x00C800;  // RecordingParent's fill

TEST(BitmapButtonTrans, BlackPixelsShowTheParentWithKeyColourBlack)
{
    RecordingParent parent;
    CBitmapButtonTrans button(&parent, 365);
    button.SetKeyColor(0);
    ASSERT_TRUE(button.LoadBitmaps(QPixmap::fromImage(WithCentre(Solid(20, 20, kRed), 8, 0x000000))));
    button.SizeToContent();
    button.move(10, 10);
    ShowAndWait(&parent);

    EXPECT_EQ(button.size(), QSize(20, 20));
    EXPECT_EQ(GrabPixel(&parent, QPoint(20, 20)), kGreen);  // black centre: background
    EXPECT_EQ(GrabPixel(&parent, QPoint(11, 11)), kRed);    // red border: image
}

TEST(BitmapButtonTrans, InitialKeyIsMagentaAndBlackStaysOpaque)
{
    RecordingParent parent;
    CBitmapButtonTrans button(&parent);
    QImage img = WithCentre(Solid(20, 20, 0x000000), 8, kMagenta);
    ASSERT_TRUE(button.LoadBitmaps(QPixmap::fromImage(img)));
    button.SizeToContent();
    button.move(10, 10);
    ShowAndWait(&parent);

    EXPECT_EQ(button.KeyColor(), kMagenta);
    EXPECT_EQ(GrabPixel(&parent, QPoint(20, 20)), kGreen);
    EXPECT_EQ(GrabPixel(&parent, QPoint(11, 11)), 0x000000u);
}

TEST(BitmapButtonTrans, ImageChoiceByState)
{
    RecordingParent parent;
    CBitmapButtonTrans button(&parent);
    const QPixmap normal = QPixmap::fromImage(Solid(20, 20, kRed));
    const QPixmap selected = QPixmap::fromImage(Solid(20, 20, kBlue));
    button.LoadBitmaps(normal, selected);
    button.SizeToContent();
    ShowAndWait(&parent);

    // disabled without a disabled image: the normal image
    button.setEnabled(false);
    EXPECT_EQ(GrabPixel(&parent, QPoint(5, 5)), kRed);
    button.setEnabled(true);

    Press(&button, QPoint(5, 5));
    EXPECT_EQ(GrabPixel(&parent, QPoint(5, 5)), kBlue);
    Release(&button, QPoint(5, 5));
    EXPECT_EQ(GrabPixel(&parent, QPoint(5, 5)), kRed);  // focused now, but no focus image

    const QPixmap disabled = QPixmap::fromImage(Solid(20, 20, kYellow));
    const QPixmap focus = QPixmap::fromImage(Solid(20, 20, 0x00FFFF));
    button.LoadBitmaps(normal, selected, focus, disabled);
    button.setFocus();
    EXPECT_EQ(button.CurrentImage().toImage().pixel(0, 0) & 0xFFFFFF, 0x00FFFFu);
    button.setEnabled(false);
    EXPECT_EQ(GrabPixel(&parent, QPoint(5, 5)), kYellow);
}

TEST(BitmapButtonTrans, ClickEmitsClickedOnlyWhenReleasedOverIt)
{
    RecordingParent parent;
    CBitmapButtonTrans button(&parent);
    button.LoadBitmaps(QPixmap::fromImage(Solid(20, 20, kRed)));
    button.SizeToContent();
    ShowAndWait(&parent);
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    Click(&button, QPoint(5, 5));
    Press(&button, QPoint(5, 5));
    MoveHeld(&button, QPoint(50, 50));
    Release(&button, QPoint(50, 50));
    EXPECT_EQ(clicked.count(), 1);
}

TEST(BitmapButtonTrans, MissingImageIdDrawsNothing)
{
    RecordingParent parent;
    CBitmapButtonTrans button(&parent);
    EXPECT_FALSE(button.LoadBitmaps(999999));
    button.resize(20, 20);
    ShowAndWait(&parent);
    EXPECT_EQ(GrabPixel(&parent, QPoint(5, 5)), kGreen);
}

class SkinBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        parent = std::make_unique<RecordingParent>();
        normal = QPixmap::fromImage(Solid(30, 20, kRed));
        down = QPixmap::fromImage(Solid(30, 20, kBlue));
    }
    CxSkinButton* Make(CxSkinButton::Kind kind, int id, QPoint at, int group = 0)
    {
        auto* b = new CxSkinButton(parent.get(), id, kind);
        b->LoadSkinImages(normal, down, {}, {}, {}, CxSkinButton::kDrawAsIs, 0, 0);
        b->resize(30, 20);
        b->move(at);
        b->SetGroup(group);
        return b;
    }
    std::unique_ptr<RecordingParent> parent;
    QPixmap normal, down;
};

TEST_F(SkinBoxTest, CheckBoxTogglesPerClickAndDrawsDownWhileChecked)
{
    CxSkinButton* box = Make(CxSkinButton::kCheckBox, 386, QPoint(0, 0));
    ShowAndWait(parent.get());
    QSignalSpy clicked(box, &CxSkinButton::clicked);

    Click(box, QPoint(5, 5));
    EXPECT_TRUE(box->GetCheck());
    EXPECT_EQ(GrabPixel(parent.get(), QPoint(5, 5)), kBlue);
    Click(box, QPoint(5, 5));
    EXPECT_FALSE(box->GetCheck());
    EXPECT_EQ(GrabPixel(parent.get(), QPoint(5, 5)), kRed);
    EXPECT_EQ(clicked.count(), 2);

    // a double click is a second press: click + double click toggles twice
    Click(box, QPoint(5, 5));
    DoubleClick(box, QPoint(5, 5));
    EXPECT_FALSE(box->GetCheck());
    EXPECT_EQ(clicked.count(), 4);

    // Space toggles the check box kind
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_TRUE(box->GetCheck());
}

TEST_F(SkinBoxTest, RadioClearsTheOthersOfItsGroupOnly)
{
    CxSkinButton* a = Make(CxSkinButton::kRadioButton, 773, QPoint(0, 0));
    CxSkinButton* b = Make(CxSkinButton::kRadioButton, 774, QPoint(40, 0));
    CxSkinButton* c = Make(CxSkinButton::kRadioButton, 775, QPoint(80, 0));
    CxSkinButton* other = Make(CxSkinButton::kRadioButton, 590, QPoint(120, 0), 1);
    ShowAndWait(parent.get());
    other->SetCheck(true);
    Click(a, QPoint(5, 5));
    Flush();
    EXPECT_TRUE(a->GetCheck());

    Click(b, QPoint(5, 5));
    Flush();
    EXPECT_FALSE(a->GetCheck());
    EXPECT_TRUE(b->GetCheck());
    EXPECT_FALSE(c->GetCheck());
    EXPECT_TRUE(other->GetCheck());

    // clicking a checked radio keeps it checked
    Click(b, QPoint(5, 5));
    Flush();
    EXPECT_TRUE(b->GetCheck());
}

TEST_F(SkinBoxTest, PushedStateFollowsTheCursorWhileHeld)
{
    CxSkinButton* box = Make(CxSkinButton::kCheckBox, 574, QPoint(0, 0));
    ShowAndWait(parent.get());
    QSignalSpy clicked(box, &CxSkinButton::clicked);

    Press(box, QPoint(5, 5));
    EXPECT_TRUE(box->IsPushed());
    EXPECT_EQ(GrabPixel(parent.get(), QPoint(5, 5)), kBlue);
    MoveHeld(box, QPoint(100, 5));
    EXPECT_FALSE(box->IsPushed());
    EXPECT_EQ(GrabPixel(parent.get(), QPoint(5, 5)), kRed);
    MoveHeld(box, QPoint(6, 6));
    EXPECT_TRUE(box->IsPushed());
    MoveHeld(box, QPoint(-3, 6));
    // released off the button: no toggle, no click
    Release(box, QPoint(-3, 6));
    EXPECT_FALSE(box->IsPushed());
    EXPECT_FALSE(box->GetCheck());
    EXPECT_EQ(clicked.count(), 0);
}

TEST_F(SkinBoxTest, PushKindNeverStaysCheckedAndLosingFocusEndsThePress)
{
    CxSkinButton* push = Make(CxSkinButton::kPushButton, 1, QPoint(0, 0));
    CxSkinButton* box = Make(CxSkinButton::kCheckBox, 2, QPoint(40, 0));
    ShowAndWait(parent.get());
    push->SetCheck(true);
    EXPECT_FALSE(push->GetCheck());
    Click(push, QPoint(5, 5));
    EXPECT_FALSE(push->GetCheck());

    ActivateAndWait(parent.get());
    Press(box, QPoint(5, 5));
    EXPECT_TRUE(box->IsButtonDown());
    push->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(push->hasFocus());
    EXPECT_FALSE(box->IsButtonDown());
    EXPECT_FALSE(box->IsPushed());
}

// The window that owns the Space key takes its press; the release alone is no click.
TEST_F(SkinBoxTest, SpaceClicksOnlyAfterAPressItTook)
{
    CxSkinButton* box = Make(CxSkinButton::kCheckBox, 386, QPoint(0, 0));
    ActivateAndWait(parent.get());
    box->setFocus();
    ASSERT_TRUE(box->hasFocus());
    QSignalSpy clicked(box, &CxSkinButton::clicked);

    QTest::keyRelease(box, Qt::Key_Space);
    EXPECT_EQ(clicked.count(), 0);
    EXPECT_FALSE(box->GetCheck());

    QTest::keyClick(box, Qt::Key_Space);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_TRUE(box->GetCheck());

    // A press cut short by losing the focus does not click on a later release.
    QTest::keyPress(box, Qt::Key_Space);
    parent->setFocus();
    ASSERT_FALSE(box->hasFocus());
    QTest::keyRelease(box, Qt::Key_Space);
    EXPECT_EQ(clicked.count(), 1);
}

TEST(SkinButton, KindFromTemplateStyle)
{
    EXPECT_EQ(CxSkinButton::KindFromStyle(0x0), CxSkinButton::kPushButton);   // BS_PUSHBUTTON
    EXPECT_EQ(CxSkinButton::KindFromStyle(0x2), CxSkinButton::kPushButton);   // BS_CHECKBOX
    EXPECT_EQ(CxSkinButton::KindFromStyle(0x3), CxSkinButton::kCheckBox);     // BS_AUTOCHECKBOX
    EXPECT_EQ(CxSkinButton::KindFromStyle(0x9), CxSkinButton::kRadioButton);  // BS_AUTORADIOBUTTON
    EXPECT_EQ(CxSkinButton::KindFromStyle(0xB), CxSkinButton::kCheckBox);     // already owner-drawn
    EXPECT_EQ(CxSkinButton::KindFromStyle(0x50010003), CxSkinButton::kCheckBox);
}

TEST(SkinButton, LoadSkinImagesNormalisesArgumentsAndDefaultsTheDisabledImage)
{
    RecordingParent parent;
    CxSkinButton box(&parent, 0, CxSkinButton::kCheckBox);
    box.LoadSkinImages(QPixmap::fromImage(Solid(10, 10, kRed)), QPixmap::fromImage(Solid(10, 10, kBlue)), {},
                       {}, {}, 7, 1, -4);
    EXPECT_EQ(box.DrawMode(), CxSkinButton::kDrawTile);
    box.LoadSkinImages(QPixmap::fromImage(Solid(10, 10, kRed)), {}, {}, {}, {}, -3, 0, 0);
    EXPECT_EQ(box.DrawMode(), CxSkinButton::kDrawAsIs);
    box.setEnabled(false);
    EXPECT_EQ(box.CurrentImage().toImage().pixel(0, 0) & 0xFFFFFF, kRed);
}

TEST(SkinButton, PaintSkinImageTilesAndClips)
{
    QImage target = Solid(25, 10, 0);
    QImage tile = Solid(10, 10, kRed);
    tile.setPixel(0, 0, 0xFF000000 | kBlue);
    {
        QPainter p(&target);
        PaintSkinImage(&p, QPixmap::fromImage(tile), QRect(0, 0, 25, 10), CxSkinButton::kDrawTile);
    }
    EXPECT_EQ(target.pixel(0, 0) & 0xFFFFFF, kBlue);
    EXPECT_EQ(target.pixel(10, 0) & 0xFFFFFF, kBlue);
    EXPECT_EQ(target.pixel(20, 0) & 0xFFFFFF, kBlue);
    EXPECT_EQ(target.pixel(24, 9) & 0xFFFFFF, kRed);
}

TEST(TransBitmap, BlackShowsTheBackgroundAndSettingReturnsThePreviousImage)
{
    RecordingParent parent;
    TransBitmap pic(&parent, 788);
    pic.resize(20, 20);
    const QPixmap first = QPixmap::fromImage(WithCentre(Solid(20, 20, kRed), 8, 0x000000));
    EXPECT_TRUE(pic.SetBitmap(first).isNull());
    ShowAndWait(&parent);
    EXPECT_EQ(GrabPixel(&parent, QPoint(10, 10)), kGreen);
    EXPECT_EQ(GrabPixel(&parent, QPoint(1, 1)), kRed);
    const QPixmap old = pic.SetBitmap(QPixmap::fromImage(Solid(20, 20, kBlue)));
    EXPECT_EQ(old.cacheKey(), first.cacheKey());
    EXPECT_EQ(GrabPixel(&parent, QPoint(10, 10)), kBlue);

    EXPECT_TRUE(pic.SetBitmapId(IDB_TURN_LEFT));
    EXPECT_EQ(pic.BitmapId(), IDB_TURN_LEFT);
    EXPECT_FALSE(pic.SetBitmapId(424242));
}

TEST(ControlIds, FindControlByIdAndWindowMessages)
{
    RecordingParent parent;
    QWidget inner(&parent);
    CBitmapButtonTrans play(&inner, 365);
    CxSkinButton mute(&parent, 386);
    EXPECT_EQ(FindControl(&parent, 365), &play);
    EXPECT_EQ(FindControlAs<CxSkinButton>(&parent, 386), &mute);
    EXPECT_EQ(FindControl(&parent, 999), nullptr);
    EXPECT_EQ(ControlId(&parent), 0);

    EXPECT_TRUE(PostWinMessage(&parent, 0x07E8, 1, 2));
    EXPECT_FALSE(PostWinMessage(&parent, 0x0010, 0, 0));  // below QEvent::User
    EXPECT_FALSE(PostWinMessage(nullptr, 0x045A, 0, 0));
    EXPECT_TRUE(parent.messages.isEmpty());  // posted, not sent
    Flush();
    ASSERT_EQ(parent.messages.size(), 1);
    EXPECT_EQ(parent.messages[0].message, 0x07E8);
    EXPECT_EQ(parent.messages[0].wParam, 1);
    EXPECT_EQ(parent.messages[0].lParam, 2);
}

}  // namespace
