// SPDX-License-Identifier: GPL-3.0-or-later
#include "waveout.h"

#include "platform/trace.h"

#include <SDL.h>
#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

struct WaveOutDevice {
    SDL_AudioDeviceID id = 0;
    WAVEFORMATEX format{};
    WaveOutProc callback = nullptr;
    DWORD_PTR instance = 0;

    int64_t latencyNs = 0;  // set at open
    int periodBytes = 0;    // set at open

    std::mutex lock;
    std::deque<WAVEHDR*> queue;  // --- protected by lock
    DWORD headOffset = 0;        // bytes of queue.front() already pulled; protected by lock
    uint64_t position = 0;       // bytes pulled or discarded since open; protected by lock
    int lastPullBytes = 0;       // --- protected by lock
    int64_t lastPullNs = 0;      // --- protected by lock
    int64_t activeSinceNs = 0;   // --- protected by lock
    bool paused = false;         // --- protected by lock

    // Touched by the sound system's thread only.
    std::vector<WAVEHDR*> finished;
    std::vector<WaveOutPull> pulls;
};

namespace {

std::atomic<DWORD> g_volume{0xFFFFFFFFu};

std::mutex g_hookLock;
std::shared_ptr<WaveOutPullHook> g_hook;  // --- protected by g_hookLock

std::mutex g_devicesLock;
std::set<HWAVEOUT> g_devices;  // --- protected by g_devicesLock

// ALSA writes every step of a failed open to standard error: eight lines when the machine
// has no sound card. Its lines are traced instead, and a device that cannot be opened is
// told once, in one line, with SDL's reason.
void TraceAlsaLine(const char* file, int line, const char* function, int, const char* format, ...)
{
    if (!TraceEnabled()) {
        return;
    }
    char text[256];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    Trace("ALSA lib %s:%d:(%s) %s\n", file, line, function, text);
}

void QuietAlsa()
{
    // SDL loads the same library later, and the handler is the library's, process-wide. The
    // library stays loaded for the process. Without ALSA there is nothing to quieten.
    using SetHandler = int (*)(void (*)(const char*, int, const char*, int, const char*, ...));
    void* alsa = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (alsa == nullptr) {
        return;
    }
    if (auto set = reinterpret_cast<SetHandler>(dlsym(alsa, "snd_lib_error_set_handler"))) {
        set(TraceAlsaLine);
    }
}

void TellNoSound(const char* reason)
{
    static std::atomic<bool> told{false};
    if (!told.exchange(true)) {
        std::fprintf(stderr, "[waveOut] no sound device, playing without sound: %s\n", reason);
    }
}

bool InitAudioOnce()
{
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] {
        // SDL would otherwise catch SIGINT and SIGTERM and turn them into quit events no
        // one reads: Ctrl-C and kill would no longer end the program.
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        QuietAlsa();
        ok = SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
        if (!ok) {
            TellNoSound(SDL_GetError());
        }
    });
    return ok;
}

bool IsOpenDevice(HWAVEOUT device)
{
    std::lock_guard<std::mutex> lock(g_devicesLock);
    return device != nullptr && g_devices.count(device) != 0;
}

int64_t SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Copies n bytes of samples, scaled by the process volume.
void CopyScaled(const WAVEFORMATEX& format, uint8_t* out, const uint8_t* in, int n)
{
    waveOutScaleSamples(format, g_volume.load(std::memory_order_relaxed), out, in, n);
}

