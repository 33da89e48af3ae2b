#pragma once
// "Log.txt" in the program folder: one line per event, each flushed at once so
// the log is complete up to the moment the program stops.

#include <filesystem>
#include <string>
#include <string_view>

inline constexpr std::string_view g_logMarker = "===> ";
inline constexpr std::string_view kLogFileName = "Log.txt";

// Keeps the two earlier logs, opens "Log.txt" in the current folder and writes
// the banner. Throws tzo::SysErrorException (40) when the log cannot be opened.
void gf_openLog();
void gf_openLog(const std::filesystem::path& path);

// Copies Log0.txt onto Log00.txt and Log.txt onto Log0.txt.
void lf_rotateLog(const std::filesystem::path& path);

// Closes the log; later lines are dropped. Used at the final exit.
void gf_closeLog();
bool gf_isLogOpen();

void gf_logLine(std::string_view text);
void gf_logLineString(const std::string& text);
void gf_logLineMarked(std::string_view text);
void gf_logLineIndented(std::string_view text);
void gf_flushLog();
