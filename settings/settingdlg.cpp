// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settingdlg.h"

#include "controls/controlid.h"
#include "res/skinpalette.h"
#include "res/strings.h"
#include "settings/devicefile.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

using namespace settings;

namespace {

// Base units of the template's font (8 point at 96 dpi): 4 horizontal dialog units are 6
// pixels, 8 vertical ones 13.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;
// The dialog's text size, matching that font.
constexpr int kFontPixels = 12;

int MulDiv(int value, int numerator, int denominator)
{
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

// Labels beside a check box without text: a click on the label is a click on the box.
constexpr std::pair<int, int> kBoxLabels[] = {
    {IDC_MIC_IN_LABEL, IDC_MIC_IN},     {IDC_VOICE_OUT_LABEL, IDC_VOICE_OUT},
    {IDC_USE_TICK_LABEL, IDC_USE_TICK}, {IDC_PC_TIME_LABEL, IDC_PC_TIME},
    {IDC_LDWS_LABEL, IDC_LDWS},         {IDC_SAFE_DRIVE_LABEL, IDC_SAFE_DRIVE},
    {IDC_FVSA_LABEL, IDC_FVSA},         {IDC_ADAS_ALARM_LABEL, IDC_ADAS_ALARM},
    {IDC_TLDS_LABEL, IDC_TLDS},         {IDC_CLOCK_SCREEN_LABEL, IDC_CLOCK_SCREEN},
};

// The labels at the ends of the sliders, in the skin's dimmer text.
bool IsEndLabel(int id)
{
    for (int end : {IDC_VOICE_VOLUME_MIN, IDC_VOICE_VOLUME_MAX, IDC_ACC_LEVEL_LOW, IDC_ACC_LEVEL_HIGH,
                    IDC_LDWS_LOW, IDC_LDWS_HIGH}) {
        if (id == end) {
            return true;
        }
    }
    return false;
}

class CBoxLabel : public QLabel {
public:
    CBoxLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}
    QAbstractButton* box = nullptr;

protected:
    void mouseReleaseEvent(QMouseEvent* e) override
    {
        if (box != nullptr && box->isEnabled() && e->button() == Qt::LeftButton &&
            rect().contains(e->pos())) {
            box->click();
        }
        QLabel::mouseReleaseEvent(e);
    }
};

// The dialog's face: Noto Sans CJK in the language's own cut (its Latin letters serve English).
QFont DialogFont(const CLangModule* module)
{
    const QString language = module != nullptr ? module->Language() : QString();
    QString family = QStringLiteral("Noto Sans CJK KR");
    if (language == QLatin1String("zh")) {
        family = QStringLiteral("Noto Sans CJK SC");
    } else if (language == QLatin1String("jp")) {
        family = QStringLiteral("Noto Sans CJK JP");
    }
    QFont font(family);
    font.setPixelSize(kFontPixels);
    return font;
}

// Group frames, buttons and the indicators of boxes and radio buttons in the skin's colours.
// Set on each of those widgets rather than on the dialog, where it would hide the palette
// from the lists and sliders.
QString StyleSheet()
{
    static const QString sheet = [] {
        const auto hex = [](QRgb c) { return QColor(c).name(); };
        QString s = QStringLiteral(
            "QGroupBox { border: 1px solid $border; border-radius: 4px; margin-top: 8px; background: $group; "
            "}"
            "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left; left: 8px;"
            " padding: 0 4px; color: $accentLight; font-weight: bold; }"
            "QPushButton { border: 1px solid $border; border-radius: 3px; padding: 2px 8px; background: "
            "$panel;"
            " color: $text; }"
            "QPushButton:hover { background: $highlight; }"
            "QPushButton:pressed { background: $group; }"
            "QPushButton#save { background: $accentDark; border-color: $accent; }"
            "QPushButton#save:hover { background: $accent; }"
            "QCheckBox, QRadioButton { spacing: 5px; color: $text; }"
            "QCheckBox:disabled, QRadioButton:disabled { color: $disabled; }"
            "QCheckBox::indicator, QRadioButton::indicator { width: 11px; height: 11px;"
            " border: 1px solid $dim; background: $field; }"
            "QCheckBox::indicator { border-radius: 2px; }"
            "QRadioButton::indicator { border-radius: 6px; }"
            "QCheckBox::indicator:hover, QRadioButton::indicator:hover { border-color: $accentLight; }"
            "QCheckBox::indicator:checked { background: $accent; border-color: $accentLight; }"
            "QRadioButton::indicator:checked { border-color: $accentLight; background: qradialgradient("
            "cx: 0.5, cy: 0.5, radius: 0.5, fx: 0.5, fy: 0.5, stop: 0 $accent, stop: 0.5 $accent,"
            " stop: 0.62 $field, stop: 1 $field); }"
            "QCheckBox::indicator:disabled, QRadioButton::indicator:disabled { border-color: $border;"
            " background: $background; }"
            "QCheckBox::indicator:checked:disabled { background: $disabled; }");
        const std::pair<const char*, QRgb> colours[] = {
            {"$accentLight", skin::kAccentLight},
            {"$accentDark", skin::kAccentDark},
            {"$accent", skin::kAccent},
            {"$border", skin::kPanelBorder},
            {"$group", 0x1f2329},
            {"$panel", skin::kPanel},
            {"$highlight", skin::kPanelHighlight},
            {"$text", skin::kText},
            {"$dim", skin::kTextDim},
            {"$field", skin::kField},
            {"$background", skin::kBackground},
            {"$disabled", skin::kTextDisabled},
        };
        for (const auto& [name, colour] : colours) {
            s.replace(QLatin1String(name), hex(colour));
        }
        return s;
    }();
    return sheet;
}

void SetColour(QWidget* w, QPalette::ColorRole role, const QColor& colour)
{
    QPalette p = w->palette();
    p.setColor(role, colour);
    w->setPalette(p);
}

// The bars of the storage shares, in the skin's colours.
QColor BarColour(int id)
{
    switch (id) {
        case IDC_BAR_DRIVING:
            return QColor(skin::kAccent);
        case IDC_BAR_EVENT:
            return QColor(skin::kDanger);
        case IDC_BAR_PARKING:
            return QColor(skin::kGreen);
        default:
            return QColor(skin::kTextDim);
    }
}

}  // namespace

