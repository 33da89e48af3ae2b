// The BGL airport reader on images built from the documented layout, both
// airport forms, and on every kind of damage a file from outside can carry.

#include "airports/airport_scan.hpp"
#include "airports/bgl_reader.hpp"
#include "airports/bgl_records.hpp"
#include "bgl_builder.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <filesystem>

namespace {

using bgltest::Image;
using bgltest::Parking;
using bgltest::Helipad;

struct BglReaderTest : ::testing::Test {
    BglReaderTest() { gf_takeAirportScanLog(); }
    ~BglReaderTest() override { gf_takeAirportScanLog(); }

    static std::vector<tzo::BglAirport> read(const std::vector<std::uint8_t>& bytes)
    {
        std::vector<tzo::BglAirport> out;
        tzo::BglAirportSink sink;
        sink.end = [&](tzo::BglAirport& a) { out.push_back(a); };
        tzo::lf_readBglAirports(bytes, "x.bgl", [](const std::string&) { return std::string("unknown"); }, sink);
        return out;
    }
    // Reads damaged bytes: the reading ends quietly where they stop making
    // sense, with at most one scan-log line about it.
    static std::vector<tzo::BglAirport> readDamaged(const std::vector<std::uint8_t>& bytes)
    {
        gf_takeAirportScanLog();
        auto out = read(bytes);
        EXPECT_LE(gf_takeAirportScanLog().size(), 1u);
        return out;
    }
    static bool logHas(const std::vector<std::string>& log, const std::string& text)
    {
        for (const auto& l : log)
            if (l.find(text) != std::string::npos)
                return true;
        return false;
    }
    static std::vector<std::string> names(const tzo::BglAirport& a)
    {
        std::vector<std::string> n;
        for (const auto& s : a.airport.stands)
            n.push_back(s.name);
        return n;
    }
};

TEST_F(BglReaderTest, bothFormsGiveAirportAndStands)
{
    for (const bool v5 : {false, true}) {
        SCOPED_TRACE(v5);
        Image image;
        bgltest::Airport a;
        a.p3dV5 = v5;
        a.altitudeMm = -3350;
        a.helipads = {Helipad{52.31, 4.77, 20.0f, 0.0f}};
        a.parking = {Parking{10, 12, 1, 20.0f, 90.0f, 52.30, 4.76, 2}, Parking{13, 4, 5, 30.0f, 0.0f, -33.9, 151.2, 0},
                     Parking{0, 7, 8, 15.5f, 180.0f, 52.29, 4.75, 1}};
        image.airports = {a};
        const auto bytes = image.build();
        EXPECT_TRUE(tzo::lf_bglHasAirportSection(bytes));
        const auto airports = read(bytes);
        ASSERT_EQ(airports.size(), 1u);
        const auto& ap = airports[0].airport;
        EXPECT_EQ(ap.code, "EHAM");
        EXPECT_EQ(ap.airportName, "Schiphol");
        EXPECT_EQ(ap.altitude, -11);
        EXPECT_EQ(ap.bglPath, "x.bgl");
        EXPECT_EQ(airports[0].helipadCount, 1);
        ASSERT_EQ(names(airports[0]), (std::vector<std::string>{"helipad1", "g12", "B4", "7"}));
        const auto& heli = ap.stands[0];
        EXPECT_TRUE(heli.heli);
        EXPECT_NEAR(heli.radius, tzo::gf_metresToNm(10.0), 1e-9);
        EXPECT_DOUBLE_EQ(heli.heading, 6.283185307179586);
        const auto& g12 = ap.stands[1];
        EXPECT_NEAR(g12.latitude, 52.30, 1e-6);
        EXPECT_NEAR(g12.longitude, 4.76, 1e-6);
        EXPECT_NEAR(g12.heading, M_PI / 2, 1e-9);
        EXPECT_NEAR(g12.radius, tzo::gf_metresToNm(20.0), 1e-9);
        EXPECT_TRUE(g12.ramp);
        EXPECT_FALSE(g12.cargo);
        const auto& b4 = ap.stands[2];
        EXPECT_TRUE(b4.cargo);
        EXPECT_NEAR(b4.latitude, -33.9, 1e-6);
        EXPECT_DOUBLE_EQ(b4.heading, 6.283185307179586);
        EXPECT_FALSE(ap.stands[3].ramp); // type 8 is a gate
    }
}

TEST_F(BglReaderTest, headerAndSectionVariantsThatAreNotRead)
{
    Image h52;
    h52.headerSize = 52;
    h52.airports = {bgltest::Airport{}};
    h52.airports[0].parking = {Parking{}};
    const auto b52 = h52.build();
    EXPECT_TRUE(tzo::lf_bglHasAirportSection(b52));
    EXPECT_TRUE(read(b52).empty());

    Image wide = h52;
    wide.headerSize = 56;
    wide.sectionFlags = 0x10000;
    EXPECT_TRUE(read(wide.build()).empty());

    Image other = wide;
    other.sectionFlags = 0;
    other.sectionType = 5;
    EXPECT_FALSE(tzo::lf_bglHasAirportSection(other.build()));
}

TEST_F(BglReaderTest, onlyFourCharacterIdentifiersWithoutBlankAreTaken)
{
    const struct {
        const char* ident;
        bool taken;
    } cases[] = {{"EHAM", true}, {"K2O5", true}, {"EHA", false}, {"EHAMX", false}, {"EH A", false}, {"EHA ", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ident);
        Image image;
        image.airports = {bgltest::Airport{}};
        image.airports[0].ident = c.ident;
        image.airports[0].parking = {Parking{}};
        const auto airports = read(image.build());
        EXPECT_EQ(airports.size(), c.taken ? 1u : 0u);
        if (c.taken && !airports.empty()) {
            EXPECT_EQ(airports[0].airport.code, c.ident);
        }
    }
    bool usable = true;
    EXPECT_EQ(tzo::lf_decodeIdentifierOrRegionCode(37u << 5, usable), "");
    EXPECT_FALSE(usable);
}

TEST_F(BglReaderTest, repeatedAndLongNames)
{
    const struct {
        std::vector<std::string> names;
        std::string expected;
    } cases[] = {{{"Alpha", "Beta"}, ""}, {{"Alpha", "Beta", "Gamma"}, "Gamma"}, {{"Alpha", "Alpha"}, "Alpha"},
                 {{std::string(60, 'N')}, std::string(45, 'N')}, {{"Z\xfcrich\x01"}, "Z\xc3\xbcrich"}};
    for (const auto& c : cases) {
        Image image;
        image.airports = {bgltest::Airport{}};
        image.airports[0].names = c.names;
        image.airports[0].parking = {Parking{}};
        const auto airports = read(image.build());
        ASSERT_EQ(airports.size(), 1u);
        EXPECT_EQ(airports[0].airport.airportName, c.expected);
    }
}

TEST_F(BglReaderTest, parkingSpotsOutsideTheRulesAreSkipped)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        Parking p;
        bool taken;
        const char* message;
    } cases[] = {
        {Parking{10, 1, 1, 1.0f}, false, "skipped position with radius 1.0 meters, in x.bgl"},
        {Parking{10, 1, 1, 1.5f}, true, nullptr},
        {Parking{10, 1, 1, 199.9f}, true, nullptr},
        {Parking{10, 1, 1, 200.0f}, false, "skipped position with radius 200.0 meters"},
        {Parking{10, 1, 1, nan}, false, "skipped position with radius"},
        {Parking{10, 1, 0}, false, nullptr},
        {Parking{10, 1, 12}, false, nullptr},
        {Parking{10, 1, 1, 20.0f, 90.0f, 0.0005, 0.01}, false, "lat/lon: 0.000500,0.010000, incorrect (skipped) "},
        {Parking{10, 1, 1, 20.0f, 90.0f, -0.0005, 0.01}, true, nullptr},
        {Parking{10, 1, 1, 20.0f, nan}, true, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.p.radius);
        gf_takeAirportScanLog();
        Image image;
        image.airports = {bgltest::Airport{}};
        image.airports[0].parking = {c.p};
        const auto airports = read(image.build());
        ASSERT_EQ(airports.size(), 1u);
        EXPECT_EQ(airports[0].airport.stands.size(), c.taken ? 1u : 0u);
        const auto log = gf_takeAirportScanLog();
        if (c.message) {
            EXPECT_TRUE(logHas(log, c.message)) << (log.empty() ? "" : log[0]);
        } else {
            EXPECT_TRUE(log.empty());
        }
        for (const auto& s : airports[0].airport.stands)
            EXPECT_TRUE(std::isfinite(s.heading));
    }
}

