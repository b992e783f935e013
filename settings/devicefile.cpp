// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/devicefile.h"

#include "settings/configfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace settings {

namespace {

constexpr int kRootSlotBytes = 4096;  // a whole path
constexpr int kMaxRoots = 32;

}  // namespace

std::vector<std::string> DeviceConfigRoots(MUBContext ctx)
{
    std::vector<std::string> roots;
    if (ctx == nullptr) {
        return roots;
    }
    std::vector<char> slots(static_cast<size_t>(kRootSlotBytes) * kMaxRoots, '\0');
    const int n = MUB_GetCardRoots(ctx, slots.data(), kRootSlotBytes, kMaxRoots);
    for (int i = 0; i < n && i < kMaxRoots; ++i) {
        const char* slot = slots.data() + static_cast<size_t>(i) * kRootSlotBytes;
        roots.emplace_back(slot, strnlen(slot, kRootSlotBytes));
    }
    return roots;
}

std::string DeviceConfigPath(const std::string& root)
{
    return root + "/SETTING/blackbox.cfg";
}

bool PrepareDeviceConfig(MUBContext ctx, const std::string& path)
{
    if (FILE* fp = std::fopen(path.c_str(), "rb")) {
        std::fclose(fp);
        return true;
    }
    // Only a file that is not there is made; one that is there but unreadable is the
    // camera's and must not be replaced by factory values.
    if (errno != ENOENT || ctx == nullptr) {
        return false;
    }
    char text[MUB_CONFIG_BYTES];
    int length = sizeof text;
    if (MUB_GetDefaultConfig(ctx, text, &length) == 0 || length < 0 ||
        length > static_cast<int>(sizeof text)) {
        return false;
    }
    if (!ReplaceConfigFile(path, std::string_view(text, static_cast<size_t>(length)))) {
        return false;  // no SETTING folder, or the card takes no writes
    }
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (fp == nullptr) {
        return false;
    }
    std::fclose(fp);
    return true;
}

bool OpenDeviceSettings(MUBContext ctx, const std::function<void(const std::string& path)>& open)
{
    for (const std::string& root : DeviceConfigRoots(ctx)) {
        const std::string path = DeviceConfigPath(root);
        if (PrepareDeviceConfig(ctx, path)) {
            open(path);
            return true;
        }
    }
    return false;
}

}  // namespace settings
