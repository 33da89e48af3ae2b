#include "sim_stub.hpp"
#include "stub_messages.hpp"

#include "platform/pipe.hpp"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <fmt/format.h>
#include <stdexcept>

namespace simstub {

namespace {

// Message ids and sizes of what the stand-in sends.
constexpr std::uint32_t kRecvOpen = 2;
constexpr std::uint32_t kRecvQuit = 3;
constexpr std::uint32_t kRecvEvent = 4;
constexpr std::uint32_t kRecvEventFrame = 7;

constexpr std::uint32_t kOpenSize = 308;
constexpr std::uint32_t kQuitSize = 12;
constexpr std::uint32_t kEventFrameSize = 36; // with the trailing flags word of this generation

constexpr std::uint32_t kExceptionError = 1;
constexpr std::uint32_t kExceptionSizeMismatch = 2;
constexpr std::uint32_t kExceptionUnrecognizedId = 3;
constexpr std::uint32_t kExceptionVersionMismatch = 5;

constexpr std::uint32_t kLargestPacket = 1024 * 1024;

bool equalsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

template <typename T>
const T& fieldAs(const FieldMap& fields, std::string_view name)
{
    auto it = fields.find(name);
    if (it == fields.end())
        throw std::out_of_range(fmt::format("no field {}", name));
    return std::get<T>(it->second);
}

} // namespace

std::uint32_t Packet::u32(std::string_view field) const { return fieldAs<std::uint32_t>(fields, field); }
float Packet::f32(std::string_view field) const { return fieldAs<float>(fields, field); }
double Packet::f64(std::string_view field) const { return fieldAs<double>(fields, field); }
std::string Packet::text(std::string_view field) const { return fieldAs<std::string>(fields, field); }
std::vector<std::uint8_t> Packet::data(std::string_view field) const
{
    return fieldAs<std::vector<std::uint8_t>>(fields, field);
}


SimStub::SimStub(Options options) : m_options(std::move(options))
{
    initWorld();
}

SimStub::~SimStub()
{
    stop();
}

bool SimStub::start(std::string& error)
{
    std::error_code ec;
    if (m_options.listenPipe) {
        auto l = std::make_unique<platform::StreamListener>(platform::listenPipe(m_options.pipeName, ec));
        if (!l->valid()) {
            // The socket's path says where the trouble is (a folder that
            // cannot be made, a path too long for a local socket).
            const auto path = platform::pipeSocketPathAnyLength(m_options.pipeName);
            error = fmt::format("cannot listen on pipe {} ({}): {}", m_options.pipeName,
                                path ? path->string() : std::string("no local pipe"), ec.message());
            return false;
        }
        m_listeners.push_back(std::move(l));
    }
    // The port actually bound goes to `bound` (the asked one may be 0).
    auto listenTcp = [&](platform::IpFamily family, std::string_view address, std::uint16_t port,
                         std::uint16_t& bound) {
        auto l = std::make_unique<platform::StreamListener>(
            platform::StreamListener::listenTcpLoopback(family, port, ec));
        if (!l->valid()) {
            error = fmt::format("cannot listen on {}:{}: {}", address, port, ec.message());
            return false;
        }
        bound = l->port();
        m_listeners.push_back(std::move(l));
        return true;
    };
    if (m_options.listenIpv4 && !listenTcp(platform::IpFamily::V4, "127.0.0.1", m_options.ipv4Port, m_ipv4Port))
        return false;
    if (m_options.listenIpv6 && !listenTcp(platform::IpFamily::V6, "[::1]", m_options.ipv6Port, m_ipv6Port))
        return false;
    for (auto& l : m_listeners)
        m_acceptThreads.emplace_back([this, listener = l.get()] { acceptLoop(listener); });
    if (m_options.frameInterval.count() > 0)
        m_frameThread = std::thread([this] { frameLoop(); });
    if (m_options.secondInterval.count() > 0)
        m_secondThread = std::thread([this] { secondLoop(); });
    m_started = true;
    return true;
}

void SimStub::stop()
{
    if (m_stopping.exchange(true))
        return;
    for (auto& l : m_listeners)
        l->shutdown();
    for (auto& t : m_acceptThreads)
        if (t.joinable())
            t.join();
    if (m_frameThread.joinable())
        m_frameThread.join();
    if (m_secondThread.joinable())
        m_secondThread.join();
    endSessions(false);
    for (auto& l : m_listeners)
        l->close();
}

void SimStub::acceptLoop(platform::StreamListener* listener)
{
    const bool tcp = listener->unixPath().empty();
    while (!m_stopping) {
        std::error_code ec;
        platform::StreamSocket socket = listener->accept(ec);
        if (!socket.valid() || m_stopping)
            return;
        std::lock_guard lock(m_mutex);
        auto session = std::make_unique<Session>();
        session->index = m_sessions.size();
        session->socket = std::move(socket);
        session->tcp = tcp;
        Session* raw = session.get();
        m_sessions.push_back(std::move(session));
        raw->reader = std::thread([this, raw] { sessionLoop(raw); });
    }
}

void SimStub::frameLoop()
{
    auto next = std::chrono::steady_clock::now();
    while (!m_stopping) {
        next += m_options.frameInterval;
        std::this_thread::sleep_until(next);
        if (m_stopping)
            break;
        stepFrames(1);
    }
}

void SimStub::sessionLoop(Session* session)
{
    std::vector<std::uint8_t> buffer;
    std::uint8_t chunk[16384];
    for (;;) {
        {
            std::unique_lock lock(m_readingMutex);
            m_readingChanged.wait(lock, [&] { return !m_holdReading || session->ending || m_stopping; });
        }
        std::error_code ec;
        const long n = session->socket.receive(chunk, sizeof chunk, ec);
        if (n <= 0) {
            if (!session->ending) {
                std::lock_guard lock(m_mutex);
                session->state.closedByClient = true;
            }
            removeObjectsOf(*session);
            return;
        }
        buffer.insert(buffer.end(), chunk, chunk + n);
        std::size_t pos = 0;
        while (buffer.size() - pos >= 4) {
            const std::uint32_t size = readU32At(buffer.data() + pos);
            if (size < kPacketHeaderSize || size > kLargestPacket) {
                // Nothing after a broken size word can be trusted.
                protocolError(*session, fmt::format("packet size {} cannot be right; stream abandoned", size));
                session->socket.shutdown();
                return;
            }
            if (buffer.size() - pos < size)
                break;
            handlePacket(*session, std::vector<std::uint8_t>(buffer.begin() + static_cast<std::ptrdiff_t>(pos),
                                                             buffer.begin() + static_cast<std::ptrdiff_t>(pos + size)));
            pos += size;
        }
        buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(pos));
    }
}

