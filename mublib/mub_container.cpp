#include "mublib/mub_container.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace mub {
namespace {

void Put16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}
void Put64(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}
uint16_t Get16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint64_t Get64(const uint8_t* p)
{
    return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

// Header field offsets.
enum : size_t {
    kHdrVersion = 0x08,
    kHdrSize = 0x0A,
    kHdrFlags = 0x0C,
    kHdrDataOffset = 0x10,
    kHdrDataEnd = 0x18,
    kHdrIndexOffset = 0x20,
    kHdrIndexCount = 0x28,
    kHdrPacketCount = 0x2C,
    kHdrFrameCount = 0x30,
    kHdrAudio = 0x3C,
    kHdrAcc = 0x40,
    kHdrGps = 0x44,
    kHdrOtherText = 0x48,
    kHdrDuration = 0x4C,
    kHdrCrc = 0x50,
};

// Description record offsets (those at 3..5, 0x14.. and 0x34.. are fixed by the viewer).
enum : size_t {
    kDescVersion = 0x00,
    kDescLetter = 0x01,
    kDescCategory = 0x02,
    kDescFps = 0x03,
    kDescAudioChannels = 0x06,
    kDescAudioBits = 0x07,
    kDescAudioRate = 0x08,
    kDescGop = 0x0A,
    kDescStartTime = 0x0C,
    kDescDuration = 0x10,
    kDescHeight = 0x14,
    kDescCodec = 0x1A,
    kDescStartText = 0x20,
    kDescWidth = 0x34,
};

uint16_t PacketCheck(const uint8_t* hdr)
{
    return static_cast<uint16_t>(Crc32(hdr, 14) & 0xFFFF);
}

void EncodePacketHeader(const PacketInfo& p, uint8_t out[kPacketHeaderBytes])
{
    out[0] = kPacketSync;
    out[1] = p.type;
    out[2] = p.status;
    out[3] = p.flag;
    Put32(out + 4, p.length);
    Put32(out + 8, p.timeMs);
    Put16(out + 12, 0);
    Put16(out + 14, PacketCheck(out));
}

bool DecodePacketHeader(const uint8_t in[kPacketHeaderBytes], PacketInfo* p)
{
    if (in[0] != kPacketSync || Get16(in + 14) != PacketCheck(in)) {
        return false;
    }
    p->type = in[1];
    p->status = in[2];
    p->flag = in[3];
    p->length = Get32(in + 4);
    p->timeMs = Get32(in + 8);
    if (p->status > kStatusText || p->length > kMaxPayloadBytes) {
        return false;
    }
    if ((p->status == kStatusKey || p->status == kStatusVideo) && p->type > 2) {
        return false;
    }
    return true;
}

void CountPacket(RecordingHeader* h, const PacketInfo& p, uint8_t firstByte)
{
    h->packetCount++;
    if (p.status == kStatusKey || p.status == kStatusVideo) {
        h->frameCount[p.type]++;
    } else if (p.status == kStatusAudio) {
        h->audioCount++;
    } else if (p.length > 0 && firstByte == 'M') {
        h->accCount++;
    } else if (p.length > 0 && firstByte == 'G') {
        h->gpsCount++;
    } else {
        h->otherText++;
    }
    h->durationMs = std::max(h->durationMs, p.timeMs);
}

}  // namespace

