// Helpers for the card library tests: temporary card folders and recordings written from
// a known packet script, so that what comes back can be compared byte for byte.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "mublib/mub_card.h"
#include "mublib/mub_container.h"

struct ScriptPacket {
    uint8_t type = 0;
    uint8_t status = 0;
    uint8_t flag = 0;
    uint32_t timeMs = 0;
    std::vector<uint8_t> bytes;
};

// A folder under the system's temporary folder, removed with everything in it.
class CTempDir {
public:
    CTempDir();
    ~CTempDir();
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

// Creates the card layout (RECORD and its category folders) under root.
void MakeCardLayout(const std::string& root, const std::string& cardIdText = "");

// A camera's packet stream: front (and rear) video with a key unit every 30 frames,
// audio every 250 ms, a G-sensor record every 100 ms and a GPS record every second.
std::vector<ScriptPacket> MakeScript(int seconds, int fps, bool rear, uint64_t seed);

mub::RecordingDescription MakeDescription(int category, char letter, int fps, bool rear);

// Writes the script as a recording; finish = false leaves it as a power cut would.
bool WriteScript(const std::string& path, const mub::RecordingDescription& desc,
                 const std::vector<ScriptPacket>& packets, bool finish = true);

// Makes the card's file reads fail from a byte offset on (EIO, as a pulled or dying card
// does), or throw, until it goes out of scope. One at a time.
class CCardFault {
public:
    CCardFault();
    ~CCardFault();
    CCardFault(const CCardFault&) = delete;
    CCardFault& operator=(const CCardFault&) = delete;
    // Reads of bytes at or past offset fail; a read that straddles it stops short there.
    void FailFrom(uint64_t offset);
    // Every read throws std::bad_alloc, like an allocation failing inside the library.
    void Throw(bool on);
    // Reads that failed so far.
    int Failures() const;
};

std::vector<uint8_t> ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes);
