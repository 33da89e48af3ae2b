// Any file as one of the user's registration files (input/my_regcodes/*.TXT):
// the registration reader and the reader of titles not to use take what fits
// and never crash.
#include "liveries/dont_use_titles.hpp"
#include "liveries/scan_lists.hpp"
#include "regcode_fuzz_catalogue.hpp"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    lf_buildFuzzCatalogue();
    static const std::filesystem::path folder = "offline_regcodes_fuzz." + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    {
        std::ofstream out(folder / "codes.TXT", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    tzo::lf_readOfflineRegcodeFiles(folder);
    lf_checkRegcodes();
    tzo::dontUseTitles.clear();
    tzo::gf_readDontUseTitleFiles(folder);
    for (const auto& title : tzo::dontUseTitles)
        if (title.size() <= 8)
            std::abort();
    tzo::dontUseTitles.clear();
    return 0;
}
