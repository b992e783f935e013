// The video places on the real window: full screen and back, the map places, the
// third-channel window and the magnifier, and the commands waiting while an export runs.
#include "app_fixture.h"
#include "viewer/ch3dlg.h"
#include "viewer/videoplaces.h"
#include "viewer/zoomdlg.h"

#include <QMouseEvent>
#include <QPointer>
#include <QScreen>

namespace {

using namespace viewer_test;

class Presentation : public ViewerApp {
protected:
    QWidget* Map() const { return dlg->Control(IDC_MAP); }
    CCH3Dlg* Third() const { return dlg->ThirdWindow(); }
    QPoint ScreenCentreCorner(QSize size) const
    {
        return dlg->screen()->availableGeometry().center() - QRect(QPoint(0, 0), size).center();
    }
    // Plays the newest recording with this letter; the driving rows are T (row 0) and D.
    void Play(char letter)
    {
        const int row = RowWithLetter(letter);
        ASSERT_GE(row, 0);
        dlg->OnRowDoubleClicked(row);
        ASSERT_TRUE(WaitPlaying());
    }
    // A new picture arrives in the view.
    bool Moving(CPictureView* view)
    {
        if (!WaitUntil([&] { return !view->LatestImage().isNull(); })) {
            return false;
        }
        const uint64_t serial = view->Sink()->Serial();
        return WaitUntil([&] { return view->Sink()->Serial() > serial; });
    }
    void PressOn(QWidget* w, QPoint at)
    {
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), QPointF(w->mapToGlobal(at)), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), QPointF(w->mapToGlobal(at)),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &release);
    }
    // A button, or a skinned check box as the mouse clicks it.
    void Click(int id)
    {
        if (auto* button = qobject_cast<QAbstractButton*>(dlg->Control(id))) {
            button->click();
        } else {
            QTest::mouseClick(dlg->Control(id), Qt::LeftButton, {}, QPoint(5, 5));
        }
    }
    void ClickIn(QWidget* window, int id)
    {
        auto* button = qobject_cast<QAbstractButton*>(FindControl(window, id));
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }
};

TEST_F(Presentation, EnterGoesFullScreenOnTheWindowsScreenAndBack)
{
    Play('D');
    const QRect available = dlg->screen()->availableGeometry();
    QTest::keyClick(dlg.get(), Qt::Key_Return);
    ASSERT_EQ(dlg->LayoutMode(), viewer::kLayoutFull);
    EXPECT_EQ(dlg->geometry(), available);
    const QRect full = viewer::FullScreenPictureRect(available.width(), available.height());
    EXPECT_EQ(dlg->FullPictureRect(), full);
    EXPECT_EQ(dlg->FrontView()->geometry(), full);
    EXPECT_TRUE(dlg->FrontView()->isVisible());
    EXPECT_FALSE(dlg->RearView()->isVisible());
    EXPECT_FALSE(List()->isVisible());
    EXPECT_FALSE(Map()->isVisible());
    EXPECT_TRUE(dlg->Control(IDC_RESTORE)->isVisible());
    EXPECT_FALSE(dlg->Control(IDC_FULLSCREEN)->isVisible());
    EXPECT_EQ(dlg->Control(IDC_QUIT)->geometry(), QRect(available.width() - 45, 5, 25, 25));
    EXPECT_TRUE(dlg->Control(IDC_SWAP)->isEnabled());
    EXPECT_TRUE(Moving(dlg->FrontView()));

    // Swap shows the rear picture full screen.
    ClickButton(IDC_SWAP);
    EXPECT_FALSE(dlg->FrontView()->isVisible());
    EXPECT_TRUE(dlg->RearView()->isVisible());
    EXPECT_EQ(dlg->RearView()->geometry(), full);

    QTest::keyClick(dlg.get(), Qt::Key_Return);
    ASSERT_EQ(dlg->LayoutMode(), viewer::kLayoutNormal);
    EXPECT_EQ(dlg->size(), QSize(975, 736));
    EXPECT_EQ(dlg->pos(), ScreenCentreCorner(dlg->size()));
    EXPECT_TRUE(List()->isVisible());
    EXPECT_FALSE(dlg->Control(IDC_RESTORE)->isVisible());
    EXPECT_EQ(dlg->RearView()->geometry(), viewer::kMainPlace);
    EXPECT_EQ(dlg->FrontView()->geometry(), viewer::kSidePlace);

    // Stopped, both modes show no time.
    ClickButton(IDC_STOP);
    static_cast<QLabel*>(dlg->Control(IDC_CURTIME))->setText("00:00:09");
    QTest::keyClick(dlg.get(), Qt::Key_Return);
    EXPECT_EQ(Label(IDC_CURTIME), "00:00:00");
    QTest::keyClick(dlg.get(), Qt::Key_Return);
    EXPECT_EQ(Label(IDC_TOTALTIME), "00:00:00");
}

