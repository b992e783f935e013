// SPDX-License-Identifier: GPL-3.0-or-later
// The settings dialog without a window: the state of every control of its template, the
// command handlers, and the load and save of the camera's configuration file that fill
// and read those controls. CSettingDlg only shows this state and forwards the user's
// input; tests and the fuzz harness drive it directly.
#pragma once

#include "settings/settingtemplate.h"

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace settings {

// The PC's local time when the dialog opened; it fills the date and time lists.
struct LocalTime {
    int year = 2000;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0;
    int second = 0;
};
LocalTime CurrentLocalTime();

// The storage presets: the four shares of driving, event, parking and manual recording.
enum class StoragePreset { A = 0, B = 1, C = 2 };
struct StorageShares {
    int driving, event, parking, manual;  // percent
};
StorageShares SharesOf(StoragePreset preset);

// Time-zone offsets (hours, as float) and the entries of the time-zone list, GMT -12 to
// GMT +12 in whole hours. Lookup matches the offset exactly.
class TimeZoneTable {
public:
    TimeZoneTable();
    int Count() const { return static_cast<int>(m_entries.size()); }
    // The entry of exactly that offset; -1 for any other value (5.5, 13, NaN).
    int Lookup(float offset) const;
    // The offset of an entry; 0 when no entry has that index.
    float OffsetOf(int entry) const;

private:
    std::map<float, int> m_entries;
};

// What a control shows, as the template and the handlers leave it.
struct ControlState {
    ControlKind kind = ControlKind::Label;
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    int position = 0;  // sliders
    int rangeMin = 0;
    int rangeMax = 100;
    std::vector<std::string> items;  // lists
    int selection = -1;              // lists; -1 none
    std::string text;                // texts set at run time (UTF-8)
    int widthPx = -1;                // bars: width in pixels; -1 as in the template
};

enum class SaveResult { Saved, NotSaved };

class CSettingModel {
public:
    // The string of a string id, for the time-zone and screen-off entries; without one
    // those entries are empty texts.
    using TextLookup = std::function<std::string(int stringId)>;

    CSettingModel(std::string path, LocalTime now, TextLookup text = {});

    const std::string& Path() const { return m_path; }
    // The viewer's own version, shown in 477.
    static constexpr const char* kViewerVersion = "3.0.17";
    // The first year of the year list.
    static constexpr int kFirstYear = 2015;

    // The dialog's initialisation without its texts: list contents, slider ranges, the
    // file's values, the date and time lists, and the factory-language gating.
    void Initialise();
    void LoadDeviceSettings();
    // Writes every key from the controls and normalises the file, all at once: on
    // NotSaved the file is as it was.
    SaveResult SaveDeviceSettings();
    void ResetToDefaults();
    void ApplyStoragePreset(int type);
    void ShowStoragePreset(int type);
    void FillDayList();

    // User input. Click does what the control does by itself (a check box toggles, a radio
    // button is checked and its group cleared) and then runs the command handler.
    // Disabled controls take no input.
    void Click(int id);
    void Select(int id, int entry);
    void SetPosition(int id, int position);

    const ControlState& State(int id) const;
    // The "language" value carried from load (or reset) to save.
    const std::string& CarriedLanguage() const { return m_language; }
    const TimeZoneTable& TimeZones() const { return m_timeZones; }

private:
    ControlState& S(int id);
    void SetChecked(int id, bool checked);
    void SetEnabled(int id, bool enabled);
    void SetSelection(int id, int entry);
    void SetSliderPosition(int id, int position);
    void CheckOnly(std::initializer_list<int> group, int id);
    void FillNumberList(int id, int first, int last);
    void ShowClock(const LocalTime& t);
    void EnableClockLists(bool enabled);
    void ApplyFactoryLanguage(const std::string& factoryLanguage);
    int ListNumber(int id) const;
    std::string Read(const char* section, const char* key, const char* defaultText) const;
    bool WriteKeys(const std::string& file) const;

    std::string m_path;
    LocalTime m_now;
    TextLookup m_text;
    TimeZoneTable m_timeZones;
    std::string m_language;
    std::map<int, ControlState> m_controls;
};

// Initialises a model from a configuration held in memory, as the dialog would from a
// file (for fuzzing). The returned model's path named the bytes only during the call.
CSettingModel LoadSettingsFromBytes(const void* data, size_t size, LocalTime now);

}  // namespace settings
