#pragma once
// Putting a written file's data on the disk itself. Closing a file only hands
// its data to the operating system's cache; after a power cut or a system
// crash a file renamed into place may then come back empty. On Windows this
// is FlushFileBuffers, here fsync.

#include <filesystem>

namespace platform {

// False when the file cannot be opened or its data not be written out.
bool syncFileToDisk(const std::filesystem::path& path);

} // namespace platform
