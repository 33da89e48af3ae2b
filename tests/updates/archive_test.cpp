#include "airports/airport_services.hpp"
#include "airports/archive.hpp"
#include "refdata/dbase.hpp"
#include "refdata/publishers.hpp"
#include "update_fixture.hpp"
#include "zip_builder.hpp"

namespace fs = std::filesystem;
using namespace testsupport;
using updateserver::Failure;

namespace {

constexpr const char* kVersion = "/downloads/archive/p3d/version.json";
constexpr const char* kArchive = "/downloads/archive/p3d/archive.zip";

const std::string eham = "<meta/>\n<parameters/>\n<parkpositions/>";

} // namespace

struct ArchiveTest : UpdateTest {
    ArchiveTest()
    {
        g_publisherGroups = {{"SomePublisher", "SomePublisher"}};
        gf_compilePublisherPatterns();
        server->put("/downloads/docs/P3D_archive.txt", "text doc\n");
        server->put("/downloads/docs/P3D_archive.csv", "a;b\n");
    }
    ~ArchiveTest() override
    {
        gf_setArchiveLimits({});
        g_publisherGroups.clear();
        gf_compilePublisherPatterns();
    }

    void serveArchive(const std::string& version, const std::vector<ZipItem>& items)
    {
        serveVersion(kVersion, version);
        server->put(kArchive, makeZip(items));
    }

    static void makeArchiveFolders()
    {
        for (const char* f : {"stock", "ORBX", "thirdparty"})
            fs::create_directories(fs::path("airports") / "archive" / f);
    }
};

TEST_F(ArchiveTest, theUpdateRulesOfTheArchiveVersion)
{
    struct Case {
        const char* what;
        std::string stored;
        std::string server;
        bool deleteOrbx;
        bool due;
    };
    const Case cases[] = {
        {"never installed", "", "2.3.0", false, true},
        {"equal, folders present", "2.3.0", "2.3.0", false, false},
        {"equal, ORBX deleted", "2.3.0", "2.3.0", true, true},
        {"back to 1.0.0", "2.3.0", "1.0.0", false, true},
        {"1.5.0 is no way back", "2.3.0", "1.5.0", false, false},
        {"major 0 every start", "0.1.0", "0.1.0", false, true},
    };
    for (const auto& c : cases) {
        makeArchiveFolders();
        if (c.deleteOrbx)
            fs::remove_all(fs::path("airports") / "archive" / "ORBX");
        ARCHIVE_VERSION.setValue(c.stored);
        serveArchive(c.server, {{"archive/stock/EHAM.xml", eham}});
        server->clearRequests();
        StatusRecorder::clear();
        EXPECT_EQ(gf_updateArchive(), c.due) << c.what;
        EXPECT_EQ(server->requestCount(kArchive), c.due ? 1 : 0) << c.what;
        EXPECT_EQ(ARCHIVE_VERSION.value(), c.due ? c.server : c.stored) << c.what;
        EXPECT_EQ(StatusRecorder::all().empty(), !c.due) << c.what;
    }
}

TEST_F(ArchiveTest, anUpdateExtractsTheAirportFilesAndTheDocuments)
{
    serveArchive("2.3.0", {{"archive/", ""},
                           {"archive/stock/EHAM.xml", eham},
                           {"archive/stock/EHAM.XML", "upper case: not an airport file"},
                           {"archive/stock/readme.txt", "not an airport file"},
                           {"archive/thirdparty/SomePublisher/EDDF.xml", eham},
                           {"archive/thirdparty/Nobody/LFPG.xml", eham}});
    EXPECT_TRUE(gf_updateArchive());
    EXPECT_EQ(readFile("airports/archive/stock/EHAM.xml"), eham + "\n");
    EXPECT_EQ(readFile("airports/archive/thirdparty/Nobody/LFPG.xml"), eham + "\n");
    EXPECT_FALSE(fs::exists("airports/archive/stock/readme.txt"));
    EXPECT_EQ(logLinesWith("===> pub archive/thirdparty/Nobody/LFPG.xml not found"), 1);
    EXPECT_EQ(statusesWith("archive.zip extracted 3 files"), 1);
    EXPECT_EQ(gf_listArchiveAirports(), 3);
    EXPECT_EQ(statusesWith("Archive has been updated to version 2.3.0"), 1);
    EXPECT_FALSE(fs::exists("archive.zip"));
    EXPECT_EQ(readFile("docs/P3D_archive.csv"), "a;b\n");
    EXPECT_FALSE(gf_archiveFoldersMissing());
}

