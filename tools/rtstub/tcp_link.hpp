#pragma once
// The RealTraffic stand-in's TCP side: it connects to the program's server on
// 127.0.0.1 as RealTraffic does (trying again until the server is there, and
// again after the server closed), answers the version query in the way a test
// asks for, and records and parses every line it receives.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace rtstub {

enum class VersionReply {
    Whole,   // the JSON object in one write
    Split,   // the object in two writes, replyDelay apart
    Delayed, // the object in one write after replyDelay
    None,    // no answer at all
    Raw,     // rawReply as it is (garbage, odd objects)
};

struct TcpOptions {
    std::uint16_t port = 10747;
    std::string version = "9.0.1234";
    // 2 is the professional edition; negative leaves "level" out.
    int level = 1;
    VersionReply reply = VersionReply::Whole;
    std::string rawReply;
    std::chrono::milliseconds replyDelay{100};
    std::chrono::milliseconds retryInterval{20};
};

// The fields of a "Qs121=" line as numbers, in the units of the line.
struct PositionLine {
    double pitch = 0;       // radians x 100000
    double bank = 0;        // radians x 100000
    double heading = 0;     // radians
    double altitude = 0;    // feet x 1000
    double groundSpeed = 0; // knots x 1000
    double latitude = 0;    // radians
    double longitude = 0;   // radians
};

// Parses a line (without its line end) that begins with "Qs121="; nullopt
// unless it holds seven numbers separated by ';'.
std::optional<PositionLine> parsePositionLine(std::string_view line);
// Parses "Qs123=<integer>"; nullopt otherwise.
std::optional<std::int64_t> parseTimeLine(std::string_view line);

// The JSON object the stand-in answers "Qs999=version" with.
std::string versionReplyText(const TcpOptions& options);

class TcpLink {
public:
    explicit TcpLink(TcpOptions options);
    ~TcpLink();
    TcpLink(const TcpLink&) = delete;
    TcpLink& operator=(const TcpLink&) = delete;

    // Starts connecting, trying every retryInterval until the server accepts.
    void start();
    // Closes the connection and stays away until start() is called again.
    void disconnect();
    void stop();

    // How the next version query is answered.
    void setReply(VersionReply reply, std::string rawReply = {});

    bool connected() const { return m_connected.load(); }
    // Connections made so far.
    int connections() const { return m_connections.load(); }
    // Every line received, without its "\r\n", in order.
    std::vector<std::string> lines() const;
    std::vector<PositionLine> positions() const;
    std::vector<std::int64_t> times() const;
    int versionQueries() const;
    int exits() const;
    // Lines that are none of the known messages or do not parse.
    std::vector<std::string> badLines() const;
    // Bytes received after the last "\r\n" (a line not yet ended).
    std::string pending() const;

private:
    void run();
    void serve(int fd);
    void onLine(int fd, std::string line);
    void answerVersion(int fd);
    bool sleepUnlessAsked(std::chrono::milliseconds pause);

    TcpOptions m_options;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_wanted = false;
    bool m_stop = false;
    int m_fd = -1;
    std::string m_pending;
    std::vector<std::string> m_lines;
    std::vector<PositionLine> m_positions;
    std::vector<std::int64_t> m_times;
    std::vector<std::string> m_badLines;
    int m_versionQueries = 0;
    int m_exits = 0;
    std::atomic<bool> m_connected{false};
    std::atomic<int> m_connections{0};
    std::thread m_thread;
};

} // namespace rtstub
