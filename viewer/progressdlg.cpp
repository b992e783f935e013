// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/progressdlg.h"

#include "controls/controlid.h"
#include "res/strings.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

namespace {

// Base units of the template's font (9 point at 96 dpi): 4 horizontal dialog units are
// 6 pixels, 8 vertical ones 12.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 12;
constexpr int kFontPixels = 12;
// The template: 320 x 75 dialog units.
constexpr int kWidthDlu = 320;
constexpr int kHeightDlu = 75;
constexpr int kMaxBarRange = 65535;
// The template's placeholder text of the name.
const char* const kNamePlaceholder = "Static";

int MulDiv(int value, int numerator, int denominator)
{
    return static_cast<int>((static_cast<long long>(value) * numerator + denominator / 2) / denominator);
}

}  // namespace

QRect CProgressDlg::DluToPixels(int x, int y, int w, int h)
{
    return QRect(MulDiv(x, kBaseUnitX, 4), MulDiv(y, kBaseUnitY, 8), MulDiv(w, kBaseUnitX, 4),
                 MulDiv(h, kBaseUnitY, 8));
}

CProgressDlg::CProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QStringLiteral("MUB File Download"));
    setModal(false);
    QFont font(QStringLiteral("돋움체"));
    font.setFamilies({QStringLiteral("돋움체"), QStringLiteral("Noto Sans Mono CJK KR"),
                      QStringLiteral("Noto Sans CJK KR")});
    font.setPixelSize(kFontPixels);
    setFont(font);
    setFixedSize(DluToPixels(0, 0, kWidthDlu, kHeightDlu).size());

    m_name = new QLabel(QString::fromLatin1(kNamePlaceholder), this);
    // The template's 8 units fit its font's cell. The face standing in for it has a taller
    // line: the text then rests on the frames bar and grows upwards, keeping its underscores.
    QRect namePlace = DluToPixels(5, 5, 310, 8);
    const QRect framesPlace = DluToPixels(5, 15, 310, 14);
    const int lineHeight = QFontMetrics(font).height();
    if (lineHeight > namePlace.height()) {
        namePlace.setBottom(framesPlace.top() - 1);
        namePlace.setTop(std::max(0, namePlace.bottom() + 1 - lineHeight));
    }
    m_name->setGeometry(namePlace);
    m_name->setAlignment(Qt::AlignLeft | Qt::AlignBottom);
    m_frames = new QProgressBar(this);
    m_frames->setGeometry(framesPlace);
    m_files = new QProgressBar(this);
    m_files->setGeometry(DluToPixels(5, 35, 310, 14));
    for (QProgressBar* bar : {m_frames, m_files}) {
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
    }
    m_telemetry = new QCheckBox(LocalizedString(1195), this);
    m_telemetry->setGeometry(DluToPixels(5, 55, 255, 14));
    m_cancel = new QPushButton(QStringLiteral("취소"), this);
    m_cancel->setGeometry(DluToPixels(265, 55, 50, 14));
    m_cancel->setAutoDefault(false);
    SetControlId(m_name, IDC_PROGRESS_NAME);
    SetControlId(m_frames, IDC_PROGRESS_FRAMES);
    SetControlId(m_files, IDC_PROGRESS_FILES);
    SetControlId(m_cancel, IDC_PROGRESS_CANCEL);
    SetControlId(m_telemetry, IDC_PROGRESS_TELEMETRY);
    connect(m_cancel, &QPushButton::clicked, this, [this] { OnCancel(); });
    connect(m_telemetry, &QCheckBox::toggled, this, &CProgressDlg::telemetryToggled);
}

QWidget* CProgressDlg::Control(int id) const
{
    return FindControl(const_cast<CProgressDlg*>(this), id);
}

void CProgressDlg::SetFileName(const QString& name)
{
    m_name->setText(name);
}

void CProgressDlg::SetFramesRange(int maximum)
{
    m_frames->setRange(0, std::clamp(maximum, 0, kMaxBarRange));
}

void CProgressDlg::SetFrames(int value)
{
    m_frames->setValue(std::clamp(value, 0, m_frames->maximum()));
}

void CProgressDlg::SetFilesRange(int maximum)
{
    m_files->setRange(0, std::clamp(maximum, 0, kMaxBarRange));
}

void CProgressDlg::SetFiles(int value)
{
    m_files->setValue(std::clamp(value, 0, m_files->maximum()));
}

void CProgressDlg::SetTelemetry(bool on)
{
    const QSignalBlocker quiet(m_telemetry);
    m_telemetry->setChecked(on);
}

void CProgressDlg::Reset()
{
    m_name->setText(QString::fromLatin1(kNamePlaceholder));
    m_frames->setValue(0);
    m_files->setValue(0);
    m_continue = true;
}

void CProgressDlg::OnCancel()
{
    m_continue = false;
    emit cancelled();
}

void CProgressDlg::reject()
{
    OnCancel();
}
