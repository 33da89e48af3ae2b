#pragma once
// Opening files for writing so that nothing is ever written through a name
// that someone else put in the program's place: a symbolic link there
// ("Log.txt -> important.txt") or a second name of another file (a hard
// link) would otherwise have the program empty and overwrite that file.

#include <cstdio>
#include <filesystem>

namespace platform {

// A new file made by this call, open for writing. Anything already at the
// path (a file, a link, even a dangling one) makes it fail with EEXIST: a
// temporary name that someone planted is never written through. Null, with
// errno set, on failure.
std::FILE* createNewFile(const std::filesystem::path& path);

// Opens the path for writing as a new, empty file of its own. Whatever stands
// there and is not a folder (the old file, a symbolic link, a file with other
// names too) is removed first and never written into. Null, with errno set,
// when the file cannot be made.
std::FILE* replaceWithNewFile(const std::filesystem::path& path);

} // namespace platform
