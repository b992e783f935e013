// SPDX-License-Identifier: GPL-3.0-or-later
// Waveform-audio output with the calls and codes of the Windows multimedia API, over SDL2
// audio. SDL's callback pulls bytes from the queued headers in order; a header is marked
// done, and the open call's callback told, once all of it has been pulled. Silence plays
// while nothing is queued.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

using MMRESULT = unsigned int;
using UINT = unsigned int;
using DWORD = uint32_t;
using DWORD_PTR = uintptr_t;

struct WaveOutDevice;
using HWAVEOUT = WaveOutDevice*;

constexpr MMRESULT MMSYSERR_NOERROR = 0;
constexpr MMRESULT MMSYSERR_ERROR = 1;
constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
constexpr MMRESULT MMSYSERR_NODRIVER = 6;
constexpr MMRESULT MMSYSERR_NOMEM = 7;
constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
constexpr MMRESULT WAVERR_BADFORMAT = 32;
constexpr MMRESULT WAVERR_STILLPLAYING = 33;
constexpr MMRESULT WAVERR_UNPREPARED = 34;

constexpr UINT WAVE_MAPPER = 0xFFFFFFFFu;
constexpr DWORD CALLBACK_NULL = 0;
constexpr DWORD CALLBACK_FUNCTION = 0x00030000;

constexpr UINT WOM_OPEN = 0x3BB;
constexpr UINT WOM_CLOSE = 0x3BC;
constexpr UINT WOM_DONE = 0x3BD;  // 957

constexpr DWORD WHDR_DONE = 0x01;
constexpr DWORD WHDR_PREPARED = 0x02;
constexpr DWORD WHDR_INQUEUE = 0x10;

constexpr uint16_t WAVE_FORMAT_PCM = 1;
constexpr UINT TIME_BYTES = 4;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)

struct WAVEHDR {
    char* lpData = nullptr;
    DWORD dwBufferLength = 0;
    DWORD dwBytesRecorded = 0;
    DWORD_PTR dwUser = 0;
    // Set by the sound system's thread (done), read by the writer: atomic.
    std::atomic<DWORD> dwFlags{0};
    DWORD dwLoops = 0;
};

struct MMTIME {
    UINT wType = TIME_BYTES;
    DWORD cb = 0;  // bytes pulled by the device since open (TIME_BYTES)
};

// Runs on the sound system's thread (WOM_DONE) or on the calling thread (open, close, reset).
using WaveOutProc = void (*)(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                             DWORD_PTR param2);

MMRESULT waveOutOpen(HWAVEOUT* device, UINT deviceId, const WAVEFORMATEX* format, WaveOutProc callback,
                     DWORD_PTR instance, DWORD flags);
MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize);
MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize);
MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT headerSize);
// Marks every queued header done (calling back for each) and empties the queue.
MMRESULT waveOutReset(HWAVEOUT device);
// Fails with WAVERR_STILLPLAYING while headers are queued, as the system call does.
MMRESULT waveOutClose(HWAVEOUT device);
MMRESULT waveOutGetPosition(HWAVEOUT device, MMTIME* time, UINT timeSize);
// Stops pulling at once (silence plays; what is queued stays queued), and goes on again.
MMRESULT waveOutPause(HWAVEOUT device);
MMRESULT waveOutRestart(HWAVEOUT device);

// Beyond the system calls: what a player needs to follow the sound actually heard.
struct WaveOutClock {
    uint64_t pulledBytes = 0;   // pulled or discarded since open (64 bits: never wraps)
    int lastPullBytes = 0;      // queued bytes taken by the latest pull that took any
    int64_t lastPullNs = 0;     // steady_clock time of that pull; 0 when none since open
    int64_t activeSinceNs = 0;  // last time the device got sound after having none, or restarted
    int64_t latencyNs = 0;      // from a pull until its first sample is heard
    int periodBytes = 0;        // what one pull asks for
    bool paused = false;
};
MMRESULT waveOutGetClock(HWAVEOUT device, WaveOutClock* clock);
// The latency assumed for the sound system in use: none for drivers that discard what they
// pull (dummy, disk); one pull period of buffering otherwise, which is what the sound
// server is asked to keep. MUB_AUDIO_LATENCY_MS, when set, replaces the estimate.
int64_t waveOutLatencyNs(const char* driver, int periodFrames, int sampleRate);
// One volume for the whole process (the device the main window sets is device 0): low word
// left, high word right, 0xFFFF full. Scales the samples handed to the sound system.
MMRESULT waveOutSetVolume(HWAVEOUT device, DWORD volume);
MMRESULT waveOutGetVolume(HWAVEOUT device, DWORD* volume);
// What the layer hands to the sound system: n bytes of samples in the given format scaled
// by a volume as above (low word the first channel, high word the second).
void waveOutScaleSamples(const WAVEFORMATEX& format, DWORD volume, uint8_t* out, const uint8_t* in, int n);

// Sleeps and ticks are fine-grained here: the timer-resolution calls do nothing.
inline MMRESULT timeBeginPeriod(UINT)
{
    return MMSYSERR_NOERROR;
}
inline MMRESULT timeEndPeriod(UINT)
{
    return MMSYSERR_NOERROR;
}

// What a test learns of each run of queued bytes the sound system pulls.
struct WaveOutPull {
    HWAVEOUT device = nullptr;
    uint64_t byteOffset = 0;        // position of data[0] in the stream of queued bytes since open
    const uint8_t* data = nullptr;  // as queued, before the volume is applied
    int bytes = 0;
    int64_t steadyNs = 0;   // steady_clock time of the pull
    int64_t latencyNs = 0;  // the pull's first byte is heard this long after steadyNs
    int bytesPerSec = 0;    // of the stream
    int intoPullBytes = 0;  // bytes the same pull took before data[0] (from other buffers)
};
using WaveOutPullHook = std::function<void(const WaveOutPull&)>;
// Process-wide; called on the sound system's thread, outside the device's lock. Empty clears.
void waveOutSetPullHook(WaveOutPullHook hook);

// The calls above as an interface, so that the wave box can be driven by a fake device.
class VWaveOut {
public:
    virtual ~VWaveOut() = default;
    virtual MMRESULT Open(HWAVEOUT* device, UINT deviceId, const WAVEFORMATEX* format, WaveOutProc callback,
                          DWORD_PTR instance, DWORD flags) = 0;
    virtual MMRESULT PrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize) = 0;
    virtual MMRESULT UnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize) = 0;
    virtual MMRESULT Write(HWAVEOUT device, WAVEHDR* header, UINT headerSize) = 0;
    virtual MMRESULT Reset(HWAVEOUT device) = 0;
    virtual MMRESULT Close(HWAVEOUT device) = 0;
    virtual MMRESULT GetPosition(HWAVEOUT device, MMTIME* time, UINT timeSize) = 0;
    virtual MMRESULT Pause(HWAVEOUT) { return MMSYSERR_NOTSUPPORTED; }
    virtual MMRESULT Restart(HWAVEOUT) { return MMSYSERR_NOTSUPPORTED; }
    // Devices that cannot tell more report their position only.
    virtual MMRESULT GetClock(HWAVEOUT device, WaveOutClock* clock)
    {
        MMTIME time;
        const MMRESULT r = GetPosition(device, &time, sizeof(time));
        if (r == MMSYSERR_NOERROR) {
            *clock = WaveOutClock{};
            clock->pulledBytes = time.cb;
        }
        return r;
    }
};

// The SDL-backed calls above.
VWaveOut& SystemWaveOut();
