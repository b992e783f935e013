// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/capture.h"

namespace viewer {

QString CaptureSuggestedName(const std::tm& local)
{
    return QStringLiteral("Capture_%1%2%3_%4%5%6.jpg")
        .arg(local.tm_year + 1900)
        .arg(local.tm_mon + 1)
        .arg(local.tm_mday)
        .arg(local.tm_hour)
        .arg(local.tm_min)
        .arg(local.tm_sec);
}

QString CaptureBase(const QString& chosenPath)
{
    const qsizetype nameStart = chosenPath.lastIndexOf(QLatin1Char('/')) + 1;
    const QString name = chosenPath.mid(nameStart);
    if (!name.contains(QLatin1Char('.'))) {
        return chosenPath;
    }
    return chosenPath.left(chosenPath.size() - std::min<qsizetype>(4, name.size()));
}

std::vector<CaptureFile> CaptureFiles(const QString& base, int channels, int extra, bool thirdShown)
{
    std::vector<CaptureFile> files{{0, base + QStringLiteral("_front.jpg")}};
    if (channels > 1) {
        if (extra == 1) {
            if (channels > 2) {
                files.push_back({1, base + QStringLiteral("_rear.jpg")});
            }
            if (thirdShown) {
                files.push_back({2, base + QStringLiteral("_3ch.jpg")});
            }
        } else {
            files.push_back({1, base + QStringLiteral("_rear.jpg")});
        }
    }
    return files;
}

}  // namespace viewer
