#pragma once
// Every start-up test runs the real start-up in a fresh program folder that
// holds only what the installer ships ("docs", the airports list and the code
// fixes), with its own roaming and simulator data folders, a registry file, a
// SimObjects tree, an add-on scenery folder with a built BGL image, and the
// local update server serving the data files, the archive and the program's
// own version. Restarts go through the real exit thread; its waits are short
// and a restart's "post WM_APP+1" starts the next start-up thread directly.

#include "airports/airports_list.hpp"
#include "airports/airport_scan.hpp"
#include "airports/bgl_builder.hpp"
#include "airports/generated_airport.hpp"
#include "app/entry.hpp"
#include "app/main_window.hpp"
#include "app/program_exit_services.hpp"
#include "app/start_up.hpp"
#include "foundation/run_state.hpp"
#include "foundation/workers.hpp"
#include "liveries/code_fixes.hpp"
#include "foundation/exceptions.hpp"
#include "liveries/scan_lists.hpp"
#include "realtraffic/rt_messages.hpp"
#include "liveries/livery_maps.hpp"
#include "liveries/scanned_liveries.hpp"
#include "realtraffic/link_state.hpp"
#include "refdata/dbase_file.hpp"
#include "refdata/reference_data_reset.hpp"
#include "support/settings_reset.hpp"
#include "updates/update_fixture.hpp"
#include "updates/zip_builder.hpp"

#include <atomic>
#include <functional>
#include <map>
#include <thread>

namespace starttest {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The program's exit, with short waits and the window's messages recorded.
struct TestExitServices : tzo::ProgramExitServices {
    std::atomic<int> finalCloses{0};
    // Runs on the exit thread when a restart hands over to the next start.
    std::function<void()> beforeRestartedStart;
    void sleepFor(std::chrono::milliseconds duration) override
    {
        std::this_thread::sleep_for(std::min<std::chrono::milliseconds>(duration, 40ms));
    }
    bool postToWindow(tzo::WindowMessage message) override
    {
        if (message == tzo::WindowMessage::START) {
            if (beforeRestartedStart)
                beforeRestartedStart();
            tzo::lf_startStartUp();
        }
        else
            finalCloses.fetch_add(1);
        return true;
    }
};

// Which controls the start-up enabled or disabled last.
struct ControlStates {
    static std::map<std::uint16_t, bool>& states()
    {
        static std::map<std::uint16_t, bool> s;
        return s;
    }
    static std::mutex& mutex()
    {
        static std::mutex m;
        return m;
    }
    static void enable(tzo::ParameterControl& c)
    {
        std::lock_guard lock(mutex());
        states()[c.controlId()] = true;
    }
    static void disable(tzo::ParameterControl& c)
    {
        std::lock_guard lock(mutex());
        states()[c.controlId()] = false;
    }
    static std::optional<bool> of(const tzo::ParameterControl& c)
    {
        std::lock_guard lock(mutex());
        const auto it = states().find(c.controlId());
        return it == states().end() ? std::nullopt : std::optional<bool>(it->second);
    }
};

inline const std::string kToday = gf_currentDateStamp();
inline const std::string kAigFile = "<?xml version=\"1.0\"?>\n<AIG-regcodes>\n  <livery title=\"A\" reg=\"D-AAAA\"/>\n</AIG-regcodes>\n";
inline const std::string kArchivedAirport = "<meta/>\n<parameters/>\n<parkpositions/>";

struct StartUpTest : testsupport::UpdateTest {
    testsupport::ScopedEnv programData{"NORVANE_PROGRAMDATA", (dir / "pd").string()};
    testsupport::ScopedEnv registry{"NORVANE_REGISTRY", (dir / "registry.ini").string()};
    fs::path install = dir / "P3D v5";
    fs::path simObjects = dir / "addons" / "AI";
    fs::path addonScenery = dir / "addons" / "MyAirport";
    std::shared_ptr<TestExitServices> exitServices = std::make_shared<TestExitServices>();

