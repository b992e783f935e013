// SPDX-License-Identifier: GPL-3.0-or-later
// Sample cards for tests: written by the mubcard tool, opened through the parser's card
// glue, and read back directly with the library's recording reader as the reference.
#pragma once

#include "formats/mubparser.h"
#include "mublib/mub_container.h"

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace sample {

namespace fs = std::filesystem;

inline std::string MubcardPath()
{
    return std::string(MUB_BINARY_DIR) + "/tools/mubcard/mubcard";
}

// A fresh folder under the temporary folder, removed with the object.
class TempDir {
public:
    explicit TempDir(const std::string& tag)
    {
        m_path = fs::temp_directory_path() / ("mub_" + tag + "_" + std::to_string(getpid()));
        fs::remove_all(m_path);
        fs::create_directories(m_path);
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    const fs::path& Path() const { return m_path; }

private:
    fs::path m_path;
};

// Runs mubcard into dir with the extra arguments; true on success.
inline bool MakeCard(const fs::path& dir, const std::string& args)
{
    const std::string cmd = MubcardPath() + " --out '" + dir.string() + "' " + args + " > /dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

// The library context on one card folder, handed to the parsers while it lives.
class OpenedCard {
public:
    explicit OpenedCard(const fs::path& dir)
    {
        m_ctx = CreateLibraryContext();
        AddCardFolder(m_ctx, dir.c_str());
        m_cardId = QueryCardId(m_ctx);
        OpenCard(m_ctx);
        SetLibraryContext(m_ctx);
        SetSeekUnit(30);
    }
    ~OpenedCard()
    {
        SetLibraryContext(nullptr);
        ReleaseLibraryContext(m_ctx);
    }
    OpenedCard(const OpenedCard&) = delete;
    OpenedCard& operator=(const OpenedCard&) = delete;
    bool Ok() const { return m_ctx != nullptr && m_cardId != 0; }
    MUBContext Context() const { return m_ctx; }
    uint8_t CardId() const { return m_cardId; }
    // Every recording, categories in library order.
    std::vector<CardRecording> All() const
    {
        std::vector<CardRecording> all;
        for (int c = 0; c < 4; ++c) {
            for (auto& r : ListCardRecordings(m_ctx, m_cardId, c)) {
                all.push_back(std::move(r));
            }
        }
        return all;
    }

private:
    MUBContext m_ctx = nullptr;
    uint8_t m_cardId = 0;
};

// The container file of a recording name ("X_..._L.avi" is stored as "X_..._L.mub").
inline fs::path ContainerFile(const fs::path& card, const std::string& name)
{
    const std::string stem = name.substr(0, name.rfind('.'));
    for (const auto& e : fs::recursive_directory_iterator(card)) {
        if (e.path().stem() == stem && e.path().extension() == ".mub") {
            return e.path();
        }
    }
    return {};
}

struct Packet {
    std::string id;
    std::vector<uint8_t> bytes;
    uint64_t end = 0;  // file offset just after the packet (reference only)
    bool key = false;  // a front key unit (reference only)
};

inline std::string IdOf(uint8_t type, uint8_t status)
{
    if (status == mub::kStatusAudio) {
        return "02wb";
    }
    if (status == mub::kStatusText) {
        return "03tx";
    }
    return std::string("0") + static_cast<char>('0' + type) + "dc";
}

// Every packet of a recording file, read directly with the library's reader, from front
// key unit `fromKeyUnit` on (-1: from the start).
inline std::vector<Packet> ReadReference(const fs::path& file, int fromKeyUnit = -1)
{
    std::vector<Packet> out;
    auto src = std::make_unique<mub::CMubFileSource>();
    mub::CMubReader reader;
    if (!src->Open(file.string()) || !reader.Open(std::move(src))) {
        return out;
    }
    if (fromKeyUnit >= 0 && !reader.SeekKeyUnit(fromKeyUnit)) {
        return out;
    }
    std::vector<uint8_t> buffer(kPacketBufferBytes);
    mub::PacketInfo info;
    while (reader.Next(buffer.data(), kPacketBufferBytes, &info) == mub::ReadResult::kOk) {
        Packet p;
        p.id = IdOf(info.type, info.status);
        p.bytes.assign(buffer.begin(), buffer.begin() + info.length);
        p.end = reader.Position();
        p.key = info.status == mub::kStatusKey && info.type == 0;
        out.push_back(std::move(p));
    }
    return out;
}

// Everything a started parser delivers until -1; gives up (ended = false) after
// maxCalls calls, so a parser that never ends fails the test instead of hanging it.
struct Delivery {
    std::vector<Packet> packets;
    bool ended = false;
};
inline Delivery ReadThroughParser(CMUBParser& parser, int maxCalls)
{
    Delivery d;
    std::vector<uint8_t> buffer(kPacketBufferBytes);
    for (int i = 0; i < maxCalls; ++i) {
        char id[5] = {};
        int size = kPacketBufferBytes;
        if (parser.ParseMedia(id, buffer.data(), &size) < 0) {
            d.ended = true;
            break;
        }
        if (id[0] != '\0') {
            Packet p;
            p.id = id;
            p.bytes.assign(buffer.begin(), buffer.begin() + size);
            d.packets.push_back(std::move(p));
        }
    }
    return d;
}

// Opens name in the parser (a copy: Open cuts the string).
inline int OpenByName(CMUBParser& parser, const std::string& name, MediaInfo* info)
{
    std::vector<char> copy(name.begin(), name.end());
    copy.push_back('\0');
    return parser.Open(copy.data(), info);
}

}  // namespace sample
