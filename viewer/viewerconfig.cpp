// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/viewerconfig.h"

#include "platform/profile.h"
#include "platform/trace.h"
#include "viewer/timeline.h"

#include <QDir>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace viewer {

namespace {

constexpr const char* kSection = "config";
// The read default that marks an absent key.
constexpr const char* kAbsent = "-200";
constexpr int kAbsentValue = -200;
// The sentinel read takes at most 9 characters.
constexpr int kValueChars = 10;
// Windows paths are limited to 259 bytes; a profile value longer than that is cut.
constexpr int kFolderChars = 260;

int ReadInt(const std::string& file, const char* key)
{
    char text[kValueChars] = {};
    GetPrivateProfileStringA(kSection, key, kAbsent, text, sizeof(text), file.c_str());
    return std::atoi(text);
}

}  // namespace

std::string ConfigFolder()
{
    const char* override = std::getenv("MUB_VIEWER_CONFIG_DIR");
    if (override != nullptr && *override != '\0') {
        return override;
    }
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation).toStdString();
}

std::string ConfigFilePath(const std::string& folder)
{
    return folder + "/config.cfg";
}

std::string ProfileFilePath(const std::string& folder)
{
    return folder + "/profile.ini";
}

ViewerConfig LoadViewerConfig(const std::string& folder)
{
    QDir().mkpath(QString::fromStdString(folder));
    const std::string file = ConfigFilePath(folder);
    {
        std::ifstream existing(file);
        if (!existing) {
            std::ofstream create(file);
        }
    }
    ViewerConfig config;
    const int brightness = ReadInt(file, "brightness");
    config.brightness = brightness == kAbsentValue ? kDefaultBrightness : brightness;
    const int volume = ReadInt(file, "volume");
    config.volume = volume == kAbsentValue ? kDefaultVolume : volume;
    config.brightness = std::clamp(config.brightness, kBrightnessMin, kBrightnessMax);
    config.volume = std::clamp(config.volume, 0, kVolumeMax);
    return config;
}

bool SaveViewerConfig(const std::string& folder, const ViewerConfig& config)
{
    const std::string file = ConfigFilePath(folder);
    Trace("SaveConfig\n");
    char text[16];
    std::snprintf(text, sizeof(text), "%d", config.brightness);
    Trace("Brightness => %d\n", config.brightness);
    const bool brightnessOk = WritePrivateProfileStringA(kSection, "brightness", text, file.c_str());
    std::snprintf(text, sizeof(text), "%d", config.volume);
    Trace("Volume => %d\n", config.volume);
    const bool volumeOk = WritePrivateProfileStringA(kSection, "volume", text, file.c_str());
    return brightnessOk && volumeOk;
}

bool ReadExportTelemetry(const std::string& folder)
{
    return ReadInt(ConfigFilePath(folder), "export_telemetry") == 1;
}

bool WriteExportTelemetry(const std::string& folder, bool on)
{
    QDir().mkpath(QString::fromStdString(folder));
    return WritePrivateProfileStringA(kSection, "export_telemetry", on ? "1" : "0",
                                      ConfigFilePath(folder).c_str());
}

std::string ReadTargetFolder(const std::string& folder)
{
    char text[kFolderChars] = {};
    GetPrivateProfileStringA("Info", "TargetFolder", "", text, sizeof(text), ProfileFilePath(folder).c_str());
    return text;
}

bool WriteTargetFolder(const std::string& folder, const std::string& target)
{
    QDir().mkpath(QString::fromStdString(folder));
    return WritePrivateProfileStringA("Info", "TargetFolder", target.c_str(),
                                      ProfileFilePath(folder).c_str());
}

}  // namespace viewer
