// SPDX-License-Identifier: GPL-3.0-or-later
// The whole viewer on a sample card: the real main window, engine and card library.
#include "controls/controlid.h"
#include "controls/winevent.h"
#include "controls/xskinbutton.h"
#include "mublib/mub_container.h"
#include "platform/waveout.h"
#include "res/strings.h"
#include "tests/export/ffmpeg_check.h"
#include "viewer/ch3dlg.h"
#include "viewer/mainwindow.h"
#include "viewer/pictureview.h"
#include "viewer/progressdlg.h"
#include "viewer/skinctl.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeWidget>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "app_fixture.h"

namespace {

using namespace viewer_test;

TEST_F(ViewerApp, ListsDrivingRecordingsNewestFirst)
{
    ASSERT_EQ(dlg->RowCount(), 2);
    for (int row = 0; row < dlg->RowCount(); ++row) {
        EXPECT_EQ(dlg->RowText(row, 0), "REC");
        EXPECT_TRUE(dlg->RowText(row, 1).startsWith("REC_"));
    }
    EXPECT_GT(dlg->RowText(0, 2), dlg->RowText(1, 2));
    EXPECT_TRUE(messages.empty());

    // "All" merges the four categories, still newest first.
    qobject_cast<QAbstractButton*>(dlg->Control(IDC_CAT_ALL))->click();
    ASSERT_EQ(dlg->RowCount(), 8);
    for (int row = 1; row < dlg->RowCount(); ++row) {
        EXPECT_GE(dlg->RowText(row - 1, 2), dlg->RowText(row, 2));
    }
}

TEST_F(ViewerApp, DoubleClickPlaysWithPicturesTimeSpeedAndChart)
{
    DoubleClickRow(0);
    ASSERT_TRUE(WaitPlaying());
    EXPECT_EQ(dlg->CurrentRow(), 0);
    EXPECT_TRUE(dlg->Control(IDC_PLAY)->isHidden());
    EXPECT_FALSE(dlg->Control(IDC_PAUSE)->isHidden());
    EXPECT_NE(Label(IDC_TOTALTIME), "00:00:00");

    CPictureView* front = dlg->FrontView();
    ASSERT_TRUE(WaitUntil([&] { return !front->LatestImage().isNull(); }));
    const QImage first = front->LatestImage();
    ASSERT_TRUE(WaitUntil([&] { return front->LatestImage() != first; }))
        << "the front picture never changed";

    ASSERT_TRUE(WaitUntil([&] { return Label(IDC_CURTIME) != "00:00:00"; }));
    const QRegularExpression speed("^\\d+Km/h$");
    ASSERT_TRUE(WaitUntil([&] { return speed.match(Label(IDC_SPEED)).hasMatch(); }))
        << Label(IDC_SPEED).toStdString();
    ASSERT_TRUE(WaitUntil([&] { return dlg->Graph()->SeriesPoints(dlg->Series(0)).size() >= 2; }));
}

TEST_F(ViewerApp, RightSkipsTenSecondsAndSpacePausesAndResumes)
{
    DoubleClickRow(1);
    ASSERT_TRUE(WaitPlaying());
    const int before = dlg->Player().CurrentTimeMs();
    QTest::keyClick(dlg.get(), Qt::Key_Right);
    ASSERT_TRUE(WaitUntil([&] { return dlg->Player().CurrentTimeMs() >= before + 9000; }));

    QTest::keyClick(dlg.get(), Qt::Key_Space);
    EXPECT_FALSE(dlg->Control(IDC_PLAY)->isHidden());
    Pump(300);
    const int paused = dlg->Player().CurrentTimeMs();
    Pump(600);
    EXPECT_EQ(dlg->Player().CurrentTimeMs(), paused);

    QTest::keyClick(dlg.get(), Qt::Key_Space);
    EXPECT_TRUE(dlg->Control(IDC_PLAY)->isHidden());
    ASSERT_TRUE(WaitUntil([&] { return dlg->Player().CurrentTimeMs() > paused; }));
}

TEST_F(ViewerApp, ReleasedTimeSliderPlaysFromOneSecondLater)
{
    DoubleClickRow(1);
    ASSERT_TRUE(WaitPlaying());
    SendWinMessage(dlg.get(), WM_SLIDER_SETTLED, IDC_POSITION, 7);
    ASSERT_TRUE(WaitUntil([&] { return dlg->Player().CurrentTimeMs() >= 8000; }));
    EXPECT_LT(dlg->Player().CurrentTimeMs(), 10000);
}

TEST_F(ViewerApp, KeysOutsideTheTableAreSwallowedAndUpStopsAt99)
{
    QWidget* volume = dlg->Control(IDC_VOLUME);
    viewer::SetSliderPos(volume, 97);
    QTest::keyClick(dlg.get(), Qt::Key_Up);
    EXPECT_EQ(viewer::SliderPos(volume), 99);

    // Neither reaches the focused list (Tab would move the focus on), and nothing changes.
    ASSERT_TRUE(Activate());
    List()->setFocus();
    ASSERT_TRUE(List()->hasFocus());
    Tap seen(List());
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Escape}) {
        QTest::keyClick(List(), key);
    }
    Pump(50);
    EXPECT_EQ(seen.keyPresses, 0);
    EXPECT_TRUE(List()->hasFocus());
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(viewer::SliderPos(volume), 99);
    EXPECT_EQ(dlg->OpenSerial(), 0);
    EXPECT_EQ(dlg->CurrentRow(), -1);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ViewerApp, UpDownOverTheListMoveItsSelectionNotTheFocusedTimeSlider)
{
    ClickButton(IDC_CAT_ALL);
    QWidget* slider = dlg->Control(IDC_POSITION);
    QWidget* volume = dlg->Control(IDC_VOLUME);
    viewer::SetSliderRange(slider, 0, 60);
    viewer::SetSliderPos(slider, 10);
    viewer::SetSliderPos(volume, 50);
    List()->setCurrentItem(List()->topLevelItem(3));
    ASSERT_TRUE(Activate());
    slider->setFocus();
    ASSERT_TRUE(slider->hasFocus());
    Tap tap(dlg.get());
    const QPoint overList = List()->mapToGlobal(List()->rect().center());
    const QPoint elsewhere = dlg->mapToGlobal(QPoint(300, 300));
    struct Case {
        bool overList;
        Qt::Key key;
        int row;
        int volume;
    };
    const Case cases[] = {
        {true, Qt::Key_Down, 4, 50}, {true, Qt::Key_Up, 3, 50},    {true, Qt::Key_Up, 2, 50},
        {false, Qt::Key_Up, 2, 55},  {false, Qt::Key_Down, 2, 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "over the list " << c.overList << ", key " << c.key);
        QCursor::setPos(c.overList ? overList : elsewhere);
        ASSERT_EQ(QCursor::pos(), c.overList ? overList : elsewhere);
        QTest::keyClick(slider, c.key);
        Pump(20);
        EXPECT_EQ(List()->indexOfTopLevelItem(List()->currentItem()), c.row);
        EXPECT_EQ(viewer::SliderPos(volume), c.volume);
    }
    EXPECT_EQ(viewer::SliderPos(slider), 10);
    EXPECT_EQ(tap.Count(WM_SLIDER_SETTLED), 0);  // no seek
    EXPECT_TRUE(slider->hasFocus());
}

