#include "platform/profile.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class Profile : public testing::Test {
protected:
    void SetUp() override
    {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::path(testing::TempDir()) / (std::string("profile_") + info->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_file = (m_dir / "test.ini").string();
    }
    void TearDown() override
    {
        SetProfileFaultHook(nullptr);
        fs::remove_all(m_dir);
    }

    void Put(const std::string& text) const
    {
        std::ofstream out(m_file, std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::string Contents() const
    {
        std::ifstream in(m_file, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string Get(const char* section, const char* key, const char* def = "-", int size = 64) const
    {
        std::vector<char> buf(static_cast<size_t>(size) + 1, '#');
        const int n = GetPrivateProfileStringA(section, key, def, buf.data(), size, m_file.c_str());
        EXPECT_EQ(static_cast<size_t>(n), std::string(buf.data()).size());
        return std::string(buf.data(), static_cast<size_t>(n));
    }
    bool Set(const char* section, const char* key, const char* value) const
    {
        return WritePrivateProfileStringA(section, key, value, m_file.c_str());
    }
    std::vector<std::string> FilesInDir() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(m_dir)) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }

    fs::path m_dir;
    std::string m_file;
};

const char* const kSample =
    "; camera settings\n"
    "orphan=before any section\n"
    "[Config]\n"
    "brightness=3\n"
    "  Volume =   75  \n"
    "; a comment = not a key\n"
    "quoted=\" padded \"\n"
    "\n"
    "[other]\n"
    "brightness=9\n";

}  // namespace

TEST_F(Profile, ReadsValuesTrimmedWithNamesInAnyCase)
{
    Put(kSample);
    EXPECT_EQ(Get("config", "BRIGHTNESS"), "3");
    EXPECT_EQ(Get(" Config ", "volume"), "75");
    EXPECT_EQ(Get("CONFIG", "quoted"), " padded ");  // quotes keep inner blanks
    EXPECT_EQ(Get("other", "brightness"), "9");
    EXPECT_EQ(Get("Config", "; a comment"), "not a key");  // found by its whole name only
    EXPECT_EQ(Get("Config", "orphan"), "-");               // keys before the first section are in none
    EXPECT_EQ(Get("", "orphan"), "-");
}

TEST_F(Profile, MissingFileSectionOrKeyGivesTheDefault)
{
    EXPECT_EQ(Get("config", "volume", "-200", 10), "-200");
    Put(kSample);
    EXPECT_EQ(Get("nosuch", "volume", "-200", 10), "-200");
    EXPECT_EQ(Get("config", "nosuch", "dflt  ", 10), "dflt");  // trailing blanks go
    EXPECT_EQ(Get("config", "nosuch", nullptr), "");
}

TEST_F(Profile, ResultIsCutToTheBufferLessOne)
{
    Put("[s]\nk=abcdef\n");
    EXPECT_EQ(Get("s", "k", "-", 1), "");
    EXPECT_EQ(Get("s", "k", "-", 2), "a");
    EXPECT_EQ(Get("s", "k", "-", 6), "abcde");
    EXPECT_EQ(Get("s", "k", "-", 7), "abcdef");
    EXPECT_EQ(Get("s", "missing", "xyz", 2), "x");

    char untouched = '#';
    EXPECT_EQ(GetPrivateProfileStringA("s", "k", "-", &untouched, 0, m_file.c_str()), 0);
    EXPECT_EQ(untouched, '#');
}

TEST_F(Profile, ListsSectionAndKeyNames)
{
    Put(kSample);
    char buf[64];
    int n = GetPrivateProfileStringA(nullptr, nullptr, "", buf, sizeof(buf), m_file.c_str());
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n) + 1), std::string("Config\0other\0\0", 14));
    n = GetPrivateProfileStringA("config", nullptr, "", buf, sizeof(buf), m_file.c_str());
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n) + 1),
              std::string("brightness\0Volume\0quoted\0\0", 26));
    // Cut short: ends in two NULs, result size - 2.
    n = GetPrivateProfileStringA(nullptr, nullptr, "", buf, 5, m_file.c_str());
    EXPECT_EQ(n, 3);
    EXPECT_EQ(std::string(buf, 5), std::string("Con\0\0", 5));
}

