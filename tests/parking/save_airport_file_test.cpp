// The park airport's learned file written on close, with real files in a
// temporary program folder, and read back by the next load.

#include "airports/airport_fixture.hpp"
#include "app/exit.hpp"
#include "app/exit_state_reset.hpp"
#include "app/main_loop.hpp"
#include "foundation/atomic_file.hpp"
#include "parking/save_airport_file.hpp"

using namespace airporttest;
namespace fs = std::filesystem;

namespace {

const fs::path kArchived = "airports/archive/stock/EDDF.xml";
const fs::path kLearned = "airports/learned/stock/EDDF.xml";

const char* kHandmade = R"(<meta><info name="author" value="a"/><info name="version" value="1"/><info name="date" value="d"/></meta>
<parameters><parameter name="airport_name" value="Frankfurt Main"/><parameter name="publisher" value="stock"/>
<parameter name="altitude" value="364"/><parameter name="handmade" value="true"/></parameters>
<parkpositions>
<parkpos id="G1" latitude="50.05" longitude="8.57" heading="90.0" radius="20.0"><opt reg="" airl="KLM" type="A320" day="2" hh="14" cs="KLM1:KLM2"/></parkpos>
<parkpos id="G2" latitude="50.06" longitude="8.57" heading="90.0" radius="20.0"/>
</parkpositions>)";

struct SaveTest : AirportTest {
    std::uint64_t quality = 0;

    SaveTest() { gf_installParkingSave(); }
    ~SaveTest() override { gf_setAtomicRenameForTests(nullptr); }

    std::string load(const fs::path& path = kArchived)
    {
        gf_clearParkPositions();
        return gf_readApf(path, quality);
    }
    std::string saved(const fs::path& path = kLearned) const { return testsupport::readFile(dir / path); }
    // A KLM A320 option learned during this run.
    static tzo::ParkPosOption learnedOption(const std::string& callsign, std::uint32_t day, int halfHour,
                                            std::uint32_t number)
    {
        tzo::ParkPosOption option;
        option.airline = "KLM";
        option.type = "A320";
        option.callsign = callsign;
        option.day = day;
        option.halfHours = tzo::gf_halfHourBit(halfHour);
        option.fresh = true;
        option.number = number;
        return option;
    }
    tzo::ParkPos* stand(const std::string& name) { return const_cast<tzo::ParkPos*>(standNamed(name)); }
};

} // namespace

TEST_F(SaveTest, aRadiusOnlyChangeWritesThatStandAloneAndTheNextLoadReadsIt)
{
    putFixture(kArchived.string(), "archived-EDDF.xml");
    ASSERT_EQ(load(), "");
    stand("A12")->radius = tzo::gf_metresToNm(30.0);
    stand("A12")->radiusChanged = true;
    standUpdateCount.store(1);
    gf_closeParkAirport();
    const std::string text = saved();
    EXPECT_NE(text.find("id=\"A12\""), std::string::npos);
    EXPECT_EQ(text.find("id=\"A10\""), std::string::npos) << "archive options are not saved";
    EXPECT_EQ(standUpdateCount.load(), 0);
    EXPECT_EQ(logLinesWith("\"airports/learned/stock/EDDF.xml\" saved with 1 update "), 1);

    ASSERT_EQ(load(), "");
    EXPECT_NEAR(standNamed("A12")->radius, tzo::gf_metresToNm(30.0), 1e-6);
}

TEST_F(SaveTest, aWithdrawnFreshOptionIsKeptAndTwoUpdatesArePlural)
{
    putFixture(kArchived.string(), "archived-EDDF.xml");
    ASSERT_EQ(load(), "");
    stand("V5")->options.push_back(learnedOption("KLM77", 4, 20, 0)); // withdrawn by the last plan
    standUpdateCount.store(2);
    parkAirportChanged.store(true);
    gf_closeParkAirport();
    EXPECT_NE(saved().find("cs=\"KLM77\""), std::string::npos);
    EXPECT_EQ(logLinesWith("saved with 2 updates and one or more parameter changes"), 1);
    EXPECT_FALSE(parkAirportChanged.load());
}

