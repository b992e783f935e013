// The recording container on the card: one file per recording, a fixed header, the
// packets in recording order, then an index of the front key units and a trailer.
// The byte layout is in docs/card-format.md. Everything that interprets a recording's
// bytes lives in this unit, so it can be exercised on a byte buffer as well as a file.
#pragma once

#include <sys/types.h>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace mub {

constexpr char kFileMagic[8] = {'M', 'U', 'B', 'R', 'E', 'C', 0x1A, 0x00};
constexpr uint16_t kFormatVersion = 1;
constexpr uint32_t kHeaderBytes = 512;
constexpr uint32_t kDescriptionOffset = 0x60;
constexpr uint32_t kDescriptionBytes = 212;
constexpr uint32_t kPacketHeaderBytes = 16;
constexpr uint8_t kPacketSync = 0xA5;
// No camera writes an access unit or a line this big; anything larger is damage.
constexpr uint32_t kMaxPayloadBytes = 16u << 20;
// The camera starts a new GOP every 30 front frames.
constexpr int kGopFrames = 30;
constexpr uint32_t kFlagFinished = 1;
constexpr char kIndexMagic[4] = {'M', 'I', 'D', 'X'};
constexpr char kTrailerMagic[4] = {'M', 'E', 'N', 'D'};
constexpr uint32_t kTrailerBytes = 16;
constexpr const char* kRecordingExt = ".mub";

// Packet status bytes as MUB_ReadPacket reports them.
enum : uint8_t {
    kStatusKey = 0,
    kStatusAudio = 1,
    kStatusVideo = 2,
    kStatusText = 3,
};
// Flag byte: bit 0 marks a video key unit.
constexpr uint8_t kPacketFlagKey = 1;

// What a recording's header says about it (host order; see WriteHeader/ParseHeader).
struct RecordingHeader {
    uint32_t flags = 0;
    uint64_t dataOffset = kHeaderBytes;
    uint64_t dataEnd = kHeaderBytes;
    uint64_t indexOffset = 0;
    uint32_t indexCount = 0;
    uint32_t packetCount = 0;
    uint32_t frameCount[3] = {0, 0, 0};
    uint32_t audioCount = 0;
    uint32_t accCount = 0;    // G-sensor records ("M")
    uint32_t gpsCount = 0;    // GPS records ("G")
    uint32_t otherText = 0;   // every other text record ("B" and unknown)
    uint32_t durationMs = 0;  // length; a scan can only tell the time of the last packet
    uint8_t description[kDescriptionBytes] = {};
};

// Friendly view of the fields of the 212-byte description record.
struct RecordingDescription {
    char letter = 'D';  // channel letter of the name
    uint8_t category = 1;
    uint8_t fps[3] = {30, 30, 0};
    uint16_t width[3] = {0, 0, 0};
    uint16_t height[3] = {0, 0, 0};
    uint16_t audioRate = 8000;
    uint8_t audioBits = 16;
    uint8_t audioChannels = 1;
    uint16_t gopFrames = kGopFrames;
    uint32_t startTime = 0;  // wall-clock seconds since 1970 (local time read as UTC)
    uint32_t durationMs = 0;
};

void EncodeDescription(const RecordingDescription& d, uint8_t out[kDescriptionBytes]);
RecordingDescription DecodeDescription(const uint8_t in[kDescriptionBytes]);

// Serialises a header into kHeaderBytes bytes (checksum included).
void WriteHeader(const RecordingHeader& h, uint8_t out[kHeaderBytes]);
// Parses a header. Returns false when the magic or version is wrong; *checksumOk tells
// whether the stored checksum matches (a finished header must match).
bool ParseHeader(const uint8_t* in, size_t size, RecordingHeader* h, bool* checksumOk);

// Every read of a file on the card goes through this function (pread by default). A test
// puts its own in to make the card fail (EIO from some offset on, a pulled card) or to
// throw where the library allocates. Null restores pread.
using CardReadFn = ssize_t (*)(int fd, void* buffer, size_t len, off_t offset);
void SetCardReadFunction(CardReadFn fn);
// Reads up to len bytes at offset through the function above, retrying on EINTR.
ssize_t CardRead(int fd, void* buffer, size_t len, off_t offset);
// Opens a file of the card for reading without blocking (a named pipe or a device in its
// place would otherwise hang the caller) and only when it is a regular file. -1 when not;
// *size gets its size.
int OpenRegularFile(const std::string& path, uint64_t* size);
// Closes a file descriptor at the end of its scope, also when an exception passes.
class CFdGuard {
public:
    explicit CFdGuard(int fd) : m_fd(fd) {}
    ~CFdGuard();
    CFdGuard(const CFdGuard&) = delete;
    CFdGuard& operator=(const CFdGuard&) = delete;

private:
    int m_fd;
};