// The commands move whatever widget the map is; full screen first gives the main place
// back to a picture.
TEST_F(Presentation, MapCommandsMoveTheMapWidget)
{
    Play('D');
    ASSERT_TRUE(WaitUntil([&] { return dlg->Control(IDC_MAP_ENLARGE)->isEnabled(); }))
        << "no GPS fix enabled enlarge map";
    EXPECT_TRUE(dlg->Control(IDC_VIEW_MAP)->isEnabled());
    EXPECT_TRUE(dlg->Control(IDC_VIEW_TWO)->isEnabled());
    struct Step {
        int id;
        int front, rear, map;
    };
    const Step steps[] = {
        {IDC_MAP_ENLARGE, 2, 0, 1}, {IDC_VIEW_MAP, 0, 2, 1},    {IDC_VIEW_TWO, 1, 2, 0},
        {IDC_VIEW_MAP, 1, 0, 2},    {IDC_MAP_ENLARGE, 2, 0, 1},
    };
    const auto placeOf = [](int place, bool rear) -> std::optional<QRect> {
        if (place == viewer::kPlaceMain) {
            return viewer::kMainPlace;
        }
        if (place == viewer::kPlaceSide) {
            return rear ? viewer::kSidePlaceRear : viewer::kSidePlace;
        }
        return std::nullopt;
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.id);
        Click(s.id);
        EXPECT_EQ(dlg->FrontPlace(), s.front);
        EXPECT_EQ(dlg->RearPlace(), s.rear);
        EXPECT_EQ(dlg->MapPlace(), s.map);
        const std::pair<QWidget*, std::optional<QRect>> widgets[] = {
            {dlg->FrontView(), placeOf(s.front, false)},
            {dlg->RearView(), placeOf(s.rear, true)},
            {Map(), placeOf(s.map, false)}};
        for (const auto& [widget, place] : widgets) {
            EXPECT_EQ(widget->isVisible(), place.has_value()) << widget->objectName().toStdString();
            if (place) {
                EXPECT_EQ(widget->geometry(), *place);
            }
        }
    }
    QTest::keyClick(dlg.get(), Qt::Key_Return);
    EXPECT_EQ(dlg->FrontPlace(), viewer::kPlaceMain);
    EXPECT_EQ(dlg->MapPlace(), viewer::kPlaceSide);
    EXPECT_TRUE(dlg->FrontView()->isVisible());
    EXPECT_FALSE(Map()->isVisible());
}

