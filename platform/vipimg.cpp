// SPDX-License-Identifier: GPL-3.0-or-later
#include "vipimg.h"

#include <dlfcn.h>

#include <cstdio>
#include <type_traits>
#include <vector>

// Only the declaration: the library is opened on the first save (see Imwrite).
#include <opencv2/imgcodecs.hpp>

namespace {

using ImwriteFn = bool (*)(const cv::String&, cv::InputArray, const std::vector<int>&);
static_assert(std::is_same_v<decltype(&cv::imwrite), ImwriteFn>, "the symbol below names this function");
static_assert(_GLIBCXX_USE_CXX11_ABI, "the symbol below is the name under the C++11 string ABI");
constexpr const char* kImwriteSymbol =
    "_ZN2cv7imwriteERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERKNS_11_"
    "InputArrayERKSt6vectorIiSaIiEE";

// OpenCV's image codecs bring in over a hundred libraries (GDAL and its formats): linked,
// they cost every program a quarter of a second at start. Only a still needs them, so they
// are opened then, once. Null (said once on standard error) when they cannot be.
ImwriteFn Imwrite()
{
    static const ImwriteFn fn = []() -> ImwriteFn {
        void* lib = dlopen(MUB_OPENCV_IMGCODECS, RTLD_NOW | RTLD_LOCAL);
        void* sym = lib != nullptr ? dlsym(lib, kImwriteSymbol) : nullptr;
        if (sym == nullptr) {
            std::fprintf(stderr, "images: cannot load the image writer from %s: %s\n", MUB_OPENCV_IMGCODECS,
                         dlerror());
            return nullptr;
        }
        return reinterpret_cast<ImwriteFn>(sym);
    }();
    return fn;
}

}  // namespace

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
    const ImwriteFn imwrite = Imwrite();
    if (imwrite == nullptr) {
        return false;
    }
    try {
        return imwrite(path, m_mat, std::vector<int>());
    } catch (const cv::Exception&) {
        return false;  // unknown extension or unwritable path
    }
}
