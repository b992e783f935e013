// SPDX-License-Identifier: GPL-3.0-or-later
// The picture sink the decoder paints into.
#include "platform/picturesink.h"

#include <gtest/gtest.h>

TEST(PictureSink, WindowCallsOverASink)
{
    SinkRect rect;
    EXPECT_FALSE(GetWindowRect(nullptr, &rect));
    EXPECT_FALSE(IsWindowVisible(nullptr));
    DrawIplImage(nullptr, CVipImgBase());  // no window: nothing happens

    CPictureSink sink(640, 360, false);
    ASSERT_TRUE(GetWindowRect(&sink, &rect));
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, 640);
    EXPECT_EQ(rect.bottom, 360);
    EXPECT_FALSE(IsWindowVisible(&sink));
    sink.SetVisible(true);
    EXPECT_TRUE(IsWindowVisible(&sink));
    sink.SetSize(-5, 10);
    ASSERT_TRUE(GetWindowRect(&sink, &rect));
    EXPECT_EQ(rect.right, 0);
    EXPECT_EQ(rect.bottom, 10);
}

TEST(PictureSink, PresentSharesThePictureAndCallsTheListenerUnlocked)
{
    CPictureSink sink(4, 2);
    CVipImgBase got;
    EXPECT_FALSE(sink.Latest(&got));

    uint64_t heard = 0;
    const unsigned char* seenPixels = nullptr;
    // The listener reads the picture back at once: it must run outside the sink's lock.
    sink.SetListener([&](uint64_t serial) {
        heard = serial;
        CVipImgBase image;
        ASSERT_TRUE(sink.Latest(&image));
        seenPixels = image.Pixels();
    });
    CVipImgBase image;
    ASSERT_TRUE(image.Alloc(4, 2));
    DrawIplImage(&sink, image);
    EXPECT_EQ(heard, 1u);
    EXPECT_EQ(seenPixels, image.Pixels());  // shared, not copied
    uint64_t serial = 0;
    ASSERT_TRUE(sink.Latest(&got, &serial));
    EXPECT_EQ(serial, 1u);
    EXPECT_EQ(sink.Serial(), 1u);

    sink.Clear();
    EXPECT_FALSE(sink.Latest(&got));
    EXPECT_EQ(got.Pixels(), image.Pixels());  // a copy already handed out stays valid
}