// Random access to a recording's bytes.
class CMubSource {
public:
    virtual ~CMubSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly len bytes at offset; false on any shortfall. Every caller checks the
    // range against Size() first, so a false means the medium failed.
    virtual bool ReadAt(uint64_t offset, void* buffer, size_t len) = 0;
};

class CMubMemorySource : public CMubSource {
public:
    CMubMemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, void* buffer, size_t len) override;

private:
    const uint8_t* m_data;
    size_t m_size;
};

class CMubFileSource : public CMubSource {
public:
    ~CMubFileSource() override;
    bool Open(const std::string& path);
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t offset, void* buffer, size_t len) override;

private:
    int m_fd = -1;
    uint64_t m_size = 0;
};

struct PacketInfo {
    uint8_t type = 0;
    uint8_t status = 0;
    uint8_t flag = 0;
    uint32_t length = 0;
    uint32_t timeMs = 0;
};

enum class ReadResult { kOk, kEnd, kTooBig, kError };

// Reads one recording. Every offset and length taken from the bytes is checked against
// the source before use; a recording without a valid index is scanned on Open and ends
// at the last whole packet. A read the source cannot serve (the card failed) is an error,
// never taken for damage or for the end.
class CMubReader {
public:
    bool Open(std::unique_ptr<CMubSource> source);
    void Close();
    bool IsOpen() const { return m_source != nullptr; }

    // Header as stored, or rebuilt by the scan when the recording was cut short.
    const RecordingHeader& Header() const { return m_header; }
    bool WasRecovered() const { return m_recovered; }
    // Offsets of the front key units, in order; entry n is front frame 30 n.
    const std::vector<uint64_t>& KeyIndex() const { return m_keyIndex; }

    // Next packet into buffer (capacity bytes). kTooBig skips the packet and leaves
    // info untouched; a damaged packet is passed over to the next key unit in the index,
    // and kEnd comes at the end of the data or at damage with no key unit after it.
    // kError: the source failed; reading stays where it was.
    ReadResult Next(void* buffer, uint32_t capacity, PacketInfo* info);
    // Moves reading to front key unit n (clamped to the last one). False without any.
    bool SeekKeyUnit(int n);
    void Rewind() { m_pos = m_header.dataOffset; }
    uint64_t Position() const { return m_pos; }

private:
    enum class HeaderRead { kValid, kInvalid, kFailed };
    HeaderRead ReadPacketHeader(uint64_t offset, PacketInfo* info);
    bool LoadIndex();
    // Rebuilds the header and the key index from the packets. A read failure ends the scan
    // there: the packets before it stay readable, and reading reports the error there.
    void Scan();

    std::unique_ptr<CMubSource> m_source;
    RecordingHeader m_header;
    std::vector<uint64_t> m_keyIndex;
    uint64_t m_pos = 0;
    bool m_recovered = false;
    bool m_scanFailed = false;  // the scan stopped at a read failure, at the data end
};

// Only the header (and the description inside it), without touching the packets.
bool ReadHeaderOnly(const std::string& path, RecordingHeader* h, uint64_t* fileSize);

// Writes one recording the way the camera does: header first (unfinished), packets as
// they come, then index, trailer and the final header on Finish. A recording whose
// Finish never ran stays readable up to its last whole packet.
class CMubWriter {
public:
    ~CMubWriter();
    bool Create(const std::string& path, const RecordingDescription& desc);
    bool WritePacket(uint8_t type, uint8_t status, uint8_t flag, uint32_t timeMs, const void* data,
                     uint32_t length);
    bool Finish();
    // Stops writing without index, trailer or final header (as a power cut would).
    void Abandon();
    const RecordingHeader& Header() const { return m_header; }

private:
    bool Put(const void* data, size_t len);

    FILE* m_file = nullptr;
    uint64_t m_pos = 0;
    bool m_failed = false;
    RecordingHeader m_header;
    std::vector<uint64_t> m_keyIndex;
};

// Summary of reading a whole recording: what a fuzz harness or a check tool needs.
struct ReadAllStats {
    bool opened = false;
    bool recovered = false;
    uint32_t packets = 0;
    uint32_t tooBig = 0;
    uint64_t payloadBytes = 0;
    uint32_t keyUnits = 0;
};

// Opens the bytes as a recording and reads every packet into a buffer of capacity
// bytes, then seeks to a few key units. Never reads outside the buffer.
ReadAllStats ReadAllPackets(const uint8_t* data, size_t size, uint32_t capacity = 0x200000);
ReadAllStats ReadAllPacketsFromFile(const std::string& path, uint32_t capacity = 0x200000);

uint32_t Crc32(const void* data, size_t len, uint32_t crc = 0);

}  // namespace mub
