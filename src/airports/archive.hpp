#pragma once
// The archive of ready-made airport files from the update server: the local
// copy in airports/archive is brought up to date at start, with its two
// documents in docs/.

#include "refdata/zip_archive.hpp"

#include <cstdint>
#include <string_view>

inline constexpr std::string_view kArchiveServerPath = "/downloads/archive/p3d/archive.zip";
inline constexpr std::string_view kArchiveDocTxt = "P3D_archive.txt";
inline constexpr std::string_view kArchiveDocCsv = "P3D_archive.csv";
// What one archive may unpack, well above the real archive (a few thousand
// airport files, a few hundred megabytes): an archive beyond a cap is taken
// for damage or an attack and refused whole. A larger airport file is not
// read into memory.
struct ArchiveLimits {
    std::uint64_t files = 20000;
    std::uint64_t bytes = 512ull * 1024 * 1024;
    std::uint64_t entryBytes = 64ull * 1024 * 1024;
};
ArchiveLimits gf_archiveLimits();
// For tests, which cannot serve archives of the real caps' size.
void gf_setArchiveLimits(const ArchiveLimits& limits);

// True exactly when a new archive was downloaded and every one of its
// airport files written; ARCHIVE_VERSION is saved only then, so that a start
// after a failure tries again. An archive over a cap is refused whole (one
// marked log line) and its version stored as tried, so that it is not
// fetched and refused again at every start. Folder errors leave as
// std::filesystem::filesystem_error.
bool gf_updateArchive();

// True when airports/archive or one of its stock, ORBX and thirdparty folders is missing.
bool gf_archiveFoldersMissing();

// The running state of one archive's extraction.
struct ArchiveExtraction {
    int count = 0;            // airport files tried
    bool failed = false;      // a write or a read failed
    int notWritten = 0;       // airport files that could not be written
    std::uint64_t budget = 0; // bytes the archive may still unpack
    int refused = 0;          // entries that would have left the archive folder
};

// Extracts one airport file (an entry whose name ends in ".xml") into the
// archive folder, never elsewhere (refusals logged, the first few by name).
// Counts what it tries to write (showing the count every 300), takes its
// bytes from the budget and marks the extraction failed when a write fails;
// a file that cannot be written is said (the first few by name) and the
// next entries are still written.
void lf_extractArchiveEntry(ArchiveExtraction& state, const tzo::ZipArchive& archive, const tzo::ZipEntry& entry);

void lf_downloadArchiveDocTxt();
void lf_downloadArchiveDocCsv();