TEST_F(ViewerApp, StopResetsTheLabels)
{
    DoubleClickRow(0);
    ASSERT_TRUE(WaitUntil([&] { return Label(IDC_CURTIME) != "00:00:00"; }));
    qobject_cast<QAbstractButton*>(dlg->Control(IDC_STOP))->click();
    EXPECT_EQ(Label(IDC_CURTIME), "00:00:00");
    EXPECT_EQ(Label(IDC_TOTALTIME), "00:00:00");
    EXPECT_EQ(Label(IDC_SPEED), "Km/h");
    EXPECT_EQ(dlg->CurrentRow(), -1);
    EXPECT_FALSE(dlg->Control(IDC_PLAY)->isHidden());
    EXPECT_EQ(dlg->Graph()->SeriesPoints(dlg->Series(0)).size(), 1u);
}

TEST_F(ViewerApp, EndOfARecordingOpensTheNextNewer)
{
    DoubleClickRow(1);
    ASSERT_TRUE(WaitPlaying());
    QTest::keyClick(dlg.get(), Qt::Key_Right);
    ASSERT_TRUE(WaitUntil([&] { return dlg->CurrentRow() == 0; }, 60000)) << "row " << dlg->CurrentRow();
    ASSERT_TRUE(WaitPlaying());
}

TEST_F(ViewerApp, RemovingTheCardEmptiesTheListOnce)
{
    DoubleClickRow(0);
    ASSERT_TRUE(WaitPlaying());
    std::filesystem::remove_all(card);
    ASSERT_TRUE(WaitUntil([&] { return dlg->RowCount() == 0 && !messages.empty(); }));
    Pump(2500);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], LocalizedString(1132));
    EXPECT_EQ(Label(IDC_SPEED), "Km/h");
    EXPECT_EQ(Label(IDC_CURTIME), "00:00:00");
    EXPECT_EQ(dlg->CurrentRow(), -1);
    // The three-channel recording is gone with the card: the layout is that of no recording.
    int extra = 0;
    EXPECT_EQ(dlg->LoadedChannelCount(&extra), 1);
    EXPECT_FALSE(dlg->Control(IDC_SWAP)->isEnabled());
    EXPECT_FALSE(dlg->Control(IDC_CH3)->isEnabled());
    EXPECT_FALSE(dlg->RearView()->isVisible());
}

// The card watch saw the card go just before the window closed: its notice comes too late.
TEST_F(ViewerApp, CardNoticeArrivingAfterTheWindowClosedIsIgnored)
{
    const QString question = LocalizedString(1115);
    std::filesystem::remove_all(card);
    ASSERT_TRUE(WaitWithoutEvents([&] { return dlg->CardId() == 0; }));
    ClickButton(IDC_QUIT);
    ASSERT_FALSE(dlg->isVisible());
    Pump(300);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], question);
}

TEST_F(ViewerApp, QuitWithYesWritesBothKeys)
{
    viewer::SetSliderPos(dlg->Control(IDC_VOLUME), 42);
    viewer::SetSliderPos(dlg->Control(IDC_BRIGHTNESS), -2);
    const QString question = LocalizedString(1115);  // the language goes with the window
    qobject_cast<QAbstractButton*>(dlg->Control(IDC_QUIT))->click();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], question);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(ReadAll(dlg->ConfigDir() + "/config.cfg"), "[config]\nbrightness=-2\nvolume=42\n");
}

