#pragma once
// A small installed catalogue for the registration file fuzzers, built once
// in a data folder of the working folder, with the category settings off so
// that the processing saves nothing.
#include "foundation/paths.hpp"
#include "foundation/settings.hpp"
#include "liveries/livery_maps.hpp"
#include "liveries/regcodes.hpp"
#include "liveries/scanned_liveries.hpp"

#include <cstdlib>
#include <string>

inline void lf_buildFuzzCatalogue()
{
    static const bool built = [] {
        ::setenv("NORVANE_APPDATA", "regcode_fuzz_appdata", 1);
        gf_initDataFolder();
        for (auto* box : {&HELICOPTERS, &HIGH_PERF_AIRCRAFT, &LIGHT_AIRCRAFT})
            box->setValue(false);
        tzo::scannedLiveries = {{"AAL", "B738", "A", "N1", 1, false},
                                {"AAL", "B738", "Title 1", "", 1, true},
                                {"BAW", "A320", "Speedbird", "G-EUUA", 1, false},
                                {"ZZZ", "C172", "Cessna generic", "", 1, false}};
        tzo::gf_processScannedLiveries();
        tzo::scannedLiveries.clear();
        return true;
    }();
    (void)built;
    tzo::regcodeLiveries.clear();
    tzo::specialLiveries.clear();
    tzo::regcodeMessages.clear();
}

// Every entered code has a fitting length and names an installed title.
inline void lf_checkRegcodes()
{
    for (const auto& [code, title] : tzo::regcodeLiveries)
        if (code.empty() || code.size() > 12 || tzo::lf_findLiveryTitle(title).data() != title.data())
            std::abort();
    for (const auto title : tzo::specialLiveries)
        if (tzo::lf_findLiveryTitle(title).data() != title.data())
            std::abort();
}
