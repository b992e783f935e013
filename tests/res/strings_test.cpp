// SPDX-License-Identifier: GPL-3.0-or-later
// String tables, language modules and the language choice.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>

#include "res/language.h"
#include "res/strings.h"

namespace {

QGuiApplication* App()
{
    static int argc = 1;
    static char arg0[] = "res_tests";
    static char* argv[] = {arg0, nullptr};
    static QGuiApplication* app = new QGuiApplication(argc, argv);
    return app;
}

class AppEnvironment : public ::testing::Environment {
public:
    void SetUp() override { App(); }
};
const auto* g_env = ::testing::AddGlobalTestEnvironment(new AppEnvironment);

const QString kModuleDir = QStringLiteral(MUB_BINARY_DIR "/res");

TEST(BuiltinStrings, HoldTheQuotedKoreanTexts)
{
    EXPECT_EQ(BuiltinString(1109), QStringLiteral("MUB Viewer"));
    EXPECT_EQ(BuiltinString(1115), QString::fromUtf8("종료 하시겠습니까?"));
    EXPECT_EQ(BuiltinString(1116), QString::fromUtf8("선택"));
    EXPECT_EQ(BuiltinString(1132),
              QString::fromUtf8("SD Card를 인식하지 못하였습니다.\n잠시 후 다시 시도해 주세요."));
    EXPECT_EQ(BuiltinString(1119),
              QString::fromUtf8("경로에 블랙박스 정보가 없습니다.\n확인 후 다시 한번 시도해 주세요."));
    EXPECT_EQ(BuiltinString(1165), QString::fromUtf8("사용안함(시동이 꺼지면 블랙박스를 종료합니다.)"));
    EXPECT_EQ(BuiltinString(1168),
              QString::fromUtf8("* 저전압 차단 OFF 시, 차량 배터리 방전의 위험이 있습니다."));
    EXPECT_EQ(BuiltinString(1206), QString::fromUtf8("자동 전원 종료"));
    EXPECT_TRUE(BuiltinString(1003).isEmpty());
    EXPECT_TRUE(BuiltinString(0).isEmpty());
    for (int id : BuiltinStringIds()) {
        EXPECT_GE(id, 1001);
        EXPECT_LE(id, 1206);
        EXPECT_FALSE(BuiltinString(id).isEmpty()) << id;
    }
}

TEST(BuiltinStrings, TimeZonesRunFromMinusTwelveToPlusTwelveSkipping1141)
{
    QStringList zones;
    for (int id = 1135; id <= 1160; ++id) {
        if (id != 1141) {
            zones << BuiltinString(id);
        }
    }
    ASSERT_EQ(zones.size(), 25);
    EXPECT_EQ(zones.front(), QStringLiteral("GMT -12:00"));
    EXPECT_EQ(zones[11], QStringLiteral("GMT -01:00"));
    EXPECT_EQ(zones[12], QStringLiteral("GMT  00:00"));
    EXPECT_EQ(zones[13], QStringLiteral("GMT +01:00"));
    EXPECT_EQ(zones.back(), QStringLiteral("GMT +12:00"));
}

TEST(LanguageChoice, PrimaryLanguageSelectsModuleAndSkinSet)
{
    EXPECT_EQ(LanguageModuleName(0x04), QStringLiteral("qvz_lang_zh.rcc"));
    EXPECT_EQ(LanguageModuleName(0x11), QStringLiteral("qvz_lang_jp.rcc"));
    EXPECT_EQ(LanguageModuleName(0x12), QStringLiteral("qvz_lang.rcc"));
    EXPECT_EQ(LanguageModuleName(0x09), QStringLiteral("qvz_lang_en.rcc"));
    EXPECT_EQ(LanguageModuleName(0x0C), QStringLiteral("qvz_lang_en.rcc"));
    EXPECT_EQ(LanguageModuleName(0x412), QStringLiteral("qvz_lang.rcc"));  // full id, masked

    EXPECT_EQ(SkinSetForLanguage(0x04), SkinSet::Chinese);
    EXPECT_EQ(SkinSetForLanguage(0x11), SkinSet::Japanese);
    EXPECT_EQ(SkinSetForLanguage(0x12), SkinSet::Default);
    EXPECT_EQ(SkinSetForLanguage(0x09), SkinSet::Default);  // English keeps the Korean-caption set
    EXPECT_EQ(SkinSetForLanguage(0x07), SkinSet::Default);

    EXPECT_EQ(PrimaryLanguageOf(QLocale(QStringLiteral("zh_CN"))), 0x04);
    EXPECT_EQ(PrimaryLanguageOf(QLocale(QStringLiteral("zh_TW"))), 0x04);
    EXPECT_EQ(PrimaryLanguageOf(QLocale(QStringLiteral("ja_JP"))), 0x11);
    EXPECT_EQ(PrimaryLanguageOf(QLocale(QStringLiteral("ko_KR"))), 0x12);
    EXPECT_EQ(PrimaryLanguageOf(QLocale(QStringLiteral("en_US"))), 0x09);
    EXPECT_EQ(PrimaryLanguageOf(QLocale(QStringLiteral("fr_FR"))), 0x0C);
    EXPECT_EQ(PrimaryLanguageOf(QLocale(QStringLiteral("de_DE"))), 0x07);
}

// Run in a child process with a chosen environment: prints the language seen.
TEST(LanguageChild, PrintPrimaryLanguage)
{
    if (qEnvironmentVariableIsEmpty("MUB_LANG_CHILD")) {
        GTEST_SKIP() << "helper for LanguageChoice.FollowsTheEnvironment";
    }
    std::printf("PRIMARY=%d\n", UserPrimaryLanguage());
}

int ChildPrimaryLanguage(const QStringList& env)
{
    QProcess child;
    QProcessEnvironment pe = QProcessEnvironment::systemEnvironment();
    for (const char* v : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        pe.remove(QString::fromLatin1(v));
    }
    for (const QString& kv : env) {
        pe.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
    }
    pe.insert(QStringLiteral("MUB_LANG_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(pe);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=LanguageChild.PrintPrimaryLanguage")});
    if (!child.waitForFinished(60000)) {
        return -1;
    }
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    const int at = out.indexOf(QStringLiteral("PRIMARY="));
    return at < 0 ? -1 : out.mid(at + 8).section(QLatin1Char('\n'), 0, 0).toInt();
}

