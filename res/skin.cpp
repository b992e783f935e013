#include "res/skin.h"

#include <QGuiApplication>
#include <QHash>
#include <QPixmapCache>

#include "res/resid.h"

static void InitSkinResources()
{
    // The images are compiled into this static library; pull them in on first use.
    static const bool done = [] {
        Q_INIT_RESOURCE(skin);
        return true;
    }();
    (void)done;
}

namespace {

struct SkinTable {
    QHash<int, QString> paths;
    QList<int> order;

    SkinTable()
    {
        auto add = [this](int id, const QString& name) {
            paths.insert(id, QStringLiteral(":/skin/%1.png").arg(name));
            order.append(id);
        };
        for (const SkinEntry& e : kSkinEntries) {
            add(e.id, QString::fromLatin1(e.name));
        }
        for (const SkinEntry& e : kSkinButtons) {
            for (int s = 0; s < 4; ++s) {
                add(SkinId(e.id, s), QStringLiteral("%1_%2").arg(e.name, kSkinStateNames[s]));
            }
        }
        for (int set = 0; set < 3; ++set) {
            for (const SkinEntry& e : kLangSkinButtons) {
                for (int s = 0; s < 4; ++s) {
                    add(LangSkinId(e.id, static_cast<SkinSet>(set), s),
                        QStringLiteral("%1_%2_%3").arg(e.name, kSkinSetNames[set], kSkinStateNames[s]));
                }
            }
        }
    }
};

const SkinTable& Table()
{
    static const SkinTable table;
    return table;
}

}  // namespace

QString SkinImagePath(int id)
{
    return Table().paths.value(id);
}

QImage LoadSkinImage(int id, qreal pixelRatio)
{
    const QString path = SkinImagePath(id);
    if (path.isEmpty()) {
        return {};
    }
    InitSkinResources();
    if (pixelRatio > 1.0) {
        // Drawn at twice the pixels: sharp at ratio 2, and scaled down smoothly in between.
        QImage sharp(QString(path).replace(QLatin1String(".png"), QLatin1String("@2x.png")));
        if (!sharp.isNull()) {
            sharp.setDevicePixelRatio(2.0);
            return sharp;
        }
    }
    return QImage(path);
}

qreal SkinPixelRatio()
{
    const auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return app != nullptr ? app->devicePixelRatio() : 1.0;
}

QPixmap LoadSkinBitmap(int id)
{
    // Pixmaps live on the GUI thread; the cache saves decoding the same image for every window.
    const QString path = SkinImagePath(id);
    if (path.isEmpty()) {
        return {};
    }
    const qreal ratio = SkinPixelRatio();
    const QString key = ratio > 1.0 ? path + QLatin1String("@2x") : path;
    QPixmap pm;
    if (QPixmapCache::find(key, &pm)) {
        return pm;
    }
    const QImage img = LoadSkinImage(id, ratio);
    if (img.isNull()) {
        return {};
    }
    pm = QPixmap::fromImage(img);
    QPixmapCache::insert(key, pm);
    return pm;
}

QList<int> SkinImageIds()
{
    return Table().order;
}
