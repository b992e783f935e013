// SPDX-License-Identifier: GPL-3.0-or-later
// User-interface language: which language module and which captioned skin set a run uses.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringList>

#include "res/resid.h"

// Primary language codes (the low 10 bits of a Windows language id).
constexpr int LANG_PRIMARY_CHINESE = 0x04;
constexpr int LANG_PRIMARY_GERMAN = 0x07;
constexpr int LANG_PRIMARY_ENGLISH = 0x09;
constexpr int LANG_PRIMARY_FRENCH = 0x0C;
constexpr int LANG_PRIMARY_JAPANESE = 0x11;
constexpr int LANG_PRIMARY_KOREAN = 0x12;
constexpr int LANG_PRIMARY_NEUTRAL = 0x00;

// The primary language code of a locale (0 for languages this table does not know).
int PrimaryLanguageOf(const QLocale& locale);
// The primary language of the user's interface language. QLocale::system() follows
// LANGUAGE, LC_ALL, LC_MESSAGES and LANG; the first entry of LANGUAGE wins.
int UserPrimaryLanguage();

// The language module file for a primary language: "qvz_lang_zh.rcc", "qvz_lang_jp.rcc",
// "qvz_lang.rcc" (Korean) or "qvz_lang_en.rcc" for every other language.
QString LanguageModuleName(int primaryLanguage);

// The captioned-button set: Chinese and Japanese have their own, every other language
// (English included) uses the default Korean-caption set.
SkinSet SkinSetForLanguage(int primaryLanguage);

// Folders searched for language modules, in order: the program's folder, its "res" subfolder,
// the "res" folder beside it (the build tree keeps modules in <build>/res), the installed data
// folder relative to the program (<prefix>/share/mubviewer from <prefix>/bin) and as
// configured, and the build tree's res folder this library was built with.
QStringList LanguageModuleSearchPath();