TEST_F(SaveTest, anExitWithAReaderStuckPastItsWaitStillSavesTheLastStandUpdate)
{
    // The exit's own decision and the real save; its waits take no time.
    struct Exit : tzo::ExitServices {
        std::atomic<int> posts{0};
        void sleepFor(std::chrono::milliseconds) override {}
        void closeParkAirport() override { gf_closeParkAirport(); }
        bool mainLoopRunning() override { return tzo::gf_mainLoopRunning(); }
        bool postToWindow(tzo::WindowMessage) override
        {
            ++posts;
            return true;
        }
    };
    putFixture(kArchived.string(), "archived-EDDF.xml");
    ASSERT_EQ(load(), "");
    stand("V5")->options.push_back(learnedOption("KLM88", 2, 30, 1));
    standUpdateCount.store(1);

    const auto services = std::make_shared<Exit>();
    tzo::gf_installExitServices(services);
    const AppHooks before = gf_appHooks();
    tzo::gf_installExitHook();
    {
        const RunningThreadCount stuckReader;
        gf_requestExit(ExitReason::USER_CLOSED_SIM, 0);
        EXPECT_TRUE(testsupport::waitFor([&] { return services->posts.load() == 1; }));
    }
    EXPECT_TRUE(testsupport::waitFor([] { return runningThreads.load() == 0; }));
    tzo::gf_installExitServices(nullptr);
    gf_installAppHooks(before);
    apptest::resetExitState();
    EXPECT_NE(saved().find("cs=\"KLM88\""), std::string::npos);
}

TEST_F(SaveTest, aHandmadeFileIsWrittenWholeWithAQualityPair)
{
    putFixture(kArchived.string(), "archived-EDDF.xml");
    put(kLearned.string(), kHandmade);
    ASSERT_EQ(load(), "");
    ASSERT_TRUE(parkAirportHandmade.load());
    standUpdateCount.store(1);
    gf_closeParkAirport();
    const std::string text = saved();
    EXPECT_NE(text.find("id=\"G2\""), std::string::npos) << "a stand without options stays";
    EXPECT_NE(text.find("cs=\"KLM1:KLM2\""), std::string::npos);
    EXPECT_NE(text.find("name=\"handmade\""), std::string::npos);
    EXPECT_EQ(text.find("name=\"Qf_real\" value=\"0\""), std::string::npos);
    EXPECT_EQ(logLinesWith(" handmade \"airports/learned/stock/EDDF.xml\" saved with 1 update "), 1);

    ASSERT_EQ(load(), "");
    EXPECT_EQ(parkPositions.size(), 2u);
    EXPECT_EQ(standNamed("G1")->options.size(), 1u);
}

TEST_F(SaveTest, aPublisherStockInOtherCaseGoesToItsThirdpartyFolder)
{
    std::string file = testsupport::readFile(fixture("archived-EDDF.xml"));
    file.replace(file.find("value=\"stock\""), 13, "value=\"Stock\"");
    put("airports/my_thirdparty/EDDF.xml", file);
    ASSERT_EQ(load("airports/my_thirdparty/EDDF.xml"), "");
    stand("F1")->cargoChanged = true;
    standUpdateCount.store(1);
    gf_closeParkAirport();
    EXPECT_TRUE(fs::exists(dir / "airports/learned/thirdparty/Stock/EDDF.xml"));
}

TEST_F(SaveTest, aFailedRenameKeepsTheOldFileAndTheCount)
{
    putFixture(kArchived.string(), "archived-EDDF.xml");
    put(kLearned.string(), kHandmade);
    const std::string before = saved();
    ASSERT_EQ(load(), "");
    standUpdateCount.store(3);
    gf_setAtomicRenameForTests([](const fs::path&, const fs::path&) { return false; });
    gf_closeParkAirport();
    EXPECT_EQ(saved(), before);
    EXPECT_EQ(standUpdateCount.load(), 3);
    EXPECT_EQ(logLinesWith("saving \"airports/learned/stock/EDDF.xml\" did not succeed"), 1);
}

TEST_F(SaveTest, aFolderThatCannotBeMadeIsAFailedSave)
{
    putFixture(kArchived.string(), "archived-EDDF.xml");
    ASSERT_EQ(load(), "");
    put("airports/learned", "a file where the folder should be");
    stand("A12")->manual = true;
    standUpdateCount.store(1);
    gf_closeParkAirport();
    EXPECT_EQ(standUpdateCount.load(), 1);
    EXPECT_EQ(logLinesWith("did not succeed"), 1);
}
