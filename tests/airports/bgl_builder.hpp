#pragma once
// Writes BGL images byte by byte from the documented layout, as compiled files
// are: the section table, the subsection tables, then the sections' data, the
// airport records first and after them the data of a section of another kind,
// which is no record. Each airport has name, helipad and parking sub-records.
// Offsets of the interesting fields are kept so that tests can damage them
// afterwards.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bgltest {

struct Parking {
    std::uint32_t nameCode = 10; // "g"
    std::uint32_t number = 1;
    std::uint32_t type = 1;
    float radius = 20.0f;
    float heading = 90.0f;
    double latitude = 52.3;
    double longitude = 4.76;
    std::uint32_t designators = 0;
};

struct Helipad {
    double latitude = 52.31;
    double longitude = 4.77;
    float width = 20.0f;
    float heading = 45.0f;
};

struct Airport {
    bool p3dV5 = false;          // the 0x00AB form with 40-byte parking items
    std::string ident = "EHAM";
    std::uint32_t packedIdent = 0; // used instead of ident when not 0
    std::int32_t altitudeMm = 0;
    std::vector<std::string> names{"Schiphol"};
    std::vector<Helipad> helipads;       // before the parking list
    std::vector<Parking> parking;
    bool withParkingList = true;
    std::vector<Helipad> helipadsAfter;  // after the parking list
};

inline std::uint32_t packIdent(const std::string& ident)
{
    std::uint32_t v = 0;
    for (const char c : ident) {
        std::uint32_t d = 0;
        if (c >= '0' && c <= '9')
            d = static_cast<std::uint32_t>(c - 46);
        else if (c >= 'A' && c <= 'Z')
            d = static_cast<std::uint32_t>(c - 53);
        v = v * 38 + d;
    }
    return v << 5;
}
inline std::uint32_t packLatitude(double lat) { return static_cast<std::uint32_t>(std::llround((90.0 - lat) / 3.3527612686157227e-7)); }
inline std::uint32_t packLongitude(double lon) { return static_cast<std::uint32_t>(std::llround((lon + 180.0) / 4.470348358154297e-7)); }

class Image {
public:
    std::uint32_t headerSize = 56;
    std::uint32_t sectionFlags = 0;
    std::uint32_t sectionType = 3;
    // Sections that all name the one subsection of every airport, one
    // section (with its own subsection) per airport, or sections that all
    // name one subsection table with a subsection per airport.
    std::uint32_t sectionCount = 1;
    bool sectionPerAirport = false;
    bool subsectionPerAirport = false;
    std::vector<Airport> airports;
    // The data of the section after the airports (a name list, say); its
    // first bytes read as a record would reach past the end of the file.
    std::vector<std::uint8_t> otherSectionData{0x02, 0x00, 0x00, 0x01, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00,
                                               0x41, 0x4D, 0x53, 0x00, 0x45, 0x48, 0x41, 0x4D, 0x00, 0x00};

    // Filled by build().
    std::vector<std::size_t> airportOffsets;
    std::vector<std::size_t> parkingListOffsets; // 0 for an airport without one
    std::vector<std::size_t> nameOffsets;        // of each airport's first name sub-record
    std::size_t airportDataEnd = 0;              // where the other section's data begins

    std::vector<std::uint8_t> build()
    {
        std::vector<std::uint8_t> b;
        airportOffsets.clear();
        parkingListOffsets.clear();
        nameOffsets.clear();
        const auto sections = sectionPerAirport ? static_cast<std::uint32_t>(airports.size()) : sectionCount;
        const bool perAirport = sectionPerAirport || subsectionPerAirport;
        // Subsection entries of the airports, each 16 bytes, one after the other.
        const std::uint32_t tables = perAirport ? static_cast<std::uint32_t>(airports.size()) : 1;
        const std::uint32_t subsections = subsectionPerAirport ? tables : 1;
        u32(b, 0x19920201);
        u32(b, headerSize);
        u32(b, 0); u32(b, 0); u32(b, 0);
        u32(b, sections + 1);
        while (b.size() < 56)
            u32(b, 0);
        const std::uint32_t firstTable = 56 + 20 * (sections + 1);
        const std::uint32_t otherTable = firstTable + 16 * tables;
        // Section entry: type, flags, subsection count, subsection table offset, size.
        for (std::uint32_t i = 0; i < sections; ++i) {
            u32(b, sectionType); u32(b, sectionFlags); u32(b, subsections);
            u32(b, firstTable + 16 * (sectionPerAirport ? i : 0)); u32(b, 16 * subsections);
        }
        u32(b, 0x27); u32(b, 0); u32(b, 1); u32(b, otherTable); u32(b, 16);
        // Subsection entry: id, records, record offset, size of the records
        // (both filled in below).
        for (std::uint32_t i = 0; i <= tables; ++i) {
            u32(b, 0); u32(b, i == tables || perAirport ? 1 : static_cast<std::uint32_t>(airports.size()));
            u32(b, 0); u32(b, 0);
        }
        const std::size_t records = b.size();
        for (const Airport& a : airports)
            airport(b, a);
        const std::size_t other = b.size();
        b.insert(b.end(), otherSectionData.begin(), otherSectionData.end());
        for (std::uint32_t i = 0; i < tables; ++i) {
            const bool own = perAirport && i < airportOffsets.size();
            const std::size_t from = own ? airportOffsets[i] : records;
            const std::size_t to = own && i + 1 < airportOffsets.size() ? airportOffsets[i + 1] : other;
            put32(b, firstTable + 16 * i + 8, static_cast<std::uint32_t>(from));
            put32(b, firstTable + 16 * i + 12, static_cast<std::uint32_t>(to - from));
        }
        put32(b, otherTable + 8, static_cast<std::uint32_t>(other));
        put32(b, otherTable + 12, static_cast<std::uint32_t>(b.size() - other));
        airportDataEnd = other;
        return b;
    }