TEST_F(ArchiveTest, sixHundredFilesShowTheExtractionStatusTwice)
{
    std::vector<ZipItem> items;
    for (int i = 0; i < 600; ++i)
        items.push_back({"archive/stock/A" + std::to_string(i) + ".xml", eham});
    serveArchive("2.3.0", items);
    EXPECT_TRUE(gf_updateArchive());
    EXPECT_EQ(statusesWith("Extracting archive.zip ...  300 files"), 1);
    EXPECT_EQ(statusesWith("Extracting "), 2);
    EXPECT_EQ(logLinesWith("Extracting "), 0);
}

TEST_F(ArchiveTest, entryNamesThatLeaveTheArchiveFolderAreRefused)
{
    fs::create_directories("airports");
    writeFile("airports/learned/stock/LSZH.xml", "what the user's flights taught");
    // The names themselves are a table below; here, that nothing lands outside.
    serveArchive("2.3.0", {{"../x.xml", "outside"},
                           {"/abs.xml", "absolute"},
                           {"archive/../../y.xml", "outside"},
                           {"learned/stock/LSZH.xml", eham},
                           {"archive/stock/EHAM.xml", eham}});
    EXPECT_TRUE(gf_updateArchive());
    EXPECT_EQ(logLinesWith("would be written outside airports/archive"), 4);
    EXPECT_EQ(readFile("airports/learned/stock/LSZH.xml"), "what the user's flights taught");
    EXPECT_FALSE(fs::exists("/abs.xml"));
    for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
        const auto relative = fs::relative(entry.path(), dir.path()).string();
        if (!entry.is_regular_file())
            continue;
        EXPECT_TRUE(relative.rfind("airports/", 0) == 0 || relative.rfind("docs/", 0) == 0 ||
                    relative.rfind("roaming/", 0) == 0 || relative == "Log.txt")
            << relative;
    }
}

TEST_F(ArchiveTest, aFailedArchiveKeepsTheStoredVersion)
{
    ARCHIVE_VERSION.setValue("2.0.0");
    serveVersion(kVersion, "2.3.0");
    struct Case {
        const char* what;
        std::function<void()> serve;
        std::vector<std::string> written{}; // the archive's other files, written all the same
    };
    const std::string marker = "DAMAGED-ENTRY-MARKER";
    const Case cases[] = {
        {"no zip", [&] { server->put(kArchive, "<html>not a zip</html>"); }},
        {"cut download", [&] { server->put(kArchive, makeZip({{"archive/stock/EHAM.xml", eham}})); server->fail(kArchive, Failure::Cut); }},
        {"damaged entry", [&] {
             server->put(kArchive, withDamagedContent(makeZip({{"archive/stock/EHAM.xml", eham},
                                                               {"archive/stock/EDDF.xml", marker + eham}}, true), marker));
         }},
        {"entry longer than its directory says", [&] {
             // The sizes grow by 2^32 - 10: 10 bytes fewer are claimed.
             server->put(kArchive, withLongerClaimedSizes(makeZip({{"archive/stock/EHAM.xml", eham}}), 0u - 10u));
         }},
        {"entry that cannot be written", [&] {
             fs::create_directories("airports/archive/stock/LFPG.xml"); // a folder where the file belongs
             server->put(kArchive, makeZip({{"archive/stock/EHAM.xml", eham}, {"archive/stock/LFPG.xml", eham},
                                            {"archive/stock/LSZH.xml", eham}}));
         }, {"airports/archive/stock/EHAM.xml", "airports/archive/stock/LSZH.xml"}},
    };
    for (const auto& c : cases) {
        server->clearFailures();
        for (const auto& file : c.written)
            fs::remove(file);
        c.serve();
        EXPECT_FALSE(gf_updateArchive()) << c.what;
        for (const auto& file : c.written)
            EXPECT_EQ(readFile(file), eham + "\n") << c.what << ": " << file;
        EXPECT_EQ(logLinesWith("Write error"), 0) << c.what << ": a cause of its own, not the sink's refusal";
        EXPECT_EQ(ARCHIVE_VERSION.value(), "2.0.0") << c.what;
        EXPECT_EQ(temporaryFilesIn(dir.path()), 0) << c.what;
    }
    EXPECT_FALSE(fs::exists("docs/P3D_archive.txt"));
    EXPECT_EQ(logLinesWith("EHAM.xml failed: the entry's content is not of the size the archive's directory states"), 1);
    EXPECT_EQ(logLinesWith("LFPG.xml failed"), 1);
    EXPECT_EQ(logLinesWith("writing airports/archive/stock/LFPG.xml failed: a folder has its name"), 1);
    server->clearFailures();
    fs::remove_all("airports/archive/stock/LFPG.xml");
    server->put(kArchive, makeZip({{"archive/stock/EHAM.xml", eham}}));
    EXPECT_TRUE(gf_updateArchive());
    EXPECT_EQ(ARCHIVE_VERSION.value(), "2.3.0");
}