TEST_F(ViewerApp, QuitWithNoKeepsTheWindow)
{
    answer = QMessageBox::No;
    qobject_cast<QAbstractButton*>(dlg->Control(IDC_QUIT))->click();
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(ViewerApp, VehicleLinesSetPicturesAndChangedNumbersOnly)
{
    const auto line = [&](const char* text) {
        const std::string packet = std::string("B") + text;
        dlg->Telemetry().OnTextPacket(packet.c_str(), static_cast<int>(packet.size()) + 1, 0);
        Pump(50);
    };
    const int turnBefore = dlg->SignalUpdates(IDC_SIG_TURN);
    line("spd=57;rpm=2000;Accel=1;Break=1;TurnSig=1;GearPos=4");
    EXPECT_EQ(viewer::PictureId(dlg->Control(IDC_SIG_TURN)), 819);
    EXPECT_EQ(viewer::PictureId(dlg->Control(IDC_SIG_PEDAL)), 821);
    EXPECT_EQ(viewer::PictureId(dlg->Control(IDC_SIG_GEAR)), 812);
    EXPECT_EQ(Label(IDC_SIG_SPD), "57");
    EXPECT_EQ(Label(IDC_SIG_RPM), "2000");
    EXPECT_EQ(Label(IDC_SIG_WAT), "0");
    const int turnAfter = dlg->SignalUpdates(IDC_SIG_TURN);
    const int spdAfter = dlg->SignalUpdates(IDC_SIG_SPD);
    const int rpmAfter = dlg->SignalUpdates(IDC_SIG_RPM);
    EXPECT_EQ(turnAfter, turnBefore + 1);

    // The same speed and turn signal again: neither is redrawn; rpm went absent and shows 0.
    line("spd=57;Break=1;TurnSig=1;GearPos=0");
    EXPECT_EQ(dlg->SignalUpdates(IDC_SIG_TURN), turnAfter);
    EXPECT_EQ(dlg->SignalUpdates(IDC_SIG_SPD), spdAfter);
    EXPECT_EQ(dlg->SignalUpdates(IDC_SIG_RPM), rpmAfter + 1);
    EXPECT_EQ(Label(IDC_SIG_RPM), "0");
    EXPECT_EQ(viewer::PictureId(dlg->Control(IDC_SIG_PEDAL)), 808);  // Accel absent
    EXPECT_EQ(viewer::PictureId(dlg->Control(IDC_SIG_GEAR)), 814);
}

TEST_F(ViewerApp, ChartShowsOnePointPerStoredSampleUpToTheSecond)
{
    for (int second = 1; second <= 3; ++second) {
        const char packet[] = {'M', char(0x80), char(0x7F), char(0x81), 0};
        dlg->Telemetry().OnTextPacket(packet, 5, second * 1000);
    }
    ASSERT_EQ(dlg->Telemetry().Samples().GSensorCount(), 3);
    dlg->UpdateChart(5);
    const auto points = dlg->Graph()->SeriesPoints(dlg->Series(0));
    EXPECT_EQ(points.size(), 3u);
    // A zero sample sits on the first axis' baseline: 150 of 200 of the chart's height.
    EXPECT_EQ(points[0].y(), dlg->Graph()->PlotRect().bottom() - 150 * dlg->Graph()->height() / 200);
    EXPECT_EQ(dlg->Graph()->SeriesPoints(dlg->Series(2)).size(), 3u);
    dlg->UpdateChart(2);
    EXPECT_EQ(dlg->Graph()->SeriesPoints(dlg->Series(1)).size(), 2u);
}

TEST_F(ViewerApp, TwoChannelsPlaceFrontMainRearSideAndSwap)
{
    DoubleClickRow(1);  // the "D" recording: front and rear
    ASSERT_TRUE(WaitPlaying());
    EXPECT_EQ(dlg->FrontView()->geometry(), QRect(4, 64, 640, 360));
    EXPECT_EQ(dlg->RearView()->geometry(), QRect(650, 270, 320, 180));
    EXPECT_TRUE(dlg->RearView()->isVisible());
    ASSERT_TRUE(WaitUntil([&] { return !dlg->RearView()->LatestImage().isNull(); }));
    dlg->OnSwap();
    EXPECT_EQ(dlg->FrontPlace(), 2);
    EXPECT_EQ(dlg->RearPlace(), 1);
    EXPECT_EQ(dlg->FrontView()->geometry(), QRect(650, 268, 320, 180));
    EXPECT_EQ(dlg->RearView()->geometry(), QRect(4, 64, 640, 360));
}

TEST_F(ViewerApp, VolumeZeroMutesAndMuteBoxSilences)
{
    QWidget* volume = dlg->Control(IDC_VOLUME);
    QWidget* mute = dlg->Control(IDC_MUTE);
    const auto deviceVolume = DeviceVolume;
    EXPECT_EQ(deviceVolume(), (32767u << 16) | 32767u);  // the default 50

    viewer::SetSliderPos(volume, 0);
    dlg->OnSliderSettled(IDC_VOLUME, 0);
    EXPECT_TRUE(viewer::IsChecked(mute));
    EXPECT_EQ(deviceVolume(), 0u);

    QTest::keyClick(dlg.get(), Qt::Key_Up);
    EXPECT_EQ(viewer::SliderPos(volume), 5);
    EXPECT_FALSE(viewer::IsChecked(mute));
    EXPECT_EQ(deviceVolume(), (3276u << 16) | 3276u);

    QTest::mouseClick(mute, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_TRUE(viewer::IsChecked(mute));
    EXPECT_EQ(deviceVolume(), 0u);
    QTest::mouseClick(mute, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_FALSE(viewer::IsChecked(mute));
    EXPECT_EQ(deviceVolume(), (3276u << 16) | 3276u);
}

// Space belongs to the window (it plays here): the mute box that has the focus sees only its
// release and must not take it for a second click.
TEST_F(ViewerApp, SpaceAfterClickingMuteDoesNotClickItAgain)
{
    auto* mute = qobject_cast<CxSkinButton*>(dlg->Control(IDC_MUTE));
    ASSERT_NE(mute, nullptr);
    ASSERT_TRUE(Activate());
    QSignalSpy clicks(mute, &CxSkinButton::clicked);
    QTest::mouseClick(mute, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(mute->hasFocus());
    ASSERT_TRUE(mute->GetCheck());
    QTest::keyClick(mute, Qt::Key_Space);
    EXPECT_TRUE(dlg->Control(IDC_PLAY)->isHidden());
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_TRUE(mute->GetCheck());
    EXPECT_EQ(DeviceVolume(), 0u);
}

TEST_F(ViewerApp, StopWithMirrorOnLeavesRearAndThirdUnflipped)
{
    DoubleClickRow(0);  // the "T" recording: rear and third
    ASSERT_TRUE(WaitPlaying());
    QWidget* mirror = dlg->Control(IDC_MIRROR);
    QTest::mouseClick(mirror, Qt::LeftButton, {}, QPoint(5, 5));
    ASSERT_TRUE(viewer::IsChecked(mirror));
    EXPECT_EQ(dlg->Decoder().FlipMode(1), 3);
    EXPECT_EQ(dlg->Decoder().FlipMode(2), 3);
    ClickButton(IDC_STOP);
    EXPECT_FALSE(viewer::IsChecked(mirror));
    EXPECT_EQ(dlg->Decoder().FlipMode(1), 0);
    EXPECT_EQ(dlg->Decoder().FlipMode(2), 0);
}

// The engine posts the end of a recording, and the end of an open that failed, from its
// worker; by the time the window sees it, the user may have opened another row.
TEST_F(ViewerApp, EndOfAnEarlierOpenDoesNotStepAwayFromTheOneOpenedSince)
{
    for (const bool failOpen : {false, true}) {
        SCOPED_TRACE(failOpen ? "failed open" : "played to its end");
        if (failOpen) {
            ASSERT_TRUE(std::filesystem::remove(RecordingFile(1)));
        }
        dlg->OnRowDoubleClicked(1);
        const int first = dlg->OpenSerial();
        ASSERT_GT(first, 0);
        if (!failOpen) {
            ASSERT_TRUE(WaitPlaying());
            dlg->Player().SeekMs(dlg->Player().DurationMs() - 500);
        }
        // The worker ends by itself and posts; the message waits in the queue.
        ASSERT_TRUE(WaitWithoutEvents([&] { return dlg->Player().RunMode() == CQVZMediaPlayer::kIdle; }));
        dlg->OnRowDoubleClicked(0);
        ASSERT_GT(dlg->OpenSerial(), first);
        Pump(300);
        EXPECT_EQ(dlg->CurrentRow(), 0);
        EXPECT_TRUE(WaitPlaying());
        // The end of the open shown still steps on: past row 0 it stops.
        SendWinMessage(dlg.get(), WM_MEDIA_END, dlg->OpenSerial(), 0);
        EXPECT_EQ(dlg->CurrentRow(), -1);
        EXPECT_EQ(dlg->OpenSerial(), 0);
    }
}

TEST_F(ViewerApp, VehicleSignalsOfAnotherOpenAreIgnored)
{
    CVehicleSignals::Table table;
    table.values[6].current = 4;  // "GearPos": D
    for (const auto& [serial, shown] : {std::pair{dlg->OpenSerial() + 1, false}, {dlg->OpenSerial(), true}}) {
        const int before = dlg->SignalUpdates(IDC_SIG_GEAR);
        QCoreApplication::postEvent(dlg.get(), new CSignalsEvent(serial, table));
        Pump(50);
        EXPECT_EQ(dlg->SignalUpdates(IDC_SIG_GEAR), before + (shown ? 1 : 0)) << serial;
    }
    EXPECT_EQ(viewer::PictureId(dlg->Control(IDC_SIG_GEAR)), 812);
}

// The table starts empty with each recording, so its first line shows every value it has.
TEST_F(ViewerApp, OpeningStartsTheVehicleSignalsAfresh)
{
    const std::string last = "Brpm=2000;wat=90;spd=57;Accel=1;Break=1;TurnSig=1;GearPos=4;steer_angle=5";
    dlg->Telemetry().OnTextPacket(last.c_str(), static_cast<int>(last.size()) + 1, 0);
    Tap tap(dlg.get());
    DoubleClickRow(1);
    const int serial = dlg->OpenSerial();
    const auto firstOfThisOpen = [&]() -> const CVehicleSignals::Table* {
        for (const auto& [from, table] : tap.signalTables) {
            if (from == serial) {
                return &table;
            }
        }
        return nullptr;
    };
    ASSERT_TRUE(WaitUntil([&] { return firstOfThisOpen() != nullptr; }));
    for (int i = 0; i < CVehicleSignals::kKeyCount; ++i) {
        EXPECT_EQ(firstOfThisOpen()->values[i].previous, kSignalAbsent) << CVehicleSignals::kKeys[i];
    }
}

TEST_F(ViewerApp, RelistingKeepsTheRowOfTheOpenRecordingOrClearsIt)
{
    DoubleClickRow(0);
    ASSERT_TRUE(WaitPlaying());
    const QString entry = dlg->RowText(0, 1);
    struct Case {
        const char* how;
        std::function<void()> relist;
        bool listed;
    };
    const Case cases[] = {
        {"all", [&] { ClickButton(IDC_CAT_ALL); }, true},  // moves down among the others
        {"event", [&] { ClickButton(IDC_CAT_EVENT); }, false},
        {"F2", [&] { QTest::keyClick(dlg.get(), Qt::Key_F2); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        c.relist();
        if (c.listed) {
            ASSERT_GE(dlg->CurrentRow(), 0);
            EXPECT_EQ(dlg->RowText(dlg->CurrentRow(), 1), entry);
            EXPECT_TRUE(List()->topLevelItem(dlg->CurrentRow())->isSelected());
        } else {
            EXPECT_EQ(dlg->CurrentRow(), -1);
        }
    }
    EXPECT_GT(dlg->OpenSerial(), 0);  // still playing
}

// How the window lays out each kind of recording: T front, rear and third; D front and
// rear; E front and third (no rear to swap with); N front only.
TEST_F(ViewerApp, ChannelLetterSetsTheLayout)
{
    struct Case {
        char letter;
        int channels;
        bool rear;
        bool third;
        bool swap;
    };
    const Case cases[] = {
        {'T', 3, true, true, true},
        {'E', 2, false, true, false},
        {'D', 2, true, false, true},
        {'N', 1, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.letter);
        const int row = RowWithLetter(c.letter);
        ASSERT_GE(row, 0);
        dlg->OnRowDoubleClicked(row);
        ASSERT_TRUE(WaitPlaying());
        int extra = 0;
        EXPECT_EQ(dlg->LoadedChannelCount(&extra), c.channels);
        EXPECT_EQ(dlg->FrontView()->geometry(), QRect(4, 64, 640, 360));
        EXPECT_EQ(dlg->RearView()->isVisible(), c.rear);
        EXPECT_EQ(dlg->RearPlace(), c.rear ? 2 : 0);
        EXPECT_EQ(dlg->Control(IDC_CH3)->isEnabled(), c.third);
        EXPECT_EQ(dlg->Control(IDC_SWAP)->isEnabled(), c.swap);
        if (c.rear) {
            EXPECT_TRUE(WaitUntil([&] { return !dlg->RearView()->LatestImage().isNull(); }));
        }
    }
}

// The frameless window follows a drag of its background (offscreen, like X11 without a
// window manager, has no move of its own).
TEST_F(ViewerApp, DraggingTheBackgroundMovesTheWindow)
{
    const QPoint before = dlg->pos();
    const QPoint at(300, 20);
    ASSERT_EQ(dlg->childAt(at), nullptr);
    const auto send = [&](QEvent::Type type, QPoint local, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(local), QPointF(dlg->mapToGlobal(local)), button, buttons,
                      Qt::NoModifier);
        QApplication::sendEvent(dlg.get(), &e);
    };
    send(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, at + QPoint(40, 30), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, at + QPoint(40, 30), Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(WaitUntil([&] { return dlg->pos() == before + QPoint(40, 30); }, 2000)) << dlg->pos().x();
}

TEST_F(ViewerApp, SelectAllTicksEveryRowAndClearsOnAnEmptyCategory)
{
    QWidget* selectAll = dlg->Control(IDC_SELECT_ALL);
    viewer::SetChecked(selectAll, true);
    dlg->OnSelectAll();
    for (int row = 0; row < dlg->RowCount(); ++row) {
        EXPECT_EQ(List()->topLevelItem(row)->checkState(0), Qt::Checked);
    }
    std::filesystem::remove_all(card + "/RECORD/MANUAL");
    dlg->ListCategory(3);
    EXPECT_EQ(dlg->RowCount(), 0);
    EXPECT_FALSE(viewer::IsChecked(selectAll));
}

// Pictures of the window while it plays, for the documentation (not a check).
TEST_F(ViewerApp, GrabWhilePlaying)
{
    const QString dir = QString(MUB_BINARY_DIR) + "/viewer-shots";
    QDir().mkpath(dir);
    const std::pair<int, const char*> shots[] = {{1, "viewer-2ch.png"}, {0, "viewer-3ch.png"}};
    for (const auto& [row, name] : shots) {
        DoubleClickRow(row);
        ASSERT_TRUE(WaitPlaying(4000));
        Pump(300);
        EXPECT_TRUE(dlg->grab().save(dir + "/" + name));
    }
}

// ---- still capture (button 378)

// What a saved still must be: a JPEG of the decoded picture's size, 8 bits, three channels.
void ExpectJpeg(const QString& path, QSize size)
{
    SCOPED_TRACE(path.toStdString());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.read(3).startsWith("\xFF\xD8\xFF"));
    const cv::Mat image = cv::imread(path.toStdString(), cv::IMREAD_UNCHANGED);
    EXPECT_EQ(image.type(), CV_8UC3);
    EXPECT_EQ(QSize(image.cols, image.rows), size);
}

TEST_F(ViewerApp, CaptureWritesOneJpegPerChannelShownAtTheDecodedSize)
{
    QFile(tmp.path() + "/SHA256SUMS").open(QIODevice::WriteOnly);  // keeps the stills' digests
    struct Case {
        char letter;
        bool thirdWindow;  // CH3 shows the third-channel window
        QStringList suffixes;
    };
    const Case cases[] = {{'T', false, {"_front.jpg", "_rear.jpg"}},
                          {'T', true, {"_front.jpg", "_rear.jpg", "_3ch.jpg"}},
                          {'N', false, {"_front.jpg"}}};
    int shot = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.letter + std::string(c.thirdWindow ? " with" : " without") + " the third window");
        const int row = RowWithLetter(c.letter);
        ASSERT_GE(row, 0);
        dlg->OnRowDoubleClicked(row);
        ASSERT_TRUE(WaitPlaying(1500));
        if (c.thirdWindow && !(dlg->ThirdWindow() && dlg->ThirdWindow()->isVisible())) {
            ClickButton(IDC_CH3);
            ASSERT_TRUE(dlg->ThirdWindow() && dlg->ThirdWindow()->isVisible());
            ASSERT_TRUE(WaitUntil([&] { return !dlg->ThirdWindow()->Picture()->LatestImage().isNull(); }));
        }
        const QString base = QString("/still_%1").arg(++shot);
        saveAnswer = tmp.path() + base + ".jpg";
        ClickButton(IDC_CAPTURE);
        EXPECT_EQ(stateDuringDialog, PlayerState::Paused);
        ASSERT_EQ(saveAsked.size(), 1u);
        EXPECT_TRUE(
            QRegularExpression("^Capture_\\d{4}\\d{1,2}\\d{1,2}_\\d{1,2}\\d{1,2}\\d{1,2}\\.jpg\\|jpeg file "
                               "\\(\\*\\.jpg\\)$")
                .match(saveAsked[0])
                .hasMatch())
            << saveAsked[0].toStdString();
        saveAsked.clear();
        const QSize sizes[] = {{640, 360}, {240, 136}, {240, 136}};
        for (int i = 0; i < c.suffixes.size(); ++i) {
            ExpectJpeg(tmp.path() + base + c.suffixes[i], sizes[i]);
        }
        EXPECT_EQ(QDir(tmp.path()).entryList({base.mid(1) + "_*"}).size(), c.suffixes.size());
        EXPECT_TRUE(WaitPlaying());  // it played before, so it plays on
        EXPECT_TRUE(dlg->Control(IDC_PLAY)->isHidden());
    }
    EXPECT_TRUE(messages.empty());
    const RunResult sums =
        RunCommand("cd '" + tmp.path().toStdString() + "' && sha256sum -c --strict SHA256SUMS");
    EXPECT_EQ(sums.status, 0) << sums.output;
    EXPECT_EQ(QString::fromStdString(sums.output).count(": OK"), 6) << sums.output;
}

TEST_F(ViewerApp, CancelledCaptureResumesWhatPlayedAndLeavesAPausedPicturePaused)
{
    DoubleClickRow(1);
    ASSERT_TRUE(WaitPlaying(500));
    for (const bool paused : {false, true}) {
        SCOPED_TRACE(paused ? "paused" : "playing");
        if (paused) {
            ClickButton(IDC_PAUSE);
        }
        saveAnswer.clear();
        ClickButton(IDC_CAPTURE);
        EXPECT_EQ(stateDuringDialog, PlayerState::Paused);
        EXPECT_EQ(dlg->Player().State(), paused ? PlayerState::Paused : PlayerState::Playing);
        EXPECT_EQ(dlg->Control(IDC_PLAY)->isHidden(), !paused);
    }
    // A paused picture stepped to by a seek can be captured, and stays where it is.
    dlg->Player().SeekMs(3000);
    ASSERT_TRUE(WaitUntil([&] { return dlg->Player().State() == PlayerState::Stepped; }));
    saveAnswer = tmp.path() + "/stepped";
    ClickButton(IDC_CAPTURE);
    EXPECT_TRUE(QFile::exists(tmp.path() + "/stepped_front.jpg"));
    EXPECT_TRUE(QFile::exists(tmp.path() + "/stepped_rear.jpg"));
    EXPECT_EQ(dlg->Player().State(), PlayerState::Stepped);
    EXPECT_EQ(saveAsked.size(), 3u);
}

TEST_F(ViewerApp, FailedStillIsToldOnceAndTheOtherChannelsAreSaved)
{
    DoubleClickRow(1);  // front and rear
    ASSERT_TRUE(WaitPlaying(500));
    // A folder where the front's file would go: that one cannot be written.
    ASSERT_TRUE(QDir(tmp.path()).mkpath("b_front.jpg"));
    saveAnswer = tmp.path() + "/b.jpg";
    ClickButton(IDC_CAPTURE);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0], LocalizedString(1191).arg(tmp.path() + "/b_front.jpg"));
    ExpectJpeg(tmp.path() + "/b_rear.jpg", {240, 136});
    EXPECT_TRUE(WaitPlaying());
}

TEST_F(ViewerApp, CaptureDoesNothingWithAnEmptyListOrStopped)
{
    ClickButton(IDC_CAPTURE);  // stopped
    std::filesystem::remove_all(card + "/RECORD/MANUAL");
    dlg->ListCategory(3);
    ASSERT_EQ(dlg->RowCount(), 0);
    ClickButton(IDC_CAPTURE);  // nothing listed
    EXPECT_TRUE(saveAsked.empty());
}

// ---- export (button 431)

// The card's reads take a while, so that an export can be caught in the middle.
class SlowCard {
public:
    explicit SlowCard(int usPerKiB = 1500)
    {
        s_usPerKiB = usPerKiB;
        mub::SetCardReadFunction(&Read);
    }
    ~SlowCard() { mub::SetCardReadFunction(nullptr); }

private:
    static ssize_t Read(int fd, void* buffer, size_t len, off_t offset)
    {
        // Per KiB, whatever the size of the library's reads.
        std::this_thread::sleep_for(std::chrono::microseconds(s_usPerKiB.load()) * ((len + 1023) / 1024));
        return ::pread(fd, buffer, len, offset);
    }
    static inline std::atomic<int> s_usPerKiB{1500};
};

class ViewerExport : public ViewerApp {
protected:
    void SetUp() override
    {
        ViewerApp::SetUp();
        out = tmp.path() + "/out";
        QDir().mkpath(out);
        folderAnswer = out;
        ClickButton(IDC_CAT_ALL);
        dlg->installEventFilter(&titles);
    }
    void Tick(std::initializer_list<int> rows)
    {
        for (int row : rows) {
            List()->topLevelItem(row)->setCheckState(0, Qt::Checked);
        }
    }
    QProgressBar* Bar(int id) const { return static_cast<QProgressBar*>(dlg->Progress()->Control(id)); }
    // Descriptions of a recording: front, rear and third picture counts.
    std::vector<int> DescribedFrames(const QString& name) const
    {
        CMUBParser parser;
        MediaInfo info;
        std::string copy = name.toStdString();
        EXPECT_NE(parser.Open(copy.data(), &info), 0);
        std::vector<int> frames = {info.frameCount0};
        if (info.frameRate1 != 0) {
            frames.push_back(info.frameCount1);
        }
        if (info.frameRate2 != 0) {
            frames.push_back(parser.RecordingInfo(12));
        }
        parser.Close();
        return frames;
    }

    // Every window title the main window took.
    class Titles : public QObject {
    public:
        std::vector<QString> seen;

    protected:
        bool eventFilter(QObject* o, QEvent* e) override
        {
            if (e->type() == QEvent::WindowTitleChange) {
                seen.push_back(static_cast<QWidget*>(o)->windowTitle());
            }
            return false;
        }
    } titles;
    QString out;
};

TEST_F(ViewerExport, ThreeTickedRowsBecomeThreeAvisFfmpegAcceptsWithTheirSums)
{
    Tick({5, 1, 3});
    const QString names[] = {EntryName(1), EntryName(3), EntryName(5)};
    QCheckBox* telemetry =
        static_cast<QCheckBox*>(dlg->Progress()->Control(CProgressDlg::IDC_PROGRESS_TELEMETRY));
    telemetry->click();  // remembered in the configuration
    ClickButton(IDC_EXPORT);
    ASSERT_EQ(folderAsked, std::vector<QString>{LocalizedString(1134)});
    EXPECT_TRUE(dlg->Exporting());
    EXPECT_TRUE(dlg->Progress()->isVisible());
    ASSERT_TRUE(WaitUntil([&] { return !dlg->Exporting(); }, 120000));
    EXPECT_FALSE(dlg->Progress()->isVisible());
    const std::vector<QString> expected = {"Make File 000/003 [" + names[0] + "]",
                                           "Make File 001/003 [" + names[1] + "]",
                                           "Make File 002/003 [" + names[2] + "]"};
    EXPECT_EQ(titles.seen, expected);
    EXPECT_EQ(dlg->windowTitle(), expected.back());
    EXPECT_EQ(Bar(CProgressDlg::IDC_PROGRESS_FILES)->value(), 3);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].startsWith(LocalizedString(1192).arg(QString::number(3 + 2 * 3), out)))
        << messages[0].toStdString();
    for (const QString& name : names) {
        ExpectFfmpegAccepts((out + "/" + name).toStdString(), DescribedFrames(name));
        EXPECT_TRUE(QFile::exists(out + "/" + QString(name).replace(".avi", ".csv")));
    }
    EXPECT_EQ(dlg->TargetFolder(), out.toStdString());
    EXPECT_EQ(viewer::ReadTargetFolder(dlg->ConfigDir()), out.toStdString());
    EXPECT_TRUE(viewer::ReadExportTelemetry(dlg->ConfigDir()));
    const RunResult sums = RunCommand("cd '" + out.toStdString() + "' && sha256sum -c --strict SHA256SUMS");
    EXPECT_EQ(sums.status, 0) << sums.output;
    EXPECT_EQ(QString::fromStdString(sums.output).count(": OK"), 9) << sums.output;
}

