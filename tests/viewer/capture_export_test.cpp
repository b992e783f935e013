// SPDX-License-Identifier: GPL-3.0-or-later
// The capture's and the export's rules without a window, and the export worker against a
// scripted parser: what it tells the window, and how Cancel and Stop end a job.
#include "tests/export/avi_check.h"
#include "tests/export/scripted_parser.h"
#include "viewer/capture.h"
#include "viewer/exportjob.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;
using namespace viewer;

namespace {

TEST(CaptureRules, SuggestedNameHasNoZeroPadding)
{
    std::tm t{};
    t.tm_year = 119;
    t.tm_mon = 8;
    t.tm_mday = 23;
    t.tm_hour = 14;
    t.tm_min = 5;
    t.tm_sec = 30;
    EXPECT_EQ(CaptureSuggestedName(t), "Capture_2019923_14530.jpg");
}

TEST(CaptureRules, BaseNameAndFilesByChannels)
{
    const std::pair<const char*, const char*> bases[] = {
        {"/x/a.jpg", "/x/a"}, {"/x/a", "/x/a"},     {"/x/a.jpeg", "/x/a."},
        {"/x/a.JPG", "/x/a"}, {"/x.d/a", "/x.d/a"}, {"/x/.ab", "/x/"},  // the folder stays whole
        {"/x/b.j", "/x/"},
    };
    for (const auto& [chosen, base] : bases) {
        EXPECT_EQ(CaptureBase(chosen), base) << chosen;
    }
    struct Case {
        int channels, extra;
        bool thirdShown;
        QStringList files;
    };
    const Case cases[] = {
        {1, 0, true, {"b_front.jpg"}},
        {2, 0, false, {"b_front.jpg", "b_rear.jpg"}},              // D
        {3, 1, true, {"b_front.jpg", "b_rear.jpg", "b_3ch.jpg"}},  // T, third shown
        {3, 1, false, {"b_front.jpg", "b_rear.jpg"}},              // T, third hidden
        {2, 1, true, {"b_front.jpg", "b_3ch.jpg"}},                // E
        {2, 1, false, {"b_front.jpg"}},
    };
    for (const Case& c : cases) {
        QStringList files;
        for (const CaptureFile& f : CaptureFiles("b", c.channels, c.extra, c.thirdShown)) {
            files << f.path;
            EXPECT_EQ(f.channel, f.path.endsWith("front.jpg") ? 0 : f.path.endsWith("rear.jpg") ? 1 : 2);
        }
        EXPECT_EQ(files, c.files) << c.channels << " " << c.extra << " " << c.thirdShown;
    }
}

TEST(ExportRules, TitleBarsFolderAndTally)
{
    EXPECT_EQ(MakeFileTitle(0, 3, "REC_a.avi"), "Make File 000/003 [REC_a.avi]");
    EXPECT_EQ(MakeFileTitle(12, 100, "x"), "Make File 012/100 [x]");
    EXPECT_EQ(ExportName("REC_a.avi,12.50"), "REC_a.avi");
    EXPECT_TRUE(ExportFolderFits(std::string(259, 'd')));
    EXPECT_FALSE(ExportFolderFits(std::string(260, 'd')));
    EXPECT_EQ(FramesBarRange(0), 1000);
    EXPECT_EQ(FramesBarRange(450), 450);
    EXPECT_EQ(FramesBarRange(100000), 65535);
    EXPECT_EQ(FramesBarValue(1200, 1000), 1000);

    std::vector<ExportOutcome> outcomes(3);
    outcomes[0] = {"a.avi", ExportStatus::Written, "", {"a.avi", "a.gpx", "a.csv"}, {}, false};
    outcomes[1] = {
        "b.avi", ExportStatus::Cancelled, "cancelled after 4 pictures", {"b.avi"}, {"cannot write b.csv"}};
    outcomes[2] = {"c.avi", ExportStatus::Failed, "cannot write c.avi.part: No space left on device", {}, {}};
    const ExportTally t = TallyOutcomes(outcomes, 5);
    EXPECT_EQ(t.files, 4);
    EXPECT_EQ(t.recordings, 2);
    EXPECT_EQ(t.notStarted, 2);
    EXPECT_EQ(t.partial, std::vector<std::string>{"b.avi: cancelled after 4 pictures"});
    EXPECT_EQ(t.failed,
              (std::vector<std::string>{"cannot write b.csv",
                                        "c.avi: cannot write c.avi.part: No space left on device"}));
}

// Collects the worker's notices as the window would receive them.
class Notices {
public:
    void Add(const ExportNotice& n)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_list.push_back(n);
        m_changed.notify_all();
    }
    bool WaitFor(ExportNotice::Kind kind, int count = 1)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(30), [&] { return CountLocked(kind) >= count; });
    }
    std::vector<ExportNotice> Of(ExportNotice::Kind kind)
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::vector<ExportNotice> out;
        for (const ExportNotice& n : m_list) {
            if (n.kind == kind) {
                out.push_back(n);
            }
        }
        return out;
    }
    std::vector<ExportNotice> All()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return m_list;
    }

private:
    int CountLocked(ExportNotice::Kind kind) const
    {
        return static_cast<int>(std::count_if(m_list.begin(), m_list.end(),
                                              [kind](const ExportNotice& n) { return n.kind == kind; }));
    }
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<ExportNotice> m_list;
};

