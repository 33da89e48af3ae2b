// A simulator installed as users really have it, generated in the test: a
// "scenery.cfg" of 40 areas as the simulator and add-on installers write it
// (a byte-order mark, CRLF, comments, switched-off areas, add-on folders whose
// names hold "Area", "Layer" and "World"), a "scenery_add-ons.xml", add-on
// packages with their "add-on.xml", aircraft.cfg files that share flight
// models and textures through subfolders and "..\", one SimObjects folder
// kept below a folder named "airport_and_ai". One start-up scans it all: the
// folders walked, the airports generated and the liveries catalogued are
// exactly those the install holds.

#include "startup_fixture.hpp"

#include "foundation/paths.hpp"
#include "liveries/scan_reports.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <set>

using namespace starttest;
using namespace testsupport;

namespace {

struct RealisticInstallTest : StartUpTest {
    fs::path addons = dir / "addons";
    fs::path lists = dir / "pd" / "Lockheed Martin" / "Prepar3D v5";

    // A BGL file of the airports, in one section or one section each, with
    // bytes after its last record that are no record.
    static void airportFile(const fs::path& path, const std::vector<std::string>& idents, bool sectionEach = false,
                            std::size_t trailingZeros = 0)
    {
        bgltest::Image image;
        image.sectionPerAirport = sectionEach;
        for (const auto& ident : idents) {
            bgltest::Airport a;
            a.ident = ident;
            a.parking = {bgltest::Parking{10, 1}, bgltest::Parking{10, 2, 1, 20.0f, 90.0f, 52.31}};
            image.airports.push_back(a);
        }
        auto bytes = image.build();
        bytes.resize(bytes.size() + trailingZeros, 0);
        bgltest::Image::write(path, bytes);
    }

    static std::string crlfWithMark(const std::string& text)
    {
        std::string out = "\xEF\xBB\xBF";
        for (const char c : text) {
            if (c == '\n')
                out += '\r';
            out += c;
        }
        return out;
    }

    // An aircraft folder: its aircraft.cfg and the folders and files named.
    static void aircraft(const fs::path& folder, const std::string& cfg, std::initializer_list<std::string> folders,
                         std::initializer_list<std::string> files)
    {
        writeFile(folder / "aircraft.cfg", cfg);
        for (const auto& f : folders)
            fs::create_directories(folder / f);
        for (const auto& f : files)
            writeFile(folder / f, "flight model");
    }

