// SPDX-License-Identifier: GPL-3.0-or-later
// The settings dialog's template: every control's id, kind, place in dialog units, text
// and initial state. Shared by the model (kinds and initial states) and the dialog
// (geometry and texts); no Qt here, so the file side builds without the GUI.
#pragma once

#include <cstdint>
#include <span>

namespace settings {

// Control ids of the settings dialog.
enum SettingControlId : int {
    IDC_STORAGE_GROUP = 529,
    IDC_PRESET_A = 590,
    IDC_PRESET_B = 591,
    IDC_PRESET_C = 592,
    IDC_LABEL_DRIVING = 530,
    IDC_LABEL_PARKING = 531,
    IDC_LABEL_EVENT = 532,
    IDC_LABEL_MANUAL = 533,
    IDC_SHARE_DRIVING = 593,
    IDC_SHARE_EVENT = 594,
    IDC_SHARE_PARKING = 595,
    IDC_SHARE_MANUAL = 596,
    IDC_BAR_DRIVING = 597,
    IDC_BAR_EVENT = 599,
    IDC_BAR_PARKING = 600,
    IDC_BAR_MANUAL = 601,

    IDC_SOUND_GROUP = 475,
    IDC_MIC_IN = 437,
    IDC_MIC_IN_LABEL = 550,
    IDC_MIC_VOLUME = 479,
    IDC_VOICE_OUT = 442,
    IDC_VOICE_OUT_LABEL = 551,
    IDC_USE_TICK = 443,
    IDC_USE_TICK_LABEL = 558,
    IDC_VOICE_VOLUME = 481,
    IDC_VOICE_VOLUME_LABEL = 776,
    IDC_VOICE_VOLUME_MIN = 554,
    IDC_VOICE_VOLUME_MAX = 555,
    IDC_ACC_LEVEL = 495,
    IDC_ACC_LEVEL_LABEL = 552,
    IDC_ACC_LEVEL_LOW = 556,
    IDC_ACC_LEVEL_HIGH = 557,
    IDC_MOTION_LEVEL = 480,
    IDC_MOTION_LEVEL_LABEL = 553,

    IDC_OTHER_GROUP = 539,
    IDC_LANGUAGE = 472,
    IDC_LANGUAGE_LABEL = 559,
    IDC_TIME_ZONE = 459,
    IDC_TIME_ZONE_LABEL = 545,
    IDC_PC_TIME = 462,
    IDC_PC_TIME_LABEL = 543,
    IDC_MONTH = 490,
    IDC_DAY = 491,
    IDC_YEAR = 489,
    IDC_MONTH_LABEL = 598,
    IDC_DAY_LABEL = 602,
    IDC_YEAR_LABEL = 603,
    IDC_HOUR = 492,
    IDC_MINUTE = 493,
    IDC_SECOND = 494,
    IDC_HOUR_LABEL = 604,
    IDC_MINUTE_LABEL = 605,
    IDC_SECOND_LABEL = 606,
    IDC_POWER_OFF_LABEL = 823,
    IDC_POWER_OFF_NONE = 824,
    IDC_POWER_OFF_6H = 825,
    IDC_POWER_OFF_12H = 826,
    IDC_POWER_OFF_24H = 827,
    IDC_POWER_OFF_48H = 828,
    IDC_SPEED_LABEL = 537,
    IDC_SPEED_KMH = 578,
    IDC_SPEED_MPH = 425,
    IDC_VOLTAGE = 486,
    IDC_VOLTAGE_LABEL = 535,
    IDC_VOLTAGE_WARNING = 777,
    IDC_SUMMER_ON = 503,
    IDC_SUMMER_OFF = 508,
    IDC_SUMMER_LABEL = 541,
    IDC_SCREEN_OFF = 780,
    IDC_SCREEN_OFF_LABEL = 778,
    IDC_CLOCK_SCREEN = 782,
    IDC_CLOCK_SCREEN_LABEL = 781,

    IDC_PARKING_GROUP = 561,
    IDC_PARK_MOTION = 773,
    IDC_PARK_TIMELAPSE = 774,
    IDC_PARK_NONE = 775,

