// SPDX-License-Identifier: GPL-3.0-or-later
#include "vipimg.h"

#include <opencv2/imgcodecs.hpp>

bool CVipImgBase::Alloc(int width, int height)
{
    if (width <= 0 || height <= 0) {
        return false;
    }
    if (m_mat.cols == width && m_mat.rows == height && m_mat.type() == CV_8UC3 && m_mat.u &&
        m_mat.u->refcount == 1) {
        return true;  // reuse our own storage
    }
    // A fresh matrix, never cv::Mat::create: that would keep storage another copy shares.
    m_mat = cv::Mat(height, width, CV_8UC3);
    return true;
}

void CVipImgBase::MakeUnique()
{
    if (!m_mat.empty() && m_mat.u && m_mat.u->refcount > 1) {
        m_mat = m_mat.clone();
    }
}

bool CVipImgBase::SaveImage(const char* path) const
{
    if (m_mat.empty() || path == nullptr || *path == '\0') {
        return false;
    }
    try {
        return cv::imwrite(path, m_mat);
    } catch (const cv::Exception&) {
        return false;  // unknown extension or unwritable path
    }
}
