#pragma once
// Every livery test starts in a fresh program folder with its own log, a data
// base from the tests' builder, empty fix tables and empty scan lists, and
// leaves all of them empty again.

#include "foundation/log.hpp"
#include "foundation/text_file.hpp"
#include "liveries/cfg_grammar.hpp"
#include "liveries/code_fixes.hpp"
#include "liveries/fltsim_section.hpp"
#include "liveries/scan_lists.hpp"
#include "refdata/dbase.hpp"
#include "refdata/dbase_file.hpp"
#include "refdata/reference_data_reset.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace testsupport {

inline const std::filesystem::path kLiveryFixtures = std::filesystem::path(NORVANE_LIVERY_FIXTURES);

inline std::vector<std::string> asVector(const std::list<std::string>& list)
{
    return {list.begin(), list.end()};
}

// The models and airlines the fixtures use.
inline DbaseFile liveryDbase()
{
    auto file = DbaseFile::minimal();
    file.models("aircrafts", "aircraft", {"B738", "A321"})
        .airlines("ICAO_airlines", {"AAL", "UAL", "BAW", "CSC", "EDW", "ZZZ", "PVT"});
    return file;
}

inline void clearLiveryState()
{
    clearReferenceData();
    lf_clearScanMessages();
    tzo::codeFixes.clear();
    tzo::pvtFixes.clear();
    tzo::govFixes.clear();
}

struct LiveriesTest : ::testing::Test {
    TempDir dir{true};

    LiveriesTest()
    {
        clearLiveryState();
        gf_openLog(dir / "Log.txt");
        liveryDbase().write(dir / "input" / "dbase.xml");
        gf_readDbase();
    }
    ~LiveriesTest() override
    {
        gf_closeLog();
        clearLiveryState();
    }

    std::string log() const { return readFile(dir / "Log.txt"); }

    // How many log lines contain the text.
    int logLinesWith(const std::string& text) const { return countLinesWith(dir / "Log.txt", text); }
};

// An aircraft folder under SimObjects: its aircraft.cfg and the folders and
// files the liveries name.
class AircraftFolder {
public:
    explicit AircraftFolder(std::filesystem::path folder) : m_folder(std::move(folder))
    {
        std::filesystem::create_directories(m_folder);
    }

    const std::filesystem::path& path() const { return m_folder; }
    std::filesystem::path cfg() const { return m_folder / "aircraft.cfg"; }

    AircraftFolder& folders(std::initializer_list<const char*> names)
    {
        for (const char* name : names)
            std::filesystem::create_directories(m_folder / name);
        return *this;
    }
    AircraftFolder& files(std::initializer_list<const char*> names)
    {
        for (const char* name : names)
            writeFile(m_folder / name, "flight model");
        return *this;
    }
    AircraftFolder& cfgText(const std::string& text)
    {
        writeFile(cfg(), text);
        return *this;
    }
    AircraftFolder& cfgFixture(const std::string& name)
    {
        std::filesystem::copy_file(kLiveryFixtures / name, cfg(), std::filesystem::copy_options::overwrite_existing);
        return *this;
    }

private:
    std::filesystem::path m_folder;
};

// The lines of each [fltsim.N] section, its header first, up to the next
// section of any kind; what the per-file task hands over.
inline std::vector<std::vector<std::string>> fltsimSections(const std::vector<std::string>& lines)
{
    std::vector<std::vector<std::string>> sections;
    bool inside = false;
    for (const auto& line : lines) {
        if (!lf_matchFltsimHeader(line).empty()) {
            sections.push_back({line});
            inside = true;
        } else if (line.find_first_not_of(" \t") != std::string::npos && line[line.find_first_not_of(" \t")] == '[') {
            inside = false;
        } else if (inside) {
            sections.back().push_back(line);
        }
    }
    return sections;
}

// A whole aircraft.cfg through the checks and every section, as a scan task
// does it.
inline std::vector<tzo::LiveryData> scanCfg(const std::filesystem::path& cfg, std::uint32_t priority = 1)
{
    std::vector<std::string> lines;
    if (!gf_readExtTextFileToStringVector(cfg, lines) || !lf_checkFltsimNumbers(lines, cfg))
        return {};
    const std::string type = lf_fixAtcModel(cfg, lines);
    if (type.empty())
        return {};
    std::vector<tzo::LiveryData> liveries;
    for (auto& section : fltsimSections(lines)) {
        auto found = lf_procesFltSimSection(priority, section, type, cfg, cfg.parent_path());
        liveries.insert(liveries.end(), found.begin(), found.end());
    }
    return liveries;
}

} // namespace testsupport
