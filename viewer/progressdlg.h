// SPDX-License-Identifier: GPL-3.0-or-later
// The export's progress window (template 203, "MUB File Download"): the name of the file
// being written, a frames bar, a files bar, Cancel, and the choice of the telemetry files.
// A view only: the main window sets it from its own thread and hears Cancel and the box.
#pragma once

#include <QDialog>
#include <QRect>

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;

class CProgressDlg : public QDialog {
    Q_OBJECT

public:
    enum ControlId {
        IDC_PROGRESS_NAME = 398,
        IDC_PROGRESS_FRAMES = 396,
        IDC_PROGRESS_FILES = 397,
        IDC_PROGRESS_CANCEL = 382,
        IDC_PROGRESS_TELEMETRY = 395,
    };

    explicit CProgressDlg(QWidget* parent);

    // Dialog units of the template's font to pixels.
    static QRect DluToPixels(int x, int y, int w, int h);

    void SetFileName(const QString& name);
    // Ranges are cut to what a 16-bit bar takes.
    void SetFramesRange(int maximum);
    void SetFrames(int value);
    void SetFilesRange(int maximum);
    void SetFiles(int value);
    void SetTelemetry(bool on);
    // Bars to 0, the name text back to the template's, the continue flag set.
    void Reset();

    // Cleared by Cancel (and Esc), set by Reset.
    bool Continue() const { return m_continue; }
    QWidget* Control(int id) const;

signals:
    void cancelled();
    void telemetryToggled(bool on);

protected:
    void reject() override;  // Esc is Cancel; the window stays until the export ends

private:
    void OnCancel();

    QLabel* m_name = nullptr;
    QProgressBar* m_frames = nullptr;
    QProgressBar* m_files = nullptr;
    QPushButton* m_cancel = nullptr;
    QCheckBox* m_telemetry = nullptr;
    bool m_continue = true;
};
