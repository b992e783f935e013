// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's main window: a frameless, skinned dialog holding the recording list, the
// video pictures, the transport, the telemetry display and the engine objects it drives.
// Its handlers are split by function over the mainwindow_*.cpp units. Everything here runs
// on the GUI thread unless a function says otherwise.
#pragma once

#include "controls/winevent.h"
#include "engine/decoder.h"
#include "engine/mediaplayer.h"
#include "engine/wavebox.h"
#include "formats/mubparser.h"
#include "formats/telemetry.h"
#include "viewer/exportjob.h"
#include "viewer/graphstatic.h"
#include "viewer/videoplaces.h"
#include "viewer/viewerconfig.h"
#include "viewer/windowdrag.h"

#include <QFont>
#include <QPixmap>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class QAbstractButton;
class QLabel;
class QTreeWidget;
class QTreeWidgetItem;
class CLangModule;
class CPictureView;
class CProgressDlg;
class CCH3Dlg;
class CZoomDlg;
class CMapView;

// Control ids of the main dialog.
enum MainControlId {
    IDC_MINIMIZE = 359,
    IDC_QUIT = 360,
    IDC_POSITION = 361,
    IDC_VOLUME = 363,
    IDC_PRE = 364,
    IDC_PLAY = 365,
    IDC_STOP = 366,
    IDC_NEXT = 367,
    IDC_BACK10 = 368,
    IDC_FWD10 = 369,
    IDC_OPEN = 371,
    IDC_LIST = 374,
    IDC_CURTIME = 375,
    IDC_TOTALTIME = 376,
    IDC_SETTINGS = 377,
    IDC_CAPTURE = 378,
    IDC_FULLSCREEN = 379,
    IDC_CH3 = 380,
    IDC_MUTE = 386,
    IDC_RESTORE = 390,
    IDC_SWAP = 399,
    IDC_VIEW_MAP = 401,
    IDC_VIEW_TWO = 402,
    IDC_MAP_ENLARGE = 403,
    IDC_MAP = 404,
    IDC_BRIGHTNESS = 408,
    IDC_PAUSE = 416,
    IDC_ZOOM = 417,
    IDC_SELECT_ALL = 423,
    IDC_EXPORT = 431,
    IDC_CAT_EVENT = 432,
    IDC_CAT_MOTION = 433,
    IDC_CAT_DRIVING = 434,
    IDC_CAT_MANUAL = 435,
    IDC_CAT_ALL = 438,
    IDC_GRAPH = 441,
    IDC_MIRROR = 574,
    IDC_INERT = 577,
    IDC_FRONT = 579,
    IDC_REAR = 581,
    IDC_SPEED = 585,
    IDC_THIRD = 783,
    IDC_SIG_TURN = 788,
    IDC_SIG_PEDAL = 789,
    IDC_SIG_GEAR = 790,
    IDC_SIG_SPD = 791,
    IDC_SIG_RPM = 792,
    IDC_SIG_WAT = 793,
    IDC_SIG_STEER = 794,
    IDC_LABEL_FIRST = 795,  // labels 795..801
    IDC_LABEL_LAST = 801,
};

// Private messages, posted as CWinEvent. Those the engine's callbacks post carry the
// player's open number (CQVZMediaPlayer::OpenSerial) as wParam; the window drops those of
// any open but the one it shows.
constexpr int WM_CARD_CHANGED = 0x045A;
constexpr int WM_SIGNALS_APPLIED = 0x0464;
constexpr int WM_CH3_RETURN = 0x04C8;
constexpr int WM_MEDIA_END = 0x07E8;
// The export worker's news, one message per kind of viewer::ExportNotice (file started,
// frames bar moved, file done, job finished), carried by CExportEvent.
constexpr int WM_EXPORT_FIRST = WM_USER + 300;  // 0x052C
constexpr int WM_EXPORT_LAST = WM_EXPORT_FIRST + viewer::ExportNotice::kFinished;

// WM_SIGNALS_APPLIED with the vehicle-signal table as the line left it, so the window never
// reads the table the worker goes on writing.
class CSignalsEvent : public CWinEvent {
public:
    CSignalsEvent(int openSerial, const CVehicleSignals::Table& table)
        : CWinEvent(WM_SIGNALS_APPLIED, openSerial, 0), m_table(table)
    {
    }
    const CVehicleSignals::Table& Signals() const { return m_table; }

private:
    CVehicleSignals::Table m_table;
};

