// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/app.h"

#include "res/strings.h"
#include "viewer/mainwindow.h"

#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QLockFile>

CSamplePlayerApp::CSamplePlayerApp() = default;
CSamplePlayerApp::~CSamplePlayerApp() = default;

bool CSamplePlayerApp::TryBecomeOnlyInstance(const QString& title)
{
    // Per user, named after the window title (spaces would only complicate the name).
    QString name = title;
    name.replace(' ', '_');
    const QString path = QDir::temp().filePath(QString("%1-%2.lock").arg(name).arg(getuid()));
    m_lock = std::make_unique<QLockFile>(path);
    // A lock left by a crashed viewer is taken over.
    m_lock->setStaleLockTime(0);
    return m_lock->tryLock(0);
}

int CSamplePlayerApp::InitInstance(const std::string& cardFolder)
{
    const QString title = BuiltinString(1109);
    if (!TryBecomeOnlyInstance(title)) {
        return 0;
    }
    CSamplePlayerDlg::Options options;
    options.cardFolder = cardFolder;
    CSamplePlayerDlg dlg(options);
    dlg.OnInitDialog();
    dlg.show();
    return QApplication::exec();
}
