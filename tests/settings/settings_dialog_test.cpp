// SPDX-License-Identifier: GPL-3.0-or-later
// The settings dialog as a window: its template in every language, its handlers through
// real widgets, closing without saving, a failed save, and the main window opening it.
#include "controls/controlid.h"
#include "res/strings.h"
#include "settings/configfile.h"
#include "settings/settingdlg.h"
#include "tests/mublib/card_fixture.h"
#include "tests/settings/camera_file.h"
#include "viewer/mainwindow.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <filesystem>

using namespace settings;
using namespace settings_test;
namespace fs = std::filesystem;

namespace {

// The four language modules the build makes.
struct Language {
    const char* module;
    const char* name;
};
constexpr Language kLanguages[] = {
    {"qvz_lang.rcc", "ko"}, {"qvz_lang_en.rcc", "en"}, {"qvz_lang_zh.rcc", "zh"}, {"qvz_lang_jp.rcc", "jp"}};

class SettingDialog : public testing::Test {
protected:
    void SetUp() override { Put(path, kCamera); }
    void TearDown() override { SetConfigFaultHook(nullptr); }

    template <typename T>
    T* Ctl(CSettingDlg& dlg, int id)
    {
        auto* w = dynamic_cast<T*>(dlg.Control(id));
        EXPECT_NE(w, nullptr) << id;
        return w;
    }
    static void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(6, w->height() / 2)); }

    CTempDir dir;
    std::string path = dir.Path() + "/blackbox.cfg";
};

QString TextOf(const QWidget* w)
{
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
        return button->text();
    }
    if (const auto* group = qobject_cast<const QGroupBox*>(w)) {
        return group->title();
    }
    return {};
}

TEST_F(SettingDialog, EveryControlOfTheTemplateInEveryLanguageFits)
{
    for (const Language& lang : kLanguages) {
        SCOPED_TRACE(lang.name);
        CLangModule module;
        ASSERT_TRUE(module.LoadFile(QStringLiteral(MUB_BINARY_DIR "/res/") + lang.module));
        ASSERT_EQ(module.Language(), lang.name);
        CSettingDlg dlg(path, &module, nullptr, kNow);
        dlg.show();
        EXPECT_EQ(dlg.windowTitle(), LocalizedString(&module, 1107));
        EXPECT_EQ(dlg.size(), CSettingDlg::DluToPixels(0, 0, 687, 423).size());
        std::vector<std::pair<int, QRect>> shown;
        for (const TemplateControl& c : Template115()) {
            SCOPED_TRACE(c.id);
            QWidget* w = dlg.Control(c.id);
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(FindControl(&dlg, c.id), w);
            const QRect place = CSettingDlg::DluToPixels(c.x, c.y, c.w, c.h);
            if (c.kind == ControlKind::Bar) {
                EXPECT_EQ(w->geometry().topLeft(), place.topLeft());
            } else {
                EXPECT_EQ(w->geometry(), place);
            }
            EXPECT_TRUE(dlg.rect().contains(w->geometry()));
            const QString text = TextOf(w);
            if (c.textId != 0) {
                EXPECT_EQ(text, LocalizedString(&module, c.textId));
            }
            const QFontMetrics fm(w->font());
            switch (c.kind) {
                case ControlKind::Label:
                case ControlKind::Text:
                    EXPECT_LE(fm.horizontalAdvance(text), w->width()) << text.toStdString();
                    break;
                case ControlKind::Warning:
                    EXPECT_LE(fm.boundingRect(w->rect(), Qt::TextWordWrap, text).height(), w->height());
                    break;
                case ControlKind::Group: {
                    QFont bold = w->font();
                    bold.setBold(true);
                    EXPECT_LE(QFontMetrics(bold).horizontalAdvance(text) + 24, w->width())
                        << text.toStdString();
                    break;
                }
                case ControlKind::Radio:
                case ControlKind::Check:
                case ControlKind::Button:
                    if (!text.isEmpty()) {  // a box without text shows only its indicator
                        EXPECT_LE(w->sizeHint().width(), w->width()) << text.toStdString();
                    }
                    break;
                case ControlKind::List:
                    EXPECT_LE(w->sizeHint().width(), w->width());
                    break;
                default:
                    break;
            }
            if (c.kind != ControlKind::Group && w->isVisible()) {
                shown.emplace_back(c.id, w->geometry());
            }
        }
        for (size_t i = 0; i < shown.size(); ++i) {
            for (size_t j = i + 1; j < shown.size(); ++j) {
                EXPECT_FALSE(shown[i].second.intersects(shown[j].second))
                    << shown[i].first << " overlaps " << shown[j].first;
            }
        }
    }
}

