#include "platform/picturesink.h"

#include <utility>

CPictureSink::CPictureSink(int width, int height, bool visible)
    : m_width(width < 0 ? 0 : width), m_height(height < 0 ? 0 : height), m_visible(visible)
{
}

void CPictureSink::SetSize(int width, int height)
{
    m_width = width < 0 ? 0 : width;
    m_height = height < 0 ? 0 : height;
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
    rect->right = sink->Width();
    rect->bottom = sink->Height();
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