    void writeScenery()
    {
        std::string cfg = "[General]\nTitle=FS9 World Scenery\nDescription=FS9 Scenery Data\nClean_on_Exit=TRUE\n\n";
        int n = 0;
        const auto area = [&](const std::string& lines) {
            cfg += fmt::format("[Area.{:03}]\n{}\n", ++n, lines);
        };
        // The simulator's own areas, relative to its folder and never scanned.
        for (const char* stock : {"World", "BASE", "Props", "Global", "Bathymetry", "Cities\\Paris", "Cities\\London",
                                  "NAMC", "NAME", "NAMW", "SAME", "EURE", "EURW", "AFRI", "ASIA", "AUST", "OCEN",
                                  "0000", "0101", "0102", "0103", "0200", "0201", "0202", "0300", "0301"})
            area(fmt::format("Title=Default {}\nTexture_ID=1\nRemote=\nLocal=Scenery\\{}\nLayer={}\nActive={}\n"
                             "Required=TRUE\n",
                             stock, stock, n + 1, n % 5 == 4 ? "FALSE" : "TRUE"));
        area("Title=Addon Scenery\nLocal=Addon Scenery\nLayer=27\nActive=TRUE\nRequired=FALSE\n");
        area("Title=Bay Area Scenery\nLocal=" + (addons / "Bay Area" / "KSFO").string() +
             "\nLayer=28\nActive=TRUE\nRequired=FALSE\n");
        area("Title=World Airports London\nLocal=" + (addons / "World Airports" / "London").string() +
             "\nLayer=29\nActive=TRUE\n");
        area("Title=Munich\nLocal=" + (addons / "Layer Test" / "EDDM").string() + "\nLayer=30\nActive=TRUE\n");
        area("Title=Paris, switched off\nLocal=" + (addons / "Off" / "LFPG").string() +
             "\nActive=FALSE\n;Active=TRUE\n// Active=TRUE\n");
        area("Title=Zurich\n;Local=" + (addons / "Old" / "LIRF").string() + "\nLocal=" + (addons / "New" / "LSZH").string() +
             "\nActive=TRUE\n");
        area("Title=\"Frankfurt\"\nLOCAL=\"" + (addons / "Quoted" / "EDDF").string() + "\"\nACTIVE=True\n");
        area("Title=Uninstalled\nLocal=" + (addons / "Missing").string() + "\nActive=TRUE\n");
        area("Title=Generic\nLocal=" + (install / "Scenery" / "Generic").string() + "\nActive=TRUE\n");
        for (const char* off : {"A", "B", "C", "D", "E"})
            area(fmt::format("Title=Old {}\nLocal={}\nLayer={}\nactive=false\n", off, (addons / "Old" / off).string(),
                             n + 1));
        ASSERT_EQ(n, 40);
        writeFile(lists / "scenery.cfg", crlfWithMark(cfg));
        writeFile(lists / "scenery_add-ons.xml",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SimBase.Document Type=\"AddOnXml\" version=\"4,0\">\n"
                  "  <AddOn.Component>\n    <Category>Scenery</Category>\n    <Path>" +
                      (addons / "xml" / "EHAM").string() +
                      "</Path>\n    <Name>Schiphol</Name>\n  </AddOn.Component>\n</SimBase.Document>\n");

        airportFile(install / "Addon Scenery" / "scenery" / "LOWW.bgl", {"LOWW"});
        airportFile(addons / "Bay Area" / "KSFO" / "scenery" / "KSFO.bgl", {"KSFO"}, false, 12);
        airportFile(addons / "World Airports" / "London" / "scenery" / "London.bgl", {"EGLL", "EGKK"}, true);
        airportFile(addons / "Layer Test" / "EDDM" / "scenery" / "EDDM.bgl", {"EDDM"});
        airportFile(addons / "Off" / "LFPG" / "scenery" / "LFPG.bgl", {"LFPG"});
        airportFile(addons / "Old" / "LIRF" / "scenery" / "LIRF.bgl", {"LIRF"});
        airportFile(addons / "New" / "LSZH" / "scenery" / "LSZH.bgl", {"LSZH"});
        airportFile(addons / "Quoted" / "EDDF" / "scenery" / "EDDF.bgl", {"EDDF"});
        airportFile(addons / "Old" / "A" / "scenery" / "LEMD.bgl", {"LEMD"});
        airportFile(addons / "xml" / "EHAM" / "scenery" / "EHAM.bgl", {"EHAM"});
    }

