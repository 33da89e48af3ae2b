#include "airports/generated_airport.hpp"

#include "airports/airport_file_paths.hpp"
#include "airports/airport_services.hpp"
#include "airports/scenery_lists.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/log.hpp"
#include "foundation/paths.hpp"
#include "foundation/text_file.hpp"
#include "foundation/task_threads.hpp"
#include "foundation/workers.hpp"
#include "refdata/publishers.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>

std::atomic<std::int32_t> addonAirportsFound{0};

namespace fs = std::filesystem;
using tzo::ApfAirport;
using tzo::ArchiveLookup;

namespace {

// The simulator's own scenery folders, by name: a folder of one of these
// names anywhere in a path marks the path as stock scenery.
constexpr std::array<std::string_view, 45> kStockFolders = {
    "Cities", "CITIES", "cities", "World", "BASE", "0006", "0007", "0103", "0106", "0107", "0206", "0207",
    "0307",   "0407",   "0505",   "0506",  "0507", "0606", "0607", "0706", "0707", "0805", "0806", "0807",
    "0900",   "0906",   "0907",   "1000",  "1006", "1007", "1100", "1102", "1107", "AFRI", "ASIA", "AUST",
    "EURE",   "EURW",   "NAMC",   "NAME",  "NAMW", "OCEN", "SAME", "Global", "Bathymetry"};

ArchiveLookup findIn(const fs::path& folder, const ApfAirport& airport, bool logMissingFolder)
{
    if (!fs::exists(folder)) {
        if (logMissingFolder)
            gf_addAirportScanLogLine(fmt::format("\n{} folder does not exist\n", folder.string()));
        return {};
    }
    const fs::path file = folder / (airport.code + ".xml");
    if (fs::exists(file))
        return {file, true};
    gf_addAirportScanLogLine(fmt::format("{} does not exist", file.string()));
    return {};
}

// The link file goes through a temporary file: two tasks may write one code.
// One that cannot be written leaves the airport unlinked, so that it gets a
// generated file instead of nothing.
ArchiveLookup writeLink(const ArchiveLookup& found, const fs::path& folder, const ApfAirport& airport)
{
    const fs::path link = folder / (airport.code + ".txt");
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!gf_writeFileAtomically(link, found.path.string() + "\n", ec)) {
        gf_addAirportScanLogLine(fmt::format("{}could not write link file {}: {}", g_logMarker, link.string(),
                                             gf_saveFailureText(link, ec)));
        return {};
    }
    return found;
}

// Generated files of a running walk, written and waiting to be put in place.
struct PendingFiles {
    std::mutex mutex;
    std::condition_variable settled;
    std::int32_t walks = 0;
    std::int64_t waiting = 0;
};

PendingFiles& pendingFiles()
{
    static PendingFiles pending;
    return pending;
}

// Syncs a written temporary file to the disk and renames it into place,
// reporting and counting as a generated file does.
void putInPlace(const fs::path& temp, const fs::path& file) noexcept
{
    try {
        std::error_code error;
        if (gf_putTemporaryFileInPlace(temp, file, true, error)) {
            addonAirportsFound.fetch_add(1);
            return;
        }
        gf_addAirportScanLogLine(fmt::format("{}Generating {} did not succeed: {}", g_logMarker, file.string(),
                                             gf_saveFailureText(file, error)));
    } catch (...) {
    }
}

class PutInPlace final : public tzo::ThreadJob {
public:
    PutInPlace(fs::path temp, fs::path file) : m_temp(std::move(temp)), m_file(std::move(file)) {}
    void run() noexcept override
    {
        putInPlace(m_temp, m_file);
        // Notified under the lock: once it is released, the walk may return
        // and the program end, destroying what this thread would still touch.
        PendingFiles& pending = pendingFiles();
        const std::lock_guard lock(pending.mutex);
        --pending.waiting;
        pending.settled.notify_all();
    }

private:
    fs::path m_temp;
    fs::path m_file;
};

