// SPDX-License-Identifier: GPL-3.0-or-later
// Exports one recording from the card as an AVI file: reads it through a parser, writes
// its video channels and sound through the AVI writer.
#pragma once

#include "engine/media.h"

#include <atomic>
#include <functional>
#include <string>

class CAVIWriter;

enum class ExportStatus {
    Written,    // the whole recording is in the file
    Cancelled,  // stopped on request; the file holds what was written so far, finished
    Shortened,  // the file holds only part of the recording (reason says why), finished
    Failed,     // nothing usable was written; no file is left behind
};

struct ExportResult {
    ExportStatus status = ExportStatus::Failed;
    std::string reason;      // why it failed or was shortened; empty otherwise
    std::string path;        // the file written (also for a cancelled export)
    int framesWritten = 0;   // channel 0 pictures
    int packetsWritten = 0;  // all chunks
    // Lower-case hex SHA-256 of the file written, when asked for and it could be read.
    std::string sha256;
};

struct ExportProgress {
    int framesDone = 0;   // channel 0 pictures written so far
    int framesTotal = 0;  // channel 0 pictures the recording reports (0: unknown)
    double fraction = 0;  // 0..1; 0 while the total is unknown
};

// Called for every channel 0 picture, before it is written. Return false to cancel.
using ExportProgressFn = std::function<bool(const ExportProgress&)>;
// Called for every telemetry packet read, with its media time: the channel 0 pictures read
// before it, in milliseconds (as the player times it).
using ExportTextFn = std::function<void(const void* data, int length, int timeMs)>;

struct ExportOptions {
    ExportProgressFn progress;
    ExportTextFn text;  // the AVI keeps no telemetry; this sees it go by
    // Checked before every packet; when set the export stops after the current packet
    // and finishes the file.
    const std::atomic<bool>* cancel = nullptr;
    // Print the per-packet "aviAddData" diagnostic line on standard output.
    bool traceAddData = true;
    // Work out the written file's SHA-256 while it is synced to the disk.
    bool sha256 = false;
};

// The file name a recording is exported under: its own name, ending in ".avi". Empty
// when the name cannot be a file name (empty, a path, or longer than 63 bytes).
std::string ExportFileName(const std::string& recordingName);

// Exports the recording `name` (the text up to its first comma) into `folder` (empty:
// the current folder). A parser that was not started reads each packet straight into the
// writer's chunk, the quickest way; the writer must be idle. Runs on the
// caller's thread. The file is written under a temporary name and takes its own name
// only once finished and closed without error, so a failed export never leaves a file
// looking whole. A recording that ends before the pictures it announced (a card pulled
// or failing, damage passed over) or that outgrows the AVI size limit gives a finished,
// valid file of what was written, reported as Shortened.
ExportResult ExportRecording(VMediaParser& parser, CAVIWriter& writer, const std::string& name,
                             const std::string& folder, const ExportOptions& options);
