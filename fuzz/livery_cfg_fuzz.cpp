// Bytes in as the lines of an aircraft.cfg: the numbering check, the model
// code and every [fltsim.N] section. Nothing may crash, and every livery that
// comes out has an airline and a registration of at most 12 bytes.

#include "liveries/cfg_grammar.hpp"
#include "liveries/code_fixes.hpp"
#include "liveries/fltsim_section.hpp"
#include "liveries/scan_lists.hpp"
#include "refdata/dbase.hpp"

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fs::path folder = "livery_cfg_fuzz";
    static bool ready = [] {
        fs::create_directories(folder / "model");
        fs::create_directories(folder / "texture.AAL");
        std::ofstream(folder / "B738.air") << "air";
        g_validModels = {"B738", "A320"};
        g_icaoAirlines = {"AAL", "KLM", "ZZZ", "PVT"};
        tzo::codeFixes = {{"B73H", "B738"}};
        tzo::pvtFixes = {"PRV"};
        tzo::govFixes = {"USG"};
        tzo::dontUseTitles = {"Unused"};
        return true;
    }();
    (void)ready;
    const fs::path cfg = folder / "aircraft.cfg";

    std::vector<std::string> lines;
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }

    lf_checkFltsimNumbers(lines, cfg);
    std::string type = lf_fixAtcModel(cfg, lines);
    if (type.empty())
        type = "B738";

    std::vector<std::string> section;
    auto processSection = [&] {
        if (section.empty())
            return;
        for (const auto& livery : lf_procesFltSimSection(1, section, type, cfg, folder))
            if (livery.airl.empty() || livery.atcid.size() > kMaxRegistrationBytes || livery.title.empty())
                std::abort();
        section.clear();
    };
    for (const auto& line : lines) {
        if (!lf_matchFltsimHeader(line).empty())
            processSection();
        section.push_back(line);
    }
    processSection();

    // The scan's lists would otherwise grow with every input; dontUseTitles
    // is cleared with them and set again.
    lf_clearScanMessages();
    tzo::dontUseTitles = {"Unused"};
    return 0;
}
