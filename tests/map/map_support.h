// SPDX-License-Identifier: GPL-3.0-or-later
// Helpers for the tests that run the map pages in the web engine.
#pragma once

#include "tests/support/qt_wait.h"
#include "viewer/mapview.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <functional>

namespace maptest {

using qt_wait::kWaitMs;
using qt_wait::WaitUntil;

inline void Pump(int ms)
{
    WaitUntil([] { return false; }, ms);
}

// A page function's string result through RunScript.
inline QString Run(CMapView* map, const QString& text)
{
    QString result;
    bool done = false;
    map->RunScript(text, [&](const QString& r) {
        result = r;
        done = true;
    });
    WaitUntil([&] { return done; });
    return result;
}

// What the page draws: ready, library, marker [lat, lon], route, driven, title.
inline QJsonObject State(CMapView* map)
{
    return QJsonDocument::fromJson(Run(map, "javascript:MapState()").toUtf8()).object();
}

// Any script in the page, for looking at what the viewer has no call for.
inline QVariant Eval(CMapView* map, const QString& script)
{
    QVariant result;
    bool done = false;
    qobject_cast<QWebEngineView*>(map->Browser())->page()->runJavaScript(script, [&](const QVariant& r) {
        result = r;
        done = true;
    });
    WaitUntil([&] { return done; });
    return result;
}

}  // namespace maptest
