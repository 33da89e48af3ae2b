#include "refdata/update_check.hpp"
#include "update_fixture.hpp"

#include <future>

using namespace testsupport;
using updateserver::Failure;

namespace {

void serveAll(const std::string& program, const std::string& dbase, const std::string& archive, const std::string& aig)
{
    UpdateTest::serveVersion("/downloads/release/version_P3D.json", program);
    UpdateTest::serveVersion("/downloads/dbase/version.json", dbase);
    UpdateTest::serveVersion("/downloads/archive/p3d/version.json", archive);
    UpdateTest::serveVersion("/downloads/aig/version.json", aig);
}

} // namespace

TEST_F(UpdateTest, theButtonsCheckNamesWhatIsNewer)
{
    DBASE_VERSION.setValue("1.0.0");
    ARCHIVE_VERSION.setValue("2.3.0");
    AIG_VERSION.setValue("1.1.0");
    struct Case {
        std::string program, dbase, archive, aig;
        std::string expected;
    };
    const Case cases[] = {
        {"8.8.0", "1.0.1", "2.3.0", "1.1.0", "==> New version for: dbase.xml"},
        {"8.9.0", "2.0.0", "2.10.0", "1.1.1",
         "==> New versions for: Norvane_P3D, dbase.xml, archive, AIG-regcodes.xml"},
        {"8.7.9", "0.9.0", "2.2.9", "1.0.0", ""},
        {"8.8.0", "1.0.0", "0.0.0", "0.0.0", ""}, // some versions unknown: still an answer
    };
    for (const auto& c : cases) {
        serveAll(c.program, c.dbase, c.archive, c.aig);
        EXPECT_EQ(gf_runUpdateCheck(), std::optional<std::string>(c.expected));
    }
}

TEST_F(UpdateTest, noVersionInformationIsACheckThatFailed)
{
    EXPECT_EQ(gf_runUpdateCheck(), std::nullopt);
    EXPECT_EQ(logLinesWith("===> version check failed?"), 1);

    // The server down altogether reads the same, never as "up to date".
    ScopedEnv down{"NORVANE_UPDATE_URL", "https://127.0.0.1:" + std::to_string(closedPort())};
    EXPECT_EQ(gf_runUpdateCheck(), std::nullopt);
    EXPECT_EQ(logLinesWith("===> version check failed?"), 2);
}

TEST_F(UpdateTest, aStalledServerEndsTheCheckWithinTheTimeouts)
{
    serveAll("8.9.0", "1.0.0", "1.0.0", "1.0.0");
    for (const char* path : {"/downloads/release/version_P3D.json", "/downloads/dbase/version.json",
                             "/downloads/archive/p3d/version.json", "/downloads/aig/version.json"})
        server->fail(path, Failure::Stall);
    auto check = std::async(std::launch::async, [] { return gf_runUpdateCheck(); });
    ASSERT_EQ(check.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(check.get(), std::nullopt);
}