TEST_F(ViewerExport, NothingTickedOrNoFolderOrAFolderTooLongStartsNothing)
{
    ClickButton(IDC_EXPORT);
    EXPECT_EQ(messages, std::vector<QString>{LocalizedString(1133)});
    EXPECT_TRUE(folderAsked.empty());
    Tick({0});
    const std::string before = viewer::ReadTargetFolder(dlg->ConfigDir());
    for (const QString& answer : {QString(), "/" + QString(259, 'd')}) {
        messages.clear();
        folderAnswer = answer;
        ClickButton(IDC_EXPORT);
        EXPECT_FALSE(dlg->Exporting());
        EXPECT_EQ(viewer::ReadTargetFolder(dlg->ConfigDir()), before);
    }
    EXPECT_EQ(messages, std::vector<QString>{LocalizedString(1196).arg(folderAnswer)});
}

TEST_F(ViewerExport, CancelInTheSecondFileLeavesItShortAndValidAndNoThird)
{
    SlowCard slow;
    Tick({0, 1, 2});
    const QString second = EntryName(1);
    ClickButton(IDC_EXPORT);
    QProgressBar* frames = Bar(CProgressDlg::IDC_PROGRESS_FRAMES);
    ASSERT_TRUE(WaitUntil(
        [&] { return dlg->windowTitle().startsWith("Make File 001/003") && frames->value() > 20; }, 120000));
    EXPECT_TRUE(dlg->Progress()->isVisible());  // the whole time
    // A picture of it for the documentation.
    QDir().mkpath(QString(MUB_BINARY_DIR) + "/viewer-shots");
    dlg->Progress()->grab().save(QString(MUB_BINARY_DIR) + "/viewer-shots/export-progress.png");
    qobject_cast<QAbstractButton*>(dlg->Progress()->Control(CProgressDlg::IDC_PROGRESS_CANCEL))->click();
    EXPECT_FALSE(dlg->Progress()->isVisible());  // at once
    EXPECT_FALSE(dlg->Progress()->Continue());
    ASSERT_TRUE(WaitUntil([&] { return !dlg->Exporting(); }));
    const std::vector<int> described = DescribedFrames(second);
    const RunResult count = RunCommand(std::string(FFPROBE_EXECUTABLE) +
                                       " -v error -count_packets -select_streams v:0 -show_entries "
                                       "stream=nb_read_packets -of csv=p=0 '" +
                                       (out + "/" + second).toStdString() + "'");
    EXPECT_LT(std::stoi(count.output), described[0]);
    EXPECT_GT(std::stoi(count.output), 20);
    const RunResult decode = RunCommand(std::string(FFMPEG_EXECUTABLE) + " -nostdin -v error -xerror -i '" +
                                        (out + "/" + second).toStdString() + "' -f null -");
    EXPECT_EQ(decode.status, 0) << decode.output;
    EXPECT_FALSE(QFile::exists(out + "/" + EntryName(2)));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0].indexOf(LocalizedString(1197).arg(1)), -1) << messages[0].toStdString();
}

