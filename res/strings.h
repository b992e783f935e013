// SPDX-License-Identifier: GPL-3.0-or-later
// User-interface strings by string id (1001 to 1206): the built-in Korean table and the
// run-time language modules that translate it.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// One language module: a binary resource file holding "strings.json", an object
// {"language": "...", "strings": {"1001": "...", ...}}. Loaded and used on the GUI thread.
class CLangModule {
public:
    CLangModule() = default;
    ~CLangModule();
    CLangModule(const CLangModule&) = delete;
    CLangModule& operator=(const CLangModule&) = delete;

    // Looks for the file in each folder in turn; returns false (and stays unloaded) when no
    // folder holds a module that registers and carries a readable string table.
    bool Load(const QString& fileName, const QStringList& dirs);
    bool LoadFile(const QString& path);
    void Unload();

    bool IsLoaded() const { return !m_path.isEmpty(); }
    QString FilePath() const { return m_path; }
    QString Language() const { return m_language; }
    // The module's text for the id; empty when it has none.
    QString String(int id) const { return m_strings.value(id); }
    int Count() const { return static_cast<int>(m_strings.size()); }

private:
    QString m_path;  // the registered resource file, empty while unloaded
    QString m_mapRoot;
    QString m_language;
    QHash<int, QString> m_strings;
};

// The built-in Korean text for the id; empty for an id the table does not hold.
QString BuiltinString(int id);
// Every id of the built-in table, ascending.
QList<int> BuiltinStringIds();

// The module's text for the id, or the built-in text when the module is null, lacks the id or
// holds an empty text for it.
QString LocalizedString(const CLangModule* module, int id);

// The run's language module (chosen once at start-up; GUI thread only).
// Loads the module for the primary language from LanguageModuleSearchPath(); false when it does
// not load, in which case every lookup falls back to the built-in table.
bool LoadLanguageModule(int primaryLanguage);
bool LoadLanguageModuleFile(const QString& path);
void UnloadLanguageModule();
const CLangModule* CurrentLanguageModule();
// LocalizedString(CurrentLanguageModule(), id).
QString LocalizedString(int id);
