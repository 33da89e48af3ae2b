#pragma once
// Replacing a file so that a crash or a full disk never leaves half of it:
// the new content goes to a temporary file in the same folder, is flushed to
// the disk, and is renamed over the old file in one step.

#include <filesystem>
#include <string_view>

// False when the temporary file cannot be written or renamed; the old file
// (if any) is then untouched and no temporary file is left behind.
bool gf_writeFileAtomically(const std::filesystem::path& path, std::string_view content);

// A fresh temporary name beside `path`, of the kind the function above uses,
// so that gf_removeLeftoverTemporaryFiles also finds what other writers
// (downloads, unpacked files) leave behind after a crash.
std::filesystem::path gf_temporaryPathFor(const std::filesystem::path& path);

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
