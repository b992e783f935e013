// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/exportbundle.h"

#include "formats/checksums.h"
#include "formats/telemetryfile.h"

#include <thread>

namespace {

std::string InFolder(const std::string& folder, const std::string& name)
{
    return folder.empty() ? name : folder + "/" + name;
}

// The comment's note on a copy that is not the whole recording.
std::string StatusNote(const ExportResult& r)
{
    switch (r.status) {
        case ExportStatus::Cancelled:
            return ", copy cancelled after " + std::to_string(r.framesWritten) + " pictures";
        case ExportStatus::Shortened:
            return ", copy shortened: " + r.reason;
        default:
            return {};
    }
}

}  // namespace

BundleResult ExportBundle(VMediaParser& parser, CAVIWriter& writer, const std::string& name,
                          const std::string& folder, const BundleOptions& options)
{
    BundleResult result;
    CTelemetryLog log;
    ExportOptions avi = options.avi;
    avi.text = [&log](const void* data, int length, int timeMs) { log.Add(data, length, timeMs); };
    avi.sha256 = true;
    const std::string recording = name.substr(0, name.find(','));
    // The source's digest is worked out beside the copy, on the other core: the copy's own
    // reads have brought the file into the page cache by then, so the card is read once.
    std::string block;
    std::thread sourceHasher(
        [&block, cardId = options.cardId, recording, source = RecordingSourcePath(options.card, recording)] {
            block = RecordingCommentFor(cardId, recording, source);
        });
    result.avi = ExportRecording(parser, writer, name, folder, avi);
    sourceHasher.join();
    if (result.avi.status == ExportStatus::Failed) {
        result.problems.push_back(result.avi.reason);
        return result;
    }
    const std::string aviName = ExportFileName(name);
    result.written.push_back(aviName);

    const TelemetryFiles wanted = options.telemetry ? options.telemetry() : TelemetryFiles{};
    const std::string stem = aviName.substr(0, aviName.size() - 4);  // less ".avi"
    if (wanted.gpx) {
        if (log.ValidFixCount() == 0) {
            result.noFixes = true;
        } else if (std::string error; WriteGpx(InFolder(folder, stem + ".gpx"), recording, log, &error)) {
            result.written.push_back(stem + ".gpx");
        } else {
            result.problems.push_back(error);
        }
    }
    if (wanted.csv) {
        if (std::string error; WriteTelemetryCsv(InFolder(folder, stem + ".csv"), recording, log, &error)) {
            result.written.push_back(stem + ".csv");
        } else {
            result.problems.push_back(error);
        }
    }

    if (const std::string note = StatusNote(result.avi); !note.empty()) {
        block.insert(block.size() - 1, note);
    }
    // The AVI was hashed while it went to the disk; the small files beside it are read back.
    std::vector<std::string> unhashed(result.written.begin() + 1, result.written.end());
    if (result.avi.sha256.empty()) {
        unhashed.insert(unhashed.begin(), aviName);
    } else {
        block += ChecksumLine(result.avi.sha256, aviName);
    }
    block += ChecksumLinesFor(folder, unhashed, &result.problems);
    if (std::string error; !AppendChecksums(folder, block, &error)) {
        result.problems.push_back(error);
    }
    return result;
}
