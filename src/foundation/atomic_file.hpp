#pragma once
// Replacing a file so that a crash or a full disk never leaves half of it:
// the new content goes to a temporary file in the same folder, is flushed to
// the disk, takes the old file's mode, is renamed over the old file in one
// step, and the folder is flushed to the disk too. Every file the program
// keeps is put in place by gf_putTemporaryFileInPlace below.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

// Every file the program writes goes through the functions below: none of
// them writes through a symbolic link or into a file that has another name
// too (a hard link); such an entry in the file's place is replaced by the
// file, its target left as it was.

// False when the temporary file cannot be written or renamed; the old file
// (if any) is then untouched and no temporary file is left behind.
// `toDisk` false is for scratch files the program removes itself (flight
// plans): renamed into place alike, without waiting for the disk.
bool gf_writeFileAtomically(const std::filesystem::path& path, std::string_view content, bool toDisk = true);
// The same; `error` names the first failure (no space left, a folder in the
// file's place, ...).
bool gf_writeFileAtomically(const std::filesystem::path& path, std::string_view content, std::error_code& error,
                            bool toDisk = true);

// A copy of `from` put in place at `to` as above; `error` says why not. A
// source of more than `maxBytes` (also one that grows past it while copied)
// is no copy: "File too large".
bool gf_copyFileAtomically(const std::filesystem::path& from, const std::filesystem::path& to,
                           std::error_code& error, std::uintmax_t maxBytes = UINTMAX_MAX);

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A temporary file beside `path`, newly made and open for writing, of the
// kind the functions above use, so that gf_removeLeftoverTemporaryFiles also
// finds what other writers (downloads, unpacked files) leave behind after a
// crash. Its name was free: nothing planted there is written through. `file`
// is null (errno set) when none can be made.
struct TemporaryFile {
    std::filesystem::path path;
    FilePtr file;
};
TemporaryFile gf_createTemporaryFileFor(const std::filesystem::path& path);

// For a writer that fills the temporary file itself (a download, an unpacked
// entry). Flushes and closes the file; `written` false says the writer
// failed. False, with `error` naming the first failure (errno of the failed
// write when the writer gave none) and the temporary file removed, when the
// content cannot be trusted.
bool gf_closeTemporaryFile(TemporaryFile& temp, bool written, std::error_code& error);
// Puts a closed temporary file in place at `path` as described at the top;
// the temporary file is gone afterwards either way.
bool gf_putTemporaryFileInPlace(const std::filesystem::path& temp, const std::filesystem::path& path, bool toDisk,
                                std::error_code& error);
// Both of the above.
bool gf_commitTemporaryFile(TemporaryFile& temp, const std::filesystem::path& path, bool written,
                            std::error_code& error, bool toDisk = true);

// Removes the temporary files that writes of `path` left behind when the
// program ended in the middle of one (crash, power cut). Only for a moment at
// which no write of that path can be under way, such as the start.
void gf_removeLeftoverTemporaryFiles(const std::filesystem::path& path);
// The same for every file of the folder (and, with `recursive`, of every
// folder below it): what saves, downloads and unpacking left there. Answers
// how many were removed.
int gf_removeLeftoverTemporaryFilesIn(const std::filesystem::path& folder, bool recursive);

// Tests only: replaces the final rename (null: the real one), so that a failed
// rename can be shown to leave the old file as it was.
using AtomicRenameFunction = bool (*)(const std::filesystem::path& from, const std::filesystem::path& to);
void gf_setAtomicRenameForTests(AtomicRenameFunction rename);