TEST_F(BglReaderTest, eightEqualNamesGetLettersByShrinkingRadius)
{
    Image image;
    image.airports = {bgltest::Airport{}};
    for (int i = 1; i <= 8; ++i)
        image.airports[0].parking.push_back(Parking{10, 1, 1, 10.0f * i, 90.0f, 52.3 + i * 0.001, 4.76});
    const auto airports = read(image.build());
    ASSERT_EQ(airports.size(), 1u);
    const auto& stands = airports[0].airport.stands;
    ASSERT_EQ(stands.size(), 7u);
    const char* expected[] = {"g1f", "g1e", "g1d", "g1c", "g1b", "g1a", "g1"}; // radius 10 .. 70
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(stands[i].name, expected[i]);
        EXPECT_FALSE(stands[i].nameMark);
    }
    EXPECT_TRUE(logHas(gf_takeAirportScanLog(), "===> ===> Warning more then 6 the same ids g1, in x.bgl"));
}

TEST_F(BglReaderTest, doubleHelipadsAndHelipadsAfterTheParkingList)
{
    Image image;
    image.airports = {bgltest::Airport{}};
    image.airports[0].helipads = {Helipad{52.31, 4.77}, Helipad{52.31, 4.77}, Helipad{52.32, 4.78}};
    image.airports[0].parking = {Parking{}};
    image.airports[0].helipadsAfter = {Helipad{52.33, 4.79}};
    const auto airports = read(image.build());
    ASSERT_EQ(airports.size(), 1u);
    EXPECT_EQ(names(airports[0]), (std::vector<std::string>{"helipad1", "helipad2", "g1"}));
    EXPECT_EQ(airports[0].helipadCount, 2);
    EXPECT_TRUE(logHas(gf_takeAirportScanLog(), "double helipad Schiphol (skipped) 52.310000,4.770000"));
}

