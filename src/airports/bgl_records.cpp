#include "airports/bgl_records.hpp"

#include "airports/airport_services.hpp"
#include "airports/bgl_reader.hpp"
#include "foundation/log.hpp"
#include "foundation/number_text.hpp"
#include "platform/outside_file.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <memory>
#include <iterator>
#include <limits>
#include <unordered_set>
#include <utility>

namespace tzo {

namespace {

constexpr double kLatitudeFactor = 3.3527612686157227e-7;  // 180 / 2^29
constexpr double kLongitudeFactor = 4.470348358154297e-7;  // 360 / (3 x 2^28)
constexpr double kFullCircle = 6.283185307179586;

// Windows-1252 0x80..0x9F; 0 where the code page leaves a hole.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// A stand name as one number: a name code's text (3 characters at most), a
// number below 4096 and a letter never take more than 8 bytes.
std::uint64_t nameKey(std::string_view name)
{
    std::uint64_t key = 0;
    std::memcpy(&key, name.data(), std::min<std::size_t>(name.size(), sizeof key));
    return key;
}

// The working state of one airport while its sub-records are read.
struct AirportWork {
    std::unordered_set<std::uint64_t> standNames; // by nameKey
    std::vector<std::pair<double, double>> helipadPositions;
    std::int32_t helipadCounter = 1;
    bool repeatedName = false;
};

// A (sub-)record header: id and size, refused when its size would not move a
// walk forward or would leave the parent that ends at `end`.
struct RecordHeader {
    std::uint16_t id = 0;
    std::int32_t size = 0;
};

RecordHeader readRecordHeader(BglReader& in, std::uint64_t offset)
{
    in.seek(offset);
    RecordHeader h;
    h.id = in.readU16();
    h.size = in.readI32();
    return h;
}

// Walks advance by whole words, as the records are laid out on word bounds.
std::uint64_t wordStep(std::int32_t size)
{
    return size >= 4 ? static_cast<std::uint64_t>(size / 4) * 4 : 0;
}

void readHelipad(BglReader& in, std::uint64_t r, BglAirport& out, AirportWork& work)
{
    const double longitude = lf_bglLongitude(in.u32At(r + 12));
    const double latitude = lf_bglLatitude(in.u32At(r + 16));
    const float width = in.f32At(r + 28);
    const float heading = in.f32At(r + 32);
    if (!lf_bglPositionUsable(latitude, longitude)) {
        gf_addAirportScanLogLine("lat/lon helipad incorrect (skipped): " + gf_formatLatLon(latitude, longitude));
        return;
    }
    if (!std::isfinite(width) || width <= 0.0f || !std::isfinite(heading)) {
        gf_addAirportScanLogLine(fmt::format("helipad with unusable size or heading (skipped): {}",
                                             gf_formatLatLon(latitude, longitude)));
        return;
    }
    for (const auto& p : work.helipadPositions)
        if (p.first == latitude && p.second == longitude) {
            gf_addAirportScanLogLine("double helipad " + out.airport.airportName + " (skipped) " +
                                     gf_formatLatLon(latitude, longitude));
            return;
        }
    work.helipadPositions.emplace_back(latitude, longitude);
    out.airport.stands.emplace_back(fmt::format("helipad{}", work.helipadCounter), std::vector<ParkPosOption>{},
                                    latitude, longitude, lf_bglHeading(heading), width / 2.0, false, false, true);
    ++work.helipadCounter;
}

void readParkingList(BglReader& in, std::uint64_t r, std::uint64_t listEnd, bool isAb, BglAirport& out,
                     AirportWork& work, const std::string& pathText)
{
    const std::uint32_t count = in.u16At(r + 6);
    const std::uint64_t itemSize = isAb ? bgl::kParkingItemSizeP3dV5 : bgl::kParkingItemSize;
    std::uint64_t item = r + 8;
    // Room for as many stands as the list can hold, so that adding them
    // never moves the ones before.
    if (listEnd > item) {
        const std::uint64_t room = std::min<std::uint64_t>(count, (listEnd - item) / itemSize);
        out.airport.stands.reserve(out.airport.stands.size() + room);
        work.standNames.reserve(static_cast<std::size_t>(room));
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        // Items never run past their list: a count larger than the list holds
        // would read the records behind it as stands.
        if (item + itemSize > listEnd)
            break;
        const std::uint32_t bits = in.u32At(item);
        const std::uint64_t next = item + itemSize + 4ull * (bits >> 24);
        const float radius = in.f32At(item + 4);
        const std::uint64_t here = item;
        item = next;
        if (!(radius > 1.0f && radius < 200.0f)) { // NaN fails this too
            gf_addAirportScanLogLine(fmt::format("skipped position with radius {:.1F} meters, in {}", radius, pathText));
            continue;
        }
        std::string base = lf_parkingNameText(bits & 0x3F);
        char digits[8];
        const auto written = std::to_chars(std::begin(digits), std::end(digits), (bits >> 12) & 0xFFF);
        base.append(digits, written.ptr);
        const std::uint32_t type = (bits >> 8) & 0xF;
        if (type == 0 || type > 11)
            continue;
        const double longitude = lf_bglLongitude(in.u32At(here + 28));
        const double latitude = lf_bglLatitude(in.u32At(here + 32));
        if (!lf_bglPositionUsable(latitude, longitude)) {
            gf_addAirportScanLogLine(
                fmt::format("lat/lon: {}, incorrect (skipped) ", gf_formatLatLon(latitude, longitude)));
            continue;
        }
        std::string name;
        bool mark = false;
        if (work.standNames.insert(nameKey(base)).second) {
            name = std::move(base);
        } else {
            work.repeatedName = true;
            for (const char letter : std::string_view("abcdef"))
                if (work.standNames.insert(nameKey(base + letter)).second) {
                    name = base + letter;
                    mark = true;
                    break;
                }
            if (name.empty()) {
                gf_addAirportScanLogLine(fmt::format("{}{}Warning more then 6 the same ids {}, in {}", g_logMarker,
                                                     g_logMarker, base, pathText));
                continue;
            }
        }
        float heading = in.f32At(here + 8);
        if (!std::isfinite(heading))
            heading = 0.0f;
        ParkPos& stand = out.airport.stands.emplace_back(std::move(name), std::vector<ParkPosOption>{}, latitude, longitude,
                                                         lf_bglHeading(heading), radius, type == 5, type <= 7, false);
        stand.nameMark = mark;
    }
}

void processAirport(BglReader& in, std::uint64_t r, std::uint64_t recordEnd, bool isAb, const std::string& code,
                    const std::string& pathText, const std::function<std::string(const std::string&)>& publisherOf,
                    const BglAirportSink& sink)
{
    const std::int32_t altitudeMm = in.i32At(r + bgl::kAirportAltitude);
    BglAirport out;
    out.airport.code = code;
    out.airport.bglPath = pathText;
    out.airport.publisher = publisherOf ? publisherOf(pathText) : std::string("unknown");
    out.airport.qfReal = 0;
    out.airport.qfSoft = 0;
    if (sink.begin)
        sink.begin(out);
    out.airport.altitude = lf_bglAltitudeFeet(altitudeMm);

    AirportWork work;
    const std::uint16_t parkingId = isAb ? bgl::kTaxiParkingP3dV5 : bgl::kTaxiParking;
    std::uint64_t sub = r + (isAb ? bgl::kAirportFirstSubP3dV5 : bgl::kAirportFirstSub);
    while (sub < recordEnd) {
        const RecordHeader h = readRecordHeader(in, sub);
        const std::uint64_t step = wordStep(h.size);
        if (step == 0 || h.size < 0 || sub + static_cast<std::uint64_t>(h.size) > recordEnd)
            break;
        if (h.id == bgl::kName) {
            // Only the low 16 bits of the size count here.
            const std::int64_t n = std::min<std::int64_t>(static_cast<std::int64_t>(in.u16At(sub + 2)) - 6,
                                                          static_cast<std::int64_t>(bgl::kMaxNameBytes));
            in.seek(sub + 6);
            const std::string name = lf_airportNameText(in.readFixedString(static_cast<std::uint64_t>(std::max<std::int64_t>(n, 2))));
            if (out.airport.airportName.empty())
                out.airport.airportName = name;
            else if (out.airport.airportName != name)
                out.airport.airportName.clear();
        } else if (h.id == bgl::kHelipad) {
            readHelipad(in, sub, out, work);
        } else if (h.id == parkingId) {
            readParkingList(in, sub, sub + static_cast<std::uint64_t>(h.size), isAb, out, work, pathText);
            if (work.repeatedName)
                lf_renameRepeatedStands(out.airport);
            break; // what follows the first parking list is not read
        }
        sub += step;
    }
    out.helipadCount = work.helipadCounter - 1;
    if (sink.end)
        sink.end(out);
}

} // namespace

bool lf_bglPositionUsable(double latitude, double longitude)
{
    if (!(latitude >= -90.0 && latitude <= 90.0 && longitude >= -180.0 && longitude <= 180.0))
        return false;
    return !(latitude >= 0.0 && latitude <= 0.0009 && longitude >= 0.0 && longitude <= 0.05);
}

double lf_bglLatitude(std::uint32_t packed)
{
    return 90.0 - packed * kLatitudeFactor;
}

double lf_bglLongitude(std::uint32_t packed)
{
    return packed * kLongitudeFactor - 180.0;
}

double lf_bglHeading(float degrees)
{
    return degrees == 0.0f ? kFullCircle : degrees * 0.017453292519943295;
}

std::int32_t lf_bglAltitudeFeet(std::int32_t millimetres)
{
    const long feet = std::lround(millimetres * 3.2808399 / 1000.0);
    return (feet < -20 || feet > 10000) ? 0 : static_cast<std::int32_t>(feet);
}

std::string lf_decodeIdentifierOrRegionCode(std::uint32_t packed, bool& usable)
{
    usable = false;
    std::uint32_t v = packed >> 5;
    if (v < 38)
        return {};
    std::string reversed;
    bool blank = false;
    while (v > 0) {
        const std::uint32_t d = v % 38;
        v /= 38;
        if (d == 0) {
            reversed += ' ';
            blank = true;
        } else if (d >= 2 && d <= 11) {
            reversed += static_cast<char>(d + 46);
        } else {
            reversed += static_cast<char>(d + 53);
        }
    }
    std::string text(reversed.rbegin(), reversed.rend());
    usable = text.size() == 4 && !blank;
    return text;
}

std::string lf_parkingNameText(std::uint32_t code)
{
    static constexpr const char* kNames[] = {"", "r", "p", "np", "ep", "sep", "sp", "swp", "wp", "nwp", "g", ""};
    if (code < 12)
        return kNames[code];
    if (code < 64)
        return std::string(1, static_cast<char>(code + 53));
    return {};
}

std::string lf_airportNameText(std::string_view bytes)
{
    while (!bytes.empty() && bytes.back() == '\0')
        bytes.remove_suffix(1);
    std::string out;
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x20 || b == 0x7F)
            continue;
        if (b < 0x80)
            out += ch;
        else if (b < 0xA0) {
            if (kCp1252High[b - 0x80] != 0)
                appendUtf8(out, kCp1252High[b - 0x80]);
        } else
            appendUtf8(out, b);
    }
    return out;
}

