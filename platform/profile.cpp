// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile.h"
#include "platform/fdio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Profiles are small; anything larger is not treated as one.
constexpr long kMaxProfileBytes = 16L * 1024 * 1024;

std::mutex g_profileLock;  // serialises every read and write of every profile
std::atomic<ProfileFaultHook> g_faultHook{nullptr};

bool Injected(ProfileWriteStep step)
{
    const ProfileFaultHook hook = g_faultHook.load();
    return hook != nullptr && hook(step);
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && IsBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

char LowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

enum class LineKind { Blank, Comment, Section, Key, Other };

struct IniLine {
    size_t begin = 0;       // first byte of the line
    size_t end = 0;         // end of the content, before the line end
    size_t next = 0;        // first byte of the following line
    size_t valueStart = 0;  // Key: the byte after '='
    LineKind kind = LineKind::Other;
    std::string_view name;   // Section or Key, trimmed
    std::string_view value;  // Key, trimmed
};

IniLine Classify(std::string_view text, size_t begin, size_t end, size_t next)
{
    IniLine line;
    line.begin = begin;
    line.end = end;
    line.next = next;
    std::string_view content = text.substr(begin, end - begin);
    // A byte order mark does not hide the first line from the parser.
    if (begin == 0 && content.substr(0, 3) == "\xEF\xBB\xBF") {
        content.remove_prefix(3);
    }
    const std::string_view trimmed = Trim(content);
    const size_t eq = content.find('=');
    if (trimmed.empty()) {
        line.kind = LineKind::Blank;
    } else if (trimmed.front() == '[' && trimmed.find(']') != std::string_view::npos) {
        // A header needs its ']'; "[Name" alone is an ordinary line of the section before.
        line.kind = LineKind::Section;
        line.name = Trim(trimmed.substr(1, trimmed.find(']') - 1));
    } else if (eq != std::string_view::npos) {
        // ";name=value" is a key too, as in Win32: found by its full name, never listed.
        line.kind = LineKind::Key;
        line.name = Trim(content.substr(0, eq));
        line.value = Trim(content.substr(eq + 1));
        line.valueStart = static_cast<size_t>(content.data() - text.data()) + eq + 1;
    } else if (trimmed.front() == ';') {
        line.kind = LineKind::Comment;
    }
    return line;
}

std::vector<IniLine> SplitLines(std::string_view text)
{
    std::vector<IniLine> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t next = nl == std::string_view::npos ? text.size() : nl + 1;
        size_t end = nl == std::string_view::npos ? text.size() : nl;
        if (end > pos && text[end - 1] == '\r') {
            --end;
        }
        lines.push_back(Classify(text, pos, end, next));
        pos = next;
    }
    return lines;
}

// Index of the header line of the first section named `section`, or -1. No name reaches
// the keys before the first header or a nameless "[]" section.
long FindSection(const std::vector<IniLine>& lines, std::string_view section)
{
    if (section.empty()) {
        return -1;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == LineKind::Section && SameName(lines[i].name, section)) {
            return static_cast<long>(i);
        }
    }
    return -1;
}

// One past the last line of the section whose header is at `header`.
size_t SectionEnd(const std::vector<IniLine>& lines, size_t header)
{
    size_t i = header + 1;
    while (i < lines.size() && lines[i].kind != LineKind::Section) {
        ++i;
    }
    return i;
}

enum class ReadResult { Ok, Missing, Failed };

// Only a regular file is a profile: a named pipe in its place would block the reader,
// so the file is opened without waiting and anything else counts as unreadable.
ReadResult ReadWholeFile(const char* path, std::string* out)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > kMaxProfileBytes) {
        ::close(fd);
        return ReadResult::Failed;
    }
    out->clear();
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            ::close(fd);
            return got < 0 ? ReadResult::Failed : ReadResult::Ok;
        }
        out->append(buffer, static_cast<size_t>(got));
        if (static_cast<long>(out->size()) > kMaxProfileBytes) {
            ::close(fd);
            return ReadResult::Failed;
        }
    }
}

int CopyOut(std::string_view value, char* out, int size)
{
    if (out == nullptr || size <= 0) {
        return 0;
    }
    const size_t n = std::min(value.size(), static_cast<size_t>(size - 1));
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
    return static_cast<int>(n);
}

