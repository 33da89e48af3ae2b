// Any file as the downloaded "AIG-regcodes.xml": the registration reader and
// the reader of titles not to use take what fits and never crash.
#include "liveries/dont_use_titles.hpp"
#include "liveries/scan_lists.hpp"
#include "regcode_fuzz_catalogue.hpp"

#include <cstdint>
#include <fstream>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    lf_buildFuzzCatalogue();
    static const std::string path = "aig_regcodes_fuzz." + std::to_string(::getpid()) + ".xml";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    tzo::lf_readAigRegcodes(path);
    lf_checkRegcodes();
    tzo::dontUseTitles.clear();
    tzo::lf_readDontUseTitles(path);
    for (const auto& title : tzo::dontUseTitles)
        if (title.empty())
            std::abort();
    tzo::dontUseTitles.clear();
    return 0;
}
