// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/configfile.h"
#include "platform/fdio.h"

#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace settings {

namespace {

// The profile functions refuse larger files; a copy would be of no use.
constexpr long kMaxConfigBytes = 16L * 1024 * 1024;

std::atomic<ConfigFaultHook> g_faultHook{nullptr};

bool Injected(ConfigWriteStep step)
{
    const ConfigFaultHook hook = g_faultHook.load();
    return hook != nullptr && hook(step);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Skips blanks and an optional sign; returns the rest and whether it was negative.
std::string_view SkipToDigits(std::string_view text, bool* negative)
{
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    *negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        *negative = text.front() == '-';
        text.remove_prefix(1);
    }
    return text;
}

bool ReadFile(const std::string& path, std::string* out)
{
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (fp == nullptr) {
        return false;
    }
    out->clear();
    char buffer[16384];
    size_t got = 0;
    bool ok = true;
    while ((got = std::fread(buffer, 1, sizeof buffer, fp)) > 0) {
        out->append(buffer, got);
        if (static_cast<long>(out->size()) > kMaxConfigBytes) {
            ok = false;
            break;
        }
    }
    ok = ok && std::ferror(fp) == 0;
    std::fclose(fp);
    return ok;
}

std::string FolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A symbolic link is followed so that the link itself survives the rename.
std::string TargetOf(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            std::string target = resolved;
            std::free(resolved);
            return target;
        }
    }
    return path;
}

// Where working copies go: a memory-backed folder when there is one, because the profile
// functions flush every single write and the copy needs no durability.
std::string StageFolder()
{
    std::error_code ec;
    const char* const candidates[] = {std::getenv("XDG_RUNTIME_DIR"), "/dev/shm"};
    for (const char* candidate : candidates) {
        if (candidate != nullptr && *candidate == '/' && std::filesystem::is_directory(candidate, ec) &&
            ::access(candidate, W_OK | X_OK) == 0) {
            return candidate;
        }
    }
    const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
    return ec ? std::string("/tmp") : temp.string();
}

}  // namespace

std::string ReadConfigString(const std::string& path, const char* section, const char* key,
                             const char* defaultText, int bufferBytes)
{
    std::vector<char> buffer(static_cast<size_t>(bufferBytes > 0 ? bufferBytes : 1), '\0');
    const int n =
        GetPrivateProfileStringA(section, key, defaultText, buffer.data(), bufferBytes, path.c_str());
    return std::string(buffer.data(), static_cast<size_t>(n > 0 ? n : 0));
}

int ParseConfigInt(std::string_view text)
{
    bool negative = false;
    text = SkipToDigits(text, &negative);
    long long value = 0;
    for (char c : text) {
        if (!IsDigit(c)) {
            break;
        }
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) {
            value = static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (negative) {
        value = -value;
    }
    if (value > INT_MAX) {
        return INT_MAX;
    }
    return static_cast<int>(value < INT_MIN ? INT_MIN : value);
}

double ParseConfigReal(std::string_view text)
{
    bool negative = false;
    text = SkipToDigits(text, &negative);
    size_t end = 0;
    while (end < text.size() && IsDigit(text[end])) {
        ++end;
    }
    const size_t whole = end;
    if (end < text.size() && text[end] == '.') {
        ++end;
        while (end < text.size() && IsDigit(text[end])) {
            ++end;
        }
    }
    if (whole == 0 && end <= 1) {
        return 0.0;  // no digit at all
    }
    double value = 0.0;
    const std::from_chars_result r = std::from_chars(text.data(), text.data() + end, value);
    if (r.ec != std::errc()) {
        return 0.0;  // too large to hold
    }
    return negative ? -value : value;
}

std::string FormatConfigInt(int value)
{
    char buffer[16];
    const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, r.ptr);
}

std::string FormatConfigOffset(double hours)
{
    char buffer[64];
    const std::to_chars_result r =
        std::to_chars(buffer, buffer + sizeof buffer, hours, std::chars_format::fixed, 4);
    return r.ec == std::errc() ? std::string(buffer, r.ptr) : std::string("0.0000");
}

std::string NormalizeConfigText(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    bool lastWasLineEnd = false;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (!lastWasLineEnd) {
                out.push_back('\n');
                lastWasLineEnd = true;
            }
        } else {
            out.push_back(c);
            lastWasLineEnd = false;
        }
    }
    return out;
}

void SetConfigFaultHook(ConfigFaultHook hook)
{
    g_faultHook.store(hook);
}

bool ReplaceConfigFile(const std::string& path, std::string_view bytes)
{
    const std::string target = TargetOf(path);
    const std::string temp = target + ".temp";
    struct stat original;
    const bool exists = ::stat(target.c_str(), &original) == 0;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        return false;
    }
    if (exists) {
        ::fchmod(fd, original.st_mode & 07777);  // best effort: FAT cards have no modes
    }
    bool ok = !Injected(ConfigWriteStep::WriteTemp) && WriteAll(fd, bytes);
    ok = ok && !Injected(ConfigWriteStep::SyncTemp) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && !Injected(ConfigWriteStep::Replace) && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Makes the rename itself durable; a folder that cannot be synced is no failure.
    const int dir = ::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

bool NormalizeConfigFile(const std::string& path)
{
    std::string text;
    return ReadFile(path, &text) && ReplaceConfigFile(path, NormalizeConfigText(text));
}

CConfigStage::~CConfigStage()
{
    Discard();
}

bool CConfigStage::Begin(const std::string& target)
{
    Discard();
    std::string text;
    if (!ReadFile(target, &text)) {
        return false;
    }
    std::string pattern = StageFolder() + "/mub-settings-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        return false;
    }
    m_folder = pattern;
    m_copy = m_folder + "/blackbox.cfg";
    m_target = target;
    const int fd = ::open(m_copy.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const bool ok = fd >= 0 && WriteAll(fd, text);
    if (fd >= 0 && ::close(fd) != 0) {
        Discard();
        return false;
    }
    if (!ok) {
        Discard();
    }
    return ok;
}

bool CConfigStage::Commit()
{
    std::string text;
    return !m_copy.empty() && ReadFile(m_copy, &text) &&
           ReplaceConfigFile(m_target, NormalizeConfigText(text));
}

void CConfigStage::Discard()
{
    if (!m_folder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_folder, ec);
    }
    m_folder.clear();
    m_copy.clear();
    m_target.clear();
}

}  // namespace settings
