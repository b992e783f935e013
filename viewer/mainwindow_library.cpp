// SPDX-License-Identifier: GPL-3.0-or-later
// Main window: the card watch and the recording list.
#include "controls/winevent.h"
#include "platform/trace.h"
#include "res/strings.h"
#include "viewer/library.h"
#include "viewer/mainwindow.h"
#include "viewer/skinctl.h"

#include <time.h>
#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "controls/controlid.h"

namespace {

// The card is polled this often; the stop flag is looked at in slices of kWatchSliceMs.
constexpr int kWatchPeriodMs = 1000;
constexpr int kWatchSliceMs = 50;

enum ListColumn { kColType, kColEntry, kColDate, kColRear, kColSize, kColPath, kColCh3, kColumnCount };

// Milliseconds since the kernel started this process (its clock ticks: 10 ms steps).
int64_t MsSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    // Field 22, counted after the command name (which may hold spaces) ends with ')'.
    std::istringstream rest(line.substr(std::min(line.size(), line.rfind(')') + 1)));
    std::string field;
    unsigned long long startTicks = 0;
    for (int i = 3; i <= 22 && rest >> field; ++i) {
        if (i == 22) {
            startTicks = std::strtoull(field.c_str(), nullptr, 10);
        }
    }
    timespec now{};
    clock_gettime(CLOCK_BOOTTIME, &now);
    const long ticksPerSecond = sysconf(_SC_CLK_TCK);
    if (startTicks == 0 || ticksPerSecond <= 0) {
        return -1;
    }
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000 -
           static_cast<int64_t>(startTicks * 1000 / static_cast<unsigned long long>(ticksPerSecond));
}

}  // namespace

void CSamplePlayerDlg::SetupList()
{
    m_list = new QTreeWidget(this);
    SetControlId(m_list, IDC_LIST);
    m_list->setGeometry(650, 65, 320, 150);
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setAllColumnsShowFocus(true);
    m_list->setColumnCount(kColumnCount);
    m_list->setHeaderLabels({LocalizedString(1125), LocalizedString(1111), LocalizedString(1112),
                             LocalizedString(1131), LocalizedString(1113) + "(MB)", LocalizedString(1114),
                             "Ch3"});
    m_list->header()->setSectionsClickable(false);
    m_list->header()->setSectionsMovable(false);
    m_list->header()->setMinimumSectionSize(0);
    const int widths[kColumnCount] = {60, 0, 160, 40, 90, 0, 40};
    for (int c = 0; c < kColumnCount; ++c) {
        m_list->setColumnWidth(c, widths[c]);
        if (widths[c] == 0) {
            m_list->setColumnHidden(c, true);
        }
    }
    // Every row is white on black, ticked, selected or not.
    m_list->setStyleSheet(
        "QTreeWidget { background: black; color: white; }"
        "QTreeWidget::item { color: white; background: black; }"
        "QTreeWidget::item:selected { color: white; background: black; }"
        "QTreeWidget::indicator { width: 9px; height: 9px; border: 1px solid white; background: black; }"
        "QTreeWidget::indicator:checked { background: white; }");
    connect(m_list, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { OnRowDoubleClicked(m_list->indexOfTopLevelItem(item)); });
}

int CSamplePlayerDlg::RowCount() const
{
    return m_list->topLevelItemCount();
}

QString CSamplePlayerDlg::RowText(int row, int column) const
{
    const QTreeWidgetItem* item = m_list->topLevelItem(row);
    return item ? item->text(column) : QString();
}

// ---- card watch

void CSamplePlayerDlg::StartCardWatch()
{
    m_watchStop = false;
    m_watchThread = std::thread([this] { CardWatchLoop(); });
}

void CSamplePlayerDlg::StopCardWatch()
{
    m_watchStop = true;
    if (m_watchThread.joinable()) {
        m_watchThread.join();
    }
}

// Runs on the card-watch thread.
void CSamplePlayerDlg::CardWatchLoop()
{
    while (!m_watchStop) {
        const uint8_t before = m_mubID.load();
        const uint8_t now = QueryCardId(m_mubContext);
        if (m_watchStop) {
            break;
        }
        m_mubID = now;
        if (now != before) {
            Trace("<<<<<<<<<<<<<<<<<<<<<<<<<< bef_id = %d, m_mubID = %d\n", before, now);
            PostWinMessage(this, WM_CARD_CHANGED, 0, 0);
        }
        for (int slept = 0; slept < kWatchPeriodMs && !m_watchStop; slept += kWatchSliceMs) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kWatchSliceMs));
        }
    }
}

