#pragma once
// Opening a file for writing without writing through a symbolic link in its
// place. A link where the program keeps its own file (someone's "Log.txt ->
// important.txt") would otherwise have the program empty and overwrite the
// link's target.

#include <cstdio>
#include <filesystem>

namespace platform {

// Opens the file for writing, emptied (made when missing). A symbolic link at
// its place is replaced by a new file, as a save renamed into place replaces
// it; the link's target is left alone. Null, with errno set, when the file
// cannot be opened.
std::FILE* createFileNoFollow(const std::filesystem::path& path);

} // namespace platform