// Names, each followed by a NUL, then one more NUL. When the buffer is too small the
// list is cut, ends in two NULs, and the result is size - 2.
int CopyList(const std::vector<std::string_view>& names, char* out, int size)
{
    if (out == nullptr || size <= 0) {
        return 0;
    }
    std::string all;
    for (std::string_view n : names) {
        all.append(n);
        all.push_back('\0');
    }
    if (all.size() + 1 <= static_cast<size_t>(size)) {
        std::memcpy(out, all.data(), all.size());
        out[all.size()] = '\0';
        return static_cast<int>(all.size());
    }
    if (size < 2) {
        out[0] = '\0';
        return 0;
    }
    std::memcpy(out, all.data(), static_cast<size_t>(size - 2));
    out[size - 2] = '\0';
    out[size - 1] = '\0';
    return size - 2;
}

std::string_view Unquote(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        return v.substr(1, v.size() - 2);
    }
    return v;
}

bool HasLineBreak(std::string_view s)
{
    return s.find_first_of("\r\n") != std::string_view::npos;
}

// The file's own line end: that of its first line, LF when it has none.
std::string_view LineEndOf(std::string_view text)
{
    const size_t nl = text.find('\n');
    if (nl != std::string_view::npos && nl > 0 && text[nl - 1] == '\r') {
        return "\r\n";
    }
    return "\n";
}

// What ends the file's last line before more is written after it: nothing when it ends
// in LF, LF after a lone CR (which the reader already took for a line end, so it must not
// become part of the line), else the file's line end.
std::string_view EndOfUnendedLast(std::string_view text, std::string_view eol)
{
    if (text.empty() || text.back() == '\n') {
        return {};
    }
    return text.back() == '\r' ? "\n" : eol;
}

void SyncFolderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);  // best effort: makes the rename itself durable
        ::close(fd);
    }
}

// Replaces the file at path by data through a synced temporary file in the same
// folder; on any failure the original is untouched and the temporary file removed.
bool ReplaceFile(const std::string& path, std::string_view data, const struct stat* original)
{
    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
        if (Injected(ProfileWriteStep::CreateTemp)) {
            return false;
        }
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (fd < 0) {
        return false;
    }
    if (original != nullptr) {
        // Keep the original's permissions and, where allowed, its owner.
        ::fchmod(fd, original->st_mode & 07777);
        if (::fchown(fd, original->st_uid, original->st_gid) != 0) {
            // not our file to give away: it stays ours
        }
    }
    bool ok = !Injected(ProfileWriteStep::WriteTemp) && WriteAll(fd, data);
    ok = ok && !Injected(ProfileWriteStep::SyncTemp) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && !Injected(ProfileWriteStep::Replace) && ::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    SyncFolderOf(path);
    return true;
}

// The path to rewrite: a symbolic link is followed so that the link itself survives.
std::string TargetPath(const char* file)
{
    char resolved[PATH_MAX];
    struct stat st;
    if (::lstat(file, &st) == 0 && S_ISLNK(st.st_mode) && ::realpath(file, resolved) != nullptr) {
        return resolved;
    }
    return file;
}

}  // namespace

void SetProfileFaultHook(ProfileFaultHook hook)
{
    g_faultHook.store(hook);
}

int GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* out,
                             int size, const char* file)
{
    if (out == nullptr || size <= 0) {
        return 0;
    }
    std::string_view fallback = defaultValue != nullptr ? defaultValue : "";
    while (!fallback.empty() && IsBlank(fallback.back())) {
        fallback.remove_suffix(1);
    }

    std::lock_guard<std::mutex> lock(g_profileLock);
    std::string text;
    const bool readable = file != nullptr && ReadWholeFile(file, &text) == ReadResult::Ok;
    const std::vector<IniLine> lines = readable ? SplitLines(text) : std::vector<IniLine>{};

    if (section == nullptr) {
        std::vector<std::string_view> names;
        for (const IniLine& line : lines) {
            // An empty name would end the NUL-separated list early.
            if (line.kind == LineKind::Section && !line.name.empty()) {
                names.push_back(line.name);
            }
        }
        return CopyList(names, out, size);
    }
    const long header = FindSection(lines, Trim(section));
    if (key == nullptr) {
        std::vector<std::string_view> names;
        if (header >= 0) {
            const size_t end = SectionEnd(lines, static_cast<size_t>(header));
            for (size_t i = static_cast<size_t>(header) + 1; i < end; ++i) {
                if (lines[i].kind == LineKind::Key && !lines[i].name.empty() &&
                    lines[i].name.front() != ';') {
                    names.push_back(lines[i].name);
                }
            }
        }
        // A section that is missing or has no keys gives the default, as in Win32.
        return names.empty() ? CopyOut(fallback, out, size) : CopyList(names, out, size);
    }
    if (header >= 0) {
        const std::string_view wanted = Trim(key);
        const size_t end = SectionEnd(lines, static_cast<size_t>(header));
        for (size_t i = static_cast<size_t>(header) + 1; i < end; ++i) {
            if (lines[i].kind == LineKind::Key && SameName(lines[i].name, wanted)) {
                return CopyOut(Unquote(lines[i].value), out, size);
            }
        }
    }
    return CopyOut(fallback, out, size);
}

