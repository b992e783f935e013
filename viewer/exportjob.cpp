// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/exportjob.h"

#include <algorithm>
#include <climits>
#include <cstdio>

namespace viewer {

namespace {

// The frames bar moves in this many steps at most; finer news would only load the queue.
constexpr int kFrameSteps = 200;

}  // namespace

std::string MakeFileTitle(int index, int count, const std::string& name)
{
    char prefix[48];
    std::snprintf(prefix, sizeof(prefix), "Make File %03d/%03d [", index, count);
    return prefix + name + "]";
}

std::string ExportName(const std::string& entry)
{
    return entry.substr(0, entry.find(','));
}

bool ExportFolderFits(const std::string& folder)
{
    return folder.size() <= kMaxExportFolderBytes;
}

int FramesBarRange(int total)
{
    return total > 0 ? std::min(total, kMaxBarRange) : kUnknownFramesRange;
}

int FramesBarValue(int done, int range)
{
    return std::clamp(done, 0, range);
}

ExportTally TallyOutcomes(const std::vector<ExportOutcome>& outcomes, int count)
{
    ExportTally tally;
    for (const ExportOutcome& o : outcomes) {
        tally.files += static_cast<int>(o.written.size());
        if (o.status == ExportStatus::Failed) {
            tally.failed.push_back(o.name + ": " + o.reason);
            continue;
        }
        ++tally.recordings;
        if (o.status != ExportStatus::Written) {
            tally.partial.push_back(o.name + ": " + o.reason);
        }
        for (const std::string& problem : o.problems) {
            tally.failed.push_back(problem);
        }
    }
    tally.notStarted = std::max(0, count - static_cast<int>(outcomes.size()));
    return tally;
}

CExportWorker::CExportWorker(VMediaParser& parser, Notify notify)
    : m_parser(parser), m_notify(std::move(notify))
{
}

CExportWorker::~CExportWorker()
{
    Stop();
}

bool CExportWorker::Begin()
{
    return m_thread.Begin([this] { Poll(); });
}

void CExportWorker::Stop()
{
    m_cancelUpTo = INT_MAX;
    m_thread.Stop();
}

int CExportWorker::Submit(ExportJob job)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_pending) {
        return 0;
    }
    m_pending = std::move(job);
    m_pendingId = ++m_nextId;
    return m_pendingId;
}

void CExportWorker::Cancel()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_cancelUpTo = std::max(m_cancelUpTo.load(), m_nextId);
}

// Runs on the worker thread, again and again until Stop.
void CExportWorker::Poll()
{
    std::optional<ExportJob> job;
    int id = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        job.swap(m_pending);
        id = m_pendingId;
    }
    if (job) {
        Run(id, *job);
    }
    SleepMs(kExportPollMs);
}

void CExportWorker::Run(int id, const ExportJob& job)
{
    const auto cancelled = [this, id] { return m_cancelUpTo.load() >= id; };
    const int count = static_cast<int>(job.names.size());
    m_parser.Start();
    for (int i = 0; i < count && !cancelled(); ++i) {
        ExportNotice started;
        started.kind = ExportNotice::kFileStarted;
        started.job = id;
        started.index = i;
        started.count = count;
        started.name = ExportName(job.names[i]);
        m_notify(started);

        ExportNotice done = started;
        done.kind = ExportNotice::kFileDone;
        ExportOutcome& outcome = done.outcome;
        outcome.name = started.name;
        if (started.name.size() > kMaxExportNameBytes) {
            outcome.reason = "the name is longer than " + std::to_string(kMaxExportNameBytes) + " bytes";
        } else {
            int shownStep = -1;
            BundleOptions options;
            options.avi.traceAddData = false;
            options.avi.progress = [&](const ExportProgress& p) {
                if (cancelled()) {
                    return false;
                }
                ExportNotice frames = started;
                frames.kind = ExportNotice::kFrames;
                frames.framesRange = FramesBarRange(p.framesTotal);
                frames.framesValue = FramesBarValue(p.framesDone, frames.framesRange);
                const int step = static_cast<int>(static_cast<long long>(frames.framesValue) * kFrameSteps /
                                                  frames.framesRange);
                if (step != shownStep) {
                    shownStep = step;
                    m_notify(frames);
                }
                return true;
            };
            options.telemetry = [this] {
                const bool on = m_telemetry.load();
                return TelemetryFiles{on, on};
            };
            options.card = job.card;
            options.cardId = job.cardId;
            const BundleResult r = ExportBundle(m_parser, m_writer, job.names[i], job.folder, options);
            outcome.status = r.avi.status;
            outcome.reason = r.avi.status == ExportStatus::Cancelled
                                 ? "cancelled after " + std::to_string(r.avi.framesWritten) + " pictures"
                                 : r.avi.reason;
            outcome.written = r.written;
            outcome.problems = r.avi.status == ExportStatus::Failed ? std::vector<std::string>{} : r.problems;
            outcome.noFixes = r.noFixes;
        }
        m_notify(done);
    }
    m_parser.Stop();
    ExportNotice finished;
    finished.kind = ExportNotice::kFinished;
    finished.job = id;
    finished.count = count;
    m_notify(finished);
}

}  // namespace viewer