class ExportWorker : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("mub_worker_" + std::to_string(getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        parser.info.frameRate0 = 30;
        parser.info.frameCount0 = kFrames;
        for (int f = 0; f < kFrames; ++f) {
            parser.packets.push_back({"00dc", 200});
            parser.packets.push_back({"02wb", 64});
        }
        ASSERT_TRUE(worker.Begin());
    }
    void TearDown() override
    {
        worker.Stop();
        fs::remove_all(dir);
    }
    ExportJob Job(std::vector<std::string> names) const
    {
        ExportJob job;
        job.names = std::move(names);
        job.folder = dir.string();
        return job;
    }

    static constexpr int kFrames = 60;
    fs::path dir;
    ScriptedParser parser;
    Notices notices;
    CExportWorker worker{parser, [this](const ExportNotice& n) { notices.Add(n); }};
};

TEST_F(ExportWorker, ThreeFilesInRowOrderWithTheirNews)
{
    const int job = worker.Submit(Job({"REC_1.avi,1.00", "REC_2.avi,1.00", "REC_3.avi,1.00"}));
    ASSERT_GT(job, 0);
    ASSERT_TRUE(notices.WaitFor(ExportNotice::kFinished));
    const std::vector<ExportNotice> all = notices.All();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.back().kind, ExportNotice::kFinished);
    int started = 0;
    int lastFrames = -1;
    for (const ExportNotice& n : all) {
        EXPECT_EQ(n.job, job);
        if (n.kind == ExportNotice::kFileStarted) {
            EXPECT_EQ(n.index, started);
            EXPECT_EQ(n.count, 3);
            EXPECT_EQ(n.name, "REC_" + std::to_string(++started) + ".avi");
            lastFrames = -1;
        } else if (n.kind == ExportNotice::kFrames) {
            EXPECT_EQ(n.framesRange, kFrames);
            EXPECT_GT(n.framesValue, lastFrames);  // only news when the bar moves
            lastFrames = n.framesValue;
        }
    }
    EXPECT_EQ(started, 3);
    const std::vector<ExportNotice> done = notices.Of(ExportNotice::kFileDone);
    ASSERT_EQ(done.size(), 3u);
    for (const ExportNotice& n : done) {
        EXPECT_EQ(n.outcome.status, ExportStatus::Written) << n.outcome.reason;
        EXPECT_EQ(n.outcome.written, std::vector<std::string>{n.name});
        EXPECT_TRUE(ReadAviSummary((dir / n.name).string()).valid);
    }
}

TEST_F(ExportWorker, CancelInTheSecondFileLeavesItShortAndValidAndStartsNoThird)
{
    std::atomic<int> opens{0};
    parser.beforePacket = [&](size_t index) {
        if (index == 0) {
            ++opens;
        }
        if (opens == 2 && index == 40) {
            worker.Cancel();  // as the window's Cancel would, while the packet is read
        }
    };
    const int first = worker.Submit(Job({"REC_1.avi", "REC_2.avi", "REC_3.avi"}));
    ASSERT_TRUE(notices.WaitFor(ExportNotice::kFinished));
    const std::vector<ExportNotice> done = notices.Of(ExportNotice::kFileDone);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].outcome.status, ExportStatus::Written);
    EXPECT_EQ(done[1].outcome.status, ExportStatus::Cancelled);
    EXPECT_EQ(notices.Of(ExportNotice::kFileStarted).size(), 2u);
    const AviSummary second = ReadAviSummary((dir / "REC_2.avi").string());
    ASSERT_TRUE(second.valid);
    EXPECT_EQ(second.Count("00dc"), 21);  // pictures up to the cancel, the one in hand included
    EXPECT_FALSE(fs::exists(dir / "REC_3.avi"));

    // The cancel belonged to that job: the next one runs whole.
    parser.beforePacket = nullptr;
    const int next = worker.Submit(Job({"REC_4.avi"}));
    EXPECT_GT(next, first);
    ASSERT_TRUE(notices.WaitFor(ExportNotice::kFinished, 2));
    EXPECT_EQ(notices.Of(ExportNotice::kFileDone).back().outcome.status, ExportStatus::Written);
}

TEST_F(ExportWorker, NameTooLongIsRefusedAndTheNextGoesOn)
{
    const std::string longName = std::string(60, 'x') + ".avi";  // 64 bytes
    worker.Submit(Job({longName + ",1.00", "REC_2.avi,1.00"}));
    ASSERT_TRUE(notices.WaitFor(ExportNotice::kFinished));
    const std::vector<ExportNotice> done = notices.Of(ExportNotice::kFileDone);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].outcome.status, ExportStatus::Failed);
    EXPECT_EQ(done[0].outcome.name, longName);
    EXPECT_EQ(done[0].outcome.reason, "the name is longer than 63 bytes");
    EXPECT_EQ(done[1].outcome.status, ExportStatus::Written);
    EXPECT_EQ(fs::directory_iterator(dir)->path().filename(), "REC_2.avi");
}

// Shutdown stops the worker in the middle of a file: it ends it valid, tells the end and
// is joined; nothing it uses may go before.
TEST_F(ExportWorker, StopInTheMiddleOfAFileJoinsWithAValidFile)
{
    std::atomic<bool> reading{false};
    parser.beforePacket = [&](size_t index) {
        if (index == 10) {
            reading = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    };
    worker.Submit(Job({"REC_1.avi"}));
    while (!reading) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.Stop();
    EXPECT_EQ(notices.Of(ExportNotice::kFinished).size(), 1u);
    const std::vector<ExportNotice> done = notices.Of(ExportNotice::kFileDone);
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].outcome.status, ExportStatus::Cancelled);
    EXPECT_TRUE(ReadAviSummary((dir / "REC_1.avi").string()).valid);
}

}  // namespace
