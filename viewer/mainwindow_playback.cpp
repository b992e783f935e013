// Main window: the transport, the time slider and labels, the playback tick and the keyboard.
#include "controls/winevent.h"
#include "viewer/ch3dlg.h"
#include "viewer/library.h"
#include "viewer/mainwindow.h"
#include "viewer/pictureview.h"
#include "viewer/signalview.h"
#include "viewer/skinctl.h"
#include "viewer/timeline.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <thread>

namespace {

// Playing states as the player reports them.
constexpr int kStatePlaying = 0;
constexpr int kStateStopped = 2;

}  // namespace

// Runs on the player's worker thread; a is the number of the open that ended.
void CSamplePlayerDlg::OnPlayerEvent(void* user, int event, int a, int)
{
    if (event == CQVZMediaPlayer::kEventEnd) {
        PostWinMessage(static_cast<CSamplePlayerDlg*>(user), WM_MEDIA_END, a, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool CSamplePlayerDlg::PlayVisible() const
{
    return !Control(IDC_PLAY)->isHidden();
}

void CSamplePlayerDlg::SetPlayVisible(bool playVisible)
{
    Control(IDC_PLAY)->setVisible(playVisible);
    Control(IDC_PAUSE)->setVisible(!playVisible);
}

void CSamplePlayerDlg::StartPlaybackTimer()
{
    if (m_timerId == 0) {
        m_timerId = startTimer(kPlaybackTimerMs);
    }
}

void CSamplePlayerDlg::StopPlaybackTimer()
{
    if (m_timerId != 0) {
        killTimer(m_timerId);
        m_timerId = 0;
    }
}

void CSamplePlayerDlg::timerEvent(QTimerEvent* e)
{
    if (e->timerId() == m_timerId) {
        OnTick();
    } else {
        QWidget::timerEvent(e);
    }
}

bool CSamplePlayerDlg::OpenAndPlay(const std::string& entry)
{
    if (m_busy) {
        return false;
    }
    if (m_mubID == 0) {
        return true;
    }
    std::string path = viewer::EntryPath(entry);
    SetLibraryContext(m_mubContext);
    m_player.Pause();
    m_player.Stop();
    m_openSerial = 0;
    m_openEntry.clear();

    // The worker is idle now: nothing of the previous recording reaches the store after this.
    m_telemetry.Samples().Clear();
    m_telemetry.Signals().Reset();
    SetSpeedText("Km/h");
    ResetChart(false);
    ResetIndicators();

    if (!m_player.Open(path.c_str())) {
        OnNext();
        return false;
    }
    m_openSerial = m_player.OpenSerial();
    m_openEntry = QString::fromStdString(entry);
    m_totalSeconds = viewer::TotalSecondsFor(m_player.DurationMs());
    viewer::SetSliderRange(Control(IDC_POSITION), 0, static_cast<int>(m_totalSeconds));
    UpdateTimeLabels(0, m_totalSeconds);

    m_places = viewer::OpenedPlaces(OpenChannels());
    // The map waits hidden until the places show it.
    m_mapView->hide();
    OpenRoute(path);
    LoadMapPage();
    Control(IDC_VIEW_MAP)->setEnabled(false);
    Control(IDC_VIEW_TWO)->setEnabled(false);
    Control(IDC_MAP_ENLARGE)->setEnabled(false);

    ApplyMirror();
    StartPlaybackTimer();
    ApplyVideoLayout();
    SetPlayVisible(false);
    m_player.Resume();
    return true;
}

void CSamplePlayerDlg::OnPlay()
{
    if (m_busy) {
        return;
    }
    if (m_player.PlayState() == kStateStopped || RowCount() == 0) {
        if (RowCount() == 0) {
            return;
        }
        int row = 0;
        const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
        if (!selected.isEmpty()) {
            row = m_list->indexOfTopLevelItem(selected.first());
        }
        if (row != m_currentRow) {
            m_currentRow = row;
            if (!OpenAndPlay(RowText(row, 1).toStdString())) {
                return;
            }
        }
        SelectRow(m_currentRow, true);
    }
    SetPlayVisible(false);
    m_player.Resume();
}

void CSamplePlayerDlg::OnPause()
{
    const int state = m_player.PlayState();
    if (m_busy || (state != 0 && state != 1)) {
        return;
    }
    SetPlayVisible(true);
    m_player.Pause();
}

void CSamplePlayerDlg::OnStop()
{
    const int state = m_player.PlayState();
    if (state >= 0 && state <= 2) {
        m_telemetry.Samples().Clear();
        SetSpeedText("Km/h");
        ResetChart(true);
        ResetIndicators();

        m_player.Pause();
        m_player.Stop();
        m_openSerial = 0;
        m_openEntry.clear();
        // No seek back to 0 here: on a closed recording the seek step ends at once and
        // reports the end, whose handler stops again, round and round. Open starts at 0.
        StopPlaybackTimer();

        MoveInto(m_front, 4, 64, 0, 0);
        MoveInto(m_rear, 650, 270, 0, 0);
        MoveInto(m_third, 0, 0, 0, 0);
        m_front->hide();
        m_rear->hide();
        m_third->hide();

        viewer::SetSliderPos(Control(IDC_POSITION), 0);
        static_cast<QLabel*>(Control(IDC_CURTIME))->setText("00:00:00");
        static_cast<QLabel*>(Control(IDC_TOTALTIME))->setText("00:00:00");
        m_currentRow = -1;
        SetPlayVisible(true);
        SetThirdChannelAvailable(false);
        for (int id : {IDC_VIEW_TWO, IDC_VIEW_MAP, IDC_MIRROR}) {
            viewer::SetChecked(Control(id), false);
        }
        ApplyMirror();
        m_places = {};
    }
    update();
    if (m_ch3) {
        m_ch3->update();
    }
}

void CSamplePlayerDlg::OnNext()
{
    if (m_busy) {
        return;
    }
    StepToRow(viewer::NextNewerIndex(m_currentRow));
}

void CSamplePlayerDlg::OnPre()
{
    if (m_busy) {
        return;
    }
    StepToRow(viewer::NextOlderIndex(m_currentRow, RowCount()));
}

void CSamplePlayerDlg::StepToRow(int row)
{
    if (row < 0) {
        OnStop();
        return;
    }
    m_currentRow = row;
    const QString entry = RowText(row, 1);
    if (entry.isEmpty()) {
        return;
    }
    SelectRow(row, false);
    if (OpenAndPlay(entry.toStdString())) {
        m_list->scrollToItem(m_list->topLevelItem(row));
    }
}

void CSamplePlayerDlg::OnSkipBack()
{
    int target = 0;
    if (viewer::SkipBackTarget(m_player.CurrentTimeMs(), &target)) {
        m_player.SeekMs(target);
    }
}

void CSamplePlayerDlg::OnSkipForward()
{
    int target = 0;
    if (viewer::SkipForwardTarget(m_player.CurrentTimeMs(), viewer::SliderMax(Control(IDC_POSITION)),
                                  &target)) {
        m_player.SeekMs(target);
    }
}

void CSamplePlayerDlg::UpdateTimeLabels(int64_t position, int64_t total)
{
    auto* current = static_cast<QLabel*>(Control(IDC_CURTIME));
    auto* length = static_cast<QLabel*>(Control(IDC_TOTALTIME));
    const QString positionText = QString::fromStdString(viewer::FormatClock(position));
    const QString totalText = QString::fromStdString(viewer::FormatClock(total));
    if (current->text() != positionText) {
        current->setText(positionText);
    }
    if (length->text() != totalText) {
        length->setText(totalText);
    }
}

void CSamplePlayerDlg::OnTick()
{
    // Dragging the time slider is not fought.
    if (QApplication::mouseButtons() & Qt::LeftButton) {
        return;
    }
    QWidget* slider = Control(IDC_POSITION);
    const int state = m_player.PlayState();
    const int second = m_player.CurrentTimeMs() / 1000;
    if (state == 1 || state == kStateStopped) {
        viewer::SetSliderPos(slider, second);
        UpdateTimeLabels(second, m_totalSeconds);
        ShowRouteProgress();
        return;
    }
    if (state != kStatePlaying || second == viewer::SliderPos(slider)) {
        return;
    }
    viewer::SetSliderPos(slider, second);
    slider->update();
    UpdateTimeLabels(second, m_totalSeconds);

    CGPSData fix;
    if (m_telemetry.Samples().LastGPS(&fix) && fix.m_day != 0) {
        Control(IDC_MAP)->setEnabled(true);
        Control(IDC_MAP_ENLARGE)->setEnabled(true);
        int extra = 0;
        const int channels = LoadedChannelCount(&extra);
        if (channels == 3 || (channels == 2 && extra == 0)) {
            Control(IDC_VIEW_MAP)->setEnabled(true);
            Control(IDC_VIEW_TWO)->setEnabled(true);
        }
        DrawCurrent(fix);
        SetSpeedText(QString::fromStdString(viewer::SpeedText(fix.Speed())));
    }
    ShowRouteProgress();
    UpdateChart(second);
}

void CSamplePlayerDlg::OnMediaEnd()
{
    const int second = m_player.CurrentTimeMs() / 1000;
    QWidget* slider = Control(IDC_POSITION);
    viewer::SetSliderPos(slider, second);
    slider->update();
    UpdateTimeLabels(second, m_totalSeconds);
    DockThirdWindow();
    OnNext();
}

namespace {

// The virtual-key code a key is printed with.
int VirtualKey(int qtKey)
{
    switch (qtKey) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return 13;
        case Qt::Key_Space:
            return 32;
        case Qt::Key_PageUp:
            return 33;
        case Qt::Key_PageDown:
            return 34;
        case Qt::Key_Left:
            return 37;
        case Qt::Key_Up:
            return 38;
        case Qt::Key_Right:
            return 39;
        case Qt::Key_Down:
            return 40;
        case Qt::Key_Tab:
            return 9;
        case Qt::Key_Escape:
            return 27;
        default:
            if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
                return 112 + (qtKey - Qt::Key_F1);
            }
            if (qtKey >= 0x20 && qtKey < 0x7F) {
                return qtKey;
            }
            return 0;
    }
}

}  // namespace

bool CSamplePlayerDlg::OnKeyDown(int key, const QPoint& globalPos)
{
    std::printf("Press Button => %d\n", VirtualKey(key));
    std::fflush(stdout);
    if (m_busy) {
        return true;
    }
    QWidget* volume = Control(IDC_VOLUME);
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (m_layoutMode == viewer::kLayoutNormal) {
                OnFullScreen();
            } else {
                OnRestore();
            }
            break;
        case Qt::Key_Space:
            if (PlayVisible() && RowCount() > 0) {
                OnPlay();
            } else {
                OnPause();
            }
            break;
        case Qt::Key_PageUp:
            OnNext();
            break;
        case Qt::Key_PageDown:
            OnPre();
            break;
        case Qt::Key_Left:
            std::printf("Press Button => VK_LEFT\n");
            OnSkipBack();
            break;
        case Qt::Key_Right:
            std::printf("Press Button => VK_RIGHT\n");
            OnSkipForward();
            break;
        case Qt::Key_Up:
        case Qt::Key_Down: {
            // Over the list they move its selection, whatever has the focus (the time
            // slider would seek).
            const QRect listRect(m_list->mapToGlobal(QPoint(0, 0)), m_list->size());
            if (m_list->isVisible() && listRect.contains(globalPos)) {
                MoveListSelection(key == Qt::Key_Up ? -1 : 1);
                break;
            }
            const int pos = viewer::SliderPos(volume);
            viewer::SetSliderPos(volume, key == Qt::Key_Up ? viewer::VolumeUp(pos) : viewer::VolumeDown(pos));
            // The thumb alone would leave the sound as it was.
            OnVolumeMoved();
            break;
        }
        case Qt::Key_F2:
            OnOpen();
            break;
        case Qt::Key_F3:
            OnSettings();
            break;
        default:
            break;
    }
    std::fflush(stdout);
    return true;
}
