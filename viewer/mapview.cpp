#include "viewer/mapview.h"

#include "viewer/mapscript.h"

#include <QFile>
#include <QNetworkInformation>
#include <QPainter>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <atomic>
#include <cstdio>
#include <mutex>

// The pages live in a static library; naming its resources keeps them linked in.
static void InitMapResources()
{
    Q_INIT_RESOURCE(map);
}

namespace {

// What a page prints to its console once its functions are set up.
const QString kReadyMessage = QStringLiteral("map:ready");
// A page whose process keeps dying is given up after this many new starts.
constexpr int kMaxReloads = 3;
// Where the settings go in a written page.
const QString kSettingsPlaceholder = QStringLiteral("/*MAP_SETTINGS*/null");

QString PagePath(int resourceId)
{
    return QStringLiteral(":/map/%1.html").arg(resourceId);
}

}  // namespace

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

CMapView::CMapView(QWidget* parent) : QWidget(parent)
{
    InitMapResources();
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CMapView::~CMapView()
{
    // The page must go before the profile it was made with.
    delete m_browser;
    m_browser = nullptr;
    delete m_profile;
}

QWebEngineView* CMapView::EnsureBrowser()
{
    if (m_browser != nullptr) {
        return m_browser;
    }
    // An off-the-record profile of our own: nothing is written to disk, and the filter
    // sees every request.
    m_profile = new QWebEngineProfile(this);
    m_filter = new CMapRequestFilter(m_profile);
    m_profile->setUrlRequestInterceptor(m_filter);
    m_profile->setHttpUserAgent(m_profile->httpUserAgent() + " mubviewer");
    m_browser = new QWebEngineView(this);
    m_page = new CMapPage(m_profile, m_browser, [this] { OnPageReady(); });
    m_browser->setPage(m_page);
    m_browser->setContextMenuPolicy(Qt::NoContextMenu);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    connect(m_browser, &QWebEngineView::loadFinished, this, &CMapView::OnLoadFinished);
    connect(m_page, &QWebEnginePage::renderProcessTerminated, this,
            [this](QWebEnginePage::RenderProcessTerminationStatus status, int) {
                if (status != QWebEnginePage::NormalTerminationStatus) {
                    OnRendererGone();
                }
            });
    return m_browser;
}

void CMapView::Navigate(const QUrl& url)
{
    m_url = url;
    m_pageReady = false;
    m_written = false;
    if (m_browser == nullptr && url == QUrl("about:blank")) {
        update();
        return;
    }
    m_blankLoaded = false;
    EnsureBrowser()->setUrl(url);
}

bool CMapView::WriteResourcePage(int resourceId)
{
    QFile file(PagePath(resourceId));
    if (!file.open(QIODevice::ReadOnly)) {
        return false;
    }
    QString text = QString::fromUtf8(file.readAll());
    if (text.isEmpty()) {
        return false;
    }
    text.replace(kSettingsPlaceholder, QString::fromStdString(m_settings));
    m_pendingWrite = text;
    m_pageReady = false;
    m_written = true;
    if (m_browser == nullptr || !m_blankLoaded) {
        // The text goes into a real blank document, so the browser loads one first.
        m_url = QUrl("about:blank");
        EnsureBrowser()->setUrl(m_url);
        return true;
    }
    WritePending();
    return true;
}

void CMapView::WritePending()
{
    if (m_pendingWrite.isEmpty() || m_page == nullptr) {
        return;
    }
    const std::string text = m_pendingWrite.toStdString();
    m_pendingWrite.clear();
    // A reload would bring back the blank document the text was written into, so the
    // document is only closed.
    m_page->runJavaScript(QString::fromStdString("document.open();document.write(" +
                                                 viewer::JsStringLiteral(text) + ");document.close();"));
}

void CMapView::OnLoadFinished(bool ok)
{
    if (ok && m_browser->url().scheme() == "about") {
        m_blankLoaded = true;
        WritePending();
    }
}

void CMapView::OnRendererGone()
{
    m_pageReady = false;
    if (m_reloads >= kMaxReloads || !m_loadStarted) {
        std::fprintf(stderr, "map: the page's process ended; the map stays blank\n");
        return;
    }
    ++m_reloads;
    std::fprintf(stderr, "map: the page's process ended; loading the page again\n");
    if (m_written) {
        m_blankLoaded = false;
        WriteResourcePage(viewer::IDR_MAP_PAGE_ZH);
    } else {
        m_browser->setUrl(m_url);
    }
}

void CMapView::OnPageReady()
{
    m_pageReady = true;
    m_drivenSent = -1;
    SendRoute();
    emit pageReady();
}

void CMapView::RunScript(const QString& text, ScriptResult done)
{
    viewer::ScriptCall call;
    if (!m_pageReady || m_page == nullptr || !viewer::ParseScriptCall(text.toStdString(), &call)) {
        if (done) {
            done(QString());
        }
        return;
    }
    m_page->runJavaScript(QString::fromStdString(viewer::ScriptCallJs(call)),
                          [done = std::move(done)](const QVariant& result) {
                              if (done) {
                                  done(result.toString());
                              }
                          });
}

void CMapView::CallFunction(const char* name, const std::string& argumentJs)
{
    if (m_pageReady && m_page != nullptr) {
        m_page->runJavaScript(QString::fromStdString(viewer::FunctionCallJs(name, {argumentJs})));
    }
}

bool CMapView::IsOnline() const
{
    if (m_online) {
        return m_online();
    }
    // No backend (no network manager) reads as unknown, which counts as online, as does
    // a local network: a tile server may be on it.
    static const bool backend = QNetworkInformation::loadDefaultBackend();
    const QNetworkInformation* info = backend ? QNetworkInformation::instance() : nullptr;
    return info == nullptr || info->reachability() != QNetworkInformation::Reachability::Disconnected;
}

bool CMapView::WantsRoute() const
{
    return m_config.provider != viewer::MapProvider::kOff && m_config.problem.empty();
}

bool CMapView::LoadMapPage(int primaryLanguage)
{
    if (m_loadStarted) {
        return true;
    }
    const viewer::MapPage page = viewer::ChooseMapPage(m_config, primaryLanguage);
    if (page.resourceId == 0 || !IsOnline()) {
        return false;
    }
    m_loadStarted = true;
    m_settings = viewer::MapPageSettings(m_config, page.library);
    EnsureBrowser();
    m_filter->SetLibrary(page.library);
    if (page.resourceId == viewer::IDR_MAP_PAGE_ZH) {
        WriteResourcePage(page.resourceId);
    } else {
        QUrl url(QStringLiteral("qrc:/map/%1.html").arg(page.resourceId));
        url.setFragment(QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(m_settings))),
                        QUrl::StrictMode);
        Navigate(url);
    }
    return true;
}

void CMapView::DrawCurrent(const CGPSData& fix)
{
    const std::string script = viewer::DrawCurrentScript(fix);
    if (!script.empty()) {
        RunScript(QString::fromStdString(script));
    }
}

void CMapView::SetRoute(GpsTrack track)
{
    m_route = std::move(track);
    m_drivenSent = -1;
    SendRoute();
}

void CMapView::SendRoute()
{
    if (m_pageReady) {
        CallFunction("DrawRoute", viewer::RouteJs(m_route));
        m_drivenSent = 0;
    }
}

void CMapView::ShowProgress(int positionMs)
{
    if (!m_pageReady || m_drivenSent < 0) {
        return;
    }
    const int driven = DrivenPointCount(m_route, positionMs);
    if (driven != m_drivenSent) {
        m_drivenSent = driven;
        RunScript(QStringLiteral("javascript:DrawDriven('%1')").arg(driven));
    }
}

QStringList CMapView::NetworkRequests() const
{
    return m_filter != nullptr ? m_filter->Requests() : QStringList();
}

void CMapView::paintEvent(QPaintEvent*)
{
    // The blank page, until the browser covers it.
    QPainter(this).fillRect(rect(), Qt::white);
}
