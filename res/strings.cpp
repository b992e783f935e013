// SPDX-License-Identifier: GPL-3.0-or-later
#include "res/strings.h"

#include <algorithm>
#include <cstdio>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QResource>

#include "platform/trace.h"
#include "res/language.h"

static void InitBuiltinResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(builtin);
        return true;
    }();
    (void)done;
}

namespace {

// Reads {"language": ..., "strings": {"<id>": "<text>"}}; keys that are not numbers and values
// that are not strings are skipped.
bool ParseStringTable(const QByteArray& json, QHash<int, QString>* out, QString* language)
{
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) {
        return false;
    }
    const QJsonObject root = doc.object();
    const QJsonValue strings = root.value(QStringLiteral("strings"));
    if (!strings.isObject()) {
        return false;
    }
    if (language != nullptr) {
        *language = root.value(QStringLiteral("language")).toString();
    }
    const QJsonObject table = strings.toObject();
    for (auto it = table.begin(); it != table.end(); ++it) {
        bool ok = false;
        const int id = it.key().toInt(&ok);
        if (ok && it.value().isString()) {
            out->insert(id, it.value().toString());
        }
    }
    return true;
}

const QHash<int, QString>& BuiltinTable()
{
    static const QHash<int, QString> table = [] {
        InitBuiltinResources();
        QHash<int, QString> t;
        QFile f(QStringLiteral(":/builtin/strings_ko.json"));
        if (f.open(QIODevice::ReadOnly)) {
            ParseStringTable(f.readAll(), &t, nullptr);
        }
        return t;
    }();
    return table;
}

int g_mapCounter = 0;  // GUI thread only

CLangModule& CurrentModule()
{
    // Never destroyed: the resource registry it unregisters from may be gone at process exit, so
    // the owner unloads it during shutdown instead.
    static CLangModule* module = new CLangModule;  // GUI thread only
    return *module;
}

}  // namespace

CLangModule::~CLangModule()
{
    Unload();
}

bool CLangModule::Load(const QString& fileName, const QStringList& dirs)
{
    for (const QString& dir : dirs) {
        const QString path = QDir(dir).filePath(fileName);
        if (QFileInfo::exists(path) && LoadFile(path)) {
            return true;
        }
    }
    return false;
}

bool CLangModule::LoadFile(const QString& path)
{
    Unload();
    const QString root = QStringLiteral("/qvz_lang_module_%1").arg(++g_mapCounter);
    if (!QResource::registerResource(path, root)) {
        return false;
    }
    QFile f(QStringLiteral(":") + root + QStringLiteral("/strings.json"));
    QHash<int, QString> table;
    QString language;
    if (!f.open(QIODevice::ReadOnly) || !ParseStringTable(f.readAll(), &table, &language)) {
        QResource::unregisterResource(path, root);
        return false;
    }
    m_path = path;
    m_mapRoot = root;
    m_language = language;
    m_strings = std::move(table);
    return true;
}

void CLangModule::Unload()
{
    if (!m_path.isEmpty()) {
        QResource::unregisterResource(m_path, m_mapRoot);
    }
    m_path.clear();
    m_mapRoot.clear();
    m_language.clear();
    m_strings.clear();
}

QString BuiltinString(int id)
{
    return BuiltinTable().value(id);
}

QList<int> BuiltinStringIds()
{
    QList<int> ids = BuiltinTable().keys();
    std::sort(ids.begin(), ids.end());
    return ids;
}

QString LocalizedString(const CLangModule* module, int id)
{
    if (module != nullptr) {
        QString s = module->String(id);
        if (!s.isEmpty()) {
            return s;
        }
    }
    return BuiltinString(id);
}

bool LoadLanguageModule(int primaryLanguage)
{
    const QString name = LanguageModuleName(primaryLanguage);
    const QStringList dirs = LanguageModuleSearchPath();
    CLangModule& module = CurrentModule();
    if (!module.Load(name, dirs)) {
        // The texts fall back to the built-in Korean ones; an installation that lost its
        // modules should say so.
        std::fprintf(stderr, "no language module %s in %s; the texts stay Korean\n", qPrintable(name),
                     qPrintable(dirs.join(QStringLiteral(", "))));
        return false;
    }
    Trace("Language module %s (%s): %s\n", qPrintable(module.FilePath()), qPrintable(module.Language()),
          qPrintable(module.String(1002)));
    return true;
}

bool LoadLanguageModuleFile(const QString& path)
{
    return CurrentModule().LoadFile(path);
}

void UnloadLanguageModule()
{
    CurrentModule().Unload();
}

const CLangModule* CurrentLanguageModule()
{
    const CLangModule& m = CurrentModule();
    return m.IsLoaded() ? &m : nullptr;
}

QString LocalizedString(int id)
{
    return LocalizedString(CurrentLanguageModule(), id);
}
