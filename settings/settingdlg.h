// SPDX-License-Identifier: GPL-3.0-or-later
// The settings dialog: shows CSettingModel in the controls of template 115 and forwards
// the user's clicks, selections and slider moves to it. Save writes the card's file and
// closes; the close box and Esc write nothing.
#pragma once

#include "mublib/mublib.h"
#include "settings/settingmodel.h"

#include <QDialog>
#include <QRect>
#include <functional>
#include <map>
#include <string>
#include <vector>

class CLangModule;
class QButtonGroup;

class CSettingDlg : public QDialog {
    Q_OBJECT

public:
    // Shown when a save fails; tests replace it so that nothing blocks.
    using MessageBoxFn = std::function<void(QWidget* parent, const QString& text, const QString& caption)>;

    // path: the card's configuration file; module: where the texts come from (null: the
    // built-in Korean table).
    CSettingDlg(std::string path, const CLangModule* module, QWidget* parent = nullptr,
                settings::LocalTime now = settings::CurrentLocalTime());
    ~CSettingDlg() override;

    void SetMessageBox(MessageBoxFn fn) { m_messageBox = std::move(fn); }

    virtual void LoadDeviceSettings();
    // False, with a message, when the file could not be written; it is then unchanged.
    virtual bool SaveDeviceSettings();

    QWidget* Control(int id) const;
    const settings::CSettingModel& Model() const { return m_model; }
    // The string id of the message shown when a save fails.
    static constexpr int kNotSavedTextId = 1190;

    // Dialog units to pixels, with the base units of the template's font.
    static QRect DluToPixels(int x, int y, int w, int h);

private:
    void CreateControls();
    void OnClicked(int id);
    void OnSave();
    // Shows the model's state in every control.
    void ShowModel();

    const CLangModule* m_module;
    settings::CSettingModel m_model;
    std::map<int, QWidget*> m_controls;
    std::vector<QButtonGroup*> m_radioGroups;  // children of the dialog, one per radio group
    MessageBoxFn m_messageBox;
    bool m_showing = false;  // ShowModel is setting the controls: their signals are not input
};

// Opens the dialog modally on the first card whose configuration file exists or can be
// made (see settings::OpenDeviceSettings); false when there is none.
bool OpenDeviceSettings(QWidget* parent, MUBContext ctx, const CLangModule* module);
