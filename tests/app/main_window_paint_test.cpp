// What the main window paints for the state it shows: each text at its point
// and in its colour, the indicator boxes' colours, and which band each writer
// invalidates.

#include "main_window_fixture.hpp"
#include "window_state_reset.hpp"

#include "app/main_window_paint.hpp"
#include "app/program_tick_work.hpp"
#include "app/stand_window.hpp"
#include "airports/airport_services.hpp"
#include "airports/park_positions.hpp"
#include "airports/stand_builder.hpp"
#include "traffic/stand_learning.hpp"
#include "foundation/log.hpp"
#include "realtraffic/qnh_reader.hpp"
#include "realtraffic/reader_fixture.hpp"
#include "realtraffic/traffic_reader.hpp"
#include "rtstub/rtstub.hpp"
#include "support/test_support.hpp"
#include "traffic/live_traffic.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <thread>

using namespace tzo;
using testsupport::readFile;
using testsupport::TempDir;

namespace {

struct DrawnText {
    std::string text;
    ui::Color colour;
};

class Paint {
public:
    Paint()
    {
        currentWindow.store(nullptr);
        lf_paintStatusWindow(m_painter);
    }

    std::optional<DrawnText> at(int x, int y) const
    {
        std::optional<DrawnText> found;
        for (const auto& call : m_painter.calls())
            if (call.kind == ui::PaintCall::Kind::text && call.points.at(0) == ui::Point{x, y})
                found = DrawnText{call.text, call.color};
        return found;
    }
    // The colour of the last fill of exactly this rectangle.
    std::optional<ui::Color> fillOf(const ui::Rect& rect) const
    {
        std::optional<ui::Color> colour;
        for (const auto& call : m_painter.calls())
            if (call.kind == ui::PaintCall::Kind::fillRect && call.rect == rect)
                colour = call.color;
        return colour;
    }
    bool drew(std::string_view text) const
    {
        return std::any_of(m_painter.calls().begin(), m_painter.calls().end(), [&](const auto& call) {
            return call.kind == ui::PaintCall::Kind::text && call.text == text;
        });
    }
    int textsInRows(int top, int bottom) const
    {
        int n = 0;
        for (const auto& call : m_painter.calls())
            if (call.kind == ui::PaintCall::Kind::text && call.points.at(0).y >= top && call.points.at(0).y < bottom)
                ++n;
        return n;
    }

private:
    ui::RecordingPainter m_painter;
};

struct PaintTest : ::testing::Test {
    void SetUp() override
    {
        apptest::installHooks();
        apptest::resetWindowState();
    }
    void TearDown() override
    {
        gf_installParameterControlHooks(tzo::ParameterControlHooks{});
        gf_installAppHooks(AppHooks{});
        apptest::resetWindowState();
        liveAircraft.clear();
        staticAircraft.clear();
    }
};

// The main window open headless on a thread of its own while the object
// lives, its invalidations recorded from the first one after the opening.
struct OpenWindow {
    ui::HeadlessWindow window;
    apptest::TestWindowProcedure procedure;
    std::thread thread;
    bool opened = false;

    OpenWindow()
    {
        mainWindowObject.mainWindow.store(&window);
        opened = testsupport::openOnThread(window, apptest::mainWindowSpec(), procedure, thread);
        window.takeInvalidations();
    }
    ~OpenWindow()
    {
        if (opened)
            testsupport::closeOnThread(window, thread);
        else if (thread.joinable())
            thread.join();
        mainWindowObject.mainWindow.store(nullptr);
        currentWindow.store(nullptr);
    }
};

void lf_expectText(const Paint& paint, int x, int y, std::string_view text, ui::Color colour)
{
    const auto drawn = paint.at(x, y);
    ASSERT_TRUE(drawn.has_value()) << "nothing at " << x << "," << y;
    EXPECT_EQ(drawn->text, text);
    EXPECT_EQ(drawn->colour, colour) << drawn->text;
}

} // namespace