uint32_t Crc32(const void* data, size_t len, uint32_t crc)
{
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[i] = c;
        }
        return t;
    }();
    const auto* p = static_cast<const uint8_t*>(data);
    crc = ~crc;
    for (size_t i = 0; i < len; ++i) {
        crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

void EncodeDescription(const RecordingDescription& d, uint8_t out[kDescriptionBytes])
{
    std::memset(out, 0, kDescriptionBytes);
    out[kDescVersion] = 1;
    out[kDescLetter] = static_cast<uint8_t>(d.letter);
    out[kDescCategory] = d.category;
    for (int c = 0; c < 3; ++c) {
        out[kDescFps + c] = d.fps[c];
        Put16(out + kDescHeight + 2 * c, d.height[c]);
        Put16(out + kDescWidth + 2 * c, d.width[c]);
    }
    out[kDescAudioChannels] = d.audioChannels;
    out[kDescAudioBits] = d.audioBits;
    Put16(out + kDescAudioRate, d.audioRate);
    Put16(out + kDescGop, d.gopFrames);
    Put32(out + kDescStartTime, d.startTime);
    Put32(out + kDescDuration, d.durationMs);
    std::memcpy(out + kDescCodec, "H264", 4);
    // Start time as text, YYYYMMDD_HHMMSS, so a hex dump shows when it was recorded.
    time_t t = static_cast<time_t>(d.startTime);
    struct tm tmv {};
    gmtime_r(&t, &tmv);
    char text[48];
    std::snprintf(text, sizeof text, "%04d%02d%02d_%02d%02d%02d", (tmv.tm_year + 1900) % 10000,
                  (tmv.tm_mon + 1) % 100, tmv.tm_mday % 100, tmv.tm_hour % 100, tmv.tm_min % 100,
                  tmv.tm_sec % 100);
    std::memcpy(out + kDescStartText, text, 16);
}

RecordingDescription DecodeDescription(const uint8_t in[kDescriptionBytes])
{
    RecordingDescription d;
    d.letter = static_cast<char>(in[kDescLetter]);
    d.category = in[kDescCategory];
    for (int c = 0; c < 3; ++c) {
        d.fps[c] = in[kDescFps + c];
        d.height[c] = Get16(in + kDescHeight + 2 * c);
        d.width[c] = Get16(in + kDescWidth + 2 * c);
    }
    d.audioChannels = in[kDescAudioChannels];
    d.audioBits = in[kDescAudioBits];
    d.audioRate = Get16(in + kDescAudioRate);
    d.gopFrames = Get16(in + kDescGop);
    d.startTime = Get32(in + kDescStartTime);
    d.durationMs = Get32(in + kDescDuration);
    return d;
}

void WriteHeader(const RecordingHeader& h, uint8_t out[kHeaderBytes])
{
    std::memset(out, 0, kHeaderBytes);
    std::memcpy(out, kFileMagic, sizeof kFileMagic);
    Put16(out + kHdrVersion, kFormatVersion);
    Put16(out + kHdrSize, kHeaderBytes);
    Put32(out + kHdrFlags, h.flags);
    Put64(out + kHdrDataOffset, h.dataOffset);
    Put64(out + kHdrDataEnd, h.dataEnd);
    Put64(out + kHdrIndexOffset, h.indexOffset);
    Put32(out + kHdrIndexCount, h.indexCount);
    Put32(out + kHdrPacketCount, h.packetCount);
    for (int c = 0; c < 3; ++c) {
        Put32(out + kHdrFrameCount + 4 * c, h.frameCount[c]);
    }
    Put32(out + kHdrAudio, h.audioCount);
    Put32(out + kHdrAcc, h.accCount);
    Put32(out + kHdrGps, h.gpsCount);
    Put32(out + kHdrOtherText, h.otherText);
    Put32(out + kHdrDuration, h.durationMs);
    std::memcpy(out + kDescriptionOffset, h.description, kDescriptionBytes);
    Put32(out + kHdrCrc, Crc32(out, kHeaderBytes));
}

bool ParseHeader(const uint8_t* in, size_t size, RecordingHeader* h, bool* checksumOk)
{
    if (size < kHeaderBytes || std::memcmp(in, kFileMagic, sizeof kFileMagic) != 0 ||
        Get16(in + kHdrVersion) != kFormatVersion || Get16(in + kHdrSize) != kHeaderBytes) {
        return false;
    }
    uint8_t copy[kHeaderBytes];
    std::memcpy(copy, in, kHeaderBytes);
    Put32(copy + kHdrCrc, 0);
    *checksumOk = Crc32(copy, kHeaderBytes) == Get32(in + kHdrCrc);
    h->flags = Get32(in + kHdrFlags);
    h->dataOffset = Get64(in + kHdrDataOffset);
    h->dataEnd = Get64(in + kHdrDataEnd);
    h->indexOffset = Get64(in + kHdrIndexOffset);
    h->indexCount = Get32(in + kHdrIndexCount);
    h->packetCount = Get32(in + kHdrPacketCount);
    for (int c = 0; c < 3; ++c) {
        h->frameCount[c] = Get32(in + kHdrFrameCount + 4 * c);
    }
    h->audioCount = Get32(in + kHdrAudio);
    h->accCount = Get32(in + kHdrAcc);
    h->gpsCount = Get32(in + kHdrGps);
    h->otherText = Get32(in + kHdrOtherText);
    h->durationMs = Get32(in + kHdrDuration);
    std::memcpy(h->description, in + kDescriptionOffset, kDescriptionBytes);
    return true;
}

// ---- sources

bool CMubMemorySource::ReadAt(uint64_t offset, void* buffer, size_t len)
{
    if (offset > m_size || len > m_size - offset) {
        return false;
    }
    std::memcpy(buffer, m_data + offset, len);
    return true;
}

namespace {
std::atomic<CardReadFn> g_cardRead{nullptr};
}  // namespace

void SetCardReadFunction(CardReadFn fn)
{
    g_cardRead.store(fn);
}

ssize_t CardRead(int fd, void* buffer, size_t len, off_t offset)
{
    const CardReadFn fn = g_cardRead.load();
    for (;;) {
        const ssize_t n = fn != nullptr ? fn(fd, buffer, len, offset) : ::pread(fd, buffer, len, offset);
        if (n >= 0 || errno != EINTR) {
            return n;
        }
    }
}

int OpenRegularFile(const std::string& path, uint64_t* size)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return -1;
    }
    *size = static_cast<uint64_t>(st.st_size);
    return fd;
}