namespace {
// The header and section table are in `head`, the file has `fileSize` bytes.
bool sectionTableHasAirport(std::span<const std::uint8_t> head, std::uint64_t fileSize)
{
    BglReader in(head);
    if (!in.fits(0, bgl::kHeaderSize))
        return false;
    const std::uint64_t n = in.u32At(20);
    // 64-bit: 20 x n never wraps.
    if (n == 0 || fileSize <= bgl::kHeaderSize + bgl::kSectionEntrySize * n)
        return false;
    for (std::uint64_t i = 0; i < n; ++i)
        if (in.u32At(bgl::kHeaderSize + bgl::kSectionEntrySize * i) == bgl::kSectionAirport)
            return true;
    return false;
}
} // namespace

bool lf_bglHasAirportSection(std::span<const std::uint8_t> bytes)
{
    return sectionTableHasAirport(bytes, bytes.size());
}

namespace {

// Far above any real scenery file (a few hundred megabytes at most).
constexpr std::uint64_t kMaxBglFileBytes = 2ULL * 1024 * 1024 * 1024;

struct StreamCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

// A scenery folder may hold anything under a BGL's name: a FIFO or a device
// is refused without waiting, like a file larger than any real one.
Stream lf_openBgl(const std::filesystem::path& path, std::uint64_t& size)
{
    platform::OutsideFileStatus status;
    Stream file(platform::openOutsideFileStream(path, kMaxBglFileBytes, status));
    size = status.size;
    return file;
}

} // namespace

