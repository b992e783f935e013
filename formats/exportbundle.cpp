// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/exportbundle.h"

#include "formats/checksums.h"
#include "formats/telemetryfile.h"

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
    result.avi = ExportRecording(parser, writer, name, folder, avi);
    if (result.avi.status == ExportStatus::Failed) {
        result.problems.push_back(result.avi.reason);
        return result;
    }
    const std::string aviName = ExportFileName(name);
    result.written.push_back(aviName);

    const TelemetryFiles wanted = options.telemetry ? options.telemetry() : TelemetryFiles{};
    const std::string stem = aviName.substr(0, aviName.size() - 4);  // less ".avi"
    const std::string recording = name.substr(0, name.find(','));
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

    std::string block = RecordingComment(options.card, options.cardId, recording);
    if (const std::string note = StatusNote(result.avi); !note.empty()) {
        block.insert(block.size() - 1, note);
    }
    block += ChecksumLinesFor(folder, result.written, &result.problems);
    if (std::string error; !AppendChecksums(folder, block, &error)) {
        result.problems.push_back(error);
    }
    return result;
}