// A notice of the export worker, copied whole into the message.
class CExportEvent : public CWinEvent {
public:
    explicit CExportEvent(const viewer::ExportNotice& notice)
        : CWinEvent(WM_EXPORT_FIRST + notice.kind, notice.job, notice.index), m_notice(notice)
    {
    }
    const viewer::ExportNotice& Notice() const { return m_notice; }

private:
    viewer::ExportNotice m_notice;
};
// The background bitmap's size; the window in the normal layout takes it.
constexpr QSize kBackgroundSize(975, 736);

// Playback timer id and period.
constexpr int kPlaybackTimerId = 100;
constexpr int kPlaybackTimerMs = 1000;

class CSamplePlayerDlg : public QWidget {
    Q_OBJECT

public:
    // Message box: returns the button pressed (QMessageBox::StandardButton). Tests replace
    // it so that nothing blocks.
    using MessageBoxFn =
        std::function<int(QWidget* parent, const QString& text, const QString& caption, int buttons)>;

    // Save-file dialog of the capture: the path chosen, empty when cancelled.
    using SaveFileFn =
        std::function<QString(QWidget* parent, const QString& suggested, const QString& filter)>;
    // Folder chooser of the export: the folder chosen, empty when cancelled.
    using FolderFn = std::function<QString(QWidget* parent, const QString& title, const QString& start)>;

    struct Options {
        std::string cardFolder;    // a folder that counts as a card (empty: none)
        std::string configFolder;  // empty: ConfigFolder()
        MessageBoxFn messageBox;   // empty: a modal QMessageBox
        SaveFileFn saveFile;       // empty: QFileDialog
        FolderFn chooseFolder;     // empty: QFileDialog::getExistingDirectory
    };

    explicit CSamplePlayerDlg(Options options, QWidget* parent = nullptr);
    ~CSamplePlayerDlg() override;

    // Builds the controls and starts the engine and the card watch, in start-up order.
    bool OnInitDialog();

    // ---- configuration (mainwindow.cpp)
    void SaveConfig();
    void LoadConfig();

    // ---- recording library (mainwindow_library.cpp)
    void ListCategory(int category);
    void OnOpen();
    void OnSelectAll();
    void OnRowDoubleClicked(int row);
    int RowCount() const;
    QString RowText(int row, int column) const;
    uint8_t CardId() const { return m_mubID.load(); }

    // ---- playback (mainwindow_playback.cpp)
    bool OpenAndPlay(const std::string& entry);
    void OnPlay();
    void OnPause();
    void OnStop();
    void OnNext();
    void OnPre();
    // Plays the row OnNext or OnPre stepped to; a negative row (past either end) stops.
    void StepToRow(int row);
    void OnSkipBack();
    void OnSkipForward();
    void OnSliderSettled(int id, int position);
    void OnTick();
    void UpdateTimeLabels(int64_t position, int64_t total);
    void OnMediaEnd();
    // True when the key-down was handled or swallowed.
    bool OnKeyDown(int key, const QPoint& globalPos);
    int CurrentRow() const { return m_currentRow; }
    // The player's number of the open the window shows; 0 while nothing is open.
    int OpenSerial() const { return m_openSerial; }

    // ---- device settings (mainwindow_settings.cpp)
    // Button 377 and F3: pauses, then edits the camera's configuration on the card.
    void OnSettings();

    // ---- video presentation (mainwindow_video.cpp, mainwindow_layout.cpp)
    void SwapChannels();
    void ApplyVideoLayout();
    void ApplyWindowLayout(int mode);
    void SetThirdChannelAvailable(bool available);
    void OnSwap();
    void OnViewMap();
    void OnViewTwo();
    void OnMapEnlarge();
    void OnFullScreen();
    void OnRestore();
    void OnCh3();
    void OnZoom();
    void OnMirror();
    // WM_CH3_RETURN: the third-channel window gives its picture back.
    void OnThirdReturn();
    // Channels of the open recording (the player's ChannelCount); 1 while nothing is open.
    int LoadedChannelCount(int* extra);
    int FrontPlace() const { return m_places.front; }
    int RearPlace() const { return m_places.rear; }
    int MapPlace() const { return m_places.map; }
    int LayoutMode() const { return m_layoutMode; }
    // The full-screen picture rectangle of the latest layout.
    QRect FullPictureRect() const { return m_fullRect; }
    // Null until first used, and again once destroyed.
    CCH3Dlg* ThirdWindow() const { return m_ch3.get(); }
    CZoomDlg* ZoomWindow() const { return m_zoom.get(); }

