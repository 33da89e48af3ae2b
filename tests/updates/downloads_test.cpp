#include "refdata/downloads.hpp"
#include "refdata/update_check.hpp"
#include "update_fixture.hpp"


namespace fs = std::filesystem;
using namespace testsupport;
using updateserver::Failure;

namespace {

constexpr const char* kPath = "/downloads/dbase/version.json";

struct VersionFileCase {
    const char* what;
    std::string body;
    tzo::Version expected;
};

} // namespace

TEST_F(UpdateTest, versionFilesAreReadByTheirFirstLineOrAsOneJsonObject)
{
    const VersionFileCase cases[] = {
        {"dotted without line end", "2.10.3", {2, 10, 3}},
        {"CRLF, first line counts", "1.4.0\r\n4.5.6\r\n", {1, 4, 0}},
        {"pretty JSON with CRLF", "{\r\n  \"major\": 3,\r\n  \"minor\": 0,\r\n  \"patch\": 7\r\n}\r\n", {3, 0, 7}},
        {"garbage", "<html>hello</html>\n", {}},
        {"empty first line", "\n1.2.3\n", {}},
        {"JSON missing a member", "{\"major\": 8, \"minor\": 9}", {}},
    };
    for (const auto& c : cases) {
        server->put(kPath, c.body);
        EXPECT_EQ(lf_getServerDbaseVersion(), c.expected) << c.what;
    }
    // Read in memory: the shared file name of the version fetch is never used.
    EXPECT_FALSE(fs::exists(dir / "version.json"));
}

TEST_F(UpdateTest, versionFileFailuresGiveNoVersionAndAMarkedLine)
{
    server->put(kPath, "1.2.3\n");
    const std::pair<const char*, Failure> failures[] = {
        {"404", Failure::NotFound}, {"cut", Failure::Cut}, {"stall in the body", Failure::StallBody},
    };
    for (const auto& [what, failure] : failures) {
        server->clearFailures();
        server->fail(kPath, failure);
        const int before = logLinesWith("failed");
        EXPECT_EQ(lf_getServerDbaseVersion(), tzo::Version{}) << what;
        EXPECT_EQ(logLinesWith("===> downloading \"" + server->baseUrl() + kPath + "\" failed"), before + 1) << what;
    }
    server->clearFailures();
    EXPECT_EQ(lf_getServerDbaseVersion(), (tzo::Version{1, 2, 3}));
}

TEST_F(UpdateTest, aVersionFileLargerThan64KiBIsRefused)
{
    server->put(kPath, "1.2.3\n" + std::string(70 * 1024, 'x'));
    EXPECT_EQ(lf_getServerDbaseVersion(), tzo::Version{});
}

TEST_F(UpdateTest, aRedirectIsFollowed)
{
    server->put("/elsewhere/version.json", "4.0.1\n");
    server->fail(kPath, Failure::Redirect, "/elsewhere/version.json");
    EXPECT_EQ(lf_getServerDbaseVersion(), (tzo::Version{4, 0, 1}));
}

TEST_F(UpdateTest, aClosedPortLogsTheLibraryErrorWithTheUrl)
{
    ScopedEnv closed{"NORVANE_UPDATE_URL", "https://127.0.0.1:" + std::to_string(closedPort())};
    EXPECT_EQ(lf_getServerProgramVersion(), tzo::Version{});
    EXPECT_EQ(logLinesWith("version_P3D.json\" download error: Couldn't connect to server"), 1);
}

TEST_F(UpdateTest, anUntrustedCertificateIsNoServer)
{
    TempDir otherCa;
    updateserver::UpdateServer::makeCertificates(otherCa.path());
    ScopedEnv untrusted{"NORVANE_CA_FILE", (otherCa / "ca.pem").string()};
    server->put(kPath, "1.2.3\n");
    EXPECT_EQ(lf_getServerDbaseVersion(), tzo::Version{});
    EXPECT_EQ(server->requestCount(kPath), 0);
}

TEST_F(UpdateTest, aFailedDownloadLeavesTheOldFileAndNoTemporaryFile)
{
    writeFile(dir / "target.bin", "old");
    server->put("/file.bin", std::string(4000, 'n'));
    const std::pair<const char*, Failure> failures[] = {
        {"404", Failure::NotFound}, {"cut", Failure::Cut}, {"stall in the body", Failure::StallBody},
    };
    for (const auto& [what, failure] : failures) {
        server->clearFailures();
        server->fail("/file.bin", failure);
        const CurlHandle handle = gf_makeCurlHandle();
        EXPECT_FALSE(gf_downloadToFile(handle.get(), gf_updateUrl("/file.bin"), dir / "target.bin", true)) << what;
        EXPECT_EQ(readFile(dir / "target.bin"), "old") << what;
        EXPECT_EQ(temporaryFilesIn(dir.path()), 0) << what;
    }
    EXPECT_EQ(logLinesWith("/file.bin\" => \"" + (dir / "target.bin").string() + "\" download error: "), 3);
}

TEST_F(UpdateTest, aDownloadLargerThanItsCapLeavesTheOldFile)
{
    writeFile(dir / "target.bin", "old");
    server->put("/file.bin", std::string(4000, 'n'));
    DownloadTimeouts capped = gf_downloadTimeouts();
    capped.maxBytes = 3999;
    gf_setDownloadTimeouts(capped);
    const CurlHandle handle = gf_makeCurlHandle();
    EXPECT_FALSE(gf_downloadToFile(handle.get(), gf_updateUrl("/file.bin"), dir / "target.bin", true));
    EXPECT_EQ(readFile(dir / "target.bin"), "old");
    EXPECT_EQ(temporaryFilesIn(dir.path()), 0);
    EXPECT_EQ(logLinesWith("/file.bin\" => \"" + (dir / "target.bin").string() + "\" download error: "), 1);
    capped.maxBytes = 4000;
    gf_setDownloadTimeouts(capped);
    EXPECT_TRUE(gf_downloadToFile(handle.get(), gf_updateUrl("/file.bin"), dir / "target.bin", true));
}

TEST_F(UpdateTest, aRefusedDownloadLeavesTheOldFile)
{
    writeFile(dir / "target.bin", "old");
    server->put("/file.bin", "new");
    const CurlHandle handle = gf_makeCurlHandle();
    EXPECT_FALSE(gf_downloadToFile(handle.get(), gf_updateUrl("/file.bin"), dir / "target.bin", true,
                                   [](const fs::path&) { return false; }));
    EXPECT_EQ(readFile(dir / "target.bin"), "old");
    EXPECT_EQ(temporaryFilesIn(dir.path()), 0);
    EXPECT_TRUE(gf_downloadToFile(handle.get(), gf_updateUrl("/file.bin"), dir / "target.bin", true));
    EXPECT_EQ(readFile(dir / "target.bin"), "new");
}

TEST_F(UpdateTest, aTargetThatCannotBeCreatedIsLoggedWithoutATransfer)
{
    server->put("/file.bin", "new");
    const CurlHandle handle = gf_makeCurlHandle();
    const fs::path target = dir / "missing-folder" / "target.bin";
    EXPECT_FALSE(gf_downloadToFile(handle.get(), gf_updateUrl("/file.bin"), target, true));
    EXPECT_EQ(logLinesWith("could not open file: " + target.string()), 1);
    EXPECT_EQ(server->requestCount("/file.bin"), 0);
}