// The generated file through a temporary file and a rename, as every saved
// file. During a walk the sync and the rename are left to threads of their
// own: the disk takes several milliseconds per file, and a task waiting for
// it held a slot that the next file could have been read in.
void writeGeneratedFile(const ApfAirport& airport, const fs::path& file)
{
    PendingFiles& pending = pendingFiles();
    bool deferred = false;
    {
        const std::lock_guard lock(pending.mutex);
        deferred = pending.walks > 0;
    }
    if (!deferred) {
        std::error_code error;
        if (!gf_writeApf(airport, file, false, error))
            gf_addAirportScanLogLine(fmt::format("{}Generating {} did not succeed: {}", g_logMarker, file.string(),
                                                 gf_saveFailureText(file, error)));
        else
            addonAirportsFound.fetch_add(1);
        return;
    }
    const std::string text = gf_apfText(airport, false);
    if (text.empty()) {
        gf_addAirportScanLogLine(fmt::format("{}Generating {} did not succeed", g_logMarker, file.string()));
        return;
    }
    TemporaryFile created = gf_createTemporaryFileFor(file);
    const fs::path temp = created.path;
    const bool written =
        created.file && std::fwrite(text.data(), 1, text.size(), created.file.get()) == text.size();
    std::error_code error;
    if (!gf_closeTemporaryFile(created, written, error)) {
        gf_addAirportScanLogLine(fmt::format("{}Generating {} did not succeed: {}", g_logMarker, file.string(),
                                             gf_saveFailureText(file, error)));
        return;
    }
    {
        const std::lock_guard lock(pending.mutex);
        ++pending.waiting;
    }
    try {
        tzo::gf_fileSyncThreads().post(std::make_unique<PutInPlace>(temp, file),
                                       std::max<std::int32_t>(1, maxWorkers.load()));
    } catch (...) {
        {
            const std::lock_guard lock(pending.mutex);
            --pending.waiting;
            pending.settled.notify_all();
        }
        putInPlace(temp, file);
    }
}

} // namespace

GeneratedFilesDeferred::GeneratedFilesDeferred()
{
    PendingFiles& pending = pendingFiles();
    const std::lock_guard lock(pending.mutex);
    ++pending.walks;
}

GeneratedFilesDeferred::~GeneratedFilesDeferred()
{
    PendingFiles& pending = pendingFiles();
    std::unique_lock lock(pending.mutex);
    --pending.walks;
    pending.settled.wait(lock, [&] { return pending.waiting == 0; });
}

ArchiveLookup lf_findArchivedOrbxApf(const ApfAirport& airport)
{
    return findIn(g_archiveOrbxFolder, airport, true);
}

ArchiveLookup lf_linkOrbxAirport(const ApfAirport& airport)
{
    const ArchiveLookup r = lf_findArchivedOrbxApf(airport);
    if (!r.found)
        return r;
    if (!writeLink(r, g_myOrbxFolder, airport).found)
        return {};
    gf_addAirportScanLogLine(fmt::format("{} airport {} linked to {}", "ORBX", airport.code, r.path.string()));
    return r;
}

ArchiveLookup lf_findArchivedThirdpartyApf(const std::string& publisher, const ApfAirport& airport)
{
    // A publisher becomes a folder name only when it is one plain name.
    const bool plain = !publisher.empty() && publisher != "." && publisher.find("..") == std::string::npos &&
                       publisher.find_first_of("/\\:") == std::string::npos;
    if (!plain) {
        if (publisher != "unknown")
            gf_addAirportScanLogLine(
                fmt::format("\n{} folder does not exist\n", (g_archiveThirdpartyFolder / "?").string()));
        return {};
    }
    return findIn(g_archiveThirdpartyFolder / publisher, airport, publisher != "unknown");
}

