// The map in the main window on a sample card: blank at start without the engine, loaded
// on the first open while online, the route and the marker of what plays, the side place
// only for a recording with GPS, and a bad configuration.
#include "formats/gpstrack.h"
#include "mublib/mub_card.h"
#include "mublib/mub_container.h"
#include "tests/map/map_support.h"
#include "tests/map/tile_server.h"
#include "viewer/mainwindow.h"
#include "viewer/mapview.h"
#include "viewer/viewerconfig.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QJsonArray>
#include <QMessageBox>
#include <QTemporaryDir>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using maptest::State;
using maptest::WaitUntil;

// The recording without its GPS records, under a new name.
bool CopyWithoutGps(const std::string& from, const std::string& to)
{
    auto source = std::make_unique<mub::CMubFileSource>();
    mub::CMubReader reader;
    if (!source->Open(from) || !reader.Open(std::move(source))) {
        return false;
    }
    mub::CMubWriter writer;
    if (!writer.Create(to, mub::DecodeDescription(reader.Header().description))) {
        return false;
    }
    std::vector<uint8_t> buffer(0x200000);
    mub::PacketInfo info;
    for (mub::ReadResult r; (r = reader.Next(buffer.data(), static_cast<uint32_t>(buffer.size()), &info)) !=
                                mub::ReadResult::kEnd &&
                            r != mub::ReadResult::kError;) {
        if (r == mub::ReadResult::kOk && !(info.status == mub::kStatusText && buffer[0] == 'G')) {
            writer.WritePacket(info.type, info.status, info.flag, info.timeMs, buffer.data(), info.length);
        }
    }
    return writer.Finish();
}

class MapWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::unsetenv("MUB_MAP_PROVIDER");
        ASSERT_TRUE(tmp.isValid());
        card = tmp.path().toStdString() + "/card";
        std::filesystem::copy(SAMPLE_CARD_DIR, card, std::filesystem::copy_options::recursive);
        config = tmp.path().toStdString() + "/config";
        std::filesystem::create_directories(config);
    }
    void TearDown() override { dlg.reset(); }

    void WriteMapSection(const std::string& lines)
    {
        std::ofstream(viewer::ConfigFilePath(config)) << "[map]\n" << lines;
    }
    void Start()
    {
        CSamplePlayerDlg::Options options;
        options.cardFolder = card;
        options.configFolder = config;
        options.messageBox = [](QWidget*, const QString&, const QString&, int) {
            return int(QMessageBox::Ok);
        };
        dlg = std::make_unique<CSamplePlayerDlg>(options);
        dlg->OnInitDialog();
        dlg->MapView()->SetOnlineCheck([this] { return online; });
        dlg->show();
        ASSERT_TRUE(WaitUntil([this] { return dlg->RowCount() > 0; })) << "the card was never listed";
    }
    bool Open(int row)
    {
        return dlg->OpenAndPlay(dlg->RowText(row, 1).toStdString()) && WaitUntil([this] {
                   return dlg->Player().PlayState() == 0 && dlg->Player().CurrentTimeMs() > 0;
               });
    }

    QTemporaryDir tmp;
    std::string card;
    std::string config;
    bool online = true;
    std::unique_ptr<CSamplePlayerDlg> dlg;
};

TEST_F(MapWindow, StartsAsABlankPageWithoutTheEngine)
{
    Start();
    CMapView* map = dlg->MapView();
    ASSERT_EQ(dlg->Control(IDC_MAP), map);
    EXPECT_EQ(map->geometry(), QRect(650, 268, 0, 0));
    EXPECT_EQ(map->Url(), QUrl("about:blank"));
    EXPECT_EQ(map->Browser(), nullptr);
}

