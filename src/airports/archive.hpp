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
// Larger airport files are taken for damage, not read into memory.
inline constexpr std::uint64_t kMaxArchiveEntrySize = 64 * 1024 * 1024;

// True exactly when a new archive was downloaded and every one of its
// airport files written; ARCHIVE_VERSION is saved only then, so that a start
// after any failure tries again. Folder errors leave as
// std::filesystem::filesystem_error.
bool gf_updateArchive();

// True when airports/archive or one of its stock, ORBX and thirdparty folders is missing.
bool gf_archiveFoldersMissing();

// Extracts one entry into the airports folder: only names ending in ".xml",
// never a name that would leave the folder. Counts what it tries to write
// (showing the count every 300) and sets `failed` when a write fails.
void lf_extractArchiveEntry(int& count, bool& failed, const tzo::ZipArchive& archive, const tzo::ZipEntry& entry);

void lf_downloadArchiveDocTxt();
void lf_downloadArchiveDocCsv();
