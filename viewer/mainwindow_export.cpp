// SPDX-License-Identifier: GPL-3.0-or-later
// Main window: the export of the ticked recordings (button 431). The worker runs the job on
// its own thread and posts its news; this thread alone drives the progress window.
#include "controls/winevent.h"
#include "platform/trace.h"
#include "res/strings.h"
#include "viewer/mainwindow.h"
#include "viewer/progressdlg.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QTreeWidget>
#include <cstdio>

void CSamplePlayerDlg::StartExportWorker()
{
    m_progress = new CProgressDlg(this);
    m_progress->hide();
    const bool telemetry = viewer::ReadExportTelemetry(m_configFolder);
    m_progress->SetTelemetry(telemetry);
    // Runs on the export worker: only posts.
    m_exporter = std::make_unique<viewer::CExportWorker>(
        m_exportParser,
        [this](const viewer::ExportNotice& notice) { PostWinEvent<CExportEvent>(this, notice); });
    m_exporter->SetTelemetry(telemetry);
    connect(m_progress, &CProgressDlg::cancelled, this, [this] {
        if (m_exportJob != 0) {
            m_progress->hide();
            m_exporter->Cancel();
        }
    });
    connect(m_progress, &CProgressDlg::telemetryToggled, this, [this](bool on) {
        m_exporter->SetTelemetry(on);
        viewer::WriteExportTelemetry(m_configFolder, on);
    });
    m_exporter->Begin();
}

void CSamplePlayerDlg::StopExportWorker()
{
    if (m_exporter) {
        m_exporter->Stop();
    }
}

void CSamplePlayerDlg::OnExport()
{
    if (m_busy || !m_exporter) {
        return;
    }
    OnStop();
    std::vector<std::string> names;
    for (int row = 0; row < m_list->topLevelItemCount(); ++row) {
        if (m_list->topLevelItem(row)->checkState(0) == Qt::Checked) {
            names.push_back(RowText(row, 1).toStdString());
        }
    }
    if (names.empty()) {
        MessageBox(LocalizedString(1133), BuiltinString(1109), QMessageBox::Ok);
        return;
    }
    SetLibraryContext(m_mubContext);
    const QString title = LocalizedString(1134);
    const QString start = QString::fromStdString(m_targetFolder);
    const QString chosen = m_options.chooseFolder ? m_options.chooseFolder(this, title, start)
                                                  : QFileDialog::getExistingDirectory(this, title, start);
    if (chosen.isEmpty()) {
        return;
    }
    const std::string folder = chosen.toStdString();
    // Stored only when it fits, so the profile never holds a folder cut short.
    if (!viewer::ExportFolderFits(folder)) {
        MessageBox(LocalizedString(1196).arg(chosen), BuiltinString(1109), QMessageBox::Ok);
        return;
    }
    m_targetFolder = folder;
    viewer::WriteTargetFolder(m_configFolder, m_targetFolder);
    Trace("m_strDir => %s\n", m_targetFolder.c_str());

    viewer::ExportJob job;
    job.names = names;
    job.folder = folder;
    job.card = m_mubContext;
    job.cardId = m_mubID.load();
    const int id = m_exporter->Submit(std::move(job));
    if (id == 0) {
        return;  // the job before has not been taken yet
    }
    m_busy = true;
    m_exportJob = id;
    m_exportCount = static_cast<int>(names.size());
    m_exportFolder = folder;
    m_exportOutcomes.clear();
    m_progress->Reset();
    m_progress->SetFilesRange(m_exportCount);
    m_progress->show();
    m_progress->raise();
}

void CSamplePlayerDlg::OnExportEvent(const CExportEvent& e)
{
    const viewer::ExportNotice& n = e.Notice();
    if (m_exportJob == 0 || n.job != m_exportJob) {
        return;  // a job the window no longer shows (the card changed under it)
    }
    switch (n.kind) {
        case viewer::ExportNotice::kFileStarted:
            setWindowTitle(QString::fromStdString(viewer::MakeFileTitle(n.index, n.count, n.name)));
            m_progress->SetFileName(QString::fromStdString(n.name));
            m_progress->SetFiles(n.index + 1);
            m_progress->SetFrames(0);
            break;
        case viewer::ExportNotice::kFrames:
            m_progress->SetFramesRange(n.framesRange);
            m_progress->SetFrames(n.framesValue);
            break;
        case viewer::ExportNotice::kFileDone:
            m_exportOutcomes.push_back(n.outcome);
            break;
        case viewer::ExportNotice::kFinished:
            m_progress->hide();
            m_exportJob = 0;
            m_busy = false;
            ReportExport();
            break;
    }
}

void CSamplePlayerDlg::ReportExport()
{
    const viewer::ExportTally tally = viewer::TallyOutcomes(m_exportOutcomes, m_exportCount);
    QString text = LocalizedString(1192).arg(tally.files).arg(QString::fromStdString(m_exportFolder));
    const auto section = [&text](const QString& heading, const std::vector<std::string>& lines) {
        if (lines.empty()) {
            return;
        }
        text += QStringLiteral("\n\n") + heading;
        for (const std::string& line : lines) {
            text += QLatin1Char('\n') + QString::fromStdString(line);
        }
    };
    section(LocalizedString(1194), tally.partial);
    section(LocalizedString(1193), tally.failed);
    if (tally.notStarted > 0) {
        text += QStringLiteral("\n\n") + LocalizedString(1197).arg(tally.notStarted);
    }
    Trace("Export => %s\n",
          QString(text).replace(QLatin1Char('\n'), QLatin1String(" | ")).toUtf8().constData());
    MessageBox(text, BuiltinString(1109), QMessageBox::Ok);
}

void CSamplePlayerDlg::EndExportForCardChange()
{
    if (m_exportJob == 0 && !m_busy) {
        return;
    }
    m_exporter->Cancel();
    m_exportJob = 0;
    m_busy = false;
    m_progress->Reset();
    m_progress->hide();
}
