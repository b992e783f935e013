// SPDX-License-Identifier: GPL-3.0-or-later
// The export of ticked recordings without a window: its rules (names, folders, the title,
// the bars, the closing tally) and the worker that runs one job at a time on its own thread
// and tells the window how it goes through notices. No Qt here: the window turns notices
// into posted messages and drives the progress window from its own thread.
#pragma once

#include "formats/aviwriter.h"
#include "formats/exportbundle.h"
#include "platform/thread.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace viewer {

// The export's names went through a 64-byte buffer and its folder through a 260-byte one.
constexpr size_t kMaxExportNameBytes = 63;
constexpr size_t kMaxExportFolderBytes = 259;
// The frames bar runs against this when a recording announces no pictures.
constexpr int kUnknownFramesRange = 1000;
// Progress bars take 16-bit ranges.
constexpr int kMaxBarRange = 65535;
// The worker looks for a new job this often.
constexpr int kExportPollMs = 10;

// "Make File %03d/%03d [%s]"
std::string MakeFileTitle(int index, int count, const std::string& name);
// The recording name of a list entry: the text before its first comma.
std::string ExportName(const std::string& entry);
bool ExportFolderFits(const std::string& folder);
// Range and position of the frames bar for done of total pictures.
int FramesBarRange(int total);
int FramesBarValue(int done, int range);

// What became of one recording.
struct ExportOutcome {
    std::string name;
    ExportStatus status = ExportStatus::Failed;
    std::string reason;                 // why it failed or is short
    std::vector<std::string> written;   // files written into the folder
    std::vector<std::string> problems;  // files that could not be written, each with why
    bool noFixes = false;               // a track was asked for; the recording has no fix
};

struct ExportNotice {
    enum Kind { kFileStarted, kFrames, kFileDone, kFinished };
    Kind kind = kFileStarted;
    int job = 0;    // the job it belongs to
    int index = 0;  // the file, from 0
    int count = 0;  // files of the job
    std::string name;
    int framesValue = 0;  // kFrames: the frames bar
    int framesRange = 0;
    ExportOutcome outcome;  // kFileDone
};

// The closing tally of a job's outcomes.
struct ExportTally {
    int files = 0;  // every file written: AVI, GPX, CSV
    int recordings = 0;
    int notStarted = 0;
    std::vector<std::string> failed;   // "name: why"
    std::vector<std::string> partial;  // shortened or cancelled copies, "name: why"
};
ExportTally TallyOutcomes(const std::vector<ExportOutcome>& outcomes, int count);

struct ExportJob {
    std::vector<std::string> names;  // list entries ("name,size"), in row order
    std::string folder;
    MUBContext card = nullptr;  // for the digests of the sources
    int cardId = 0;
};

class CExportWorker {
public:
    // Called on the worker thread; must only hand the notice on.
    using Notify = std::function<void(const ExportNotice&)>;

    // The parser is started and stopped by the worker around each job, on its thread.
    CExportWorker(VMediaParser& parser, Notify notify);
    ~CExportWorker();
    CExportWorker(const CExportWorker&) = delete;
    CExportWorker& operator=(const CExportWorker&) = delete;

    // Starts the polling thread.
    bool Begin();
    // Cancels a running job after its current packet and joins the thread.
    void Stop();
    // Hands a job over; the worker takes it within kExportPollMs. Returns its number, 0
    // while another job waits to be taken.
    int Submit(ExportJob job);
    // The progress window's Cancel, for every job handed over so far: the file being
    // written stops after its current packet and is finished, shortened but valid; no
    // further file starts.
    void Cancel();
    // Whether the telemetry files go beside each recording; read when its AVI is done.
    void SetTelemetry(bool on) { m_telemetry = on; }
    bool Telemetry() const { return m_telemetry.load(); }

private:
    void Poll();  // worker thread
    void Run(int id, const ExportJob& job);

    VMediaParser& m_parser;  // worker thread only while a job runs
    CAVIWriter m_writer;     // worker thread only
    Notify m_notify;
    std::mutex m_lock;
    std::optional<ExportJob> m_pending;  // --- protected by m_lock
    int m_nextId = 0;                    // --- protected by m_lock
    int m_pendingId = 0;                 // --- protected by m_lock
    // Jobs up to this number are cancelled: the progress window's continue flag, kept per
    // job so that a cancel cannot reach a job handed over after it, nor be lost before a
    // job is taken.
    std::atomic<int> m_cancelUpTo{0};
    std::atomic<bool> m_telemetry{false};
    CSingleThread m_thread{"export"};  // last: stopped before the members above go
};

}  // namespace viewer
