// The card side of the library on an arbitrary card folder: recording names, the mount
// table, and a card built from the input (files, named pipes, links and folders under
// any names, any CARD.ID) read through the C interface: card id, listing, information,
// opening, reading and seeking.
//
// Input: the first line is a name for the name rules and the rest of the first block
// (up to a zero byte) a mount table. Then entries, each: a kind byte, a category byte,
// a name length byte and the name, a 16-bit content length and the content.
// Kind: low two bits 0 file, 1 named pipe, 2 link to the previous entry, 3 folder;
// bit 7 builds the name from the recording pattern (time from the name bytes, the
// letter from the category byte) instead of using the bytes.
//
// Checked: accepted names stay inside their category folder and parse back the same;
// nothing blocks (a hang is a finding); every listed name is accepted by the rules and
// opens; what is read fits the buffer.
#include "mublib/mub_card.h"
#include "mublib/mublib.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "card_fuzz: %s\n", what);
        std::abort();
    }
}

const std::string& CardRoot()
{
    static const std::string root = [] {
        const char* dir = std::getenv("TMPDIR");
        std::string base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (dir != nullptr ? dir : "/tmp");
        return base + "/card_fuzz_" + std::to_string(getpid());
    }();
    // Registered once root is whole, so it runs before root goes away.
    static const bool removedAtExit = std::atexit([] {
                                          std::error_code ec;
                                          std::filesystem::remove_all(CardRoot(), ec);
                                      }) == 0;
    (void)removedAtExit;
    return root;
}

void CheckNameRules(const std::string& name)
{
    mub::RecordingName parsed;
    if (!mub::ParseRecordingName(name.c_str(), &parsed)) {
        return;
    }
    Check(parsed.category >= 0 && parsed.category <= 3, "category out of range");
    Check(parsed.stem.find('/') == std::string::npos && parsed.stem.find("..") == std::string::npos,
          "a name reaches outside its folder");
    Check(parsed.stem.size() + 4 == name.size() - (name[0] == '/' ? 1 : 0), "stem and name disagree");
    Check(mub::LetterHasChannel(parsed.letter, 0), "letter without a front channel");
    mub::RecordingName again;
    Check(mub::ParseRecordingName((parsed.stem + ".mub").c_str(), &again), "a stem does not parse back");
    Check(again.category == parsed.category && again.stem == parsed.stem && again.letter == parsed.letter,
          "a stem parses back differently");
    const std::string path = mub::RecordingPath("/card", parsed.category, parsed.stem);
    Check(path.rfind(mub::CategoryFolder("/card", parsed.category) + "/", 0) == 0, "path leaves the folder");
}

struct Reader {
    const uint8_t* p;
    const uint8_t* end;
    bool Has(size_t n) const { return static_cast<size_t>(end - p) >= n; }
    uint8_t Byte() { return *p++; }
};

std::string EntryName(uint8_t kind, uint8_t category, const std::string& raw)
{
    if (!(kind & 0x80)) {
        std::string name;
        for (char c : raw) {
            name += (c == '/' || c == '\0') ? '_' : c;
        }
        return name.empty() || name == "." || name == ".." ? std::string("x") : name;
    }
    uint32_t t = 0;
    for (size_t i = 0; i < raw.size() && i < 4; ++i) {
        t |= static_cast<uint32_t>(static_cast<uint8_t>(raw[i])) << (8 * i);
    }
    std::string name =
        mub::MakeRecordingName(category & 3, static_cast<time_t>(t), "DTENX"[(category >> 2) % 5]);
    return name.substr(0, name.size() - 4) + ((category & 0x40) ? ".avi" : ".mub");
}

