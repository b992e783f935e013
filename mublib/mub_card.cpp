#include "mublib/mub_card.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include "mublib/mub_container.h"

namespace mub {
namespace {

bool AllDigits(const char* p, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(p[i]))) {
            return false;
        }
    }
    return true;
}

bool EqualsNoCase(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool IsDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Only regular files: a named pipe (or a link to one) in the card's place must not block.
std::string ReadSmallFile(const std::string& path, size_t limit)
{
    std::string out;
    uint64_t size = 0;
    const int fd = OpenRegularFile(path, &size);
    if (fd < 0) {
        return out;
    }
    CFdGuard guard(fd);
    out.resize(limit);
    const ssize_t n = ::read(fd, out.data(), limit);
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

bool IsRegularFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

uint64_t Fnv1a(const void* data, size_t len, uint64_t h = 0xcbf29ce484222325ull)
{
    const auto* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < len; ++i) {
        h = (h ^ p[i]) * 0x100000001b3ull;
    }
    return h;
}

}  // namespace

bool ParseRecordingName(const char* name, RecordingName* out)
{
    if (!name) {
        return false;
    }
    if (*name == '/') {
        ++name;
    }
    const size_t len = ::strnlen(name, 64);
    int category = -1;
    size_t wordLen = 0;
    for (int c = 0; c < 4; ++c) {
        const size_t n = std::strlen(kCategoryWords[c]);
        if (len > n && std::strncmp(name, kCategoryWords[c], n) == 0 && name[n] == '_') {
            category = c;
            wordLen = n;
        }
    }
    // WORD _ YYYYMMDD _ HHMMSS _ L .ext
    if (category < 0 || len != wordLen + 1 + 8 + 1 + 6 + 1 + 1 + 4) {
        return false;
    }
    const char* p = name + wordLen + 1;
    if (!AllDigits(p, 8) || p[8] != '_' || !AllDigits(p + 9, 6) || p[15] != '_') {
        return false;
    }
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(p[16])));
    if (std::strchr("DTEN", letter) == nullptr || letter == 0) {
        return false;
    }
    const char* ext = p + 17;
    if (!EqualsNoCase(ext, ".avi", 4) && !EqualsNoCase(ext, kRecordingExt, 4)) {
        return false;
    }
    out->category = category;
    out->letter = letter;
    out->stem.assign(name, static_cast<size_t>(ext - name));
    out->stem.back() = letter;  // files on the card carry the letter in upper case
    return true;
}

std::string MakeRecordingName(int category, time_t wallClock, char letter)
{
    struct tm t {};
    gmtime_r(&wallClock, &t);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s_%04d%02d%02d_%02d%02d%02d_%c.avi",
                  kCategoryWords[std::clamp(category, 0, 3)], (t.tm_year + 1900) % 10000,
                  (t.tm_mon + 1) % 100, t.tm_mday % 100, t.tm_hour % 100, t.tm_min % 100, t.tm_sec % 100,
                  letter);
    return buf;
}

bool LetterHasChannel(char letter, int channel)
{
    switch (std::toupper(static_cast<unsigned char>(letter))) {
        case 'D':
            return channel == 0 || channel == 1;
        case 'T':
            return channel >= 0 && channel <= 2;
        case 'E':
            return channel == 0 || channel == 2;
        case 'N':
            return channel == 0;
        default:
            return false;
    }
}

std::string CategoryFolder(const std::string& root, int category)
{
    return root + "/" + kRecordDir + "/" + kCategoryDirs[category];
}

std::string RecordingPath(const std::string& root, int category, const std::string& stem)
{
    return CategoryFolder(root, category) + "/" + stem + kRecordingExt;
}

bool HoldsCardLayout(const std::string& root)
{
    return !root.empty() && IsDirectory(root + "/" + kRecordDir);
}

uint64_t CardKey(const std::string& root)
{
    uint64_t h = Fnv1a(root.data(), root.size());
    struct stat st {};
    if (::stat((root + "/" + kRecordDir).c_str(), &st) == 0) {
        const uint64_t ids[2] = {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
        h = Fnv1a(ids, sizeof ids, h);
    }
    const std::string id = ReadSmallFile(root + "/" + kCardIdFile, 64);
    return Fnv1a(id.data(), id.size(), h);
}

std::vector<std::pair<std::string, std::string>> ParseMountTable(const std::string& text)
{
    auto unescape = [](const std::string& s) {
        std::string out;
        for (size_t i = 0; i < s.size(); ++i) {
            if (s[i] == '\\' && i + 3 < s.size() && AllDigits(s.data() + i + 1, 3)) {
                out +=
                    static_cast<char>(((s[i + 1] - '0') << 6) | ((s[i + 2] - '0') << 3) | (s[i + 3] - '0'));
                i += 3;
            } else {
                out += s[i];
            }
        }
        return out;
    };
    std::vector<std::pair<std::string, std::string>> mounts;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string dev, dir;
        if (fields >> dev >> dir) {
            mounts.emplace_back(unescape(dev), unescape(dir));
        }
    }
    return mounts;
}

