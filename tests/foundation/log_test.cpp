#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

struct LogTest : ::testing::Test {
    TempDir dir{true};
    ~LogTest() override { gf_closeLog(); }
};

} // namespace

TEST_F(LogTest, rotationKeepsTwoEarlierLogs)
{
    gf_openLog();
    gf_logLine("first run");
    gf_closeLog();
    EXPECT_FALSE(fs::exists("Log0.txt")) << "no copy on the first run";

    gf_openLog();
    gf_logLine("second run");
    gf_closeLog();

    gf_openLog();
    gf_logLine("third run");
    gf_closeLog();

    EXPECT_EQ(testsupport::readLines("Log00.txt").at(1), "first run");
    EXPECT_EQ(testsupport::readLines("Log0.txt").at(1), "second run");
    const auto current = testsupport::readLines("Log.txt");
    ASSERT_EQ(current.size(), 2u);
    EXPECT_EQ(current[1], "third run");
    EXPECT_NE(current[0].find(" (utc) Norvane_P3D version 8.8.0 for Prepar3D v5/v6"), std::string::npos);
}

TEST_F(LogTest, writersAddOnlyTheirPrefix)
{
    gf_logLine("dropped before opening");
    gf_openLog();
    gf_logLineMarked("warning");
    gf_logLineIndented("continued");
    gf_logLineString(std::string("plain"));
    gf_closeLog();
    gf_logLine("dropped after closing");

    const auto l = testsupport::readLines("Log.txt");
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[1], "===> warning");
    EXPECT_EQ(l[2], "          continued");
    EXPECT_EQ(l[3], "plain");
}

TEST_F(LogTest, concurrentWritersNeverInterleaveALine)
{
    gf_openLog();
    const std::string a(200, 'a');
    const std::string b(200, 'b');
    std::thread ta([&] {
        for (int i = 0; i < 1000; ++i)
            gf_logLine(a);
    });
    std::thread tb([&] {
        for (int i = 0; i < 1000; ++i)
            gf_logLineMarked(b);
    });
    ta.join();
    tb.join();
    gf_closeLog();

    const auto l = testsupport::readLines("Log.txt");
    ASSERT_EQ(l.size(), 2001u);
    int countA = 0, countB = 0;
    for (size_t i = 1; i < l.size(); ++i) {
        if (l[i] == a)
            ++countA;
        else if (l[i] == "===> " + b)
            ++countB;
        else
            ADD_FAILURE() << "torn line " << i;
    }
    EXPECT_EQ(countA, 1000);
    EXPECT_EQ(countB, 1000);
}

TEST_F(LogTest, unwritableLogRaisesSysError40)
{
    // Tests run as root, so a read-only folder would not stop us: a folder in
    // the log's place does.
    fs::create_directory("Log.txt");
    try {
        gf_openLog();
        FAIL() << "opening must fail";
    } catch (const tzo::SysErrorException& e) {
        EXPECT_STREQ(e.what(), "sys error 40: Failed to write file Log.txt");
    }
    EXPECT_FALSE(gf_isLogOpen());
    gf_logLine("nothing happens");
}

TEST_F(LogTest, aLineThatCannotBeWrittenDoesNotSilenceTheRestOfTheLog)
{
    gf_openLog();
    gf_logLine("before the disk filled");

    // The file may grow no further, as on a full disk: the next write fails
    // (EFBIG instead of the signal) until the limit is lifted again.
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit full = old;
    full.rlim_cur = static_cast<rlim_t>(fs::file_size("Log.txt"));
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    gf_logLine("while the disk is full");
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, previousHandler);

    gf_logLine("after space was freed");
    const auto written = testsupport::readLines("Log.txt");
    ASSERT_GE(written.size(), 3u);
    EXPECT_EQ(written[1], "before the disk filled");
    EXPECT_EQ(written.back(), "after space was freed");
}

// The earlier log cannot be kept on a full disk (here: a file size limit):
// the start fails naming that cause, not a consequence of it.
TEST_F(LogTest, anEarlierLogThatCannotBeKeptNamesTheRealCause)
{
    testsupport::writeFile("Log.txt", std::string(10000, 'x'));
    struct rlimit old {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit full = old;
    full.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    std::string message;
    try {
        gf_openLog();
    } catch (const std::exception& e) {
        message = e.what();
    }
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_NE(message.find("cannot keep the earlier log"), std::string::npos) << message;
    EXPECT_NE(message.find("File too large"), std::string::npos) << message;
}

TEST_F(LogTest, aLinkInPlaceOfTheLogOrItsCopiesIsReplacedAndItsTargetLeftAlone)
{
    // Opening or copying through a link, or into a file that has another
    // name too, would empty and overwrite that other file.
    struct Row {
        const char* place;
        bool hard;
    };
    for (const Row row : {Row{"Log.txt", false}, Row{"Log.txt", true}, Row{"Log0.txt", false},
                          Row{"Log0.txt", true}, Row{"Log00.txt", false}, Row{"Log00.txt", true}}) {
        SCOPED_TRACE(std::string(row.place) + (row.hard ? " hard link" : " symbolic link"));
        for (const char* name : {"Log.txt", "Log0.txt", "Log00.txt", "precious.txt"})
            fs::remove(name);
        testsupport::writeFile("Log.txt", "banner\nthe run before\n");
        testsupport::writeFile("Log0.txt", "banner\nthe run before that\n");
        testsupport::writeFile("precious.txt", "keep me\n");
        fs::remove(row.place);
        if (row.hard)
            fs::create_hard_link("precious.txt", row.place);
        else
            fs::create_symlink("precious.txt", row.place);

        gf_openLog();
        gf_logLine("this run");
        gf_closeLog();
        EXPECT_EQ(readFile("precious.txt"), "keep me\n");
        EXPECT_FALSE(fs::is_symlink(row.place));
        EXPECT_EQ(fs::hard_link_count(row.place), 1u);
        EXPECT_EQ(testsupport::readLines("Log.txt").at(1), "this run");
        if (std::string_view(row.place) != "Log.txt")
            EXPECT_EQ(testsupport::readLines("Log0.txt").at(1), "the run before");
    }
}
