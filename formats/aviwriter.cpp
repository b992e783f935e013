#include "aviwriter.h"

#include "engine/fsnormal.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

// File layout (all numbers little-endian):
//   "RIFF" size "AVI "
//   "LIST" (headerSize - 4) "hdrl"
//       "avih" 56 ...                 64 bytes
//       video "strl" per channel      124 bytes each
//       audio "strl"                  100 bytes
//       text "strl"                   84 bytes
//   "LIST" (4 + 8 * chunks + payload) "movi" {id length payload [pad]}...
//   "idx1" (16 * chunks) {id 0x10 offset-from-"movi" padded-length}...
// headerSize is the size of the "hdrl" list less 4, so the RIFF size is
//   4 + (headerSize + 4) + 12 + 8 * chunks + payload + 8 + 16 * chunks.

namespace {

constexpr int kAvihBytes = 64;
constexpr int kVideoListBytes = 124;
constexpr int kAudioListBytes = 100;
constexpr int kTextListBytes = 84;
constexpr int kIndexEntryBytes = 16;
constexpr uint32_t kAvihFlags = 0x110;  // has index, interleaved
constexpr uint32_t kIndexKeyFrame = 0x10;
// Audio stream length counts 2000 samples per chunk: the card stores 4000-byte chunks.
constexpr int kAudioSamplesPerChunk = 2000;

class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>* out) : m_out(out) {}
    void Id(const char* four)
    {
        for (int i = 0; i < 4; ++i) {
            m_out->push_back(static_cast<uint8_t>(four[i]));
        }
    }
    void U32(uint32_t v)
    {
        for (int i = 0; i < 4; ++i) {
            m_out->push_back(static_cast<uint8_t>(v >> (8 * i)));
        }
    }
    void U16(uint16_t v)
    {
        m_out->push_back(static_cast<uint8_t>(v));
        m_out->push_back(static_cast<uint8_t>(v >> 8));
    }
    void I32(int v) { U32(static_cast<uint32_t>(v)); }

private:
    std::vector<uint8_t>* m_out;
};

struct StreamHeader {
    const char* type;
    const char* handler;  // null: four zero bytes
    int scale;
    int rate;
    int64_t length;  // 0..UINT32_MAX
    int suggestedBufferSize;
    int sampleSize;
    int right;
    int bottom;
};

void PutStreamHeader(ByteWriter& w, const StreamHeader& h)
{
    w.Id("strh");
    w.U32(56);
    w.Id(h.type);
    if (h.handler != nullptr) {
        w.Id(h.handler);
    } else {
        w.U32(0);
    }
    w.U32(0);  // flags
    w.U16(0);  // priority
    w.U16(0);  // language
    w.U32(0);  // initial frames
    w.I32(h.scale);
    w.I32(h.rate);
    w.U32(0);  // start
    w.U32(static_cast<uint32_t>(h.length));
    w.I32(h.suggestedBufferSize);
    w.U32(0);  // quality
    w.I32(h.sampleSize);
    w.U16(0);
    w.U16(0);
    w.U16(static_cast<uint16_t>(h.right));
    w.U16(static_cast<uint16_t>(h.bottom));
}

void MakeId(char* out, int number, const char* kind)
{
    out[0] = static_cast<char>('0' + number / 10);
    out[1] = static_cast<char>('0' + number % 10);
    out[2] = kind[0];
    out[3] = kind[1];
}

}  // namespace

CAVIWriter::CAVIWriter(VFileSystem* sink) : m_sink(sink != nullptr ? sink : new CFSNormal)
{
    SetTwoChannels(false);
    m_frameRate[1] = 15;
    m_width[1] = 720;
    m_height[1] = 480;
    m_audioRate = 8000;
    AssignChunkIds();
}

CAVIWriter::~CAVIWriter()
{
    delete m_sink;
}

void CAVIWriter::SetVideoSize(int channel, int width, int height)
{
    if (channel >= 0 && channel < 3) {
        m_width[channel] = width;
        m_height[channel] = height;
    }
}

void CAVIWriter::SetFrameRate(int channel, int fps)
{
    if (channel >= 0 && channel < 3) {
        m_frameRate[channel] = fps;
    }
}

void CAVIWriter::SetAudioRate(int rate)
{
    m_audioRate = rate;
}

// The chunk ids follow from both flags; Create assigns them, so the order of the two
// calls and a file already being written cannot make ids and headers disagree.
void CAVIWriter::SetTwoChannels(bool on)
{
    m_secondChannel = on;
}

void CAVIWriter::SetThreeChannels(bool on)
{
    m_thirdChannel = on;
}

void CAVIWriter::AssignChunkIds()
{
    // Video streams are numbered in channel order, then audio, then text.
    const int videoStreams = 1 + (m_fileSecond ? 1 : 0) + (m_fileThird ? 1 : 0);
    MakeId(m_slots[kSlotVideo0].id, 0, "dc");
    // Without its own stream the second channel shares the first one's id.
    MakeId(m_slots[kSlotVideo1].id, m_fileSecond ? 1 : 0, "dc");
    MakeId(m_slots[kSlotVideo2].id, videoStreams - 1, "dc");
    MakeId(m_slots[kSlotAudio].id, videoStreams, "wb");
    MakeId(m_slots[kSlotText].id, videoStreams + 1, "tx");
}

