// SPDX-License-Identifier: GPL-3.0-or-later
// The camera's configuration file through the settings model, on real files: what a file
// shows, what a save writes (whole files compared byte for byte), line-end handling,
// saves that fail part-way, odd files, and finding the file on a card.
#include "mublib/mublib.h"
#include "platform/profile.h"
#include "settings/configfile.h"
#include "settings/devicefile.h"
#include "settings/settingmodel.h"
#include "tests/mublib/card_fixture.h"
#include "tests/settings/camera_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

using namespace settings;
using namespace settings_test;
namespace fs = std::filesystem;

namespace {

// Whole lines of kCamera replaced: {old line, new text}; an empty new text drops the line.
using Edits = std::vector<std::pair<std::string, std::string>>;

std::string Edited(std::string text, const Edits& edits)
{
    for (const auto& [from, to] : edits) {
        const std::string line = from + "\n";
        size_t at = text.find(line);
        while (at != 0 && at != std::string::npos && text[at - 1] != '\n') {
            at = text.find(line, at + 1);
        }
        if (at == std::string::npos) {
            ADD_FAILURE() << "no line " << from;
            continue;
        }
        text.replace(at, line.size(), to.empty() ? "" : to + "\n");
    }
    return text;
}

std::string Label(int id)
{
    return "s" + std::to_string(id);
}

class SettingsFile : public testing::Test {
protected:
    void TearDown() override
    {
        SetConfigFaultHook(nullptr);
        SetProfileFaultHook(nullptr);
    }

    CSettingModel Open(const std::string& text, LocalTime now = kNow)
    {
        Put(path, text);
        CSettingModel model(path, now, Label);
        model.Initialise();
        return model;
    }
    bool TempLeft() const { return fs::exists(path + ".temp"); }

