// Named pipes (and links to them) where the card has files: opening one for reading would
// wait for a writer forever, inside the library's lock. Every call must come back at
// once, and the listing shows only real recordings.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>

#include "mublib/mublib.h"
#include "tests/mublib/card_fixture.h"

namespace {

// Runs body on a thread. Should it block, the pipes are opened and closed for writing
// until it returns (so that the test program can end), and the test fails.
void ExpectNoBlocking(const std::function<void()>& body, const std::vector<std::string>& pipes)
{
    auto done = std::async(std::launch::async, body);
    if (done.wait_for(std::chrono::seconds(20)) == std::future_status::ready) {
        done.get();
        return;
    }
    ADD_FAILURE() << "a library call blocked on a named pipe";
    while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
        for (const std::string& p : pipes) {
            const int fd = ::open(p.c_str(), O_RDWR | O_NONBLOCK);
            if (fd >= 0) {
                ::close(fd);
            }
        }
    }
}

TEST(SpecialFiles, NamedPipesOnTheCardNeverBlockAndAreNotListed)
{
    CTempDir dir;
    const std::string root = dir.Path() + "/card";
    MakeCardLayout(root);
    ASSERT_TRUE(WriteScript(mub::RecordingPath(root, 1, "REC_20261201_080000_N"),
                            MakeDescription(1, 'N', 30, false), MakeScript(1, 30, false, 1)));
    const std::vector<std::string> pipes = {
        root + "/" + mub::kCardIdFile,
        mub::RecordingPath(root, 1, "REC_20261201_090000_N"),
        dir.Path() + "/elsewhere",
    };
    for (const std::string& p : pipes) {
        ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0) << p;
    }
    ASSERT_EQ(::symlink(pipes[2].c_str(), mub::RecordingPath(root, 1, "REC_20261201_100000_N").c_str()), 0);
    // A folder under a recording's name is no recording either.
    ASSERT_EQ(::mkdir(mub::RecordingPath(root, 1, "REC_20261201_110000_N").c_str(), 0700), 0);

    MUBContext ctx = MUB_CreateContext();
    ASSERT_EQ(MUB_AddCardFolder(ctx, root.c_str()), 1);
    ExpectNoBlocking(
        [&] {
            uint8_t id = 0;
            EXPECT_EQ(MUB_GetCardId(ctx, &id), 1);
            EXPECT_EQ(MUB_OpenCard(ctx), 1);
            EXPECT_EQ(MUB_GetFileCount(ctx, id, 1), 1);
            char names[4 * MUB_NAME_SLOT_BYTES] = {};
            EXPECT_EQ(MUB_GetFileList(ctx, id, 1, 4, names, nullptr, nullptr), 1);
            EXPECT_STREQ(names, "REC_20261201_080000_N.avi");
            for (const char* name :
                 {"REC_20261201_090000_N.avi", "REC_20261201_100000_N.avi", "REC_20261201_110000_N.avi"}) {
                SCOPED_TRACE(name);
                EXPECT_EQ(MUB_OpenFileByName(ctx, 1, name), -1);
                uint8_t description[MUB_DESCRIPTION_BYTES];
                EXPECT_EQ(MUB_GetFileInfo(ctx, name, description, nullptr, nullptr, nullptr, nullptr, nullptr,
                                          nullptr),
                          0);
            }
            EXPECT_EQ(mub::ReadAllPacketsFromFile(pipes[1]).opened, false);
        },
        pipes);
    MUB_ReleaseContext(ctx);
}

}  // namespace
