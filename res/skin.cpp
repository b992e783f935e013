// SPDX-License-Identifier: GPL-3.0-or-later
#include "res/skin.h"

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

QImage LoadSkinImage(int id)
{
    const QString path = SkinImagePath(id);
    if (path.isEmpty()) {
        return {};
    }
    InitSkinResources();
    return QImage(path);
}

QPixmap LoadSkinBitmap(int id)
{
    // Pixmaps live on the GUI thread; the cache saves decoding the same image for every window.
    const QString path = SkinImagePath(id);
    if (path.isEmpty()) {
        return {};
    }
    QPixmap pm;
    if (QPixmapCache::find(path, &pm)) {
        return pm;
    }
    const QImage img = LoadSkinImage(id);
    if (img.isNull()) {
        return {};
    }
    pm = QPixmap::fromImage(img);
    QPixmapCache::insert(path, pm);
    return pm;
}

QList<int> SkinImageIds()
{
    return Table().order;
}
