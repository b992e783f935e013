// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/vipimg.h"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>

namespace {

CVipImgRGB Gradient(int width, int height)
{
    CVipImgRGB img;
    EXPECT_TRUE(img.Alloc(width, height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* p = img.Pixels() + y * img.Stride() + 3 * x;
            p[0] = static_cast<unsigned char>(x * 8);
            p[1] = static_cast<unsigned char>(y * 8);
            p[2] = 200;
        }
    }
    return img;
}

std::string TempFile(const char* name)
{
    return (std::filesystem::path(testing::TempDir()) / name).string();
}

}  // namespace

TEST(VipImg, CopiesShareStorageUntilMakeUnique)
{
    CVipImgRGB a = Gradient(16, 8);
    CVipImgRGB b = a;
    EXPECT_EQ(a.Pixels(), b.Pixels());
    b.MakeUnique();
    ASSERT_NE(a.Pixels(), b.Pixels());
    EXPECT_EQ(cv::norm(a.Mat(), b.Mat(), cv::NORM_INF), 0.0);
    b.Pixels()[0] = 1;
    EXPECT_EQ(a.Pixels()[0], 0);

    const unsigned char* own = b.Pixels();
    b.MakeUnique();  // already its own
    EXPECT_EQ(b.Pixels(), own);
}

TEST(VipImg, AllocNeverWritesIntoSharedStorage)
{
    CVipImgRGB a = Gradient(16, 8);
    CVipImgRGB b = a;
    ASSERT_TRUE(b.Alloc(16, 8));
    EXPECT_NE(a.Pixels(), b.Pixels());
    EXPECT_FALSE(b.Alloc(0, 8));
    EXPECT_FALSE(b.Alloc(8, -1));
    EXPECT_EQ(b.Width(), 16);
}

TEST(VipImg, SavesJpegAndPngAndFailsOnABadPath)
{
    const CVipImgRGB img = Gradient(32, 16);
    const std::string png = TempFile("vipimg_test.png");
    const std::string jpg = TempFile("vipimg_test.jpg");
    ASSERT_TRUE(img.SaveImage(png.c_str()));
    ASSERT_TRUE(img.SaveImage(jpg.c_str()));
    const cv::Mat back = cv::imread(png, cv::IMREAD_COLOR);
    ASSERT_EQ(back.size(), img.Mat().size());
    EXPECT_EQ(cv::norm(back, img.Mat(), cv::NORM_INF), 0.0);  // lossless, same channel order
    EXPECT_EQ(cv::imread(jpg, cv::IMREAD_COLOR).size(), img.Mat().size());

    EXPECT_FALSE(img.SaveImage(TempFile("no/such/folder/x.jpg").c_str()));
    EXPECT_FALSE(img.SaveImage(TempFile("unknown.extension").c_str()));
    EXPECT_FALSE(img.SaveImage(nullptr));
    EXPECT_FALSE(CVipImgRGB().SaveImage(png.c_str()));
}