    void writeAircraft()
    {
        const fs::path myAi = dir / "airport_and_ai";
        const fs::path fsltl = dir / "packages" / "FSLTL";
        writeFile(dir / "roaming" / "Lockheed Martin" / "Prepar3D v5" / "add-ons.cfg",
                  crlfWithMark("[Package.0]\nTITLE=My AI\nPATH=" + myAi.string() + "\nACTIVE=TRUE\nREQUIRED=FALSE\n"
                               "[Package.1]\nTITLE=FSLTL\nPATH=" + fsltl.string() + "\nACTIVE=TRUE\n"
                               "[Package.2]\nTITLE=Old\nPATH=" + (dir / "packages" / "Old").string() +
                               "\nACTIVE=FALSE\n"));
        const std::string addOnXml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                     "<SimBase.Document Type=\"AddOnXml\" version=\"4,0\" id=\"add-on\">\n"
                                     "  <AddOn.Component>\n    <Category>SimObjects</Category>\n"
                                     "    <Path>SimObjects</Path>\n  </AddOn.Component>\n</SimBase.Document>\n";
        for (const fs::path& package : {myAi, fsltl, dir / "packages" / "Old"})
            writeFile(package / "add-on.xml", addOnXml);
        writeFile(lists / "simobjects.cfg", "[Entry.0]\nTitle=Airplanes\nPath=SimObjects\\Airplanes\nRequired=False\n"
                                            "Active=True\n");

        aircraft(install / "SimObjects" / "Airplanes" / "B738",
                 "[General]\natc_model=B738\n[fltsim.0]\ntitle=Boeing 737-800 Paint1\nsim=B738\nmodel=\ntexture=1\n"
                 "atc_parking_codes=AAL\n",
                 {"model", "texture.1"}, {"B738.air"});
        // Flight models shared beside the aircraft's folder and in a subfolder,
        // a texture in a subfolder; one section reaches out of the SimObjects folder.
        const fs::path aiB738 = myAi / "SimObjects" / "Airplanes" / "AI_B738";
        aircraft(aiB738,
                 "[General]\natc_model=B738\n"
                 "[fltsim.0]\ntitle=AI Boeing 737-800 American N901AN\nsim=..\\Shared\\B737-800\nmodel=\n"
                 "texture=AAL\\N901AN\natc_parking_codes=AAL\natc_id=N901AN\n"
                 "[fltsim.1]\ntitle=AI Boeing 737-800 United\nsim=air\\B738\nmodel=\ntexture=UAL\n"
                 "atc_parking_codes=UAL\n"
                 "[fltsim.2]\ntitle=AI Boeing 737-800 Outside\nsim=..\\..\\..\\B738\nmodel=\ntexture=UAL\n"
                 "atc_parking_codes=UAL\n",
                 {"model", "texture.AAL/N901AN", "texture.UAL"}, {"air/B738.air"});
        writeFile(myAi / "SimObjects" / "Airplanes" / "Shared" / "B737-800.air", "flight model");
        writeFile(myAi / "B738.air", "flight model"); // there, but outside the SimObjects folder
        aircraft(myAi / "SimObjects" / "airport_vehicles" / "Tug",
                 "[General]\natc_model=B738\n[fltsim.0]\ntitle=Tug\nsim=B738\nmodel=\ntexture=\n"
                 "atc_parking_codes=AAL\n",
                 {"model", "texture"}, {"B738.air"});
        aircraft(fsltl / "SimObjects" / "Airplanes" / "FSLTL_A320",
                 "[General]\natc_model=A320\n"
                 "[fltsim.0]\ntitle=FSLTL A320 Lufthansa\nsim=..\\..\\Common\\A320\nmodel=\ntexture=DLH\n"
                 "atc_parking_codes=DLH\n"
                 "[fltsim.1]\ntitle=FSLTL A320 British\nsim=..\\..\\Common\\A320\nmodel=\ntexture=BAW/Sharklets\n"
                 "atc_parking_codes=BAW\n",
                 {"model", "texture.DLH", "texture.BAW/Sharklets"}, {});
        writeFile(fsltl / "SimObjects" / "Common" / "A320.air", "flight model");
        aircraft(dir / "packages" / "Old" / "SimObjects" / "Old_B738",
                 "[General]\natc_model=B738\n[fltsim.0]\ntitle=Old package\nsim=B738\nmodel=\ntexture=\n"
                 "atc_parking_codes=AAL\n",
                 {"model", "texture"}, {"B738.air"});

        auto dbase = testsupport::DbaseFile::minimal();
        dbase.models("aircrafts", "aircraft", {"B738"}).airlines("ICAO_airlines", {"AAL", "UAL", "BAW", "ZZZ", "PVT"});
        server->put("/downloads/dbase/dbase.xml", dbase.text());
    }

    static std::vector<std::string> scanLogLinesFrom(const std::string& prefix)
    {
        std::vector<std::string> found;
        for (const auto& line : readLines(g_outputInfoFolder / "AirportsScanLog.txt"))
            if (line.starts_with(prefix))
                found.push_back(line.substr(prefix.size()));
        return found;
    }
};

} // namespace

