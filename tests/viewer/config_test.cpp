// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/profile.h"
#include "viewer/viewerconfig.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>

using namespace viewer;

namespace {
std::string ReadAll(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
}  // namespace

TEST(ViewerConfig, FirstStartCreatesAnEmptyFileAndUsesDefaults)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString() + "/sub/viewer";
    const ViewerConfig config = LoadViewerConfig(folder);
    EXPECT_EQ(config.volume, 50);
    EXPECT_EQ(config.brightness, 1);
    EXPECT_EQ(ReadAll(ConfigFilePath(folder)), "");
}

TEST(ViewerConfig, SaveThenLoad)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    ASSERT_TRUE(SaveViewerConfig(folder, ViewerConfig{-3, 0}));
    EXPECT_EQ(ReadAll(ConfigFilePath(folder)), "[config]\nbrightness=-3\nvolume=0\n");
    const ViewerConfig config = LoadViewerConfig(folder);
    EXPECT_EQ(config.brightness, -3);
    EXPECT_EQ(config.volume, 0);
}

TEST(ViewerConfig, OddValues)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    std::ofstream(ConfigFilePath(folder)) << "[config]\nbrightness=abc\nvolume=250\n";
    ViewerConfig config = LoadViewerConfig(folder);
    EXPECT_EQ(config.brightness, 0);
    EXPECT_EQ(config.volume, 99);
    std::ofstream(ConfigFilePath(folder)) << "[config]\nbrightness=-200\nvolume=-200\n";
    config = LoadViewerConfig(folder);
    EXPECT_EQ(config.brightness, 1);
    EXPECT_EQ(config.volume, 50);
}

TEST(ViewerConfig, TargetFolderInTheProfile)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString();
    EXPECT_EQ(ReadTargetFolder(folder), "");
    ASSERT_TRUE(WriteTargetFolder(folder, "/media/out"));
    EXPECT_EQ(ReadTargetFolder(folder), "/media/out");
}