void BuildCard(Reader in)
{
    std::filesystem::remove_all(CardRoot());
    for (int c = 0; c < 4; ++c) {
        std::filesystem::create_directories(mub::CategoryFolder(CardRoot(), c));
    }
    std::string previous;
    for (int entries = 0; entries < 16 && in.Has(3); ++entries) {
        const uint8_t kind = in.Byte();
        const uint8_t category = in.Byte();
        const size_t nameLength = in.Byte() % 64;
        if (!in.Has(nameLength + 2)) {
            break;
        }
        const std::string raw(reinterpret_cast<const char*>(in.p), nameLength);
        in.p += nameLength;
        size_t length = in.Byte();
        length |= static_cast<size_t>(in.Byte()) << 8;
        length = std::min(length, static_cast<size_t>(in.end - in.p));
        // Category 4..7 of the low bits put the entry at RECORD/CARD.ID.
        const std::string path =
            (category & 4) && !(kind & 0x80)
                ? CardRoot() + "/" + mub::kCardIdFile
                : mub::CategoryFolder(CardRoot(), category & 3) + "/" + EntryName(kind, category, raw);
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
        switch (kind & 3) {
            case 0: {
                std::ofstream out(path, std::ios::binary);
                out.write(reinterpret_cast<const char*>(in.p), static_cast<std::streamsize>(length));
                break;
            }
            case 1:
                ::mkfifo(path.c_str(), 0600);
                break;
            case 2:
                if (!previous.empty()) {
                    std::filesystem::create_symlink(previous, path, ec);
                }
                break;
            default:
                ::mkdir(path.c_str(), 0700);
                break;
        }
        in.p += length;
        previous = path;
    }
}

void ReadCard()
{
    static MUBContext ctx = [] {
        MUBContext c = MUB_CreateContext();
        MUB_AddCardFolder(c, CardRoot().c_str());
        return c;
    }();
    uint8_t id = 0;
    MUB_GetCardId(ctx, &id);
    Check(id != 0, "the card is not found");
    Check(MUB_OpenCard(ctx) == 1, "the card does not open");
    static std::vector<uint8_t> buffer(0x10000);
    for (int category = 0; category < 4; ++category) {
        const int count = MUB_GetFileCount(ctx, id, category);
        Check(count >= 0 && count <= 16, "more recordings than entries");
        std::vector<char> names(static_cast<size_t>(count + 1) * MUB_NAME_SLOT_BYTES);
        std::vector<uint32_t> sizes(2 * static_cast<size_t>(count + 1));
        std::vector<uint32_t> extra(static_cast<size_t>(count + 1));
        const int listed =
            MUB_GetFileList(ctx, id, category, count + 1, names.data(), sizes.data(), extra.data());
        Check(listed == count, "the listing and the count disagree");
        for (int i = 0; i < listed; ++i) {
            const char* name = names.data() + static_cast<size_t>(i) * MUB_NAME_SLOT_BYTES;
            mub::RecordingName parsed;
            Check(mub::ParseRecordingName(name, &parsed) && parsed.category == category,
                  "a listed name is bad");
            uint8_t description[MUB_DESCRIPTION_BYTES];
            uint16_t c0 = 0, c1 = 0, c2 = 0;
            char text[MUB_TEXT_BYTES], summary[MUB_TEXT_BYTES];
            uint8_t work[MUB_WORK_BYTES];
            MUB_GetFileInfo(ctx, name, description, &c0, &c1, &c2, text, summary, work);
            MUB_GetFileInfoByIndex(ctx, name, i, description, &c0, &c1, &c2, text, summary, work);
            const int handle = MUB_OpenFileByName(ctx, category, name);
            Check(handle >= 0 && MUB_OpenFileByIndex(ctx, category, i) == handle,
                  "a listed name does not open");
            if (MUB_SelectFile(ctx, category, 0, handle) != 1) {
                continue;
            }
            for (int k = 0; k < 256; ++k) {
                uint8_t t = 0xFF, s = 0xFF, f = 0xFF;
                int size = static_cast<int>(buffer.size());
                const int8_t r = MUB_ReadPacket(ctx, &t, &s, &f, &size, buffer.data(), nullptr);
                if (r == MUB_READ_OK) {
                    Check(size >= 0 && size <= static_cast<int>(buffer.size()), "a packet beyond the buffer");
                } else if (r != MUB_READ_TOOBIG && r != MUB_READ_NONE) {
                    break;
                }
                if (k == 100) {
                    MUB_Seek(ctx, k, k + 2);
                }
            }
        }
    }
    char roots[4 * 64];
    MUB_GetCardRoots(ctx, roots, 64, 4);
    char config[MUB_CONFIG_BYTES];
    int length = sizeof config;
    MUB_GetDefaultConfig(ctx, config, &length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const uint8_t* blockEnd = zero != nullptr ? zero : data + size;
    const std::string first(reinterpret_cast<const char*>(data), static_cast<size_t>(blockEnd - data));
    const size_t nl = first.find('\n');
    CheckNameRules(first.substr(0, nl));
    if (nl != std::string::npos) {
        mub::ParseMountTable(first.substr(nl + 1));
    }
    if (zero == nullptr) {
        return 0;
    }
    BuildCard(Reader{zero + 1, data + size});
    ReadCard();
    return 0;
}