TEST_F(PaintTest, firstStartPaintsTheBandsHeaderAndEmptyCounters)
{
    const Paint paint;
    EXPECT_EQ(paint.fillOf(kHeaderBand), kBlack);
    EXPECT_EQ(paint.fillOf(kStatisticsBand), kBlack);
    EXPECT_EQ(paint.fillOf(kControlsBand), kLightBlue);
    EXPECT_EQ(paint.fillOf(kParkAirportBox), kBlack);
    EXPECT_EQ(paint.fillOf(kStatusBand), kGreen);
    lf_expectText(paint, 3, 7, "Version 8.8.0", kGreen);
    lf_expectText(paint, 390, 7, "Norvane_P3D", kGreen);
    lf_expectText(paint, 5, 91, "# liveries: ...", kRed);
    lf_expectText(paint, 141, 91, "# ORBX: ...", kYellow);
    lf_expectText(paint, 278, 91, "# thirdp: ...", kYellow);
    lf_expectText(paint, 5, 119, "Install path:", kBlack);
    lf_expectText(paint, 768, 203, "GUID changes", kBlack); // GUID_CHANGES is on by default
    EXPECT_FALSE(paint.at(5, 35)) << "no simulator text without a simulator";
    EXPECT_FALSE(paint.at(3, 427)) << "no status line";
    EXPECT_EQ(paint.textsInRows(364, 420), 0) << "no park airport, nothing in its box";
}

TEST_F(PaintTest, simulatorIndicatorFollowsConnectionFlightAndTitle)
{
    struct Case {
        bool connected;
        bool flight;
        const char* title;
        bool modelKnown;
        ui::Color box;
        ui::Color titleColour;
    };
    const Case cases[] = {
        {false, true, "B738", true, kRed, kRed},
        {true, false, "B738", true, kYellow, kYellow},
        {true, true, "", true, kYellow, kYellow},
        {true, true, "B738", true, kGreen, kGreen},
        {true, true, "B738", false, kGreen, kYellow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.connected << c.flight << c.title << c.modelKnown);
        auto& o = mainWindowObject;
        o.simConnected = c.connected;
        o.flightRunningShown = c.flight;
        o.userTitleText.set(c.title);
        o.userModelKnown = c.modelKnown;
        o.simulatorText.set("P3D 5.4");
        o.userStandText.set("G12");
        const Paint paint;
        EXPECT_EQ(paint.fillOf(kSimIndicatorBox), c.box);
        lf_expectText(paint, 398, 63, "Sim", kBlack);
        if (!c.connected) {
            EXPECT_FALSE(paint.at(5, 35));
            EXPECT_FALSE(paint.at(5, 63));
            continue;
        }
        lf_expectText(paint, 5, 35, "P3D 5.4, user stand G12", c.box);
        if (*c.title)
            lf_expectText(paint, 5, 63, c.title, c.titleColour);
    }
}

TEST_F(PaintTest, realTrafficIndicatorIsBlackUntilOperationsStart)
{
    struct Case {
        bool started;
        bool connected;
        int traffic;
        int weather;
        ui::Color box;
    };
    const Case cases[] = {
        {false, true, 1, 1, kBlack}, {false, false, 3, 3, kBlack}, {true, false, 3, 3, kRed},
        {true, true, 1, 1, kGreen},  {true, true, 2, 1, kYellow},  {true, true, 3, 3, kYellow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.started << c.connected << c.traffic << c.weather);
        auto& o = mainWindowObject;
        o.operationsNotStarted = !c.started;
        o.realTrafficConnected = c.connected;
        o.trafficReaderState = c.traffic;
        o.weatherReaderState = c.weather;
        o.realTrafficText.set("RealTraffic 10");
        const Paint paint;
        EXPECT_EQ(paint.fillOf(kRtIndicatorBox), c.box);
        if (c.connected && c.traffic != 3)
            lf_expectText(paint, 458, 91, "Traffic", c.traffic == 1 ? kGreen : kYellow);
        else
            EXPECT_FALSE(paint.at(458, 91));
    }
}

