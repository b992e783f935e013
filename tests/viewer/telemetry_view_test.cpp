// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/graphstatic.h"
#include "viewer/signalview.h"

#include <gtest/gtest.h>

using namespace viewer;

TEST(SignalView, Pictures)
{
    EXPECT_EQ(TurnSignalBitmap(-1), 817);
    EXPECT_EQ(TurnSignalBitmap(1), 819);
    EXPECT_EQ(TurnSignalBitmap(2), 820);
    EXPECT_EQ(TurnSignalBitmap(kSignalAbsent), 818);
    EXPECT_EQ(PedalBitmap(1, 1), 821);
    EXPECT_EQ(PedalBitmap(1, 0), 810);
    EXPECT_EQ(PedalBitmap(0, 1), 811);
    EXPECT_EQ(PedalBitmap(kSignalAbsent, 1), 808);
    EXPECT_EQ(PedalBitmap(0, 0), 808);
    EXPECT_EQ(GearBitmap(4), 812);
    EXPECT_EQ(GearBitmap(0), 814);
    EXPECT_EQ(GearBitmap(1), 815);
}

TEST(SignalView, NumbersAndSpeed)
{
    EXPECT_EQ(SignalNumberText(kSignalAbsent), "0");
    EXPECT_EQ(SignalNumberText(57), "57");
    EXPECT_EQ(SpeedText(41.99), "41Km/h");
    EXPECT_EQ(SpeedText(0.0), "0Km/h");
    EXPECT_EQ(SpeedText(1e300), "1000000Km/h");
}

TEST(SignalView, ChartCountFollowsTheSecondUpToTheSamples)
{
    EXPECT_EQ(ChartSampleCount(5, 3, 0), 3);
    EXPECT_EQ(ChartSampleCount(2, 3, 0), 2);
    EXPECT_EQ(ChartSampleCount(5, 3, 3), -1);
    EXPECT_EQ(ChartSampleCount(5, 0, 0), -1);
}

class GraphTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        graph.resize(760, 104);
        graph.SetRange(200, 50);
        graph.SetStep(13);
        a = graph.AddSeries(QColor(0, 0, 255), 1);
        b = graph.AddSeries(QColor(255, 255, 0), 1);
    }
    CGraphStatic graph;
    CGraphStatic::SeriesHandle a = nullptr;
    CGraphStatic::SeriesHandle b = nullptr;
};

TEST_F(GraphTest, NewestValueAtTheLeft)
{
    graph.AddValue(a, 150);
    graph.AddValue(a, 100);
    graph.AddValue(a, 50);
    const auto points = graph.SeriesPoints(a);
    ASSERT_EQ(points.size(), 3u);
    const int bottom = graph.PlotRect().bottom();
    EXPECT_EQ(points[0], QPoint(4, bottom - 50 * 104 / 200));
    EXPECT_EQ(points[1], QPoint(4 + 13, bottom - 100 * 104 / 200));
    EXPECT_EQ(points[2], QPoint(4 + 26, bottom - 150 * 104 / 200));
}

TEST_F(GraphTest, ValuesClampIntoThePlot)
{
    graph.AddValue(a, 278);
    graph.AddValue(a, -20);
    const auto points = graph.SeriesPoints(a);
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(points[0].y(), graph.PlotRect().bottom());  // -20, newest, at the left
    EXPECT_EQ(points[1].y(), graph.PlotRect().top());     // 278 clamped to the plot height
}

TEST_F(GraphTest, ClearLeavesOnePointAtTheBottomAndIgnoresStrangers)
{
    graph.AddValue(a, 150);
    graph.ClearSeries(a);
    EXPECT_EQ(graph.SeriesPoints(a).size(), 1u);
    CGraphStatic other;
    auto stranger = other.AddSeries(QColor(1, 2, 3), 1);
    graph.AddValue(stranger, 100);
    graph.ClearSeries(stranger);
    EXPECT_EQ(graph.SeriesPoints(b).size(), 1u);
}

TEST_F(GraphTest, RingWrapsAfter1024Values)
{
    for (int i = 0; i < CGraphStatic::kRingSize + 2; ++i) {
        graph.AddValue(a, 100, false);
    }
    EXPECT_EQ(graph.SeriesPoints(a).size(), 2u);
}

TEST_F(GraphTest, BitmapShowsTheSeriesColour)
{
    graph.AddValue(a, 100);
    const QImage image = graph.Bitmap().toImage();
    const auto p = graph.SeriesPoints(a)[0];
    EXPECT_EQ(image.pixelColor(p), QColor(0, 0, 255));
}
