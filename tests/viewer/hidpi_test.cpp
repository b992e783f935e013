// The main window on a screen of device pixel ratio 2 (QT_SCALE_FACTOR=2): the skin and the
// pictures are drawn with the screen's pixels, not enlarged from half as many.
#include "app_fixture.h"
#include "res/resid.h"
#include "res/skin.h"
#include "viewer/videoplaces.h"

namespace {

using namespace viewer_test;

TEST_F(ViewerApp, SkinAndPicturesUseEveryPixelAtRatioTwo)
{
    ASSERT_EQ(dlg->devicePixelRatioF(), 2.0) << "run with QT_SCALE_FACTOR=2";
    const QImage shown = dlg->grab().toImage();
    ASSERT_EQ(shown.size(), QSize(1950, 1472));
    // The title bar, as the skin drew it at twice the pixels.
    const QRect title(0, 0, 2 * 400, 2 * 34);
    const QImage skin = LoadSkinImage(IDB_MAIN_BG, 2.0).convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(shown.copy(title).convertToFormat(QImage::Format_RGB32), skin.copy(title));
    // Controls keep their places in device-independent pixels.
    EXPECT_EQ(dlg->Control(IDC_QUIT)->geometry(), QRect(946, 5, 25, 25));
    EXPECT_EQ(dlg->Control(IDC_VOLUME)->size(), QSize(81, 14));

    DoubleClickRow(1);
    ASSERT_TRUE(WaitPlaying());
    CPictureView* front = dlg->FrontView();
    EXPECT_EQ(front->geometry(), viewer::kMainPlace);
    EXPECT_EQ(front->Sink()->Width(), 1280);
    EXPECT_EQ(front->Sink()->Height(), 720);
    ASSERT_TRUE(WaitUntil([&] { return front->LatestImage().size() == QSize(1280, 720); }));
}

}  // namespace