// Runs on SDL's audio thread.
void SDLCALL PullAudio(void* userdata, Uint8* stream, int len)
{
    auto* device = static_cast<WaveOutDevice*>(userdata);
    const int64_t now = SteadyNs();
    int filled = 0;
    device->finished.clear();
    device->pulls.clear();
    {
        std::lock_guard<std::mutex> lock(device->lock);
        while (filled < len && !device->paused && !device->queue.empty()) {
            WAVEHDR* header = device->queue.front();
            const int left = static_cast<int>(header->dwBufferLength - device->headOffset);
            const int n = std::min(len - filled, left);
            if (n > 0) {
                const auto* src = reinterpret_cast<const uint8_t*>(header->lpData) + device->headOffset;
                CopyScaled(device->format, stream + filled, src, n);
                device->pulls.push_back({device, device->position, src, n, now, device->latencyNs,
                                         static_cast<int>(device->format.nAvgBytesPerSec), filled});
                filled += n;
                device->headOffset += static_cast<DWORD>(n);
                device->position += static_cast<uint64_t>(n);
            }
            if (device->headOffset >= header->dwBufferLength) {
                device->queue.pop_front();
                device->headOffset = 0;
                header->dwFlags = (header->dwFlags.load() & ~WHDR_INQUEUE) | WHDR_DONE;
                device->finished.push_back(header);
            }
        }
        if (filled > 0) {
            device->lastPullBytes = filled;
            device->lastPullNs = now;
        }
    }
    if (filled < len) {
        std::memset(stream + filled, device->format.wBitsPerSample == 8 ? 0x80 : 0,
                    static_cast<size_t>(len - filled));
    }
    if (!device->pulls.empty()) {
        std::shared_ptr<WaveOutPullHook> hook;
        {
            std::lock_guard<std::mutex> lock(g_hookLock);
            hook = g_hook;
        }
        if (hook && *hook) {
            for (const WaveOutPull& pull : device->pulls) {
                (*hook)(pull);
            }
        }
    }
    // The data of a finished header may be reused as soon as its owner hears of it.
    if (device->callback) {
        for (WAVEHDR* header : device->finished) {
            device->callback(device, WOM_DONE, device->instance, reinterpret_cast<DWORD_PTR>(header), 0);
        }
    }
}

class CSystemWaveOut : public VWaveOut {
public:
    MMRESULT Open(HWAVEOUT* device, UINT deviceId, const WAVEFORMATEX* format, WaveOutProc callback,
                  DWORD_PTR instance, DWORD flags) override
    {
        return waveOutOpen(device, deviceId, format, callback, instance, flags);
    }
    MMRESULT PrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT size) override
    {
        return waveOutPrepareHeader(device, header, size);
    }
    MMRESULT UnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT size) override
    {
        return waveOutUnprepareHeader(device, header, size);
    }
    MMRESULT Write(HWAVEOUT device, WAVEHDR* header, UINT size) override
    {
        return waveOutWrite(device, header, size);
    }
    MMRESULT Reset(HWAVEOUT device) override { return waveOutReset(device); }
    MMRESULT Close(HWAVEOUT device) override { return waveOutClose(device); }
    MMRESULT GetPosition(HWAVEOUT device, MMTIME* time, UINT size) override
    {
        return waveOutGetPosition(device, time, size);
    }
    MMRESULT Pause(HWAVEOUT device) override { return waveOutPause(device); }
    MMRESULT Restart(HWAVEOUT device) override { return waveOutRestart(device); }
    MMRESULT GetClock(HWAVEOUT device, WaveOutClock* clock) override
    {
        return waveOutGetClock(device, clock);
    }
};

}  // namespace

VWaveOut& SystemWaveOut()
{
    static CSystemWaveOut system;
    return system;
}

