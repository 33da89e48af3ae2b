#pragma once
// Livery scans over SimObjects trees generated in a temporary folder: aircraft
// configuration files with the folders and files their sections name, the
// throttle and exit flags reset around every test.

#include "liveries_fixture.hpp"

#include "foundation/run_state.hpp"
#include "foundation/workers.hpp"
#include "liveries/scanned_liveries.hpp"
#include "refdata/dbase_file.hpp"

#include <fmt/format.h>

#include <sys/fsuid.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

namespace scantest {

namespace fs = std::filesystem;

struct Section {
    std::string title;
    std::string codes = "AAL";
    std::vector<std::string> extra = {};
};

// An aircraft.cfg of model B738 (atc_model for an ordinary file; an IVAO file
// has none) whose sections name the folder "model", the folder "texture" and
// the file "B738.air".
inline std::string cfgText(const std::vector<Section>& sections, bool ivao = false)
{
    std::string text = ivao ? "[General]\n" : "[General]\natc_model=B738\n";
    for (std::size_t i = 0; i < sections.size(); ++i) {
        text += "[fltsim." + std::to_string(i) + "]\ntitle=" + sections[i].title + "\nsim=B738\nmodel=\ntexture=\n";
        if (!ivao)
            text += "atc_parking_codes=" + sections[i].codes + "\n";
        for (const auto& line : sections[i].extra)
            text += line + "\n";
    }
    return text;
}

// An aircraft folder holding the files cfgText's sections name.
inline testsupport::AircraftFolder aircraftAt(const fs::path& folder)
{
    testsupport::AircraftFolder aircraft(folder);
    aircraft.folders({"model", "texture"}).files({"B738.air"});
    return aircraft;
}

// One aircraft folder with one file and the given titles.
inline fs::path addAircraft(const fs::path& folder, const std::vector<std::string>& titles,
                            const std::string& fileName = "aircraft.cfg")
{
    auto aircraft = aircraftAt(folder);
    std::vector<Section> sections;
    for (const auto& title : titles)
        sections.push_back({title});
    testsupport::writeFile(folder / fileName, cfgText(sections));
    return folder / fileName;
}

template <typename Liveries>
std::vector<std::string> titlesOf(const Liveries& liveries)
{
    std::vector<std::string> titles;
    for (const auto& livery : liveries)
        titles.push_back(livery.title);
    return titles;
}

// The models and airlines of the scan tests, with the codes IVAO folder
// names become.
inline testsupport::DbaseFile scanDbase()
{
    auto file = testsupport::DbaseFile::minimal();
    file.models("aircrafts", "aircraft", {"B738", "A321", "T154", "B744", "GLID"})
        .airlines("ICAO_airlines", {"AAL", "UAL", "BAW", "CSC", "EDW", "ZZZ", "PVT"});
    return file;
}

inline void resetThrottle()
{
    runningWorkers = 0;
    maxWorkers = 4;
    exiting = false;
    userClosed = false;
    tzo::scannedLiveries.clear();
}

struct ScanTest : testsupport::LiveriesTest {
    ScanTest()
    {
        resetThrottle();
        scanDbase().write(dir / "input" / "dbase.xml");
        gf_readDbase();
    }
    ~ScanTest() override { resetThrottle(); }
};

// Makes the file modes count for this thread and the threads it starts while
// the object lives, also when the tests run as root: the thread's file-system
// identity becomes an ordinary user's. The tree below root is opened up for
// that user, and the locked paths closed to everyone, before that.
class OrdinaryUser {
public:
    OrdinaryUser(const fs::path& root, std::vector<fs::path> locked) : m_locked(std::move(locked))
    {
        for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
            if (!it->is_symlink()) // a link has no mode of its own, and may lead nowhere
                fs::permissions(it->path(), it->is_directory() ? fs::perms(0755) : fs::perms(0644));
        fs::permissions(root, fs::perms(0755));
        for (const auto& path : m_locked)
            fs::permissions(path, fs::perms::none);
        if (geteuid() == 0) {
            setfsuid(65534);
            m_wasRoot = static_cast<uid_t>(setfsuid(static_cast<uid_t>(-1))) == 65534;
        }
    }
    ~OrdinaryUser()
    {
        if (m_wasRoot)
            setfsuid(0);
        for (const auto& path : m_locked)
            fs::permissions(path, fs::is_directory(path) ? fs::perms(0755) : fs::perms(0644));
    }
    OrdinaryUser(const OrdinaryUser&) = delete;
    OrdinaryUser& operator=(const OrdinaryUser&) = delete;

    // Whether a mode of 000 now keeps this thread out.
    bool effective() const { return m_wasRoot || geteuid() != 0; }

private:
    std::vector<fs::path> m_locked;
    bool m_wasRoot = false;
};

} // namespace scantest
