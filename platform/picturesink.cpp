// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/picturesink.h"

#include <utility>

namespace {

uint64_t PackSize(int width, int height)
{
    return static_cast<uint64_t>(width < 0 ? 0 : width) << 32 |
           static_cast<uint32_t>(height < 0 ? 0 : height);
}

}  // namespace

CPictureSink::CPictureSink(int width, int height, bool visible)
    : m_size(PackSize(width, height)), m_visible(visible)
{
}

void CPictureSink::SetSize(int width, int height)
{
    m_size = PackSize(width, height);
}

void CPictureSink::Size(int* width, int* height) const
{
    const uint64_t size = m_size.load();
    *width = static_cast<int>(size >> 32);
    *height = static_cast<int>(size & 0xFFFFFFFFu);
}

void CPictureSink::Present(const CVipImgBase& image)
{
    Listener listener;
    uint64_t serial = 0;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_image = image;  // shares the pixels; the painter allocates afresh before writing again
        serial = ++m_serial;
        listener = m_listener;
    }
    // Outside the lock: a listener may read the picture back at once.
    if (listener) {
        listener(serial);
    }
}

bool CPictureSink::Latest(CVipImgBase* image, uint64_t* serial) const
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (m_image.IsEmpty()) {
        return false;
    }
    if (image != nullptr) {
        *image = m_image;
    }
    if (serial != nullptr) {
        *serial = m_serial.load();
    }
    return true;
}

void CPictureSink::Clear()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_image.Free();
}

void CPictureSink::SetListener(Listener listener)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_listener = std::move(listener);
}

bool GetWindowRect(CPictureSink* sink, SinkRect* rect)
{
    if (sink == nullptr || rect == nullptr) {
        return false;
    }
    rect->left = 0;
    rect->top = 0;
    sink->Size(&rect->right, &rect->bottom);
    return true;
}

bool IsWindowVisible(CPictureSink* sink)
{
    return sink != nullptr && sink->IsVisible();
}

void DrawIplImage(CPictureSink* sink, const CVipImgBase& image)
{
    if (sink != nullptr) {
        sink->Present(image);
    }
}
