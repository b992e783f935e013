// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a recording as a RIFF AVI file: up to three H.264 video streams, one PCM
// audio stream and one text stream, one chunk per packet, then an "idx1" index.
#pragma once

#include "engine/media.h"

#include <cstdint>
#include <functional>
#include <vector>

class CAVIWriter {
public:
    // Stream slots of AddData.
    static constexpr int kSlotVideo0 = 0;
    static constexpr int kSlotVideo1 = 1;
    static constexpr int kSlotVideo2 = 2;
    static constexpr int kSlotAudio = 3;
    static constexpr int kSlotText = 4;
    static constexpr int kSlots = 5;

    // The writer owns sink and deletes it; null: a new CFSNormal.
    explicit CAVIWriter(VFileSystem* sink = nullptr);
    virtual ~CAVIWriter();
    CAVIWriter(const CAVIWriter&) = delete;
    CAVIWriter& operator=(const CAVIWriter&) = delete;

    // Configuration, used before Create. Channels 0-2; other channels are ignored.
    void SetVideoSize(int channel, int width, int height);
    void SetFrameRate(int channel, int fps);
    void SetAudioRate(int rate);
    void SetTwoChannels(bool on);
    void SetThreeChannels(bool on);

    // Opens path ("wb") and writes the headers with zero counts. False when the sink
    // cannot be opened (a file is already being written, or the path is unusable).
    bool Create(const char* path);
    // Writes one packet as a chunk of slot 0-4. False, with nothing counted, when the
    // writer is idle, the arguments are bad, the slot's stream is not in the file, the
    // file would grow past its size limit (LimitReached), or the sink wrote short.
    bool AddData(const void* data, int length, int slot);
    // A buffer for the payload of the next chunk (capacity bytes at least), with room for
    // the chunk's header before it and its pad byte after it, so that AddChunk hands the
    // whole chunk to the sink in one write and no copy is made. Stays valid until the
    // next call with a larger capacity.
    uint8_t* ChunkBuffer(int capacity);
    // AddData of the first length bytes of ChunkBuffer.
    bool AddChunk(int length, int slot);
    // Writes the index, rewrites the headers with the final counts and closes the sink.
    // Returns the RIFF size (file size - 8); 0 when idle or when a write or the close
    // failed.
    int Finish();

    // The file being written reached the size its 32-bit fields can describe; it can
    // still be finished with what it holds.
    bool LimitReached() const { return m_limitReached; }
    // Work the sink runs at the end of the next Finish, while the file goes to the disk.
    void SetWhileSyncing(std::function<void()> work) { m_sink->SetWhileSyncing(std::move(work)); }
    // The errno of the first failed write or close of the file being (or last) written;
    // 0 when none failed or the sink does not set errno.
    int LastError() const { return m_lastError; }
    // The size limit of a file, in bytes of RIFF size (file size - 8).
    static constexpr int64_t kMaxRiffSize = 0x7FFFFFFF;

    // The file's layout and counters, for the exporter's progress and for tests.
    int HeaderSize() const { return m_headerSize; }
    int Chunks() const { return m_chunks; }
    int PayloadBytes() const { return m_payloadBytes; }
    int SlotChunks(int slot) const;
    // The chunk id of a slot in the file being (or last) written: four characters, not
    // terminated.
    const char* ChunkId(int slot) const;

private:
    struct IndexEntry {
        int slot;
        int offset;  // of the chunk header, from the "movi" code
        int length;  // padded to even
    };
    struct Slot {
        char id[4];
        int payloadBytes;  // padded
        int chunks;
    };

    // Fills the slots' chunk ids for the frozen channel layout.
    void AssignChunkIds();
    int StreamCount() const;
    // RIFF size with the given totals (see the layout in aviwriter.cpp).
    int64_t RiffSize(int64_t chunks, int64_t payloadBytes) const;
    void AppendHeaders(std::vector<uint8_t>* out, bool final) const;
    bool WriteBytes(const void* data, int length);
    // AddData's checks; false (with its diagnostic line) when the chunk cannot be added.
    bool MayAdd(const void* data, int length, int slot);
    // After a short write of a chunk: its bytes are taken back (the next chunk overwrites
    // them), so the offsets of the index and the list sizes stay true.
    void TakeBackChunk(int written, int padded);
    void CountChunk(int slot, int padded);
    // Keeps the errno of the first failure of the file.
    void NoteError();

    // Used from one thread at a time (the exporter's worker).
    std::vector<IndexEntry> m_index;
    int m_payloadBytes = 0;
    int m_nextOffset = 4;
    int m_chunks = 0;
    Slot m_slots[kSlots] = {};
    bool m_hasAudio = true;
    bool m_secondChannel = false;
    bool m_thirdChannel = false;
    int m_headerSize = 0;
    int m_width[3] = {};
    int m_height[3] = {};
    int m_frameRate[3] = {};
    // Frozen by Create, so that Finish rewrites the headers with the layout they had.
    int m_fileFrameRate[3] = {};
    bool m_fileSecond = false;
    bool m_fileThird = false;
    bool m_failed = false;  // a write of the open file failed; Finish reports 0
    bool m_limitReached = false;
    int m_lastError = 0;
    int m_audioRate = 8000;
    VFileSystem* m_sink = nullptr;
    static constexpr int kChunkHeaderBytes = 8;
    std::vector<uint8_t> m_chunk;  // header, payload, pad: ChunkBuffer points past the header
};
