// Any file as "dbase.xml": the reader either fills its tables or raises one of
// the program's own exceptions, and the lookups then answer without a crash
// and never with a NaN wingspan.
#include "foundation/exceptions.hpp"
#include "refdata/dbase.hpp"
#include "refdata/dbase_lookups.hpp"
#include "refdata/publishers.hpp"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

void lf_clear()
{
    for (auto* set : {&g_validModels, &g_highPerformanceModels, &g_heavyModels, &g_largeModels, &g_buzjetModels,
                      &g_rotorcraftModels, &g_cargoModels, &g_icaoAirlines, &g_cargoOperators})
        set->clear();
    g_similarTypesGroups.clear();
    g_publisherGroups.clear();
    g_wingspans.clear();
    g_largestHalfSpanNm = 0.0;
    g_categoryAverageHalfSpan.fill(0.0);
    g_dbaseRecords.clear();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = "dbase_fuzz." + std::to_string(::getpid()) + ".xml";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    lf_clear();
    try {
        gf_readDbase(path);
    } catch (const tzo::UserErrorException&) {
        return 0;
    } catch (const tzo::SysErrorException&) {
        return 0;
    }
    for (const auto& model : g_validModels)
        if (std::isnan(gf_wingspanOf(model)))
            std::abort();
    if (std::isnan(gf_wingspanOf("")))
        std::abort();
    for (const auto& [registration, record] : g_dbaseRecords) {
        if (!gf_hasDbaseRecord(registration))
            std::abort();
    }
    const std::string probe(reinterpret_cast<const char*>(data), size < 64 ? size : 64);
    gf_hasDbaseRecord(probe);
    gf_publisherOfPath(probe);
    return 0;
}
