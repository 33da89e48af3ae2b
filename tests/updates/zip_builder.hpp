#pragma once
// Zip packages for tests, written with libzip itself, and the damage done to
// them afterwards.

#include "support/test_support.hpp"

#include <zip.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

struct ZipItem {
    std::string name;
    std::string content;
};

// The bytes of a zip file holding the items in order; a name ending in "/"
// is a folder. Stored (not compressed) when asked, so a test can find and
// damage the content in the bytes.
inline std::string makeZip(const std::vector<ZipItem>& items, bool stored = false)
{
    TempDir scratch;
    const auto path = scratch / "package.zip";
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive)
        throw std::runtime_error("zip_open failed");
    for (const auto& item : items) {
        if (!item.name.empty() && item.name.back() == '/') {
            zip_dir_add(archive, item.name.substr(0, item.name.size() - 1).c_str(), ZIP_FL_ENC_UTF_8);
            continue;
        }
        zip_source_t* source = zip_source_buffer(archive, item.content.data(), item.content.size(), 0);
        const zip_int64_t index = zip_file_add(archive, item.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        if (index < 0)
            throw std::runtime_error("zip_file_add failed for " + item.name);
        if (stored)
            zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
    if (zip_close(archive) != 0)
        throw std::runtime_error("zip_close failed");
    return readFile(path);
}

// Flips one byte of the (stored) content that begins with the marker: the
// CRC no longer matches.
inline std::string withDamagedContent(std::string zipBytes, const std::string& marker)
{
    const auto at = zipBytes.find(marker);
    if (at == std::string::npos)
        throw std::runtime_error("marker not in the zip");
    zipBytes[at + marker.size() / 2] ^= 0x20;
    return zipBytes;
}

// Claims in the central directory that every entry is `extra` bytes longer
// than it is: reading one ends short.
inline std::string withLongerClaimedSizes(std::string zipBytes, std::uint32_t extra)
{
    const std::string central("PK\x01\x02", 4);
    for (auto at = zipBytes.find(central); at != std::string::npos; at = zipBytes.find(central, at + 4)) {
        auto* p = reinterpret_cast<unsigned char*>(&zipBytes[at + 24]);
        std::uint32_t size = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
        size += extra;
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<unsigned char>(size >> (8 * i));
    }
    return zipBytes;
}

} // namespace testsupport
