// SPDX-License-Identifier: GPL-3.0-or-later
// The recording reader over the card library: opens a recording, reads its packets on a
// read-ahead thread into a bounded queue and hands them out as stream-id-tagged packets.
// Also the thin module-level glue to the library's card-level calls.
#pragma once

#include "engine/media.h"
#include "engine/packetqueue.h"
#include "mublib/mublib.h"
#include "platform/thread.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The library calls a parser makes, by ordinal. Defaults to the card library itself; a
// test hands in its own to see which calls are made and to feed odd replies.
struct MUBLibCalls {
    decltype(&MUB_GetFileInfo) getFileInfo = nullptr;                // 3
    decltype(&MUB_GetFileInfoByIndex) getFileInfoByIndex = nullptr;  // 4
    decltype(&MUB_OpenFileByName) openFileByName = nullptr;          // 12
    decltype(&MUB_OpenFileByIndex) openFileByIndex = nullptr;        // 13
    decltype(&MUB_SelectFile) selectFile = nullptr;                  // 16
    decltype(&MUB_ReadPacket) readPacket = nullptr;                  // 18
    decltype(&MUB_Seek) seek = nullptr;                              // 22
};
const MUBLibCalls& DefaultMUBLibCalls();

// Process-wide context every parser passes to the library. Set from the interface thread,
// read by read-ahead threads.
void SetLibraryContext(MUBContext ctx);
MUBContext GetLibraryContext();
// Frames per seek step (30 by default).
void SetSeekUnit(int frames);
float GetSeekUnit();

class CMUBParser : public VMediaParser {
public:
    // Size of the read-ahead queue, and the largest packet it takes less one byte.
    static constexpr int kQueueBytes = 0x200000;
    // Longest file name passed to the library.
    static constexpr int kMaxFileNameChars = 127;
    // ParseMedia gives up after this many empty polls (10 ms apart) while reading runs.
    static constexpr int kEmptyPolls = 100;

    explicit CMUBParser(const MUBLibCalls& calls = DefaultMUBLibCalls());
    ~CMUBParser() override;
    CMUBParser(const CMUBParser&) = delete;
    CMUBParser& operator=(const CMUBParser&) = delete;

    // Start and Stop: owner's thread (the player's Start/shutdown).
    bool Start() override;
    void Stop() override;
    // Open, Close, ParseMedia, SeekTime: one caller thread at a time (the player lock).
    // Open returns 0 when the library knows no such recording (it then yields no packets).
    int Open(char* path, MediaInfo* info) override;
    void Close() override;
    // Runs on the read-ahead thread (or directly in tests while no thread reads).
    int ReadPacket(void* buffer, int* size) override;
    // From the read-ahead queue; on a parser that was not started (an export, which
    // needs no read-ahead), one library read straight into the caller's buffer.
    int ParseMedia(char* id, void* buffer, int* size) override;
    VideoSize GetVideoSize(int channel) override;
    int GetFrameRate(int channel) override;
    void GetAudioFormat(int* bitsPerSample, int* sampleRate) override;
    // Also resumes reading of an open recording whose end the read-ahead had reached.
    int SeekTime(float seconds) override;
    bool IsSeekSnapped() override { return true; }

    // RecordingInfo index 1..17 (0 for other indexes). Caller's thread, after Open.
    int RecordingInfo(int index) const;
    // The kept category code (0 REC, 1 EVENT, 2 MANUAL, 3 PARKING).
    int Category() const { return m_category; }
    int KeyUnitCount() const { return m_keyUnits.load(); }
    bool IsReading() const { return m_running.load(); }

    // The category code for a name's first character (after one optional "/"), or -1
    // when the character selects none.
    static int CategoryOfName(const char* name);
    // The library's number for a kept category code.
    static int LibraryCategory(int category);
    // Splits "name[,| ]+index" in place: writes a zero after the file name and returns
    // the index, -1 when there is none. *fileName points into the caller's string.
    static int SplitName(char* path, char** fileName);
    // Parses the summary text ("cntVideo0=%d; cntVideo1=%d; cntAudio=%d; cntACC=%d;
    // cntGPS=%d") into values[0..4] in that order, stopping at the first mismatch like
    // sscanf; reads at most length bytes. Returns the number of values assigned.
    static int ParseSummary(const char* text, size_t length, int values[5]);

private:
    // Clears the running flag and waits until the read-ahead thread is between reads;
    // returns the flag as it was. Never waits on a thread that does not run.
    bool PauseReading();
    void ReadAheadStep();  // read-ahead thread body
    int ParseDirect(char* id, void* buffer, int* size);
    // A packet larger than a buffer is skipped: says so once per recording.
    void ReportOversize();

    const MUBLibCalls m_calls;
    // Category and RecordingInfo: written by Open on the caller's thread while the reader
    // is paused; read by the caller's thread.
    int m_category = 0;
    int m_info[18] = {};
    bool m_open = false;  // between Open and Close; caller's thread only
    // The recording's file name, for diagnostics. Written by Open while the reader is
    // paused; read by the reader after Open has set the running flag.
    char m_fileName[kMaxFileNameChars + 1] = {};
    std::atomic<bool> m_oversizeReported{false};

    std::atomic<bool> m_end{false};      // the library reported the end
    std::atomic<bool> m_running{false};  // the read-ahead thread reads only while set
    std::atomic<int> m_keyUnits{0};      // status-0 packets read since Open

    // The reader pushes, the caller's thread takes and clears (Clear only while the
    // reader is paused, so no packet of what came before lands after it).
    CThreadQueue m_queue;
    CWaitEvent m_idle;  // set by the reader each time it finds reading paused
    CSingleThread m_thread{"MUBParser"};
};

// ---- Card-level glue for the main window (each a thin wrapper of one ordinal) ----

// Ordinals 1 and 7: a new context set up with the viewer's device identity record.
MUBContext CreateLibraryContext();
// Ordinal 2.
void ReleaseLibraryContext(MUBContext ctx);
// Ordinal 6: the inserted card's id, 0 when there is none.
uint8_t QueryCardId(MUBContext ctx);
// Ordinal 14: opens the inserted card for listing and reading; true when one is open.
bool OpenCard(MUBContext ctx);
// Not an ordinal: a folder that counts as a card (--card, MUB_CARD).
bool AddCardFolder(MUBContext ctx, const char* path);

struct CardRecording {
    std::string name;         // usable with CMUBParser::Open
    uint32_t sizeBytes = 0;   // low 32 bits of the size slot
    uint32_t lengthSecs = 0;  // the library's per-entry value
};
// Ordinals 9 and 10 for one library category, in the library's order.
std::vector<CardRecording> ListCardRecordings(MUBContext ctx, uint8_t cardId, int libraryCategory);
// Ordinal 11: the factory configuration text, as the library gives it.
bool GetDefaultConfigText(MUBContext ctx, std::string* text);
