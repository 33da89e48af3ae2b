// Any file as "LiveriesScanned.xml": the reader either fills the list with
// complete liveries of priority 0 or raises its user error; what it read is
// written and read back without a crash.
#include "foundation/exceptions.hpp"
#include "liveries/catalogue_file.hpp"
#include "liveries/scanned_liveries.hpp"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string path = "livery_catalogue_fuzz." + std::to_string(::getpid()) + ".xml";
    static const std::string copy = "livery_catalogue_fuzz." + std::to_string(::getpid()) + ".copy.xml";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    try {
        tzo::lf_readLiveriesScanned(path);
    } catch (const tzo::UserErrorException& e) {
        if (e.code() < 51 || e.code() > 53 || !tzo::scannedLiveries.empty())
            std::abort();
        return 0;
    }
    if (tzo::scannedLiveries.empty())
        std::abort();
    for (const auto& livery : tzo::scannedLiveries)
        if (livery.airl.empty() || livery.type.empty() || livery.title.empty() || livery.priority != 0)
            std::abort();
    const auto count = tzo::scannedLiveries.size();
    tzo::lf_writeLiveriesScanned(copy);
    try {
        tzo::lf_readLiveriesScanned(copy);
    } catch (const tzo::UserErrorException&) {
        // A title made only of what the XML library cannot keep may vanish.
    }
    if (tzo::scannedLiveries.size() > count)
        std::abort();
    tzo::scannedLiveries.clear();
    return 0;
}