void SimStub::protocolError(Session& session, std::string text)
{
    std::lock_guard lock(m_mutex);
    m_errors.push_back(fmt::format("connection {}: {}", session.index, text));
}

void SimStub::handlePacket(Session& session, std::vector<std::uint8_t> bytes)
{
    DecodeResult d = decodePacket(bytes);
    Messages answers;
    ObjectEvents objectEvents;
    bool misdirected = false;
    std::optional<Packet> record;
    auto exception = [&](std::uint32_t code, std::uint32_t index) {
        answers.push_back(exceptionMessage(code, d.sendId, index));
    };
    {
        std::lock_guard lock(m_mutex);
        // Send ids rise by one per packet; a packet the client refused to send
        // still used one, so a gap is fine, a step back or a repeat is not.
        if (d.sendId != 0) {
            if (session.hasSendId) {
                const std::uint32_t step = d.sendId - session.lastSendId;
                if (step == 0 || step >= 0x80000000u)
                    m_errors.push_back(fmt::format("connection {}: send id {} after {}", session.index, d.sendId,
                                                   session.lastSendId));
            }
            session.hasSendId = true;
            session.lastSendId = d.sendId;
        }
        if (!d.error.empty()) {
            m_errors.push_back(fmt::format("connection {}: {}", session.index, d.error));
            if (d.version != kProtocolVersion)
                exception(kExceptionVersionMismatch, 0);
            else if (!d.spec)
                exception(kExceptionError, 0);
            else
                exception(kExceptionSizeMismatch, 0);
        } else {
            ClientState& st = session.state;
            const std::string_view name = d.spec->name;
            auto u32 = [&](std::string_view f) { return std::get<std::uint32_t>(d.fields.find(f)->second); };
            auto text = [&](std::string_view f) { return std::get<std::string>(d.fields.find(f)->second); };
            if (name != "Open" && !st.opened)
                m_errors.push_back(fmt::format("connection {}: {} before Open", session.index, name));
            if (name == "Open") {
                if (st.opened)
                    m_errors.push_back(fmt::format("connection {}: second Open", session.index));
                st.opened = true;
                st.clientName = text("applicationName");
                answers.push_back(openMessage());
            } else if (name == "SubscribeToSystemEvent") {
                st.subscriptions[u32("eventId")] = text("eventName");
            } else if (name == "UnsubscribeFromSystemEvent") {
                if (st.subscriptions.erase(u32("eventId")) == 0)
                    exception(kExceptionUnrecognizedId, 1);
            } else if (name == "AddToDataDefinition") {
                st.dataDefinitions[u32("defineId")].push_back(
                    {text("datumName"), text("unitsName"), u32("datumType"),
                     std::get<float>(d.fields.find("epsilon")->second), u32("datumId")});
            } else if (name == "ClearDataDefinition") {
                if (st.dataDefinitions.erase(u32("defineId")) == 0)
                    exception(kExceptionUnrecognizedId, 1);
            } else if (name == "MapClientEventToSimEvent") {
                st.clientEvents[u32("eventId")] = text("eventName");
            } else if (name == "AddClientEventToNotificationGroup") {
                if (!st.clientEvents.contains(u32("eventId")))
                    exception(kExceptionUnrecognizedId, 2);
                else
                    st.groups[u32("groupId")].events.emplace_back(u32("eventId"), u32("maskable") != 0);
            } else if (name == "SetNotificationGroupPriority") {
                auto it = st.groups.find(u32("groupId"));
                if (it == st.groups.end())
                    exception(kExceptionUnrecognizedId, 1);
                else
                    it->second.priority = u32("priority");
            } else {
                handleWorldPacket(session, d, answers, objectEvents, misdirected);
            }
        }
        // The packet is published only after its answers went out: a test
        // that sees it recorded may rely on the answers being on their way.
        if (m_options.recordPackets || misdirected) {
            record.emplace();
            record->connection = session.index;
            record->name = d.spec ? std::string(d.spec->name) : std::string("?");
            record->id = d.id;
            record->size = d.size;
            record->sendId = d.sendId;
            record->frame = m_frame.load();
            if (m_options.recordPackets)
                record->bytes = std::move(bytes);
            record->fields = std::move(d.fields);
        }
    }
    if (m_options.answerOpen) {
        for (const auto& answer : answers)
            send(session, answer);
        sendObjectEvents(objectEvents);
    }
    std::lock_guard lock(m_mutex);
    if (record) {
        if (misdirected)
            m_misdirected.push_back(*record);
        if (m_options.recordPackets)
            m_packets.push_back(std::move(*record));
    }
    if (d.sendId != 0)
        session.handledSendId = d.sendId;
    ++m_packetCount;
}