TEST_F(ArchiveTest, anArchiveOverACapIsRefusedWholeOnceNotAtEveryStart)
{
    struct Case {
        const char* what;
        ArchiveLimits limits;
    };
    // The archive below: three airport files of 1000 bytes.
    const Case cases[] = {
        {"files", {2, 1u << 20, 1u << 20}},
        {"bytes", {100, 2999, 1u << 20}},
        {"one entry", {100, 1u << 20, 999}},
    };
    const std::string big(1000, 'x');
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all("airports");
        ARCHIVE_VERSION.setValue("2.0.0");
        gf_setArchiveLimits(c.limits);
        serveArchive("2.3.0", {{"archive/stock/EHAM.xml", big}, {"archive/stock/EDDF.xml", big},
                               {"archive/stock/LSZH.xml", big}});
        server->clearRequests();
        const int refusals = logLinesWith("===> archive version 2.3.0 refused: ");
        EXPECT_FALSE(gf_updateArchive());
        EXPECT_EQ(logLinesWith("===> archive version 2.3.0 refused: "), refusals + 1);
        EXPECT_FALSE(fs::exists("airports/archive/stock/EHAM.xml")) << "refused whole";
        EXPECT_FALSE(fs::exists("archive.zip"));
        EXPECT_EQ(ARCHIVE_VERSION.value(), "2.3.0") << "stored as tried";
        EXPECT_FALSE(gf_updateArchive()) << "the next start";
        EXPECT_EQ(server->requestCount(kArchive), 1);
    }
}

TEST_F(ArchiveTest, noServerVersionIsOneLogLine)
{
    EXPECT_FALSE(gf_updateArchive());
    EXPECT_EQ(logLinesWith("===> No archive version info found at the NRVX server?"), 1);
    EXPECT_TRUE(StatusRecorder::all().empty());
    EXPECT_EQ(server->requestCount(kArchive), 0);
}

TEST(ArchiveEntryNames, onlyNamesThatStayInsideTheFolderAreSafe)
{
    const std::pair<const char*, bool> cases[] = {
        {"archive/stock/EHAM.xml", true}, {"a/./b.xml", true},   {"a..b/c.xml", true},
        {"", false},                      {"/abs.xml", false},   {"archive/../../x.xml", false},
        {"..\\x.xml", false},              {"C:x.xml", false},    {"a/..", false},
    };
    for (const auto& [name, safe] : cases)
        EXPECT_EQ(gf_isSafeEntryName(name), safe) << name;
}