    CTempDir dir;
    std::string path = dir.Path() + "/blackbox.cfg";
};

// ---- what a file shows

enum class Shows { Checked, Enabled, Entry, Position, Text };
struct Expect {
    int id;
    Shows what;
    int value;
    const char* text = "";
};
struct LoadCase {
    const char* name;
    Edits file;
    std::vector<Expect> expect;
};

TEST_F(SettingsFile, ShowsWhatTheFileHolds)
{
    const LoadCase cases[] = {
        {"const 40 is preset A",
         {},
         {{IDC_PRESET_A, Shows::Checked, 1}, {IDC_SHARE_DRIVING, Shows::Text, 0, "40%"}}},
        {"const 0 is preset A", {{"const=40", "const=0"}}, {{IDC_PRESET_A, Shows::Checked, 1}}},
        {"const missing is preset A", {{"const=40", ""}}, {{IDC_PRESET_A, Shows::Checked, 1}}},
        {"const 60 is preset B", {{"const=40", "const=60"}}, {{IDC_PRESET_B, Shows::Checked, 1}}},
        {"const 30 is preset C",
         {{"const=40", "const=30"}},
         {{IDC_PRESET_C, Shows::Checked, 1}, {IDC_PRESET_A, Shows::Checked, 0}}},
        {"voltage missing is 12.2", {{"power_off_vlt=12200", ""}}, {{IDC_VOLTAGE, Shows::Entry, 3}}},
        {"voltage 0 is OFF", {{"power_off_vlt=12200", "power_off_vlt=0"}}, {{IDC_VOLTAGE, Shows::Entry, 0}}},
        {"voltage 11900 is entry 1",
         {{"power_off_vlt=12200", "power_off_vlt=11900"}},
         {{IDC_VOLTAGE, Shows::Entry, 1}}},
        {"voltage 11000 is no entry",
         {{"power_off_vlt=12200", "power_off_vlt=11000"}},
         {{IDC_VOLTAGE, Shows::Entry, -1}}},
        {"voltage -2147483648 is no entry",
         {{"power_off_vlt=12200", "power_off_vlt=-2147483648"}},
         {{IDC_VOLTAGE, Shows::Entry, -1}}},
        {"local time 9 is GMT +09", {}, {{IDC_TIME_ZONE, Shows::Entry, 21}}},
        {"local time 5.5 is GMT 00",
         {{"local_time=9.0000", "local_time=5.5"}},
         {{IDC_TIME_ZONE, Shows::Entry, 12}}},
        {"local time 13 is GMT 00",
         {{"local_time=9.0000", "local_time=13"}},
         {{IDC_TIME_ZONE, Shows::Entry, 12}}},
        {"local time -3 is GMT -03",
         {{"local_time=9.0000", "local_time=-3.0000"}},
         {{IDC_TIME_ZONE, Shows::Entry, 9}}},
        {"local time 1e1 reads as 1",
         {{"local_time=9.0000", "local_time=1e1"}},
         {{IDC_TIME_ZONE, Shows::Entry, 13}}},
        {"levels: acc 3 middle, mic 0 top, voice 1 bottom, motion 4 top",
         {{"mic_volume=3", "mic_volume=0"},
          {"voice_volume=3", "voice_volume=1"},
          {"motion_level=3", "motion_level=4"}},
         {{IDC_ACC_LEVEL, Shows::Position, 2},
          {IDC_MIC_VOLUME, Shows::Position, 3},
          {IDC_VOICE_VOLUME, Shows::Position, 1},
          {IDC_MOTION_LEVEL, Shows::Position, 3}}},
        {"acc 2 is the bottom", {{"acc_level=3", "acc_level=2"}}, {{IDC_ACC_LEVEL, Shows::Position, 1}}},
        {"acc 7 middle", {{"acc_level=3", "acc_level=7"}}, {{IDC_ACC_LEVEL, Shows::Position, 2}}},
        {"lane sliders keep within 1 to 5",
         {{"ldws_left=3", "ldws_left=0"}, {"ldws_right=3", "ldws_right=9"}},
         {{IDC_LDWS_LEFT, Shows::Position, 1}, {IDC_LDWS_RIGHT, Shows::Position, 5}}},
        {"mic off disables its volume", {{"mic_in=1", "mic_in=0"}}, {{IDC_MIC_VOLUME, Shows::Enabled, 0}}},
        {"only exactly 1 turns the assistants on",
         {{"use_ldws=0", "use_ldws=2"}, {"use_fvsa=0", "use_fvsa=1"}, {"use_tlds=0", "use_tlds=2"}},
         {{IDC_LDWS, Shows::Checked, 0}, {IDC_FVSA, Shows::Checked, 1}, {IDC_TLDS, Shows::Checked, 1}}},
        {"def_language us disables and clears 612 and 614",
         {{"def_language=kr", "def_language=us"},
          {"safe_drive=0", "safe_drive=1"},
          {"use_tlds=0", "use_tlds=1"}},
         {{IDC_SAFE_DRIVE, Shows::Checked, 0},
          {IDC_SAFE_DRIVE, Shows::Enabled, 0},
          {IDC_SAFE_DRIVE_LABEL, Shows::Enabled, 0},
          {IDC_TLDS, Shows::Checked, 0},
          {IDC_TLDS, Shows::Enabled, 0},
          {IDC_TLDS_LABEL, Shows::Enabled, 0}}},
        {"def_language KR is not kr",
         {{"def_language=kr", "def_language=KR"}},
         {{IDC_TLDS, Shows::Enabled, 0}}},
        {"def_language kr keeps 612 on",
         {{"safe_drive=0", "safe_drive=1"}},
         {{IDC_SAFE_DRIVE, Shows::Checked, 1}, {IDC_SAFE_DRIVE, Shows::Enabled, 1}}},
        {"model zx-510 is shown as ZY-510",
         {{"model=V4", "model=zx-510"}},
         {{IDC_MODEL, Shows::Text, 0, "ZY-510"}}},
        {"model V4 offers the power-off hours",
         {},
         {{IDC_POWER_OFF_24H, Shows::Checked, 1}, {IDC_POWER_OFF_6H, Shows::Enabled, 1}}},
        {"another model forces power-off Off",
         {{"model=V4", "model=V4_X"}},
         {{IDC_POWER_OFF_NONE, Shows::Checked, 1},
          {IDC_POWER_OFF_24H, Shows::Checked, 0},
          {IDC_POWER_OFF_NONE, Shows::Enabled, 0},
          {IDC_POWER_OFF_48H, Shows::Enabled, 0}}},
        {"versions",
         {},
         {{IDC_FIRMWARE, Shows::Text, 0, "1.0.0"}, {IDC_VIEWER_VERSION, Shows::Text, 0, "3.0.17"}}},
        {"odd park mode and speed unit choose nothing",
         {{"park_mode=1", "park_mode=7"}, {"osd_speed=1", "osd_speed=3"}},
         {{IDC_PARK_MOTION, Shows::Checked, 0},
          {IDC_PARK_TIMELAPSE, Shows::Checked, 0},
          {IDC_PARK_NONE, Shows::Checked, 0},
          {IDC_SPEED_KMH, Shows::Checked, 0},
          {IDC_SPEED_MPH, Shows::Checked, 0}}},
        {"screen-off missing is no entry, clock screen 30 on",
         {{"lcdoff_time_s=60", ""}, {"lcd_time_s=0", "lcd_time_s=30"}},
         {{IDC_SCREEN_OFF, Shows::Entry, -1}, {IDC_CLOCK_SCREEN, Shows::Checked, 1}}},
        {"the PC clock fills the date and time lists, disabled",
         {},
         {{IDC_YEAR, Shows::Entry, 2028 - 2015},
          {IDC_MONTH, Shows::Entry, 2},
          {IDC_DAY, Shows::Entry, 9},
          {IDC_HOUR, Shows::Entry, 12},
          {IDC_MINUTE, Shows::Entry, 45},
          {IDC_SECOND, Shows::Entry, 30},
          {IDC_PC_TIME, Shows::Checked, 0},
          {IDC_YEAR, Shows::Enabled, 0},
          {IDC_SECOND, Shows::Enabled, 0}}},
    };
    for (const LoadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CSettingModel model = Open(Edited(kCamera, c.file));
        for (const Expect& e : c.expect) {
            const ControlState& s = model.State(e.id);
            SCOPED_TRACE(e.id);
            switch (e.what) {
                case Shows::Checked:
                    EXPECT_EQ(s.checked, e.value != 0);
                    break;
                case Shows::Enabled:
                    EXPECT_EQ(s.enabled, e.value != 0);
                    break;
                case Shows::Entry:
                    EXPECT_EQ(s.selection, e.value);
                    break;
                case Shows::Position:
                    EXPECT_EQ(s.position, e.value);
                    break;
                case Shows::Text:
                    EXPECT_EQ(s.text, e.text);
                    break;
            }
        }
    }
}

TEST_F(SettingsFile, ListsHoldTheirEntries)
{
    const CSettingModel model = Open(kCamera);
    EXPECT_EQ(model.State(IDC_YEAR).items.front(), "2015");
    EXPECT_EQ(model.State(IDC_YEAR).items.back(), "2029");  // the PC's year and the next
    EXPECT_EQ(model.State(IDC_HOUR).items.size(), 24u);
    EXPECT_EQ(model.State(IDC_HOUR).items.front(), "1");
    EXPECT_EQ(model.State(IDC_MINUTE).items.back(), "59");
    EXPECT_EQ(model.State(IDC_DAY).items.size(), 31u);  // March
    EXPECT_EQ(model.State(IDC_VOLTAGE).items,
              (std::vector<std::string>{"OFF", "11.8v/23.6v", "12.0v/24.0v", "12.2v/24.4v"}));
    const std::vector<std::string>& zones = model.State(IDC_TIME_ZONE).items;
    ASSERT_EQ(zones.size(), 25u);
    EXPECT_EQ(zones[0], "s1135");
    EXPECT_EQ(zones[5], "s1140");
    EXPECT_EQ(zones[6], "s1142");  // 1141 is no entry
    EXPECT_EQ(zones[24], "s1160");
    EXPECT_EQ(model.State(IDC_SCREEN_OFF).items, (std::vector<std::string>{"ON", "s1171", "s1172", "s1173"}));
    EXPECT_EQ(model.TimeZones().Lookup(-12.0f), 0);
    EXPECT_EQ(model.TimeZones().Lookup(12.0f), 24);
    EXPECT_EQ(model.TimeZones().Lookup(0.5f), -1);
    EXPECT_EQ(model.TimeZones().OffsetOf(9), -3.0f);
    EXPECT_EQ(model.TimeZones().OffsetOf(25), 0.0f);
}

// ---- the dialog's handlers on the model

TEST_F(SettingsFile, HandlersChangeTheControls)
{
    CSettingModel model = Open(kCamera);
    model.Click(IDC_PRESET_C);
    EXPECT_TRUE(model.State(IDC_PRESET_C).checked);
    EXPECT_FALSE(model.State(IDC_PRESET_A).checked);
    const std::pair<int, const char*> shares[] = {{IDC_SHARE_DRIVING, "30%"},
                                                  {IDC_SHARE_EVENT, "40%"},
                                                  {IDC_SHARE_PARKING, "20%"},
                                                  {IDC_SHARE_MANUAL, "10%"}};
    for (const auto& [id, text] : shares) {
        EXPECT_EQ(model.State(id).text, text);
    }
    EXPECT_EQ(model.State(IDC_BAR_DRIVING).widthPx, 120);
    EXPECT_EQ(model.State(IDC_BAR_EVENT).widthPx, 160);
    EXPECT_EQ(model.State(IDC_BAR_PARKING).widthPx, 80);
    EXPECT_EQ(model.State(IDC_BAR_MANUAL).widthPx, 40);

    model.Click(IDC_POWER_OFF_12H);
    for (int id :
         {IDC_POWER_OFF_NONE, IDC_POWER_OFF_6H, IDC_POWER_OFF_12H, IDC_POWER_OFF_24H, IDC_POWER_OFF_48H}) {
        EXPECT_EQ(model.State(id).checked, id == IDC_POWER_OFF_12H) << id;
    }
    model.Click(IDC_POWER_OFF_12H);  // a second click keeps the choice
    EXPECT_TRUE(model.State(IDC_POWER_OFF_12H).checked);

    model.Click(IDC_SPEED_MPH);
    EXPECT_TRUE(model.State(IDC_SPEED_MPH).checked);
    EXPECT_FALSE(model.State(IDC_SPEED_KMH).checked);

    model.Click(IDC_MIC_IN);
    EXPECT_FALSE(model.State(IDC_MIC_VOLUME).enabled);

    // February of a leap year: 29 days, the first selected; March again: 31.
    model.Select(IDC_MONTH, 1);  // disabled until PC time is checked
    EXPECT_EQ(model.State(IDC_MONTH).selection, 2);
    model.Click(IDC_PC_TIME);
    EXPECT_TRUE(model.State(IDC_MONTH).enabled);
    model.Select(IDC_DAY, 14);
    model.Select(IDC_MONTH, 1);
    EXPECT_EQ(model.State(IDC_DAY).items.size(), 29u);
    EXPECT_EQ(model.State(IDC_DAY).selection, 0);
    model.Select(IDC_DAY, 14);
    model.Select(IDC_MONTH, 0);  // 31 days again
    EXPECT_EQ(model.State(IDC_DAY).items.size(), 31u);
    model.Select(IDC_DAY, 14);
    model.Select(IDC_MONTH, 4);  // May: the same count leaves the day alone
    EXPECT_EQ(model.State(IDC_DAY).selection, 14);
    model.Select(IDC_MONTH, 1);
    model.Select(IDC_YEAR, 2027 - 2015);  // February of 2027 has 28
    EXPECT_EQ(model.State(IDC_DAY).items.size(), 28u);

    model.Click(IDC_RESET);
    EXPECT_TRUE(model.State(IDC_PRESET_A).checked);
    EXPECT_EQ(model.State(IDC_VOLTAGE).selection, 2);
    EXPECT_FALSE(model.State(IDC_PC_TIME).checked);
    EXPECT_FALSE(model.State(IDC_MONTH).enabled);
    EXPECT_EQ(model.State(IDC_MONTH).selection, 2);
    EXPECT_EQ(model.State(IDC_SCREEN_OFF).selection, 1);
    EXPECT_EQ(model.State(IDC_TIME_ZONE).selection, 21);  // def_local_time 9
}

// ---- what a save writes

enum class Do { Click, Select, Move };
struct Action {
    Do what;
    int id;
    int value = 0;
};
struct SaveCase {
    const char* name;
    Edits given;  // the file before, from kCamera
    std::vector<Action> actions;
    Edits written;  // the file after, from the file before
    LocalTime now = kNow;
};

TEST_F(SettingsFile, SavesExactlyWhatChanged)
{
    const SaveCase cases[] = {
        {"nothing changed", {}, {}, {}},
        {"preset C",
         {},
         {{Do::Click, IDC_PRESET_C}},
         {{"const=40", "const=30"}, {"event=20", "event=40"}, {"park=30", "park=20"}}},
        {"preset B", {}, {{Do::Click, IDC_PRESET_B}}, {{"const=40", "const=60"}, {"park=30", "park=10"}}},
        {"def_language us saves both assistants off",
         {{"def_language=kr", "def_language=us"},
          {"safe_drive=0", "safe_drive=1"},
          {"use_tlds=0", "use_tlds=1"}},
         {{Do::Click, IDC_SAFE_DRIVE}, {Do::Click, IDC_TLDS}},
         {{"safe_drive=1", "safe_drive=0"}, {"use_tlds=1", "use_tlds=0"}}},
        {"12H", {}, {{Do::Click, IDC_POWER_OFF_12H}}, {{"power_off_hour=24", "power_off_hour=12"}}},
        {"another model saves power-off 0",
         {{"model=V4", "model=V4_X"}},
         {},
         {{"power_off_hour=24", "power_off_hour=0"}}},
        {"V4_P keeps its hours", {{"model=V4", "model=V4_P"}}, {}, {}},
        {"PC time off writes only set 0",
         {{"set=0", "set=1"}, {"year=2024", "year=2020"}},
         {},
         {{"set=1", "set=0"}}},
        {"PC time on writes the six lists",
         {},
         {{Do::Click, IDC_PC_TIME}},
         {{"set=0", "set=1"},
          {"year=2024", "year=2028"},
          {"month=1", "month=3"},
          {"day=1", "day=10"},
          {"hour=12", "hour=13"},
          {"min=0", "min=45"},
          {"sec=0", "sec=30"}}},
        {"29 February 2028",
         {},
         {{Do::Click, IDC_PC_TIME}, {Do::Select, IDC_MONTH, 1}, {Do::Select, IDC_DAY, 28}},
         {{"set=0", "set=1"},
          {"year=2024", "year=2028"},
          {"month=1", "month=2"},
          {"day=1", "day=29"},
          {"hour=12", "hour=13"},
          {"min=0", "min=45"},
          {"sec=0", "sec=30"}}},
        {"at midnight the hour list has no entry and writes 0",
         {},
         {{Do::Click, IDC_PC_TIME}},
         {{"set=0", "set=1"},
          {"year=2024", "year=2028"},
          {"month=1", "month=3"},
          {"day=1", "day=10"},
          {"hour=12", "hour=0"},
          {"min=0", "min=5"},
          {"sec=0", "sec=6"}},
         {2028, 3, 10, 0, 5, 6}},
        {"11900 is saved as the entry it shows",
         {{"power_off_vlt=12200", "power_off_vlt=11900"}},
         {},
         {{"power_off_vlt=11900", "power_off_vlt=11800"}}},
        {"a voltage no entry shows stays", {{"power_off_vlt=12200", "power_off_vlt=9000"}}, {}, {}},
        {"OFF saves 0", {}, {{Do::Select, IDC_VOLTAGE, 0}}, {{"power_off_vlt=12200", "power_off_vlt=0"}}},
        {"12.0v saves 12000",
         {},
         {{Do::Select, IDC_VOLTAGE, 2}},
         {{"power_off_vlt=12200", "power_off_vlt=12000"}}},
        {"5.5 saves GMT 00:00",
         {{"local_time=9.0000", "local_time=5.5"}},
         {},
         {{"local_time=5.5", "local_time=0.0000"}}},
        {"GMT -03:00 saves -3.0000",
         {},
         {{Do::Select, IDC_TIME_ZONE, 9}},
         {{"local_time=9.0000", "local_time=-3.0000"}}},
        {"levels fall back and are written as shown",
         {{"acc_level=3", "acc_level=7"}, {"mic_volume=3", "mic_volume=0"}},
         {},
         {{"acc_level=7", "acc_level=3"}, {"mic_volume=0", "mic_volume=5"}}},
        {"sliders",
         {},
         {{Do::Move, IDC_VOICE_VOLUME, 1}, {Do::Move, IDC_ACC_LEVEL, 3}, {Do::Move, IDC_LDWS_LEFT, 5}},
         {{"voice_volume=3", "voice_volume=1"},
          {"acc_level=3", "acc_level=4"},
          {"ldws_left=3", "ldws_left=5"}}},
        {"check boxes, speed unit, clock screen and parking",
         {},
         {{Do::Click, IDC_USE_TICK},
          {Do::Click, IDC_SPEED_MPH},
          {Do::Click, IDC_CLOCK_SCREEN},
          {Do::Click, IDC_PARK_NONE},
          {Do::Select, IDC_SCREEN_OFF, 3}},
         {{"use_tick=1", "use_tick=0"},
          {"osd_speed=1", "osd_speed=2"},
          {"lcd_time_s=0", "lcd_time_s=30"},
          {"park_mode=1", "park_mode=0"},
          {"lcdoff_time_s=60", "lcdoff_time_s=300"}}},
        {"odd park mode and screen-off are left as they are",
         {{"park_mode=1", "park_mode=7"}, {"lcdoff_time_s=60", "lcdoff_time_s=1"}},
         {},
         {}},
        {"reset",
         {},
         {{Do::Click, IDC_PRESET_C}, {Do::Click, IDC_RESET}},
         {{"power_off_vlt=12200", "power_off_vlt=12000"},
          {"adas_alarm=0", "adas_alarm=1"},
          {"safe_drive=0", "safe_drive=1"},
          {"power_off_hour=24", "power_off_hour=0"}}},
        {"reset on a camera without the assistant keeps it off",
         {{"def_language=kr", "def_language=us"}},
         {{Do::Click, IDC_RESET}},
         {{"language=kr", "language=us"},
          {"power_off_vlt=12200", "power_off_vlt=12000"},
          {"adas_alarm=0", "adas_alarm=1"},
          {"power_off_hour=24", "power_off_hour=0"}}},
        {"a language longer than its buffer passes through whole",
         {{"language=kr", "language=english"}},
         {},
         {}},
        {"a missing key is added at the end of its section",
         {{"power_off_vlt=12200", ""}, {"mub_update=1", "mub_update=0"}},
         {},
         {{"mub_update=0", "mub_update=1"}, {"park_mode=1", "park_mode=1\npower_off_vlt=12200"}}},
    };
    for (const SaveCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string before = Edited(kCamera, c.given);
        CSettingModel model = Open(before, c.now);
        for (const Action& a : c.actions) {
            switch (a.what) {
                case Do::Click:
                    model.Click(a.id);
                    break;
                case Do::Select:
                    model.Select(a.id, a.value);
                    break;
                case Do::Move:
                    model.SetPosition(a.id, a.value);
                    break;
            }
        }
        ASSERT_EQ(model.SaveDeviceSettings(), SaveResult::Saved);
        EXPECT_EQ(Bytes(path), Edited(before, c.written));
        EXPECT_FALSE(TempLeft());
    }
}

TEST_F(SettingsFile, AnEmptyFileGetsEveryKeyInWriteOrder)
{
    CSettingModel model = Open("");
    ASSERT_EQ(model.SaveDeviceSettings(), SaveResult::Saved);
    EXPECT_EQ(
        Bytes(path),
        "[capacity]\nconst=40\nevent=20\nmanual=10\npark=30\n"
        "[blackbox]\nlcd_time_s=0\nmub_update=1\nlanguage=us\nmic_volume=5\nvoice_volume=5\nacc_level=3\n"
        "motion_level=5\nuse_ldws=0\nuse_fvsa=0\nsafe_drive=0\nadas_alarm=0\nuse_tlds=0\nldws_left=1\n"
        "ldws_right=1\nmic_in=0\nvoice_out=0\nuse_tick=1\npower_off_vlt=12200\nsummer_time=0\nosd_speed=1\n"
        "power_off_hour=0\npark_mode=1\nlocal_time=0.0000\n"
        "[time]\nset=0\n");
}

TEST_F(SettingsFile, ACameraFileInCrLfComesBackInLfWithEveryUnknownKey)
{
    CSettingModel model = Open(
        "\r\n"
        "; written by the camera\r\n"
        "[capacity]\r\n"
        "const=60\r\n"
        "event=20\r\n"
        "\r\n"
        "manual=10\r\n"
        "park=10\r\n"
        "reserve=5\r\n"
        "[blackbox]\r\n"
        "mub_update=0\r\n"
        "language=kr\r\n"
        "def_language=kr\r\n"
        "wifi_ssid = CAR-1234 \r\n"
        "model=V4\r\n"
        "power_off_vlt=12000\r\n"
        "\r\n"
        "\r\n"
        "[gps]\r\n"
        "speed_cam=1\r\n"
        "Use_Tick=0\r\r\n"
        "[time]\r\n"
        "set=1\r\n"
        "year=2019\r\n"
        "zone=KST\r\n"
        "\r\n");
    model.Click(IDC_PRESET_C);
    ASSERT_EQ(model.SaveDeviceSettings(), SaveResult::Saved);
    EXPECT_EQ(Bytes(path),
              "\n"
              "; written by the camera\n"
              "[capacity]\n"
              "const=30\n"
              "event=40\n"
              "manual=10\n"
              "park=20\n"
              "reserve=5\n"
              "[blackbox]\n"
              "mub_update=1\n"
              "language=kr\n"
              "def_language=kr\n"
              "wifi_ssid = CAR-1234 \n"
              "model=V4\n"
              "power_off_vlt=12000\n"
              "lcd_time_s=0\n"
              "mic_volume=5\n"
              "voice_volume=5\n"
              "acc_level=3\n"
              "motion_level=5\n"
              "use_ldws=0\n"
              "use_fvsa=0\n"
              "safe_drive=0\n"
              "adas_alarm=0\n"
              "use_tlds=0\n"
              "ldws_left=1\n"
              "ldws_right=1\n"
              "mic_in=0\n"
              "voice_out=0\n"
              "use_tick=1\n"
              "summer_time=0\n"
              "osd_speed=1\n"
              "power_off_hour=0\n"
              "park_mode=1\n"
              "local_time=0.0000\n"
              "[gps]\n"
              "speed_cam=1\n"
              "Use_Tick=0\n"
              "[time]\n"
              "set=0\n"
              "year=2019\n"
              "zone=KST\n");
}

TEST(ConfigText, NormalisesLineEnds)
{
    const std::pair<const char*, const char*> cases[] = {
        {"", ""},
        {"a=1", "a=1"},
        {"a=1\r\nb=2\r\n", "a=1\nb=2\n"},
        {"a=1\rb=2\r", "a=1\nb=2\n"},
        {"a=1\n\n\r\n\rb=2\n", "a=1\nb=2\n"},
        {"\r\n\r\n[s]\r\n", "\n[s]\n"},
        {"\n", "\n"},
        {"a\tb \n", "a\tb \n"},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(NormalizeConfigText(in), out) << in;
    }
}

TEST(ConfigText, ParsesLikeTheCamera)
{
    const std::pair<const char*, int> ints[] = {{"", 0},
                                                {"12", 12},
                                                {" -7x", -7},
                                                {"+3", 3},
                                                {"abc", 0},
                                                {"3.9", 3},
                                                {"99999999999", 2147483647},
                                                {"-99999999999", -2147483647 - 1}};
    for (const auto& [in, out] : ints) {
        EXPECT_EQ(ParseConfigInt(in), out) << in;
    }
    const std::pair<const char*, double> reals[] = {{"", 0},     {"9.0000", 9}, {"-3", -3}, {" 5.5x", 5.5},
                                                    {".5", 0.5}, {"x1", 0},     {"1e3", 1}, {"nan", 0},
                                                    {"-.", 0},   {"12.", 12}};
    for (const auto& [in, out] : reals) {
        EXPECT_EQ(ParseConfigReal(in), out) << in;
    }
    EXPECT_EQ(FormatConfigOffset(9), "9.0000");
    EXPECT_EQ(FormatConfigOffset(-3), "-3.0000");
    EXPECT_EQ(FormatConfigOffset(0), "0.0000");
}

// ---- saves that fail part-way

ConfigWriteStep g_failAt;
bool FailAt(ConfigWriteStep step)
{
    return step == g_failAt;
}
bool FailProfileWrite(ProfileWriteStep step)
{
    return step == ProfileWriteStep::WriteTemp;
}

TEST_F(SettingsFile, AFailedSaveLeavesTheOriginal)
{
    const std::string original = Edited(kCamera, {{"const=40", "const=60"}});
    struct Case {
        const char* name;
        ConfigFaultHook configFault;
        ConfigWriteStep step;
        ProfileFaultHook profileFault;
    };
    const Case cases[] = {
        {"writing the temporary file", FailAt, ConfigWriteStep::WriteTemp, nullptr},
        {"flushing it to the card", FailAt, ConfigWriteStep::SyncTemp, nullptr},
        {"renaming it over the original", FailAt, ConfigWriteStep::Replace, nullptr},
        {"a key of the working copy", nullptr, ConfigWriteStep::WriteTemp, FailProfileWrite},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSettingModel model = Open(original);
        model.Click(IDC_PRESET_C);
        g_failAt = c.step;
        SetConfigFaultHook(c.configFault);
        SetProfileFaultHook(c.profileFault);
        EXPECT_EQ(model.SaveDeviceSettings(), SaveResult::NotSaved);
        if (c.configFault != nullptr) {
            EXPECT_FALSE(NormalizeConfigFile(path));
        }
        EXPECT_EQ(Bytes(path), original);
        EXPECT_FALSE(TempLeft());
        SetConfigFaultHook(nullptr);
        SetProfileFaultHook(nullptr);
        EXPECT_EQ(model.SaveDeviceSettings(), SaveResult::Saved);  // the same save, once the card takes it
        EXPECT_NE(Bytes(path).find("const=30\n"), std::string::npos);
    }
}

TEST_F(SettingsFile, AFileGoneBeforeTheSaveIsNotMadeAgain)
{
    CSettingModel model = Open(kCamera);
    fs::remove(path);
    EXPECT_EQ(model.SaveDeviceSettings(), SaveResult::NotSaved);
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(SettingsFile, NormalisesInPlace)
{
    Put(path, "[a]\r\nk=1\r\n\r\n");
    ASSERT_TRUE(NormalizeConfigFile(path));
    EXPECT_EQ(Bytes(path), "[a]\nk=1\n");
    EXPECT_FALSE(TempLeft());
    EXPECT_FALSE(NormalizeConfigFile(dir.Path() + "/missing.cfg"));
    EXPECT_FALSE(fs::exists(dir.Path() + "/missing.cfg"));
}

// ---- odd files: the dialog opens with defaults and a save keeps every line it did not write

bool KeepsInOrder(const std::string& saved, const std::string& original)
{
    // Lines of keys the save writes may change; every other line must come back in order.
    const char* const written[] = {
        "const=",         "event=",         "manual=",      "park=",         "lcd_time_s=",
        "mub_update=",    "language=",      "mic_volume=",  "voice_volume=", "acc_level=",
        "motion_level=",  "use_ldws=",      "use_fvsa=",    "safe_drive=",   "adas_alarm=",
        "use_tlds=",      "ldws_left=",     "ldws_right=",  "mic_in=",       "voice_out=",
        "use_tick=",      "power_off_vlt=", "summer_time=", "osd_speed=",    "power_off_hour=",
        "lcdoff_time_s=", "park_mode=",     "local_time=",  "set="};
    const std::string normal = NormalizeConfigText(original);
    size_t from = 0;
    size_t start = 0;
    while (start < normal.size()) {
        size_t end = normal.find('\n', start);
        end = end == std::string::npos ? normal.size() : end;
        const std::string line = normal.substr(start, end - start);
        start = end + 1;
        bool ours = false;
        for (const char* key : written) {
            ours = ours || line.rfind(key, 0) == 0;
        }
        if (ours || line.empty()) {
            continue;
        }
        from = saved.find(line, from);
        if (from == std::string::npos) {
            ADD_FAILURE() << "lost: " << line.substr(0, 60);
            return false;
        }
        from += line.size();
    }
    return true;
}

TEST_F(SettingsFile, OddFilesOpenWithDefaultsAndKeepTheirLines)
{
    std::string big = "[blackbox]\r\nmodel=V4\r\n[log]\r\n";
    for (int i = 0; big.size() < 3u * 1024 * 1024; ++i) {
        big += "entry" + std::to_string(i) + "=" + std::string(60, static_cast<char>('a' + i % 26)) + "\r\n";
    }
    std::string binary = "\x89PNG\r\n\x1a\n";
    std::mt19937 rng(7);
    for (int i = 0; i < 4096; ++i) {
        char c = static_cast<char>(rng());
        binary += c == '[' ? '(' : c;  // no line may pass for a section header
    }
    struct Case {
        const char* name;
        std::string text;
        int preset;
        int voltage;
        const char* model;
    };
    const Case cases[] = {
        {"values longer than the buffers",
         "[capacity]\nconst=3000000000000\n[blackbox]\nmodel=ABCDEFGHIJKLMNOPQRSTUVWXYZ\n"
         "power_off_vlt=122000000000000000000000\nversion=" +
             std::string(5000, '7') + "\nlocal_time=9.5000000000001\n",
         0, -1, "ABCDEFGHI"},
        {"non-ASCII bytes", "[blackbox]\nmodel=\xED\x95\x9C\xEA\xB8\x80\xFF\xFE\n\xC0\xC1=\xF5\n[캡]\n값=1\n",
         0, 3, "\xED\x95\x9C\xEA\xB8\x80\xFF\xFE"},
        {"several megabytes", big, 0, 3, "V4"},
        {"not INI at all", binary, 0, 3, "0"},
        {"nothing but line ends", "\r\n\r\n\n\r", 0, 3, "0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CSettingModel model = Open(c.text);
        EXPECT_EQ(model.State(IDC_PRESET_A + c.preset).checked, true);
        EXPECT_EQ(model.State(IDC_VOLTAGE).selection, c.voltage);
        EXPECT_EQ(model.State(IDC_MODEL).text, c.model);
        EXPECT_EQ(model.State(IDC_TIME_ZONE).selection, 12);
        ASSERT_EQ(model.SaveDeviceSettings(), SaveResult::Saved);
        const std::string saved = Bytes(path);
        EXPECT_TRUE(KeepsInOrder(saved, c.text));
        EXPECT_EQ(saved.find('\r'), std::string::npos);
        EXPECT_NE(saved.find("\n[time]\nset=0\n"), std::string::npos);
    }
}

TEST(SettingsBytes, LoadsFromMemoryAsFromAFile)
{
    const std::string text = Edited(kCamera, {{"const=40", "const=30"}, {"model=V4", "model=zx-510"}});
    const CSettingModel model = LoadSettingsFromBytes(text.data(), text.size(), kNow);
    EXPECT_TRUE(model.State(IDC_PRESET_C).checked);
    EXPECT_EQ(model.State(IDC_MODEL).text, "ZY-510");
    EXPECT_EQ(model.State(IDC_TIME_ZONE).selection, 21);
    const CSettingModel empty = LoadSettingsFromBytes(nullptr, 0, kNow);
    EXPECT_TRUE(empty.State(IDC_PRESET_A).checked);
}

// ---- finding the file on a card

TEST(DeviceConfig, OpensTheFirstCardThatHasOrCanMakeTheFile)
{
    MUBContext ctx = MUB_CreateContext();
    ASSERT_NE(ctx, nullptr);
    char factory[MUB_CONFIG_BYTES];
    int length = sizeof factory;
    ASSERT_NE(MUB_GetDefaultConfig(ctx, factory, &length), 0);
    MUB_ReleaseContext(ctx);

    enum Card { NoSetting, EmptySetting, WithFile };
    struct Case {
        const char* name;
        std::vector<Card> cards;
        int opened;  // index of the card opened; -1 none
    };
    const Case cases[] = {
        {"no card", {}, -1},
        {"a card with its file", {WithFile}, 0},
        {"a card without one gets the factory file", {EmptySetting}, 0},
        {"a card without SETTING gets nothing", {NoSetting}, -1},
        {"the first card that qualifies, in order", {NoSetting, EmptySetting, WithFile}, 1},
        {"a named card before the next", {WithFile, EmptySetting}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir dir;
        ctx = MUB_CreateContext();
        std::vector<std::string> roots;
        for (size_t i = 0; i < c.cards.size(); ++i) {
            const std::string root = dir.Path() + "/card" + std::to_string(i);
            MakeCardLayout(root);
            if (c.cards[i] != NoSetting) {
                fs::create_directories(root + "/SETTING");
            }
            if (c.cards[i] == WithFile) {
                Put(root + "/SETTING/blackbox.cfg", kCamera);
            }
            ASSERT_EQ(MUB_AddCardFolder(ctx, root.c_str()), 1);
            roots.push_back(root);
        }
        std::vector<std::string> opened;
        const bool ok = OpenDeviceSettings(ctx, [&](const std::string& p) { opened.push_back(p); });
        MUB_ReleaseContext(ctx);
        EXPECT_EQ(ok, c.opened >= 0);
        if (c.opened < 0) {
            EXPECT_TRUE(opened.empty());
        } else {
            const std::string expected = roots[static_cast<size_t>(c.opened)] + "/SETTING/blackbox.cfg";
            EXPECT_EQ(opened, std::vector<std::string>{expected});
            const std::string want = c.cards[static_cast<size_t>(c.opened)] == WithFile
                                         ? kCamera
                                         : std::string(factory, static_cast<size_t>(length));
            EXPECT_EQ(Bytes(expected), want);
        }
        for (size_t i = 0; i < c.cards.size(); ++i) {
            const std::string file = roots[i] + "/SETTING/blackbox.cfg";
            if (c.cards[i] == NoSetting) {
                EXPECT_FALSE(fs::exists(roots[i] + "/SETTING"));
            } else if (c.cards[i] == EmptySetting && static_cast<int>(i) != c.opened) {
                EXPECT_FALSE(fs::exists(file)) << "a card after the opened one was touched";
            }
        }
    }
}

}  // namespace
