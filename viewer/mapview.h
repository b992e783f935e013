// SPDX-License-Identifier: GPL-3.0-or-later
// Control 404, the map: a wrapper of the browser view that shows the map pages, moves
// the page's position marker and draws the open recording's route.
//
// The browser, and with it the web engine, is made with the first map page: a run that
// never loads one (offline, provider "off", no recording opened) never starts the
// engine, and until then the control is the blank page it was navigated to. Everything
// here runs on the GUI thread; script calls are asynchronous and run in order.
#pragma once

#include "formats/gpstrack.h"
#include "formats/telemetry.h"
#include "viewer/mapconfig.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

class CMapBrowser;

class CMapView : public QWidget {
    Q_OBJECT

public:
    using ScriptResult = std::function<void(const QString&)>;

    explicit CMapView(QWidget* parent = nullptr);
    ~CMapView() override;

    // ---- the browser control
    // about:blank needs no engine while no page was ever loaded.
    void Navigate(const QUrl& url);
    QUrl Url() const { return m_url; }
    // Writes the text of page resource id (with the page settings put in) into the current
    // document. False when the resource is missing or empty.
    bool WriteResourcePage(int resourceId);
    // Calls a page function given as "javascript:Name('a', 'b')" with the tokens as string
    // arguments; done gets its string result, or "" (also when no page is ready, when the
    // function is missing or fails, and for text that names no call).
    void RunScript(const QString& text, ScriptResult done = {});

    // ---- the map
    void SetConfig(const viewer::MapConfig& config) { m_config = config; }
    const viewer::MapConfig& Config() const { return m_config; }
    // Whether the machine counts as online; by default the system's reachability, where
    // only "disconnected" is offline.
    void SetOnlineCheck(std::function<bool()> online) { m_online = std::move(online); }
    bool IsOnline() const;
    // Loads the page of the interface language once per run, when online; false while no
    // page has been loaded (offline, "off", a configuration problem).
    bool LoadMapPage(int primaryLanguage);
    bool PageLoadStarted() const { return m_loadStarted; }
    bool UsedDocumentWrite() const { return m_written; }
    // The page has set up its functions; calls made before are dropped.
    bool IsPageReady() const { return m_pageReady; }
    // Whether a route is worth reading: a page may still come.
    bool WantsRoute() const;

    // Moves the marker to a fix the map can show; others are never sent.
    void DrawCurrent(const CGPSData& fix);
    // The open recording's route, drawn as soon as the page is ready.
    void SetRoute(GpsTrack track);
    void ClearRoute() { SetRoute({}); }
    const GpsTrack& Route() const { return m_route; }
    // The driven part: the route's points up to the playback position.
    void ShowProgress(int positionMs);

    // The browser's view (a QWebEngineView); null until the first page. For checks.
    QWidget* Browser() const;
    // http and https requests of the page, in order, with those refused marked "refused ".
    QStringList NetworkRequests() const;

signals:
    // The page of the current document has set up its functions.
    void pageReady();

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    // Opens the map module on first use; null (said once on standard error) without it.
    CMapBrowser* EnsureBrowser();
    void OnLoadFinished(bool ok);
    void OnPageReady();
    // The page's renderer died (crash, out of memory): the page is loaded again, a few times.
    void OnRendererGone();
    void WritePending();
    void SendRoute();
    void CallFunction(const char* name, const std::string& argumentJs);

    viewer::MapConfig m_config;
    std::function<bool()> m_online;
    QUrl m_url{"about:blank"};
    bool m_loadStarted = false;  // a page was loaded in this run
    bool m_written = false;      // the current document came through WriteResourcePage
    bool m_blankLoaded = false;  // the browser holds a loaded blank document to write into
    bool m_pageReady = false;
    QString m_pendingWrite;  // page text waiting for the blank document
    std::string m_settings;  // the loaded page's settings object
    GpsTrack m_route;
    int m_drivenSent = -1;  // the driven count the page shows; -1 none sent
    int m_reloads = 0;      // new starts after the renderer died

    std::unique_ptr<CMapBrowser> m_browser;
};
