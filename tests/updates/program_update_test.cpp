#include "foundation/exceptions.hpp"
#include "refdata/program_update.hpp"
#include "update_fixture.hpp"
#include "zip_builder.hpp"

namespace fs = std::filesystem;
using namespace testsupport;
using updateserver::Failure;

namespace {

constexpr const char* kVersion = "/downloads/release/version_P3D.json";
constexpr const char* kPackage = "/downloads/release/setup_Norvane_P3D_v8.9.0.zip";

// An installer's bytes: every line end and a NUL, so any text-mode damage shows.
const std::string installer = std::string("MZ\r\n\0\x01\xff installer\nbody\r", 23) + std::string(70000, 'i') + "END";

} // namespace

struct ProgramUpdateTest : UpdateTest {
    fs::path installerPath() const { return dir / "install_new_version.exe"; }

    // The user error 99 text, or empty when gf_updateProgram returned normally.
    std::string runUpdate()
    {
        try {
            gf_updateProgram(dir.path());
        }
        catch (const tzo::UserErrorException& e) {
            EXPECT_EQ(e.code(), 99);
            return e.what();
        }
        return {};
    }
};

TEST_F(ProgramUpdateTest, anEqualVersionAsksOnlyForTheVersionFile)
{
    serveVersion(kVersion, "8.8.0");
    EXPECT_EQ(runUpdate(), "");
    EXPECT_EQ(server->requests(), std::vector<std::string>{kVersion});
    EXPECT_TRUE(StatusRecorder::all().empty());

    server->remove(kVersion);
    EXPECT_EQ(runUpdate(), "");
    EXPECT_EQ(logLinesWith("===> Program Version file not found?"), 1);
}

TEST_F(ProgramUpdateTest, aNewerVersionUnpacksTheInstallerAndRaisesError99)
{
    serveVersion(kVersion, "8.9.0");
    server->put(kPackage, makeZip({{"setup.exe", installer}}));
    const std::string expected = "New version 8.9.0 available. Exit here, and run as administrator:   \"" +
                                 (dir.path() / "install_new_version.exe").string() + "\"";
    EXPECT_EQ(runUpdate(), expected);
    EXPECT_EQ(readFile(installerPath()), installer);
    EXPECT_FALSE(fs::exists(dir / "setup_Norvane_P3D_v8.9.0.zip"));
    EXPECT_EQ(temporaryFilesIn(dir.path()), 0);
}

TEST_F(ProgramUpdateTest, theInstallerIsTheExeBesideAReadmeAndFolders)
{
    serveVersion(kVersion, "8.9.0");
    writeFile(installerPath(), "previous installer");
    server->put(kPackage, makeZip({{"docs/", ""}, {"docs/readme.txt", "read me"}, {"Setup.EXE", installer},
                                   {"licence.txt", "licence"}}));
    EXPECT_NE(runUpdate(), "");
    EXPECT_EQ(readFile(installerPath()), installer);
}

TEST_F(ProgramUpdateTest, aDamagedPackageKeepsTheEarlierInstaller)
{
    const std::string marker = "INSTALLER-CONTENT-MARKER";
    const std::string content = marker + installer;
    struct Case {
        const char* what;
        std::function<void()> serve;
    };
    const Case cases[] = {
        {"corrupt CRC", [&] { server->put(kPackage, withDamagedContent(makeZip({{"setup.exe", content}}, true), marker)); }},
        {"cut entry", [&] { server->put(kPackage, withLongerClaimedSizes(makeZip({{"setup.exe", content}}), 1000)); }},
        {"404", [&] { server->remove(kPackage); }},
        {"no zip at all", [&] { server->put(kPackage, "<html>moved</html>"); }},
        {"two files, no exe", [&] { server->put(kPackage, makeZip({{"a.txt", "a"}, {"b.txt", "b"}})); }},
    };
    serveVersion(kVersion, "8.9.0");
    for (const auto& c : cases) {
        writeFile(installerPath(), "earlier installer");
        StatusRecorder::clear();
        c.serve();
        EXPECT_EQ(runUpdate(), "") << c.what;
        EXPECT_EQ(readFile(installerPath()), "earlier installer") << c.what;
        EXPECT_EQ(temporaryFilesIn(dir.path()), 0) << c.what;
        EXPECT_FALSE(fs::exists(dir / "setup_Norvane_P3D_v8.9.0.zip")) << c.what;
        EXPECT_EQ(statusesWith("download/extract of the new version failed? Try manually via my website"), 1)
            << c.what;
    }
    EXPECT_EQ(logLinesWith("===> extracting error code : "), 2);
}
