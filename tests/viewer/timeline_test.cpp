// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/timeline.h"

#include <gtest/gtest.h>

using namespace viewer;

TEST(Timeline, ClockLabels)
{
    EXPECT_EQ(FormatClock(0), "00:00:00");
    EXPECT_EQ(FormatClock(60), "00:01:00");
    EXPECT_EQ(FormatClock(3723), "01:02:03");
}

TEST(Timeline, ZeroLengthGetsOneMinute)
{
    EXPECT_EQ(TotalSecondsFor(0), 60);
    EXPECT_EQ(FormatClock(TotalSecondsFor(0)), "00:01:00");
    EXPECT_EQ(TotalSecondsFor(-5), 60);
    EXPECT_EQ(TotalSecondsFor(999), 60);
    EXPECT_EQ(TotalSecondsFor(59999), 59);
}

TEST(Timeline, SkipBackNeedsAPositiveTarget)
{
    int target = -1;
    EXPECT_FALSE(SkipBackTarget(7000, &target));
    EXPECT_FALSE(SkipBackTarget(10000, &target));
    EXPECT_EQ(target, -1);
    EXPECT_TRUE(SkipBackTarget(10001, &target));
    EXPECT_EQ(target, 1);
}

TEST(Timeline, SkipForwardStopsShortOfTheEnd)
{
    int target = -1;
    EXPECT_TRUE(SkipForwardTarget(5000, 60, &target));
    EXPECT_EQ(target, 15000);
    EXPECT_TRUE(SkipForwardTarget(49998, 60, &target));
    EXPECT_FALSE(SkipForwardTarget(49999, 60, &target));
    EXPECT_FALSE(SkipForwardTarget(55000, 60, &target));
}

TEST(Timeline, ReleasedSliderPlaysOneSecondLater)
{
    EXPECT_EQ(SliderSeekMs(42), 43000);
    EXPECT_EQ(SliderSeekMs(0), 1000);
}

TEST(Timeline, VolumeKeysStayInRange)
{
    EXPECT_EQ(VolumeUp(97), 99);
    EXPECT_EQ(VolumeUp(50), 55);
    EXPECT_EQ(VolumeDown(3), 0);
    EXPECT_EQ(VolumeDown(50), 45);
}

TEST(Timeline, DeviceVolumeInBothHalves)
{
    EXPECT_EQ(WaveVolumeFor(0), 0u);
    EXPECT_EQ(WaveVolumeFor(50), (32767u << 16) | 32767u);
    EXPECT_EQ(WaveVolumeFor(99), (64879u << 16) | 64879u);
}

TEST(Timeline, NextAndPreviousRows)
{
    EXPECT_EQ(NextNewerIndex(3), 2);
    EXPECT_EQ(NextNewerIndex(0), -1);
    EXPECT_EQ(NextNewerIndex(-1), -1);
    EXPECT_EQ(NextOlderIndex(-1, 4), 0);
    EXPECT_EQ(NextOlderIndex(2, 4), 3);
    EXPECT_EQ(NextOlderIndex(3, 4), -1);
}
