#pragma once
// Fetching files from the update server over HTTPS: one libcurl easy handle
// per fetch, one URL into one local file, one version file into a Version.
//
// A fetch counts only when the whole body arrived with a 2xx answer. A body
// goes to a temporary file beside its target, is checked, and only then is
// renamed over the target, so a failed or refused download never replaces a
// good file and never leaves a partial one. TLS verification stays on; a
// connect timeout and a low-speed limit end a stalled server.

#include "foundation/version.hpp"

#include <curl/curl.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The production server; $NORVANE_UPDATE_URL replaces it (tests point it at a
// local server), $NORVANE_CA_FILE names the authorities to trust instead of
// the system's.
inline constexpr std::string_view kUpdateServerUrl = "https://www.norvane.net";

// The base address in force, without a trailing "/".
std::string gf_updateServerUrl();
// The base address joined with a server path ("/downloads/...").
std::string gf_updateUrl(std::string_view serverPath);

struct DownloadTimeouts {
    std::chrono::milliseconds connect{std::chrono::seconds(20)};
    // A transfer slower than lowSpeedBytes per second for lowSpeedTime ends
    // as a failed download: a server that trickles never holds the start-up.
    long lowSpeedBytes = 1024;
    std::chrono::seconds lowSpeedTime{30};
    // The largest body a file download takes, well above the largest real
    // file (the airport archive, the installer): a larger one fails before
    // it fills the disk.
    std::uint64_t maxBytes = 256ull * 1024 * 1024;
};
DownloadTimeouts gf_downloadTimeouts();
// For tests, which make a stalled server give up within a second or two.
void gf_setDownloadTimeouts(const DownloadTimeouts& timeouts);

void lf_curlCleanup(CURL* handle);
using CurlHandle = std::unique_ptr<CURL, decltype(&lf_curlCleanup)>;
// A fresh easy handle (initialising the library once per process); may hold null.
CurlHandle gf_makeCurlHandle();

// Approves a downloaded file before it replaces its target; logs its reason
// when it refuses.
using DownloadCheck = std::function<bool(const std::filesystem::path&)>;

// Downloads the URL to `path` (through a temporary file beside it). False on
// a null handle, a local file that cannot be created ("could not open file:
// {}"), a failed, too slow or too large transfer or a non-2xx answer
// ("\"{}\" => \"{}\" download error: {}"), a refusal of `check`, or a failed
// rename; the old file is then untouched. `binary` is the open mode Windows
// needs; here both keep the bytes as sent. Never throws.
bool gf_downloadToFile(CURL* handle, const std::string& url, const std::filesystem::path& path, bool binary,
                       const DownloadCheck& check = {});

// The largest version file taken.
inline constexpr std::size_t kMaxVersionFileSize = 64 * 1024;

// The version a fetched version file states; 0.0.0 after a failure (logged
// with the marker, "downloading \"{}\" failed"). The body is read in memory.
tzo::Version gf_downloadVersion(CURL* handle, const std::string& url);

// A version file's body: its first line (a trailing CR dropped, a UTF-8 mark
// skipped) as gf_parseVersion reads it; a body that is a JSON object spread
// over several lines is read whole.
tzo::Version gf_parseVersionFile(std::string_view body);

// Appends every line of the stream (split at line feeds) until reading fails.
void gf_readLines(std::istream& in, std::vector<std::string>& lines);
