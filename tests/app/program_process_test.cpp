// The program as real processes: one copy per user, a copy that ends at once
// leaves the running one and its log alone, the guard dies with its process,
// every close signal (also one there from the first instruction, or two in a
// row) ends the program through its own exit with its position saved and says
// once that a signal closed it, a file size limit cuts the log but not the
// run, and a headless program at every dead end (outside
// its folder, without a simulator, liveries or data base, with a pipe it
// cannot use, a simulator of another name) says what it needs and ends with
// the user-error code; on its way it says where the install path came from
// and that the simulator connected, and a long wait for the simulator says
// where it looks.

#include "support/process.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::TempDir;
using testsupport::waitFor;

namespace {

// "norvane --headless" (or the argument given, none when empty) in folder, with its data folder there and its runtime
// folder there too unless another is given; the folder is made a program
// folder (one with "docs") unless told not to; standard output and error go
// to `output`, folder/terminal.txt unless given. The update checks go to a
// closed loopback port.
class Program : public testsupport::Process {
public:
    explicit Program(const fs::path& folder, const fs::path& runtime = {}, const fs::path& output = {},
                     bool programFolder = true, const std::vector<std::string>& moreEnvironment = {},
                     const std::string& argument = "--headless", const std::function<void()>& inChild = {})
        : Process(argument.empty() ? std::vector<std::string>{NORVANE_PROGRAM_PATH}
                                   : std::vector<std::string>{NORVANE_PROGRAM_PATH, argument},
                  lf_environment(folder, runtime, moreEnvironment),
                  lf_prepared(folder, programFolder), output.empty() ? folder / "terminal.txt" : output, inChild)
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

// The demo's program folder in `folder`, its simulator and ProgramData inside
// too, and a registry that names the simulator: a program started there gets
// as far as waiting for the simulator.
void lf_demoIn(const fs::path& folder)
{
    const fs::path demo = fs::path(NORVANE_DEMO_PROGRAM).parent_path();
    fs::copy(NORVANE_DEMO_PROGRAM, folder, fs::copy_options::recursive);
    fs::copy(demo / "simulator", folder / "simulator", fs::copy_options::recursive);
    fs::copy(demo / "programdata", folder / "programdata", fs::copy_options::recursive);
    testsupport::writeFile(folder / "roaming" / "registry.ini",
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\nSetupPath=" +
                               (folder / "simulator" / "Prepar3D v5").string() + "/\n");
}

std::string lf_programData(const fs::path& folder)
{
    return "NORVANE_PROGRAMDATA=" + (folder / "programdata").string();
}

// A program folder whose registry.ini is refused: `kind` is what stands
// there instead of a file it may read.
template <typename Setup>
void lf_refusedRegistry(const fs::path& dir, Setup& setup, const std::string& kind)
{
    fs::copy(NORVANE_DEMO_PROGRAM, dir, fs::copy_options::recursive);
    const fs::path registry = dir / "roaming" / "registry.ini";
    fs::create_directories(registry.parent_path());
    std::string cause = "is not a regular file: not read";
    if (kind == "fifo") {
        ASSERT_EQ(::mkfifo(registry.c_str(), 0600), 0);
    } else if (kind == "folder") {
        fs::create_directory(registry);
    } else if (kind == "socket") {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        ASSERT_LT(registry.string().size(), sizeof(address.sun_path));
        std::strcpy(address.sun_path, registry.c_str());
        ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
        ::close(fd);
        cause = "could not be opened: No such device or address"; // as a socket is opened
    } else if (kind == "zero") {
        fs::create_symlink("/dev/zero", registry);
    } else {
        // The key is there, in a file too large to be read.
        testsupport::writeFile(registry, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
                                         "SetupPath=/opt/p3d/Prepar3D v5/\n");
        fs::resize_file(registry, 2 * 1024 * 1024);
        cause = "is larger than 1048576 bytes: not read";
    }
    // The log keeps the line as the window has it, the terminal without its action.
    setup.lines = {"Error 151: No P3D install path detected", "\nWithout a window there is no Install Path field, and "
                   "registry.ini was refused: " +
                   registry.string() + " " + cause + ": put a regular file in its place"};
    setup.notOnTerminal.push_back("SetupPath");
}

bool lf_started(const fs::path& log)
{
    // The program waits for the simulator, which never comes: the log stays
    // as it is from here on.
    return fs::exists(log) && readFile(log).find("Waiting for Prepar3Dv5 ...") != std::string::npos;
}

} // namespace

TEST(ProgramProcess, secondCopyEndsAtOnceAndTheGuardDiesWithItsProcess)
{
    const TempDir dir;
    lf_demoIn(dir.path());
    const std::vector<std::string> programData{lf_programData(dir.path())};
    const fs::path log = dir.path() / "Log.txt";
    {
        Program first(dir.path(), {}, {}, true, programData);
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
    Program again(dir.path(), {}, {}, true, programData);
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
        lf_demoIn(dir.path());
        testsupport::writeFile(dir.path() / "file", "");
        for (const std::string run : {c.firstRuntime, c.secondRuntime})
            if (run != "file")
                fs::create_directories(dir.path() / run);
        Program first(dir.path(), dir.path() / c.firstRuntime, {}, true, {lf_programData(dir.path())});
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

    // The data folder replaced by a file: said once, not by every save that fails in it.
    const TempDir taken;
    const fs::path dataFolder = taken.path() / "roaming" / "Norvane_P3D";
    testsupport::writeFile(dataFolder, "a file where the data folder should be");
    Program program(taken.path());
    EXPECT_EQ(program.exitCode(std::chrono::seconds(20)), 1);
    const fs::path log = taken.path() / "Log.txt";
    EXPECT_EQ(testsupport::countLinesWith(log, "The data folder " + dataFolder.string() + " is a file, not a folder"), 1)
        << readFile(log);
    EXPECT_EQ(testsupport::countLinesWith(log, "parameters.xml"), 0) << readFile(log);
}

// Asked how to run it, or asked wrongly (a mistyped option would otherwise
// open a window), it says its usage and touches nothing.
TEST(ProgramProcess, helpSaysHowToRunItAndTouchesNothing)
{
    const struct {
        const char* argument;
        int code;
        std::string first;
    } cases[] = {
        {"--help", 0, ""},
        {"-h", 0, ""},
        {"--bogus", 2, "norvane: unknown option --bogus\n"},
        {"--headles", 2, "norvane: unknown option --headles\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        const TempDir dir;
        const TempDir output;
        Program program(dir.path(), {}, output.path() / "terminal.txt", false, {}, c.argument);
        EXPECT_EQ(program.exitCode(std::chrono::seconds(20)), c.code);
        const std::string said = readFile(output.path() / "terminal.txt");
        EXPECT_EQ(said.rfind(c.first + "usage: norvane [--headless]\n", 0), 0u) << said;
        EXPECT_NE(said.find("./run.sh --help"), std::string::npos) << said;
        EXPECT_NE(said.find("holding \"docs\" (else it stops with Error 41"), std::string::npos) << said;
        EXPECT_TRUE(fs::is_empty(dir.path())) << "no Log.txt, no lock, no settings";
    }
}

// Every close signal, whenever it comes, ends the program through its own
// exit: code 0, the position saved, one closing line however many signals.
TEST(ProgramProcess, closeSignalsEndWithZeroAndThePositionSaved)
{
    struct Case {
        const char* what;
        std::vector<int> signals;
        bool atOnce;  // sent at the start, before the log and the window exist
        const char* name;
        int ignored = 0; // started with it ignored (nohup, `&` in a script): only the later SIGTERM closes it
    };
    const Case cases[] = {
        {"SIGTERM once it runs", {SIGTERM}, false, "SIGTERM"},
        {"SIGHUP under nohup, then SIGTERM", {SIGHUP, SIGTERM}, false, "SIGTERM", SIGHUP},
        {"Ctrl-C ignored as a background job, then SIGTERM", {SIGINT, SIGTERM}, false, "SIGTERM", SIGINT},
        {"SIGQUIT ignored from the start, then SIGTERM", {SIGQUIT, SIGTERM}, false, "SIGTERM", SIGQUIT},
        {"SIGTERM ignored from the start still closes", {SIGTERM}, false, "SIGTERM", SIGTERM},
        {"SIGQUIT (Ctrl-\\) once it runs", {SIGQUIT}, false, "SIGQUIT (Ctrl-\\)"},
        {"SIGTERM at once", {SIGTERM}, true, "SIGTERM"},
        // Two of a kind in a row may arrive as one: another kind arrives too,
        // either first.
        {"Ctrl-C and SIGTERM in a row", {SIGINT, SIGTERM}, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TempDir dir;
        fs::create_directories(dir.path() / "roaming" / "Norvane_P3D");
        testsupport::writeFile(dir.path() / "roaming" / "Norvane_P3D" / "parameters.xml",
                               "<?xml version=\"1.0\"?>\n<parameters>\n"
                               "<parameter name=\"MAIN_WINDOW_X\" value=\"123\"/>\n"
                               "<parameter name=\"MAIN_WINDOW_Y\" value=\"45\"/>\n</parameters>\n");
        lf_demoIn(dir.path());
        const fs::path log = dir.path() / "Log.txt";
        // At once: blocked in the child from its fork on and sent before it
        // runs the program, the signal is there at the program's first
        // instruction.
        sigset_t blocked;
        sigset_t before;
        sigemptyset(&blocked);
        for (const int signal : c.signals)
            sigaddset(&blocked, signal);
        if (c.atOnce)
            ::pthread_sigmask(SIG_BLOCK, &blocked, &before);
        Program program(dir.path(), {}, {}, true, {lf_programData(dir.path())}, "--headless",
                        c.ignored ? std::function<void()>([&c] { ::signal(c.ignored, SIG_IGN); })
                                  : std::function<void()>());
        if (c.atOnce) {
            ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
        } else {
            ASSERT_TRUE(waitFor([&] { return lf_started(log); }, std::chrono::seconds(20)));
        }
        for (const int signal : c.signals) {
            program.signal(signal);
            // Taken, it would close the program within moments (then the
            // signal after it can only add nothing).
            if (signal == c.ignored && c.signals.size() > 1) {
                EXPECT_FALSE(waitFor([&] { return readFile(log).find(" received, closing") != std::string::npos; },
                                     std::chrono::seconds(2)))
                    << "an ignored signal does nothing";
            }
        }
        EXPECT_EQ(program.exitCode(std::chrono::seconds(20)), 0);
        const std::string closing = c.name ? std::string("Signal ") + c.name + " received, closing Norvane_P3D ..."
                                           : " received, closing Norvane_P3D ...";
        const std::string terminal = readFile(dir.path() / "terminal.txt");
        EXPECT_NE(terminal.find(closing), std::string::npos) << terminal;
        EXPECT_EQ(terminal.find("Close window button clicked"), std::string::npos) << "there is no window";
        const std::string text = readFile(log);
        const auto shown = text.find(closing);
        ASSERT_NE(shown, std::string::npos) << text;
        EXPECT_EQ(text.find(" received, closing", shown + closing.size()), std::string::npos) << "one closing line\n" << text;
        const auto closed = text.find("User closed Norvane_P3D");
        ASSERT_NE(closed, std::string::npos);
        EXPECT_EQ(text.find("User closed Norvane_P3D", closed + 1), std::string::npos) << text;
        EXPECT_NE(text.find("MAIN_WINDOW_X=123", closed), std::string::npos);
        EXPECT_NE(text.find("MAIN_WINDOW_Y=45", closed), std::string::npos);
        const std::string settings = readFile(dir.path() / "roaming" / "Norvane_P3D" / "parameters.xml");
        EXPECT_NE(settings.find("name=\"MAIN_WINDOW_X\" value=\"123\""), std::string::npos);
    }
}

// A file size limit (`ulimit -f`) is met as a full disk is: the log stops
// there, which standard error says once, and the run goes on to its own end.
TEST(ProgramProcess, aFileSizeLimitCutsTheLogButNotTheRunAndIsSaidOnce)
{
    const TempDir dir;
    fs::copy(NORVANE_DEMO_PROGRAM, dir.path(), fs::copy_options::recursive);
    Program program(dir.path(), {}, {}, true, {}, "--headless", [] {
        const rlimit limit{2048, 2048};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    // It ends at the dead end of no simulator, by itself, not by SIGXFSZ.
    EXPECT_EQ(program.exitCode(std::chrono::seconds(60)), 2);
    const std::string terminal = readFile(dir.path() / "terminal.txt");
    const std::string said = "Log.txt cannot be written (File too large): its lines are lost while that lasts\n";
    const auto at = terminal.find(said);
    EXPECT_NE(at, std::string::npos) << terminal;
    EXPECT_EQ(terminal.find("Log.txt cannot be written", at + 1), std::string::npos) << terminal;
    EXPECT_NE(terminal.find("Norvane_P3D has nothing left to do without a window and ends"), std::string::npos)
        << terminal;
    EXPECT_EQ(fs::file_size(dir.path() / "Log.txt"), 2048u);
}

// A wait for a simulator that never comes says, after a while, where the
// program looks and what to check; a close then ends with its own line.
TEST(ProgramProcess, aLongWaitForTheSimulatorSaysWhereItLooks)
{
    const TempDir dir;
    lf_demoIn(dir.path());
    const fs::path pipes = dir.path() / "pipes";
    Program program(dir.path(), {}, {}, true, {lf_programData(dir.path()), "NORVANE_PIPE_DIR=" + pipes.string()});
    const fs::path terminal = dir.path() / "terminal.txt";
    const std::string said = "Still waiting for Prepar3Dv5 after 30 s: tried the pipe " + pipes.string() +
                             "/Lockheed Martin Prepar3D v5_SimConnect (the default: none of ";
    ASSERT_TRUE(waitFor([&] { return readFile(terminal).find(said) != std::string::npos; }, std::chrono::seconds(90)))
        << readFile(terminal);
    EXPECT_NE(readFile(terminal).find("Check SimConnect.cfg and the pipe folder " + pipes.string()), std::string::npos);
    EXPECT_NE(readFile(dir.path() / "Log.txt").find(said), std::string::npos);
    program.signal(SIGTERM);
    EXPECT_EQ(program.exitCode(std::chrono::seconds(20)), 0);
    EXPECT_TRUE(readFile(terminal).ends_with("Signal SIGTERM received, closing Norvane_P3D ...\n"))
        << readFile(terminal);
}

TEST(ProgramProcess, headlessEndsAtEveryDeadEndWithTheUserErrorCodeAndTheLinesThatSayWhatToDo)
{
    // What a row sets up in its folder: the program's further environment,
    // the stand-ins it runs against, and the lines the terminal and the log
    // must show.
    struct Setup {
        std::vector<std::string> environment;
        std::vector<std::unique_ptr<testsupport::Process>> standIns;
        std::vector<std::string> lines;
        // Never on the terminal: the window's own words are not, nor a
        // remedy that does not fit the cause.
        std::vector<std::string> notOnTerminal{"press Enter", "check Liveries automatic",
                                               "Making changes to airport parking parameters"};
        bool programFolder = true;
        std::string argument = "--headless";
        std::vector<std::string> absent{}; // what neither the terminal nor the log may say
        std::function<void()> inChild{};
    };
    struct Case {
        const char* what;
        std::function<void(const fs::path&, Setup&)> prepare;
    };
    const auto registryText = [](const fs::path& dir) { return "registry.ini (" + (dir / "roaming" / "registry.ini").string() + ")"; };
    const auto settingsPath = [](const fs::path& dir) {
        return (dir / "roaming" / "Norvane_P3D" / "parameters.xml").string();
    };
    const Case cases[] = {
        {"outside its folder",
         [](const fs::path& dir, Setup& setup) {
             setup.programFolder = false;
             setup.lines = {"Error 41: Norvane_P3D must be run from the Norvane_P3D folder!\n"
                            "Start it in its program folder, the one with the folder \"docs\" in it (" +
                            fs::canonical(dir).string() + " has no \"docs\")\n"};
         }},
        {"no simulator",
         [](const fs::path& dir, Setup& setup) {
             fs::copy(NORVANE_DEMO_PROGRAM, dir, fs::copy_options::recursive);
             setup.lines = {
                 "Error 151: No P3D install path detected",
                 "\nWithout a window there is no Install Path field: write the simulator's key and its SetupPath, "
                 "e.g. [HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5] and SetupPath=/mnt/p3d/Prepar3D "
                 "v5/, in registry.ini (" +
                 (dir / "roaming" / "registry.ini").string() +
                 ", or the file NORVANE_REGISTRY names), as ./run.sh --help shows\n"};
         }},
        {"a pipe path too long for a socket",
         [](const fs::path& dir, Setup& setup) {
             lf_demoIn(dir);
             const fs::path pipes = dir / std::string(110, 'p');
             setup.environment = {lf_programData(dir), "NORVANE_PIPE_DIR=" + pipes.string()};
             setup.lines = {"pipe path too long: " + pipes.string() + "/"};
         }},
        {"no liveries: the simulator's ProgramData folder not known",
         [&](const fs::path& dir, Setup& setup) {
             lf_demoIn(dir);
             setup.lines = {"Simulator install path " + (dir / "simulator" / "Prepar3D v5").string() + "/ read from " +
                                registryText(dir) + ", saved as SIM_INSTALL_PATH in " + settingsPath(dir) + "\n",
                            "No SimObjects folder was searched: none is named by simobjects.cfg, add-ons.cfg or the "
                            "lfolder settings\n",
                            "simobjects.cfg not read: the simulator's ProgramData folder is not known: set "
                            "NORVANE_PROGRAMDATA\n",
                            "Error 53: no liveries found\n"};
         }},
        {"a saved install path that does not exist",
         [&](const fs::path& dir, Setup& setup) {
             lf_demoIn(dir);
             testsupport::writeFile(dir / "roaming" / "Norvane_P3D" / "parameters.xml",
                                    "<?xml version=\"1.0\"?>\n<parameters>\n<parameter name=\"SIM_INSTALL_PATH\" "
                                    "value=\"/nowhere/Prepar3D v5/\"/>\n</parameters>\n");
             setup.environment = {lf_programData(dir)};
             setup.lines = {"Simulator install path /nowhere/Prepar3D v5/ from SIM_INSTALL_PATH in " +
                                settingsPath(dir) + "\n",
                            "It does not exist. Without a window there is no Install Path field: edit "
                            "SIM_INSTALL_PATH in " +
                                settingsPath(dir) + ", or remove SIM_INSTALL_PATH there to take the path from " +
                                registryText(dir) + " again\n",
                            "No liveries in the SimObjects folder searched: /nowhere/Prepar3D v5/SimObjects/Airplanes\n"};
         }},
        {"a SetupPath in registry.ini that does not exist",
         [&](const fs::path& dir, Setup& setup) {
             fs::copy(NORVANE_DEMO_PROGRAM, dir, fs::copy_options::recursive);
             testsupport::writeFile(dir / "roaming" / "registry.ini",
                                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
                                    "SetupPath=/nowhere/Prepar3D v5/\n");
             setup.lines = {"Error 151: No P3D install path detected",
                            "\nSetupPath /nowhere/Prepar3D v5/ in " +
                            registryText(dir) +
                            " does not exist: mend it there (nothing was saved, the next start reads it again)\n"};
         }},
        // A registry.ini refused for its kind or size is what to mend, not a
        // missing key.
        {"registry.ini a FIFO", [](const fs::path& dir, Setup& setup) { lf_refusedRegistry(dir, setup, "fifo"); }},
        {"registry.ini a folder", [](const fs::path& dir, Setup& setup) { lf_refusedRegistry(dir, setup, "folder"); }},
        {"registry.ini a socket", [](const fs::path& dir, Setup& setup) { lf_refusedRegistry(dir, setup, "socket"); }},
        {"registry.ini a link to /dev/zero",
         [](const fs::path& dir, Setup& setup) { lf_refusedRegistry(dir, setup, "zero"); }},
        {"registry.ini over 1 MiB", [](const fs::path& dir, Setup& setup) { lf_refusedRegistry(dir, setup, "large"); }},
        {"dbase.xml a folder",
         [&](const fs::path& dir, Setup& setup) {
             lf_demoIn(dir);
             fs::remove(dir / "input" / "dbase.xml");
             fs::create_directory(dir / "input" / "dbase.xml");
             setup.environment = {lf_programData(dir)};
             setup.lines = {"Error 60: \"input/dbase.xml\" not read: it is not a regular file\n"};
             setup.notOnTerminal.push_back("Error reading from file/stream");
         }},
        {"dbase.xml over its limit",
         [&](const fs::path& dir, Setup& setup) {
             lf_demoIn(dir);
             fs::resize_file(dir / "input" / "dbase.xml", 257ull * 1024 * 1024); // sparse: no disk taken
             setup.environment = {lf_programData(dir)};
             setup.lines = {"Error 60: \"input/dbase.xml\" not read: it is larger than 268435456 bytes\n"};
             setup.notOnTerminal.push_back("Error reading from file/stream");
         }},
        {"a display that cannot be opened",
         [](const fs::path&, Setup& setup) {
             setup.programFolder = false;
             setup.argument.clear();  // a window is wanted
             setup.environment = {"DISPLAY=:" + std::to_string(60000 + ::getpid() % 5000)};
             setup.lines = {"cannot be opened: Norvane_P3D runs without a window\n",
                            "Error 41: Norvane_P3D must be run from the Norvane_P3D folder!\n"};
         }},
        {"settings that cannot be saved: a file size limit",
         [&](const fs::path& dir, Setup& setup) {
             lf_demoIn(dir);
             // Settings of their own beyond the limit make every save of the
             // file too large, while the log and the terminal stay below it.
             testsupport::writeFile(dir / "roaming" / "Norvane_P3D" / "parameters.xml",
                                    "<?xml version=\"1.0\"?>\n<parameters>\n<parameter name=\"USER_NOTE\" value=\"" +
                                        std::string(80 * 1024, 'n') + "\"/>\n</parameters>\n");
             setup.inChild = [] {
                 std::signal(SIGXFSZ, SIG_IGN);
                 const rlimit limit{64 * 1024, 64 * 1024};
                 ::setrlimit(RLIMIT_FSIZE, &limit);
             };
             setup.lines = {"saving xml did not work? \"" + settingsPath(dir) + "\" not saved: File too large\n",
                            "Simulator install path " + (dir / "simulator" / "Prepar3D v5").string() +
                                "/ read from " + registryText(dir) + ", for this run only\n"};
             setup.absent = {"saved as SIM_INSTALL_PATH", "\"" + settingsPath(dir) + "\" saved"};
         }},
        {"settings that cannot be saved: a read-only data folder",
         [&](const fs::path& dir, Setup& setup) {
             lf_demoIn(dir);
             fs::create_directories(dir / "roaming" / "Norvane_P3D");
             fs::permissions(dir / "roaming" / "Norvane_P3D", fs::perms(0555));
             // Tests run as root, who writes into any folder: the program is
             // started without that power, as an ordinary user is.
             setup.inChild = [] { ::prctl(PR_CAPBSET_DROP, CAP_DAC_OVERRIDE, 0, 0, 0); };
             setup.lines = {"could not save to \"" + settingsPath(dir) + "\": Permission denied\n",
                            "saving xml did not work? \"" + settingsPath(dir) + "\" not saved: Permission denied\n",
                            "Simulator install path " + (dir / "simulator" / "Prepar3D v5").string() +
                                "/ read from " + registryText(dir) + ", for this run only\n"};
             setup.absent = {"saved as SIM_INSTALL_PATH", "\"" + settingsPath(dir) + "\" saved"};
         }},
        {"no data base and no update server",
         [&](const fs::path& dir, Setup& setup) {
             lf_demoIn(dir);
             fs::remove(dir / "input" / "dbase.xml");
             setup.environment = {lf_programData(dir)};
             setup.lines = {(dir / "input" / "dbase.xml").string() +
                                " is missing or damaged and the update server https://127.0.0.1:9 sent none: let "
                                "Norvane_P3D reach the server (NORVANE_UPDATE_URL names it), or copy a dbase.xml "
                                "there\n",
                            "Error 60: \"input/dbase.xml\" not read because of "};
         }},
        {"a simulator of another name",
         [&](const fs::path& dir, Setup& setup) {
             lf_demoIn(dir);
             fs::create_directories(dir / "pipes");
             const std::string pipes = "NORVANE_PIPE_DIR=" + (dir / "pipes").string();
             setup.environment = {lf_programData(dir), pipes};
             setup.standIns.push_back(std::make_unique<testsupport::Process>(
                 std::vector<std::string>{NORVANE_SIMSTUB_PATH, "--name", "Lockheed Martin Prepar3D v4", "--version",
                                          "4.5"},
                 std::vector<std::string>{pipes}, dir, dir / "simstub.txt"));
             setup.lines = {"Lockheed Martin Prepar3D v4 (4.5.17.28) connected \n",
                            "Without a window there is no Install Path field: edit SIM_INSTALL_PATH in " +
                                settingsPath(dir),
                            "Error 78: wrong P3D version \"Lockheed Martin Prepar3D v4 (4.5.17.28)\" connects ... ?\n"};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TempDir dir;
        Setup setup;
        c.prepare(dir.path(), setup);
        Program program(dir.path(), {}, dir.path() / "terminal.txt", setup.programFolder, setup.environment,
                        setup.argument, setup.inChild);
        // It ends by itself within seconds; the time allowed is for a loaded or sanitized run.
        EXPECT_EQ(program.exitCode(std::chrono::seconds(60)), 2);
        const std::string terminal = readFile(dir.path() / "terminal.txt");
        const std::string log = setup.programFolder ? readFile(dir.path() / "Log.txt") : std::string();
        for (const std::string& words : setup.notOnTerminal)
            EXPECT_EQ(terminal.find(words), std::string::npos) << words << "\n--- terminal:\n" << terminal;
        for (const std::string& line : setup.lines) {
            EXPECT_NE(terminal.find(line), std::string::npos) << line << "\n--- terminal:\n" << terminal;
            if (setup.programFolder)
                EXPECT_NE(log.find(line), std::string::npos) << line << "\n--- log:\n" << log;
        }
        for (const std::string& text : setup.absent) {
            EXPECT_EQ(terminal.find(text), std::string::npos) << text << "\n--- terminal:\n" << terminal;
            EXPECT_EQ(log.find(text), std::string::npos) << text << "\n--- log:\n" << log;
        }
        EXPECT_NE(terminal.find("Norvane_P3D has nothing left to do without a window and ends: mend what the lines "
                                "above say, then start it again\n"),
                  std::string::npos)
            << terminal;
        if (setup.programFolder) {
            EXPECT_NE(log.find("Exiting: USER ERROR"), std::string::npos) << log;
            continue;
        }
        // The wrong folder keeps nothing of the start: no Log.txt, and at a
        // second start no Log0.txt. What is there is the test's own: the
        // terminal's file, the data and the runtime folder's lock.
        Program again(dir.path(), {}, dir.path() / "terminal.txt", false, setup.environment, setup.argument);
        EXPECT_EQ(again.exitCode(std::chrono::seconds(60)), 2);
        std::set<std::string> left;
        for (const auto& entry : fs::directory_iterator(dir.path()))
            left.insert(entry.path().filename().string());
        EXPECT_EQ(left, (std::set<std::string>{"Norvane_P3D-" + std::to_string(::getuid()) + ".lock", "roaming",
                                               "terminal.txt"}));
    }
}