bool lf_readWholeFile(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes)
{
    std::uint64_t size = 0;
    const Stream in = lf_openBgl(path, size);
    if (!in)
        return false;
    bytes.resize(static_cast<std::size_t>(size));
    return size == 0 || std::fread(bytes.data(), 1, bytes.size(), in.get()) == bytes.size();
}

bool BglFileBytes::read(const std::filesystem::path& path)
{
    m_size = 0;
    std::uint64_t size = 0;
    const Stream in = lf_openBgl(path, size);
    if (!in || size > std::numeric_limits<std::size_t>::max())
        return false;
    const auto n = static_cast<std::size_t>(size);
    if (n > m_capacity) {
        // Not value-initialised: every byte used is overwritten by the read.
        m_data.reset();
        m_data.reset(new std::uint8_t[n]);
        m_capacity = n;
    }
    if (n > 0 && std::fread(m_data.get(), 1, n, in.get()) != n)
        return false;
    m_size = n;
    return true;
}

void BglFileBytes::release()
{
    m_data.reset();
    m_capacity = 0;
    m_size = 0;
}

bool lf_bglHasAirportSection(const std::filesystem::path& path)
{
    // The header and section table only; a table longer than the first
    // 4096 bytes is rare and read whole.
    std::uint64_t fileSize = 0;
    const Stream in = lf_openBgl(path, fileSize);
    if (!in)
        return false;
    std::vector<std::uint8_t> head(4096);
    head.resize(std::fread(head.data(), 1, head.size(), in.get()));
    if (head.size() < bgl::kHeaderSize)
        return false;
    const std::uint64_t n = BglReader(head).u32At(20);
    if (bgl::kHeaderSize + bgl::kSectionEntrySize * n <= head.size() || fileSize <= head.size())
        return sectionTableHasAirport(head, fileSize);
    std::vector<std::uint8_t> all;
    return lf_readWholeFile(path, all) && lf_bglHasAirportSection(all);
}