    // ---- still capture (mainwindow_capture.cpp)
    // Button 378: saves the pictures shown as JPEG files named after a chosen base name.
    void OnCapture();

    // ---- export (mainwindow_export.cpp)
    // Button 431: exports the ticked rows into a chosen folder on the export worker.
    void OnExport();
    bool Exporting() const { return m_busy.load(); }
    CProgressDlg* Progress() const { return m_progress; }
    const std::string& TargetFolder() const { return m_targetFolder; }
    // ---- map view (mainwindow_map.cpp)
    // On every open: the page once per run when online, the map hidden.
    void LoadMapPage();
    // The marker to the newest fix; a fix the map cannot show is never sent.
    void DrawCurrent(const CGPSData& fix);
    CMapView* MapView() const;

    // ---- telemetry display (mainwindow_telemetry.cpp)
    void UpdateChart(int second);
    void ResetChart(bool baselinePoint);
    void RefreshVehicleSignals(const CVehicleSignals::Table& table);
    void ResetIndicators();
    CTelemetryStore& Telemetry() { return m_telemetry; }

    // For checks.
    CQVZMediaPlayer& Player() { return m_player; }
    const CDecoder& Decoder() const { return m_decoder; }
    CGraphStatic* Graph() const { return m_graph; }
    CGraphStatic::SeriesHandle Series(int axis) const { return m_series[axis]; }
    CPictureView* FrontView() const { return m_front; }
    CPictureView* RearView() const { return m_rear; }
    CPictureView* ThirdView() const { return m_third; }
    // The export sets it while it runs; checks set it to see that commands wait.
    void SetExportBusy(bool busy) { m_busy = busy; }
    QWidget* Control(int id) const;
    const std::string& ConfigDir() const { return m_configFolder; }
    // How often each vehicle-signal control was redrawn (set) since start.
    int SignalUpdates(int id) const;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    // mainwindow.cpp
    void CreateFonts();
    void InitControls();
    void SkinControls();
    void OnDestroy();
    void OnMinimize();
    void OnQuit();
    void OnMute();
    void OnVolumeMoved();
    void OnBrightnessMoved();
    void ApplyVolume(int position);
    int MessageBox(const QString& text, const QString& caption, int buttons);
    void Bind(int id, void (CSamplePlayerDlg::*handler)());

    // mainwindow_library.cpp
    void SetupList();
    void StartCardWatch();
    void StopCardWatch();
    void CardWatchLoop();  // runs on the card-watch thread
    void OnCardChanged();
    void FillList(const std::vector<std::string>& entries);
    void SelectRow(int row, bool focus);
    int RowOfEntry(const QString& entry) const;
    // Traces the first paint of the list after its first fill: start-up is over then.
    void ReportStartPainted();
    // Moves the list's selection by step rows, as the list's own arrow keys do.
    void MoveListSelection(int step);

    // mainwindow_playback.cpp
    void SetPlayVisible(bool playVisible);
    void StartPlaybackTimer();
    void StopPlaybackTimer();
    bool PlayVisible() const;
    static void OnPlayerEvent(void* user, int event, int a, int b);  // player worker thread

    // mainwindow_video.cpp
    void PlaceWidget(int id, int x, int y, int w, int h, int show /* 1 show, 0 hide, -1 keep */);
    void MoveInto(QWidget* w, int x, int y, int width, int height);
    void MoveInto(QWidget* w, const QRect& place);
    viewer::ChannelSet OpenChannels();
    // The map-enlarge command without the busy check (full screen runs it too).
    void MapEnlarge();
    void ResetTimeTextsIfStopped();
    void CentreOnScreen();
    // Hands the third channel to the main window's picture, then destroys the window.
    void DestroyThirdWindow();
    // Puts a shown third-channel window the user has not dragged beside the main window.
    void DockThirdWindow();
    // mainwindow_layout.cpp
    void ComputeFullScreenRect();
    // Flips the rear (and third) picture by the mirror box; clears the box when the open
    // recording has no second picture.
    void ApplyMirror();