TEST_F(Presentation, ThirdChannelWindowDocksFollowsStopsWhenDraggedAndReturns)
{
    Play('T');
    ASSERT_TRUE(dlg->Control(IDC_CH3)->isEnabled());
    ClickButton(IDC_CH3);
    ASSERT_NE(Third(), nullptr);
    ASSERT_TRUE(Third()->isVisible());
    EXPECT_EQ(Third()->size(), QSize(655, 401));
    EXPECT_EQ(Third()->Picture()->geometry(), QRect(8, 34, 640, 360));
    const auto docked = [&] {
        return Third()->frameGeometry().right() + 1 == dlg->frameGeometry().left() &&
               Third()->frameGeometry().top() == dlg->frameGeometry().top();
    };
    EXPECT_TRUE(docked());
    EXPECT_TRUE(Moving(Third()->Picture()));

    dlg->move(dlg->pos() + QPoint(40, 30));
    EXPECT_TRUE(WaitUntil(docked, 2000));

    // A press on it starts a drag: it stays where the user puts it.
    PressOn(Third(), QPoint(300, 15));
    EXPECT_TRUE(Third()->MovedByUser());
    const QPoint left = Third()->pos();
    dlg->move(dlg->pos() + QPoint(-25, 10));
    Pump(100);
    EXPECT_EQ(Third()->pos(), left);

    // Hidden and shown again, it docks again.
    ClickIn(Third(), IDC_CH3_HIDE);
    EXPECT_FALSE(Third()->isVisible());
    EXPECT_FALSE(Third()->MovedByUser());
    ClickButton(IDC_CH3);
    EXPECT_TRUE(docked());

    // Its return button brings the third channel into the full-screen picture.
    QPointer<CCH3Dlg> window = Third();
    ClickIn(Third(), IDC_CH3_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return window.isNull(); }, 2000));
    EXPECT_EQ(dlg->LayoutMode(), viewer::kLayoutFull);
    EXPECT_TRUE(dlg->ThirdView()->isVisible());
    EXPECT_FALSE(dlg->FrontView()->isVisible());
    EXPECT_FALSE(dlg->RearView()->isVisible());
    EXPECT_EQ(dlg->ThirdView()->geometry(), dlg->FullPictureRect());
    EXPECT_TRUE(Moving(dlg->ThirdView()));
    // Swap goes back to a camera of the main pair.
    ClickButton(IDC_SWAP);
    EXPECT_FALSE(dlg->ThirdView()->isVisible());
    EXPECT_TRUE(dlg->FrontView()->isVisible() || dlg->RearView()->isVisible());
}

// Full screen and the return destroy the third-channel window while the engine paints its
// picture: the channel is handed to the main window's picture first. Run under the
// sanitizers, a window destroyed under the worker's brush shows here.
TEST_F(Presentation, ThirdWindowGoesWhileItsPictureIsPainted)
{
    Play('T');
    for (int round = 0; round < 6; ++round) {
        SCOPED_TRACE(round);
        ClickButton(IDC_CH3);
        ASSERT_NE(Third(), nullptr);
        if (round % 2 == 0) {
            ASSERT_TRUE(Moving(Third()->Picture()));
        }
        if (round % 3 == 2) {
            ClickIn(Third(), IDC_CH3_RETURN);
            ASSERT_TRUE(WaitUntil([&] { return Third() == nullptr; }, 2000));
        } else {
            QTest::keyClick(dlg.get(), Qt::Key_Return);
            EXPECT_EQ(Third(), nullptr);
        }
        ASSERT_EQ(dlg->LayoutMode(), viewer::kLayoutFull);
        // CH3 in full screen shows the third channel in the main window's own picture.
        ClickButton(IDC_CH3);
        EXPECT_TRUE(dlg->ThirdView()->isVisible());
        EXPECT_TRUE(Moving(dlg->ThirdView()));
        QTest::keyClick(dlg.get(), Qt::Key_Return);
        ASSERT_EQ(dlg->LayoutMode(), viewer::kLayoutNormal);
        EXPECT_FALSE(dlg->ThirdView()->isVisible());
    }
}

// A return asked for a recording no longer shown (stopped meanwhile) does nothing.
TEST_F(Presentation, StaleReturnIsDropped)
{
    Play('T');
    ClickButton(IDC_CH3);
    ASSERT_NE(Third(), nullptr);
    SendWinMessage(dlg.get(), WM_CH3_RETURN, dlg->OpenSerial() + 1, 0);
    EXPECT_NE(Third(), nullptr);
    EXPECT_EQ(dlg->LayoutMode(), viewer::kLayoutNormal);
    ClickButton(IDC_STOP);
    EXPECT_FALSE(Third()->isVisible());
    SendWinMessage(dlg.get(), WM_CH3_RETURN, 0, 0);  // nothing is open
    EXPECT_EQ(dlg->LayoutMode(), viewer::kLayoutNormal);
    EXPECT_NE(Third(), nullptr);
}

