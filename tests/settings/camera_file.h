// SPDX-License-Identifier: GPL-3.0-or-later
// Shared by the settings tests: the PC clock they run at, a camera's file as the viewer
// leaves it after a save, and whole-file reads and writes.
#pragma once

#include "settings/settingmodel.h"
#include "tests/mublib/card_fixture.h"

#include <string>
#include <vector>

namespace settings_test {

// The PC's clock in every test: March of a leap year.
inline constexpr settings::LocalTime kNow{2028, 3, 10, 13, 45, 30};

// A camera's file as the viewer leaves it after a save.
inline const char* const kCamera =
    "[capacity]\n"
    "const=40\n"
    "event=20\n"
    "manual=10\n"
    "park=30\n"
    "[blackbox]\n"
    "mub_update=1\n"
    "language=kr\n"
    "def_language=kr\n"
    "def_local_time=9.0000\n"
    "version=1.0.0\n"
    "model=V4\n"
    "power_off_vlt=12200\n"
    "mic_in=1\n"
    "mic_volume=3\n"
    "voice_out=1\n"
    "voice_volume=3\n"
    "use_tick=1\n"
    "acc_level=3\n"
    "motion_level=3\n"
    "use_ldws=0\n"
    "use_fvsa=0\n"
    "safe_drive=0\n"
    "adas_alarm=0\n"
    "use_tlds=0\n"
    "ldws_left=3\n"
    "ldws_right=3\n"
    "local_time=9.0000\n"
    "lcd_time_s=0\n"
    "lcdoff_time_s=60\n"
    "power_off_hour=24\n"
    "summer_time=0\n"
    "osd_speed=1\n"
    "park_mode=1\n"
    "[time]\n"
    "set=0\n"
    "year=2024\n"
    "month=1\n"
    "day=1\n"
    "hour=12\n"
    "min=0\n"
    "sec=0\n";

inline std::string Bytes(const std::string& path)
{
    const std::vector<uint8_t> b = ReadWholeFile(path);
    return std::string(b.begin(), b.end());
}

inline void Put(const std::string& path, const std::string& text)
{
    WriteWholeFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

}  // namespace settings_test
