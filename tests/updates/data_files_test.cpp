#include "refdata/dbase_file.hpp"
#include "refdata/update_check.hpp"
#include "update_fixture.hpp"

#include <optional>

namespace fs = std::filesystem;
using namespace testsupport;
using updateserver::Failure;

namespace {

constexpr const char* kVersion = "/downloads/dbase/version.json";
constexpr const char* kDbase = "/downloads/dbase/dbase.xml";
constexpr const char* kAigVersion = "/downloads/aig/version.json";
constexpr const char* kAig = "/downloads/aig/AIG-regcodes.xml";

const std::string goodDbase = DbaseFile::minimal().text();
const std::string aigFile = "<?xml version=\"1.0\"?>\n<AIG-regcodes>\n  <livery title=\"A\" reg=\"D-AAAA\"/>\n</AIG-regcodes>\n";

} // namespace

TEST_F(UpdateTest, anEmptyStoredVersionDownloadsTheDataBase)
{
    serveVersion(kVersion, "1.0.0");
    server->put(kDbase, goodDbase);
    gf_updateDbase();
    EXPECT_EQ(readFile(dir / "input" / "dbase.xml"), goodDbase);
    EXPECT_EQ(DBASE_VERSION.value(), "1.0.0");
    EXPECT_NE(readFile(g_parametersPath).find("1.0.0"), std::string::npos);
    EXPECT_EQ(statusesWith("Downloading dbase.xml version 1.0.0 ..."), 1);
    EXPECT_EQ(temporaryFilesIn(dir / "input"), 0);
}

TEST_F(UpdateTest, theDataBaseIsFetchedOnlyWhenNewerMissingOrDamaged)
{
    struct Case {
        const char* what;
        std::string stored;
        std::string server;
        std::optional<std::string> installed;
        bool fetched;
    };
    const Case cases[] = {
        {"equal, present", "1.0.0", "1.0.0", goodDbase, false},
        {"equal, missing", "1.0.0", "1.0.0", std::nullopt, true},
        {"equal, damaged", "1.0.0", "1.0.0", goodDbase.substr(0, goodDbase.size() / 2), true},
        {"numeric order: 2.10.0 is newer than 2.9.5", "2.10.0", "2.9.5", goodDbase, false},
        {"older stored", "2.9.5", "2.10.0", goodDbase, true},
    };
    server->put(kDbase, goodDbase);
    for (const auto& c : cases) {
        server->clearRequests();
        StatusRecorder::clear();
        fs::remove(dir / "input" / "dbase.xml");
        if (c.installed)
            writeFile(dir / "input" / "dbase.xml", *c.installed);
        DBASE_VERSION.setValue(c.stored);
        serveVersion(kVersion, c.server);
        gf_updateDbase();
        EXPECT_EQ(server->requestCount(kDbase), c.fetched ? 1 : 0) << c.what;
        EXPECT_EQ(StatusRecorder::all().empty(), !c.fetched) << c.what;
        EXPECT_EQ(DBASE_VERSION.value(), c.fetched ? c.server : c.stored) << c.what;
    }
}

TEST_F(UpdateTest, aBadDownloadNeverReplacesTheInstalledDataBase)
{
    const std::pair<const char*, Failure> failures[] = {
        {"HTML page with 200", Failure::HtmlPage}, {"truncated body", Failure::Cut},
    };
    serveVersion(kVersion, "3.0.0");
    server->put(kDbase, goodDbase);
    writeFile(dir / "input" / "dbase.xml", "the good old file");
    DBASE_VERSION.setValue("2.0.0");
    for (const auto& [what, failure] : failures) {
        server->clearFailures();
        server->clearRequests();
        server->fail(kDbase, failure);
        gf_updateDbase();
        EXPECT_EQ(server->requestCount(kDbase), 1) << what << ": every call tries again";
        EXPECT_EQ(readFile(dir / "input" / "dbase.xml"), "the good old file") << what;
        EXPECT_EQ(DBASE_VERSION.value(), "2.0.0") << what;
        EXPECT_EQ(temporaryFilesIn(dir / "input"), 0) << what;
    }
    EXPECT_EQ(logLinesWith("downloading " + (fs::path("input") / "dbase.xml").string() + " failed?"), 2);
    server->clearFailures();
    gf_updateDbase();
    EXPECT_EQ(readFile(dir / "input" / "dbase.xml"), goodDbase);
    EXPECT_EQ(DBASE_VERSION.value(), "3.0.0");
}

TEST_F(UpdateTest, aDataBaseWithoutItsRequiredSectionsIsRefused)
{
    serveVersion(kVersion, "3.0.0");
    server->put(kDbase, DbaseFile::minimal().without("heavy").text());
    gf_updateDbase();
    EXPECT_FALSE(fs::exists(dir / "input" / "dbase.xml"));
    EXPECT_EQ(DBASE_VERSION.value(), "");
}

TEST_F(UpdateTest, noServerVersionChangesNothing)
{
    server->put(kDbase, goodDbase);
    gf_updateDbase();
    gf_updateAigRegcodes();
    EXPECT_EQ(logLinesWith("===> No dbase version info found at the NRVX server?"), 1);
    EXPECT_EQ(logLinesWith("===> No AIG regcodes version info found at the NRVX server?"), 1);
    EXPECT_EQ(server->requestCount(kDbase), 0);
    EXPECT_FALSE(fs::exists(dir / "input"));
}

TEST_F(UpdateTest, theAigFileIsInstalledInAFolderOfItsOwn)
{
    serveVersion(kAigVersion, "1.2.0");
    server->put(kAig, aigFile);
    gf_updateAigRegcodes();
    EXPECT_EQ(readFile(dir / "input" / "regcodesAIG" / "AIG-regcodes.xml"), aigFile);
    EXPECT_EQ(AIG_VERSION.value(), "1.2.0");

    // Current and present: nothing; the folder gone or the file damaged: fetched again.
    server->clearRequests();
    gf_updateAigRegcodes();
    EXPECT_EQ(server->requestCount(kAig), 0);
    fs::remove_all(dir / "input" / "regcodesAIG");
    gf_updateAigRegcodes();
    EXPECT_EQ(server->requestCount(kAig), 1);
    writeFile(dir / "input" / "regcodesAIG" / "AIG-regcodes.xml", aigFile.substr(0, 40));
    gf_updateAigRegcodes();
    EXPECT_EQ(server->requestCount(kAig), 2);
    EXPECT_EQ(readFile(dir / "input" / "regcodesAIG" / "AIG-regcodes.xml"), aigFile);
}

TEST_F(UpdateTest, anAigFileWithoutItsRootElementIsRefused)
{
    serveVersion(kAigVersion, "1.2.0");
    server->put(kAig, "<?xml version=\"1.0\"?>\n<html><body>maintenance</body></html>\n");
    gf_updateAigRegcodes();
    EXPECT_FALSE(fs::exists(dir / "input" / "regcodesAIG" / "AIG-regcodes.xml"));
    EXPECT_EQ(AIG_VERSION.value(), "");
}
