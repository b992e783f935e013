// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/settingmodel.h"

#include "platform/profile.h"
#include "settings/configfile.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <ctime>

namespace settings {

namespace {

// Value buffers of the reads: most keys see at most 9 characters, the language codes 4.
constexpr int kValueBytes = 10;
constexpr int kLanguageBytes = 5;
// "language" passes through unchanged, so it is read whole; a value that fills this
// buffer may be longer and is then left as it is in the file.
constexpr int kPassThroughBytes = 4096;

constexpr int kPowerOffBoxes[] = {IDC_POWER_OFF_NONE, IDC_POWER_OFF_6H, IDC_POWER_OFF_12H, IDC_POWER_OFF_24H,
                                  IDC_POWER_OFF_48H};
constexpr int kPowerOffHours[] = {0, 6, 12, 24, 48};
constexpr int kScreenOffSeconds[] = {0, 60, 180, 300};
constexpr int kClockLists[] = {IDC_YEAR, IDC_MONTH, IDC_DAY, IDC_HOUR, IDC_MINUTE, IDC_SECOND};
constexpr int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
const char* const kVoltageEntries[] = {"OFF", "11.8v/23.6v", "12.0v/24.0v", "12.2v/24.4v"};

// Three-step sliders: the stored value of positions 1, 2 and 3, and the position of a
// value that is none of them.
struct LevelScale {
    int values[3];
    int fallbackPosition;
};
constexpr LevelScale kOddLevels{{1, 3, 5}, 3};  // "mic_volume", "voice_volume", "motion_level"
constexpr LevelScale kAccLevels{{2, 3, 4}, 2};  // "acc_level"

int PositionOf(const LevelScale& scale, int stored)
{
    for (int i = 0; i < 3; ++i) {
        if (scale.values[i] == stored) {
            return i + 1;
        }
    }
    return scale.fallbackPosition;
}

int StoredOf(const LevelScale& scale, int position)
{
    return scale.values[std::clamp(position, 1, 3) - 1];
}

bool SameAsciiCaseless(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

const ControlState& EmptyState()
{
    static const ControlState state;
    return state;
}

}  // namespace

LocalTime CurrentLocalTime()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return LocalTime{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

StorageShares SharesOf(StoragePreset preset)
{
    switch (preset) {
        case StoragePreset::B:
            return {60, 20, 10, 10};
        case StoragePreset::C:
            return {30, 40, 20, 10};
        case StoragePreset::A:
        default:
            return {40, 20, 30, 10};
    }
}

TimeZoneTable::TimeZoneTable()
{
    int entry = 0;
    for (float offset = -12.0f; offset <= 12.0f; offset += 1.0f) {
        m_entries[offset] = entry++;
    }
}

int TimeZoneTable::Lookup(float offset) const
{
    const auto it = m_entries.find(offset);
    return it == m_entries.end() ? -1 : it->second;
}

float TimeZoneTable::OffsetOf(int entry) const
{
    for (const auto& [offset, index] : m_entries) {
        if (index == entry) {
            return offset;
        }
    }
    return 0.0f;
}

CSettingModel::CSettingModel(std::string path, LocalTime now, TextLookup text)
    : m_path(std::move(path)), m_now(now), m_text(std::move(text))
{
    for (const TemplateControl& c : Template115()) {
        ControlState& s = m_controls[c.id];
        s.kind = c.kind;
        s.visible = (c.flags & kHidden) == 0;
        s.enabled = (c.flags & kDisabled) == 0;
    }
}

const ControlState& CSettingModel::State(int id) const
{
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? EmptyState() : it->second;
}

ControlState& CSettingModel::S(int id)
{
    return m_controls[id];
}

void CSettingModel::SetChecked(int id, bool checked)
{
    S(id).checked = checked;
}

void CSettingModel::SetEnabled(int id, bool enabled)
{
    S(id).enabled = enabled;
}

void CSettingModel::SetSelection(int id, int entry)
{
    ControlState& s = S(id);
    s.selection = entry >= 0 && entry < static_cast<int>(s.items.size()) ? entry : -1;
}

void CSettingModel::SetSliderPosition(int id, int position)
{
    ControlState& s = S(id);
    s.position = std::clamp(position, s.rangeMin, s.rangeMax);
}

void CSettingModel::CheckOnly(std::initializer_list<int> group, int id)
{
    for (int member : group) {
        SetChecked(member, member == id);
    }
}

void CSettingModel::FillNumberList(int id, int first, int last)
{
    ControlState& s = S(id);
    s.items.clear();
    for (int n = first; n <= last; ++n) {
        s.items.push_back(FormatConfigInt(n));
    }
    s.selection = -1;
}

int CSettingModel::ListNumber(int id) const
{
    const ControlState& s = State(id);
    return s.selection >= 0 ? ParseConfigInt(s.items[static_cast<size_t>(s.selection)]) : 0;
}

std::string CSettingModel::Read(const char* section, const char* key, const char* defaultText) const
{
    return ReadConfigString(m_path, section, key, defaultText, kValueBytes);
}

void CSettingModel::Initialise()
{
    S(IDC_VIEWER_VERSION).text = kViewerVersion;
    S(IDC_FIRMWARE).text.clear();

    // The year list reaches one year past the PC's, so the clock can be set today.
    FillNumberList(IDC_YEAR, kFirstYear, std::max(2024, m_now.year + 1));
    FillNumberList(IDC_MONTH, 1, 12);
    FillNumberList(IDC_DAY, 1, 31);
    FillNumberList(IDC_HOUR, 1, 24);
    FillNumberList(IDC_MINUTE, 0, 59);
    FillNumberList(IDC_SECOND, 0, 59);
    S(IDC_VOLTAGE).items.assign(std::begin(kVoltageEntries), std::end(kVoltageEntries));
    auto text = [this](int id) { return m_text ? m_text(id) : std::string(); };
    ControlState& zones = S(IDC_TIME_ZONE);
    for (int id = 1135; id <= 1160; ++id) {
        if (id != 1141) {  // 1141 is the list's caption, not an entry
            zones.items.push_back(text(id));
        }
    }
    S(IDC_SCREEN_OFF).items = {"ON", text(1171), text(1172), text(1173)};

    for (int id : {IDC_MIC_VOLUME, IDC_VOICE_VOLUME, IDC_MOTION_LEVEL, IDC_ACC_LEVEL}) {
        S(id).rangeMin = 1;
        S(id).rangeMax = 3;
        SetSliderPosition(id, S(id).position);
    }
    for (int id : {IDC_LDWS_LEFT, IDC_LDWS_RIGHT}) {
        S(id).rangeMin = 1;
        S(id).rangeMax = 5;
        SetSliderPosition(id, S(id).position);
    }

    LoadDeviceSettings();
    ApplyFactoryLanguage(ReadConfigString(m_path, "blackbox", "def_language", "us", kLanguageBytes));
}

void CSettingModel::LoadDeviceSettings()
{
    auto readInt = [this](const char* section, const char* key, const char* defaultText) {
        return ParseConfigInt(Read(section, key, defaultText));
    };

    const int driving = readInt("capacity", "const", "0");
    ApplyStoragePreset(driving == 30 ? 2 : driving == 60 ? 1 : 0);

    const int64_t millivolts = readInt("blackbox", "power_off_vlt", "12200");
    const int64_t voltage = millivolts == 0 ? 0 : (millivolts - 11800) / 200 + 1;
    if (voltage >= 0 && voltage <= 3) {
        SetSelection(IDC_VOLTAGE, static_cast<int>(voltage));
    }

    SetChecked(IDC_MIC_IN, readInt("blackbox", "mic_in", "0") != 0);
    SetChecked(IDC_VOICE_OUT, readInt("blackbox", "voice_out", "0") != 0);
    SetChecked(IDC_USE_TICK, readInt("blackbox", "use_tick", "1") != 0);
    SetSliderPosition(IDC_VOICE_VOLUME, PositionOf(kOddLevels, readInt("blackbox", "voice_volume", "0")));
    SetSliderPosition(IDC_MIC_VOLUME, PositionOf(kOddLevels, readInt("blackbox", "mic_volume", "0")));
    SetSliderPosition(IDC_MOTION_LEVEL, PositionOf(kOddLevels, readInt("blackbox", "motion_level", "0")));
    SetSliderPosition(IDC_ACC_LEVEL, PositionOf(kAccLevels, readInt("blackbox", "acc_level", "0")));
    SetChecked(IDC_LDWS, readInt("blackbox", "use_ldws", "0") == 1);
    SetChecked(IDC_FVSA, readInt("blackbox", "use_fvsa", "0") == 1);
    SetChecked(IDC_SAFE_DRIVE, readInt("blackbox", "safe_drive", "0") == 1);
    SetChecked(IDC_ADAS_ALARM, readInt("blackbox", "adas_alarm", "0") == 1);
    SetChecked(IDC_TLDS, readInt("blackbox", "use_tlds", "0") != 0);
    SetSliderPosition(IDC_LDWS_LEFT, readInt("blackbox", "ldws_left", "0"));
    SetSliderPosition(IDC_LDWS_RIGHT, readInt("blackbox", "ldws_right", "0"));

    const auto offset = static_cast<float>(ParseConfigReal(Read("blackbox", "local_time", "0")));
    const int zone = m_timeZones.Lookup(offset);
    SetSelection(IDC_TIME_ZONE, zone >= 0 ? zone : m_timeZones.Count() / 2);

    const bool summer = readInt("blackbox", "summer_time", "0") == 1;
    SetChecked(IDC_SUMMER_ON, summer);
    SetChecked(IDC_SUMMER_OFF, !summer);

    const int hours = readInt("blackbox", "power_off_hour", "0");
    for (size_t i = 0; i < std::size(kPowerOffHours); ++i) {
        if (kPowerOffHours[i] == hours) {
            CheckOnly({IDC_POWER_OFF_NONE, IDC_POWER_OFF_6H, IDC_POWER_OFF_12H, IDC_POWER_OFF_24H,
                       IDC_POWER_OFF_48H},
                      kPowerOffBoxes[i]);
        }
    }
    const std::string model = Read("blackbox", "model", "0");
    if (model != "V4" && model != "V4_P") {
        // Only these models power off by themselves.
        for (int id : kPowerOffBoxes) {
            SetChecked(id, id == IDC_POWER_OFF_NONE);
            SetEnabled(id, false);
        }
    }

    switch (readInt("blackbox", "park_mode", "1")) {
        case 1:
            CheckOnly({IDC_PARK_MOTION, IDC_PARK_TIMELAPSE, IDC_PARK_NONE}, IDC_PARK_MOTION);
            break;
        case 2:
            CheckOnly({IDC_PARK_MOTION, IDC_PARK_TIMELAPSE, IDC_PARK_NONE}, IDC_PARK_TIMELAPSE);
            break;
        case 0:
            CheckOnly({IDC_PARK_MOTION, IDC_PARK_TIMELAPSE, IDC_PARK_NONE}, IDC_PARK_NONE);
            break;
        default:
            break;
    }
    switch (readInt("blackbox", "osd_speed", "1")) {
        case 1:
            CheckOnly({IDC_SPEED_KMH, IDC_SPEED_MPH}, IDC_SPEED_KMH);
            break;
        case 2:
            CheckOnly({IDC_SPEED_KMH, IDC_SPEED_MPH}, IDC_SPEED_MPH);
            break;
        default:
            break;
    }
    const int screenOff = readInt("blackbox", "lcdoff_time_s", "1");
    for (size_t i = 0; i < std::size(kScreenOffSeconds); ++i) {
        if (kScreenOffSeconds[i] == screenOff) {
            SetSelection(IDC_SCREEN_OFF, static_cast<int>(i));
        }
    }
    SetChecked(IDC_CLOCK_SCREEN, readInt("blackbox", "lcd_time_s", "0") == 30);

    SetEnabled(IDC_MIC_VOLUME, State(IDC_MIC_IN).checked);
    ShowClock(m_now);
    SetChecked(IDC_PC_TIME, false);
    EnableClockLists(false);

    S(IDC_FIRMWARE).text = Read("blackbox", "version", "0");
    // One model is sold under another name.
    S(IDC_MODEL).text = SameAsciiCaseless(model, "ZX-510") ? "ZY-510" : model;
    m_language = ReadConfigString(m_path, "blackbox", "language", "us", kPassThroughBytes);
}

bool CSettingModel::WriteKeys(const std::string& file) const
{
    bool ok = true;
    auto write = [&](const char* section, const char* key, const std::string& value) {
        ok = ok && WritePrivateProfileStringA(section, key, value.c_str(), file.c_str());
    };
    auto writeInt = [&](const char* section, const char* key, int value) {
        write(section, key, FormatConfigInt(value));
    };
    auto flag = [this](int id) { return State(id).checked ? 1 : 0; };

    const int preset = State(IDC_PRESET_B).checked ? 1 : State(IDC_PRESET_C).checked ? 2 : 0;
    const StorageShares shares = SharesOf(static_cast<StoragePreset>(preset));
    writeInt("capacity", "const", shares.driving);
    writeInt("capacity", "event", shares.event);
    writeInt("capacity", "manual", shares.manual);
    writeInt("capacity", "park", shares.parking);

    writeInt("blackbox", "lcd_time_s", flag(IDC_CLOCK_SCREEN) ? 30 : 0);
    writeInt("blackbox", "mub_update", 1);
    if (m_language.size() < static_cast<size_t>(kPassThroughBytes - 1)) {
        write("blackbox", "language", m_language);
    }
    writeInt("blackbox", "mic_volume", StoredOf(kOddLevels, State(IDC_MIC_VOLUME).position));
    writeInt("blackbox", "voice_volume", StoredOf(kOddLevels, State(IDC_VOICE_VOLUME).position));
    writeInt("blackbox", "acc_level", StoredOf(kAccLevels, State(IDC_ACC_LEVEL).position));
    writeInt("blackbox", "motion_level", StoredOf(kOddLevels, State(IDC_MOTION_LEVEL).position));
    writeInt("blackbox", "use_ldws", flag(IDC_LDWS));
    writeInt("blackbox", "use_fvsa", flag(IDC_FVSA));
    writeInt("blackbox", "safe_drive", flag(IDC_SAFE_DRIVE));
    writeInt("blackbox", "adas_alarm", flag(IDC_ADAS_ALARM));
    writeInt("blackbox", "use_tlds", flag(IDC_TLDS));
    writeInt("blackbox", "ldws_left", State(IDC_LDWS_LEFT).position);
    writeInt("blackbox", "ldws_right", State(IDC_LDWS_RIGHT).position);
    writeInt("blackbox", "mic_in", flag(IDC_MIC_IN));
    writeInt("blackbox", "voice_out", flag(IDC_VOICE_OUT));
    writeInt("blackbox", "use_tick", flag(IDC_USE_TICK));
    // Without a selection the cut-off stays as stored: writing 0 would turn it off.
    if (const ControlState& v = State(IDC_VOLTAGE); v.selection >= 0) {
        const std::string& entry = v.items[static_cast<size_t>(v.selection)];
        writeInt("blackbox", "power_off_vlt",
                 SameAsciiCaseless(entry, "OFF") ? 0 : static_cast<int>(ParseConfigReal(entry) * 1000.0));
    }
    writeInt("blackbox", "summer_time", flag(IDC_SUMMER_ON));
    writeInt("blackbox", "osd_speed", flag(IDC_SPEED_KMH) ? 1 : 2);
    int hours = 0;
    for (size_t i = 1; i < std::size(kPowerOffBoxes) && hours == 0; ++i) {
        hours = flag(kPowerOffBoxes[i]) ? kPowerOffHours[i] : 0;
    }
    writeInt("blackbox", "power_off_hour", hours);
    if (const int entry = State(IDC_SCREEN_OFF).selection; entry >= 0) {
        writeInt("blackbox", "lcdoff_time_s", kScreenOffSeconds[entry]);
    }
    if (flag(IDC_PARK_MOTION) || flag(IDC_PARK_TIMELAPSE) || flag(IDC_PARK_NONE)) {
        writeInt("blackbox", "park_mode", flag(IDC_PARK_MOTION) ? 1 : flag(IDC_PARK_TIMELAPSE) ? 2 : 0);
    }
    write("blackbox", "local_time", FormatConfigOffset(m_timeZones.OffsetOf(State(IDC_TIME_ZONE).selection)));

    writeInt("time", "set", flag(IDC_PC_TIME));
    if (flag(IDC_PC_TIME)) {
        // A list without a selection (the hour list has no 0) writes 0.
        writeInt("time", "year", ListNumber(IDC_YEAR));
        writeInt("time", "month", ListNumber(IDC_MONTH));
        writeInt("time", "day", ListNumber(IDC_DAY));
        writeInt("time", "hour", ListNumber(IDC_HOUR));
        writeInt("time", "min", ListNumber(IDC_MINUTE));
        writeInt("time", "sec", ListNumber(IDC_SECOND));
    }
    return ok;
}

SaveResult CSettingModel::SaveDeviceSettings()
{
    // Every key goes into a private copy first; the card's file is replaced once, with
    // the normalised copy, or not at all.
    CConfigStage stage;
    if (!stage.Begin(m_path) || !WriteKeys(stage.Path()) || !stage.Commit()) {
        return SaveResult::NotSaved;
    }
    return SaveResult::Saved;
}

void CSettingModel::ResetToDefaults()
{
    ApplyStoragePreset(0);
    m_language = ReadConfigString(m_path, "blackbox", "def_language", "us", kPassThroughBytes);
    SetSelection(IDC_VOLTAGE, 2);
    SetChecked(IDC_MIC_IN, true);
    SetEnabled(IDC_MIC_VOLUME, true);
    SetChecked(IDC_VOICE_OUT, true);
    SetEnabled(IDC_VOICE_VOLUME, true);
    for (int id : {IDC_VOICE_VOLUME, IDC_MIC_VOLUME, IDC_MOTION_LEVEL, IDC_ACC_LEVEL}) {
        SetSliderPosition(id, 2);
    }
    CheckOnly({IDC_SUMMER_ON, IDC_SUMMER_OFF}, IDC_SUMMER_OFF);
    CheckOnly({IDC_POWER_OFF_NONE, IDC_POWER_OFF_6H, IDC_POWER_OFF_12H, IDC_POWER_OFF_24H, IDC_POWER_OFF_48H},
              IDC_POWER_OFF_NONE);
    CheckOnly({IDC_PARK_MOTION, IDC_PARK_TIMELAPSE, IDC_PARK_NONE}, IDC_PARK_MOTION);
    CheckOnly({IDC_SPEED_KMH, IDC_SPEED_MPH}, IDC_SPEED_KMH);
    SetChecked(IDC_USE_TICK, true);
    SetChecked(IDC_LDWS, false);
    SetChecked(IDC_FVSA, false);
    SetChecked(IDC_SAFE_DRIVE, true);
    SetChecked(IDC_ADAS_ALARM, true);
    SetChecked(IDC_TLDS, false);
    SetSliderPosition(IDC_LDWS_LEFT, 3);
    SetSliderPosition(IDC_LDWS_RIGHT, 3);
    const auto offset = static_cast<float>(ParseConfigReal(Read("blackbox", "def_local_time", "0")));
    const int zone = m_timeZones.Lookup(offset);
    SetSelection(IDC_TIME_ZONE, zone >= 0 ? zone : m_timeZones.Count() / 2);
    ShowClock(m_now);
    SetChecked(IDC_PC_TIME, false);
    EnableClockLists(false);
    SetSelection(IDC_SCREEN_OFF, 1);
    SetChecked(IDC_CLOCK_SCREEN, false);
    // The safe-driving assistant is on by default only where the camera offers it.
    ApplyFactoryLanguage(ReadConfigString(m_path, "blackbox", "def_language", "us", kLanguageBytes));
}

void CSettingModel::ApplyStoragePreset(int type)
{
    CheckOnly({IDC_PRESET_A, IDC_PRESET_B, IDC_PRESET_C}, type == 1   ? IDC_PRESET_B
                                                          : type == 2 ? IDC_PRESET_C
                                                                      : IDC_PRESET_A);
    ShowStoragePreset(type);
}

void CSettingModel::ShowStoragePreset(int type)
{
    const StorageShares shares = SharesOf(type == 1   ? StoragePreset::B
                                          : type == 2 ? StoragePreset::C
                                                      : StoragePreset::A);
    const std::pair<int, int> rows[] = {{IDC_SHARE_DRIVING, shares.driving},
                                        {IDC_SHARE_EVENT, shares.event},
                                        {IDC_SHARE_PARKING, shares.parking},
                                        {IDC_SHARE_MANUAL, shares.manual}};
    const int bars[] = {IDC_BAR_DRIVING, IDC_BAR_EVENT, IDC_BAR_PARKING, IDC_BAR_MANUAL};
    for (size_t i = 0; i < std::size(rows); ++i) {
        S(rows[i].first).text = FormatConfigInt(rows[i].second) + "%";
        S(bars[i]).widthPx = 4 * rows[i].second;  // 4 pixels per percent
    }
}

void CSettingModel::FillDayList()
{
    const int year = ListNumber(IDC_YEAR);
    const int month = ListNumber(IDC_MONTH);
    int days = month >= 1 && month <= 12 ? kDaysInMonth[month - 1] : 31;
    if (month == 2 && year % 4 == 0) {
        days = 29;  // every year of the list follows the four-year rule
    }
    if (static_cast<int>(State(IDC_DAY).items.size()) != days) {
        FillNumberList(IDC_DAY, 1, days);
        SetSelection(IDC_DAY, 0);
    }
}

void CSettingModel::ShowClock(const LocalTime& t)
{
    SetSelection(IDC_YEAR, t.year - kFirstYear);
    SetSelection(IDC_MONTH, t.month - 1);
    FillDayList();
    SetSelection(IDC_DAY, t.day - 1);
    SetSelection(IDC_HOUR, t.hour - 1);
    SetSelection(IDC_MINUTE, t.minute);
    SetSelection(IDC_SECOND, t.second);
}

void CSettingModel::EnableClockLists(bool enabled)
{
    for (int id : kClockLists) {
        SetEnabled(id, enabled);
    }
}

void CSettingModel::ApplyFactoryLanguage(const std::string& factoryLanguage)
{
    if (factoryLanguage == "kr") {
        return;
    }
    for (int id : {IDC_SAFE_DRIVE_LABEL, IDC_SAFE_DRIVE, IDC_TLDS_LABEL, IDC_TLDS}) {
        SetEnabled(id, false);
    }
    SetChecked(IDC_SAFE_DRIVE, false);
    SetChecked(IDC_TLDS, false);
}

void CSettingModel::Click(int id)
{
    ControlState& s = S(id);
    if (!s.enabled || !s.visible) {
        return;
    }
    if (s.kind == ControlKind::Check) {
        s.checked = !s.checked;
    } else if (s.kind == ControlKind::Radio) {
        // The radio group: from its first button to the next group or another kind.
        const auto all = Template115();
        size_t first = 0;
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i].kind == ControlKind::Radio && (all[i].flags & kGroupStart)) {
                first = i;
            }
            if (all[i].id == id) {
                break;
            }
        }
        for (size_t i = first; i < all.size() && all[i].kind == ControlKind::Radio; ++i) {
            if (i != first && (all[i].flags & kGroupStart)) {
                break;
            }
            SetChecked(all[i].id, all[i].id == id);
        }
    }