TEST_F(BglReaderTest, altitudesOutsideTheBandBecomeZero)
{
    EXPECT_EQ(tzo::lf_bglAltitudeFeet(-3350), -11);
    EXPECT_EQ(tzo::lf_bglAltitudeFeet(4000000), 0);
    EXPECT_EQ(tzo::lf_bglAltitudeFeet(-7000), 0);
    EXPECT_EQ(tzo::lf_bglAltitudeFeet(3048000), 10000);
}

// Damage: nothing may be read past the end (the asan preset proves it), and
// airports handed over before the damage stay handed over.

Image twoAirports()
{
    Image image;
    bgltest::Airport a;
    a.helipads = {Helipad{}};
    a.parking = {Parking{10, 1}, Parking{10, 2}};
    bgltest::Airport b = a;
    b.ident = "EDDF";
    b.p3dV5 = true;
    image.airports = {a, b};
    return image;
}

// A file cut anywhere past its first 15 words says so in one scan-log line,
// unless only the data of the sections after the airports is missing: with
// both airports in one subsection, each in a subsection of its own, or each
// in a section of its own.
TEST_F(BglReaderTest, everyTruncationEndsCleanlyKeepingEarlierAirports)
{
    struct Layout {
        const char* name;
        bool subsectionPerAirport;
        bool sectionPerAirport;
    };
    for (const Layout layout : {Layout{"one subsection", false, false}, Layout{"two subsections", true, false},
                                Layout{"two sections", false, true}}) {
        SCOPED_TRACE(layout.name);
        Image image = twoAirports();
        image.subsectionPerAirport = layout.subsectionPerAirport;
        image.sectionPerAirport = layout.sectionPerAirport;
        const auto bytes = image.build();
        const std::size_t secondStart = image.airportOffsets[1];
        for (std::size_t n = 0; n < bytes.size(); ++n) {
            const std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
            tzo::lf_bglHasAirportSection(cut);
            const auto airports = read(cut);
            const auto log = gf_takeAirportScanLog();
            EXPECT_EQ(log.size(), n >= 60 && n < image.airportDataEnd ? 1u : 0u) << n;
            if (n > secondStart) {
                EXPECT_EQ(airports.size(), 1u + (n >= image.airportDataEnd)) << n;
            }
        }
        const auto airports = read(bytes);
        ASSERT_EQ(airports.size(), 2u);
        EXPECT_EQ(airports[1].airport.code, "EDDF");
        EXPECT_TRUE(gf_takeAirportScanLog().empty());
    }
}

