#pragma once
// Empties every reference data container and hook, so that a read starts as
// the program's first one does. Without GoogleTest: the benchmarks use it too.

#include "refdata/dbase.hpp"
#include "refdata/publishers.hpp"
#include "refdata/similar_models.hpp"

namespace testsupport {

inline void clearReferenceData()
{
    for (auto* set : {&g_validModels, &g_highPerformanceModels, &g_heavyModels, &g_largeModels, &g_buzjetModels,
                      &g_rotorcraftModels, &g_cargoModels, &g_icaoAirlines, &g_cargoOperators})
        set->clear();
    g_similarTypesGroups.clear();
    g_publisherGroups.clear();
    gf_compilePublisherPatterns();
    g_wingspans.clear();
    g_largestHalfSpanNm = 0.0;
    g_categoryAverageHalfSpan.fill(0.0);
    g_dbaseRecords.clear();
    g_similarModels.clear();
    g_airlineSimilarModels.clear();
    gf_installLiveryCatalogueQueries({});
    gf_installAirportScanLogWriter({});
}

} // namespace testsupport