TEST_F(Profile, CornerCasesReadAsWin32ReadsThem)
{
    Put("orphan=1\n"
        "[a\n"
        "k=after a broken header\n"
        "[s]\n"
        "; note=not listed\n"
        ";key=semi\n"
        "k=1\n"
        "[]\n"
        "nameless=2\n"
        "[empty]\n"
        "; only a comment\n");
    struct Case {
        const char* section;
        const char* key;
        std::string want;
    };
    const Case cases[] = {
        {"", "orphan", "-"},                    // keys before the first header: no name reaches them
        {"a", "k", "-"},                        // "[a" is no header: its line belongs to the part before
        {"s", ";key", "semi"},                  // a ';' key is found by its whole name
        {"s", "key", "-"},                      //   and only by it
        {"", "nameless", "-"},                  // nor does any name reach a nameless section
        {"s", nullptr, std::string("k\0", 2)},  // ';' keys are not listed
        {"empty", nullptr, "dflt"},             // a section without keys lists the default
        {"missing", nullptr, "dflt"},           //   and so does a missing one
        {nullptr, nullptr, std::string("s\0empty\0", 8)},  // no nameless entry in the section list
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.section ? c.section : "(null)") + "/" + (c.key ? c.key : "(null)"));
        char buf[64];
        const int n = GetPrivateProfileStringA(c.section, c.key, c.want == "-" ? "-" : "dflt", buf,
                                               sizeof buf, m_file.c_str());
        EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), c.want);
    }
}

TEST_F(Profile, CornerCasesWriteAsTheyRead)
{
    const std::string original = "[a\nk=0\n[s]\n;key=semi\nk=1\n";
    Put(original);
    EXPECT_FALSE(Set("", "k", "v"));  // a nameless section would be unreachable
    EXPECT_EQ(Contents(), original);
    ASSERT_TRUE(Set("s", ";key", "new"));
    ASSERT_TRUE(Set("a", "k", "2"));  // "[a" was no header, so the section is added
    EXPECT_EQ(Contents(), "[a\nk=0\n[s]\n;key=new\nk=1\n[a]\nk=2\n");
    EXPECT_EQ(Get("s", ";key"), "new");
    EXPECT_EQ(Get("a", "k"), "2");
}