bool IsRemovableBlockDevice(const std::string& device, const std::string& sysRoot)
{
    struct stat st {};
    if (::stat(device.c_str(), &st) != 0 || !S_ISBLK(st.st_mode)) {
        return false;
    }
    char link[64];
    std::snprintf(link, sizeof link, "/dev/block/%u:%u", major(st.st_rdev), minor(st.st_rdev));
    char resolved[PATH_MAX];
    if (!::realpath((sysRoot + link).c_str(), resolved)) {
        return false;
    }
    std::string node = resolved;
    // A partition sits in its disk's folder and has a "partition" file.
    if (::access((node + "/partition").c_str(), F_OK) == 0) {
        node = node.substr(0, node.find_last_of('/'));
    }
    const std::string flag = ReadSmallFile(node + "/removable", 4);
    return !flag.empty() && flag[0] == '1';
}

std::vector<std::string> RemovableMountPoints(const std::string& mountsFile, const std::string& sysRoot)
{
    std::vector<std::string> roots;
    const std::string text = ReadSmallFile(mountsFile, 256 * 1024);
    for (const auto& [dev, dir] : ParseMountTable(text)) {
        if (dev.rfind("/dev/", 0) == 0 && IsRemovableBlockDevice(dev, sysRoot)) {
            roots.push_back(dir);
        }
    }
    return roots;
}

std::vector<ListEntry> ListCategory(const std::string& root, int category)
{
    std::vector<ListEntry> list;
    if (category < 0 || category > 3) {
        return list;
    }
    const std::string folder = CategoryFolder(root, category);
    // Closed also when an exception passes (the C interface turns it into an error).
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), &::closedir);
    if (!dir) {
        return list;
    }
    while (struct dirent* e = ::readdir(dir.get())) {
        if (e->d_type != DT_REG && e->d_type != DT_UNKNOWN && e->d_type != DT_LNK) {
            continue;
        }
        RecordingName name;
        if (!ParseRecordingName(e->d_name, &name) || name.category != category ||
            std::strcmp(e->d_name + name.stem.size(), kRecordingExt) != 0 ||
            std::strncmp(e->d_name, name.stem.c_str(), name.stem.size()) != 0) {
            continue;
        }
        ListEntry entry;
        entry.stem = name.stem;
        entry.path = folder + "/" + e->d_name;
        if (e->d_type != DT_REG && !IsRegularFile(entry.path)) {
            continue;  // a link to something other than a file, or no file at all
        }
        RecordingHeader h;
        if (!ReadHeaderOnly(entry.path, &h, &entry.sizeBytes)) {
            continue;  // not one of ours
        }
        entry.seconds = h.durationMs / 1000;
        list.push_back(std::move(entry));
    }
    std::sort(list.begin(), list.end(),
              [](const ListEntry& a, const ListEntry& b) { return a.stem < b.stem; });
    return list;
}

const std::string& DefaultConfigText()
{
    static const std::string text = [] {
        static const char* const lines[] = {
            "[capacity]",
            "const=40",
            "event=20",
            "manual=10",
            "park=30",
            "[blackbox]",
            "mub_update=0",
            "language=kr",
            "def_language=kr",
            "def_local_time=9.0000",
            "version=1.0.0",
            "model=V4",
            "power_off_vlt=12200",
            "mic_in=1",
            "mic_volume=3",
            "voice_out=1",
            "voice_volume=3",
            "use_tick=1",
            "acc_level=3",
            "motion_level=3",
            "use_ldws=0",
            "use_fvsa=0",
            "safe_drive=0",
            "adas_alarm=0",
            "use_tlds=0",
            "ldws_left=3",
            "ldws_right=3",
            "local_time=9.0000",
            "lcd_time_s=0",
            "lcdoff_time_s=60",
            "power_off_hour=24",
            "summer_time=0",
            "osd_speed=1",
            "park_mode=1",
            "[time]",
            "set=0",
            "year=2024",
            "month=1",
            "day=1",
            "hour=12",
            "min=0",
            "sec=0",
        };
        std::string t;
        for (const char* l : lines) {
            t += l;
            t += "\r\n";
        }
        return t;
    }();
    return text;
}

}  // namespace mub
