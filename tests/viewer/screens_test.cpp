// Full screen and restore on the screen the window is on, with two screens side by side.
#include "app_fixture.h"
#include "viewer/videoplaces.h"

#include <QScreen>

namespace {

using namespace viewer_test;

TEST_F(ViewerApp, FullScreenTakesTheScreenTheWindowIsOn)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    ASSERT_EQ(screens.size(), 2);
    QScreen* right = screens[1];
    ASSERT_EQ(right->geometry(), QRect(1280, 0, 1920, 1080));
    dlg->move(right->geometry().topLeft() + QPoint(100, 100));
    ASSERT_TRUE(WaitUntil([&] { return dlg->screen() == right; }, 2000));

    dlg->OnFullScreen();
    EXPECT_EQ(dlg->geometry(), right->availableGeometry());
    EXPECT_EQ(dlg->FullPictureRect(), QRect(112, 40, 1696, 896));
    dlg->OnRestore();
    EXPECT_EQ(dlg->screen(), right);
    EXPECT_EQ(dlg->geometry(), QRect(right->geometry().topLeft() + QPoint(472, 172), QSize(975, 736)));
}

}  // namespace
