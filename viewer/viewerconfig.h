// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's own settings: playback volume and picture brightness in "config.cfg"
// (section "config") and the application profile (section "Info"), both in the per-user
// configuration folder.
#pragma once

#include <string>

namespace viewer {

// Defaults of keys that are absent.
constexpr int kDefaultBrightness = 1;
constexpr int kDefaultVolume = 50;

struct ViewerConfig {
    int brightness = kDefaultBrightness;
    int volume = kDefaultVolume;
};

// The folder: $MUB_VIEWER_CONFIG_DIR when set (tests), else the per-user application
// configuration location.
std::string ConfigFolder();
std::string ConfigFilePath(const std::string& folder);   // <folder>/config.cfg
std::string ProfileFilePath(const std::string& folder);  // <folder>/profile.ini

// Creates the folder and an empty file when missing, then reads both keys; a key that
// reads back as the sentinel "-200" takes its default. Values are kept inside the
// sliders' ranges (volume 0..99, brightness -5..5).
ViewerConfig LoadViewerConfig(const std::string& folder);
// Writes "brightness" then "volume"; false when the file could not be written.
bool SaveViewerConfig(const std::string& folder, const ViewerConfig& config);

// Key "export_telemetry" of "config.cfg": whether an export also writes each recording's
// GPS track and telemetry beside it (off when absent).
bool ReadExportTelemetry(const std::string& folder);
bool WriteExportTelemetry(const std::string& folder, bool on);

// Section "Info", key "TargetFolder" of the profile (empty by default).
std::string ReadTargetFolder(const std::string& folder);
bool WriteTargetFolder(const std::string& folder, const std::string& target);

}  // namespace viewer
