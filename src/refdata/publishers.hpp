#pragma once
// Which publisher made a scenery file, from the publisher groups of the data
// base: each group's name and name patterns are tried against the path.

#include <functional>
#include <string>
#include <string_view>

// The first group (in the data base's order) one of whose strings occurs in
// the path as a plain, case-sensitive substring or matches its beginning as a
// case-insensitive pattern; "unknown" when none does. Safe to call from
// several threads at once.
std::string gf_publisherOfPath(const std::string& path);

// "ORBX" when the name holds it or begins with it in any case (the line
// "from filename => publisher  ORBX" then goes to the airport scan log),
// otherwise gf_publisherOfPath of the name.
std::string gf_publisherOfFileName(const std::string& fileName);

// Compiles the patterns of g_publisherGroups once; an invalid pattern is
// logged here and never matches. Called by the data base reader.
void gf_compilePublisherPatterns();

// The airport scan log lives with the airports; its owner installs the writer
// before any scan runs. Without one the line goes to the log.
void gf_installAirportScanLogWriter(std::function<void(std::string_view)> writer);