namespace {

// Where the reading of a file meets damage: it ends there with one scan-log
// line per file.
class WalkEnd {
public:
    explicit WalkEnd(const std::string& pathText) : m_pathText(pathText) {}
    void at(std::uint64_t offset, std::string_view why)
    {
        if (std::exchange(m_said, true))
            return;
        gf_addAirportScanLogLine(
            fmt::format("{}: {} at offset {}, the rest of the file is not read", m_pathText, why, offset));
    }

private:
    const std::string& m_pathText;
    bool m_said = false;
};

// Whether the offset lies among the records that a subsection of an airport
// section (any of them, not only the first of each section) gives its
// records. A walk runs on over later subsections and sections; where it
// stops inside one of them, the file is damaged or cut, and elsewhere it met
// the data of other sections, which is no record. Asked once, where a walk
// stopped: the tables are read again rather than kept.
bool lf_inAirportRecords(BglReader& in, std::uint64_t offset)
{
    const std::uint64_t sections = in.u32At(20);
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint64_t entry = bgl::kHeaderSize + bgl::kSectionEntrySize * i;
        if (!in.fits(entry, bgl::kSectionEntrySize))
            return false;
        if (in.u32At(entry) != bgl::kSectionAirport ||
            (in.u32At(entry + bgl::kSectionFlags) & bgl::kSubsectionEntry20Flag) != 0)
            continue;
        const std::uint64_t table = in.u32At(entry + bgl::kSectionSubsectionTable) & ~3u;
        const std::uint64_t count = in.u32At(entry + bgl::kSectionSubsections);
        for (std::uint64_t k = 0; k < count; ++k) {
            const std::uint64_t subsection = table + bgl::kSubsectionEntrySize * k;
            if (!in.fits(subsection, bgl::kSubsectionEntrySize))
                break;
            const std::uint64_t first = in.u32At(subsection + bgl::kSubsectionRecords) & ~3u;
            if (offset >= first && offset < first + in.u32At(subsection + bgl::kSubsectionDataSize))
                return true;
        }
    }
    return false;
}

} // namespace

