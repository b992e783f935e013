// SPDX-License-Identifier: GPL-3.0-or-later
// Main window: construction, start-up, configuration, window behaviour and shutdown.
#include "viewer/mainwindow.h"

#include "controls/controlid.h"
#include "controls/winevent.h"
#include "platform/waveout.h"
#include "res/language.h"
#include "res/resid.h"
#include "res/skin.h"
#include "res/strings.h"
#include "viewer/ch3dlg.h"
#include "viewer/pictureview.h"
#include "viewer/skinctl.h"
#include "viewer/timeline.h"
#include "viewer/zoomdlg.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QTreeWidget>
#include <cstdio>

namespace {

// The fonts' face name; the system substitutes a fixed-width face when it lacks it.
const char* const kFontFace = "굴림체";

}  // namespace

CSamplePlayerDlg::CSamplePlayerDlg(Options options, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_options(std::move(options))
{
    m_configFolder = m_options.configFolder.empty() ? viewer::ConfigFolder() : m_options.configFolder;
    setWindowIcon(QIcon(LoadSkinBitmap(IDI_MAINFRAME)));
    m_layoutMode = 1;
    m_currentRow = -1;
    m_targetFolder = viewer::ReadTargetFolder(m_configFolder);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CSamplePlayerDlg::~CSamplePlayerDlg()
{
    OnDestroy();
}

QWidget* CSamplePlayerDlg::Control(int id) const
{
    return FindControl(const_cast<CSamplePlayerDlg*>(this), id);
}

void CSamplePlayerDlg::Bind(int id, void (CSamplePlayerDlg::*handler)())
{
    if (QWidget* button = Control(id)) {
        viewer::ConnectClicked(button, this, [this, handler] { (this->*handler)(); });
    }
}

int CSamplePlayerDlg::MessageBox(const QString& text, const QString& caption, int buttons)
{
    if (m_options.messageBox) {
        return m_options.messageBox(this, text, caption, buttons);
    }
    const auto icon = (buttons & QMessageBox::No) ? QMessageBox::Question : QMessageBox::Warning;
    QMessageBox box(icon, caption, text, static_cast<QMessageBox::StandardButtons>(buttons), this);
    return box.exec();
}

void CSamplePlayerDlg::CreateFonts()
{
    m_smallFont = QFont(QString::fromUtf8(kFontFace));
    m_smallFont.setStyleHint(QFont::TypeWriter);
    m_smallFont.setPointSize(9);
    m_smallFont.setWeight(QFont::Bold);
    m_largeFont = QFont(QString::fromUtf8(kFontFace));
    m_largeFont.setStyleHint(QFont::TypeWriter);
    m_largeFont.setPointSize(18);
    m_largeFont.setWeight(QFont::Medium);
}

bool CSamplePlayerDlg::OnInitDialog()
{
    if (m_initialised || m_destroyed) {
        return false;
    }
    m_initialised = true;
    CreateFonts();
    SetSeekUnit(30);
    m_primaryLanguage = UserPrimaryLanguage();
    LoadLanguageModule(m_primaryLanguage);
    setWindowTitle(BuiltinString(1109));

    InitControls();
    ApplyWindowLayout(m_layoutMode);
    InitTelemetryDisplay();

    m_background = LoadSkinBitmap(IDB_MAIN_BG);
    setFixedSize(kBackgroundSize);
    CentreOnScreen();

    m_graph->SetRange(200, 50);
    m_graph->SetStep(13);
    m_graph->SetGrid(true);
    m_series[0] = m_graph->AddSeries(QColor(0, 0, 255), 1);
    m_series[1] = m_graph->AddSeries(QColor(255, 255, 0), 1);
    m_series[2] = m_graph->AddSeries(QColor(255, 0, 0), 1);

    SkinControls();
    StartExportWorker();
    ApplyVolume(viewer::SliderPos(Control(IDC_VOLUME)));
    qApp->installEventFilter(this);
    return true;
}

void CSamplePlayerDlg::InitControls()
{
    using namespace viewer;
    const int skinSet = static_cast<int>(SkinSetForLanguage(m_primaryLanguage));

    MakeImageButton(this, IDC_MINIMIZE, IDB_BTN_MINIMIZE, "-");
    MakeImageButton(this, IDC_QUIT, IDB_BTN_CLOSE, "a");
    MakeImageButton(this, IDC_PRE, IDB_BTN_PREV, "PRE");
    MakeImageButton(this, IDC_PLAY, IDB_BTN_PLAY, "PLAY");
    MakeImageButton(this, IDC_STOP, IDB_BTN_STOP, "STOP");
    MakeImageButton(this, IDC_NEXT, IDB_BTN_NEXT, "NEXT");
    MakeImageButton(this, IDC_BACK10, IDB_BTN_BACK10, "<- SEC");
    MakeImageButton(this, IDC_FWD10, IDB_BTN_FWD10, "-> SEC");
    MakeImageButton(this, IDC_PAUSE, IDB_BTN_PAUSE, "Pause");
    MakeImageButton(this, IDC_OPEN, IDB_BTN_OPEN, "OPEN");
    MakeLangButton(this, IDC_CAT_DRIVING, IDL_CAT_DRIVING, skinSet);
    MakeLangButton(this, IDC_CAT_EVENT, IDL_CAT_EVENT, skinSet);
    MakeLangButton(this, IDC_CAT_MOTION, IDL_CAT_MOTION, skinSet);
    MakeLangButton(this, IDC_CAT_MANUAL, IDL_CAT_MANUAL, skinSet);
    MakeLangButton(this, IDC_CAT_ALL, IDL_CAT_ALL, skinSet);
    MakeImageButton(this, IDC_FULLSCREEN, IDB_BTN_FULLSCREEN);
    MakeImageButton(this, IDC_RESTORE, IDB_BTN_RESTORE);
    MakeLangButton(this, IDC_SWAP, IDL_SWAP, skinSet);
    MakeImageButton(this, IDC_CH3, IDB_BTN_CH3, "CH3");
    MakeImageButton(this, IDC_ZOOM, IDB_BTN_ZOOM);
    MakeLangCheckBox(this, IDC_VIEW_MAP, IDL_VIEW_MAP, skinSet);
    MakeLangCheckBox(this, IDC_VIEW_TWO, IDL_VIEW_TWO, skinSet);
    MakeCheckBox(this, IDC_MIRROR, IDB_BOX_MIRROR);
    MakeCheckBox(this, IDC_MUTE, IDB_BOX_MUTE);
    MakeLangButton(this, IDC_MAP_ENLARGE, IDL_MAP_ENLARGE, skinSet);
    MakeImageButton(this, IDC_CAPTURE, IDB_BTN_CAPTURE);
    MakeLangButton(this, IDC_EXPORT, IDL_EXPORT, skinSet);
    MakeImageButton(this, IDC_SETTINGS, IDB_BTN_SETTINGS);
    MakeImageButton(this, IDC_INERT, IDB_BTN_BRIGHTNESS)->setEnabled(false);
    m_selectAll = MakeCheckBox(this, IDC_SELECT_ALL, 0, "  Select All");

    for (int id : {IDC_CURTIME, IDC_TOTALTIME}) {
        auto* label = new QLabel("00:00:00", this);
        SetControlId(label, id);
    }
    auto* speed = new QLabel("Km/h", this);
    SetControlId(speed, IDC_SPEED);

    // Sliders get their final ranges at once, so stored positions below 0 survive.
    MakeSlider(this, IDC_POSITION, IDB_SLIDER_POS_CHANNEL, IDB_SLIDER_POS_ACTIVE, IDB_SLIDER_POS_THUMB);
    QWidget* volume =
        MakeSlider(this, IDC_VOLUME, IDB_SLIDER_VOL_CHANNEL, IDB_SLIDER_VOL_ACTIVE, IDB_SLIDER_VOL_THUMB);
    SetSliderRange(volume, 0, kVolumeMax);
    SetSliderPageSize(volume, 25);
    QWidget* brightness = MakeSlider(this, IDC_BRIGHTNESS, IDB_SLIDER_BRIGHT_CHANNEL,
                                     IDB_SLIDER_BRIGHT_ACTIVE, IDB_SLIDER_BRIGHT_THUMB);
    SetSliderRange(brightness, kBrightnessMin, kBrightnessMax);

    m_graph = new CGraphStatic(this);
    SetControlId(m_graph, IDC_GRAPH);
    m_front = new CPictureView(this);
    SetControlId(m_front, IDC_FRONT);
    m_rear = new CPictureView(this);
    SetControlId(m_rear, IDC_REAR);
    m_third = new CPictureView(this);
    SetControlId(m_third, IDC_THIRD);
    InitMapView();

    // The engine: wired once, started once.
    // Runs on the player's worker inside its text callback, under the player lock, so the
    // open number is that of the recording the line came from.
    m_telemetry.SetSignalsApplied([this](const CVehicleSignals::Table& table) {
        PostWinEvent<CSignalsEvent>(this, m_player.OpenSerial(), table);
    });
    m_player.SetParser(&m_parser);
    m_player.SetDecoder(&m_decoder);
    m_player.SetAudio(&m_waveBox);
    m_player.SetTextCallback(&CTelemetryStore::TextCallback, &m_telemetry);
    m_player.SetEventCallback(&CSamplePlayerDlg::OnPlayerEvent, this);
    m_mubContext = CreateLibraryContext();
    if (m_mubContext != nullptr && !m_options.cardFolder.empty()) {
        AddCardFolder(m_mubContext, m_options.cardFolder.c_str());
    }
    MoveInto(m_front, 4, 64, 0, 0);
    MoveInto(m_rear, 650, 270, 0, 0);
    MoveInto(m_third, 0, 0, 0, 0);
    m_mubID = 0;
    m_busy = false;
    m_playerStarted = m_player.Start(m_front->Sink(), m_rear->Sink());
    StartCardWatch();
    m_layoutMode = 1;
    m_places = {};

    PlaceWidget(IDC_POSITION, 92, 432, 390, 14, -1);
    PlaceWidget(IDC_VOLUME, 715, 474, 75, 14, -1);
    PlaceWidget(IDC_BRIGHTNESS, 864, 474, 81, 3, -1);
    PlaceWidget(IDC_LIST, 650, 65, 320, 150, -1);
    SetupList();

    Bind(IDC_MINIMIZE, &CSamplePlayerDlg::OnMinimize);
    Bind(IDC_QUIT, &CSamplePlayerDlg::OnQuit);
    Bind(IDC_MUTE, &CSamplePlayerDlg::OnMute);
    Bind(IDC_PLAY, &CSamplePlayerDlg::OnPlay);
    Bind(IDC_PAUSE, &CSamplePlayerDlg::OnPause);
    Bind(IDC_STOP, &CSamplePlayerDlg::OnStop);
    Bind(IDC_NEXT, &CSamplePlayerDlg::OnNext);
    Bind(IDC_PRE, &CSamplePlayerDlg::OnPre);
    Bind(IDC_BACK10, &CSamplePlayerDlg::OnSkipBack);
    Bind(IDC_FWD10, &CSamplePlayerDlg::OnSkipForward);
    Bind(IDC_OPEN, &CSamplePlayerDlg::OnOpen);
    Bind(IDC_SELECT_ALL, &CSamplePlayerDlg::OnSelectAll);
    Bind(IDC_SWAP, &CSamplePlayerDlg::OnSwap);
    Bind(IDC_VIEW_MAP, &CSamplePlayerDlg::OnViewMap);
    Bind(IDC_VIEW_TWO, &CSamplePlayerDlg::OnViewTwo);
    Bind(IDC_MIRROR, &CSamplePlayerDlg::OnMirror);
    Bind(IDC_MAP_ENLARGE, &CSamplePlayerDlg::OnMapEnlarge);
    Bind(IDC_FULLSCREEN, &CSamplePlayerDlg::OnFullScreen);
    Bind(IDC_RESTORE, &CSamplePlayerDlg::OnRestore);
    Bind(IDC_CH3, &CSamplePlayerDlg::OnCh3);
    Bind(IDC_ZOOM, &CSamplePlayerDlg::OnZoom);
    Bind(IDC_SETTINGS, &CSamplePlayerDlg::OnSettings);
    Bind(IDC_CAPTURE, &CSamplePlayerDlg::OnCapture);
    Bind(IDC_EXPORT, &CSamplePlayerDlg::OnExport);
    const std::pair<int, int> categories[] = {
        {IDC_CAT_EVENT, 0}, {IDC_CAT_DRIVING, 1}, {IDC_CAT_MOTION, 2}, {IDC_CAT_MANUAL, 3}, {IDC_CAT_ALL, 4}};
    for (const auto& [id, category] : categories) {
        viewer::ConnectClicked(Control(id), this, [this, category = category] {
            if (!m_busy) {
                ListCategory(category);
            }
        });
    }

    LoadConfig();
}

void CSamplePlayerDlg::SkinControls()
{
    PlaceWidget(IDC_PLAY, 261, 473, 15, 17, 1);
    PlaceWidget(IDC_PAUSE, 261, 473, 15, 17, 0);
    Control(IDC_CH3)->setEnabled(false);
    Control(IDC_POSITION)->show();
    Control(IDC_VOLUME)->show();
    Control(IDC_BRIGHTNESS)->show();
    QPalette pal = m_list->palette();
    pal.setColor(QPalette::Base, Qt::black);
    m_list->setPalette(pal);
}

// ---- configuration

void CSamplePlayerDlg::LoadConfig()
{
    const viewer::ViewerConfig config = viewer::LoadViewerConfig(m_configFolder);
    viewer::SetSliderPos(Control(IDC_BRIGHTNESS), config.brightness);
    viewer::SetSliderPos(Control(IDC_VOLUME), config.volume);
    const int brightness = viewer::SliderPos(Control(IDC_BRIGHTNESS));
    m_player.SetBrightness(0, brightness);
    m_player.SetBrightness(1, brightness);
}

void CSamplePlayerDlg::SaveConfig()
{
    viewer::ViewerConfig config;
    config.brightness = viewer::SliderPos(Control(IDC_BRIGHTNESS));
    config.volume = viewer::SliderPos(Control(IDC_VOLUME));
    viewer::SaveViewerConfig(m_configFolder, config);
}

void CSamplePlayerDlg::ApplyVolume(int position)
{
    waveOutSetVolume(nullptr, viewer::WaveVolumeFor(position));
}

void CSamplePlayerDlg::OnVolumeMoved()
{
    const int position = viewer::SliderPos(Control(IDC_VOLUME));
    viewer::CheckRef mute(Control(IDC_MUTE));
    if (position > 0) {
        mute->setChecked(false);
        ApplyVolume(position);
    } else {
        mute->setChecked(true);
        ApplyVolume(0);
    }
}

void CSamplePlayerDlg::OnMute()
{
    viewer::CheckRef mute(Control(IDC_MUTE));
    ApplyVolume(mute->isChecked() ? 0 : viewer::SliderPos(Control(IDC_VOLUME)));
}

void CSamplePlayerDlg::OnBrightnessMoved()
{
    const int brightness = viewer::SliderPos(Control(IDC_BRIGHTNESS));
    m_player.SetBrightness(0, brightness);
    m_player.SetBrightness(1, brightness);
}

// ---- window commands

void CSamplePlayerDlg::OnMinimize()
{
    if (!m_busy) {
        showMinimized();
    }
}

void CSamplePlayerDlg::OnQuit()
{
    if (m_busy) {
        return;
    }
    SaveConfig();
    OnStop();
    StopPlaybackTimer();
    const int answer =
        MessageBox(LocalizedString(1115), LocalizedString(1116), QMessageBox::Yes | QMessageBox::No);
    if (answer == QMessageBox::Yes) {
        close();
    }
    DestroyThirdWindow();
}

void CSamplePlayerDlg::closeEvent(QCloseEvent* e)
{
    OnDestroy();
    e->accept();
}

void CSamplePlayerDlg::OnDestroy()
{
    if (m_destroyed) {
        return;
    }
    m_destroyed = true;
    qApp->removeEventFilter(this);
    StopPlaybackTimer();
    if (m_initialised) {
        SaveConfig();
    }
    StopCardWatch();
    // An export reads through the library context: its worker goes before the context.
    StopExportWorker();
    // The player's threads paint into the pictures and call back into the telemetry
    // store: both outlive it.
    if (m_playerStarted) {
        m_player.Shutdown();
        m_playerStarted = false;
    }
    // Nothing paints into their pictures any more; closing the viewer closes them too.
    m_ch3.reset();
    m_zoom.reset();
    if (m_mubContext != nullptr) {
        ReleaseLibraryContext(m_mubContext);
        m_mubContext = nullptr;
    }
    UnloadLanguageModule();
}

// ---- events

bool CSamplePlayerDlg::event(QEvent* e)
{
    if (const CWinEvent* msg = CWinEvent::From(e)) {
        // Posted before shutdown began, delivered after: what they would act on is gone.
        if (m_destroyed) {
            return true;
        }
        switch (msg->message()) {
            case WM_CARD_CHANGED:
                OnCardChanged();
                return true;
            case WM_SIGNALS_APPLIED:
                if (const auto* signalsEvent = dynamic_cast<const CSignalsEvent*>(msg);
                    signalsEvent != nullptr && msg->wParam() == m_openSerial) {
                    RefreshVehicleSignals(signalsEvent->Signals());
                }
                return true;
            case WM_MEDIA_END:
                // The end of an open the window no longer shows (stopped, or another opened
                // since) must not step to another row.
                if (msg->wParam() == m_openSerial) {
                    OnMediaEnd();
                }
                return true;
            case WM_CH3_RETURN:
                // A return asked for a recording that is no longer shown is dropped.
                if (m_openSerial != 0 && msg->wParam() == m_openSerial) {
                    OnThirdReturn();
                } else if (m_ch3) {
                    m_ch3->ClearReturned();
                }
                return true;
            case WM_SLIDER_SETTLED:
                OnSliderSettled(static_cast<int>(msg->wParam()), static_cast<int>(msg->lParam()));
                return true;
            case WM_SLIDER_DRAGGING:
                return true;
            default:
                if (msg->message() >= WM_EXPORT_FIRST && msg->message() <= WM_EXPORT_LAST) {
                    if (const auto* notice = dynamic_cast<const CExportEvent*>(msg)) {
                        OnExportEvent(*notice);
                    }
                    return true;
                }
                break;
        }
    }
    return QWidget::event(e);
}

void CSamplePlayerDlg::OnSliderSettled(int id, int position)
{
    if (id == IDC_VOLUME) {
        OnVolumeMoved();
    } else if (id == IDC_BRIGHTNESS) {
        OnBrightnessMoved();
    } else if (id == IDC_POSITION) {
        m_player.SeekMs(viewer::SliderSeekMs(position));
    }
}

bool CSamplePlayerDlg::eventFilter(QObject* watched, QEvent* e)
{
    if (m_startReport == StartReport::kWaitingForPaint && e->type() == QEvent::Paint && m_list != nullptr &&
        watched == m_list->viewport()) {
        ReportStartPainted();
    }
    if (e->type() == QEvent::KeyPress && !m_destroyed) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) {
            auto* key = static_cast<QKeyEvent*>(e);
            return OnKeyDown(key->key(), QCursor::pos());
        }
    }
    return QWidget::eventFilter(watched, e);
}

void CSamplePlayerDlg::mousePressEvent(QMouseEvent* e)
{
    // The frameless window is dragged by its background, except in full screen.
    if (m_layoutMode != 2) {
        m_drag.Press(this, e);
    }
    QWidget::mousePressEvent(e);
}

void CSamplePlayerDlg::mouseMoveEvent(QMouseEvent* e)
{
    m_drag.Move(this, e);
    QWidget::mouseMoveEvent(e);
}

void CSamplePlayerDlg::mouseReleaseEvent(QMouseEvent* e)
{
    m_drag.Release();
    QWidget::mouseReleaseEvent(e);
}
