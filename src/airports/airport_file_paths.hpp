#pragma once
// Where airport files lie: finding the file of an airport code (link files
// included) and the learned file that belongs to a found file. Folder and file
// names match in any letter case, as on Windows.

#include <filesystem>
#include <string>
#include <string_view>

// The file to use for the airport, or the empty path. Scan results (link and
// generated files in my_thirdparty, then my_ORBX) win over the stock archive.
std::filesystem::path gf_findApfFile(const std::string& code);
// Whether gf_findApfFile finds a file: a link to a missing file counts not.
bool gf_apfExists(const std::string& code);

// The path on the link file's first line, without blanks and CR, with either
// separator, relative to the program folder; the empty path when the file has
// no line.
std::filesystem::path lf_readLinkFile(const std::filesystem::path& linkPath);

// The existing regular file at `path`, found in any letter case; empty when
// there is none.
std::filesystem::path gf_existingFileAnyCase(const std::filesystem::path& path);

// The learned file of an airport file: airports/archive/X/C.xml gives
// airports/learned/X/C.xml, my_ORBX gives learned/ORBX, my_thirdparty gives
// learned/thirdparty/<publisher of the file>; a file elsewhere gets the
// folder its publisher names. Never the airport file itself.
std::filesystem::path lf_learnedPathFor(const std::filesystem::path& apfPath);
// The learned folder for a publisher: learned/stock, learned/ORBX or
// learned/thirdparty/<publisher>; a publisher unfit as a folder name is "unknown".
std::filesystem::path lf_learnedFolderForPublisher(const std::string& publisher);
// A publisher usable as one folder name, else "unknown" (with a marked line).
std::string lf_publisherFolderName(const std::string& publisher);