bool WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* file)
{
    if (section == nullptr || file == nullptr || *file == '\0') {
        return false;
    }
    const std::string_view sectionName = Trim(section);
    const std::string_view keyName = key != nullptr ? Trim(key) : std::string_view();
    const std::string_view newValue = value != nullptr ? value : "";
    // What cannot be stored on one line would turn into other lines on the next read.
    if (sectionName.empty() || HasLineBreak(sectionName) || sectionName.find(']') != std::string_view::npos) {
        return false;
    }
    if (key != nullptr && (keyName.empty() || HasLineBreak(keyName) ||
                           keyName.find('=') != std::string_view::npos || keyName.front() == '[')) {
        return false;
    }
    if (HasLineBreak(newValue)) {
        return false;
    }

    std::lock_guard<std::mutex> lock(g_profileLock);
    const std::string path = TargetPath(file);
    std::string text;
    const ReadResult read = ReadWholeFile(path.c_str(), &text);
    if (read == ReadResult::Failed) {
        return false;
    }
    struct stat original;
    const bool exists = read == ReadResult::Ok && ::stat(path.c_str(), &original) == 0;
    const std::vector<IniLine> lines = SplitLines(text);
    const std::string_view eol = LineEndOf(text);
    const long header = FindSection(lines, sectionName);

    std::string updated;
    if (key == nullptr) {
        if (header < 0) {
            return true;  // nothing to delete
        }
        const size_t end = SectionEnd(lines, static_cast<size_t>(header));
        const size_t from = lines[static_cast<size_t>(header)].begin;
        const size_t to = end < lines.size() ? lines[end].begin : text.size();
        updated = text.substr(0, from) + text.substr(to);
    } else if (header < 0) {
        if (value == nullptr) {
            return true;
        }
        updated = text;
        updated.append(EndOfUnendedLast(text, eol));
        updated.append("[").append(sectionName).append("]").append(eol);
        updated.append(keyName).append("=").append(newValue).append(eol);
    } else {
        const size_t head = static_cast<size_t>(header);
        const size_t end = SectionEnd(lines, head);
        long found = -1;
        size_t lastKey = head;
        for (size_t i = head + 1; i < end; ++i) {
            if (lines[i].kind == LineKind::Key) {
                lastKey = i;
                if (found < 0 && SameName(lines[i].name, keyName)) {
                    found = static_cast<long>(i);
                }
            }
        }
        if (found >= 0) {
            const IniLine& line = lines[static_cast<size_t>(found)];
            if (value == nullptr) {
                updated = text.substr(0, line.begin) + text.substr(line.next);
            } else {
                // Keep the key as written, and the blanks after '=' when there were any.
                size_t from = line.valueStart;
                while (from < line.end && IsBlank(text[from])) {
                    ++from;
                }
                updated = text.substr(0, from);
                updated.append(newValue);
                updated.append(text.substr(line.end));
            }
        } else {
            if (value == nullptr) {
                return true;
            }
            const IniLine& after = lines[lastKey];
            // After the last line of a file that has no line end, the new line ends the
            // file the same way; anywhere else it gets the file's line end.
            const bool last = after.next == text.size() && text.back() != '\n';
            std::string inserted(last ? EndOfUnendedLast(text, eol) : std::string_view());
            inserted.append(keyName).append("=").append(newValue);
            if (!last) {
                inserted.append(eol);
            }
            updated = text.substr(0, after.next) + inserted + text.substr(after.next);
        }
    }
    if (exists && updated == text) {
        return true;
    }
    return ReplaceFile(path, updated, exists ? &original : nullptr);
}