TEST_F(PaintTest, qnhAndLiveCountShowOnlyWithLiveReaders)
{
    auto& o = mainWindowObject;
    o.realTrafficConnected = true;
    o.weatherReaderState = 1;
    o.trafficReaderState = 2;
    o.liveShown = 7;
    o.qnh = 0;
    {
        const Paint paint;
        EXPECT_FALSE(paint.at(642, 63)) << "a qnh of 0 draws nothing";
        lf_expectText(paint, 642, 91, "live:   7", kGreen);
        lf_expectText(paint, 458, 63, "Weather", kGreen);
    }
    o.qnh = 1013;
    lf_expectText(Paint(), 642, 63, "qnh: 1013", kGreen);
    o.weatherReaderState = 3;
    EXPECT_FALSE(Paint().at(642, 63));
}

TEST_F(PaintTest, parkAirportBoxShowsCodeOnlyUntilTheAirportIsShown)
{
    auto& o = mainWindowObject;
    parkAirportCode.set("EHAM");
    {
        const Paint paint;
        lf_expectText(paint, 5, 371, "EHAM", kYellow);
        EXPECT_EQ(paint.textsInRows(364, 420), 1);
    }
    o.parkAirportShown = true;
    o.parkAirportText.set("Schiphol");
    o.parkPublisherText.set("stock");
    o.handmadeAirport = true;
    o.staticParkingShown = true;
    o.parkQualityText.set("A");
    o.standUpdates = 3;
    o.standCount = 120;
    o.parkedLive = 4;
    o.maxPark = 36;
    o.parkedStatic = 30;
    o.staticAverageFit = 2.5f;
    parking_percentage.setValue(30);
    reservedStand.set("B12");
    o.reservedStandOk = false;
    const Paint paint;
    lf_expectText(paint, 5, 371, "EHAM", kGreen);
    lf_expectText(paint, 85, 371, " Schiphol,  stock (h)", kGreen);
    lf_expectText(paint, 370, 371, "*S*", kGreen);
    lf_expectText(paint, 430, 371, "qf: A", kGreen);
    lf_expectText(paint, 571, 371, "reserved stand: B12", kRed);
    lf_expectText(paint, 748, 371, "# updates:    3", kGreen);
    lf_expectText(paint, 5, 399, "# stands: 120", kGreen);
    lf_expectText(paint, 111, 399, "parked live:   4", kGreen);
    EXPECT_FALSE(paint.at(249, 399)) << "no live fit yet";
    lf_expectText(paint, 430, 399, "parked static:  30", kGreen);
    lf_expectText(paint, 571, 399, "average fit: 2.5", kGreen);
    lf_expectText(paint, 708, 399, "max park:  36 (=30% )", kGreen);
}

TEST_F(PaintTest, labelsFollowTheirSettings)
{
    busy = true;
    mainWindowObject.myParkAirportsOk = false;
    SCAN_LIVERIES.setValue(true);
    tbloAirportCount = 1;
    mainWindowObject.liveryCount = 1234;
    {
        const Paint paint;
        lf_expectText(paint, 5, 91, "# liveries: 1234", kGreen);
        lf_expectText(paint, 5, 315, "Airport static parking active:", kRed);
        lf_expectText(paint, 25, 147, "Scan for liveries:", kRed);
        lf_expectText(paint, 323, 175, "1 airport in TBLO folder", kYellow);
    }
    SCAN_LIVERIES.setValue(false);
    busy = false;
    mainWindowObject.myParkAirportsOk = true;
    parkAirportActive = true;
    mainWindowObject.minutesToRenewal = 7;
    const Paint paint;
    lf_expectText(paint, 5, 315, "Airport parking:", kBlack);
    lf_expectText(paint, 111, 315, "(in 7 min)", kBlack);
}