QRect CSettingDlg::DluToPixels(int x, int y, int w, int h)
{
    return QRect(MulDiv(x, kBaseUnitX, 4), MulDiv(y, kBaseUnitY, 8), MulDiv(w, kBaseUnitX, 4),
                 MulDiv(h, kBaseUnitY, 8));
}

CSettingDlg::CSettingDlg(std::string path, const CLangModule* module, QWidget* parent, LocalTime now)
    : QDialog(parent,
              Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      m_module(module),
      m_model(std::move(path), now, [module](int id) { return LocalizedString(module, id).toStdString(); })
{
    setWindowTitle(LocalizedString(m_module, kCaptionTextId));
    setPalette(SkinPalette());
    setAutoFillBackground(true);
    setFont(DialogFont(m_module));
    setFixedSize(DluToPixels(0, 0, kDialogWidthDlu, kDialogHeightDlu).size());
    CreateControls();
    m_model.Initialise();
    ShowModel();
}

CSettingDlg::~CSettingDlg() = default;

QWidget* CSettingDlg::Control(int id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

void CSettingDlg::CreateControls()
{
    for (const TemplateControl& c : Template115()) {
        const QString text = c.fixedText != nullptr ? QString::fromLatin1(c.fixedText)
                             : c.textId != 0        ? LocalizedString(m_module, c.textId)
                                                    : QString();
        QWidget* w = nullptr;
        switch (c.kind) {
            case ControlKind::Group:
                w = new QGroupBox(text, this);
                w->setStyleSheet(StyleSheet());
                break;
            case ControlKind::Radio: {
                auto* radio = new QRadioButton(text, this);
                radio->setStyleSheet(StyleSheet());
                if ((c.flags & kGroupStart) || m_radioGroups.empty()) {
                    m_radioGroups.push_back(new QButtonGroup(this));
                }
                m_radioGroups.back()->addButton(radio);
                connect(radio, &QRadioButton::clicked, this, [this, id = c.id] { OnClicked(id); });
                w = radio;
                break;
            }
            case ControlKind::Check: {
                auto* box = new QCheckBox(text, this);
                box->setStyleSheet(StyleSheet());
                connect(box, &QCheckBox::clicked, this, [this, id = c.id] { OnClicked(id); });
                w = box;
                break;
            }
            case ControlKind::Label:
            case ControlKind::Text:
            case ControlKind::Warning: {
                auto* label = new CBoxLabel(text, this);
                label->setAlignment(((c.flags & kAlignRight) ? Qt::AlignRight : Qt::AlignLeft) |
                                    Qt::AlignVCenter);
                label->setWordWrap((c.flags & kWrap) != 0);
                if (c.kind == ControlKind::Warning) {
                    SetColour(label, QPalette::WindowText, QColor(255, 0, 0));
                    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                } else if (IsEndLabel(c.id)) {
                    SetColour(label, QPalette::WindowText, QColor(skin::kTextDim));
                }
                w = label;
                break;
            }
            case ControlKind::Bar:
                w = new QWidget(this);
                w->setAutoFillBackground(true);
                SetColour(w, QPalette::Window, BarColour(c.id));
                break;
            case ControlKind::Slider: {
                auto* slider = new QSlider(Qt::Horizontal, this);
                slider->setTickPosition(QSlider::TicksBothSides);
                slider->setTickInterval(1);
                slider->setSingleStep(1);
                slider->setPageStep(1);
                connect(slider, &QSlider::valueChanged, this, [this, id = c.id](int position) {
                    if (!m_showing) {
                        m_model.SetPosition(id, position);
                        ShowModel();
                    }
                });
                w = slider;
                break;
            }
            case ControlKind::List: {
                auto* list = new QComboBox(this);
                connect(list, &QComboBox::activated, this, [this, id = c.id](int entry) {
                    m_model.Select(id, entry);
                    ShowModel();
                });
                w = list;
                break;
            }
            case ControlKind::Button: {
                auto* button = new QPushButton(text, this);
                button->setStyleSheet(StyleSheet());
                button->setAutoDefault(false);  // Enter neither saves nor resets
                if (c.id == IDC_SAVE) {
                    button->setObjectName(QStringLiteral("save"));
                    connect(button, &QPushButton::clicked, this, &CSettingDlg::OnSave);
                } else {
                    connect(button, &QPushButton::clicked, this, [this, id = c.id] { OnClicked(id); });
                }
                w = button;
                break;
            }
        }
        SetControlId(w, c.id);
        w->setGeometry(DluToPixels(c.x, c.y, c.w, c.h));
        m_controls[c.id] = w;
    }
    for (const auto& [label, box] : kBoxLabels) {
        static_cast<CBoxLabel*>(Control(label))->box = static_cast<QAbstractButton*>(Control(box));
    }
}

void CSettingDlg::LoadDeviceSettings()
{
    m_model.LoadDeviceSettings();
    ShowModel();
}

bool CSettingDlg::SaveDeviceSettings()
{
    if (m_model.SaveDeviceSettings() == SaveResult::Saved) {
        return true;
    }
    const QString text = LocalizedString(m_module, kNotSavedTextId);
    const QString caption = LocalizedString(m_module, kCaptionTextId);
    if (m_messageBox) {
        m_messageBox(this, text, caption);
    } else {
        QMessageBox::warning(this, caption, text);
    }
    return false;
}

void CSettingDlg::OnSave()
{
    if (SaveDeviceSettings()) {
        accept();
    }
}

void CSettingDlg::OnClicked(int id)
{
    if (m_showing) {
        return;
    }
    m_model.Click(id);
    ShowModel();
}

void CSettingDlg::ShowModel()
{
    m_showing = true;
    for (QButtonGroup* group : m_radioGroups) {
        group->setExclusive(false);  // so that a group can show no choice
    }
    for (const TemplateControl& c : Template115()) {
        const ControlState& s = m_model.State(c.id);
        QWidget* w = Control(c.id);
        w->setVisible(s.visible);
        w->setEnabled(s.enabled);
        switch (c.kind) {
            case ControlKind::Radio:
            case ControlKind::Check:
                static_cast<QAbstractButton*>(w)->setChecked(s.checked);
                break;
            case ControlKind::Text:
                static_cast<QLabel*>(w)->setText(QString::fromUtf8(s.text));
                break;
            case ControlKind::Bar:
                if (s.widthPx >= 0) {
                    // Keeps its left edge, top and height; only the width follows the share.
                    w->resize(s.widthPx, w->height());
                }
                break;
            case ControlKind::Slider: {
                auto* slider = static_cast<QSlider*>(w);
                slider->setRange(s.rangeMin, s.rangeMax);
                slider->setValue(s.position);
                break;
            }
            case ControlKind::List: {
                auto* list = static_cast<QComboBox*>(w);
                bool same = list->count() == static_cast<int>(s.items.size());
                for (int i = 0; same && i < list->count(); ++i) {
                    same = list->itemText(i) == QString::fromStdString(s.items[static_cast<size_t>(i)]);
                }
                if (!same) {
                    list->clear();
                    for (const std::string& item : s.items) {
                        list->addItem(QString::fromStdString(item));
                    }
                }
                list->setCurrentIndex(s.selection);
                break;
            }
            default:
                break;
        }
    }
    for (QButtonGroup* group : m_radioGroups) {
        group->setExclusive(true);
    }
    m_showing = false;
}

bool OpenDeviceSettings(QWidget* parent, MUBContext ctx, const CLangModule* module)
{
    return settings::OpenDeviceSettings(ctx, [&](const std::string& path) {
        CSettingDlg dlg(path, module, parent);
        dlg.exec();
    });
}