// A compiled file goes on after the last airport record with the data of
// other sections, which is no record: no fault, no scan-log line.
TEST_F(BglReaderTest, otherSectionsDataAfterTheAirportsIsNoFault)
{
    const std::vector<std::vector<std::uint8_t>> tails = {
        {0xAB, 0xCD, 0xEF},                               // shorter than a record header
        {0x99, 0x00, 0x00, 0x10, 0x00, 0x00, 0, 0},       // a size past the end
        {0x99, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0},       // a negative size
        {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},             // zero padding
    };
    for (const auto& tail : tails) {
        SCOPED_TRACE(tail.size());
        for (const bool perAirport : {false, true}) {
            Image image = twoAirports();
            image.otherSectionData = tail;
            image.sectionPerAirport = perAirport;
            const auto airports = read(image.build());
            ASSERT_EQ(airports.size(), 2u);
            EXPECT_EQ(airports[1].airport.code, "EDDF");
            EXPECT_EQ(gf_takeAirportScanLog(), std::vector<std::string>{});
        }
    }
}

// Every section's walk runs on to the end of the file, over the records of
// the sections after it: each airport is still read once.
TEST_F(BglReaderTest, eachAirportOnceWhateverTheSections)
{
    struct Case {
        std::uint32_t sections;
        bool perAirport;
    };
    for (const Case c : {Case{2, true}, Case{2, false}, Case{5, false}}) {
        SCOPED_TRACE(testing::Message() << c.sections << c.perAirport);
        Image image = twoAirports();
        image.sectionCount = c.sections;
        image.sectionPerAirport = c.perAirport;
        const auto airports = read(image.build());
        ASSERT_EQ(airports.size(), 2u);
        EXPECT_EQ(airports[0].airport.code, "EHAM");
        EXPECT_EQ(airports[1].airport.code, "EDDF");
        EXPECT_TRUE(gf_takeAirportScanLog().empty());
    }
}

TEST_F(BglReaderTest, damagedSizesAndCountsNeverReadPastTheEnd)
{
    const std::uint32_t sizes[] = {0, 1, 3, 5, 7, 0xFFFFFFFF, 0x80000000, 0x7FFFFFFF, 0xFFFFFFFC};
    for (const std::uint32_t size : sizes) {
        SCOPED_TRACE(size);
        for (int field = 0; field < 4; ++field) {
            Image image = twoAirports();
            auto bytes = image.build();
            const std::size_t at[] = {image.airportOffsets[1], image.parkingListOffsets[1], image.nameOffsets[1],
                                      image.airportOffsets[1] + 60};
            Image::put32(bytes, at[field] + 2, size);
            const auto airports = readDamaged(bytes);
            EXPECT_GE(airports.size(), 1u);
        }
    }
}

