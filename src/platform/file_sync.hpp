#pragma once
// Putting a written file's data on the disk itself. Closing a file only hands
// its data to the operating system's cache; after a power cut or a system
// crash a file renamed into place may then come back empty, and a rename not
// yet written to its folder may come back as the old file. On Windows this is
// FlushFileBuffers (and MoveFileEx with MOVEFILE_WRITE_THROUGH), here fsync of
// the file and of its folder.

#include <filesystem>

namespace platform {

// False (errno set) when the file cannot be opened or its data not be
// written out.
bool syncFileToDisk(const std::filesystem::path& path);

// The folder's entries (a rename into it) on the disk; false (errno set) on
// failure.
bool syncFolderToDisk(const std::filesystem::path& folder);

// Gives `to` the permission bits of the regular file `from`, so that a file
// replaced by a new one keeps the mode its owner gave it. Nothing to do (true)
// when `from` is no regular file; false (errno set) when the bits cannot be
// set.
bool keepFileMode(const std::filesystem::path& from, const std::filesystem::path& to);

} // namespace platform
