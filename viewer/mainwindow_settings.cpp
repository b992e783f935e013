// SPDX-License-Identifier: GPL-3.0-or-later
// Main window: the camera's settings on the card.
#include "viewer/mainwindow.h"

#include "res/strings.h"
#include "settings/settingdlg.h"

#include <QMessageBox>

void CSamplePlayerDlg::OnSettings()
{
    if (m_busy) {
        return;
    }
    OnPause();
    if (!OpenDeviceSettings(this, m_mubContext, CurrentLanguageModule())) {
        MessageBox(LocalizedString(1119), windowTitle(), QMessageBox::Ok);
    }
}