TEST_F(ViewerExport, KeysPlayCaptureAndCategoriesDoNothingWhileExporting)
{
    SlowCard slow;
    Tick({0, 1});
    ClickButton(IDC_EXPORT);
    ASSERT_TRUE(dlg->Exporting());
    const int rows = dlg->RowCount();
    ClickButton(IDC_PLAY);
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Right, Qt::Key_PageUp, Qt::Key_F2}) {
        QTest::keyClick(dlg.get(), key);
    }
    ClickButton(IDC_CAT_DRIVING);
    ClickButton(IDC_CAPTURE);
    dlg->OnRowDoubleClicked(0);
    Pump(200);
    ASSERT_TRUE(dlg->Exporting());
    EXPECT_EQ(dlg->Player().PlayState(), CQVZMediaPlayer::kStateStopped);
    EXPECT_EQ(dlg->OpenSerial(), 0);
    EXPECT_EQ(dlg->RowCount(), rows);
    EXPECT_TRUE(saveAsked.empty());
    ClickButton(IDC_EXPORT);  // a second export neither
    EXPECT_EQ(folderAsked.size(), 1u);
}

TEST_F(ViewerExport, CardPulledMidExportEndsItAndResetsTheWindow)
{
    // Files already open stay readable once removed: the first file must last well past
    // the card watch's one-second look for the pull to land in it.
    SlowCard slow(5000);
    Tick({0, 1, 2});
    ClickButton(IDC_EXPORT);
    ASSERT_TRUE(WaitUntil([&] { return Bar(CProgressDlg::IDC_PROGRESS_FRAMES)->value() > 5; }));
    std::filesystem::remove_all(card);
    ASSERT_TRUE(WaitUntil([&] { return !dlg->Exporting(); }));
    EXPECT_FALSE(dlg->Progress()->isVisible());
    EXPECT_EQ(Bar(CProgressDlg::IDC_PROGRESS_FRAMES)->value(), 0);
    EXPECT_EQ(Bar(CProgressDlg::IDC_PROGRESS_FILES)->value(), 0);
    EXPECT_EQ(messages, std::vector<QString>{LocalizedString(1132)});
    Pump(500);  // the job's late news are dropped: no summary
    EXPECT_EQ(messages.size(), 1u);
}

