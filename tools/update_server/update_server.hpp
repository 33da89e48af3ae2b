#pragma once
// The local HTTPS update server of the tests: server.py run as a child
// process on a loopback port, with a CA and certificate made by openssl in
// its work folder. Point the program at it with NORVANE_UPDATE_URL=baseUrl()
// and NORVANE_CA_FILE=caFile().

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace updateserver {

// What the server answers for one path instead of its file.
enum class Failure {
    NotFound,    // 404
    ServerError, // 500 with an HTML page
    HtmlPage,    // 200 with an HTML page
    Cut,         // full length announced, half the body sent, connection closed
    Stall,       // nothing answered
    StallBody,   // headers and half the body, then nothing
    Redirect,    // 302 to `to`
    Slow,        // full length announced, the body sent at 100 bytes a second
};

class UpdateServer {
public:
    // Serves workFolder/root; certificates, rules and request log live in
    // workFolder too. Throws std::runtime_error when the server does not start.
    explicit UpdateServer(const std::filesystem::path& workFolder);
    ~UpdateServer();
    UpdateServer(const UpdateServer&) = delete;
    UpdateServer& operator=(const UpdateServer&) = delete;

    // "https://127.0.0.1:<port>", no trailing slash.
    std::string baseUrl() const;
    int port() const { return m_port; }
    pid_t pid() const { return m_pid; }
    std::filesystem::path caFile() const { return m_work / "certs" / "ca.pem"; }
    std::filesystem::path root() const { return m_work / "root"; }

    // Writes the bytes as the file served under the URL path ("/downloads/...").
    void put(const std::string& urlPath, const std::string& content) const;
    void remove(const std::string& urlPath) const;

    void fail(const std::string& urlPath, Failure failure, const std::string& to = {});
    void clearFailures();

    // Every request path so far, in order; and how many asked for one path.
    std::vector<std::string> requests() const;
    int requestCount(const std::string& urlPath) const;
    void clearRequests() const;

    // A CA of its own (ca.pem) in the folder, trusted by nobody else.
    static void makeCertificates(const std::filesystem::path& folder);

private:
    void writeRules() const;

    std::filesystem::path m_work;
    pid_t m_pid = -1;
    int m_port = 0;
    std::vector<std::pair<std::string, std::pair<Failure, std::string>>> m_failures;
};

} // namespace updateserver
