// Flight plans of live aircraft: the file as the simulator reads it, written
// into "orig_dest" of the data folder and assigned to the object in the
// simulator stand-in, which reads its codes back; bad codes and an
// unwritable folder give no plan.

#include "foundation/paths.hpp"
#include "replay_fixture.hpp"
#include "traffic/flight_plans.hpp"

#include <fstream>

using namespace traffictest;
using testsupport::waitFor;
using tzo::LiveAircraft;

namespace {

class FlightPlans : public TrafficInSimulator {
protected:
    std::filesystem::path savedDataFolder = g_dataFolder;

    void SetUp() override
    {
        TrafficInSimulator::SetUp();
        g_dataFolder = dir() / "data";
    }
    void TearDown() override
    {
        gf_removeFlightPlanFolder();
        g_dataFolder = savedDataFolder;
        TrafficInSimulator::TearDown();
    }

    LiveAircraft& aircraft(std::uint32_t objectId, std::string departure, std::string destination,
                           tzo::AircraftCategory category = tzo::AircraftCategory::Heavy)
    {
        LiveAircraft& a = liveAircraft.emplace_back();
        a.callsign = "BAW117";
        a.registration = "G-CIVA";
        a.airline = "BAW";
        a.model = "B744";
        a.category = category;
        a.departure = std::move(departure);
        a.destination = std::move(destination);
        a.objectId = objectId;
        return a;
    }
    std::filesystem::path planOf(std::uint32_t objectId) const
    {
        return gf_flightPlanFolder() / gf_flightPlanFileName(objectId);
    }
    std::vector<std::string> statuses() { return simtest::Recorder::get().copy(simtest::Recorder::get().statuses); }
};

TEST_F(FlightPlans, aHeavyFromHeathrowGetsItsPlanByteForByte)
{
    ASSERT_TRUE(gf_createFlightPlanFolder());
    EXPECT_EQ(gf_flightPlanFolder(), dir() / "data" / "orig_dest");
    LiveAircraft& a = aircraft(8521, "EGLL", "KJFK");
    lf_flightPlanStep(a); // no simulator: written, but not assigned
    EXPECT_EQ(testsupport::readFile(planOf(8521)),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\"\n"
              "<FlightPlan.FlightPlan>\n"
              "<FPType>IFR</FPType>\n"
              "<DepartureID>EGLL</DepartureID>\n"
              "<DestinationID>KJFK</DestinationID>\n"
              "</FlightPlan.FlightPlan>\n"
              "</SimBase.Document>\n");
    EXPECT_EQ(gf_flightPlanFileName(8521), "8521.pln");

    LiveAircraft& light = aircraft(8522, "LSZH", "LSGG", tzo::AircraftCategory::Light);
    lf_flightPlanStep(light);
    EXPECT_NE(testsupport::readFile(planOf(8522)).find("<FPType>VFR</FPType>\n"), std::string::npos);
}

TEST_F(FlightPlans, theStandInReadsTheAssignedPlanAndRefusesABadOne)
{
    startQuietStub();
    startAndRegister();
    ASSERT_TRUE(gf_createFlightPlanFolder());
    tzo::CreateRequest r;
    r.position = {51.47, -0.45, 80.0, 0.0, 0.0, 0.0, 1, 0};
    r.callsign = "BAW117";
    r.liveryTitle = "British Airways B744";
    r.recordId = 0x400001;
    gf_queueCreateAircraft(r);
    frameAndSettle();
    ASSERT_TRUE(waitFor([&] { return m_stub->aiObjects().size() == 1; }));
    const std::uint32_t id = m_stub->aiObjects()[0].id;

    LiveAircraft& a = aircraft(id, "EGLL", "KJFK");
    lf_flightPlanStep(a);
    EXPECT_TRUE(a.flightPlanSet);
    frameAndSettle();
    ASSERT_TRUE(waitFor([&] { return !m_stub->object(id)->flightPlan.empty(); }));
    const auto o = m_stub->object(id);
    EXPECT_EQ(o->flightPlan, planOf(id).string());
    EXPECT_EQ(o->planType, "IFR");
    EXPECT_EQ(o->planDeparture, "EGLL");
    EXPECT_EQ(o->planDestination, "KJFK");

    // A plan the simulator cannot load is answered with its exception.
    std::ofstream(gf_flightPlanFolder() / "broken.pln") << "<FlightPlan.FlightPlan>";
    {
        std::lock_guard lock(simQueueMutex);
        SimConnect_AISetAircraftFlightPlan(simConnectHandle.load(), id,
                                           (gf_flightPlanFolder() / "broken").string().c_str(), 110);
    }
    frameAndSettle();
    ASSERT_TRUE(waitFor([&] { return logHas("load flight plan failed"); }));
}

TEST_F(FlightPlans, noPlanWithoutBothCodesOrWithCodesThatAreNotPlain)
{
    ASSERT_TRUE(gf_createFlightPlanFolder());
    struct Case {
        const char* departure;
        const char* destination;
        bool logged;
    };
    const Case cases[] = {{"EGLL", "", false},          {"", "KJFK", false},          {"EG<LL", "KJFK", true},
                          {"EGLL", "KJ&FK", true},      {"EGLL", "KJ\x01" "FK", true}, {"EGLLEGLLE", "KJFK", true},
                          {"EGLL", "KJFK\"/>", true}};
    std::uint32_t id = 9000;
    for (const Case& c : cases) {
        LiveAircraft& a = aircraft(++id, c.departure, c.destination);
        lf_flightPlanStep(a);
        EXPECT_FALSE(a.flightPlanSet) << c.departure << "->" << c.destination;
        EXPECT_FALSE(std::filesystem::exists(planOf(id))) << c.departure << "->" << c.destination;
    }
    EXPECT_TRUE(statuses().empty()) << "no status line for a plan not made";
    EXPECT_NE(log().find("no flight plan for route codes"), std::string::npos);
    EXPECT_TRUE(gf_isPlanCode("EGLL1234"));
}

TEST_F(FlightPlans, aLinkPlantedInPlaceOfAPlanIsReplacedAndItsTargetLeftAlone)
{
    ASSERT_TRUE(gf_createFlightPlanFolder());
    const std::filesystem::path precious = dir() / "precious.txt";
    for (const bool hard : {false, true}) {
        SCOPED_TRACE(hard ? "hard link" : "symbolic link");
        testsupport::writeFile(precious, "keep me\n");
        const std::uint32_t objectId = hard ? 8532 : 8531;
        if (hard)
            std::filesystem::create_hard_link(precious, planOf(objectId));
        else
            std::filesystem::create_symlink(precious, planOf(objectId));
        lf_flightPlanStep(aircraft(objectId, "EGLL", "KJFK"));
        EXPECT_EQ(testsupport::readFile(precious), "keep me\n");
        EXPECT_FALSE(std::filesystem::is_symlink(planOf(objectId)));
        EXPECT_NE(testsupport::readFile(planOf(objectId)).find("<DepartureID>EGLL</DepartureID>"), std::string::npos);
        std::filesystem::remove(precious);
    }
}

TEST_F(FlightPlans, anUnwritableFolderGivesOneStatusLineAndNoPlan)
{
    ASSERT_TRUE(gf_createFlightPlanFolder());
    std::filesystem::remove_all(gf_flightPlanFolder());
    std::ofstream(gf_flightPlanFolder()) << "a file where the folder was";
    LiveAircraft& a = aircraft(8521, "EGLL", "KJFK");
    lf_flightPlanStep(a);
    EXPECT_FALSE(a.flightPlanSet);
    EXPECT_EQ(statuses(), std::vector<std::string>{"BAW117   G-CIVA BAW B744 creating a flight plan failed !"});
    EXPECT_TRUE(m_stub == nullptr || m_stub->packetsNamed("AISetAircraftFlightPlan").empty());
    std::filesystem::remove(gf_flightPlanFolder());
}

TEST_F(FlightPlans, theFolderIsMadeAtStartAndRemovedWithItsFilesAtExit)
{
    ASSERT_FALSE(std::filesystem::exists(g_dataFolder));
    ASSERT_TRUE(gf_createFlightPlanFolder());
    EXPECT_TRUE(std::filesystem::is_directory(dir() / "data" / "orig_dest"));
    std::ofstream(planOf(17)) << "x";
    gf_deleteFlightPlan(17);
    EXPECT_FALSE(std::filesystem::exists(planOf(17))) << "the object's removal takes its plan";
    std::ofstream(planOf(18)) << "x";
    EXPECT_TRUE(gf_removeFlightPlanFolder());
    EXPECT_FALSE(std::filesystem::exists(dir() / "data" / "orig_dest"));

    // A data folder that is a file cannot hold the plans.
    std::filesystem::remove_all(g_dataFolder);
    std::ofstream(g_dataFolder) << "not a folder";
    EXPECT_THROW(gf_createFlightPlanFolder(), std::filesystem::filesystem_error);
    std::filesystem::remove(g_dataFolder);
}

} // namespace