    switch (id) {
        case IDC_PRESET_A:
            ShowStoragePreset(0);
            break;
        case IDC_PRESET_B:
            ShowStoragePreset(1);
            break;
        case IDC_PRESET_C:
            ShowStoragePreset(2);
            break;
        case IDC_MIC_IN:
            SetEnabled(IDC_MIC_VOLUME, s.checked);
            break;
        case IDC_PC_TIME:
            EnableClockLists(s.checked);
            break;
        case IDC_SPEED_KMH:
        case IDC_SPEED_MPH:
            CheckOnly({IDC_SPEED_KMH, IDC_SPEED_MPH}, id);
            break;
        case IDC_SUMMER_ON:
        case IDC_SUMMER_OFF:
            CheckOnly({IDC_SUMMER_ON, IDC_SUMMER_OFF}, id);
            break;
        case IDC_POWER_OFF_NONE:
        case IDC_POWER_OFF_6H:
        case IDC_POWER_OFF_12H:
        case IDC_POWER_OFF_24H:
        case IDC_POWER_OFF_48H:
            CheckOnly({IDC_POWER_OFF_NONE, IDC_POWER_OFF_6H, IDC_POWER_OFF_12H, IDC_POWER_OFF_24H,
                       IDC_POWER_OFF_48H},
                      id);
            break;
        case IDC_RESET:
            ResetToDefaults();
            break;
        default:
            break;
    }
}

void CSettingModel::Select(int id, int entry)
{
    const ControlState& s = State(id);
    if (!s.enabled || entry < 0 || entry >= static_cast<int>(s.items.size())) {
        return;
    }
    SetSelection(id, entry);
    // A year change can also change February's length.
    if (id == IDC_MONTH || id == IDC_YEAR) {
        FillDayList();
    }
}

void CSettingModel::SetPosition(int id, int position)
{
    if (State(id).enabled && State(id).kind == ControlKind::Slider) {
        SetSliderPosition(id, position);
    }
}

CSettingModel LoadSettingsFromBytes(const void* data, size_t size, LocalTime now)
{
    // An anonymous in-memory file: the profile functions read it by path like a card file.
    const int fd = ::memfd_create("blackbox.cfg", MFD_CLOEXEC);
    std::string path;
    if (fd >= 0) {
        const auto* bytes = static_cast<const char*>(data);
        size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd, bytes + done, size - done);
            if (n <= 0) {
                break;
            }
            done += static_cast<size_t>(n);
        }
        path = "/proc/self/fd/" + std::to_string(fd);
    }
    CSettingModel model(path, now);
    model.Initialise();
    if (fd >= 0) {
        ::close(fd);
    }
    return model;
}

}  // namespace settings