TEST(LanguageChoice, FollowsTheEnvironment)
{
    EXPECT_EQ(ChildPrimaryLanguage({QStringLiteral("LANG=ja_JP.UTF-8")}), 0x11);
    EXPECT_EQ(ChildPrimaryLanguage({QStringLiteral("LANG=de_DE.UTF-8")}), 0x07);
    EXPECT_EQ(
        ChildPrimaryLanguage({QStringLiteral("LANG=en_US.UTF-8"), QStringLiteral("LC_ALL=zh_CN.UTF-8")}),
        0x04);
    EXPECT_EQ(ChildPrimaryLanguage({QStringLiteral("LANG=en_US.UTF-8"), QStringLiteral("LANGUAGE=ko_KR:en")}),
              0x12);
}

TEST(LanguageModules, EachLoadsAndOverridesTheBuiltinTable)
{
    struct Case {
        const char* file;
        const char* language;
        const char* quit;  // string 1115
    } const cases[] = {
        {"qvz_lang.rcc", "ko", "종료 하시겠습니까?"},
        {"qvz_lang_en.rcc", "en", "Do you want to quit?"},
        {"qvz_lang_zh.rcc", "zh", "确定要退出吗?"},
        {"qvz_lang_jp.rcc", "jp", "終了しますか?"},
    };
    for (const Case& c : cases) {
        CLangModule m;
        ASSERT_TRUE(m.Load(QString::fromLatin1(c.file), {kModuleDir})) << c.file;
        EXPECT_EQ(m.Language(), QString::fromLatin1(c.language));
        EXPECT_EQ(LocalizedString(&m, 1115), QString::fromUtf8(c.quit));
        // a full translation: every built-in id has a text of its own
        for (int id : BuiltinStringIds()) {
            EXPECT_FALSE(m.String(id).isEmpty()) << c.file << " " << id;
        }
    }
}

