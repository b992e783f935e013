// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/exportfile.h"

#include "formats/aviwriter.h"
#include "formats/checksums.h"
#include "platform/trace.h"

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// The export's file names went through a 64-byte buffer.
constexpr size_t kMaxNameBytes = 63;
// The player's frame rate when a recording gives none; telemetry is timed by it.
constexpr int kDefaultFps = 30;
// Suffix of the file while it is being written.
constexpr const char* kPartSuffix = ".part";

long long FileSize(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

ExportResult Fail(ExportResult result, std::string reason)
{
    result.status = ExportStatus::Failed;
    result.reason = std::move(reason);
    result.path.clear();
    return result;
}

// "what: the system's reason", or just what when there is none.
std::string WithError(std::string what, int error)
{
    if (error != 0) {
        what += ": ";
        what += std::strerror(error);
    }
    return what;
}

}  // namespace

std::string ExportFileName(const std::string& recordingName)
{
    std::string name = recordingName.substr(0, recordingName.find(','));
    if (name.empty() || name == "." || name == ".." || name.find('/') != std::string::npos ||
        name.find('\\') != std::string::npos) {
        return {};
    }
    const auto endsWith = [&](const char* suffix) {
        const size_t n = std::strlen(suffix);
        if (name.size() < n) {
            return false;
        }
        for (size_t i = 0; i < n; ++i) {
            const char c = name[name.size() - n + i];
            if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != suffix[i]) {
                return false;
            }
        }
        return true;
    };
    if (!endsWith(".avi")) {
        name += ".avi";
    }
    return name.size() <= kMaxNameBytes ? name : std::string();
}

ExportResult ExportRecording(VMediaParser& parser, CAVIWriter& writer, const std::string& name,
                             const std::string& folder, const ExportOptions& options)
{
    ExportResult result;
    const std::string fileName = ExportFileName(name);
    if (fileName.empty()) {
        return Fail(result, "not a usable file name: " + name);
    }
    const std::string target = folder.empty() ? fileName : folder + "/" + fileName;
    const std::string temporary = target + kPartSuffix;

    // Open may cut the string at its index part, so hand it a copy.
    std::string source = name.substr(0, name.find(','));
    std::vector<char> sourceBuffer(source.begin(), source.end());
    sourceBuffer.push_back('\0');
    MediaInfo info;
    if (parser.Open(sourceBuffer.data(), &info) == 0) {
        parser.Close();
        return Fail(result, "recording not found: " + source);
    }

    writer.Finish();  // closes any file left open
    for (int ch = 0; ch < 3; ++ch) {
        const VideoSize size = parser.GetVideoSize(ch);
        writer.SetVideoSize(ch, size.width, size.height);
    }
    const int rates[3] = {info.frameRate0, info.frameRate1, info.frameRate2};
    for (int ch = 0; ch < 3; ++ch) {
        writer.SetFrameRate(ch, rates[ch]);
    }
    int bits = 16;
    int sampleRate = 8000;
    parser.GetAudioFormat(&bits, &sampleRate);
    writer.SetAudioRate(sampleRate);
    writer.SetTwoChannels(rates[1] != 0);
    writer.SetThreeChannels(rates[2] != 0);
    if (!writer.Create(temporary.c_str())) {
        parser.Close();
        return Fail(result, "cannot create " + temporary);
    }

    // Packets are read straight into the chunk the writer hands to the file in one piece.
    uint8_t* const buffer = writer.ChunkBuffer(kPacketBufferBytes);
    bool cancelled = false;
    bool writeFailed = false;
    for (;;) {
        if (options.cancel != nullptr && options.cancel->load()) {
            cancelled = true;
            break;
        }
        char id[5] = {};
        int length = kPacketBufferBytes;
        if (parser.ParseMedia(id, buffer, &length) < 0) {
            break;
        }
        int slot = -1;
        if (IsVideoId(id)) {
            // Channels the recording does not announce have no stream in the file;
            // writing them under another channel's id would corrupt that stream.
            const int channel = VideoChannelOf(id);
            if (channel >= 0 && channel <= 2 && (channel == 0 || rates[channel] != 0)) {
                slot = channel;
            }
        } else if (IsAudioId(id)) {
            slot = CAVIWriter::kSlotAudio;
        }
        if (slot < 0) {
            if (IsTextId(id) && options.text) {
                const int fps = rates[0] > 0 ? rates[0] : kDefaultFps;
                options.text(buffer, length,
                             static_cast<int>(static_cast<long long>(result.framesWritten) * 1000 / fps));
            }
            continue;  // telemetry, unknown ids and "no packet this time"
        }
        if (slot == CAVIWriter::kSlotVideo0 && options.progress) {
            ExportProgress p;
            p.framesDone = result.framesWritten;
            p.framesTotal = info.frameCount0;
            if (p.framesTotal > 0) {
                p.fraction = std::min(1.0, static_cast<double>(p.framesDone) / p.framesTotal);
            }
            if (!options.progress(p)) {
                cancelled = true;  // this packet is still written, then the file finished
            }
        }
        if (options.traceAddData) {
            Trace("aviAddData \n");
        }
        if (!writer.AddChunk(length, slot)) {
            writeFailed = !writer.LimitReached();  // at the limit the file is still whole
            break;
        }
        ++result.packetsWritten;
        if (slot == CAVIWriter::kSlotVideo0) {
            ++result.framesWritten;
        }
        if (cancelled) {
            break;
        }
    }
    parser.Close();

    // Read back from the page cache on this thread while another waits for the disk.
    std::string digest;
    if (options.sha256) {
        writer.SetWhileSyncing([&digest, &temporary] {
            std::string error;
            digest = Sha256OfFile(temporary, &error);
        });
    }
    const int riffSize = writer.Finish();
    // Finish reports a failed write or close as 0; also make sure every byte is there.
    const bool complete = !writeFailed && riffSize > 0 && FileSize(temporary) == riffSize + 8LL;
    if (!complete) {
        unlink(temporary.c_str());
        return Fail(result, WithError((writeFailed ? "cannot write " : "cannot finish ") + temporary,
                                      writer.LastError()));
    }
    if (rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return Fail(result, WithError("cannot rename to " + target, error));
    }
    result.path = target;
    result.sha256 = digest;
    if (cancelled) {
        result.status = ExportStatus::Cancelled;
    } else if (writer.LimitReached()) {
        result.status = ExportStatus::Shortened;
        result.reason = "the file reached the AVI size limit of 2 GiB after " +
                        std::to_string(result.framesWritten) + " of " + std::to_string(info.frameCount0) +
                        " pictures";
    } else if (result.framesWritten < info.frameCount0) {
        result.status = ExportStatus::Shortened;
        result.reason = "only " + std::to_string(result.framesWritten) + " of the " +
                        std::to_string(info.frameCount0) + " pictures could be read from the card";
    } else {
        result.status = ExportStatus::Written;
    }
    return result;
}