TEST_F(PaintTest, errorLineTurnsTheStatusBandRed)
{
    gf_showStatus("hello");
    lf_expectText(Paint(), 3, 427, "hello", kYellow);
    {
        std::lock_guard lock(mainWindowObject.statusMutex);
        mainWindowObject.errorText = "broken";
    }
    const Paint paint;
    EXPECT_EQ(paint.fillOf(kStatusBand), kRed);
    lf_expectText(paint, 3, 427, "broken", kYellow);

    // An error that says what it needs fills the band with its two lines.
    {
        std::lock_guard lock(mainWindowObject.statusMutex);
        mainWindowObject.errorText = "broken\nwhat it needs";
    }
    const Paint twoLines;
    lf_expectText(twoLines, 3, 420, "broken", kYellow);
    lf_expectText(twoLines, 3, 434, "what it needs", kYellow);

    // The lines its own step logged to explain an error since the last status
    // line come with it, a long one wrapped at a blank; the band grows upwards
    // for them. A state line, or another thread's cause, explains nothing here.
    gf_clearError();
    gf_showStatus("Scanning for liveries ...");
    gf_logErrorCause("an earlier line");
    gf_showStatus("a later status line");
    const std::string hint = "simobjects.cfg not read: the simulator's ProgramData folder is not known: set "
                             "NORVANE_PROGRAMDATA";
    gf_logErrorCause(hint + ", " + hint);
    gf_logProgressLine("Traffic feed: open, waiting for RealTraffic");
    std::thread([] { gf_logErrorCause("another step's cause"); }).join();
    gf_showError("Error 53: no liveries found");
    const Paint withHint;
    EXPECT_FALSE(withHint.at(3, 392).has_value()) << withHint.at(3, 392)->text;
    lf_expectText(withHint, 3, 406, "Error 53: no liveries found", kYellow);
    lf_expectText(withHint, 3, 420, hint + ", simobjects.cfg not", kYellow);
    lf_expectText(withHint, 3, 434, "read: the simulator's ProgramData folder is not known: set NORVANE_PROGRAMDATA",
                  kYellow);
    EXPECT_EQ(withHint.fillOf(ui::Rect{0, 406, 880, 420}), kRed);

    // More lines than the band can grow to: the error's first lines stay,
    // the cause before what explains it.
    gf_clearError();
    std::string many = "Error 99: the first line";
    for (int i = 1; i < 40; ++i)
        many += "\nline " + std::to_string(i);
    gf_showError(many);
    const Paint cut;
    EXPECT_TRUE(cut.drew("Error 99: the first line"));
    EXPECT_FALSE(cut.drew("line 39"));
}

TEST_F(PaintTest, textThatIsNotUtf8IsLoggedNotDrawn)
{
    const TempDir dir;
    gf_openLog(dir.path() / "Log.txt");
    mainWindowObject.simConnected = true;
    mainWindowObject.userTitleText.set("bad \xff title");
    const Paint paint;
    gf_closeLog();
    EXPECT_FALSE(paint.at(5, 63));
    EXPECT_NE(readFile(dir.path() / "Log.txt").find("bad \xff title conversion exception"), std::string::npos);
}

TEST_F(PaintTest, writersInvalidateTheirOwnBandCountersOnlyOnAChange)
{
    OpenWindow open;
    ASSERT_TRUE(open.opened);
    ui::HeadlessWindow& window = open.window;

    LiveAircraft flying;
    flying.state = AircraftState::InSimulator;
    liveAircraft.push_back(flying);
    gf_refreshWindowCounters();
    EXPECT_EQ(window.takeInvalidations(), std::vector<ui::Rect>{kHeaderAndStatistics});
    gf_refreshWindowCounters();
    EXPECT_TRUE(window.takeInvalidations().empty()) << "nothing changed";

    liveAircraft.front().movementPhase = 6;
    gf_refreshWindowCounters();
    EXPECT_EQ(window.takeInvalidations(), (std::vector<ui::Rect>{kHeaderAndStatistics, kParkAirportBox}));
    EXPECT_EQ(mainWindowObject.parkedLive.load(), 1);

    // The static aircraft shown: those in the simulator and those whose
    // removal was asked for; not one still waiting for its object.
    for (const AircraftState state :
         {AircraftState::InSimulator, AircraftState::BeingRemoved, AircraftState::CreateRequested}) {
        staticAircraft.emplace_back();
        staticAircraft.back().state = state;
    }
    gf_refreshWindowCounters();
    EXPECT_EQ(window.takeInvalidations(), std::vector<ui::Rect>{kParkAirportBox});
    EXPECT_EQ(mainWindowObject.parkedStatic.load(), 2);

    ProgramTickWork().showMinutesToRenewal(12);
    EXPECT_EQ(window.takeInvalidations(), std::vector<ui::Rect>{kControlsBand});
    gf_showStatus("x");
    EXPECT_EQ(window.takeInvalidations(), std::vector<ui::Rect>{kStatusBand});
}

