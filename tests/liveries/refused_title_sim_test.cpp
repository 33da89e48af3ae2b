// A title the simulator stand-in refuses, handed back as the live traffic
// does, is never chosen again.

#include "matching_fixture.hpp"
#include "simconnect/sim_layer_fixture.hpp"

#include <set>

using livtest::aircraft;
using livtest::MatchingTest;
using namespace tzo;

namespace {

class RefusedTitleSim : public simtest::SimLayer {
protected:
    testsupport::ScopedEnv m_appData{"NORVANE_APPDATA", (dir() / "roaming").string()};
    AppHooks m_savedHooks = gf_appHooks();
    SimLayerHooks m_savedSimHooks = gf_simLayerHooks();

    void SetUp() override
    {
        SimLayer::SetUp();
        gf_initDataFolder();
        std::filesystem::create_directories(g_dataFolder);
        std::filesystem::create_directories(g_outputInfoFolder);
        livtest::resetLiveryState();
        MatchingTest::lf_resetMatching();
        livtest::CatalogueTest::readDbase(MatchingTest::dbase());
        livtest::CatalogueTest::process(MatchingTest::scan());

        simstub::Options options;
        options.refusedTitles = {"Lufthansa A320"};
        startQuietStub(options);
        startAndRegister();
        requestUserStateAndWait();
    }
    void TearDown() override
    {
        SimLayer::TearDown();
        MatchingTest::lf_resetMatching();
        livtest::resetLiveryState();
        gf_installAppHooks(m_savedHooks);
        gf_installSimLayerHooks(m_savedSimHooks);
    }

    void create(const AircraftRecord& a)
    {
        CreateRequest request;
        request.position.Latitude = 47.46;
        request.position.Longitude = 8.56;
        request.position.Altitude = 1416.0;
        request.position.OnGround = 1;
        request.callsign = a.callsign;
        request.liveryTitle = a.liveryTitle;
        request.recordId = a.recordId;
        gf_queueCreateAircraft(request);
        frameAndSettle();
    }
};

} // namespace

TEST_F(RefusedTitleSim, titleRefusedBySimulatorIsNeverChosenAgain)
{
    RANDOM.setValue(false);
    std::vector<AircraftRecord> live{aircraft({"DLH", "A320", ""}, "DLH4AB")};
    live[0].recordId = 0x4CA1B2;
    gf_matchLivery(live[0]);
    ASSERT_EQ(live[0].liveryTitle, "Lufthansa A320");
    create(live[0]);

    // The live traffic's handling of the creation-failed notification.
    const auto notifications = waitForNotifications(1);
    ASSERT_EQ(notifications.size(), 1u);
    ASSERT_EQ(notifications[0].kind, NOTIFY_CREATE_FAILED);
    const auto failed = std::find_if(live.begin(), live.end(),
                                     [&](const AircraftRecord& a) { return a.recordId == notifications[0].info; });
    ASSERT_NE(failed, live.end());
    gf_liveryNotCreated(*failed);
    live.erase(failed);
    const auto statuses = simtest::Recorder::get().copy(simtest::Recorder::get().statuses);
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), "DLH4AB \"Lufthansa A320\" could not be created by your Sim!");

    RANDOM.setValue(true);
    std::set<std::string> chosen;
    for (int i = 0; i < 100; ++i) {
        auto a = aircraft({"DLH", "A320", ""}, "DLH5CD");
        gf_matchLivery(a);
        chosen.insert(std::string(a.liveryTitle));
        if (!a.liveryTitle.empty() && m_stub->aiObjects().empty()) {
            a.recordId = 0x4CA1B3;
            create(a);
        }
    }
    EXPECT_FALSE(chosen.contains("Lufthansa A320"));
    EXPECT_TRUE(chosen.contains("Lufthansa A320 D-AIPA"));
    ASSERT_TRUE(testsupport::waitFor([&] { return m_stub->aiObjects().size() == 1; }));
    EXPECT_EQ(m_stub->aiObjects()[0].title, "Lufthansa A320 D-AIPA");
}
