// SPDX-License-Identifier: GPL-3.0-or-later
// The shared vocabulary of the playback engine: stream ids, packets, media info,
// packet kind codes, and the interfaces the player drives.
#pragma once

#include <cstdint>
#include <functional>

class CPictureSink;
// Where a channel's pictures go; the engine never sees a window, only its sink.
using PictureSinkHandle = CPictureSink*;

// Every buffer that receives a packet holds this many bytes.
constexpr int kPacketBufferBytes = 0x200000;
// At most this much of one audio packet is ever played.
constexpr int kMaxAudioPlayBytes = 8192;

// Four ASCII characters and a terminating NUL: "00dc", "01dc", "02dc", "02wb", "03tx".
using StreamId = char[5];

inline bool IsVideoId(const char* id)
{
    return id[0] && id[1] && id[2] == 'd' && id[3] == 'c';
}
inline bool IsAudioId(const char* id)
{
    return id[0] && id[1] && id[2] == 'w' && id[3] == 'b';
}
inline bool IsTextId(const char* id)
{
    return id[0] && id[1] && id[2] == 't' && id[3] == 'x';
}
// Channel of a video id: the decimal value of its first two characters.
inline int VideoChannelOf(const char* id)
{
    return (id[0] - '0') * 10 + (id[1] - '0');
}

// Result of VMediaParser::ReadPacket.
enum PacketKind : int {
    kPacketVideo0 = 0,
    kPacketVideo1 = 1,
    kPacketVideo2 = 2,
    kPacketAudio = 3,
    kPacketText = 4,
    kPacketNone = 5,     // nothing this time
    kPacketEnd = 6,      // end of media
    kPacketStopped = 7,  // reader stopped while waiting
};

struct MediaPacket {
    StreamId id = {0, 0, 0, 0, 0};
    const void* data = nullptr;
    int length = 0;
};

// Filled by VMediaParser::Open.
struct MediaInfo {
    int32_t frameRate0 = 0;
    int32_t frameRate1 = 0;
    int32_t frameRate2 = 0;
    int32_t frameCount0 = 0;
    int32_t frameCount1 = 0;
    int32_t extraCount = 0;
};

struct VideoSize {
    int width = 0;
    int height = 0;
};

class VMediaParser {
public:
    virtual ~VMediaParser() = default;
    virtual bool Start() = 0;
    virtual void Stop() = 0;
    // Opens the recording named by path (the string may be cut at its index part).
    virtual int Open(char* path, MediaInfo* info) = 0;
    virtual void Close() = 0;
    virtual int ReadPacket(void* buffer, int* size) = 0;
    // 5: a packet (id set) or none this time (id empty); -1: end of media or error.
    virtual int ParseMedia(char* id, void* buffer, int* size) = 0;
    virtual VideoSize GetVideoSize(int channel) = 0;
    virtual int GetFrameRate(int channel) = 0;
    virtual void GetAudioFormat(int* bitsPerSample, int* sampleRate) = 0;
    virtual int SeekTime(float seconds) = 0;
    virtual bool IsSeekSnapped() = 0;
};

class VMediaDecoder {
public:
    virtual bool Init() = 0;
    virtual void Release() = 0;
    virtual bool DecodeAndShow(int channel, PictureSinkHandle window, const void* data, int size,
                               bool show) = 0;
    virtual bool Redraw(int channel, PictureSinkHandle window) = 0;
    // After DecodeAndShow returned false: true when the data could not be decoded, false
    // when it was merely no picture yet (a decoder holding pictures back to reorder them).
    virtual bool DecodeFailed(int channel) = 0;
    virtual void Flush(int channel) = 0;
    virtual void SetContrast(int channel, int value) = 0;
    virtual void SetBrightness(int channel, int value) = 0;
    virtual void SetFlipMode(int channel, int mode) = 0;
    virtual bool SaveSnapshot(int channel, const char* path) = 0;
    // Decoding a channel's pictures a few at a time in parallel holds each back by a
    // packet or more. The size the recording announces for a channel, before its packets.
    virtual void SetPictureSize(int channel, int width, int height)
    {
        (void)channel;
        (void)width;
        (void)height;
    }
    // Packets a channel's picture comes out after its own; 0: with its own packet, and the
    // three calls below are not needed.
    virtual int Delay(int channel)
    {
        (void)channel;
        return 0;
    }
    // Decodes without painting; data null: one picture held back at the end of the data.
    // True when a picture came out: *pictureTag is the tag its packet went in with (-1 if
    // unknown). False with DecodeFailed telling bad data from no picture yet.
    virtual bool Decode(int channel, const void* data, int size, int tag, int* pictureTag)
    {
        (void)channel, (void)data, (void)size, (void)tag, (void)pictureTag;
        return false;
    }
    // Paints the channel's last picture into the sink at its size.
    virtual bool Show(int channel, PictureSinkHandle window)
    {
        (void)channel, (void)window;
        return false;
    }

protected:
    ~VMediaDecoder() = default;  // owners delete the concrete decoder
};

class VAudio {
public:
    virtual bool Open(int bitsPerSample, int sampleRate) = 0;
    virtual int Close() = 0;
    virtual int Write(const void* pcm, int length) = 0;
    virtual ~VAudio() = default;
    virtual int OnError(int code) = 0;
};

class VFileSystem {
public:
    virtual bool Open(const char* path, const char* mode) = 0;
    virtual int Write(const void* data, int length) = 0;
    // Closes the file; false when what was written may not all have reached it (a
    // buffered write or the close itself failed). Closed either way.
    virtual bool Close() = 0;
    // origin: 0 from start, 1 from the current position, 2 from the end. 0 on success.
    virtual int Seek(long offset, int origin) = 0;
    virtual bool IsOpen() = 0;
    // Work for the next Close to run on the caller's thread once every byte was handed to
    // the system, while the disk catches up. Not run when the flush failed; a sink that
    // cannot overlap the two ignores it (the default), and the work is left undone.
    virtual void SetWhileSyncing(std::function<void()> work) { (void)work; }
    // Virtual so that an owner holding only the interface deletes the whole sink.
    virtual ~VFileSystem() = default;
};