CFdGuard::~CFdGuard()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

CMubFileSource::~CMubFileSource()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool CMubFileSource::Open(const std::string& path)
{
    m_fd = OpenRegularFile(path, &m_size);
    return m_fd >= 0;
}

bool CMubFileSource::ReadAt(uint64_t offset, void* buffer, size_t len)
{
    if (m_fd < 0 || offset > m_size || len > m_size - offset) {
        return false;
    }
    auto* p = static_cast<uint8_t*>(buffer);
    while (len > 0) {
        const ssize_t n = CardRead(m_fd, p, len, static_cast<off_t>(offset));
        if (n <= 0) {
            return false;  // an error, or the file got shorter since it was opened
        }
        p += n;
        len -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return true;
}

// ---- reader

bool CMubReader::Open(std::unique_ptr<CMubSource> source)
{
    Close();
    if (!source) {
        return false;
    }
    uint8_t raw[kHeaderBytes];
    bool checksumOk = false;
    RecordingHeader h;
    if (!source->ReadAt(0, raw, sizeof raw) || !ParseHeader(raw, sizeof raw, &h, &checksumOk)) {
        return false;
    }
    m_source = std::move(source);
    m_header = h;
    try {
        const bool finished = checksumOk && (h.flags & kFlagFinished) && LoadIndex();
        if (!finished) {
            Scan();
        }
    } catch (...) {
        Close();  // never left open with a header nobody checked
        throw;
    }
    m_pos = m_header.dataOffset;
    return true;
}

void CMubReader::Close()
{
    m_source.reset();
    m_header = RecordingHeader{};
    m_keyIndex.clear();
    m_pos = 0;
    m_recovered = false;
    m_scanFailed = false;
}

bool CMubReader::LoadIndex()
{
    const RecordingHeader& h = m_header;
    const uint64_t size = m_source->Size();
    if (h.dataOffset != kHeaderBytes || h.dataEnd < h.dataOffset || h.indexOffset != h.dataEnd ||
        h.indexOffset > size) {
        return false;
    }
    const uint64_t room = size - h.indexOffset;
    if (room < 12 + kTrailerBytes || h.indexCount > (room - 12 - kTrailerBytes) / 8) {
        return false;
    }
    // The counts must fit the data they describe: every packet takes at least a packet
    // header, and every index entry is a front video unit. So a crafted count cannot make
    // the index larger than its share of the data.
    const uint64_t dataBytes = h.dataEnd - h.dataOffset;
    if (static_cast<uint64_t>(h.packetCount) > dataBytes / kPacketHeaderBytes ||
        h.frameCount[0] > h.packetCount || h.indexCount > h.frameCount[0]) {
        return false;
    }
    uint8_t head[8];
    if (!m_source->ReadAt(h.indexOffset, head, sizeof head) || std::memcmp(head, kIndexMagic, 4) != 0 ||
        Get32(head + 4) != h.indexCount) {
        return false;
    }
    // Entries are read and checked a block at a time, so the index is held only once.
    std::vector<uint64_t> index;
    index.reserve(h.indexCount);
    uint8_t block[8 * 1024];
    uint32_t crc = 0;
    uint64_t prev = 0;
    uint64_t at = h.indexOffset + 8;
    for (uint32_t done = 0; done < h.indexCount;) {
        const uint32_t n = std::min<uint32_t>(h.indexCount - done, sizeof block / 8);
        if (!m_source->ReadAt(at, block, 8 * n)) {
            return false;
        }
        crc = Crc32(block, 8 * n, crc);
        for (uint32_t i = 0; i < n; ++i) {
            const uint64_t off = Get64(block + 8 * i);
            // Packets do not overlap, so each entry is a whole packet header past the one
            // before. Written as differences so that no sum can wrap.
            if (off < h.dataOffset || off > h.dataEnd || h.dataEnd - off < kPacketHeaderBytes ||
                (!index.empty() && (off < prev || off - prev < kPacketHeaderBytes))) {
                return false;
            }
            index.push_back(prev = off);
        }
        done += n;
        at += 8 * n;
    }
    uint8_t stored[4];
    if (!m_source->ReadAt(at, stored, sizeof stored) || crc != Get32(stored)) {
        return false;
    }
    m_keyIndex = std::move(index);
    return true;
}

CMubReader::HeaderRead CMubReader::ReadPacketHeader(uint64_t offset, PacketInfo* info)
{
    uint8_t raw[kPacketHeaderBytes];
    if (!m_source->ReadAt(offset, raw, sizeof raw)) {
        return HeaderRead::kFailed;
    }
    return DecodePacketHeader(raw, info) ? HeaderRead::kValid : HeaderRead::kInvalid;
}

void CMubReader::Scan()
{
    // Keep the description; rebuild every count from the packets that are whole.
    RecordingHeader h;
    std::memcpy(h.description, m_header.description, kDescriptionBytes);
    h.dataOffset = kHeaderBytes;
    m_keyIndex.clear();
    const uint64_t size = m_source->Size();
    uint64_t pos = kHeaderBytes;
    PacketInfo p;
    while (size >= kPacketHeaderBytes && pos <= size - kPacketHeaderBytes) {
        const HeaderRead r = ReadPacketHeader(pos, &p);
        if (r != HeaderRead::kValid) {
            m_scanFailed = r == HeaderRead::kFailed;
            break;
        }
        const uint64_t end = pos + kPacketHeaderBytes + p.length;
        if (end > size) {
            break;  // the last packet was cut short
        }
        uint8_t first = 0;
        if (p.status == kStatusText && p.length > 0 &&
            !m_source->ReadAt(pos + kPacketHeaderBytes, &first, 1)) {
            m_scanFailed = true;
            break;
        }
        if (p.status == kStatusKey && p.type == 0) {
            m_keyIndex.push_back(pos);
        }
        CountPacket(&h, p, first);
        pos = end;
    }
    h.dataEnd = pos;
    h.indexCount = static_cast<uint32_t>(m_keyIndex.size());
    m_header = h;
    m_recovered = true;
}

ReadResult CMubReader::Next(void* buffer, uint32_t capacity, PacketInfo* info)
{
    if (!m_source) {
        return ReadResult::kError;
    }
    PacketInfo p;
    uint64_t end = 0;
    for (;;) {
        if (m_pos < m_header.dataOffset || m_pos > m_header.dataEnd ||
            m_header.dataEnd - m_pos < kPacketHeaderBytes) {
            // Where the scan could read no further, the recording does not end: it fails.
            return m_scanFailed && m_pos >= m_header.dataEnd ? ReadResult::kError : ReadResult::kEnd;
        }
        const HeaderRead r = ReadPacketHeader(m_pos, &p);
        if (r == HeaderRead::kFailed) {
            return ReadResult::kError;  // the card failed: not damage to pass over
        }
        if (r == HeaderRead::kValid) {
            end = m_pos + kPacketHeaderBytes + p.length;
            if (end <= m_header.dataEnd) {
                break;
            }
        }
        // A damaged packet inside the data: go on at the next key unit, if the index has one.
        auto next = std::upper_bound(m_keyIndex.begin(), m_keyIndex.end(), m_pos);
        if (next == m_keyIndex.end()) {
            return ReadResult::kEnd;
        }
        m_pos = *next;
    }
    if (p.length > capacity) {
        m_pos = end;
        return ReadResult::kTooBig;
    }
    if (p.length > 0 && !m_source->ReadAt(m_pos + kPacketHeaderBytes, buffer, p.length)) {
        return ReadResult::kError;
    }
    m_pos = end;
    *info = p;
    return ReadResult::kOk;
}

bool CMubReader::SeekKeyUnit(int n)
{
    if (!m_source || m_keyIndex.empty()) {
        return false;
    }
    const int last = static_cast<int>(m_keyIndex.size()) - 1;
    m_pos = m_keyIndex[static_cast<size_t>(std::clamp(n, 0, last))];
    return true;
}

bool ReadHeaderOnly(const std::string& path, RecordingHeader* h, uint64_t* fileSize)
{
    uint64_t size = 0;
    const int fd = OpenRegularFile(path, &size);
    if (fd < 0) {
        return false;
    }
    uint8_t raw[kHeaderBytes];
    bool ok = false;
    {
        CFdGuard guard(fd);
        ok = CardRead(fd, raw, sizeof raw, 0) == static_cast<ssize_t>(sizeof raw);
    }
    bool checksumOk = false;
    if (!ok || !ParseHeader(raw, sizeof raw, h, &checksumOk)) {
        return false;
    }
    if (!checksumOk || !(h->flags & kFlagFinished)) {
        // Counts of an unfinished recording are not known without reading it.
        RecordingHeader partial;
        std::memcpy(partial.description, h->description, kDescriptionBytes);
        *h = partial;
    }
    *fileSize = size;
    return true;
}

// ---- writer

CMubWriter::~CMubWriter()
{
    Abandon();
}

bool CMubWriter::Put(const void* data, size_t len)
{
    if (m_failed || !m_file) {
        return false;
    }
    if (len > 0 && std::fwrite(data, 1, len, m_file) != len) {
        m_failed = true;
        return false;
    }
    m_pos += len;
    return true;
}

bool CMubWriter::Create(const std::string& path, const RecordingDescription& desc)
{
    Abandon();
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file) {
        return false;
    }
    std::setvbuf(m_file, nullptr, _IOFBF, 1 << 20);
    m_failed = false;
    m_pos = 0;
    m_keyIndex.clear();
    m_header = RecordingHeader{};
    EncodeDescription(desc, m_header.description);
    uint8_t raw[kHeaderBytes];
    WriteHeader(m_header, raw);
    return Put(raw, sizeof raw);
}