TEST_F(SettingDialog, HandlersWorkThroughTheWidgets)
{
    CSettingDlg dlg(path, nullptr, nullptr, kNow);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));

    const QRect drivingBar = dlg.Control(IDC_BAR_DRIVING)->geometry();
    Click(dlg.Control(IDC_PRESET_C));
    EXPECT_TRUE(Ctl<QAbstractButton>(dlg, IDC_PRESET_C)->isChecked());
    EXPECT_FALSE(Ctl<QAbstractButton>(dlg, IDC_PRESET_A)->isChecked());
    const std::pair<int, const char*> shares[] = {{IDC_SHARE_DRIVING, "30%"},
                                                  {IDC_SHARE_EVENT, "40%"},
                                                  {IDC_SHARE_PARKING, "20%"},
                                                  {IDC_SHARE_MANUAL, "10%"}};
    for (const auto& [id, text] : shares) {
        EXPECT_EQ(Ctl<QLabel>(dlg, id)->text(), text);
    }
    const std::pair<int, int> bars[] = {
        {IDC_BAR_DRIVING, 120}, {IDC_BAR_EVENT, 160}, {IDC_BAR_PARKING, 80}, {IDC_BAR_MANUAL, 40}};
    for (const auto& [id, width] : bars) {
        EXPECT_EQ(dlg.Control(id)->width(), width) << id;
    }
    EXPECT_EQ(dlg.Control(IDC_BAR_DRIVING)->geometry().topLeft(), drivingBar.topLeft());
    EXPECT_EQ(dlg.Control(IDC_BAR_DRIVING)->height(), drivingBar.height());

    // The parking choice is a group of its own.
    Click(dlg.Control(IDC_PARK_TIMELAPSE));
    EXPECT_TRUE(Ctl<QAbstractButton>(dlg, IDC_PRESET_C)->isChecked());
    EXPECT_FALSE(Ctl<QAbstractButton>(dlg, IDC_PARK_MOTION)->isChecked());

    Click(dlg.Control(IDC_POWER_OFF_12H));
    for (int id :
         {IDC_POWER_OFF_NONE, IDC_POWER_OFF_6H, IDC_POWER_OFF_12H, IDC_POWER_OFF_24H, IDC_POWER_OFF_48H}) {
        EXPECT_EQ(Ctl<QAbstractButton>(dlg, id)->isChecked(), id == IDC_POWER_OFF_12H) << id;
    }
    Click(dlg.Control(IDC_MIC_IN_LABEL));  // the label works the box
    EXPECT_FALSE(Ctl<QAbstractButton>(dlg, IDC_MIC_IN)->isChecked());
    EXPECT_FALSE(dlg.Control(IDC_MIC_VOLUME)->isEnabled());

    auto* month = Ctl<QComboBox>(dlg, IDC_MONTH);
    EXPECT_FALSE(month->isEnabled());
    Click(dlg.Control(IDC_PC_TIME));
    EXPECT_TRUE(month->isEnabled());
    month->setFocus();
    QTest::keyClick(month, Qt::Key_Up);  // March to February of 2028
    EXPECT_EQ(month->currentText(), "2");
    EXPECT_EQ(Ctl<QComboBox>(dlg, IDC_DAY)->count(), 29);
    EXPECT_EQ(Ctl<QComboBox>(dlg, IDC_DAY)->currentText(), "1");

    auto* volume = Ctl<QSlider>(dlg, IDC_VOICE_VOLUME);
    EXPECT_EQ(volume->tickPosition(), QSlider::TicksBothSides);
    EXPECT_EQ(volume->maximum(), 3);
    volume->setFocus();
    QTest::keyClick(volume, Qt::Key_Left);
    EXPECT_EQ(dlg.Model().State(IDC_VOICE_VOLUME).position, 1);

    Click(dlg.Control(IDC_RESET));
    EXPECT_TRUE(Ctl<QAbstractButton>(dlg, IDC_PRESET_A)->isChecked());
    EXPECT_EQ(volume->value(), 2);
    EXPECT_FALSE(month->isEnabled());
    EXPECT_EQ(Ctl<QComboBox>(dlg, IDC_VOLTAGE)->currentText(), "12.0v/24.0v");
    EXPECT_EQ(Ctl<QComboBox>(dlg, IDC_SCREEN_OFF)->currentText(), LocalizedString(nullptr, 1171));
    EXPECT_EQ(Ctl<QComboBox>(dlg, IDC_TIME_ZONE)->currentText(), "GMT +09:00");
}

