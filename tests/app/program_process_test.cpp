// The program as real processes: one copy per user, a copy that ends at once
// leaves the running one and its log alone, the guard dies with its process,
// SIGTERM ends the program through its own exit with its position saved and
// says a signal closed it, and a headless program outside its folder,
// without a simulator or with a pipe it cannot use says what it needs and ends.

#include "support/process.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::waitFor;

namespace {

// "norvane --headless" in folder, with its data folder there and its runtime
// folder there too unless another is given; the folder is made a program
// folder (one with "docs") unless told not to; standard output and error go
// to `output`, folder/terminal.txt unless given. The update checks go to a
// closed loopback port.
class Program : public testsupport::Process {
public:
    explicit Program(const fs::path& folder, const fs::path& runtime = {}, const fs::path& output = {},
                     bool programFolder = true, const std::vector<std::string>& moreEnvironment = {})
        : Process({NORVANE_PROGRAM_PATH, "--headless"}, lf_environment(folder, runtime, moreEnvironment),
                  lf_prepared(folder, programFolder), output.empty() ? folder / "terminal.txt" : output)
    {
    }

private:
    static std::vector<std::string> lf_environment(const fs::path& folder, const fs::path& runtime,
                                                   const std::vector<std::string>& more)
    {
        std::vector<std::string> environment{"XDG_RUNTIME_DIR=" + (runtime.empty() ? folder : runtime).string(),
                                             "NORVANE_APPDATA=" + (folder / "roaming").string(),
                                             "HOME=" + folder.string(), "PATH=/usr/bin:/bin",
                                             "NORVANE_UPDATE_URL=https://127.0.0.1:9"};
        environment.insert(environment.end(), more.begin(), more.end());
        return environment;
    }

    static fs::path lf_prepared(const fs::path& folder, bool programFolder)
    {
        if (programFolder)
            fs::create_directories(folder / "docs");
        return folder;
    }
};

bool lf_started(const fs::path& log)
{
    // The start-up has read the settings (the block of settings in the log is
    // closed) and ended with its error (nothing to read in the folder): the
    // log stays as it is from here on.
    if (!fs::exists(log))
        return false;
    const std::string text = readFile(log);
    const auto last = text.find("SIM_INSTALL_PATH=");
    const auto closed = last == std::string::npos ? last : text.find("\n*****", last);
    return closed != std::string::npos && text.find("\nError ", closed) != std::string::npos;
}

} // namespace

TEST(ProgramProcess, secondCopyEndsAtOnceAndTheGuardDiesWithItsProcess)
{
    const TempDir dir;
    const fs::path log = dir.path() / "Log.txt";
    {
        Program first(dir.path());
        ASSERT_TRUE(waitFor([&] { return lf_started(log); }, std::chrono::seconds(20)));
        const std::string before = readFile(log);

        Program second(dir.path());
        // It ends by itself; the time allowed is for a loaded or sanitized run.
        EXPECT_EQ(second.exitCode(std::chrono::seconds(20)), -1);
        EXPECT_EQ(readFile(log), before) << "the second copy leaves the log alone";
        EXPECT_FALSE(first.exitCode(std::chrono::milliseconds(0))) << "the first runs on";
        first.signal(SIGKILL);
        EXPECT_FALSE(first.exitCode(std::chrono::seconds(5))) << "killed, no exit code";
    }
    Program again(dir.path());
    ASSERT_TRUE(waitFor([&] { return lf_started(log); }, std::chrono::seconds(20))) << "the kernel released the guard";
    EXPECT_FALSE(again.exitCode(std::chrono::milliseconds(0)));
}