// Closing the window in the middle of an export stops the worker before the card
// library's context goes; the file in hand is finished, shortened but valid.
TEST_F(ViewerExport, ClosingMidExportFinishesTheFileInHand)
{
    SlowCard slow;
    Tick({0});
    ClickButton(IDC_EXPORT);
    ASSERT_TRUE(WaitUntil([&] { return Bar(CProgressDlg::IDC_PROGRESS_FRAMES)->value() > 5; }));
    dlg.reset();
    const QString file = out + "/" + QDir(out).entryList({"*.avi"}).value(0);
    const RunResult probe =
        RunCommand(std::string(FFPROBE_EXECUTABLE) + " -v error '" + file.toStdString() + "'");
    EXPECT_EQ(probe.status, 0) << probe.output;
    EXPECT_EQ(probe.output, "");
}

long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

double CpuSeconds()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Figures for the report, not checks: run with --gtest_also_run_disabled_tests.
TEST(ViewerFigures, DISABLED_StartUpAndThreeChannelPlayback)
{
    QTemporaryDir tmp;
    const std::string card = tmp.path().toStdString() + "/card";
    std::filesystem::copy(SAMPLE_CARD_DIR, card, std::filesystem::copy_options::recursive);
    CSamplePlayerDlg::Options options;
    options.cardFolder = card;
    options.configFolder = tmp.path().toStdString() + "/config";
    options.messageBox = [](QWidget*, const QString&, const QString&, int) { return int(QMessageBox::Ok); };
    QElapsedTimer clock;
    clock.start();
    CSamplePlayerDlg dlg(options);
    dlg.OnInitDialog();
    dlg.show();
    ASSERT_TRUE(WaitUntil([&] { return dlg.RowCount() > 0 && dlg.isVisible(); }));
    const qint64 startMs = clock.elapsed();
    const long idleKb = ResidentKb();

    dlg.OnRowDoubleClicked(0);  // the three-channel recording
    ASSERT_TRUE(WaitUntil([&] { return dlg.Player().CurrentTimeMs() >= 1000; }));
    const double cpu0 = CpuSeconds();
    clock.restart();
    long peakKb = 0;
    while (clock.elapsed() < 10000 && dlg.Player().PlayState() == 0) {
        Pump(200);
        peakKb = std::max(peakKb, ResidentKb());
    }
    const double wall = clock.elapsed() / 1000.0;
    const double cpu = (CpuSeconds() - cpu0) / wall * 100.0;
    std::printf(
        "FIGURES start-to-list %lld ms; resident idle %ld KiB, playing peak %ld KiB; CPU %.1f %% of one core "
        "over %.1f s\n",
        static_cast<long long>(startMs), idleKb, peakKb, cpu, wall);
}

