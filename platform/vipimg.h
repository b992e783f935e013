// SPDX-License-Identifier: GPL-3.0-or-later
// Image buffer: 8-bit samples, three interleaved channels in blue-green-red order.
// Copies share storage; a writer that needs its own pixels calls MakeUnique first.
#pragma once

#include <opencv2/core.hpp>

#include <string>

class CVipImgBase {
public:
    CVipImgBase() = default;
    virtual ~CVipImgBase() = default;

    // Allocates width x height pixels (contents undefined); false on a bad size.
    bool Alloc(int width, int height);
    void Free() { m_mat.release(); }
    bool IsEmpty() const { return m_mat.empty(); }

    int Width() const { return m_mat.cols; }
    int Height() const { return m_mat.rows; }
    int Stride() const { return static_cast<int>(m_mat.step[0]); }
    unsigned char* Pixels() { return m_mat.data; }
    const unsigned char* Pixels() const { return m_mat.data; }

    // Gives this image storage of its own when it shares it with another copy.
    void MakeUnique();

    // Writes the image; the file type follows the name's extension (".jpg", ".png", ...).
    bool SaveImage(const char* path) const;

    cv::Mat& Mat() { return m_mat; }
    const cv::Mat& Mat() const { return m_mat; }

protected:
    cv::Mat m_mat;  // CV_8UC3, BGR
};

template <typename T, int Channels = 3>
class CVipImgTempl : public CVipImgBase {
    static_assert(sizeof(T) == 1 && Channels == 3, "only 8-bit three-channel images are used");
};

using CVipImgRGB = CVipImgTempl<unsigned char, 3>;
