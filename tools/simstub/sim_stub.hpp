#pragma once
// The simulator's side of the SimConnect protocol, for tests and demos: it
// listens on the pipe (a Unix-domain socket) and on TCP loopback, decodes
// every packet with its own tables, checks it, records it with the frame in
// which it arrived, keeps what the client registers, and answers.

#include "packet_table.hpp"

#include "platform/stream_socket.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace simstub {

struct Options {
    std::string applicationName = "Lockheed Martin Prepar3D v5";
    std::uint32_t versionMajor = 5;
    std::uint32_t versionMinor = 3;
    std::uint32_t buildMajor = 17;
    std::uint32_t buildMinor = 28;

    bool listenPipe = true;
    std::string pipeName = "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect";
    bool listenIpv4 = false;
    std::uint16_t ipv4Port = 0; // 0: any free port
    bool listenIpv6 = false;
    std::uint16_t ipv6Port = 0;

    // A mute simulator accepts connections and reads, but never answers.
    bool answerOpen = true;
    // Frames run by themselves at this interval; zero: only stepFrames() makes them.
    std::chrono::milliseconds frameInterval{0};
    float frameRate = 30.0f;
    float simSpeed = 1.0f;
    // Off for long runs: packets are then only counted.
    bool recordPackets = true;
};

struct Packet {
    std::size_t connection = 0; // 0 for the first accepted connection
    std::string name;           // e.g. "AICreateNonATCAircraft"
    std::uint32_t id = 0;
    std::uint32_t size = 0;
    std::uint32_t sendId = 0;
    std::uint64_t frame = 0; // frames sent before it arrived
    std::vector<std::uint8_t> bytes;
    FieldMap fields;

    std::uint32_t u32(std::string_view field) const;
    float f32(std::string_view field) const;
    double f64(std::string_view field) const;
    std::string text(std::string_view field) const;
    std::vector<std::uint8_t> data(std::string_view field) const;
};

struct DataDefinitionEntry {
    std::string datumName;
    std::string unitsName;
    std::uint32_t datumType = 0;
    float epsilon = 0.0f;
    std::uint32_t datumId = 0;
};

struct NotificationGroup {
    std::uint32_t priority = 0;
    std::vector<std::pair<std::uint32_t, bool>> events; // event id, maskable
};

// What one client connection registered.
struct ClientState {
    bool opened = false;
    std::string clientName;
    std::map<std::uint32_t, std::string> subscriptions; // event id -> system event name
    std::map<std::uint32_t, std::vector<DataDefinitionEntry>> dataDefinitions;
    std::map<std::uint32_t, std::string> clientEvents; // client event id -> simulator event name
    std::map<std::uint32_t, NotificationGroup> groups;
    bool closedByClient = false;
};

class SimStub {
public:
    explicit SimStub(Options options = {});
    ~SimStub();
    SimStub(const SimStub&) = delete;
    SimStub& operator=(const SimStub&) = delete;

    // Opens the listeners; false with a reason when one cannot be opened.
    bool start(std::string& error);
    void stop();

    std::uint16_t ipv4Port() const { return m_ipv4Port; }
    std::uint16_t ipv6Port() const { return m_ipv6Port; }
    const Options& options() const { return m_options; }

    // What arrived.
    std::size_t connectionCount() const;
    std::size_t packetCount() const { return m_packetCount.load(); }
    std::vector<Packet> packets() const;
    std::vector<Packet> packetsNamed(std::string_view name) const;
    std::vector<std::string> protocolErrors() const;
    ClientState clientState(std::size_t connection = lastConnection) const;
    std::uint64_t frameNumber() const { return m_frame.load(); }
    static constexpr std::size_t lastConnection = static_cast<std::size_t>(-1);

    // Answers and events, sent to every open connection.
    void stepFrames(int count = 1);
    // An EVENT to every connection subscribed to the system event.
    void sendSystemEvent(std::string_view systemEventName, std::uint32_t data);
    void sendException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index);
    void sendQuit();
    void sendRaw(const std::vector<std::uint8_t>& bytes);
    // Ends every connection in order, or abruptly (a reset where TCP allows it).
    void closeConnections();
    void dropConnections();

private:
    struct Session;

    void acceptLoop(platform::StreamListener* listener);
    void sessionLoop(Session* session);
    void frameLoop();
    void handlePacket(Session& session, std::vector<std::uint8_t> bytes);
    void send(Session& session, const std::vector<std::uint8_t>& message);
    void sendToAll(const std::vector<std::uint8_t>& message);
    std::vector<std::uint8_t> openMessage() const;
    void endSessions(bool abrupt);
    void protocolError(Session& session, std::string text);

    Options m_options;
    std::uint16_t m_ipv4Port = 0;
    std::uint16_t m_ipv6Port = 0;
    std::vector<std::unique_ptr<platform::StreamListener>> m_listeners;
    std::vector<std::thread> m_acceptThreads;
    std::thread m_frameThread;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_started{false};

    mutable std::mutex m_mutex; // sessions, records and client states
    std::vector<std::unique_ptr<Session>> m_sessions;
    std::vector<Packet> m_packets;
    std::vector<std::string> m_errors;
    std::atomic<std::size_t> m_packetCount{0};
    std::atomic<std::uint64_t> m_frame{0};
    std::mutex m_frameMutex; // one frame at a time
};

} // namespace simstub