int CAVIWriter::StreamCount() const
{
    return 1 + (m_fileSecond ? 1 : 0) + (m_fileThird ? 1 : 0) + (m_hasAudio ? 1 : 0) + 1;
}

int64_t CAVIWriter::RiffSize(int64_t chunks, int64_t payloadBytes) const
{
    return 4 + (m_headerSize + 4) + 12 + 8 * chunks + payloadBytes + 8 + kIndexEntryBytes * chunks;
}

int CAVIWriter::SlotChunks(int slot) const
{
    return (slot >= 0 && slot < kSlots) ? m_slots[slot].chunks : 0;
}

const char* CAVIWriter::ChunkId(int slot) const
{
    return (slot >= 0 && slot < kSlots) ? m_slots[slot].id : "    ";
}

bool CAVIWriter::WriteBytes(const void* data, int length)
{
    if (m_sink->Write(data, length) == length) {
        return true;
    }
    NoteError();
    return false;
}

void CAVIWriter::NoteError()
{
    if (m_lastError == 0) {
        m_lastError = errno;
    }
}

// Everything before the first chunk: RIFF header, header list and movie list header,
// with the current counters. Until the final rewrite the two running sizes are the
// placeholder "0000".
void CAVIWriter::AppendHeaders(std::vector<uint8_t>* out, bool final) const
{
    ByteWriter w(out);
    w.Id("RIFF");
    if (final) {
        w.U32(static_cast<uint32_t>(RiffSize(m_chunks, m_payloadBytes)));
    } else {
        w.Id("0000");
    }
    w.Id("AVI ");

    w.Id("LIST");
    w.I32(m_headerSize - 4);
    w.Id("hdrl");
    w.Id("avih");
    w.U32(kAvihBytes - 8);
    w.U32(0);  // microseconds per frame
    w.U32(0);  // maximum bytes per second
    w.U32(0);  // padding granularity
    w.U32(kAvihFlags);
    w.I32(m_chunks);
    w.U32(0);  // initial frames
    w.I32(StreamCount());
    w.U32(0);  // suggested buffer size
    w.I32(m_width[0]);
    w.I32(m_height[0]);
    for (int i = 0; i < 4; ++i) {
        w.U32(0);
    }

    for (int channel = 0; channel < 3; ++channel) {
        if ((channel == 1 && !m_fileSecond) || (channel == 2 && !m_fileThird)) {
            continue;
        }
        const Slot& slot = m_slots[channel];
        const int length = slot.chunks > 0 ? slot.chunks : 1;
        w.Id("LIST");
        w.U32(kVideoListBytes - 8);
        w.Id("strl");
        PutStreamHeader(w, {"vids", "AVC1", 1000, m_fileFrameRate[channel] * 1000, length,
                            slot.payloadBytes / length, 0, m_width[channel], m_height[channel]});
        w.Id("strf");
        w.U32(40);
        w.U32(40);
        w.I32(m_width[channel]);
        w.I32(m_height[channel]);
        w.U32(0);  // planes and bit count
        w.Id("AVC1");
        for (int i = 0; i < 5; ++i) {
            w.U32(0);
        }
    }

    if (m_hasAudio) {
        const Slot& slot = m_slots[kSlotAudio];
        w.Id("LIST");
        w.U32(kAudioListBytes - 8);
        w.Id("strl");
        // Samples, in a 32-bit field: past about a million chunks the product needs 64 bits.
        const int64_t samples = static_cast<int64_t>(slot.chunks) * kAudioSamplesPerChunk;
        PutStreamHeader(w, {"auds", nullptr, 2, m_audioRate * 2, std::min<int64_t>(samples, UINT32_MAX),
                            kAudioSamplesPerChunk, 2, 0, 0});
        w.Id("strf");
        w.U32(16);
        w.U16(1);  // PCM
        w.U16(1);  // mono
        w.I32(m_audioRate);
        w.I32(m_audioRate * 2);
        w.U16(2);   // block alignment
        w.U16(16);  // bits per sample
    }

    const Slot& text = m_slots[kSlotText];
    const int textLength = text.chunks > 0 ? text.chunks : 1;
    w.Id("LIST");
    w.U32(kTextListBytes - 8);
    w.Id("strl");
    PutStreamHeader(w, {"txts", "XBLB", 1000, 100000, textLength, text.payloadBytes / textLength, 0, 0, 0});
    w.Id("strf");
    w.U32(0);

    w.Id("LIST");
    if (final) {
        w.I32(4 + 8 * m_chunks + m_payloadBytes);
    } else {
        w.Id("0000");
    }
    w.Id("movi");
}

