// Main window: the map view (control 404), its page, marker and route.
#include "controls/controlid.h"
#include "formats/gpstrack.h"
#include "res/language.h"
#include "viewer/mainwindow.h"
#include "viewer/mapview.h"

#include <cstdio>

CMapView* CSamplePlayerDlg::MapView() const
{
    return static_cast<CMapView*>(m_mapView);
}

void CSamplePlayerDlg::InitMapView()
{
    auto* map = new CMapView(this);
    SetControlId(map, IDC_MAP);
    map->setGeometry(viewer::kMapHidden);
    map->Navigate(QUrl("about:blank"));
    map->SetConfig(viewer::LoadMapConfig(m_configFolder));
    if (!map->Config().problem.empty()) {
        std::fprintf(stderr, "%s\n", map->Config().problem.c_str());
    }
    m_mapView = map;
}

void CSamplePlayerDlg::LoadMapPage()
{
    m_primaryLanguage = UserPrimaryLanguage();
    MapView()->LoadMapPage(m_primaryLanguage);
    m_mapView->setGeometry(viewer::kMapHidden);
}

void CSamplePlayerDlg::DrawCurrent(const CGPSData& fix)
{
    MapView()->DrawCurrent(fix);
}

void CSamplePlayerDlg::OpenRoute(const std::string& path)
{
    CMapView* map = MapView();
    GpsTrack track;
    if (map->WantsRoute()) {
        // A context of its own: the player's context is reading the same recording.
        MUBContext context = CreateLibraryContext();
        if (context != nullptr && !m_options.cardFolder.empty()) {
            AddCardFolder(context, m_options.cardFolder.c_str());
        }
        ReadGpsTrack(context, path, &track);
        ReleaseLibraryContext(context);
    }
    map->SetRoute(std::move(track));
}

void CSamplePlayerDlg::ShowRouteProgress()
{
    MapView()->ShowProgress(m_player.CurrentTimeMs());
}