TEST_F(SettingDialog, EscAndTheCloseBoxWriteNothing)
{
    for (bool esc : {true, false}) {
        SCOPED_TRACE(esc ? "Esc" : "close box");
        CSettingDlg dlg(path, nullptr, nullptr, kNow);
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        Click(dlg.Control(IDC_PRESET_B));
        Click(dlg.Control(IDC_RESET));
        if (esc) {
            QTest::keyClick(&dlg, Qt::Key_Escape);
        } else {
            dlg.close();
        }
        EXPECT_FALSE(dlg.isVisible());
        EXPECT_EQ(dlg.result(), QDialog::Rejected);
        EXPECT_EQ(Bytes(path), kCamera);
    }
}

bool FailRename(ConfigWriteStep step)
{
    return step == ConfigWriteStep::Replace;
}

TEST_F(SettingDialog, AFailedSaveSaysSoAndStaysOpen)
{
    CSettingDlg dlg(path, nullptr, nullptr, kNow);
    QStringList messages;
    dlg.SetMessageBox([&](QWidget*, const QString& text, const QString&) { messages << text; });
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    Click(dlg.Control(IDC_PRESET_C));
    auto* save = Ctl<QPushButton>(dlg, IDC_SAVE);
    QTest::keyClick(&dlg, Qt::Key_Return);  // Enter is not a save
    EXPECT_TRUE(dlg.isVisible());

    SetConfigFaultHook(FailRename);
    Click(save);
    EXPECT_EQ(messages, QStringList{LocalizedString(nullptr, CSettingDlg::kNotSavedTextId)});
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Bytes(path), kCamera);

    SetConfigFaultHook(nullptr);
    Click(save);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_NE(Bytes(path).find("const=30\nevent=40\nmanual=10\npark=20\n"), std::string::npos);
}

TEST(MainWindowSettings, F3AndTheSettingsButtonOpenTheDialog)
{
    CTempDir dir;
    const std::string card = dir.Path() + "/card";
    MakeCardLayout(card);
    fs::create_directories(card + "/SETTING");
    CSamplePlayerDlg::Options options;
    options.cardFolder = card;
    options.configFolder = dir.Path() + "/config";
    QStringList messages;
    options.messageBox = [&](QWidget*, const QString& text, const QString&, int) {
        messages << text;
        return static_cast<int>(QMessageBox::Ok);
    };
    CSamplePlayerDlg main(options);
    main.OnInitDialog();
    main.show();

    // Closes the dialog the main window runs, noting the file it opened.
    QStringList opened;
    QTimer closer;
    closer.setInterval(20);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* dlg = qobject_cast<CSettingDlg*>(QApplication::activeModalWidget())) {
            closer.stop();
            opened << QString::fromStdString(dlg->Model().Path());
            QTest::keyClick(dlg, Qt::Key_Escape);
        }
    });
    auto closeWhenShown = [&] { closer.start(); };
    const QString file = QString::fromStdString(card + "/SETTING/blackbox.cfg");

    closeWhenShown();
    QTest::keyClick(&main, Qt::Key_F3);
    EXPECT_EQ(opened, QStringList{file});
    EXPECT_TRUE(fs::exists(file.toStdString())) << "the factory file was not made";

    closeWhenShown();
    static_cast<QAbstractButton*>(main.Control(IDC_SETTINGS))->click();
    EXPECT_EQ(opened, (QStringList{file, file}));
    EXPECT_TRUE(messages.isEmpty());

    fs::remove_all(card + "/SETTING");
    QTest::keyClick(&main, Qt::Key_F3);
    EXPECT_EQ(opened.size(), 2);
    EXPECT_EQ(messages, QStringList{LocalizedString(1119)});
}

}  // namespace
