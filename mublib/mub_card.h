// SPDX-License-Identifier: GPL-3.0-or-later
// The card side of the library: recording names, where a card is, and what is on it.
// The folder layout is in docs/card-format.md.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace mub {

// <card root>/RECORD marks a card; recordings live in one folder per category below it.
constexpr const char* kRecordDir = "RECORD";
constexpr const char* kCardIdFile = "RECORD/CARD.ID";
constexpr const char* kSettingDir = "SETTING";
constexpr const char* kConfigFile = "SETTING/blackbox.cfg";

// Indexed by library category (0 event, 1 driving, 2 parking, 3 manual).
constexpr const char* kCategoryDirs[4] = {"EVENT", "DRIVING", "PARKING", "MANUAL"};
constexpr const char* kCategoryWords[4] = {"EVENT", "REC", "PARKING", "MANUAL"};

struct RecordingName {
    int category = -1;
    std::string stem;  // WORD_YYYYMMDD_HHMMSS_L, without extension
    char letter = 0;   // upper case
};

// Accepts "WORD_YYYYMMDD_HHMMSS_L.avi" (or ".mub"), with or without one leading "/".
// Nothing else passes, so a name can never reach outside its category folder.
bool ParseRecordingName(const char* name, RecordingName* out);
// The name as reported to callers: "<stem>.avi".
std::string MakeRecordingName(int category, time_t wallClock, char letter);
// Which video channels a channel letter carries (D: 0+1, T: 0+1+2, E: 0+2, N: 0).
bool LetterHasChannel(char letter, int channel);

std::string CategoryFolder(const std::string& root, int category);
std::string RecordingPath(const std::string& root, int category, const std::string& stem);

bool HoldsCardLayout(const std::string& root);
// A stable 64-bit identity of the card at root (path, folder identity, id file).
uint64_t CardKey(const std::string& root);

// Mount table lines as (device, mount point), in mount order, escapes undone.
std::vector<std::pair<std::string, std::string>> ParseMountTable(const std::string& text);
// True when the block device (a partition resolves to its disk) has the kernel's
// removable flag. sysRoot is "/sys" outside tests.
bool IsRemovableBlockDevice(const std::string& device, const std::string& sysRoot);
// Roots of mounted removable volumes, in mount order.
std::vector<std::string> RemovableMountPoints(const std::string& mountsFile, const std::string& sysRoot);

struct ListEntry {
    std::string stem;
    std::string path;
    uint64_t sizeBytes = 0;
    uint32_t seconds = 0;  // 0 when the recording was cut short (length not in its header)
};

// Recordings of a category in name order (oldest first). Reads only headers.
std::vector<ListEntry> ListCategory(const std::string& root, int category);

// The factory configuration text, CR LF line ends.
const std::string& DefaultConfigText();

}  // namespace mub