ArchiveLookup lf_linkThirdpartyAirport(const std::string& publisher, const ApfAirport& airport)
{
    const ArchiveLookup r = lf_findArchivedThirdpartyApf(publisher, airport);
    if (!r.found)
        return r;
    if (!writeLink(r, g_myThirdpartyFolder, airport).found)
        return {};
    gf_addAirportScanLogLine(fmt::format("thirdparty {} linked to {}", airport.code, r.path.string()));
    return r;
}

void lf_writeGeneratedApf(ApfAirport airport, std::int32_t helipadCount)
{
    const std::size_t count = airport.stands.size();
    if (count == 0)
        return;
    const fs::path folder = airport.publisher == "ORBX" ? g_myOrbxFolder : g_myThirdpartyFolder;
    std::string line = fmt::format("Generated {}: {} position{}", airport.code + ".xml", count, count > 1 ? "s" : "");
    if (helipadCount >= 1)
        line += fmt::format(", of which {} helipad{}", helipadCount, helipadCount == 1 ? "" : "s");
    gf_addAirportScanLogLine(line);
    // Sorted through their places: a stand is a large object, moved once
    // this way instead of at every step of the sort.
    std::vector<std::size_t> order(count);
    for (std::size_t i = 0; i < count; ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return airport.stands[a].name < airport.stands[b].name; });
    std::vector<tzo::ParkPos> sorted;
    sorted.reserve(count);
    for (const std::size_t i : order)
        sorted.push_back(std::move(airport.stands[i]));
    airport.stands = std::move(sorted);
    if (!fs::exists(folder))
        fs::create_directories(folder);
    writeGeneratedFile(airport, folder / (airport.code + ".xml"));
}

bool lf_isStockSceneryPath(std::string_view pathText)
{
    // Whole folder names only: "D:\Addons\World Airports" is an add-on.
    for (const std::string_view name : lf_pathNames(pathText))
        if (std::find(kStockFolders.begin(), kStockFolders.end(), name) != kStockFolders.end())
            return true;
    return false;
}

tzo::BglAirportSink gf_generatedAirportSink()
{
    // Per airport: whether it was linked and the archived file's stand count.
    auto state = std::make_shared<std::pair<bool, std::int32_t>>(false, 0);
    tzo::BglAirportSink sink;
    sink.begin = [state](tzo::BglAirport& a) {
        ArchiveLookup link;
        if (a.airport.publisher == "ORBX")
            link = lf_linkOrbxAirport(a.airport);
        else if (a.airport.publisher != "unknown")
            link = lf_linkThirdpartyAirport(a.airport.publisher, a.airport);
        state->first = link.found;
        state->second = 0;
        if (link.found) {
            addonAirportsFound.fetch_add(1);
            state->second = gf_readNumParkpos(link.path);
        }
    };
    sink.end = [state](tzo::BglAirport& a) {
        const auto count = static_cast<std::int64_t>(a.airport.stands.size());
        if (count > state->second)
            gf_addAirportScanLogLine(fmt::format("{}{} has {} parkpos while archived one has {}", g_logMarker,
                                                 a.airport.code, count, state->second));
        if (!state->first || count > state->second)
            lf_writeGeneratedApf(std::move(a.airport), a.helipadCount);
    };
    return sink;
}

void lf_readBglFileAirports(const fs::path& path)
{
    // Kept per thread: the walk's threads read one file after the other. The
    // storage of a very large file is not kept beyond it.
    constexpr std::size_t kKeptBytes = std::size_t{64} << 20;
    thread_local tzo::BglFileBytes file;
    struct Trim {
        ~Trim()
        {
            if (file.capacity() > kKeptBytes)
                file.release();
        }
    } trim;
    if (!file.read(path))
        return;
    tzo::lf_readBglAirports(file.bytes(), path.string(),
                            [](const std::string& p) { return gf_publisherOfFileName(p); }, gf_generatedAirportSink());
}