bool CMubWriter::WritePacket(uint8_t type, uint8_t status, uint8_t flag, uint32_t timeMs, const void* data,
                             uint32_t length)
{
    if (length > kMaxPayloadBytes || status > kStatusText ||
        ((status == kStatusKey || status == kStatusVideo) && type > 2)) {
        return false;
    }
    PacketInfo p{type, status, flag, length, timeMs};
    uint8_t raw[kPacketHeaderBytes];
    EncodePacketHeader(p, raw);
    const uint64_t at = m_pos;
    if (!Put(raw, sizeof raw) || !Put(data, length)) {
        return false;
    }
    if (status == kStatusKey && type == 0) {
        m_keyIndex.push_back(at);
    }
    CountPacket(&m_header, p, length > 0 ? static_cast<const uint8_t*>(data)[0] : 0);
    return true;
}

bool CMubWriter::Finish()
{
    if (!m_file) {
        return false;
    }
    RecordingHeader& h = m_header;
    h.dataEnd = m_pos;
    h.indexOffset = m_pos;
    h.indexCount = static_cast<uint32_t>(m_keyIndex.size());
    h.flags = kFlagFinished;
    // The length is what the camera meant to record, at least up to the last packet.
    RecordingDescription d = DecodeDescription(h.description);
    d.durationMs = std::max(d.durationMs, h.durationMs);
    h.durationMs = d.durationMs;
    EncodeDescription(d, h.description);

    std::vector<uint8_t> idx(8 + m_keyIndex.size() * 8 + 4);
    std::memcpy(idx.data(), kIndexMagic, 4);
    Put32(idx.data() + 4, h.indexCount);
    for (size_t i = 0; i < m_keyIndex.size(); ++i) {
        Put64(idx.data() + 8 + 8 * i, m_keyIndex[i]);
    }
    const size_t entryBytes = m_keyIndex.size() * 8;
    Put32(idx.data() + 8 + entryBytes, Crc32(idx.data() + 8, entryBytes));
    uint8_t trailer[kTrailerBytes] = {};
    std::memcpy(trailer, kTrailerMagic, 4);
    Put64(trailer + 8, h.indexOffset);
    bool ok = Put(idx.data(), idx.size()) && Put(trailer, sizeof trailer);

    uint8_t raw[kHeaderBytes];
    WriteHeader(h, raw);
    ok = ok && std::fseek(m_file, 0, SEEK_SET) == 0 && std::fwrite(raw, 1, sizeof raw, m_file) == sizeof raw;
    ok = (std::fclose(m_file) == 0) && ok && !m_failed;
    m_file = nullptr;
    return ok;
}