bool CAVIWriter::Create(const char* path)
{
    if (path == nullptr || !m_sink->Open(path, "wb")) {
        return false;
    }
    m_fileSecond = m_secondChannel;
    m_fileThird = m_thirdChannel;
    std::copy(std::begin(m_frameRate), std::end(m_frameRate), std::begin(m_fileFrameRate));
    m_headerSize = 280 + (m_fileSecond ? kVideoListBytes : 0) + (m_fileThird ? kVideoListBytes : 0) +
                   (m_hasAudio ? kAudioListBytes : 0);
    AssignChunkIds();
    m_index.clear();
    m_payloadBytes = 0;
    m_nextOffset = 4;
    m_chunks = 0;
    for (Slot& slot : m_slots) {
        slot.payloadBytes = 0;
        slot.chunks = 0;
    }
    m_failed = false;
    m_limitReached = false;
    m_lastError = 0;

    std::vector<uint8_t> headers;
    AppendHeaders(&headers, false);
    if (!WriteBytes(headers.data(), static_cast<int>(headers.size()))) {
        m_sink->Close();
        return false;
    }
    return true;
}

bool CAVIWriter::AddData(const void* data, int length, int slot)
{
    if (!m_sink->IsOpen()) {
        std::printf("[CAVIWriter] AddData : File is already closed\n");
        return false;
    }
    if (slot < 0 || slot >= kSlots || length < 0 || (data == nullptr && length > 0)) {
        std::printf("[CAVIWriter] AddData : bad packet (slot %d, length %d)\n", slot, length);
        return false;
    }
    if (slot == kSlotVideo2 && !m_fileThird) {
        // The file declares no stream for it; its chunks would be unreadable.
        std::printf("[CAVIWriter] AddData : no stream for slot %d\n", slot);
        return false;
    }
    if (m_failed) {
        return false;  // an earlier chunk could not be taken back
    }
    const int padded = length + (length & 1);
    if (RiffSize(m_chunks + 1, static_cast<int64_t>(m_payloadBytes) + padded) > kMaxRiffSize) {
        std::printf("[CAVIWriter] AddData : file size limit reached\n");
        m_limitReached = true;
        return false;
    }

    uint8_t header[8];
    std::memcpy(header, m_slots[slot].id, 4);
    for (int i = 0; i < 4; ++i) {
        header[4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(length) >> (8 * i));
    }
    int written = m_sink->Write(header, 8) == 8 ? 0 : -1;
    if (written == 0 && length > 0) {
        written = m_sink->Write(data, length);
    }
    if (written == length && padded != length) {
        const uint8_t pad = 0;
        written += m_sink->Write(&pad, 1);
    }
    if (written != padded) {
        NoteError();
        std::printf("CAVIWriter::AddDataBody error %d != %d\n", written, padded);
        // Take the partial chunk back: the next chunk overwrites it, so the offsets of
        // the index and the list sizes stay true.
        const long chunkPos = static_cast<long>(m_headerSize) + 24 + m_nextOffset;
        if (m_sink->Seek(chunkPos, 0) != 0) {
            m_failed = true;
        }
        return false;
    }

    m_slots[slot].chunks += 1;
    m_slots[slot].payloadBytes += padded;
    m_index.push_back({slot, m_nextOffset, padded});
    m_payloadBytes += padded;
    m_chunks += 1;
    m_nextOffset += padded + 8;
    return true;
}

int CAVIWriter::Finish()
{
    if (!m_sink->IsOpen()) {
        return 0;
    }
    bool ok = !m_failed;

    // The index, in blocks so that a long recording needs no large buffer.
    std::vector<uint8_t> block;
    ByteWriter w(&block);
    w.Id("idx1");
    w.I32(kIndexEntryBytes * m_chunks);
    constexpr size_t kEntriesPerBlock = 4096;
    for (size_t i = 0; i < m_index.size(); ++i) {
        const IndexEntry& e = m_index[i];
        w.Id(m_slots[e.slot].id);
        w.U32(kIndexKeyFrame);
        w.I32(e.offset);
        w.I32(e.length);
        if ((i + 1) % kEntriesPerBlock == 0) {
            ok = WriteBytes(block.data(), static_cast<int>(block.size())) && ok;
            block.clear();
        }
    }
    if (!block.empty()) {
        ok = WriteBytes(block.data(), static_cast<int>(block.size())) && ok;
    }

    std::vector<uint8_t> headers;
    AppendHeaders(&headers, true);
    if (m_sink->Seek(0, 0) != 0) {
        NoteError();
        ok = false;
    }
    ok = ok && WriteBytes(headers.data(), static_cast<int>(headers.size()));
    // The rewritten headers may still sit in a buffer: only a clean close makes them true.
    if (!m_sink->Close()) {
        NoteError();
        ok = false;
    }
    if (!ok) {
        std::printf("[CAVIWriter] Finish : write failed\n");
        return 0;
    }
    return static_cast<int>(RiffSize(m_chunks, m_payloadBytes));
}
