// SPDX-License-Identifier: GPL-3.0-or-later
// Numeric resource ids of the viewer's images and the file each one is made into.
// The skin generator (res/skingen) draws every file named here; the res library maps ids to them.
#pragma once

#include <array>
#include <cstddef>

// Images the windows name directly.
constexpr int IDI_MAINFRAME = 110;  // application and window icon
constexpr int IDB_MAIN_BG = 119;    // main window background, 975 x 736
constexpr int IDB_CH3_BG = 805;     // third-channel window background, 655 x 401

// Vehicle-signal pictures.
constexpr int IDB_PEDAL_NONE = 808;
constexpr int IDB_PEDAL_A = 810;
constexpr int IDB_PEDAL_B = 811;
constexpr int IDB_GEAR_D = 812;
constexpr int IDB_GEAR_N = 813;
constexpr int IDB_GEAR_NONE = 814;
constexpr int IDB_GEAR_P = 815;
constexpr int IDB_GEAR_R = 816;
constexpr int IDB_TURN_LEFT = 817;
constexpr int IDB_TURN_NONE = 818;
constexpr int IDB_TURN_RIGHT = 819;
constexpr int IDB_TURN_BOTH = 820;
constexpr int IDB_PEDAL_BA = 821;

// A button's images sit at base + state.
enum SkinState { kSkinNormal = 0, kSkinSelected = 1, kSkinFocus = 2, kSkinDisabled = 3 };
constexpr int SkinId(int base, int state)
{
    return base + state;
}

// Four-image buttons (CBitmapButtonTrans), key colour black.
constexpr int IDB_BTN_MINIMIZE = 2000;
constexpr int IDB_BTN_CLOSE = 2010;
constexpr int IDB_BTN_FULLSCREEN = 2020;
constexpr int IDB_BTN_RESTORE = 2030;
constexpr int IDB_BTN_CH3 = 2040;
constexpr int IDB_BTN_ZOOM = 2050;
constexpr int IDB_BTN_SETTINGS = 2060;
constexpr int IDB_BTN_CAPTURE = 2070;
constexpr int IDB_BTN_OPEN = 2080;
constexpr int IDB_BTN_STOP = 2090;
constexpr int IDB_BTN_PREV = 2100;
constexpr int IDB_BTN_BACK10 = 2110;
constexpr int IDB_BTN_PLAY = 2120;
constexpr int IDB_BTN_FWD10 = 2130;
constexpr int IDB_BTN_NEXT = 2140;
constexpr int IDB_BTN_PAUSE = 2150;
constexpr int IDB_BTN_BRIGHTNESS = 2160;  // the inert button beside the brightness slider
constexpr int IDB_BTN_CH3_RETURN = 2170;  // third-channel window: back to the main window
constexpr int IDB_BTN_CH3_CLOSE = 2180;   // third-channel window: hide

// Skinned check boxes (CxSkinButton): normal, down (checked) and disabled at base + 0, 1 and 3;
// base + 2 repeats the disabled image, so base + 0..2 also reads as normal, down, disabled.
constexpr int IDB_BOX_MUTE = 2200;
constexpr int IDB_BOX_MIRROR = 2210;

// Slider images: channel, active channel, thumb. The top-left pixel of each is its see-through colour.
constexpr int IDB_SLIDER_POS_CHANNEL = 2300;
constexpr int IDB_SLIDER_POS_ACTIVE = 2301;
constexpr int IDB_SLIDER_POS_THUMB = 2302;
constexpr int IDB_SLIDER_VOL_CHANNEL = 2310;
constexpr int IDB_SLIDER_VOL_ACTIVE = 2311;
constexpr int IDB_SLIDER_VOL_THUMB = 2312;
constexpr int IDB_SLIDER_BRIGHT_CHANNEL = 2320;
constexpr int IDB_SLIDER_BRIGHT_ACTIVE = 2321;
constexpr int IDB_SLIDER_BRIGHT_THUMB = 2322;

// Images with captions come in one set per skin language; see LangSkinId.
enum class SkinSet { Default = 0, Chinese = 1, Japanese = 2 };
inline constexpr int kLangSkinBase[3] = {3000, 4000, 5000};
constexpr int IDL_SWAP = 0;          // swap front/rear (399)
constexpr int IDL_MAP_ENLARGE = 10;  // enlarge map (403)
constexpr int IDL_CAT_DRIVING = 20;  // category buttons 434, 432, 433, 435, 438
constexpr int IDL_CAT_EVENT = 30;
constexpr int IDL_CAT_MOTION = 40;
constexpr int IDL_CAT_MANUAL = 50;
constexpr int IDL_CAT_ALL = 60;
constexpr int IDL_EXPORT = 70;    // export (431)
constexpr int IDL_VIEW_TWO = 80;  // view box 402, side place shows the other channel
constexpr int IDL_VIEW_MAP = 90;  // view box 401, side place shows the map
constexpr int LangSkinId(int item, SkinSet set, int state = kSkinNormal)
{
    return kLangSkinBase[static_cast<int>(set)] + item + state;
}

struct SkinEntry {
    int id;
    const char* name;  // file name under the skin folder, without ".png"
};

