#include "main_window_fixture.hpp"

#include "app/status_line.hpp"
#include "foundation/exceptions.hpp"
#include "foundation/log.hpp"
#include "support/test_support.hpp"

#include <fmt/format.h>
#include <gmock/gmock.h>

#include <new>
#include <stdexcept>

using apptest::MainWindowTest;

namespace {

struct StatusLine {
    std::string status;
    std::string error;
    int shownAt;
};

StatusLine lf_statusLine()
{
    auto& o = mainWindowObject;
    std::lock_guard lock(o.statusMutex);
    return StatusLine{o.statusText, o.errorText, o.statusShownAt};
}

class StatusLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        apptest::installHooks();
        apptest::resetStatusLine();
    }
    void TearDown() override { apptest::resetStatusLine(); }
};

} // namespace

TEST_F(StatusLineTest, lineShownAtClockZeroClearsWhenTheClockReaches26)
{
    gf_showStatus("Waiting for Prepar3Dv5 ...");
    EXPECT_EQ(lf_statusLine().shownAt, 1);
    for (int second = 1; second <= 25; ++second)
        gf_tickStatusClock();
    EXPECT_EQ(lf_statusLine().status, "Waiting for Prepar3Dv5 ..."); // clock 25
    gf_tickStatusClock();                                              // clock 26
    EXPECT_EQ(lf_statusLine().status, "");
    EXPECT_EQ(lf_statusLine().shownAt, 0);
}

TEST_F(StatusLineTest, aNewLineRestartsTheTwentyFiveSeconds)
{
    for (int second = 0; second < 10; ++second)
        gf_tickStatusClock();
    gf_showStatus("first");
    EXPECT_EQ(lf_statusLine().shownAt, 10);
    for (int second = 0; second < 24; ++second)
        gf_tickStatusClock();
    gf_showStatus("second");
    for (int second = 0; second < 24; ++second)
        gf_tickStatusClock();
    EXPECT_EQ(lf_statusLine().status, "second");
    gf_tickStatusClock();
    EXPECT_EQ(lf_statusLine().status, "");
}

TEST_F(StatusLineTest, errorLineBlocksLaterStatusLinesAndTheirLogLines)
{
    testsupport::TempDir dir;
    gf_openLog(dir / "Log.txt");
    gf_showStatus("shown and logged", true);
    gf_showError("42: no data base");
    gf_showStatus("dropped", true);
    gf_flushLog();
    const auto log = testsupport::readFile(dir / "Log.txt");
    gf_closeLog();

    const auto line = lf_statusLine();
    EXPECT_EQ(line.error, "42: no data base");
    EXPECT_EQ(line.status, "");
    EXPECT_THAT(log, ::testing::HasSubstr("shown and logged"));
    EXPECT_THAT(log, ::testing::HasSubstr("Error 42: no data base"));
    EXPECT_THAT(log, ::testing::Not(::testing::HasSubstr("dropped")));
}

TEST_F(StatusLineTest, clearStatusLeavesTheErrorAndClearErrorRemovesIt)
{
    gf_showError("broken");
    gf_clearStatus();
    EXPECT_EQ(lf_statusLine().error, "broken");
    gf_clearError();
    EXPECT_EQ(lf_statusLine().error, "");
    gf_showStatus("after the error");
    EXPECT_EQ(lf_statusLine().status, "after the error");
}

TEST_F(StatusLineTest, statusWithoutLogFlagStaysOutOfTheLog)
{
    testsupport::TempDir dir;
    gf_openLog(dir / "Log.txt");
    gf_showStatus("Close window button clicked, closing Norvane_P3D ...", false);
    gf_flushLog();
    const auto log = testsupport::readFile(dir / "Log.txt");
    gf_closeLog();
    EXPECT_THAT(log, ::testing::Not(::testing::HasSubstr("Close window button")));
    EXPECT_EQ(lf_statusLine().status, "Close window button clicked, closing Norvane_P3D ...");
}

namespace {

struct ReporterCase {
    const char* what;
    std::function<void()> raise;
    std::string errorLine;
    bool exitRequested;
};

} // namespace

TEST_F(StatusLineTest, reporterSortsExceptionsIntoErrorLinesAndExitRequests)
{
    const ReporterCase cases[] = {
        {"user error", [] { throw tzo::UserErrorException(99, "no liveries found"); }, "no liveries found", false},
        {"format error", [] { throw fmt::format_error("invalid format string"); },
         "std::format error: invalid format string", false},
        {"out of range", [] { throw std::out_of_range("vector::at"); }, "mainLoop: vector::at", true},
        {"allocation", [] { throw std::bad_alloc(); }, "mainLoop: std::bad_alloc", true},
        {"system error", [] { throw tzo::SysErrorException(40, "log"); },
         fmt::format("mainLoop: {}", tzo::SysErrorException(40, "log").what()), true},
        {"runtime error", [] { throw std::runtime_error("boom"); }, "mainLoop: boom", true},
        {"logic error", [] { throw std::logic_error("bad state"); }, "mainLoop: bad state", true},
        {"not standard", [] { throw 17; }, "Unknown exception", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        apptest::resetStatusLine();
        apptest::clearExitRequests();
        try {
            c.raise();
        } catch (...) {
            gf_logException("mainLoop");
        }
        EXPECT_EQ(lf_statusLine().error, c.errorLine);
        const auto exits = apptest::exitRequests();
        if (c.exitRequested) {
            ASSERT_EQ(exits.size(), 1u);
            EXPECT_EQ(exits[0].reason, ExitReason::SYSTEM_ERROR);
            EXPECT_EQ(exits[0].seconds, 0);
        } else {
            EXPECT_TRUE(exits.empty());
        }
    }
}

TEST_F(StatusLineTest, reporterOutsideACatchBlockDoesNotEndTheProgram)
{
    gf_logException("mainLoop");
    EXPECT_EQ(lf_statusLine().error, "");
    EXPECT_TRUE(apptest::exitRequests().empty());
}

TEST_F(MainWindowTest, statusLineInvalidatesTheStatusBand)
{
    window.takeInvalidations();
    gf_showStatus("The new MAX_LIVE is 120");
    gf_showError("broken");
    gf_clearError();
    EXPECT_THAT(window.takeInvalidations(),
                ::testing::ElementsAre(kStatusBand, kStatusBand, kStatusBand));
}