TEST_F(Profile, NamedPipeInsteadOfTheFileIsUnreadable)
{
    ASSERT_EQ(mkfifo(m_file.c_str(), 0600), 0);
    EXPECT_EQ(Get("config", "volume", "-1"), "-1");  // opening it must not wait for a writer
    EXPECT_FALSE(Set("config", "volume", "1"));
    struct stat st;
    ASSERT_EQ(stat(m_file.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(Profile, ReadsCrLfFiles)
{
    Put("[config]\r\nvolume = 40\r\nname=x\r\n");
    EXPECT_EQ(Get("config", "volume"), "40");
    EXPECT_EQ(Get("config", "name"), "x");
}

TEST_F(Profile, ReplacesAValueInPlaceAndKeepsEveryOtherByte)
{
    Put(kSample);
    ASSERT_TRUE(Set("CONFIG", "volume", "5"));
    ASSERT_TRUE(Set("config", "quoted", "plain"));
    EXPECT_EQ(Contents(),
              "; camera settings\n"
              "orphan=before any section\n"
              "[Config]\n"
              "brightness=3\n"
              "  Volume =   5\n"
              "; a comment = not a key\n"
              "quoted=plain\n"
              "\n"
              "[other]\n"
              "brightness=9\n");
    EXPECT_EQ(Get("config", "volume"), "5");
    EXPECT_EQ(Get("other", "brightness"), "9");
}

TEST_F(Profile, AppendsAMissingKeyAfterTheLastKeyOfItsSection)
{
    Put(kSample);
    ASSERT_TRUE(Set("config", "mic_in", "1"));
    ASSERT_TRUE(Set("other", "last", "z"));
    EXPECT_EQ(Contents(),
              "; camera settings\n"
              "orphan=before any section\n"
              "[Config]\n"
              "brightness=3\n"
              "  Volume =   75  \n"
              "; a comment = not a key\n"
              "quoted=\" padded \"\n"
              "mic_in=1\n"
              "\n"
              "[other]\n"
              "brightness=9\n"
              "last=z\n");
}

TEST_F(Profile, AppendsAMissingSectionAndCreatesAMissingFile)
{
    ASSERT_TRUE(Set("config", "volume", "50"));
    EXPECT_EQ(Contents(), "[config]\nvolume=50\n");
    ASSERT_TRUE(Set("Info", "TargetFolder", "/home/u/out dir"));
    EXPECT_EQ(Contents(), "[config]\nvolume=50\n[Info]\nTargetFolder=/home/u/out dir\n");

    Put("[a]\nk=1");  // no line end at the end
    ASSERT_TRUE(Set("b", "k", "2"));
    EXPECT_EQ(Contents(), "[a]\nk=1\n[b]\nk=2\n");
    Put("[a]\nk=1");
    ASSERT_TRUE(Set("a", "j", "2"));
    EXPECT_EQ(Contents(), "[a]\nk=1\nj=2");
    Put("[empty]\n[next]\n");
    ASSERT_TRUE(Set("empty", "k", "v"));
    EXPECT_EQ(Contents(), "[empty]\nk=v\n[next]\n");

    // A lone CR at the very end already ends the line for the reader: it gets its LF,
    // and never becomes part of the value before it.
    Put("[a]\r\nk=1\r");
    ASSERT_TRUE(Set("b", "k", "2"));
    EXPECT_EQ(Contents(), "[a]\r\nk=1\r\n[b]\r\nk=2\r\n");
    Put("[a]\r\nk=1\r");
    ASSERT_TRUE(Set("a", "j", "2"));
    EXPECT_EQ(Contents(), "[a]\r\nk=1\r\nj=2");
    EXPECT_EQ(Get("a", "k"), "1");
}

TEST_F(Profile, CrLfFilesKeepCrLfForNewLines)
{
    const std::string original = "; head\r\n[blackbox]\r\nmic_in=0\r\n\r\n[time]\r\nset=0\r\n";
    Put(original);
    ASSERT_TRUE(Set("blackbox", "mic_in", "1"));
    ASSERT_TRUE(Set("blackbox", "voice_out", "2"));
    ASSERT_TRUE(Set("capacity", "const", "60"));
    EXPECT_EQ(Contents(),
              "; head\r\n[blackbox]\r\nmic_in=1\r\nvoice_out=2\r\n\r\n[time]\r\nset=0\r\n"
              "[capacity]\r\nconst=60\r\n");
}

TEST_F(Profile, KeysBeforeTheFirstSectionSurviveWrites)
{
    Put("orphan=1\n[s]\norphan=2\n");
    ASSERT_TRUE(Set("s", "orphan", "3"));
    EXPECT_EQ(Contents(), "orphan=1\n[s]\norphan=3\n");
}

TEST_F(Profile, DeletesKeysAndSections)
{
    Put(kSample);
    ASSERT_TRUE(Set("config", "brightness", nullptr));
    EXPECT_EQ(Get("config", "brightness"), "-");
    EXPECT_EQ(Get("other", "brightness"), "9");
    ASSERT_TRUE(Set("config", "nosuch", nullptr));
    ASSERT_TRUE(Set("Config", nullptr, nullptr));
    EXPECT_EQ(Contents(),
              "; camera settings\n"
              "orphan=before any section\n"
              "[other]\n"
              "brightness=9\n");
    ASSERT_TRUE(Set("gone", nullptr, nullptr));
}

TEST_F(Profile, RefusesWhatCannotBeStoredOnOneLine)
{
    Put(kSample);
    EXPECT_FALSE(Set("config", "volume", "1\n[evil]"));
    EXPECT_FALSE(Set("config", "a=b", "1"));
    EXPECT_FALSE(Set("con]fig", "a", "1"));
    EXPECT_FALSE(Set("config", "", "1"));
    EXPECT_FALSE(Set("", "a", "1"));
    EXPECT_FALSE(Set(nullptr, "a", "1"));
    EXPECT_FALSE(WritePrivateProfileStringA("config", "a", "1", nullptr));
    EXPECT_EQ(Contents(), kSample);
}

TEST_F(Profile, FailedWriteAtAnyStepLeavesTheOriginal)
{
    const ProfileWriteStep steps[] = {ProfileWriteStep::CreateTemp, ProfileWriteStep::WriteTemp,
                                      ProfileWriteStep::SyncTemp, ProfileWriteStep::Replace};
    for (ProfileWriteStep step : steps) {
        SCOPED_TRACE(static_cast<int>(step));
        Put(kSample);
        static ProfileWriteStep s_failing;
        s_failing = step;
        SetProfileFaultHook([](ProfileWriteStep at) { return at == s_failing; });
        EXPECT_FALSE(Set("config", "volume", "1"));
        EXPECT_FALSE(Set("new", "key", "1"));
        SetProfileFaultHook(nullptr);
        EXPECT_EQ(Contents(), kSample);
        EXPECT_EQ(FilesInDir(), std::vector<std::string>{"test.ini"});  // no temporary left
    }
    ASSERT_TRUE(Set("config", "volume", "1"));
    EXPECT_EQ(Get("config", "volume"), "1");
}

TEST_F(Profile, SaveInterruptedAtAnyStepLeavesTheOldOrTheNewFile)
{
    // The process dies at each step of the save (as on a power cut or a kill): the file
    // is then the old one or the new one, never missing or part-written.
    const ProfileWriteStep steps[] = {ProfileWriteStep::CreateTemp, ProfileWriteStep::WriteTemp,
                                      ProfileWriteStep::SyncTemp, ProfileWriteStep::Replace};
    std::string expected = kSample;
    for (ProfileWriteStep step : steps) {
        SCOPED_TRACE(static_cast<int>(step));
        Put(kSample);
        static ProfileWriteStep s_dying;
        s_dying = step;
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SetProfileFaultHook([](ProfileWriteStep at) {
                if (at == s_dying) {
                    _exit(3);
                }
                return false;
            });
            Set("config", "volume", "1");
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 3);
        EXPECT_EQ(Contents(), kSample);  // every step comes before the file is replaced
        EXPECT_EQ(Get("config", "volume"), "75");
    }
    // Without the fault the same save gives the new file.
    ASSERT_TRUE(Set("config", "volume", "1"));
    EXPECT_EQ(Get("config", "volume"), "1");
}

TEST_F(Profile, FullDiskLeavesTheOriginal)
{
    // A file size limit makes writes fail even for root, like a full disk.
    Put(kSample);
    struct rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = Set("config", "volume", "1");
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(written);
    EXPECT_EQ(Contents(), kSample);
    EXPECT_EQ(FilesInDir(), std::vector<std::string>{"test.ini"});
}

TEST_F(Profile, ReadOnlyFolderLeavesTheOriginal)
{
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes into read-only folders; FullDiskLeavesTheOriginal covers this";
    }
    Put(kSample);
    fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
    const bool written = Set("config", "volume", "1");
    fs::permissions(m_dir, fs::perms::owner_all);
    EXPECT_FALSE(written);
    EXPECT_EQ(Contents(), kSample);
}

TEST_F(Profile, UnreadableFileIsNotReplaced)
{
    fs::create_directory(m_file);  // a folder where the file should be
    EXPECT_FALSE(Set("config", "volume", "1"));
    EXPECT_TRUE(fs::is_directory(m_file));
}

TEST_F(Profile, KeepsPermissionsAndSymbolicLinks)
{
    Put(kSample);
    fs::permissions(m_file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    const std::string link = (m_dir / "link.ini").string();
    fs::create_symlink("test.ini", link);
    ASSERT_TRUE(WritePrivateProfileStringA("config", "volume", "9", link.c_str()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Get("config", "volume"), "9");
    EXPECT_EQ(fs::status(m_file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(Profile, RewritingTheSameValueLeavesTheFileAlone)
{
    Put(kSample);
    struct stat before;
    ASSERT_EQ(stat(m_file.c_str(), &before), 0);
    SetProfileFaultHook([](ProfileWriteStep) { return true; });  // any real write would fail
    EXPECT_TRUE(Set("config", "brightness", "3"));
    struct stat after;
    ASSERT_EQ(stat(m_file.c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino);
}