    static void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    static void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint16_t v)
    {
        b[at] = static_cast<std::uint8_t>(v);
        b[at + 1] = static_cast<std::uint8_t>(v >> 8);
    }
    static void putF32(std::vector<std::uint8_t>& b, std::size_t at, float v)
    {
        std::uint32_t u;
        std::memcpy(&u, &v, 4);
        put32(b, at, u);
    }

    static void write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
    {
        std::filesystem::create_directories(path.parent_path());
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

private:
    static void u16(std::vector<std::uint8_t>& b, std::uint16_t v)
    {
        b.push_back(static_cast<std::uint8_t>(v));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
    }
    static void u32(std::vector<std::uint8_t>& b, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    static void f32(std::vector<std::uint8_t>& b, float v)
    {
        std::uint32_t u;
        std::memcpy(&u, &v, 4);
        u32(b, u);
    }
    static void header(std::vector<std::uint8_t>& b, std::uint16_t id, std::size_t start)
    {
        put16(b, start, id);
        put32(b, start + 2, static_cast<std::uint32_t>(b.size() - start));
    }
    static void helipad(std::vector<std::uint8_t>& b, const Helipad& h)
    {
        const std::size_t start = b.size();
        b.resize(b.size() + 12, 0);
        u32(b, packLongitude(h.longitude));
        u32(b, packLatitude(h.latitude));
        u32(b, 0); u32(b, 0);
        f32(b, h.width);
        f32(b, h.heading);
        header(b, 0x0026, start);
    }
    void airport(std::vector<std::uint8_t>& b, const Airport& a)
    {
        const std::size_t start = b.size();
        airportOffsets.push_back(start);
        b.resize(b.size() + (a.p3dV5 ? 60 : 56), 0);
        put32(b, start + 20, static_cast<std::uint32_t>(a.altitudeMm));
        put32(b, start + 40, a.packedIdent ? a.packedIdent : packIdent(a.ident));
        nameOffsets.push_back(a.names.empty() ? 0 : b.size());
        for (const std::string& name : a.names) {
            const std::size_t s = b.size();
            b.resize(b.size() + 6, 0);
            b.insert(b.end(), name.begin(), name.end());
            while (b.size() % 4 != 0)
                b.push_back(0);
            header(b, 0x0019, s);
        }
        for (const Helipad& h : a.helipads)
            helipad(b, h);
        if (a.withParkingList) {
            const std::size_t s = b.size();
            parkingListOffsets.push_back(s);
            b.resize(b.size() + 8, 0);
            put16(b, s + 6, static_cast<std::uint16_t>(a.parking.size()));
            for (const Parking& p : a.parking) {
                u32(b, (p.nameCode & 0x3F) | ((p.type & 0xF) << 8) | ((p.number & 0xFFF) << 12) | (p.designators << 24));
                f32(b, p.radius);
                f32(b, p.heading);
                b.resize(b.size() + 16, 0);
                u32(b, packLongitude(p.longitude));
                u32(b, packLatitude(p.latitude));
                if (a.p3dV5)
                    u32(b, 0);
                for (std::uint32_t d = 0; d < p.designators; ++d)
                    u32(b, 0x4D4C4B); // "KLM"
            }
            header(b, a.p3dV5 ? 0x00AD : 0x003D, s);
        } else {
            parkingListOffsets.push_back(0);
        }
        for (const Helipad& h : a.helipadsAfter)
            helipad(b, h);
        header(b, a.p3dV5 ? 0x00AB : 0x003C, start);
    }
};

} // namespace bgltest
