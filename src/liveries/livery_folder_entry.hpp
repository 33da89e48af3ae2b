#pragma once
// Finding the folders and files a livery names beside its aircraft.cfg. The
// simulator runs on Windows, where "texture=aal" finds "texture.AAL" and
// "sim=..\Shared\B738" a flight model beside the aircraft's folder; here the
// names are looked up the same way: "/" and "\" both separate, and each name
// is found without regard to ASCII letter case.

#include <filesystem>
#include <string_view>

enum class FolderEntryKind { directory, regularFile };

enum class EntryLookup {
    present,
    missing,
    outside, // the path would leave the SimObjects folder: names nothing of ours
};

// Looks the relative path up from `folder`, which lies below `root` (the
// SimObjects folder being scanned; an empty root stands for `folder` itself).
// Subfolders and ".." are followed as long as the path stays below root; an
// absolute path, a drive or a path above root is `outside` whether it exists
// or not. A status or listing that fails other than by "not found" raises the
// file-system error.
EntryLookup gf_lookUpEntry(const std::filesystem::path& root, const std::filesystem::path& folder,
                           std::string_view relative, FolderEntryKind kind);

// While an object lives, gf_lookUpEntry on this thread answers a question it
// answered before from memory: the sections of one aircraft.cfg name the same
// few folders and files over and over, and a scan reads thousands of files.
// One object per scan task, whose lookups share one root; objects do not nest.
class FolderEntryCache {
public:
    FolderEntryCache();
    ~FolderEntryCache();
    FolderEntryCache(const FolderEntryCache&) = delete;
    FolderEntryCache& operator=(const FolderEntryCache&) = delete;
};