TEST_F(BglReaderTest, parkingCountBeyondTheListReadsOnlyItsItems)
{
    for (const bool v5 : {false, true}) {
        Image image;
        image.airports = {bgltest::Airport{}};
        image.airports[0].p3dV5 = v5;
        image.airports[0].parking = {Parking{10, 1}, Parking{10, 2}};
        image.airports[0].helipadsAfter = {Helipad{}, Helipad{}};
        auto bytes = image.build();
        Image::put16(bytes, image.parkingListOffsets[0] + 6, 65535);
        const auto airports = read(bytes);
        ASSERT_EQ(airports.size(), 1u);
        EXPECT_EQ(names(airports[0]), (std::vector<std::string>{"g1", "g2"}));
    }
}

TEST_F(BglReaderTest, sectionCountNearTheWrapIsRefused)
{
    Image image = twoAirports();
    auto bytes = image.build();
    for (const std::uint32_t n : {0xCCCCCCCDu, 0xFFFFFFFFu, 214748365u}) {
        Image::put32(bytes, 20, n); // 20 x n wraps to a small number in 32 bits
        EXPECT_FALSE(tzo::lf_bglHasAirportSection(bytes));
        readDamaged(bytes);
    }
}

TEST_F(BglReaderTest, helipadWithNanWidthIsSkipped)
{
    Image image;
    image.airports = {bgltest::Airport{}};
    image.airports[0].helipads = {Helipad{52.3, 4.7, std::numeric_limits<float>::quiet_NaN()}};
    image.airports[0].parking = {Parking{}};
    const auto airports = read(image.build());
    ASSERT_EQ(airports.size(), 1u);
    EXPECT_EQ(names(airports[0]), (std::vector<std::string>{"g1"}));
}

// One buffer read file after file: larger, smaller, empty and missing files
// each give exactly their own bytes.
TEST(BglFileBytes, givesEachFileItsOwnBytes)
{
    testsupport::TempDir dir;
    tzo::BglFileBytes file;
    for (const std::size_t size : {std::size_t{100}, std::size_t{5000}, std::size_t{7}, std::size_t{0}}) {
        SCOPED_TRACE(size);
        std::string bytes(size, '\0');
        for (std::size_t i = 0; i < size; ++i)
            bytes[i] = static_cast<char>('a' + (i + size) % 26);
        const auto path = dir / ("f" + std::to_string(size));
        testsupport::writeFile(path, bytes);
        ASSERT_TRUE(file.read(path));
        EXPECT_EQ(std::string(file.bytes().begin(), file.bytes().end()), bytes);
    }
    EXPECT_FALSE(file.read(dir / "missing"));
    EXPECT_TRUE(file.bytes().empty());
}

TEST(BglReader, refusesEveryReadPastTheEnd)
{
    const std::uint8_t data[] = {1, 0, 0, 0, 2, 0};
    tzo::BglReader in(data);
    EXPECT_EQ(in.readU32(), 1u);
    EXPECT_THROW(in.readU32(), tzo::BglRangeError) << "two bytes remain";
    EXPECT_EQ(in.readU16(), 2u);
    EXPECT_THROW(in.readU16(), tzo::BglRangeError);
    EXPECT_THROW(in.seek(7), tzo::BglRangeError);
    in.seek(6);
    EXPECT_THROW(in.readF32(), tzo::BglRangeError);
    in.seek(0);
    EXPECT_THROW(in.readFixedString(7), tzo::BglRangeError);
    EXPECT_THROW(in.u32At(~0ull), tzo::BglRangeError);
}

} // namespace