// Figures for the report, not checks: the export of the first three rows of "All" and a
// capture of every channel, on the card in MUB_FIGURES_CARD. Run with
// --gtest_also_run_disabled_tests.
TEST(ViewerFigures, DISABLED_ExportAndCapture)
{
    const char* source = std::getenv("MUB_FIGURES_CARD");
    ASSERT_NE(source, nullptr) << "MUB_FIGURES_CARD names the card";
    QTemporaryDir tmp;
    const QString out = tmp.path() + "/out";
    QDir().mkpath(out);
    CSamplePlayerDlg::Options options;
    options.cardFolder = source;
    options.configFolder = tmp.path().toStdString() + "/config";
    options.messageBox = [](QWidget*, const QString&, const QString&, int) { return int(QMessageBox::Ok); };
    options.chooseFolder = [&](QWidget*, const QString&, const QString&) { return out; };
    options.saveFile = [&](QWidget*, const QString&, const QString&) { return tmp.path() + "/still.jpg"; };
    CSamplePlayerDlg dlg(options);
    dlg.OnInitDialog();
    dlg.show();
    ASSERT_TRUE(WaitUntil([&] { return dlg.RowCount() > 0; }));
    auto* list = static_cast<QTreeWidget*>(dlg.Control(IDC_LIST));
    qobject_cast<QAbstractButton*>(dlg.Control(IDC_CAT_ALL))->click();
    for (int row = 0; row < 3 && row < dlg.RowCount(); ++row) {
        list->topLevelItem(row)->setCheckState(0, Qt::Checked);
    }
    QElapsedTimer clock;
    clock.start();
    qobject_cast<QAbstractButton*>(dlg.Control(IDC_EXPORT))->click();
    long long longestGapMs = 0;  // the window's longest time without handling its events
    qint64 last = clock.elapsed();
    while (dlg.Exporting()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        longestGapMs = std::max<long long>(longestGapMs, clock.elapsed() - last);
        last = clock.elapsed();
        QThread::msleep(5);
    }
    std::printf("FIGURES GUI export of 3 rows: %lld ms; longest event gap %lld ms\n",
                static_cast<long long>(clock.elapsed()), longestGapMs);

    dlg.OnRowDoubleClicked(0);
    qobject_cast<QAbstractButton*>(dlg.Control(IDC_CH3))->click();
    ASSERT_NE(dlg.ThirdWindow(), nullptr);
    ASSERT_TRUE(WaitUntil([&] {
        return dlg.Player().CurrentTimeMs() > 3000 && !dlg.ThirdWindow()->Picture()->LatestImage().isNull();
    }));
    clock.restart();
    qobject_cast<QAbstractButton*>(dlg.Control(IDC_CAPTURE))->click();
    std::printf("FIGURES capture, click to %d files written: %lld ms\n",
                static_cast<int>(QDir(tmp.path()).entryList({"still_*.jpg"}).size()),
                static_cast<long long>(clock.elapsed()));
}