TEST_F(RealisticInstallTest, oneStartScansExactlyWhatTheUserInstalled)
{
    writeScenery();
    writeAircraft();
    ASSERT_EQ(startUp(), 0) << log();

    // Folders: the add-on areas switched on, in file order, then the XML list's.
    EXPECT_EQ(scanLogLinesFrom("Scanning for addon airports in "),
              (std::vector<std::string>{(install / "Addon Scenery").string(), (addons / "Bay Area" / "KSFO").string(),
                                        (addons / "World Airports" / "London").string(),
                                        (addons / "Layer Test" / "EDDM").string(), (addons / "New" / "LSZH").string(),
                                        (addons / "Quoted" / "EDDF").string(), (addons / "xml" / "EHAM").string()}));
    EXPECT_EQ(logLinesWith((addons / "Missing").string() + " does not exist, skipped!"), 1);

    // Airports: each once, also the two of the file with a section each, and
    // the file with bytes after its last record read without an exception.
    std::set<std::string> generated;
    for (const auto& e : fs::directory_iterator(g_myThirdpartyFolder))
        generated.insert(e.path().filename().string());
    EXPECT_EQ(generated, (std::set<std::string>{"EDDF.xml", "EDDM.xml", "EGKK.xml", "EGLL.xml", "EHAM.xml",
                                                "KSFO.xml", "LOWW.xml", "LSZH.xml"}));
    for (const auto& file : generated)
        EXPECT_EQ(countLinesWith(g_outputInfoFolder / "AirportsScanLog.txt", "Generated " + file + ":"), 1) << file;
    EXPECT_EQ(countLinesWith(g_outputInfoFolder / "AirportsScanLog.txt", "Exception"), 0);
    EXPECT_EQ(countLinesWith(g_outputInfoFolder / "AirportsScanLog.txt", "futs"), 0);
    // Files laid out as compiled, padding included, have no fault to report.
    EXPECT_EQ(countLinesWith(g_outputInfoFolder / "AirportsScanLog.txt", "the rest of the file is not read"), 0);
    EXPECT_EQ(addonAirportsFound.load(), 8);

    // Liveries: the packages switched on, then the simulator's own list; the
    // SimObjects folder below "airport_and_ai" walked, its "airport_vehicles" not.
    EXPECT_EQ(logLinesWith("2 liveries found in " + (dir / "airport_and_ai" / "SimObjects").string()), 1);
    EXPECT_EQ(logLinesWith("2 liveries found in " + (dir / "packages" / "FSLTL" / "SimObjects").string()), 1);
    EXPECT_EQ(logLinesWith("1 liverie found in " + (install / "SimObjects" / "Airplanes").string()), 1);
    EXPECT_EQ(logLinesWith("5 in total"), 1);
    pugi::xml_document catalogue;
    ASSERT_TRUE(catalogue.load_file(g_liveriesScannedPath.c_str()));
    std::vector<std::string> liveries;
    for (const auto& liv : catalogue.child("liveries").children("liv"))
        liveries.push_back(fmt::format("{} {} {} {}", liv.attribute("airl").value(), liv.attribute("type").value(),
                                       liv.attribute("title").value(), liv.attribute("atcid").value()));
    EXPECT_EQ(liveries, (std::vector<std::string>{"AAL B738 Boeing 737-800 Paint1 ",
                                                  "AAL B738 AI Boeing 737-800 American N901AN N901AN",
                                                  "BAW A320 FSLTL A320 British ", "DLH A320 FSLTL A320 Lufthansa ",
                                                  "UAL B738 AI Boeing 737-800 United "}));
    const fs::path aiB738 = dir / "airport_and_ai" / "SimObjects" / "Airplanes" / "AI_B738";
    EXPECT_EQ(readLines(g_incompleteSectionsPath),
              std::vector<std::string>{(aiB738 / "..\\..\\..\\B738.air").string() +
                                       " [fltsim.2] leaves the SimObjects folder " +
                                       (dir / "airport_and_ai" / "SimObjects").string()});
}