std::uint32_t SimStub::handledSendId(std::size_t connection) const
{
    std::lock_guard lock(m_mutex);
    for (const auto& session : m_sessions)
        if (session->index == connection)
            return session->handledSendId;
    return 0;
}

std::vector<std::uint8_t> SimStub::openMessage() const
{
    return MessageBuilder(kOpenSize, kRecvOpen)
        .text(12, 256, m_options.applicationName)
        .u32(268, m_options.versionMajor)
        .u32(272, m_options.versionMinor)
        .u32(276, m_options.buildMajor)
        .u32(280, m_options.buildMinor)
        .u32(284, 5) // SimConnect version and build of this simulator generation
        .u32(288, 0)
        .u32(292, 0)
        .u32(296, 0)
        .bytes();
}

void SimStub::send(Session& session, const std::vector<std::uint8_t>& message)
{
    std::lock_guard lock(session.writeMutex);
    if (session.ending)
        return;
    std::error_code ec;
    if (m_options.paddingWords == 0) {
        session.socket.sendAll(message.data(), message.size(), ec);
        return;
    }
    std::vector<std::uint8_t> padded(std::size_t(m_options.paddingWords) * 4, 0);
    padded.insert(padded.end(), message.begin(), message.end());
    session.socket.sendAll(padded.data(), padded.size(), ec);
}

void SimStub::sendToAll(const std::vector<std::uint8_t>& message)
{
    std::vector<Session*> targets;
    {
        std::lock_guard lock(m_mutex);
        for (auto& s : m_sessions)
            if (!s->ended)
                targets.push_back(s.get());
    }
    for (Session* s : targets)
        send(*s, message);
}