    // mainwindow_capture.cpp
    bool ThirdWindowVisible() const;
    QString AskCapturePath(const QString& suggested);
    // Adds the pictures' lines to the folder's SHA256SUMS when it is the export folder or
    // already keeps one.
    void RecordCaptures(const QString& folder, const std::vector<std::string>& names);

    // mainwindow_export.cpp
    void StartExportWorker();
    void StopExportWorker();
    void OnExportEvent(const CExportEvent& e);
    // The card changed under an export: it ends, the progress window is reset and hidden.
    void EndExportForCardChange();
    void ReportExport();
    // mainwindow_map.cpp
    void InitMapView();
    // The opened recording's route (its whole GPS track), and its driven part.
    void OpenRoute(const std::string& path);
    void ShowRouteProgress();

    // mainwindow_telemetry.cpp
    void InitTelemetryDisplay();
    void SetSignalNumber(int id, int value);
    void SetSignalPicture(int id, int bitmapId);
    void SetSpeedText(const QString& text);

    Options m_options;
    std::string m_configFolder;
    std::string m_targetFolder;  // export target ("Info"/"TargetFolder")

    // Engine objects, wired once; the player's threads use the others until Shutdown.
    CDecoder m_decoder;
    CMUBParser m_parser;
    CWaveBox m_waveBox;
    CQVZMediaPlayer m_player;
    CTelemetryStore m_telemetry;
    MUBContext m_mubContext = nullptr;
    bool m_playerStarted = false;
    bool m_initialised = false;  // OnInitDialog ran: the controls exist
    bool m_destroyed = false;

    // Card watch: m_mubID written by the watch thread, read by the GUI thread.
    std::atomic<uint8_t> m_mubID{0};
    std::atomic<bool> m_watchStop{false};
    std::thread m_watchThread;

    // GUI-thread state.
    int m_currentRow = -1;
    int m_openSerial = 0;  // the player's number of the open shown; 0 none
    QString m_openEntry;   // its list text (column 1); empty with none
    int64_t m_totalSeconds = 0;
    // An export runs: set by OnExport, cleared when the window hears the job finished or the
    // card changed. Atomic, as the worker's side of the flag lives on another thread.
    std::atomic<bool> m_busy{false};
    int m_layoutMode = 1;
    viewer::VideoPlaces m_places;
    QRect m_fullRect;    // the full-screen picture rectangle
    QSize m_fullClient;  // the client size it was computed from
    QRect m_normalRect;  // the window's rectangle before full screen
    int m_timerId = 0;
    int m_shownSamples = 0;  // G-sensor samples the chart shows
    CWindowDrag m_drag;
    int m_primaryLanguage = 0;
    enum class StartReport { kWaitingForList, kWaitingForPaint, kDone };
    StartReport m_startReport = StartReport::kWaitingForList;

    QPixmap m_background;
    QFont m_smallFont;
    QFont m_largeFont;

    // Controls (children of this window; ids kept on each).
    QTreeWidget* m_list = nullptr;
    QWidget* m_selectAll = nullptr;
    CPictureView* m_front = nullptr;
    CPictureView* m_rear = nullptr;
    CPictureView* m_third = nullptr;
    CGraphStatic* m_graph = nullptr;
    CGraphStatic::SeriesHandle m_series[3] = {};
    QWidget* m_mapView = nullptr;  // a CMapView
    int m_signalUpdates[16] = {};  // by id - IDC_SIG_TURN

    // Export: the worker reads with a parser of its own; both outlive nothing they use
    // (the worker is stopped in OnDestroy before the library context goes).
    CMUBParser m_exportParser;
    std::unique_ptr<viewer::CExportWorker> m_exporter;
    CProgressDlg* m_progress = nullptr;
    int m_exportJob = 0;  // the job the window shows; 0 none (its notices are dropped)
    int m_exportCount = 0;
    std::string m_exportFolder;
    std::vector<viewer::ExportOutcome> m_exportOutcomes;
    // Top-level windows of their own, owned here; destroyed after the engine stops.
    std::unique_ptr<CCH3Dlg> m_ch3;
    std::unique_ptr<CZoomDlg> m_zoom;
};
