// The whole viewer on a sample card: the real main window, engine and card library.
#include "controls/controlid.h"
#include "controls/winevent.h"
#include "platform/waveout.h"
#include "res/strings.h"
#include "viewer/mainwindow.h"
#include "viewer/pictureview.h"
#include "viewer/skinctl.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <sstream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << s.toStdString();
}

namespace {

// Generous limits for waits: a loaded machine is slow, never wrong.
constexpr int kWaitMs = 30000;

bool WaitUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

void Pump(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ViewerApp : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        card = tmp.path().toStdString() + "/card";
        std::filesystem::copy(SAMPLE_CARD_DIR, card, std::filesystem::copy_options::recursive);
        CSamplePlayerDlg::Options options;
        options.cardFolder = card;
        options.configFolder = tmp.path().toStdString() + "/config";
        options.messageBox = [this](QWidget*, const QString& text, const QString&, int buttons) {
            messages.push_back(text);
            return (buttons & QMessageBox::Yes) ? answer : static_cast<int>(QMessageBox::Ok);
        };
        dlg = std::make_unique<CSamplePlayerDlg>(options);
        dlg->OnInitDialog();
        dlg->show();
        ASSERT_TRUE(WaitUntil([this] { return dlg->RowCount() > 0; })) << "the card was never listed";
    }

    void TearDown() override { dlg.reset(); }

    QString Label(int id) const { return static_cast<QLabel*>(dlg->Control(id))->text(); }
    QTreeWidget* List() const { return static_cast<QTreeWidget*>(dlg->Control(IDC_LIST)); }

    void DoubleClickRow(int row)
    {
        QTreeWidget* list = List();
        const QRect rect = list->visualItemRect(list->topLevelItem(row));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
        // QTest leaves the button down after a double click; the tick would wait for it.
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, rect.center());
    }

    bool WaitPlaying(int minMs = 1)
    {
        const bool ok = WaitUntil(
            [&] { return dlg->Player().PlayState() == 0 && dlg->Player().CurrentTimeMs() >= minMs; });
        if (!ok) {
            ADD_FAILURE() << "buttons " << int(QApplication::mouseButtons()) << " row " << dlg->CurrentRow()
                          << " state " << dlg->Player().PlayState() << " time "
                          << dlg->Player().CurrentTimeMs() << " run " << dlg->Player().RunMode();
        }
        return ok;
    }

    QTemporaryDir tmp;
    std::string card;
    std::unique_ptr<CSamplePlayerDlg> dlg;
    std::vector<QString> messages;
    int answer = QMessageBox::Yes;
};

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
    QTest::keyClick(dlg.get(), Qt::Key_Tab);
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(viewer::SliderPos(volume), 99);
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
    const auto deviceVolume = [] {
        DWORD v = 0xDEAD;
        waveOutGetVolume(nullptr, &v);
        return v;
    };
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
