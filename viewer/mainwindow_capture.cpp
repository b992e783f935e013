// SPDX-License-Identifier: GPL-3.0-or-later
// Main window: still capture (button 378), the pictures shown saved as JPEG files.
#include "formats/checksums.h"
#include "platform/trace.h"
#include "res/strings.h"
#include "viewer/capture.h"
#include "viewer/ch3dlg.h"
#include "viewer/mainwindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <cstdio>
#include <ctime>

namespace {

const char* const kCaptureFilter = "jpeg file (*.jpg)";

}  // namespace

bool CSamplePlayerDlg::ThirdWindowVisible() const
{
    return m_ch3 && m_ch3->isVisible();
}

QString CSamplePlayerDlg::AskCapturePath(const QString& suggested)
{
    const QString filter = QString::fromLatin1(kCaptureFilter);
    if (m_options.saveFile) {
        return m_options.saveFile(this, suggested, filter);
    }
    // Where exports go, so that stills can sit beside them and in their checksums.
    const QString start =
        m_targetFolder.empty() ? QDir::currentPath() : QString::fromStdString(m_targetFolder);
    QFileDialog dialog(this, QString(), start, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().first();
}

void CSamplePlayerDlg::OnCapture()
{
    const int state = m_player.PlayState();
    if (m_busy || (state != CQVZMediaPlayer::kStatePlaying && state != CQVZMediaPlayer::kStatePausedStep) ||
        RowCount() == 0) {
        return;
    }
    // The play state reads 0 for a paused recording too: only one that plays resumes.
    const bool wasPlaying = m_player.State() == PlayerState::Playing;
    QElapsedTimer clock;
    clock.start();
    m_player.Pause();

    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    const qint64 askedAt = clock.elapsed();
    const QString chosen = AskCapturePath(viewer::CaptureSuggestedName(local));
    const qint64 dialogMs = clock.elapsed() - askedAt;

    QStringList failed;
    if (!chosen.isEmpty()) {
        int extra = 0;
        const int channels = LoadedChannelCount(&extra);
        const auto files =
            viewer::CaptureFiles(viewer::CaptureBase(chosen), channels, extra, ThirdWindowVisible());
        std::vector<std::string> written;
        for (const viewer::CaptureFile& file : files) {
            // One failed file does not keep the others from being saved.
            if (m_player.SaveSnapshot(file.channel, file.path.toUtf8().constData())) {
                written.push_back(QFileInfo(file.path).fileName().toStdString());
            } else {
                failed << file.path;
            }
        }
        Trace("Capture => %zu files in %lld ms\n", written.size(),
              static_cast<long long>(clock.elapsed() - dialogMs));
        if (!written.empty()) {
            RecordCaptures(QFileInfo(chosen).absolutePath(), written);
        }
    }
    if (wasPlaying) {
        SetPlayVisible(false);
        m_player.Resume();
    }
    ApplyVideoLayout();
    // A still that silently did not save is evidence lost: say which, once.
    if (!failed.isEmpty()) {
        MessageBox(LocalizedString(1191).arg(failed.join(QLatin1Char('\n'))), BuiltinString(1109),
                   QMessageBox::Ok);
    }
}

void CSamplePlayerDlg::RecordCaptures(const QString& folder, const std::vector<std::string>& names)
{
    const QString target = QString::fromStdString(m_targetFolder);
    const bool exportFolder =
        !target.isEmpty() && QFileInfo(folder).canonicalFilePath() == QFileInfo(target).canonicalFilePath();
    if (!exportFolder && !QFileInfo::exists(folder + QLatin1Char('/') + QLatin1String(kChecksumFileName))) {
        return;
    }
    const std::string dir = folder.toStdString();
    std::vector<std::string> problems;
    std::string block = ChecksumComment("card " + std::to_string(m_mubID.load()) + ", capture of " +
                                        viewer::ExportName(m_openEntry.toStdString()) + " at " +
                                        std::to_string(m_player.CurrentTimeMs()) + " ms");
    block += ChecksumLinesFor(dir, names, &problems);
    std::string error;
    if (!AppendChecksums(dir, block, &error)) {
        problems.push_back(error);
    }
    if (!problems.empty()) {
        MessageBox(LocalizedString(1191).arg(QString::fromStdString(problems.front())), BuiltinString(1109),
                   QMessageBox::Ok);
    }
}
