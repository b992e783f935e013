// The INI profile functions on an arbitrary file and one arbitrary write.
//
// Input: a flags byte, then section, key and value, each ended by a zero byte, then the
// file's bytes. Flags: bit 0 key null (delete the section), bit 1 value null (delete the
// key), bits 2-4 a buffer size for the reads.
//
// Checked: every read stays in its buffer and terminates it; a write that fails leaves
// the file byte for byte; a write that succeeds reads back as written, changes no other
// key's value, and keeps every other line's bytes (one line replaced, or up to two added,
// or the deleted lines gone).
#include "platform/profile.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "profile_fuzz: %s\n", what);
        std::abort();
    }
}

const std::string& FilePath()
{
    static const std::string path = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (dir != nullptr ? dir : "/tmp");
        return base + "/profile_fuzz_" + std::to_string(getpid()) + ".ini";
    }();
    // Registered once path is whole, so it runs before path goes away.
    static const bool removedAtExit = std::atexit([] { unlink(FilePath().c_str()); }) == 0;
    (void)removedAtExit;
    return path;
}

void WriteFile(const std::string& text)
{
    std::ofstream out(FilePath(), std::ios::binary | std::ios::trunc);
    out << text;
}

std::string ReadFile()
{
    std::ifstream in(FilePath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A read into a buffer with a guard byte behind it.
std::string Get(const char* section, const char* key, const char* def, int size)
{
    std::vector<char> buf(static_cast<size_t>(size) + 1, '\x7f');
    const int n = GetPrivateProfileStringA(section, key, def, buf.data(), size, FilePath().c_str());
    Check(buf[static_cast<size_t>(size)] == '\x7f', "read past the buffer");
    Check(n >= 0 && n <= std::max(size - 1, 0), "result beyond the buffer");
    if (size > 0) {
        Check(buf[static_cast<size_t>(n)] == '\0', "result not terminated");
    }
    return std::string(buf.data(), static_cast<size_t>(n));
}

std::vector<std::string> SplitList(const std::string& list)
{
    std::vector<std::string> names;
    for (size_t at = 0; at < list.size();) {
        const size_t end = list.find('\0', at);
        names.push_back(list.substr(at, end - at));
        if (end == std::string::npos) {
            break;
        }
        at = end + 1;
    }
    return names;
}

bool Blank(char c)
{
    return c == ' ' || c == '\t';
}

// What a read gives for a value as written: blanks trimmed, one pair of quotes removed.
std::string AsRead(std::string v)
{
    while (!v.empty() && Blank(v.front())) {
        v.erase(0, 1);
    }
    while (!v.empty() && Blank(v.back())) {
        v.pop_back();
    }
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    return v;
}

std::string Lower(std::string s)
{
    for (char& c : s) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return s;
}

std::string TrimName(std::string v)
{
    while (!v.empty() && Blank(v.front())) {
        v.erase(0, 1);
    }
    while (!v.empty() && Blank(v.back())) {
        v.pop_back();
    }
    return v;
}

// The lines of a text without their line ends (LF, CR LF, or a lone CR at the end, as the
// reader takes them). The last line of a file may gain a line end when something is
// added after it; that keeps its bytes.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t nl = text.find('\n', at);
        const size_t next = nl == std::string::npos ? text.size() : nl + 1;
        size_t end = nl == std::string::npos ? text.size() : nl;
        if (end > at && text[end - 1] == '\r') {  // a lone CR at the end ends a line too
            --end;
        }
        lines.push_back(text.substr(at, end - at));
        at = next;
    }
    return lines;
}

// Lines of before that are not in after's common head and tail, and the other way round.
void Difference(const std::vector<std::string>& before, const std::vector<std::string>& after,
                size_t* removed, size_t* added)
{
    size_t head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head]) {
        ++head;
    }
    size_t tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail]) {
        ++tail;
    }
    *removed = before.size() - head - tail;
    *added = after.size() - head - tail;
}

struct Value {
    std::string section, key, value;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) {
        return 0;
    }
    const uint8_t flags = data[0];
    const char* p = reinterpret_cast<const char*>(data + 1);
    const char* end = reinterpret_cast<const char*>(data + size);
    std::string fields[3];
    for (std::string& f : fields) {
        const char* zero = static_cast<const char*>(std::memchr(p, 0, static_cast<size_t>(end - p)));
        if (zero == nullptr) {
            return 0;
        }
        f.assign(p, zero);
        p = zero + 1;
    }
    const std::string original(p, end);
    const bool keyNull = flags & 1;
    const bool valueNull = flags & 2;
    const int bufferSize = 1 + ((flags >> 2) & 7) * 9;
    const std::string& section = fields[0];
    const std::string& key = fields[1];
    const std::string& value = fields[2];
    WriteFile(original);

    // Reads, with a small buffer and a large one.
    Get(nullptr, nullptr, "d", bufferSize);
    Get(section.c_str(), nullptr, "d", bufferSize);
    Get(section.c_str(), key.c_str(), value.c_str(), bufferSize);

    // Every value the file holds, before the write (a few sections and keys).
    std::vector<Value> values;
    for (const std::string& s : SplitList(Get(nullptr, nullptr, "", 4096))) {
        if (values.size() > 64) {
            break;
        }
        const std::string keys = Get(s.c_str(), nullptr, "", 4096);
        for (const std::string& k : SplitList(keys)) {
            values.push_back({s, k, Get(s.c_str(), k.c_str(), "\x01", 4096)});
        }
    }

    const bool written = WritePrivateProfileStringA(section.c_str(), keyNull ? nullptr : key.c_str(),
                                                    valueNull ? nullptr : value.c_str(), FilePath().c_str());
    const std::string after = ReadFile();
    if (!written) {
        Check(after == original, "a failed write changed the file");
        return 0;
    }
    const std::string sectionName = Lower(TrimName(section));
    const std::string keyName = Lower(TrimName(key));
    if (!keyNull && !valueNull) {
        // (A deleted key may uncover a duplicate of it, so only a set value is read back.)
        const std::string got = Get(section.c_str(), key.c_str(), "\x01", static_cast<int>(value.size()) + 2);
        Check(got == AsRead(value), "the value does not read back");
    }
    for (const Value& v : values) {
        // Names as the functions compare them: a listed name may carry blanks (a file can
        // hold NUL bytes inside a name, which cut the list), and blanks never count.
        const bool same =
            Lower(TrimName(v.section)) == sectionName && (keyNull || Lower(TrimName(v.key)) == keyName);
        if (!same) {
            Check(Get(v.section.c_str(), v.key.c_str(), "\x01", 4096) == v.value, "another value changed");
        }
    }
    size_t removed = 0;
    size_t added = 0;
    Difference(Lines(original), Lines(after), &removed, &added);
    if (keyNull) {
        Check(added == 0, "deleting a section added lines");
    } else if (valueNull) {
        Check(added == 0 && removed <= 1, "deleting a key changed other lines");
    } else {
        Check(removed <= 1 && added <= 2 && !(removed == 1 && added != 1), "a write changed other lines");
    }
    return 0;
}
