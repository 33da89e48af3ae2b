#pragma once
// Finding the folders and files a livery names beside its aircraft.cfg. The
// simulator runs on Windows, where "texture=aal" finds "texture.AAL"; here the
// name is looked up without regard to ASCII letter case as well.

#include <filesystem>
#include <string_view>

enum class FolderEntryKind { directory, regularFile };

// Whether a name taken from a file can name an entry of the folder itself:
// not empty, no separator, no "..", no drive colon, no NUL.
bool gf_isPlainEntryName(std::string_view name);

// Whether the folder holds an entry of that kind named `name` in any letter
// case. A plain-name check comes first: a name that could leave the folder
// names nothing. A status or listing that fails other than by "not found"
// raises the file-system error.
bool gf_folderHasEntry(const std::filesystem::path& folder, std::string_view name, FolderEntryKind kind);

// While an object lives, gf_folderHasEntry on this thread answers a question
// it answered before from memory: the sections of one aircraft.cfg name the
// same few folders and files over and over, and a scan reads thousands of
// files. One object per scan task; objects do not nest.
class FolderEntryCache {
public:
    FolderEntryCache();
    ~FolderEntryCache();
    FolderEntryCache(const FolderEntryCache&) = delete;
    FolderEntryCache& operator=(const FolderEntryCache&) = delete;
};
