// SPDX-License-Identifier: GPL-3.0-or-later
// Where a video channel's pictures go. The engine paints from its worker thread into a
// sink; a widget (or a test) shows the sink's latest picture on its own thread. Size and
// visibility are set by the owner of the view and read by the engine from any thread.
#pragma once

#include "platform/vipimg.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>

class CPictureSink {
public:
    using Listener = std::function<void(uint64_t serial)>;

    explicit CPictureSink(int width = 0, int height = 0, bool visible = true);

    // Any thread.
    void SetSize(int width, int height);
    int Width() const { return static_cast<int>(m_size.load() >> 32); }
    int Height() const { return static_cast<int>(m_size.load() & 0xFFFFFFFFu); }
    // Both at once, never a width of one size with the height of another.
    void Size(int* width, int* height) const;
    void SetVisible(bool visible) { m_visible = visible; }
    bool IsVisible() const { return m_visible.load(); }

    // Hands a picture over (the sink keeps a reference, not a copy: the caller must not
    // write into it afterwards without MakeUnique). Calls the listener afterwards on the
    // calling thread, outside the sink's lock.
    void Present(const CVipImgBase& image);
    // The latest picture and its serial; false when nothing was presented yet.
    bool Latest(CVipImgBase* image, uint64_t* serial = nullptr) const;
    // Number of pictures presented so far.
    uint64_t Serial() const { return m_serial.load(); }
    // Forgets the picture (a stopped player shows black).
    void Clear();

    // A view sets this to learn of new pictures (for example to post a repaint to the GUI
    // thread). Set it before the engine starts painting.
    void SetListener(Listener listener);

private:
    std::atomic<uint64_t> m_size;  // width << 32 | height
    std::atomic<bool> m_visible;
    std::atomic<uint64_t> m_serial{0};
    mutable std::mutex m_lock;
    CVipImgBase m_image;  // --- protected by m_lock
    Listener m_listener;  // --- protected by m_lock (copied out before the call)
};

struct SinkRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

// The calls the engine makes on a window handle, over a sink. A null sink is no window.
bool GetWindowRect(CPictureSink* sink, SinkRect* rect);
bool IsWindowVisible(CPictureSink* sink);
void DrawIplImage(CPictureSink* sink, const CVipImgBase& image);