// Every image the viewer uses. Language-set images follow in SkinImageEntries().
inline constexpr std::array kSkinEntries = {
    SkinEntry{IDI_MAINFRAME, "app_icon"},
    SkinEntry{IDB_MAIN_BG, "main_bg"},
    SkinEntry{IDB_CH3_BG, "ch3_bg"},
    SkinEntry{IDB_PEDAL_NONE, "pedal_none"},
    SkinEntry{IDB_PEDAL_A, "pedal_a"},
    SkinEntry{IDB_PEDAL_B, "pedal_b"},
    SkinEntry{IDB_PEDAL_BA, "pedal_ba"},
    SkinEntry{IDB_GEAR_D, "gear_d"},
    SkinEntry{IDB_GEAR_N, "gear_n"},
    SkinEntry{IDB_GEAR_NONE, "gear_none"},
    SkinEntry{IDB_GEAR_P, "gear_p"},
    SkinEntry{IDB_GEAR_R, "gear_r"},
    SkinEntry{IDB_TURN_LEFT, "turn_left"},
    SkinEntry{IDB_TURN_NONE, "turn_none"},
    SkinEntry{IDB_TURN_RIGHT, "turn_right"},
    SkinEntry{IDB_TURN_BOTH, "turn_both"},
    SkinEntry{IDB_SLIDER_POS_CHANNEL, "slider_pos_channel"},
    SkinEntry{IDB_SLIDER_POS_ACTIVE, "slider_pos_active"},
    SkinEntry{IDB_SLIDER_POS_THUMB, "slider_pos_thumb"},
    SkinEntry{IDB_SLIDER_VOL_CHANNEL, "slider_vol_channel"},
    SkinEntry{IDB_SLIDER_VOL_ACTIVE, "slider_vol_active"},
    SkinEntry{IDB_SLIDER_VOL_THUMB, "slider_vol_thumb"},
    SkinEntry{IDB_SLIDER_BRIGHT_CHANNEL, "slider_bright_channel"},
    SkinEntry{IDB_SLIDER_BRIGHT_ACTIVE, "slider_bright_active"},
    SkinEntry{IDB_SLIDER_BRIGHT_THUMB, "slider_bright_thumb"},
};

// Buttons with four state images, named "<name>_n", "_s", "_f", "_d".
inline constexpr std::array kSkinButtons = {
    SkinEntry{IDB_BTN_MINIMIZE, "btn_minimize"},
    SkinEntry{IDB_BTN_CLOSE, "btn_close"},
    SkinEntry{IDB_BTN_FULLSCREEN, "btn_fullscreen"},
    SkinEntry{IDB_BTN_RESTORE, "btn_restore"},
    SkinEntry{IDB_BTN_CH3, "btn_ch3"},
    SkinEntry{IDB_BTN_ZOOM, "btn_zoom"},
    SkinEntry{IDB_BTN_SETTINGS, "btn_settings"},
    SkinEntry{IDB_BTN_CAPTURE, "btn_capture"},
    SkinEntry{IDB_BTN_OPEN, "btn_open"},
    SkinEntry{IDB_BTN_STOP, "btn_stop"},
    SkinEntry{IDB_BTN_PREV, "btn_prev"},
    SkinEntry{IDB_BTN_BACK10, "btn_back10"},
    SkinEntry{IDB_BTN_PLAY, "btn_play"},
    SkinEntry{IDB_BTN_FWD10, "btn_fwd10"},
    SkinEntry{IDB_BTN_NEXT, "btn_next"},
    SkinEntry{IDB_BTN_PAUSE, "btn_pause"},
    SkinEntry{IDB_BTN_BRIGHTNESS, "btn_brightness"},
    SkinEntry{IDB_BTN_CH3_RETURN, "btn_ch3_return"},
    SkinEntry{IDB_BTN_CH3_CLOSE, "btn_ch3_close"},
    SkinEntry{IDB_BOX_MUTE, "box_mute"},
    SkinEntry{IDB_BOX_MIRROR, "box_mirror"},
};

// Captioned buttons per language set (the view boxes IDL_VIEW_* are check boxes as above), named
// "<name>_<set>_<state>", set "ko", "zh" or "jp".
inline constexpr std::array kLangSkinButtons = {
    SkinEntry{IDL_SWAP, "swap"},
    SkinEntry{IDL_MAP_ENLARGE, "map_enlarge"},
    SkinEntry{IDL_CAT_DRIVING, "cat_driving"},
    SkinEntry{IDL_CAT_EVENT, "cat_event"},
    SkinEntry{IDL_CAT_MOTION, "cat_motion"},
    SkinEntry{IDL_CAT_MANUAL, "cat_manual"},
    SkinEntry{IDL_CAT_ALL, "cat_all"},
    SkinEntry{IDL_EXPORT, "export"},
    SkinEntry{IDL_VIEW_TWO, "view_two"},
    SkinEntry{IDL_VIEW_MAP, "view_map"},
};
inline constexpr const char* kSkinSetNames[3] = {"ko", "zh", "jp"};
inline constexpr const char* kSkinStateNames[4] = {"n", "s", "f", "d"};