void CMubWriter::Abandon()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}

// ---- whole-recording read, for checks and fuzzing

namespace {
ReadAllStats ReadAllFrom(std::unique_ptr<CMubSource> source, uint32_t capacity)
{
    ReadAllStats s;
    CMubReader reader;
    if (!reader.Open(std::move(source))) {
        return s;
    }
    s.opened = true;
    s.recovered = reader.WasRecovered();
    // Not zeroed: only what a packet fills is ever read back (and a fuzz run calls this
    // thousands of times a second).
    const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(std::max<uint32_t>(capacity, 1));
    PacketInfo info;
    for (;;) {
        ReadResult r = reader.Next(buffer.get(), capacity, &info);
        if (r == ReadResult::kOk) {
            s.packets++;
            s.payloadBytes += info.length;
            s.keyUnits += info.status == kStatusKey ? 1 : 0;
        } else if (r == ReadResult::kTooBig) {
            s.tooBig++;
        } else {
            break;
        }
    }
    const int keys = static_cast<int>(reader.KeyIndex().size());
    for (int n : {0, keys / 2, keys - 1, keys + 5}) {
        if (reader.SeekKeyUnit(n)) {
            reader.Next(buffer.get(), capacity, &info);
        }
    }
    return s;
}
}  // namespace

ReadAllStats ReadAllPackets(const uint8_t* data, size_t size, uint32_t capacity)
{
    return ReadAllFrom(std::make_unique<CMubMemorySource>(data, size), capacity);
}

ReadAllStats ReadAllPacketsFromFile(const std::string& path, uint32_t capacity)
{
    auto src = std::make_unique<CMubFileSource>();
    if (!src->Open(path)) {
        return {};
    }
    return ReadAllFrom(std::move(src), capacity);
}

}  // namespace mub
