// Bytes in as a downloaded zip package: open, list, read every entry, and
// check that each name the archive code would accept stays inside its folder.

#include "refdata/zip_archive.hpp"

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    int error = 0;
    const auto archive = tzo::ZipArchive::openMemory(data, size, error);
    if (!archive)
        return 0;
    const fs::path base = "airports";
    for (const auto& entry : archive->entries()) {
        if (gf_isSafeEntryName(entry.name)) {
            const fs::path joined = (base / entry.name).lexically_normal();
            const auto [end, rest] = std::mismatch(base.begin(), base.end(), joined.begin(), joined.end());
            if (end != base.end() || joined.is_absolute())
                __builtin_trap(); // a name judged safe would leave the folder
        }
        std::string content;
        (void)archive->readAll(entry, content, 1 << 20);
    }
    return 0;
}
