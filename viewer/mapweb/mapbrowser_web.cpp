// SPDX-License-Identifier: GPL-3.0-or-later
// The map module: the map's browser made with Qt WebEngine (see viewer/mapbrowser.h).
#include "viewer/mapbrowser.h"

#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

// What a page prints to its console once its functions are set up.
const QString kReadyMessage = QStringLiteral("map:ready");

// The page tells the viewer it is ready through its console.
class CMapPage : public QWebEnginePage {
public:
    CMapPage(QWebEngineProfile* profile, QObject* parent, std::function<void()> ready)
        : QWebEnginePage(profile, parent), m_ready(std::move(ready))
    {
    }

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int line,
                                  const QString& source) override
    {
        if (message == kReadyMessage) {
            m_ready();
        } else if (level == ErrorMessageLevel && source.startsWith("qrc:")) {
            // Our own pages' errors; the providers' scripts may say what they like.
            std::fprintf(stderr, "map page: %s (%s:%d)\n", qPrintable(message), qPrintable(source), line);
        }
    }

private:
    std::function<void()> m_ready;
};

// Keeps the page to what its library needs: with Leaflet nothing leaves the machine but
// tile images; a provider's map (with its key) may load what it likes. Links never take
// the control away from the map. Also keeps a list of what went out.
class CMapRequestFilter : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void SetLibrary(viewer::MapLibrary library) { m_library = library; }

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl url = info.requestUrl();
        const QString scheme = url.scheme();
        if (scheme == "qrc" || scheme == "data" || scheme == "about" || scheme == "blob") {
            return;
        }
        const viewer::MapLibrary library = m_library.load();
        bool allowed = scheme == "http" || scheme == "https";
        if (info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame) {
            allowed = false;
        } else if (library == viewer::MapLibrary::kLeaflet) {
            allowed = allowed && info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeImage;
        } else if (library == viewer::MapLibrary::kNone) {
            allowed = false;
        }
        if (!allowed) {
            info.block(true);
        }
        std::lock_guard<std::mutex> lock(m_lock);
        m_requests.append((allowed ? "" : "refused ") + url.toString());
    }

    QStringList Requests() const
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_requests;
    }

private:
    std::atomic<viewer::MapLibrary> m_library{viewer::MapLibrary::kNone};
    mutable std::mutex m_lock;
    QStringList m_requests;  // --- protected by m_lock
};

class CWebMapBrowser : public CMapBrowser {
public:
    CWebMapBrowser(QWidget* parent, Hooks hooks) : m_hooks(std::move(hooks))
    {
        // An off-the-record profile of our own: nothing is written to disk, and the filter
        // sees every request.
        m_profile = new QWebEngineProfile();
        m_filter = new CMapRequestFilter(m_profile);
        m_profile->setUrlRequestInterceptor(m_filter);
        m_profile->setHttpUserAgent(m_profile->httpUserAgent() + " mubviewer");
        m_view = new QWebEngineView(parent);
        m_page = new CMapPage(m_profile, m_view, [this] { m_hooks.ready(); });
        m_view->setPage(m_page);
        m_view->setContextMenuPolicy(Qt::NoContextMenu);
        QObject::connect(m_view, &QWebEngineView::loadFinished, m_view,
                         [this](bool ok) { m_hooks.loadFinished(ok); });
        QObject::connect(m_page, &QWebEnginePage::renderProcessTerminated, m_view,
                         [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                             if (status != QWebEnginePage::NormalTerminationStatus) {
                                 m_hooks.rendererGone();
                             }
                         });
    }

    ~CWebMapBrowser() override
    {
        // The page must go before the profile it was made with.
        delete m_view;
        delete m_profile;
    }

    QWidget* Widget() override { return m_view; }
    void SetUrl(const QUrl& url) override { m_view->setUrl(url); }
    QUrl Url() const override { return m_view->url(); }
    void RunJavaScript(const QString& script, std::function<void(const QVariant&)> done) override
    {
        if (done) {
            m_page->runJavaScript(script, std::move(done));
        } else {
            m_page->runJavaScript(script);
        }
    }
    void SetLibrary(viewer::MapLibrary library) override { m_filter->SetLibrary(library); }
    QStringList Requests() const override { return m_filter->Requests(); }

private:
    Hooks m_hooks;
    QWebEngineProfile* m_profile = nullptr;
    CMapRequestFilter* m_filter = nullptr;
    CMapPage* m_page = nullptr;
    QWebEngineView* m_view = nullptr;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) CMapBrowser* MubCreateMapBrowser(QWidget* parent,
                                                                                   CMapBrowser::Hooks hooks)
{
    return new CWebMapBrowser(parent, std::move(hooks));
}
