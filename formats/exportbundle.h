// SPDX-License-Identifier: GPL-3.0-or-later
// One recording exported with what goes beside it: the AVI file, on request its GPS track
// (NAME.gpx) and telemetry (NAME.csv), and the lines of all of them, with the source's own
// digest, appended to the folder's SHA256SUMS.
#pragma once

#include "formats/exportfile.h"
#include "mublib/mublib.h"

#include <functional>
#include <string>
#include <vector>

class CAVIWriter;

struct TelemetryFiles {
    bool gpx = false;
    bool csv = false;
};

struct BundleOptions {
    ExportOptions avi;
    // Asked once the AVI file is finished: which telemetry files go beside it. Empty: none.
    std::function<TelemetryFiles()> telemetry;
    // The card the recording is read from, for the digest of its source file.
    MUBContext card = nullptr;
    int cardId = 0;
};

struct BundleResult {
    ExportResult avi;
    std::vector<std::string> written;   // names of the files written into the folder, AVI first
    std::vector<std::string> problems;  // what could not be written, each naming its file
    bool noFixes = false;               // a track was asked for, but the recording has no fix
};

// Runs on the caller's thread, like ExportRecording. A telemetry file or the checksum lines
// that cannot be written are problems; the files already written stay as they are.
BundleResult ExportBundle(VMediaParser& parser, CAVIWriter& writer, const std::string& name,
                          const std::string& folder, const BundleOptions& options);
