// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: one viewer per user, running the main window until it closes.
#pragma once

#include <QString>
#include <memory>
#include <string>

class QLockFile;

class CSamplePlayerApp {
public:
    CSamplePlayerApp();
    ~CSamplePlayerApp();

    // Takes the per-user single-instance lock named after title; false when another
    // viewer holds it.
    bool TryBecomeOnlyInstance(const QString& title);
    // Runs the main window; returns the process exit code. 0 at once when another viewer runs.
    int InitInstance(const std::string& cardFolder);

private:
    std::unique_ptr<QLockFile> m_lock;
};