// The RealTraffic indicators follow the real readers on loopback: every
// change of a reader's state repaints their band, and the paint shows it.
TEST_F(PaintTest, realTrafficIndicatorsRepaintWhenTheReadersChange)
{
    OpenWindow open;
    ASSERT_TRUE(open.opened);
    const auto repainted = [&] {
        return testsupport::waitFor([&] {
            const auto rects = open.window.takeInvalidations();
            return std::find(rects.begin(), rects.end(), kHeaderAndStatistics) != rects.end();
        });
    };
    auto& o = mainWindowObject;
    o.operationsNotStarted = false;
    o.realTrafficConnected = true;
    rtOnThisPc = true;
    gf_resetTrafficInput();

    {
        testsupport::RunningReader weather(qnhReader, false);
        ASSERT_TRUE(weather.started);
        EXPECT_TRUE(repainted()) << "weather reader bound";
        lf_expectText(Paint(), 458, 63, "Weather", kGreen);

        gf_checkReadersAlive(); // nothing came since the start
        EXPECT_TRUE(repainted()) << "weather reader silent";
        lf_expectText(Paint(), 458, 63, "Weather", kYellow);

        rtstub::RtStub stub(1, weather.port());
        stub.sendQnh(1020);
        EXPECT_TRUE(repainted()) << "weather reader receiving again";
        lf_expectText(Paint(), 458, 63, "Weather", kGreen);
        lf_expectText(Paint(), 642, 63, "qnh: 1020", kGreen);
    }

    testsupport::RunningReader traffic(trafficReader, true);
    ASSERT_TRUE(traffic.started);
    EXPECT_TRUE(repainted()) << "traffic reader bound";
    lf_expectText(Paint(), 458, 91, "Traffic", kGreen);
    EXPECT_EQ(Paint().fillOf(kRtIndicatorBox), kGreen);
    traffic.stop();
    EXPECT_TRUE(repainted()) << "traffic reader stopped";
    EXPECT_FALSE(Paint().at(458, 91));
    EXPECT_EQ(Paint().fillOf(kRtIndicatorBox), kYellow);
}

TEST_F(PaintTest, learnedStandChangesAreCountedAndPaintedOnce)
{
    auto& o = mainWindowObject;
    parkAirportCode.set("LSZH");
    o.parkAirportShown = true;
    standtest::StandBuilder().stand("A1").install();
    LiveAircraft& a = liveAircraft.emplace_back();
    a.recordId = 0x4b1801;
    a.callsign = "SWR12";
    a.registration = "HB-JLT";
    a.airline = "SWR";
    a.model = "A320";
    EXPECT_TRUE(lf_addRealOption(1, a, false, false, {3, 20}));
    EXPECT_TRUE(lf_addRealOption(1, a, false, false, {3, 21}));
    EXPECT_FALSE(lf_addRealOption(1, a, false, false, {3, 21})) << "no change, no count";
    gf_refreshStandCounters();
    EXPECT_EQ(o.standUpdates.load(), 2u);
    lf_expectText(Paint(), 748, 371, "# updates:    2", kGreen);
    gf_clearParkPositions();
    standUpdateCount.store(0);
}
