// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/mapview.h"

#include "viewer/mapscript.h"

#include "viewer/mapbrowser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QNetworkInformation>
#include <QPainter>
#include <QVBoxLayout>
#include <cstdio>

// The pages live in a static library; naming its resources keeps them linked in.
static void InitMapResources()
{
    Q_INIT_RESOURCE(map);
}

namespace {

// A page whose process keeps dying is given up after this many new starts.
constexpr int kMaxReloads = 3;
// Where the settings go in a written page.
const QString kSettingsPlaceholder = QStringLiteral("/*MAP_SETTINGS*/null");

QString PagePath(int resourceId)
{
    return QStringLiteral(":/map/%1.html").arg(resourceId);
}

// The module's maker: beside the program (the build tree), where the install puts it
// relative to the program, or in the build tree (test programs). Null when none loads.
CreateMapBrowserFn LoadMapModule()
{
    static const CreateMapBrowserFn create = []() -> CreateMapBrowserFn {
        const QDir programDir(QCoreApplication::applicationDirPath());
        const QStringList places = {
            programDir.filePath(kMapModuleFile),
            programDir.filePath(QStringLiteral(MUB_MAP_MODULE_FROM_BINDIR "/") + kMapModuleFile),
            QStringLiteral(MUB_MAP_MODULE_BUILD_DIR "/") + kMapModuleFile};
        QString problem;
        for (const QString& path : places) {
            if (!QFile::exists(path)) {
                continue;
            }
            QLibrary module(path);
            if (auto fn = reinterpret_cast<CreateMapBrowserFn>(module.resolve(kCreateMapBrowserSymbol))) {
                return fn;  // the module stays loaded for the rest of the run
            }
            problem = module.errorString();
        }
        std::fprintf(stderr, "map: cannot load the map module %s%s%s; the map stays blank\n", kMapModuleFile,
                     problem.isEmpty() ? "" : ": ", qPrintable(problem));
        return nullptr;
    }();
    return create;
}

}  // namespace

CMapView::CMapView(QWidget* parent) : QWidget(parent)
{
    InitMapResources();
    setAttribute(Qt::WA_OpaquePaintEvent);
}

CMapView::~CMapView() = default;

QWidget* CMapView::Browser() const
{
    return m_browser != nullptr ? m_browser->Widget() : nullptr;
}

CMapBrowser* CMapView::EnsureBrowser()
{
    if (m_browser != nullptr) {
        return m_browser.get();
    }
    const CreateMapBrowserFn create = LoadMapModule();
    if (create == nullptr) {
        return nullptr;
    }
    CMapBrowser::Hooks hooks;
    hooks.ready = [this] { OnPageReady(); };
    hooks.loadFinished = [this](bool ok) { OnLoadFinished(ok); };
    hooks.rendererGone = [this] { OnRendererGone(); };
    m_browser.reset(create(this, std::move(hooks)));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser->Widget());
    return m_browser.get();
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
    if (CMapBrowser* browser = EnsureBrowser()) {
        browser->SetUrl(url);
    }
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
        if (CMapBrowser* browser = EnsureBrowser()) {
            browser->SetUrl(m_url);
        }
        return true;
    }
    WritePending();
    return true;
}

void CMapView::WritePending()
{
    if (m_pendingWrite.isEmpty() || m_browser == nullptr) {
        return;
    }
    const std::string text = m_pendingWrite.toStdString();
    m_pendingWrite.clear();
    // A reload would bring back the blank document the text was written into, so the
    // document is only closed.
    m_browser->RunJavaScript(QString::fromStdString("document.open();document.write(" +
                                                    viewer::JsStringLiteral(text) + ");document.close();"),
                             {});
}

void CMapView::OnLoadFinished(bool ok)
{
    if (ok && m_browser != nullptr && m_browser->Url().scheme() == "about") {
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
        m_browser->SetUrl(m_url);
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
    if (!m_pageReady || m_browser == nullptr || !viewer::ParseScriptCall(text.toStdString(), &call)) {
        if (done) {
            done(QString());
        }
        return;
    }
    m_browser->RunJavaScript(QString::fromStdString(viewer::ScriptCallJs(call)),
                             [done = std::move(done)](const QVariant& result) {
                                 if (done) {
                                     done(result.toString());
                                 }
                             });
}

void CMapView::CallFunction(const char* name, const std::string& argumentJs)
{
    if (m_pageReady && m_browser != nullptr) {
        m_browser->RunJavaScript(QString::fromStdString(viewer::FunctionCallJs(name, {argumentJs})), {});
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
    if (CMapBrowser* browser = EnsureBrowser()) {
        browser->SetLibrary(page.library);
    }
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
    return m_browser != nullptr ? m_browser->Requests() : QStringList();
}

void CMapView::paintEvent(QPaintEvent*)
{
    // The blank page, until the browser covers it.
    QPainter(this).fillRect(rect(), Qt::white);
}
