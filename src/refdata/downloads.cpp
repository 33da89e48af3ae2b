#include "refdata/downloads.hpp"

#include "foundation/app_hooks.hpp"
#include "foundation/atomic_file.hpp"
#include "foundation/log.hpp"
#include "foundation/text_file.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::mutex timeoutsMutex;
DownloadTimeouts timeouts;

std::string lf_env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

using Sink = std::function<bool(const char*, std::size_t)>;

extern "C" size_t lf_writeCallback(char* data, size_t size, size_t count, void* user)
{
    const auto& sink = *static_cast<const Sink*>(user);
    const size_t n = size * count;
    // Anything but n makes libcurl end the transfer with CURLE_WRITE_ERROR.
    return sink(data, n) ? n : 0;
}

// One GET of the URL on the handle, every block handed to the sink. Empty
// when the whole body arrived with a 2xx answer; else the reason.
std::string lf_perform(CURL* handle, const std::string& url, const Sink& sink)
{
    const DownloadTimeouts limits = gf_downloadTimeouts();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, lf_writeCallback);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &sink);
    // Error pages are no downloads.
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "https");
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, limits.lowSpeedBytes);
    curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.lowSpeedTime.count()));
    // Several threads fetch; timeouts must not rely on signals.
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    const std::string caFile = lf_env("NORVANE_CA_FILE");
    if (!caFile.empty())
        curl_easy_setopt(handle, CURLOPT_CAINFO, caFile.c_str());

    const CURLcode code = curl_easy_perform(handle);
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (code != CURLE_OK) {
        if (code == CURLE_HTTP_RETURNED_ERROR)
            return fmt::format("{} (HTTP status {})", curl_easy_strerror(code), status);
        return curl_easy_strerror(code);
    }
    if (status < 200 || status > 299)
        return fmt::format("HTTP status {}", status);
    return {};
}

} // namespace

std::string gf_updateServerUrl()
{
    std::string url = lf_env("NORVANE_UPDATE_URL");
    if (url.empty())
        url = kUpdateServerUrl;
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    return url;
}

std::string gf_updateUrl(std::string_view serverPath)
{
    return gf_updateServerUrl() + std::string(serverPath);
}

DownloadTimeouts gf_downloadTimeouts()
{
    std::lock_guard lock(timeoutsMutex);
    return timeouts;
}

void gf_setDownloadTimeouts(const DownloadTimeouts& value)
{
    std::lock_guard lock(timeoutsMutex);
    timeouts = value;
}

void lf_curlCleanup(CURL* handle)
{
    if (handle)
        curl_easy_cleanup(handle);
}

CurlHandle gf_makeCurlHandle()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    return CurlHandle(curl_easy_init(), &lf_curlCleanup);
}

bool gf_downloadToFile(CURL* handle, const std::string& url, const fs::path& path, bool binary,
                       const DownloadCheck& check)
{
    (void)binary; // Windows' text mode would add CRs; the server's bytes are kept as sent
    if (!handle)
        return false;
    TemporaryFile temp = gf_createTemporaryFileFor(path);
    if (!temp.file) {
        gf_logLine(fmt::format("could not open file: {}: {}", path.string(), std::strerror(errno)));
        return false;
    }
    // The announced length is refused by the library at once; a body sent
    // without one is counted here.
    const std::uint64_t maxBytes = gf_downloadTimeouts().maxBytes;
    curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(maxBytes));
    std::uint64_t received = 0;
    bool tooLarge = false;
    std::error_code writeError;
    const Sink sink = [&](const char* data, std::size_t n) {
        received += n;
        if (received > maxBytes) {
            tooLarge = true;
            return false;
        }
        if (std::fwrite(data, 1, n, temp.file.get()) == n)
            return true;
        writeError = std::error_code(errno, std::generic_category());
        return false;
    };
    std::string error = lf_perform(handle, url, sink);
    if (tooLarge)
        error = fmt::format("more than {} bytes", maxBytes);
    // The local file's failure is the cause; the transfer's "failed writing
    // received data" only its consequence.
    if (writeError)
        error = fmt::format("writing the local file failed: {}", writeError.message());
    std::error_code fileError = writeError;
    bool localFailure = static_cast<bool>(writeError);
    const bool closed = gf_closeTemporaryFile(temp, error.empty(), fileError);
    if (error.empty() && !closed) {
        error = fmt::format("writing the local file failed: {}", fileError.message());
        localFailure = true;
    }
    if (!error.empty()) {
        // A local file that cannot be written is the user's to mend: it is
        // said on the terminal too, a failed transfer only in the log.
        const std::string line = fmt::format("\"{}\" => \"{}\" download error: {}", url, path.string(), error);
        if (localFailure)
            gf_logProgressLine(line);
        else
            gf_logLine(line);
        return false;
    }
    std::error_code ignored;
    if (check && !check(temp.path)) {
        gf_logLine(fmt::format("\"{}\" => \"{}\" download refused", url, path.string()));
        fs::remove(temp.path, ignored);
        return false;
    }
    if (!gf_putTemporaryFileInPlace(temp.path, path, true, fileError)) {
        gf_logProgressLine(fmt::format("writing {} failed? {}", path.string(), gf_saveFailureText(path, fileError)));
        return false;
    }
    return true;
}

tzo::Version gf_downloadVersion(CURL* handle, const std::string& url)
{
    std::string body;
    std::string error = handle ? std::string() : std::string("no transfer handle");
    if (handle) {
        error = lf_perform(handle, url, [&](const char* data, std::size_t n) {
            if (body.size() + n > kMaxVersionFileSize)
                return false;
            body.append(data, n);
            return true;
        });
    }
    if (!error.empty()) {
        gf_logLine(fmt::format("\"{}\" download error: {}", url, error));
        gf_logLineMarked(fmt::format("downloading \"{}\" failed", url));
        return {};
    }
    return gf_parseVersionFile(body);
}

namespace {

// A JSON version line counts only with all three members as integers; a
// partial object would otherwise read as, say, 8.9.0.
tzo::Version lf_parseVersionText(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first != text.npos && text[first] == '{') {
        const auto json = nlohmann::json::parse(text, nullptr, false);
        if (json.is_discarded() || !json.is_object())
            return {};
        for (const char* member : {"major", "minor", "patch"}) {
            const auto it = json.find(member);
            if (it == json.end() || !it->is_number_integer())
                return {};
        }
    }
    return gf_parseVersion(text);
}

} // namespace

tzo::Version gf_parseVersionFile(std::string_view body)
{
    if (body.substr(0, 3) == "\xEF\xBB\xBF")
        body.remove_prefix(3);
    const auto first = body.find_first_not_of(" \t\r\n");
    if (first != body.npos && body[first] == '{') {
        // A pretty-printed object's first line is only "{".
        const tzo::Version whole = lf_parseVersionText(body.substr(first));
        if (whole != tzo::Version{})
            return whole;
    }
    std::vector<std::string> lines;
    std::istringstream in{std::string(body)};
    gf_readLines(in, lines);
    if (lines.empty())
        return gf_parseVersion("");
    std::string_view line = lines.front();
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return lf_parseVersionText(line);
}

void gf_readLines(std::istream& in, std::vector<std::string>& lines)
{
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
}
