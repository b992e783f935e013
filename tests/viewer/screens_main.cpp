// Widgets on two screens side by side: the offscreen platform with a screen layout of its
// own, named on the command line (it wins over QT_QPA_PLATFORM from outside).
#include <gtest/gtest.h>
#include <QApplication>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<char*> args(argv, argv + argc);
    std::string platform = "offscreen:configfile=" MUB_SOURCE_DIR "/tests/viewer/two_screens.json";
    std::string flag = "-platform";
    args.push_back(flag.data());
    args.push_back(platform.data());
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    QApplication app(count, args.data());
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