void lf_readBglAirports(std::span<const std::uint8_t> bytes, const std::string& pathText,
                        const std::function<std::string(const std::string&)>& publisherOf,
                        const BglAirportSink& sink)
{
    BglReader in(bytes);
    if (in.size() < 15 * 4 || in.u32At(4) != bgl::kHeaderSize)
        return;
    WalkEnd end(pathText);
    // Each section's walk runs on to the end of the file, over the records of
    // the sections after it. A walk that reaches a record an earlier one read
    // goes on as that one did: it stops there, so every record is read once
    // and every airport handed over once, however many sections there are.
    std::vector<bool> walked(static_cast<std::size_t>(in.size() / 4) + 1, false);
    std::uint64_t record = 0;
    try {
        const std::uint64_t sections = in.u32At(20);
        for (std::uint64_t i = 0; i < sections; ++i) {
            const std::uint64_t entry = bgl::kHeaderSize + bgl::kSectionEntrySize * i;
            if (!in.fits(entry, bgl::kSectionEntrySize)) {
                end.at(entry, "section table cut short");
                return;
            }
            const std::uint32_t type = in.u32At(entry);
            const std::uint32_t flags = in.u32At(entry + bgl::kSectionFlags);
            if (type != bgl::kSectionAirport || (flags & bgl::kSubsectionEntry20Flag) != 0)
                continue;
            const std::uint64_t table = in.u32At(entry + bgl::kSectionSubsectionTable) & ~3u;
            if (!in.fits(table + bgl::kSubsectionRecords, 8)) {
                end.at(table, "no subsection table");
                continue;
            }
            record = in.u32At(table + bgl::kSubsectionRecords) & ~3u;
            bool noRecord = false;
            while (record < in.size() && !walked[static_cast<std::size_t>(record / 4)]) {
                walked[static_cast<std::size_t>(record / 4)] = true;
                if (!in.fits(record, bgl::kRecordHeaderSize)) {
                    noRecord = true;
                    break;
                }
                const RecordHeader h = readRecordHeader(in, record);
                const std::uint64_t step = wordStep(h.size);
                if (step == 0 || record + static_cast<std::uint64_t>(h.size) > in.size()) {
                    noRecord = true;
                    break;
                }
                if (h.id == bgl::kAirport || h.id == bgl::kAirportP3dV5) {
                    bool usable = false;
                    const std::string code =
                        lf_decodeIdentifierOrRegionCode(in.u32At(record + bgl::kAirportIdent), usable);
                    if (usable)
                        processAirport(in, record, record + static_cast<std::uint64_t>(h.size),
                                       h.id == bgl::kAirportP3dV5, code, pathText, publisherOf, sink);
                }
                record += step;
            }
            // Among the airport records the walk stops only where the file is
            // damaged or cut.
            if ((noRecord || record >= in.size()) && lf_inAirportRecords(in, record))
                end.at(record, "no record");
        }
    } catch (const BglRangeError& e) {
        // Damage inside a record that reaches the end of the file.
        if (lf_inAirportRecords(in, record))
            end.at(record, e.what());
    }
}

void lf_renameRepeatedStands(ApfAirport& airport)
{
    for (;;) {
        const auto first = std::find_if(airport.stands.begin(), airport.stands.end(),
                                        [](const ParkPos& s) { return s.nameMark; });
        if (first == airport.stands.end())
            return;
        const std::string base = first->name.substr(0, first->name.size() - 1);
        std::vector<std::pair<std::string, double>> group;
        for (ParkPos& s : airport.stands) {
            bool member = s.name == base;
            for (const char letter : std::string_view("abcdef"))
                member = member || s.name == base + letter;
            if (!member)
                continue;
            s.nameMark = false;
            s.name = fmt::format("vardo{}", group.size() + 1);
            group.emplace_back(s.name, s.radius * 1852.0);
        }
        std::vector<std::size_t> order(group.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return group[a].second > group[b].second; });
        for (ParkPos& s : airport.stands)
            for (std::size_t k = 0; k < order.size(); ++k)
                if (s.name == group[order[k]].first) {
                    s.name = k == 0 ? base : base + static_cast<char>('a' + k - 1);
                    break;
                }
    }
}

} // namespace tzo
