#pragma once
// A thin owner of a libzip archive opened for reading: the few operations the
// program's downloads need (list the entries, read one whole or in chunks)
// with every failure answered as a libzip error code, never thrown.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct zip;

namespace tzo {

struct ZipEntry {
    std::uint64_t index = 0;
    std::string name;
    std::uint64_t size = 0; // uncompressed, as the directory claims
    bool isFolder() const { return !name.empty() && name.back() == '/'; }
};

class ZipArchive {
public:
    // Read-only, without the consistency check; null with the libzip error
    // code in `error` when the file is no zip archive.
    static std::unique_ptr<ZipArchive> open(const std::filesystem::path& path, int& error);
    // The same from bytes in memory; the bytes must outlive the archive.
    static std::unique_ptr<ZipArchive> openMemory(const void* data, std::size_t size, int& error);
    ~ZipArchive();
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // In the archive's order; entries whose directory record cannot be read are left out.
    std::vector<ZipEntry> entries() const;

    // Hands the entry's content to the sink in blocks of at most chunkSize
    // bytes. 0 when all of it was read and its CRC matched; otherwise a libzip
    // error code (ZIP_ER_CRC for damaged data, ZIP_ER_WRITE when the sink
    // refused) or kZipSizeMismatch for content longer or shorter than the
    // directory says (reading stops at the first byte too many).
    int read(const ZipEntry& entry, std::size_t chunkSize,
             const std::function<bool(const char*, std::size_t)>& sink) const;
    // The whole entry into `out`; kZipEntryTooLarge when the directory says
    // it is larger than maxSize.
    int readAll(const ZipEntry& entry, std::string& out, std::uint64_t maxSize) const;

private:
    explicit ZipArchive(::zip* archive) : m_archive(archive) {}
    ::zip* m_archive;
};

// Codes of our own beside libzip's (which are small and positive).
inline constexpr int kZipSizeMismatch = 1000;
inline constexpr int kZipEntryTooLarge = 1001;

// The text of a libzip error code or of one of ours.
std::string gf_zipErrorText(int code);

} // namespace tzo

// A name that may be joined to a folder without leaving it: relative, "/"
// separated, without a drive letter or other colon, a backslash or a ".."
// part. Entry names come from downloads; anything else is refused.
bool gf_isSafeEntryName(std::string_view name);