TEST_F(MapWindow, OfflineThenOnlineLoadsOnTheSecondOpenAndShowsWhatPlays)
{
    CTileServer server;
    WriteMapSection("tile_url=" + server.TileUrl().toStdString() + "\n");
    Start();
    CMapView* map = dlg->MapView();
    online = false;
    ASSERT_TRUE(Open(0));
    EXPECT_FALSE(map->PageLoadStarted());
    EXPECT_EQ(map->Browser(), nullptr);

    online = true;
    ASSERT_TRUE(Open(1));
    EXPECT_TRUE(map->PageLoadStarted());
    EXPECT_EQ(map->geometry(), QRect(650, 268, 0, 0)) << "hidden until a place shows it";
    ASSERT_TRUE(WaitUntil([&] { return map->IsPageReady() && State(map)["ready"].toBool(); }));

    // The route is every valid fix of the recording; the marker follows the newest fix.
    const int fixes = static_cast<int>(map->Route().points.size());
    EXPECT_GT(fixes, 5);
    EXPECT_EQ(State(map)["route"].toInt(), fixes);
    CGPSData newest;
    ASSERT_TRUE(WaitUntil([&] {
        if (!dlg->Telemetry().Samples().LastGPS(&newest)) {
            return false;
        }
        const QJsonArray marker = State(map)["marker"].toArray();
        return std::fabs(marker[0].toDouble() - newest.Latitude()) < 1e-6 && State(map)["driven"].toInt() > 0;
    })) << "the tick moves the marker to the newest fix and grows the driven part";

    // A seek back shortens the driven part at the next tick.
    const int drivenBefore = State(map)["driven"].toInt();
    dlg->Player().SeekMs(0);
    EXPECT_TRUE(WaitUntil([&] { return State(map)["driven"].toInt() < drivenBefore; }));
}

TEST_F(MapWindow, ARecordingWithoutGpsNeverShowsTheMapInTheSidePlace)
{
    WriteMapSection("provider=off\n");
    // The newest recording of the list, without its GPS records.
    const auto recordings = mub::ListCategory(card, MUB_CATEGORY_DRIVING);
    ASSERT_FALSE(recordings.empty());
    ASSERT_TRUE(CopyWithoutGps(recordings.front().path,
                               mub::RecordingPath(card, MUB_CATEGORY_DRIVING, "REC_20991231_235959_D")));
    Start();
    ASSERT_TRUE(dlg->RowText(0, 1).startsWith("REC_20991231_235959_D"));
    const QRect sidePlace(650, 268, 320, 180);
    for (int row : {0, 1}) {
        SCOPED_TRACE(row);
        ASSERT_TRUE(Open(row));
        // A few ticks: GPS records, if any, have arrived.
        ASSERT_TRUE(WaitUntil([&] { return dlg->Player().CurrentTimeMs() > 3500; }));
        maptest::Pump(1200);
        dlg->OnViewMap();
        EXPECT_EQ(dlg->MapPlace(), 2);
        if (row == 0) {
            EXPECT_EQ(dlg->Telemetry().Samples().GPSCount(), 0);
            EXPECT_EQ(dlg->MapView()->geometry().size(), QSize(0, 0)) << "no GPS: the map is not shown";
        } else {
            EXPECT_GT(dlg->Telemetry().Samples().GPSCount(), 0);
            EXPECT_EQ(dlg->MapView()->geometry(), sidePlace);
            EXPECT_TRUE(dlg->MapView()->isVisible());
        }
    }
    EXPECT_EQ(dlg->MapView()->Browser(), nullptr) << "provider off: the engine never starts";
}

TEST_F(MapWindow, ABadConfigurationKeepsTheMapBlankWithOneLine)
{
    WriteMapSection("provider=bing\ntile_url=ftp://x/{z}/{x}/{y}\n");
    testing::internal::CaptureStderr();
    Start();
    const std::string err = testing::internal::GetCapturedStderr();
    size_t lines = 0;
    for (size_t at = err.find("map: "); at != std::string::npos; at = err.find("map: ", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 1u) << err;
    EXPECT_NE(err.find("\"provider\" is \"bing\""), std::string::npos) << err;
    ASSERT_TRUE(Open(0));
    EXPECT_FALSE(dlg->MapView()->PageLoadStarted());
    EXPECT_EQ(dlg->MapView()->Browser(), nullptr);
}

}  // namespace
