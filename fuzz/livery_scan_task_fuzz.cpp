// Any bytes as an aircraft.cfg, ordinary and in an IVAO library, read by the
// scan tasks in whatever encoding they claim: nothing may crash, every livery
// that comes out is complete, and each task gives its worker slot back once.

#include "foundation/workers.hpp"
#include "liveries/code_fixes.hpp"
#include "liveries/fltsim_section.hpp"
#include "liveries/scan_lists.hpp"
#include "liveries/scan_task.hpp"
#include "refdata/dbase.hpp"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

fs::path lf_prepare(const fs::path& folder)
{
    fs::create_directories(folder / "model");
    fs::create_directories(folder / "texture");
    fs::create_directories(folder / "texture.AAL");
    std::ofstream(folder / "B738.air") << "air";
    return folder / "aircraft.cfg";
}

void lf_runTask(std::vector<tzo::LiveryData> (*task)(std::uint32_t, const fs::path&, const fs::path&),
                const fs::path& cfg, const fs::path& root)
{
    runningWorkers = 1;
    try {
        for (const auto& livery : task(1, cfg, root))
            if (livery.airl.empty() || livery.type.empty() || livery.title.empty() ||
                livery.atcid.size() > kMaxRegistrationBytes)
                std::abort();
    } catch (const std::exception&) {
        // A failing file-system query ends the file's task; the walker logs it.
    }
    if (runningWorkers.load() != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fs::path base = "livery_scan_task_fuzz." + std::to_string(::getpid());
    static const fs::path ordinary = lf_prepare(base / "SimObjects" / "B738");
    static const fs::path ivao = lf_prepare(base / "IVAO_MTL" / "IVAO_B738w");
    static const bool ready = [] {
        g_validModels = {"B738", "A320"};
        g_icaoAirlines = {"AAL", "KLM", "ZZZ", "PVT"};
        tzo::codeFixes = {{"B73H", "B738"}};
        tzo::pvtFixes = {"PRV"};
        return true;
    }();
    (void)ready;

    for (const auto& cfg : {ordinary, ivao}) {
        std::ofstream out(cfg, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    lf_runTask(lf_searchLiveriesinFile, ordinary, base);
    lf_runTask(lf_searchIvaoLiveriesinFile, ivao, base);
    lf_clearScanMessages();
    return 0;
}