    StartUpTest()
    {
        resetState();
        tzo::gf_installExitServices(exitServices);
        tzo::gf_installExitHook();
        tzo::gf_installStartUpBody(tzo::lf_startUpNRVX);
        gf_installParameterControlHooks({nullptr, nullptr, nullptr, nullptr, &ControlStates::enable,
                                         &ControlStates::disable});
        fs::create_directories("docs");
        testsupport::writeFile("input/airports_p3d.xml",
                               R"(<airports><airport code="EHAM" iata="AMS" lat="52.3" lon="4.76" alt="-11"/></airports>)");
        testsupport::writeFile("input/fixes.xml", "<?xml version=\"1.0\"?>\n<fixes><fix wrong=\"B73H\" correct=\"B738\"/>"
                                                  "</fixes><PVT_fixes><fix wrong=\"PRV\"/></PVT_fixes>"
                                                  "<GOV_fixes><fix wrong=\"USG\"/></GOV_fixes>\n");
        registryEntries(true, false, install.string());
        fs::create_directories(install / "Scenery");
        addAircraft("B738", {"Boeing 737-800 American", "Boeing 737-800 American 2"});
        testsupport::writeFile(simObjects / "Broken" / "aircraft.cfg", "\xFF\xFE[fltsim.0\ntitle=");
        testsupport::writeFile(dir / "pd" / "Lockheed Martin" / "Prepar3D v5" / "simobjects.cfg",
                               "[Entry.0]\nTitle=AI\nPath=" + simObjects.string() + "\nActive=true\n");
        bgltest::Image image;
        image.airports = {bgltest::Airport{}};
        image.airports[0].ident = "ABCD";
        image.airports[0].parking = {bgltest::Parking{10, 1}, bgltest::Parking{10, 2, 1, 20.0f, 90.0f, 52.31}};
        const auto bytes = image.build();
        testsupport::writeFile(addonScenery / "scenery" / "ABCD.bgl", std::string(bytes.begin(), bytes.end()));
        testsupport::writeFile(addonScenery / "scenery" / "BAD.bgl", "not a BGL file at all");
        testsupport::writeFile(dir / "pd" / "Lockheed Martin" / "Prepar3D v5" / "scenery.cfg",
                               "[Area.001]\nTitle=Mine\nLocal=" + addonScenery.string() + "\nActive=TRUE\n");
        testsupport::writeFile(dir / "pd" / "Lockheed Martin" / "Prepar3D v5" / "scenery_add-ons.xml", "<Scenery/>\n");
        serveEverything();
    }
    ~StartUpTest() override
    {
        // A start-up or exit still running must not outlive the folder.
        testsupport::waitFor([] { return runningThreads.load() == 0; }, 30s);
        tzo::gf_installStartUpBody(nullptr);
        tzo::gf_installExitServices(std::make_shared<tzo::ProgramExitServices>());
        gf_installParameterControlHooks({});
        resetState();
        tzo::gf_installOperationsStart(nullptr);
    }

    static void resetState()
    {
        testsupport::resetStoredSettings();
        testsupport::clearReferenceData();
        tzo::codeFixes.clear();
        tzo::pvtFixes.clear();
        tzo::govFixes.clear();
        tzo::gf_resetLiveryCatalogue();
        tzo::scannedLiveries.clear();
        tzo::dontUseTitles.clear();
        gf_resetAirportsListForTests();
        tzo::dbaseRead = false;
        tzo::operationsStarts = 0;
        // The start-up is tested up to its hand-over; operations have tests of their own.
        tzo::gf_installOperationsStart([] {});
        exiting = false;
        userClosed = false;
        exitReason = ExitReason::NOT_YET_SET;
        rtOnThisPc = true;
        addonAirportsFound = 0;
        runningWorkers = 0;
        maxWorkers = static_cast<std::int32_t>(std::max(1u, std::thread::hardware_concurrency()));
        std::lock_guard lock(ControlStates::mutex());
        ControlStates::states().clear();
    }

    void registryEntries(bool v5, bool v6, const std::string& path = {}) const
    {
        std::string text;
        if (v5)
            text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\nSetupPath=" + path + "\n";
        if (v6)
            text += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\nSetupPath=" + path + "\n";
        testsupport::writeFile(dir / "registry.ini", text);
    }

    void addAircraft(const std::string& folder, const std::vector<std::string>& titles) const
    {
        const fs::path f = simObjects / folder;
        fs::create_directories(f / "model");
        fs::create_directories(f / "texture");
        testsupport::writeFile(f / "B738.air", "flight model");
        std::string text = "[General]\natc_model=B738\n";
        for (std::size_t i = 0; i < titles.size(); ++i)
            text += "[fltsim." + std::to_string(i) + "]\ntitle=" + titles[i] +
                    "\nsim=B738\nmodel=\ntexture=\natc_parking_codes=AAL\n";
        testsupport::writeFile(f / "aircraft.cfg", text);
    }

    static void serveEverything()
    {
        auto dbase = testsupport::DbaseFile::minimal();
        dbase.models("aircrafts", "aircraft", {"B738"}).airlines("ICAO_airlines", {"AAL", "ZZZ", "PVT"});
        server->put("/downloads/dbase/dbase.xml", dbase.text());
        serveVersion("/downloads/dbase/version.json", "1.0.0");
        server->put("/downloads/aig/AIG-regcodes.xml", kAigFile);
        serveVersion("/downloads/aig/version.json", "1.2.0");
        serveVersion("/downloads/release/version_P3D.json", std::string(kProgramVersionText));
        serveVersion("/downloads/archive/p3d/version.json", "2.3.0");
        server->put("/downloads/archive/p3d/archive.zip",
                    testsupport::makeZip({{"archive/stock/EHAM.xml", kArchivedAirport}}));
        server->put("/downloads/docs/P3D_archive.txt", "text doc\n");
        server->put("/downloads/docs/P3D_archive.csv", "a;b\n");
    }

    // Runs one start-up on this thread as the entry's wrapper does; the code
    // of the user error that ended it, 0 when it ended otherwise.
    static int startUp()
    {
        try {
            const RunningThreadCount counted;
            tzo::lf_startUpNRVX();
        } catch (const tzo::UserErrorException& e) {
            return e.code();
        }
        return 0;
    }

    static std::optional<std::string> storedSetting(const std::string& name)
    {
        pugi::xml_document doc;
        if (!doc.load_file(g_parametersPath.c_str()))
            return std::nullopt;
        return gf_getStringParameterFromDoc(doc, name);
    }

    static bool idle() { return runningThreads.load() == 0 && !exiting.load(); }
};

} // namespace starttest
