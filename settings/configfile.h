// SPDX-License-Identifier: GPL-3.0-or-later
// The camera's configuration file on the card: reading single keys through the INI
// profile functions, the value parsers, line-end normalisation, and replacing the file
// so that it is always either the old or the complete new one.
#pragma once

#include <string>
#include <string_view>

namespace settings {

// The value of key in section, as the profile functions give it with a buffer of
// bufferBytes (so at most bufferBytes - 1 characters); defaultText for a missing file,
// section or key.
std::string ReadConfigString(const std::string& path, const char* section, const char* key,
                             const char* defaultText, int bufferBytes);

// Optional blanks, an optional sign and decimal digits up to the first other character;
// 0 without leading digits. Values beyond the int range saturate.
int ParseConfigInt(std::string_view text);
// The same with an optional fraction ("9.5", "-3.0000"); no exponent, no "inf" or "nan";
// 0 without a leading number. Independent of the process's locale.
double ParseConfigReal(std::string_view text);
// "%d".
std::string FormatConfigInt(int value);
// "%.04f" with a '.' whatever the locale ("9.0000", "-3.0000").
std::string FormatConfigOffset(double hours);

// The file's text with every CR read as LF and runs of line ends folded into one LF:
// CR LF becomes LF, empty lines vanish, a line end at the very start stays as one LF.
std::string NormalizeConfigText(std::string_view text);

// Steps of replacing a configuration file, for fault injection in tests.
enum class ConfigWriteStep { WriteTemp, SyncTemp, Replace };
// Called before each step; returning true makes that step fail as if the system had
// refused it (a full card, a pulled card, a read-only card). Null injects nothing.
using ConfigFaultHook = bool (*)(ConfigWriteStep step);
void SetConfigFaultHook(ConfigFaultHook hook);

// Writes bytes to "<path>.temp" in the same folder, flushes it to the device and renames
// it over path in one step. On any failure path is untouched and the temporary file is
// removed. The folder is never created.
bool ReplaceConfigFile(const std::string& path, std::string_view bytes);

// Rewrites the file at path with NormalizeConfigText through ReplaceConfigFile.
// False (and the file unchanged) when it cannot be read or replaced.
bool NormalizeConfigFile(const std::string& path);

// A private working copy of a configuration file, in a memory-backed folder where there
// is one ($XDG_RUNTIME_DIR, /dev/shm), else the temporary folder, for a run of profile
// writes that must reach the card all at once or not at all.
class CConfigStage {
public:
    CConfigStage() = default;
    ~CConfigStage();
    CConfigStage(const CConfigStage&) = delete;
    CConfigStage& operator=(const CConfigStage&) = delete;

    // Copies the file at target; false when it cannot be read or copied.
    bool Begin(const std::string& target);
    // The working copy; profile writes go here.
    const std::string& Path() const { return m_copy; }
    // Normalises the working copy into target through ReplaceConfigFile.
    bool Commit();

private:
    void Discard();

    std::string m_target;
    std::string m_folder;  // the private folder holding the copy
    std::string m_copy;
};

}  // namespace settings