MMRESULT waveOutOpen(HWAVEOUT* device, UINT deviceId, const WAVEFORMATEX* format, WaveOutProc callback,
                     DWORD_PTR instance, DWORD flags)
{
    if (device == nullptr || format == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *device = nullptr;
    if (deviceId != WAVE_MAPPER && deviceId != 0) {
        return MMSYSERR_BADDEVICEID;
    }
    if (format->wFormatTag != WAVE_FORMAT_PCM || (format->nChannels != 1 && format->nChannels != 2) ||
        (format->wBitsPerSample != 8 && format->wBitsPerSample != 16) || format->nSamplesPerSec < 1000 ||
        format->nSamplesPerSec > 192000) {
        return WAVERR_BADFORMAT;
    }
    if (!InitAudioOnce()) {
        return MMSYSERR_NODRIVER;
    }
    auto created = std::make_unique<WaveOutDevice>();
    created->format = *format;
    created->callback = (flags & CALLBACK_FUNCTION) ? callback : nullptr;
    created->instance = instance;
    created->finished.reserve(16);
    created->pulls.reserve(16);

    SDL_AudioSpec want{};
    want.freq = static_cast<int>(format->nSamplesPerSec);
    want.format = format->wBitsPerSample == 16 ? AUDIO_S16LSB : AUDIO_U8;
    want.channels = static_cast<Uint8>(format->nChannels);
    // About 32 ms per pull, a power of two: SDL's dummy driver keeps real-time pace only then.
    Uint16 samples = 64;
    while (samples < 4096 && samples * 2 <= want.freq * 32 / 1000) {
        samples = static_cast<Uint16>(samples * 2);
    }
    want.samples = samples;
    want.callback = PullAudio;
    want.userdata = created.get();
    SDL_AudioSpec have{};
    // No allowed changes: SDL converts to whatever the device wants.
    created->id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (created->id == 0) {
        TellNoSound(SDL_GetError());
        return MMSYSERR_NODRIVER;
    }
    created->periodBytes = static_cast<int>(have.samples) * format->nBlockAlign;
    created->latencyNs = waveOutLatencyNs(SDL_GetCurrentAudioDriver(), have.samples, have.freq);
    HWAVEOUT opened = created.release();
    {
        std::lock_guard<std::mutex> lock(g_devicesLock);
        g_devices.insert(opened);
    }
    *device = opened;
    if (opened->callback) {
        opened->callback(opened, WOM_OPEN, opened->instance, 0, 0);
    }
    SDL_PauseAudioDevice(opened->id, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT)
{
    if (!IsOpenDevice(device)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    header->dwFlags = header->dwFlags.load() | WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT)
{
    if (!IsOpenDevice(device)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (header->dwFlags.load() & WHDR_INQUEUE) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags = header->dwFlags.load() & ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT)
{
    if (!IsOpenDevice(device)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (header == nullptr || header->lpData == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    const DWORD flags = header->dwFlags.load();
    if (!(flags & WHDR_PREPARED)) {
        return WAVERR_UNPREPARED;
    }
    if (flags & WHDR_INQUEUE) {
        return WAVERR_STILLPLAYING;
    }
    std::lock_guard<std::mutex> lock(device->lock);
    header->dwFlags = (flags & ~WHDR_DONE) | WHDR_INQUEUE;
    if (device->queue.empty()) {
        device->activeSinceNs = SteadyNs();
    }
    device->queue.push_back(header);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPause(HWAVEOUT device)
{
    if (!IsOpenDevice(device)) {
        return MMSYSERR_INVALHANDLE;
    }
    // Under the device's lock: the next pull (already running or not) takes nothing more.
    std::lock_guard<std::mutex> lock(device->lock);
    device->paused = true;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutRestart(HWAVEOUT device)
{
    if (!IsOpenDevice(device)) {
        return MMSYSERR_INVALHANDLE;
    }
    std::lock_guard<std::mutex> lock(device->lock);
    if (device->paused) {
        device->paused = false;
        device->activeSinceNs = SteadyNs();
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetClock(HWAVEOUT device, WaveOutClock* clock)
{
    if (!IsOpenDevice(device)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (clock == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> lock(device->lock);
    clock->pulledBytes = device->position;
    clock->lastPullBytes = device->lastPullBytes;
    clock->lastPullNs = device->lastPullNs;
    clock->activeSinceNs = device->activeSinceNs;
    clock->latencyNs = device->latencyNs;
    clock->periodBytes = device->periodBytes;
    clock->paused = device->paused;
    return MMSYSERR_NOERROR;
}

int64_t waveOutLatencyNs(const char* driver, int periodFrames, int sampleRate)
{
    if (const char* text = std::getenv("MUB_AUDIO_LATENCY_MS")) {
        char* end = nullptr;
        const double ms = std::strtod(text, &end);
        if (end != text && ms >= 0 && ms < 10000) {
            return static_cast<int64_t>(ms * 1e6);
        }
    }
    if (driver == nullptr || sampleRate <= 0 || std::strcmp(driver, "dummy") == 0 ||
        std::strcmp(driver, "disk") == 0) {
        return 0;
    }
    return static_cast<int64_t>(periodFrames) * 1000000000LL / sampleRate;
}

MMRESULT waveOutReset(HWAVEOUT device)
{
    if (!IsOpenDevice(device)) {
        return MMSYSERR_INVALHANDLE;
    }
    std::vector<WAVEHDR*> finished;
    {
        std::lock_guard<std::mutex> lock(device->lock);
        for (WAVEHDR* header : device->queue) {
            device->position += header->dwBufferLength - device->headOffset;
            device->headOffset = 0;
            header->dwFlags = (header->dwFlags.load() & ~WHDR_INQUEUE) | WHDR_DONE;
            finished.push_back(header);
        }
        device->queue.clear();
    }
    if (device->callback) {
        for (WAVEHDR* header : finished) {
            device->callback(device, WOM_DONE, device->instance, reinterpret_cast<DWORD_PTR>(header), 0);
        }
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT device)
{
    if (!IsOpenDevice(device)) {
        return MMSYSERR_INVALHANDLE;
    }
    {
        std::lock_guard<std::mutex> lock(device->lock);
        if (!device->queue.empty()) {
            return WAVERR_STILLPLAYING;
        }
    }
    {
        std::lock_guard<std::mutex> lock(g_devicesLock);
        g_devices.erase(device);
    }
    // Waits for SDL's thread: no pull runs after this.
    SDL_CloseAudioDevice(device->id);
    if (device->callback) {
        device->callback(device, WOM_CLOSE, device->instance, 0, 0);
    }
    delete device;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetPosition(HWAVEOUT device, MMTIME* time, UINT)
{
    if (!IsOpenDevice(device)) {
        return MMSYSERR_INVALHANDLE;
    }
    if (time == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    std::lock_guard<std::mutex> lock(device->lock);
    time->wType = TIME_BYTES;
    time->cb = static_cast<DWORD>(device->position);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutSetVolume(HWAVEOUT, DWORD volume)
{
    g_volume = volume;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetVolume(HWAVEOUT, DWORD* volume)
{
    if (volume == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *volume = g_volume.load();
    return MMSYSERR_NOERROR;
}

void waveOutSetPullHook(WaveOutPullHook hook)
{
    auto shared = hook ? std::make_shared<WaveOutPullHook>(std::move(hook)) : nullptr;
    std::lock_guard<std::mutex> lock(g_hookLock);
    g_hook = std::move(shared);
}

void waveOutScaleSamples(const WAVEFORMATEX& format, DWORD volume, uint8_t* out, const uint8_t* in, int n)
{
    if (volume == 0xFFFFFFFFu) {
        std::memcpy(out, in, static_cast<size_t>(n));
        return;
    }
    const int32_t gain[2] = {static_cast<int32_t>(volume & 0xFFFF), static_cast<int32_t>(volume >> 16)};
    const int channels = format.nChannels == 2 ? 2 : 1;
    if (format.wBitsPerSample == 16) {
        for (int i = 0; i + 1 < n; i += 2) {
            int16_t s;
            std::memcpy(&s, in + i, 2);
            const int ch = (i / 2) % channels;
            s = static_cast<int16_t>((static_cast<int32_t>(s) * gain[ch]) / 0xFFFF);
            std::memcpy(out + i, &s, 2);
        }
        if (n % 2) {
            out[n - 1] = in[n - 1];
        }
    } else {
        for (int i = 0; i < n; ++i) {
            const int ch = i % channels;
            out[i] = static_cast<uint8_t>(((static_cast<int32_t>(in[i]) - 128) * gain[ch]) / 0xFFFF + 128);
        }
    }
}