TEST_F(Presentation, ZoomShowsTheScreenAroundThePointerTwiceAsLarge)
{
    ClickButton(IDC_ZOOM);
    QPointer<CZoomDlg> zoom = dlg->ZoomWindow();
    ASSERT_FALSE(zoom.isNull());
    EXPECT_EQ(zoom->geometry(), CZoomDlg::kPlace);
    EXPECT_EQ(zoom->windowTitle(), "Zoom");
    EXPECT_TRUE(zoom->Refreshing());

    // Its own windows are what it shows where the screen cannot be read.
    CZoomDlg own(CZoomDlg::Source::OwnWindows);
    own.setGeometry(CZoomDlg::kPlace);
    own.show();
    const QPoint at = dlg->mapToGlobal(QPoint(300, 20));
    QCursor::setPos(at);
    own.Refresh();
    const QRect source = viewer::ZoomSourceRect(at, own.size(), 2, dlg->screen()->geometry());
    EXPECT_EQ(own.CopySource(), source);
    const QImage copy = own.Copy().toImage();
    const QImage window = dlg->grab().toImage();
    ASSERT_FALSE(copy.isNull());
    const QPoint inCopy = (at - source.topLeft()) * copy.devicePixelRatio();
    EXPECT_EQ(copy.pixel(inCopy), window.pixel(QPoint(300, 20) * window.devicePixelRatio()));
    // Where its own area lies in the source, the copy is grey.
    own.setGeometry(QRect(dlg->screen()->geometry().center(), QSize(200, 150)));
    const QPoint inside = own.mapToGlobal(QPoint(5, 5));
    QCursor::setPos(inside);
    own.Refresh();
    const QImage grey = own.Copy().toImage();
    EXPECT_EQ(grey.pixel((inside - own.CopySource().topLeft()) * grey.devicePixelRatio()) & 0xFFFFFF,
              CZoomDlg::kOwnAreaGrey);

    // Escape and close stop the refresh; a second zoom replaces the window.
    QTest::keyClick(zoom.data(), Qt::Key_Escape);
    EXPECT_FALSE(zoom->Refreshing());
    EXPECT_TRUE(zoom->isVisible());
    ClickButton(IDC_ZOOM);
    EXPECT_TRUE(zoom.isNull());
    zoom = dlg->ZoomWindow();
    ASSERT_FALSE(zoom.isNull());
    EXPECT_TRUE(zoom->Refreshing());
    zoom->close();
    EXPECT_FALSE(zoom->Refreshing());
}

TEST_F(Presentation, CommandsWaitWhileAnExportRuns)
{
    Play('T');
    const viewer::VideoPlaces before{dlg->FrontPlace(), dlg->RearPlace(), dlg->MapPlace()};
    dlg->SetExportBusy(true);
    const std::function<void()> commands[] = {
        [&] { dlg->OnFullScreen(); }, [&] { QTest::keyClick(dlg.get(), Qt::Key_Return); },
        [&] { dlg->OnCh3(); },        [&] { dlg->OnZoom(); },
        [&] { dlg->OnSwap(); },       [&] { dlg->OnViewMap(); },
        [&] { dlg->OnViewTwo(); },    [&] { dlg->OnMapEnlarge(); },
        [&] { dlg->OnMirror(); },     [&] { SendWinMessage(dlg.get(), WM_CH3_RETURN, dlg->OpenSerial(), 0); },
    };
    for (const auto& command : commands) {
        command();
    }
    EXPECT_EQ(dlg->LayoutMode(), viewer::kLayoutNormal);
    EXPECT_EQ((viewer::VideoPlaces{dlg->FrontPlace(), dlg->RearPlace(), dlg->MapPlace()}), before);
    EXPECT_EQ(Third(), nullptr);
    EXPECT_EQ(dlg->ZoomWindow(), nullptr);
    dlg->SetExportBusy(false);
    dlg->OnFullScreen();
    dlg->SetExportBusy(true);
    dlg->OnRestore();
    EXPECT_EQ(dlg->LayoutMode(), viewer::kLayoutFull);
    dlg->SetExportBusy(false);
}

}  // namespace