TEST(ProgramProcess, aSecondCopyOnTheSameDataFolderSaysWhereTheLockIsAndLeavesTheSettingsAlone)
{
    struct Case {
        const char* what;
        const char* firstRuntime;  // inside the test's folder; "file": a file where the folder should be
        const char* secondRuntime;
        bool lockBesideTheData;
    };
    const Case cases[] = {
        {"one runtime folder", "run", "run", false},
        {"the runtime folder unwritable", "file", "file", true},
        {"runtime folders of their own", "run1", "run2", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TempDir dir;
        testsupport::writeFile(dir.path() / "file", "");
        for (const std::string run : {c.firstRuntime, c.secondRuntime})
            if (run != "file")
                fs::create_directories(dir.path() / run);
        Program first(dir.path(), dir.path() / c.firstRuntime);
        ASSERT_TRUE(waitFor([&] { return lf_started(dir.path() / "Log.txt"); }, std::chrono::seconds(20)));
        // A position at a limit is replaced and saved by every copy that starts.
        const fs::path settings = dir.path() / "roaming" / "Norvane_P3D" / "parameters.xml";
        const std::string atALimit = "<parameters><parameter name=\"MAIN_WINDOW_X\" value=\"30000\"/></parameters>\n";
        testsupport::writeFile(settings, atALimit);

        Program second(dir.path(), dir.path() / c.secondRuntime, dir.path() / "second.txt");
        EXPECT_EQ(second.exitCode(std::chrono::seconds(20)), -1);
        const fs::path lock = c.lockBesideTheData ? dir.path() / "roaming" / "Norvane_P3D.lock"
                                                  : dir.path() / c.firstRuntime /
                                                        ("Norvane_P3D-" + std::to_string(::getuid()) + ".lock");
        EXPECT_EQ(readFile(dir.path() / "second.txt"),
                  "Norvane_P3D already runs for this user (lock file " + lock.string() + ")\n");
        EXPECT_EQ(readFile(settings), atALimit);
        EXPECT_FALSE(first.exitCode(std::chrono::milliseconds(0))) << "the first runs on";
    }

    // No lock at all: no copy runs.
    const TempDir dir;
    testsupport::writeFile(dir.path() / "file", "");
    testsupport::writeFile(dir.path() / "roaming", "a file where the application-data folder should be");
    Program lone(dir.path(), dir.path() / "file", dir.path() / "lone.txt");
    EXPECT_EQ(lone.exitCode(std::chrono::seconds(20)), 1);
    EXPECT_NE(readFile(dir.path() / "lone.txt").find("Norvane_P3D cannot make sure that it runs only once"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(dir.path() / "Log.txt"));
}

TEST(ProgramProcess, sigtermEndsWithZeroAndThePositionSaved)
{
    const TempDir dir;
    fs::create_directories(dir.path() / "roaming" / "Norvane_P3D");
    testsupport::writeFile(dir.path() / "roaming" / "Norvane_P3D" / "parameters.xml",
                           "<?xml version=\"1.0\"?>\n<parameters>\n"
                           "<parameter name=\"MAIN_WINDOW_X\" value=\"123\"/>\n"
                           "<parameter name=\"MAIN_WINDOW_Y\" value=\"45\"/>\n</parameters>\n");
    const fs::path log = dir.path() / "Log.txt";
    Program program(dir.path());
    ASSERT_TRUE(waitFor([&] { return lf_started(log); }, std::chrono::seconds(20)));
    program.signal(SIGTERM);
    EXPECT_EQ(program.exitCode(std::chrono::seconds(10)), 0);
    const std::string terminal = readFile(dir.path() / "terminal.txt");
    EXPECT_NE(terminal.find("Signal SIGTERM received, closing Norvane_P3D ..."), std::string::npos) << terminal;
    EXPECT_EQ(terminal.find("Close window button clicked"), std::string::npos) << "there is no window";
    const std::string text = readFile(log);
    const auto closed = text.find("User closed Norvane_P3D");
    ASSERT_NE(closed, std::string::npos);
    EXPECT_NE(text.find("MAIN_WINDOW_X=123", closed), std::string::npos);
    EXPECT_NE(text.find("MAIN_WINDOW_Y=45", closed), std::string::npos);
    const std::string settings = readFile(dir.path() / "roaming" / "Norvane_P3D" / "parameters.xml");
    EXPECT_NE(settings.find("name=\"MAIN_WINDOW_X\" value=\"123\""), std::string::npos);
}

TEST(ProgramProcess, headlessOutsideItsFolderEndsWithErrorFortyOneAndTheFolderItNeeds)
{
    const TempDir dir;
    Program program(dir.path(), {}, {}, false);
    EXPECT_EQ(program.exitCode(std::chrono::seconds(20)), 2);
    const std::string lines = "Error 41: Norvane_P3D must be run from the Norvane_P3D folder!\n"
                              "Start it in its program folder, the one with the folder \"docs\" in it (" +
                              fs::canonical(dir.path()).string() + " has no \"docs\")\n";
    EXPECT_NE(readFile(dir.path() / "terminal.txt").find(lines), std::string::npos)
        << readFile(dir.path() / "terminal.txt");
    const std::string log = readFile(dir.path() / "Log.txt");
    EXPECT_NE(log.find(lines), std::string::npos) << log;
    EXPECT_NE(log.find("Exiting: USER ERROR"), std::string::npos) << log;
}

TEST(ProgramProcess, headlessWithoutASimulatorEndsWithErrorOneFiftyOneAndNamesTheRegistry)
{
    // The demo's program folder, so that the start-up gets as far as looking
    // for the simulator; no registry names one.
    const TempDir dir;
    fs::copy(NORVANE_DEMO_PROGRAM, dir.path(), fs::copy_options::recursive);
    Program program(dir.path());
    // It ends by itself within seconds; the time allowed is for a loaded or sanitized run.
    EXPECT_EQ(program.exitCode(std::chrono::seconds(30)), 2) << readFile(dir.path() / "terminal.txt");
    const std::string lines =
        "Error 151: No P3D install path detected, type full Install Path above, and press Enter\n"
        "Without a window there is no Install Path field: write the simulator's key and its SetupPath, e.g. "
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5] and SetupPath=/mnt/p3d/Prepar3D v5/, in "
        "registry.ini (" +
        (dir.path() / "roaming" / "registry.ini").string() +
        ", or the file NORVANE_REGISTRY names), as ./run.sh --help shows\n";
    EXPECT_NE(readFile(dir.path() / "terminal.txt").find(lines), std::string::npos)
        << readFile(dir.path() / "terminal.txt");
    const std::string log = readFile(dir.path() / "Log.txt");
    EXPECT_NE(log.find(lines), std::string::npos) << log;
    EXPECT_NE(log.find("Exiting: USER ERROR"), std::string::npos) << log;
}

TEST(ProgramProcess, headlessWithAPipePathTooLongForASocketEndsWithTheLineThatSaysSo)
{
    // The demo's simulator, found through its registry; its pipe lies in a
    // folder whose path leaves no room for the pipe's name.
    const TempDir dir;
    for (const char* part : {"program", "simulator", "programdata", "registry.ini"})
        fs::copy(fs::path(NORVANE_DEMO_PROGRAM).parent_path() / part, dir.path() / part, fs::copy_options::recursive);
    const fs::path pipes = dir.path() / std::string(110, 'p');
    Program program(dir.path() / "program", {}, dir.path() / "terminal.txt", true,
                    {"NORVANE_REGISTRY=" + (dir.path() / "registry.ini").string(),
                     "NORVANE_PROGRAMDATA=" + (dir.path() / "programdata").string(),
                     "NORVANE_PIPE_DIR=" + pipes.string()});
    EXPECT_EQ(program.exitCode(std::chrono::seconds(60)), 2) << readFile(dir.path() / "terminal.txt");
    const std::string line = "pipe path too long: " + pipes.string() + "/";
    EXPECT_NE(readFile(dir.path() / "terminal.txt").find(line), std::string::npos)
        << readFile(dir.path() / "terminal.txt");
    const std::string log = readFile(dir.path() / "program" / "Log.txt");
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_NE(log.find("Exiting: USER ERROR"), std::string::npos) << log;
}