TEST(LanguageModules, CurrentModuleAndFallbacks)
{
    // no module: built-in texts
    UnloadLanguageModule();
    EXPECT_EQ(CurrentLanguageModule(), nullptr);
    EXPECT_EQ(LocalizedString(1116), QString::fromUtf8("선택"));

    ASSERT_TRUE(LoadLanguageModuleFile(kModuleDir + QStringLiteral("/qvz_lang_en.rcc")));
    EXPECT_EQ(LocalizedString(1116), QStringLiteral("Confirm"));
    EXPECT_EQ(LocalizedString(1003), QString());  // in neither table

    // a module that is not there leaves the built-in table in charge
    EXPECT_FALSE(LoadLanguageModuleFile(kModuleDir + QStringLiteral("/qvz_lang_xx.rcc")));
    EXPECT_EQ(CurrentLanguageModule(), nullptr);
    EXPECT_EQ(LocalizedString(1116), QString::fromUtf8("선택"));
    CLangModule missing;
    EXPECT_FALSE(
        missing.Load(QStringLiteral("qvz_lang_xx.rcc"), {kModuleDir, QStringLiteral("/nonexistent")}));
    EXPECT_FALSE(missing.IsLoaded());
    UnloadLanguageModule();
}

// Builds a module from a JSON text with the resource compiler.
QString BuildModule(const QTemporaryDir& dir, const QByteArray& json)
{
    QFile j(dir.filePath(QStringLiteral("strings.json")));
    if (!j.open(QIODevice::WriteOnly)) {
        return {};
    }
    j.write(json);
    j.close();
    QFile q(dir.filePath(QStringLiteral("m.qrc")));
    if (!q.open(QIODevice::WriteOnly)) {
        return {};
    }
    q.write("<RCC><qresource prefix=\"/\"><file>strings.json</file></qresource></RCC>\n");
    q.close();
    const QString out = dir.filePath(QStringLiteral("m.rcc"));
    QProcess rcc;
    rcc.setWorkingDirectory(dir.path());
    rcc.start(QStringLiteral(RCC_EXECUTABLE),
              {QStringLiteral("--binary"), QStringLiteral("-o"), out, q.fileName()});
    if (!rcc.waitForFinished(60000) || rcc.exitCode() != 0) {
        return {};
    }
    return out;
}

TEST(LanguageModules, MissingOrEmptyStringsFallBackToKorean)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = BuildModule(
        dir, R"({"language": "xx", "strings": {"1115": "", "1125": "Kind", "oops": "x", "1112": 7}})");
    ASSERT_FALSE(path.isEmpty());
    CLangModule m;
    ASSERT_TRUE(m.LoadFile(path));
    EXPECT_EQ(LocalizedString(&m, 1125), QStringLiteral("Kind"));
    EXPECT_EQ(LocalizedString(&m, 1115), QString::fromUtf8("종료 하시겠습니까?"));  // empty there
    EXPECT_EQ(LocalizedString(&m, 1116), QString::fromUtf8("선택"));                // missing there
    EXPECT_EQ(LocalizedString(&m, 1112), QString::fromUtf8("날짜"));                // not a string
    EXPECT_EQ(m.Count(), 2);
    m.Unload();
    EXPECT_EQ(LocalizedString(&m, 1125), QString::fromUtf8("종류"));
}

TEST(LanguageModules, ABrokenModuleIsRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString notJson = BuildModule(dir, "this is not a table");
    ASSERT_FALSE(notJson.isEmpty());
    CLangModule m;
    EXPECT_FALSE(m.LoadFile(notJson));
    EXPECT_FALSE(m.IsLoaded());

    QFile junk(dir.filePath(QStringLiteral("junk.rcc")));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("qres\0\0\0\3garbage", 16);
    junk.close();
    EXPECT_FALSE(m.LoadFile(junk.fileName()));
}

}  // namespace
