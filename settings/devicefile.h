// SPDX-License-Identifier: GPL-3.0-or-later
// Finding the camera's configuration file on a card, and making it from the card
// library's factory text when the card has none.
#pragma once

#include "mublib/mublib.h"

#include <functional>
#include <string>
#include <vector>

namespace settings {

// The card folders and removable volumes the card library knows, in the order to try.
std::vector<std::string> DeviceConfigRoots(MUBContext ctx);
// "<root>/SETTING/blackbox.cfg".
std::string DeviceConfigPath(const std::string& root);

// True when the file at path can be read. A missing file is first made from the card
// library's factory text; the SETTING folder is never created, and a file that exists
// but cannot be read is left alone.
bool PrepareDeviceConfig(MUBContext ctx, const std::string& path);

// Calls open with the configuration file of the first root whose file exists or could be
// made, and returns true; false when no root qualifies.
bool OpenDeviceSettings(MUBContext ctx, const std::function<void(const std::string& path)>& open);

}  // namespace settings
