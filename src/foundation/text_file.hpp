#pragma once
// Text files of any encoding the program meets (UTF-8 with or without mark,
// UTF-16 of either byte order, CRLF or LF line ends) read as UTF-8 lines, and
// the writing of text and XML files.

#include <pugixml.hpp>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// Codes of gf_detectEncoding.
inline constexpr int kEncodingNoMark = 0;     // plain 8-bit or UTF-8 text
inline constexpr int kEncodingUtf16Le = 1;    // mark FF FE
inline constexpr int kEncodingUtf16Be = 2;    // mark FE FF
inline constexpr int kEncodingUtf8Mark = 3;   // mark EF BB BF
inline constexpr int kEncodingUtf8 = 4;       // never detected; read like kEncodingNoMark
inline constexpr int kEncodingCannotOpen = 5;

// Far above any real text file the program reads (aircraft.cfg, the
// simulator's lists: kilobytes to a few megabytes); a larger file, like
// anything that is no regular file, is refused with one log line.
inline constexpr std::size_t kMaxTextFileBytes = 64 * 1024 * 1024;

// The code of the file's byte-order mark. A file that cannot be opened gives
// kEncodingCannotOpen after the log line "cannot open file {} for character
// encoding, err: {}" with the system error code.
int gf_detectEncoding(const std::filesystem::path& path);

// Appends the file's lines as UTF-8 (without the mark, without line ends; one
// trailing CR of each line is dropped, as Windows text mode did). False when
// the file cannot be opened. Invalid UTF-16 ends the reading: the status line
// shows the failure and the lines before it stay.
bool gf_readEncodedLines(int code, const std::filesystem::path& path, std::vector<std::string>& lines);

// Detects the encoding and reads the lines; false when the file cannot be
// opened or reading fails (logged).
bool gf_readExtTextFileToStringVector(const std::filesystem::path& path, std::vector<std::string>& lines);

// Replace the file (atomically) with the text, or the lines, each followed by a line end.
bool gf_writeStringToFile(std::string_view text, const std::filesystem::path& path);
bool gf_writeLinesToFile(const std::vector<std::string>& lines, const std::filesystem::path& path);
// The same; `error` says why not.
bool gf_writeLinesToFile(const std::vector<std::string>& lines, const std::filesystem::path& path,
                         std::error_code& error);

// Why a save of `path` failed, as the user can mend it ("No space left on
// device", "File too large", "a folder has its name"); never empty.
std::string gf_saveFailureText(const std::filesystem::path& path, const std::error_code& error);
// The one line that says a save failed, "{lead}\"{path}\" not saved: {cause}",
// in the log and, without a window, on standard error. A caller that says
// nothing else about the failure says this; none says "saved" without success.
void gf_saySaveFailure(std::string_view lead, const std::filesystem::path& path, const std::error_code& error);

// Far above any real XML file the program reads (its catalogues, data bases
// and airport files: up to some tens of megabytes).
inline constexpr std::size_t kMaxXmlFileBytes = 256 * 1024 * 1024;

// Loads the file into `doc` as pugixml's load_file does, without waiting on a
// FIFO or reading what is no regular file or larger than kMaxXmlFileBytes:
// such a file is said once in the log and fails as an unreadable one
// (status_io_error; status_file_not_found when it is missing).
pugi::xml_parse_result gf_loadXmlFile(pugi::xml_document& doc, const std::filesystem::path& path,
                                      unsigned options = pugi::parse_default,
                                      pugi::xml_encoding encoding = pugi::encoding_auto);
// The same; on failure `cause` says why in words for a line about the file:
// the refusal ("it is not a regular file", "it is larger than ...") for a
// refused file, whose XML library's "Error reading from file/stream" would
// name no cause, else the library's description.
pugi::xml_parse_result gf_loadXmlFile(pugi::xml_document& doc, const std::filesystem::path& path, std::string& cause,
                                      unsigned options = pugi::parse_default,
                                      pugi::xml_encoding encoding = pugi::encoding_auto);

// Saves the document (UTF-8, tab indentation) atomically and logs
// "\"{}\" saved", or says "could not save to \"{}\": {cause}" as
// gf_saySaveFailure does. Never throws.
bool gf_saveXml(const pugi::xml_document& doc, const std::filesystem::path& path);

// The document as it is written by gf_saveXml.
std::string gf_xmlText(const pugi::xml_document& doc);
