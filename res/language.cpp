// SPDX-License-Identifier: GPL-3.0-or-later
#include "res/language.h"

#include <QCoreApplication>
#include <QDir>

int PrimaryLanguageOf(const QLocale& locale)
{
    switch (locale.language()) {
        case QLocale::Chinese:
        case QLocale::Cantonese:
            return LANG_PRIMARY_CHINESE;
        case QLocale::Japanese:
            return LANG_PRIMARY_JAPANESE;
        case QLocale::Korean:
            return LANG_PRIMARY_KOREAN;
        case QLocale::English:
            return LANG_PRIMARY_ENGLISH;
        case QLocale::French:
            return LANG_PRIMARY_FRENCH;
        case QLocale::German:
            return LANG_PRIMARY_GERMAN;
        default:
            return LANG_PRIMARY_NEUTRAL;
    }
}

int UserPrimaryLanguage()
{
    // QLocale::system() reads LC_ALL / LC_MESSAGES / LANG; LANGUAGE (a priority list) is only
    // reflected in uiLanguages(), whose first entry is what the user asked for first.
    const QLocale sys = QLocale::system();
    const QStringList ui = sys.uiLanguages();
    if (!ui.isEmpty()) {
        const QLocale first(ui.first());
        if (first.language() != QLocale::C && first.language() != QLocale::AnyLanguage) {
            return PrimaryLanguageOf(first);
        }
    }
    return PrimaryLanguageOf(sys);
}

QString LanguageModuleName(int primaryLanguage)
{
    switch (primaryLanguage & 0x3FF) {
        case LANG_PRIMARY_CHINESE:
            return QStringLiteral("qvz_lang_zh.rcc");
        case LANG_PRIMARY_JAPANESE:
            return QStringLiteral("qvz_lang_jp.rcc");
        case LANG_PRIMARY_KOREAN:
            return QStringLiteral("qvz_lang.rcc");
        default:
            return QStringLiteral("qvz_lang_en.rcc");
    }
}

SkinSet SkinSetForLanguage(int primaryLanguage)
{
    switch (primaryLanguage & 0x3FF) {
        case LANG_PRIMARY_CHINESE:
            return SkinSet::Chinese;
        case LANG_PRIMARY_JAPANESE:
            return SkinSet::Japanese;
        default:
            return SkinSet::Default;
    }
}

QStringList LanguageModuleSearchPath()
{
    QStringList dirs;
    if (QCoreApplication::instance() != nullptr) {
        const QString app = QCoreApplication::applicationDirPath();
        dirs << app << app + QStringLiteral("/res") << QDir::cleanPath(app + QStringLiteral("/../res"));
#ifdef MUB_RES_INSTALL_RELDIR
        // Where an installation keeps them, wherever its tree was put.
        dirs << QDir::cleanPath(app + QStringLiteral("/" MUB_RES_INSTALL_RELDIR));
#endif
    }
#ifdef MUB_RES_INSTALL_DIR
    dirs << QStringLiteral(MUB_RES_INSTALL_DIR);
#endif
#ifdef MUB_RES_BUILD_DIR
    dirs << QStringLiteral(MUB_RES_BUILD_DIR);
#endif
    dirs.removeDuplicates();
    return dirs;
}
