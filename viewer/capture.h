// SPDX-License-Identifier: GPL-3.0-or-later
// The still capture's rules, apart from the window: the suggested name, the base name
// taken from the chosen one, and which channel goes to which file.
#pragma once

#include <QString>
#include <ctime>
#include <vector>

namespace viewer {

// "Capture_%d%d%d_%d%d%d.jpg" of the local time, without zero padding
// (2019-09-23 14:05:30 gives Capture_2019923_14530.jpg).
QString CaptureSuggestedName(const std::tm& local);

// The chosen path less its last four characters when its file name has an extension
// ("a.jpg" and "a" give "a", "a.jpeg" gives "a."). Only the file name is cut: a shorter
// name with a dot leaves the folder whole.
QString CaptureBase(const QString& chosenPath);

struct CaptureFile {
    int channel = 0;
    QString path;
};

// The front always; with channels > 1: extra 1 (a third channel) saves the rear when there
// are three channels and the third while its window is shown; otherwise the rear.
std::vector<CaptureFile> CaptureFiles(const QString& base, int channels, int extra, bool thirdShown);

}  // namespace viewer