void CSamplePlayerDlg::OnCardChanged()
{
    // Another card, or none: what was being exported is no longer there.
    EndExportForCardChange();
    if (m_mubID != 0) {
        OpenCard(m_mubContext);
        OnOpen();
        return;
    }
    m_busy = false;
    m_list->clear();
    m_places = {};
    Control(IDC_MAP_ENLARGE)->setEnabled(false);
    viewer::SetSliderPos(Control(IDC_POSITION), 0);
    m_telemetry.Samples().Clear();
    ResetChart(false);
    SetSpeedText("0Km/h");
    OnStop();
    ApplyVideoLayout();
    SetThirdChannelAvailable(false);
    MessageBox(LocalizedString(1132), BuiltinString(1109), QMessageBox::Ok);
}

// ---- listing

void CSamplePlayerDlg::OnOpen()
{
    if (m_busy) {
        return;
    }
    if (m_mubID == 0) {
        MessageBox(LocalizedString(1132), BuiltinString(1109), QMessageBox::Ok);
        return;
    }
    ListCategory(1);
}

void CSamplePlayerDlg::ListCategory(int category)
{
    m_list->clear();
    FillList(viewer::ListForButton(m_mubContext, m_mubID, category));
    // Rows are numbered anew: the recording open keeps its row where the new list has it,
    // so its end steps from the right place; elsewhere it has none.
    m_currentRow = m_openEntry.isEmpty() ? -1 : RowOfEntry(m_openEntry);
    if (m_currentRow >= 0) {
        SelectRow(m_currentRow, false);
    }
}

int CSamplePlayerDlg::RowOfEntry(const QString& entry) const
{
    const QList<QTreeWidgetItem*> found = m_list->findItems(entry, Qt::MatchExactly, kColEntry);
    return found.isEmpty() ? -1 : m_list->indexOfTopLevelItem(found.first());
}

void CSamplePlayerDlg::FillList(const std::vector<std::string>& entries)
{
    QList<QTreeWidgetItem*> items;
    items.reserve(static_cast<qsizetype>(entries.size()));
    for (const std::string& entry : entries) {
        const viewer::RowTexts row = viewer::MakeRowTexts(entry);
        auto* item = new QTreeWidgetItem;
        item->setText(kColType, QString::fromStdString(row.type));
        item->setText(kColEntry, QString::fromStdString(row.entry));
        item->setText(kColDate, QString::fromStdString(row.dateTime));
        item->setText(kColRear, QString::fromStdString(row.rear));
        item->setText(kColSize, QString::fromStdString(row.sizeMb));
        item->setText(kColCh3, QString::fromStdString(row.ch3));
        for (int c : {kColType, kColDate, kColRear, kColSize, kColCh3}) {
            item->setTextAlignment(c, Qt::AlignCenter);
        }
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(kColType, Qt::Unchecked);
        items.push_back(item);
    }
    m_list->addTopLevelItems(items);
    if (items.isEmpty() && viewer::IsChecked(m_selectAll)) {
        viewer::SetChecked(m_selectAll, false);
    }
    OnSelectAll();
    if (m_startReport == StartReport::kWaitingForList) {
        m_startReport = StartReport::kWaitingForPaint;
    }
}

void CSamplePlayerDlg::ReportStartPainted()
{
    m_startReport = StartReport::kDone;
    Trace("[start] window shown with the list filled: %d rows, %lld ms after the process started\n",
          RowCount(), static_cast<long long>(MsSinceProcessStart()));
}

void CSamplePlayerDlg::OnSelectAll()
{
    const Qt::CheckState state = viewer::IsChecked(m_selectAll) ? Qt::Checked : Qt::Unchecked;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        m_list->topLevelItem(row)->setCheckState(kColType, state);
    }
}

void CSamplePlayerDlg::SelectRow(int row, bool focus)
{
    m_list->clearSelection();
    QTreeWidgetItem* item = m_list->topLevelItem(row);
    if (item == nullptr) {
        return;
    }
    item->setSelected(true);
    m_list->setCurrentItem(item);
    if (focus) {
        m_list->setFocus();
    }
}

void CSamplePlayerDlg::MoveListSelection(int step)
{
    const int count = RowCount();
    if (count == 0) {
        return;
    }
    const int current = m_list->indexOfTopLevelItem(m_list->currentItem());
    const int row = current < 0 ? 0 : std::clamp(current + step, 0, count - 1);
    SelectRow(row, false);
    m_list->scrollToItem(m_list->topLevelItem(row));
}

void CSamplePlayerDlg::OnRowDoubleClicked(int row)
{
    if (m_busy) {
        return;
    }
    const QString entry = RowText(row, kColEntry);
    if (entry.isEmpty()) {
        return;
    }
    m_currentRow = row;
    if (!OpenAndPlay(entry.toStdString())) {
        m_currentRow = -1;
        return;
    }
    SetPlayVisible(false);
    SelectRow(m_currentRow, true);
}
