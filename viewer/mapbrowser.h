// SPDX-License-Identifier: GPL-3.0-or-later
// The map's web browser behind an interface. Qt WebEngine (with Qt Quick and QML, some
// hundred megabytes of libraries) is linked only into the map module that makes it, and the
// map control opens that module with its first page, so the viewer's start does not pay
// for loading the engine.
#pragma once

#include "viewer/mapconfig.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <functional>

class QWidget;

class CMapBrowser {
public:
    // Called on the GUI thread.
    struct Hooks {
        std::function<void()> ready;             // the page printed its ready message
        std::function<void(bool)> loadFinished;  // a load ended (ok)
        std::function<void()> rendererGone;      // the page's process ended abnormally
    };

    virtual ~CMapBrowser() = default;
    // The view, a child of the parent it was made with.
    virtual QWidget* Widget() = 0;
    virtual void SetUrl(const QUrl& url) = 0;
    virtual QUrl Url() const = 0;
    virtual void RunJavaScript(const QString& script, std::function<void(const QVariant&)> done) = 0;
    // What the request filter lets through: the library of the page loaded.
    virtual void SetLibrary(viewer::MapLibrary library) = 0;
    // http and https requests, in order, those refused marked "refused ".
    virtual QStringList Requests() const = 0;
};

// The module's one entry point (extern "C", looked up by this name).
using CreateMapBrowserFn = CMapBrowser* (*)(QWidget* parent, CMapBrowser::Hooks hooks);
inline constexpr const char* kCreateMapBrowserSymbol = "MubCreateMapBrowser";
inline constexpr const char* kMapModuleFile = "libmubviewer_map.so";
