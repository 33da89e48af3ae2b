#include "simconnect/connection.hpp"

#include "foundation/app_hooks.hpp"
#include "platform/pipe.hpp"
#include "simconnect/sim_hooks.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>
#include <span>
#include <string>

namespace tzo {

namespace {

// How long a busy pipe is waited for before the next try.
constexpr std::chrono::milliseconds kPipeBusyWait{5000};
// How long a socket that does not answer is waited for, like a busy pipe.
constexpr std::chrono::milliseconds kSocketConnectWait{5000};
// How long close() lets the writer finish what was flushed.
constexpr std::chrono::milliseconds kCloseDrainWait{100};

// A pipe whose socket path is too long never opens, whatever the simulator
// does: that is said once for each path instead of waited on in silence.
void lf_reportUnusablePipe(std::string_view pipeName)
{
    const auto path = platform::pipeSocketPathAnyLength(pipeName);
    if (!path)
        return;
    const std::string text = path->string();
    {
        static std::mutex mutex;
        static std::set<std::string> told;
        std::lock_guard lock(mutex);
        if (!told.insert(text).second)
            return;
    }
    gf_showError(fmt::format("pipe path too long: {} has {} bytes, a local socket path at most {}; "
                             "set NORVANE_PIPE_DIR to a shorter folder",
                             text, text.size(), platform::kMaxPipeSocketPathBytes));
    if (const SimLayerHooks hooks = gf_simLayerHooks(); hooks.nothingLeftToDo)
        hooks.nothingLeftToDo();
}

platform::StreamSocket lf_openTransport(const SimConnectTransport& transport, bool disableNagle)
{
    std::error_code ec;
    if (transport.kind == SimConnectTransport::Kind::Pipe) {
        auto socket = platform::connectPipe(transport.address, kPipeBusyWait, ec);
        if (ec == std::errc::filename_too_long)
            lf_reportUnusablePipe(transport.address);
        return socket;
    }
    auto socket = platform::StreamSocket::connectTcp(transport.family, transport.address, transport.port,
                                                       kSocketConnectWait, ec);
    if (socket.valid() && disableNagle)
        socket.setNoDelay(true);
    return socket;
}

std::string lf_streamFaultText(SimFailure failure, const MessageFramer& framer)
{
    switch (failure.category) {
    case simfail::kTooLarge:
        return "a message larger than a message may be: " + framer.describeFront();
    case simfail::kBadSize:
        return "a size no message has: " + framer.describeFront();
    case simfail::kOutOfMemory:
        return "no memory to receive a message: " + framer.describeFront();
    default:
        return {};
    }
}

} // namespace

std::mutex& gf_simConnectSendLock()
{
    static std::mutex lock;
    return lock;
}

std::shared_ptr<SimConnectConnection> SimConnectConnection::open(std::uint32_t configIndex, int& failure)
{
    const SimConnectRegisteredPorts ports = gf_simConnectRegisteredPorts();
    SimConnectConfig config;
    if (!gf_loadSimConnectConfig(configIndex, ports, config)) {
        failure = 3;
        return nullptr;
    }
    const bool ipv6 = platform::resolvesAsStream(platform::IpFamily::V6, "::1");
    for (const auto& transport : gf_simConnectTransportPlan(config, ports, ipv6)) {
        platform::StreamSocket socket = lf_openTransport(transport, config.disableNagle);
        if (!socket.valid())
            continue;
        const auto kind = transport.kind == SimConnectTransport::Kind::Pipe ? TransportKind::Pipe : TransportKind::Socket;
        return std::make_shared<SimConnectConnection>(std::move(socket), kind, config.maxReceiveSize);
    }
    failure = 1;
    return nullptr;
}

SimConnectConnection::SimConnectConnection(platform::StreamSocket socket, TransportKind kind,
                                           std::uint32_t maxReceiveSize)
    : m_socket(std::move(socket)),
      m_kind(kind),
      m_connectedAt(std::chrono::steady_clock::now()),
      m_maxReceiveSize(maxReceiveSize)
{
    m_outgoing.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(kOutgoingBufferSize);
    m_reader = std::thread([this] { readerLoop(); });
    m_writer = std::thread([this] { writerLoop(); });
}

SimConnectConnection::~SimConnectConnection()
{
    close();
}

void SimConnectConnection::setSignal(void* window, std::uint32_t userMessage, SimConnectSignal* event)
{
    m_window = window;
    m_userMessage = userMessage;
    m_event = event;
}

SimFailure SimConnectConnection::failure() const
{
    std::lock_guard lock(m_failureMutex);
    return m_failure;
}

void SimConnectConnection::fail(SimFailure failure, std::string streamFault)
{
    std::lock_guard lock(m_failureMutex);
    if (m_failed)
        return; // the first failure is the one that counts
    m_failure = failure;
    m_streamFault = std::move(streamFault);
    m_failed = true;
}

std::string SimConnectConnection::streamFault() const
{
    std::lock_guard lock(m_failureMutex);
    return m_streamFault;
}

bool SimConnectConnection::lf_testLink()
{
    if (std::chrono::steady_clock::now() - m_connectedAt >= kLinkTestDelay)
        fail({simfail::kLinkTest, simfail::kStatusLinkTest});
    return m_failed;
}

bool SimConnectConnection::lf_flushHandingOver()
{
    if (!m_connected) {
        m_writePos = m_flushedPos = 0;
        return true;
    }
    if (m_writeHolds > 0) {
        // Nothing flushed now would ever leave a broken stream.
        m_writePos = m_flushedPos;
        return false;
    }
    m_flushedPos = m_writePos;
    if (!lf_handOver())
        return false;
    m_lastSentPacketId = m_pendingSendId;
    return true;
}

void SimConnectConnection::holdWrites()
{
    ++m_writeHolds;
}

bool SimConnectConnection::releaseWrites()
{
    if (m_writeHolds == 0 || --m_writeHolds > 0)
        return true;
    return lf_handOver();
}

bool SimConnectConnection::lf_holdFullBuffer()
{
    if (m_writeHolds == 0 || m_streamBroken.load())
        return false;
    SendChunk full = std::move(m_outgoing);
    full.start = 0;
    full.end = m_flushedPos;
    m_heldBytes += m_flushedPos;
    m_heldChunks.push_back(std::move(full));
    {
        std::lock_guard lock(m_sendQueueMutex);
        m_outgoing = lf_newChunk();
    }
    m_writePos = m_flushedPos = 0;
    return true;
}

void SimConnectConnection::lf_keepSpare(SendChunk chunk)
{
    // A burst that needed many gives the rest of its memory back.
    constexpr std::size_t kSpareChunks = 8;
    if (m_spareChunks.size() < kSpareChunks)
        m_spareChunks.push_back(std::move(chunk));
}

SimConnectConnection::SendChunk SimConnectConnection::lf_newChunk()
{
    SendChunk chunk;
    if (m_spareChunks.empty()) {
        chunk.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(kOutgoingBufferSize);
    } else {
        chunk = std::move(m_spareChunks.back());
        m_spareChunks.pop_back();
    }
    chunk.start = chunk.end = 0;
    return chunk;
}

bool SimConnectConnection::lf_handOver()
{
    // In order: the full buffers put aside under a hold, then this buffer's bytes.
    const std::size_t size = m_flushedPos;
    m_writePos = m_flushedPos = 0;
    const std::size_t total = m_heldBytes + size;
    if (total == 0)
        return true;
    std::unique_lock lock(m_sendQueueMutex);
    // A simulator that stops reading must not make us hold its packets without end.
    bool handed = !m_stopWriter && lf_roomFor(size);
    m_refusedForRoom = !m_stopWriter && !handed;
    std::size_t sent = 0;
    if (handed && !m_writing && m_sendQueue.empty()) {
        // Nothing ahead of these bytes: the stream takes what it can at once
        // in one gathered write, without a copy or a wake-up of the writer;
        // it never makes us wait.
        m_writing = true;
        lock.unlock();
        m_handOverPieces.clear();
        for (const SendChunk& chunk : m_heldChunks)
            m_handOverPieces.emplace_back(chunk.bytes.get() + chunk.start, chunk.end - chunk.start);
        m_handOverPieces.emplace_back(m_outgoing.bytes.get(), size);
        std::error_code ec;
        sent = m_socket.sendGatheredNow(m_handOverPieces, ec);
        m_writesMade.fetch_add(1);
        lock.lock();
        m_writing = false;
        if (ec) {
            fail(lf_failureOfError(ec));
            lf_stopWriting();
            handed = false;
        }
        lf_tellIfIdle();
    }
    // What the stream did not take waits for the writer thread, in order.
    for (SendChunk& chunk : m_heldChunks) {
        const std::size_t taken = std::min(sent, chunk.end - chunk.start);
        chunk.start += taken;
        sent -= taken;
        if (handed && chunk.start < chunk.end) {
            m_sendQueueBytes += chunk.end - chunk.start;
            m_sendQueue.push_back(std::move(chunk));
        } else {
            lf_keepSpare(std::move(chunk));
        }
    }
    m_heldChunks.clear();
    m_heldBytes = 0;
    if (handed && sent < size) {
        // A large rest goes as the buffer it is in (another one takes its
        // place), a small one is copied behind what waits.
        const std::size_t rest = size - sent;
        if (rest >= kOutgoingBufferSize / 4) {
            SendChunk whole = std::move(m_outgoing);
            whole.start = sent;
            whole.end = size;
            m_sendQueue.push_back(std::move(whole));
            m_outgoing = lf_newChunk();
        } else {
            if (m_sendQueue.empty() || kOutgoingBufferSize - m_sendQueue.back().end < rest)
                m_sendQueue.push_back(lf_newChunk());
            SendChunk& tail = m_sendQueue.back();
            std::memcpy(tail.bytes.get() + tail.end, m_outgoing.bytes.get() + sent, rest);
            tail.end += rest;
        }
        m_sendQueueBytes += rest;
    }
    if (m_writerWaiting && writerMayTake())
        m_sendQueueChanged.notify_all();
    return handed;
}

void SimConnectConnection::lf_stopWriting()
{
    m_sendQueue.clear();
    m_sendQueueBytes = 0;
    m_stopWriter = true;
    m_streamBroken = true;
    m_sendQueueChanged.notify_all();
    m_sendIdle.notify_all();
}

void SimConnectConnection::lf_tellIfIdle()
{
    // Only close() waits for this; everybody else would be woken for nothing.
    if (m_idleAwaited && m_sendQueue.empty() && !m_writing)
        m_sendIdle.notify_all();
}

bool SimConnectConnection::writerMayTake() const
{
    return !m_writing && !m_sendQueue.empty();
}

SimFailure SimConnectConnection::lf_failureOfError(const std::error_code& ec) const
{
    if (m_closing)
        return {simfail::kCancelled, simfail::kStatusCancelled};
    switch (ec.value()) {
    case ECONNRESET:
        return {simfail::kDisconnected, simfail::kStatusConnectionReset};
    case EPIPE:
        return {simfail::kDisconnected, simfail::kStatusPipeBroken};
    case ENOTCONN:
    case ESHUTDOWN:
    case ECONNABORTED:
        return {simfail::kDisconnected, simfail::kStatusRemoteDisconnect};
    default:
        return {simfail::kOther, simfail::kStatusUnsuccessful};
    }
}

void SimConnectConnection::readerLoop()
{
    MessageFramer framer(m_maxReceiveSize);
    std::vector<std::vector<std::uint8_t>> messages;
    for (;;) {
        std::span<std::uint8_t> space;
        m_receiveCapacity = framer.capacity();
        if (SimFailure f = framer.freeSpace(space)) {
            fail(f, lf_streamFaultText(f, framer));
            return;
        }
        m_receiveCapacity = framer.capacity();
        std::error_code ec;
        const long n = m_socket.receive(space.data(), space.size(), ec);
        if (m_closing) {
            fail({simfail::kCancelled, simfail::kStatusCancelled});
            return;
        }
        // The simulator closing ends the stream between two messages; an end
        // inside one means the stream itself was broken.
        const auto cutText = [&] {
            return framer.pending() == 0 ? std::string()
                                         : "the stream ended inside a message: " + framer.describeFront();
        };
        if (n < 0) {
            fail(lf_failureOfError(ec), cutText());
            return;
        }
        if (n == 0) {
            // A pipe whose server went away reports a broken pipe; a socket
            // reports the orderly end as a read of zero bytes.
            fail(m_kind == TransportKind::Pipe ? SimFailure{simfail::kDisconnected, simfail::kStatusPipeBroken}
                                               : SimFailure{simfail::kZeroRead, simfail::kStatusZeroRead},
                 cutText());
            return;
        }
        m_receivedAnything = true;
        messages.clear();
        const SimFailure f = framer.commit(static_cast<std::size_t>(n), messages);
        if (!messages.empty()) {
            {
                std::lock_guard lock(m_receivedMutex);
                for (auto& m : messages)
                    m_received.push_back(std::move(m));
            }
            // A window given by the caller is kept; only the event form can be
            // signalled from here (the program gives neither).
            if (SimConnectSignal* event = m_event.load())
                event->signal();
        }
        if (f) {
            fail(f, lf_streamFaultText(f, framer));
            return;
        }
    }
}

void SimConnectConnection::writerLoop()
{
    std::vector<SendChunk> writing;
    std::vector<std::span<const std::uint8_t>> pieces;
    std::unique_lock lock(m_sendQueueMutex);
    for (;;) {
        m_writerWaiting = true;
        m_sendQueueChanged.wait(lock, [this] { return m_stopWriter || writerMayTake(); });
        m_writerWaiting = false;
        if (m_stopWriter)
            return;
        // Everything waiting, in order, in one gathered write.
        writing.swap(m_sendQueue);
        m_writingBytes = m_sendQueueBytes.exchange(0);
        m_writing = true;
        lock.unlock();
        pieces.clear();
        for (const SendChunk& chunk : writing)
            pieces.emplace_back(chunk.bytes.get() + chunk.start, chunk.end - chunk.start);
        m_writesMade.fetch_add(1);
        std::error_code ec;
        const bool written = m_socket.sendAllGathered(pieces, ec);
        lock.lock();
        m_writing = false;
        m_writingBytes = 0;
        if (!written) {
            fail(lf_failureOfError(ec));
            lf_stopWriting();
            return;
        }
        for (SendChunk& chunk : writing)
            lf_keepSpare(std::move(chunk));
        writing.clear();
        lf_tellIfIdle();
    }
}

void SimConnectConnection::dispatchQueued(SimConnectDispatchProc proc, void* context)
{
    for (;;) {
        std::vector<std::uint8_t> message;
        {
            std::lock_guard lock(m_receivedMutex);
            if (m_received.empty())
                return;
            message = std::move(m_received.front());
            m_received.pop_front();
        }
        if (message.size() >= sizeof(SimConnectRecv) && proc)
            proc(reinterpret_cast<SimConnectRecv*>(message.data()), static_cast<std::uint32_t>(message.size()),
                 context);
    }
}

int SimConnectConnection::dispatch(SimConnectDispatchProc proc, void* context)
{
    dispatchQueued(proc, context);
    if (!testFailure())
        return 0;
    // The reader queues what it read before it records the failure that ended
    // it, so a failure seen here may have come after the queue was found
    // empty. Whatever it queued is handed over now: the caller closes on this
    // result, and a QUIT or an EXCEPTION just before the end must not be lost.
    dispatchQueued(proc, context);
    return 2;
}

SimConnectResult SimConnectConnection::close()
{
    if (!m_reader.joinable() && !m_writer.joinable())
        return SIMCONNECT_S_OK;
    bool flushed;
    {
        std::lock_guard lock(gf_simConnectSendLock());
        flushed = flush();
    }
    {
        // Let the writer hand over what was flushed before the stream ends.
        std::unique_lock lock(m_sendQueueMutex);
        m_idleAwaited = true;
        m_sendIdle.wait_for(lock, kCloseDrainWait, [this] { return m_sendQueue.empty() && !m_writing; });
        m_stopWriter = true;
        m_sendQueue.clear();
        m_sendQueueBytes = 0;
    }
    m_sendQueueChanged.notify_all();
    {
        std::lock_guard lock(m_receivedMutex);
        m_received.clear();
    }
    m_closing = true;
    m_connected = false;
    m_socket.shutdown();
    if (m_reader.joinable())
        m_reader.join();
    if (m_writer.joinable())
        m_writer.join();
    m_socket.close();
    // Ending the stream itself cannot fail here, so a failed flush alone is
    // not reported: the result is E_FAIL only when both fail.
    (void)flushed;
    return SIMCONNECT_S_OK;
}

} // namespace tzo