    IDC_ADAS_GROUP = 588,
    IDC_LDWS = 576,
    IDC_LDWS_LABEL = 611,
    IDC_SAFE_DRIVE = 612,
    IDC_SAFE_DRIVE_LABEL = 471,
    IDC_FVSA = 584,
    IDC_FVSA_LABEL = 583,
    IDC_ADAS_ALARM = 587,
    IDC_ADAS_ALARM_LABEL = 613,
    IDC_TLDS = 614,
    IDC_TLDS_LABEL = 473,

    IDC_LANE_GROUP = 589,
    IDC_LDWS_LEFT = 409,
    IDC_LDWS_RIGHT = 411,
    IDC_LDWS_LEFT_LABEL = 607,
    IDC_LDWS_RIGHT_LABEL = 608,
    IDC_LDWS_LOW = 609,
    IDC_LDWS_HIGH = 610,

    IDC_VERSION_GROUP = 546,
    IDC_VIEWER_VERSION = 477,
    IDC_VIEWER_VERSION_LABEL = 547,
    IDC_MODEL = 501,
    IDC_MODEL_LABEL = 548,
    IDC_FIRMWARE = 478,
    IDC_FIRMWARE_LABEL = 549,

    IDC_RESET = 474,
    IDC_SAVE = 463,
};

enum class ControlKind : uint8_t {
    Group,    // group box with a title
    Radio,    // automatic radio button; kGroupStart begins a new group
    Check,    // check box (the handlers make some of them act as one choice)
    Label,    // static text from the string table
    Text,     // static text set at run time
    Warning,  // static text in red
    Bar,      // a filled bar whose width shows a share
    Slider,   // track bar with ticks on both sides
    List,     // drop-down list
    Button,   // push button
};

enum ControlFlag : uint8_t {
    kHidden = 1,
    kDisabled = 2,
    kGroupStart = 4,  // radio: first of its group
    kAlignRight = 8,  // label: text against the right edge
    kWrap = 16,       // label: breaks into lines
};

struct TemplateControl {
    int id;
    ControlKind kind;
    int16_t x, y, w, h;     // dialog units
    int textId;             // string id of the text; 0 none
    const char* fixedText;  // text that is not in the string table; null none
    uint8_t flags;
};

// Template 115: a pop-up with caption and system menu, 687 x 423 dialog units.
constexpr int kDialogWidthDlu = 687;
constexpr int kDialogHeightDlu = 423;
constexpr int kCaptionTextId = 1107;

// Group boxes come first so the controls inside are drawn above them.
inline constexpr TemplateControl kTemplate115[] = {
    {IDC_STORAGE_GROUP, ControlKind::Group, 12, 7, 325, 99, 1001, nullptr, 0},
    {IDC_SOUND_GROUP, ControlKind::Group, 12, 110, 325, 132, 1058, nullptr, 0},
    {IDC_ADAS_GROUP, ControlKind::Group, 12, 248, 325, 63, 1004, nullptr, 0},
    {IDC_LANE_GROUP, ControlKind::Group, 12, 318, 325, 85, 1024, nullptr, 0},
    {IDC_OTHER_GROUP, ControlKind::Group, 344, 7, 325, 216, 1034, nullptr, 0},
    {IDC_PARKING_GROUP, ControlKind::Group, 344, 238, 325, 66, 1008, nullptr, 0},
    {IDC_VERSION_GROUP, ControlKind::Group, 344, 314, 325, 48, 1049, nullptr, 0},

    // Storage: presets in one row, then driving, event, parking and manual shares.
    {IDC_PRESET_A, ControlKind::Radio, 24, 23, 96, 10, 1022, nullptr, kGroupStart},
    {IDC_PRESET_B, ControlKind::Radio, 124, 23, 96, 10, 1026, nullptr, 0},
    {IDC_PRESET_C, ControlKind::Radio, 224, 23, 96, 10, 1030, nullptr, 0},
    {IDC_LABEL_DRIVING, ControlKind::Label, 20, 44, 70, 10, 1005, nullptr, 0},
    {IDC_SHARE_DRIVING, ControlKind::Text, 93, 44, 28, 10, 0, nullptr, 0},
    {IDC_BAR_DRIVING, ControlKind::Bar, 125, 45, 160, 8, 0, nullptr, 0},
    {IDC_LABEL_EVENT, ControlKind::Label, 20, 59, 70, 10, 1009, nullptr, 0},
    {IDC_SHARE_EVENT, ControlKind::Text, 93, 59, 28, 10, 0, nullptr, 0},
    {IDC_BAR_EVENT, ControlKind::Bar, 125, 60, 160, 8, 0, nullptr, 0},
    {IDC_LABEL_PARKING, ControlKind::Label, 20, 74, 70, 10, 1007, nullptr, 0},
    {IDC_SHARE_PARKING, ControlKind::Text, 93, 74, 28, 10, 0, nullptr, 0},
    {IDC_BAR_PARKING, ControlKind::Bar, 125, 75, 160, 8, 0, nullptr, 0},
    {IDC_LABEL_MANUAL, ControlKind::Label, 20, 89, 70, 10, 1013, nullptr, 0},
    {IDC_SHARE_MANUAL, ControlKind::Text, 93, 89, 28, 10, 0, nullptr, 0},
    {IDC_BAR_MANUAL, ControlKind::Bar, 125, 90, 160, 8, 0, nullptr, 0},

    // Sound: three boxes in a row, then the level sliders with their end labels above.
    {IDC_MIC_IN, ControlKind::Check, 20, 123, 10, 10, 0, nullptr, 0},
    {IDC_MIC_IN_LABEL, ControlKind::Label, 32, 123, 88, 10, 1064, nullptr, 0},
    {IDC_VOICE_OUT, ControlKind::Check, 124, 123, 10, 10, 0, nullptr, 0},
    {IDC_VOICE_OUT_LABEL, ControlKind::Label, 136, 123, 88, 10, 1066, nullptr, 0},
    {IDC_USE_TICK, ControlKind::Check, 228, 123, 10, 10, 0, nullptr, 0},
    {IDC_USE_TICK_LABEL, ControlKind::Label, 240, 123, 88, 10, 1167, nullptr, 0},
    {IDC_MIC_VOLUME, ControlKind::Slider, 124, 133, 196, 18, 0, nullptr, kHidden},
    {IDC_VOICE_VOLUME_MIN, ControlKind::Label, 124, 141, 60, 9, 1060, nullptr, 0},
    {IDC_VOICE_VOLUME_MAX, ControlKind::Label, 260, 141, 60, 9, 1062, nullptr, kAlignRight},
    {IDC_VOICE_VOLUME_LABEL, ControlKind::Label, 20, 155, 100, 10, 1166, nullptr, 0},
    {IDC_VOICE_VOLUME, ControlKind::Slider, 124, 151, 196, 18, 0, nullptr, 0},
    {IDC_ACC_LEVEL_LOW, ControlKind::Label, 124, 178, 60, 9, 1070, nullptr, 0},
    {IDC_ACC_LEVEL_HIGH, ControlKind::Label, 260, 178, 60, 9, 1072, nullptr, kAlignRight},
    {IDC_ACC_LEVEL_LABEL, ControlKind::Label, 20, 192, 100, 10, 1068, nullptr, 0},
    {IDC_ACC_LEVEL, ControlKind::Slider, 124, 188, 196, 18, 0, nullptr, 0},
    {IDC_MOTION_LEVEL_LABEL, ControlKind::Label, 20, 217, 100, 10, 1074, nullptr, 0},
    {IDC_MOTION_LEVEL, ControlKind::Slider, 124, 213, 196, 18, 0, nullptr, 0},

    // Driver assistance: two columns.
    {IDC_LDWS, ControlKind::Check, 20, 262, 10, 10, 0, nullptr, 0},
    {IDC_LDWS_LABEL, ControlKind::Label, 32, 262, 136, 10, 1012, nullptr, 0},
    {IDC_SAFE_DRIVE, ControlKind::Check, 176, 262, 10, 10, 0, nullptr, 0},
    {IDC_SAFE_DRIVE_LABEL, ControlKind::Label, 188, 262, 140, 10, 1037, nullptr, 0},
    {IDC_FVSA, ControlKind::Check, 20, 278, 10, 10, 0, nullptr, 0},
    {IDC_FVSA_LABEL, ControlKind::Label, 32, 278, 136, 10, 1016, nullptr, 0},
    {IDC_ADAS_ALARM, ControlKind::Check, 176, 278, 10, 10, 0, nullptr, 0},
    {IDC_ADAS_ALARM_LABEL, ControlKind::Label, 188, 278, 140, 10, 1020, nullptr, 0},
    {IDC_TLDS, ControlKind::Check, 20, 294, 10, 10, 0, nullptr, 0},
    {IDC_TLDS_LABEL, ControlKind::Label, 32, 294, 136, 10, 1174, nullptr, 0},

    // Lane-departure sensitivity.
    {IDC_LDWS_LOW, ControlKind::Label, 124, 333, 60, 9, 1070, nullptr, 0},
    {IDC_LDWS_HIGH, ControlKind::Label, 260, 333, 60, 9, 1072, nullptr, kAlignRight},
    {IDC_LDWS_LEFT_LABEL, ControlKind::Label, 20, 349, 100, 10, 1028, nullptr, 0},
    {IDC_LDWS_LEFT, ControlKind::Slider, 124, 345, 196, 18, 0, nullptr, 0},
    {IDC_LDWS_RIGHT_LABEL, ControlKind::Label, 20, 380, 100, 10, 1033, nullptr, 0},
    {IDC_LDWS_RIGHT, ControlKind::Slider, 124, 376, 196, 18, 0, nullptr, 0},

    // Other settings: one row each, label on the left, the control from x 470.
    {IDC_LANGUAGE_LABEL, ControlKind::Label, 356, 24, 110, 10, 1002, nullptr, 0},
    {IDC_LANGUAGE, ControlKind::List, 470, 23, 100, 12, 0, nullptr, kDisabled},
    {IDC_TIME_ZONE_LABEL, ControlKind::Label, 356, 43, 110, 10, 1043, nullptr, 0},
    {IDC_TIME_ZONE, ControlKind::List, 470, 42, 100, 12, 0, nullptr, 0},
    {IDC_PC_TIME, ControlKind::Check, 356, 61, 10, 10, 0, nullptr, 0},
    {IDC_PC_TIME_LABEL, ControlKind::Label, 368, 61, 98, 10, 1046, nullptr, 0},
    {IDC_YEAR, ControlKind::List, 470, 60, 38, 12, 0, nullptr, 0},
    {IDC_YEAR_LABEL, ControlKind::Label, 510, 61, 20, 10, 1035, nullptr, 0},
    {IDC_MONTH, ControlKind::List, 532, 60, 30, 12, 0, nullptr, 0},
    {IDC_MONTH_LABEL, ControlKind::Label, 564, 61, 26, 10, 1038, nullptr, 0},
    {IDC_DAY, ControlKind::List, 592, 60, 30, 12, 0, nullptr, 0},
    {IDC_DAY_LABEL, ControlKind::Label, 624, 61, 38, 10, 1041, nullptr, 0},
    {IDC_HOUR, ControlKind::List, 470, 80, 38, 12, 0, nullptr, 0},
    {IDC_HOUR_LABEL, ControlKind::Label, 510, 81, 20, 10, 1044, nullptr, 0},
    {IDC_MINUTE, ControlKind::List, 532, 80, 30, 12, 0, nullptr, 0},
    {IDC_MINUTE_LABEL, ControlKind::Label, 564, 81, 26, 10, 1047, nullptr, 0},
    {IDC_SECOND, ControlKind::List, 592, 80, 30, 12, 0, nullptr, 0},
    {IDC_SECOND_LABEL, ControlKind::Label, 624, 81, 38, 10, 1050, nullptr, 0},
    {IDC_POWER_OFF_LABEL, ControlKind::Label, 356, 104, 110, 10, 1206, nullptr, 0},
    {IDC_POWER_OFF_NONE, ControlKind::Check, 470, 104, 32, 10, 0, "Off", 0},
    {IDC_POWER_OFF_6H, ControlKind::Check, 503, 104, 32, 10, 0, "6H", 0},
    {IDC_POWER_OFF_12H, ControlKind::Check, 536, 104, 32, 10, 0, "12H", 0},
    {IDC_POWER_OFF_24H, ControlKind::Check, 569, 104, 32, 10, 0, "24H", 0},
    {IDC_POWER_OFF_48H, ControlKind::Check, 602, 104, 32, 10, 0, "48H", 0},
    {IDC_SPEED_LABEL, ControlKind::Label, 356, 127, 110, 10, 1006, nullptr, 0},
    {IDC_SPEED_KMH, ControlKind::Check, 470, 127, 48, 10, 0, " Km/h", 0},
    {IDC_SPEED_MPH, ControlKind::Check, 522, 127, 48, 10, 0, " mph", 0},
    {IDC_VOLTAGE_LABEL, ControlKind::Label, 356, 149, 110, 10, 1025, nullptr, 0},
    {IDC_VOLTAGE, ControlKind::List, 470, 148, 80, 12, 0, nullptr, 0},
    {IDC_VOLTAGE_WARNING, ControlKind::Warning, 356, 163, 305, 19, 1168, nullptr, kWrap},
    {IDC_SUMMER_LABEL, ControlKind::Label, 470, 204, 80, 10, 1040, nullptr, kHidden},
    {IDC_SUMMER_ON, ControlKind::Check, 552, 204, 34, 10, 1014, nullptr, kHidden | kDisabled},
    {IDC_SUMMER_OFF, ControlKind::Check, 588, 204, 34, 10, 1018, nullptr, kHidden | kDisabled},
    {IDC_SCREEN_OFF_LABEL, ControlKind::Label, 356, 186, 110, 10, 1169, nullptr, 0},
    {IDC_SCREEN_OFF, ControlKind::List, 470, 185, 60, 12, 0, nullptr, 0},
    {IDC_CLOCK_SCREEN, ControlKind::Check, 356, 204, 10, 10, 0, nullptr, 0},
    {IDC_CLOCK_SCREEN_LABEL, ControlKind::Label, 368, 204, 98, 10, 1170, nullptr, 0},

    // Parking mode.
    {IDC_PARK_MOTION, ControlKind::Radio, 356, 252, 305, 10, 1163, nullptr, kGroupStart},
    {IDC_PARK_TIMELAPSE, ControlKind::Radio, 356, 268, 305, 10, 1164, nullptr, 0},
    {IDC_PARK_NONE, ControlKind::Radio, 356, 284, 305, 10, 1165, nullptr, 0},

    // Versions.
    {IDC_VIEWER_VERSION_LABEL, ControlKind::Label, 356, 326, 110, 10, 1108, nullptr, 0},
    {IDC_VIEWER_VERSION, ControlKind::Text, 470, 326, 190, 10, 0, nullptr, 0},
    {IDC_MODEL_LABEL, ControlKind::Label, 356, 338, 110, 10, 1052, nullptr, 0},
    {IDC_MODEL, ControlKind::Text, 470, 338, 190, 10, 0, nullptr, 0},
    {IDC_FIRMWARE_LABEL, ControlKind::Label, 356, 350, 110, 10, 1055, nullptr, 0},
    {IDC_FIRMWARE, ControlKind::Text, 470, 350, 190, 10, 0, nullptr, 0},

    {IDC_RESET, ControlKind::Button, 517, 387, 74, 20, 1010, nullptr, 0},
    {IDC_SAVE, ControlKind::Button, 595, 387, 74, 20, 1106, nullptr, 0},
};

inline constexpr std::span<const TemplateControl> Template115()
{
    return kTemplate115;
}

// The entry of the template for an id; null when the template has none.
constexpr const TemplateControl* FindTemplateControl(int id)
{
    for (const TemplateControl& c : kTemplate115) {
        if (c.id == id) {
            return &c;
        }
    }
    return nullptr;
}

}  // namespace settings