void SimStub::stepFrames(int count)
{
    std::lock_guard frameLock(m_frameMutex);
    for (int i = 0; i < count; ++i) {
        ++m_frame;
        const auto targets = subscribers("Frame");
        answerPeriodic(false);
        for (auto [session, eventId] : targets) {
            send(*session, MessageBuilder(kEventFrameSize, kRecvEventFrame)
                               .u32(12, kNoGroup)
                               .u32(16, eventId)
                               .u32(20, 0)
                               .f32(24, m_options.frameRate)
                               .f32(28, m_options.simSpeed)
                               .u32(32, 0)
                               .bytes());
        }
    }
}

std::vector<std::pair<SimStub::Session*, std::uint32_t>> SimStub::subscribers(std::string_view systemEventName) const
{
    std::vector<std::pair<Session*, std::uint32_t>> targets;
    std::lock_guard lock(m_mutex);
    for (const auto& s : m_sessions) {
        if (s->ended)
            continue;
        for (const auto& [eventId, name] : s->state.subscriptions)
            if (equalsNoCase(name, systemEventName))
                targets.emplace_back(s.get(), eventId);
    }
    return targets;
}

void SimStub::sendSystemEvent(std::string_view systemEventName, std::uint32_t data)
{
    for (auto [session, eventId] : subscribers(systemEventName))
        send(*session, eventMessage(kRecvEvent, eventId, data, 0, false));
}

void SimStub::sendException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index)
{
    sendToAll(exceptionMessage(exception, sendId, index));
}

void SimStub::sendQuit()
{
    sendToAll(MessageBuilder(kQuitSize, kRecvQuit).bytes());
}

void SimStub::sendRaw(const std::vector<std::uint8_t>& bytes)
{
    sendToAll(bytes);
}

void SimStub::closeConnections()
{
    endSessions(false);
}

void SimStub::dropConnections()
{
    endSessions(true);
}

void SimStub::holdReading(bool hold)
{
    {
        std::lock_guard lock(m_readingMutex);
        m_holdReading = hold;
    }
    m_readingChanged.notify_all();
}

void SimStub::endSessions(bool abrupt)
{
    std::vector<Session*> targets;
    {
        std::lock_guard lock(m_mutex);
        for (auto& s : m_sessions)
            if (!s->ended) {
                s->ended = true;
                targets.push_back(s.get());
            }
    }
    for (Session* s : targets) {
        {
            std::lock_guard lock(s->writeMutex);
            s->ending = true;
            if (abrupt && s->tcp) {
                // Linger 0 makes the close send a reset; reading is stopped
                // without a FIN so that the close is the first the peer hears.
                s->socket.setAbortiveClose();
                s->socket.shutdownReceive();
            } else {
                s->socket.shutdown();
            }
        }
        {
            // A reader held back must see the end, not wait for ever.
            std::lock_guard lock(m_readingMutex);
        }
        m_readingChanged.notify_all();
        if (s->reader.joinable())
            s->reader.join();
        s->socket.close();
    }
}

std::size_t SimStub::connectionCount() const
{
    std::lock_guard lock(m_mutex);
    return m_sessions.size();
}

std::vector<Packet> SimStub::packets() const
{
    std::lock_guard lock(m_mutex);
    return m_packets;
}

std::vector<Packet> SimStub::packetsNamed(std::string_view name) const
{
    std::lock_guard lock(m_mutex);
    std::vector<Packet> result;
    for (const auto& p : m_packets)
        if (p.name == name)
            result.push_back(p);
    return result;
}

std::vector<std::string> SimStub::protocolErrors() const
{
    std::lock_guard lock(m_mutex);
    return m_errors;
}

ClientState SimStub::clientState(std::size_t connection) const
{
    std::lock_guard lock(m_mutex);
    if (m_sessions.empty())
        return {};
    if (connection == lastConnection || connection >= m_sessions.size())
        connection = m_sessions.size() - 1;
    return m_sessions[connection]->state;
}

void announceRunningFlight(SimStub& stub, std::set<std::size_t>& told)
{
    bool newSubscriber = false;
    for (std::size_t i = 0; i < stub.connectionCount(); ++i) {
        if (told.contains(i))
            continue;
        for (const auto& [id, name] : stub.clientState(i).subscriptions) {
            if (name == "Sim") {
                told.insert(i);
                newSubscriber = true;
                break;
            }
        }
    }
    if (newSubscriber)
        stub.sendSystemEvent("Sim", 1);
}

} // namespace simstub
