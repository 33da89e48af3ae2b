#include "main_window_fixture.hpp"

#include "app/status_line.hpp"
#include "app/window_state_lines.hpp"
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

// The headless lines, looked at once a second as the main loop does: each
// row gives the facts at some seconds and the lines said at them.
TEST(WindowStateLines, sayOnlyWhatIsTrueAndTheCountsWithinSecondsThenEveryMinute)
{
    using Facts = tzo::WindowStateFacts;
    using Change = std::function<void(int second, Facts&)>;
    const Facts::Feed waiting{true, 0, false};
    struct Case {
        const char* what;
        int seconds;
        Change change;  // the facts at each second, from those of the second before
        std::vector<std::pair<int, std::string>> said;
    };
    const std::string counts = "Aircraft in the simulator: ";
    const Case cases[] = {
        {"the simulator connects, is closed by the program, connects again and is lost", 8,
         [](int s, Facts& f) {
             f.simConnected = s != 2 && s < 5;
             f.programCloses = s == 2 || s == 3;
         },
         {{5, "Simulator link: lost"}}},
        {"a feed opens, its first datagram, silence, datagrams again", 40,
         [&](int s, Facts& f) {
             f.traffic = waiting;
             f.traffic.datagrams = s >= 3 ? s : 0;
             f.traffic.silent = s >= 31 && s < 35;
         },
         {{0, "Traffic feed: open, waiting for RealTraffic"},
          {3, "Traffic feed: receiving from RealTraffic"},
          {31, "Traffic feed: nothing received for a while: is RealTraffic running and sending to this machine?"},
          {35, "Traffic feed: RealTraffic sends again"}}},
        {"a feed silent before the grace and receiving for the first time after it", 40,
         [&](int s, Facts& f) {
             f.weather = waiting;
             f.weather.silent = s < 36;
             f.weather.datagrams = s < 36 ? 0 : 1;
         },
         {{0, "Weather feed: open, waiting for RealTraffic"},
          {30, "Weather feed: nothing received for a while: is RealTraffic running and sending to this machine?"},
          {36, "Weather feed: receiving from RealTraffic"}}},
        {"a reader that fails ends the program: no feed opens, none stops", 10,
         [&](int s, Facts& f) {
             f.programCloses = s >= 1;
             f.traffic = Facts::Feed{s >= 2 && s < 6, 0, false};
         },
         {}},
        {"the first aircraft one by one: the counts once they hold", 20,
         [](int s, Facts& f) { f.counts.parkedStatic = std::min(s / 2, 3); },
         {{9, counts + "0 live, 0 parked live, 3 parked static"}}},
        {"a crowd whose counts never stand still: within 10 s, then every minute", 190,
         [](int s, Facts& f) { f.counts.live = 1 + static_cast<std::uint32_t>(s); },
         {{8, counts + "9 live, 0 parked live, 0 parked static"},
          {68, counts + "69 live, 0 parked live, 0 parked static"},
          {128, counts + "129 live, 0 parked live, 0 parked static"},
          {188, counts + "189 live, 0 parked live, 0 parked static"}}},
        {"steady counts: one line; the aircraft the program takes at its exit are not said", 200,
         [](int s, Facts& f) {
             f.counts.live = s < 100 ? 5 : 0;
             f.programCloses = s >= 100;
         },
         {{3, counts + "5 live, 0 parked live, 0 parked static"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tzo::WindowStateLines lines;
        Facts facts;
        const auto start = tzo::WindowStateLines::Clock::now();
        std::vector<std::pair<int, std::string>> said;
        for (int second = 0; second <= c.seconds; ++second) {
            c.change(second, facts);
            for (std::string& line : lines.lines(facts, start + std::chrono::seconds(second)))
                said.emplace_back(second, std::move(line));
        }
        EXPECT_EQ(said, c.said);
    }
}

TEST_F(MainWindowTest, statusLineInvalidatesTheStatusBand)
{
    window.takeInvalidations();
    gf_showStatus("The new MAX_LIVE is 120");
    gf_showError("broken");
    gf_clearError();
    // An error's band may grow over the park-airport box, and its clearing
    // takes all of it back.
    EXPECT_THAT(window.takeInvalidations(),
                ::testing::ElementsAre(kStatusBand, kErrorBand, kErrorBand));
}

namespace {

// Paints as the window's painter does: the status band under statusMutex.
class StatusPainter : public apptest::TestWindowProcedure {
public:
    void onPaint(ui::Window&, ui::Painter& painter) override
    {
        std::lock_guard lock(mainWindowObject.statusMutex);
        painter.text(3, 427, mainWindowObject.errorText.empty() ? mainWindowObject.statusText
                                                                 : mainWindowObject.errorText,
                     ui::rgb(255, 255, 0));
    }
};

} // namespace

TEST(StatusLineUnderLoad, workersAndThePainterShareTheMutexWithoutDeadlock)
{
    apptest::installHooks();
    apptest::resetStatusLine();
    StatusPainter procedure;
    ui::HeadlessWindow window;
    mainWindowObject.mainWindow.store(&window);
    std::thread windowThread;
    ASSERT_TRUE(testsupport::openOnThread(window, ui::WindowSpec{"Norvane_P3D", 0, 0, 880, 488, ui::rgb(0, 0, 0)},
                                          procedure, windowThread));

    std::vector<std::future<void>> workers;
    for (int w = 0; w < 4; ++w) {
        workers.push_back(std::async(std::launch::async, [w] {
            for (int i = 0; i < 500; ++i) {
                gf_showStatus(fmt::format("worker {} line {}", w, i));
                if (i % 50 == 0) {
                    gf_showError("error");
                    gf_clearError();
                }
                gf_tickStatusClock();
            }
        }));
    }
    bool finished = true;
    for (auto& worker : workers)
        finished = finished && worker.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    EXPECT_TRUE(finished);
    EXPECT_TRUE(window.flush());
    EXPECT_GE(window.paintCount(), 1u);
    testsupport::closeOnThread(window, windowThread);
    mainWindowObject.mainWindow.store(nullptr);
    currentWindow.store(nullptr); // the procedure stored this stack window
    apptest::resetStatusLine();
}

TEST(MainWindowObjectState, resetPutsTheShownStateBackToItsStartValues)
{
    auto& o = mainWindowObject;
    o.simulatorText.set("Prepar3D v5.4");
    o.liveryCount = 1234;
    o.qnh = 1013;
    o.simConnected = true;
    o.userModelKnown = false;
    o.trafficReaderState = 1;
    o.liveAverageFit = 3.5f;
    {
        std::lock_guard lock(o.statusMutex);
        o.statusClock = 40;
    }
    o.resetShownState();
    EXPECT_TRUE(o.simulatorText.empty());
    EXPECT_EQ(o.liveryCount.load(), -1);
    EXPECT_EQ(o.qnh.load(), 0);
    EXPECT_FALSE(o.simConnected.load());
    EXPECT_TRUE(o.userModelKnown.load());
    EXPECT_EQ(o.trafficReaderState.load(), 3);
    EXPECT_EQ(o.liveAverageFit.load(), -1.0f);
    std::lock_guard lock(o.statusMutex);
    EXPECT_EQ(o.statusClock, 0);
    EXPECT_TRUE(o.ready.load());
}