TEST(ViewerWindow, DestroyedWithoutStartingIsQuiet)
{
    QTemporaryDir tmp;
    CSamplePlayerDlg::Options options;
    options.configFolder = tmp.path().toStdString();
    {
        CSamplePlayerDlg dlg(options);
    }
    EXPECT_FALSE(QFile::exists(tmp.path() + "/config.cfg"));
}

TEST(ViewerProgram, SecondStartEndsAtOnce)
{
    QTemporaryDir tmp;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("TMPDIR", tmp.path());
    env.insert("MUB_VIEWER_CONFIG_DIR", tmp.path() + "/config");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("SDL_AUDIODRIVER", "dummy");
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(MUBVIEWER_EXECUTABLE, {"--card", tmp.path() + "/nocard"});
    ASSERT_TRUE(first.waitForStarted());
    // The first one holds the lock once its lock file exists.
    ASSERT_TRUE(WaitUntil([&] { return !QDir(tmp.path()).entryList({"*.lock"}, QDir::Files).isEmpty(); }));
    QProcess second;
    second.setProcessEnvironment(env);
    second.start(MUBVIEWER_EXECUTABLE, {});
    ASSERT_TRUE(second.waitForFinished(kWaitMs));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    first.kill();
    first.waitForFinished();
}

}  // namespace
