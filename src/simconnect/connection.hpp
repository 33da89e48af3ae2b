#pragma once
// One open connection to the simulator: the transport, the outgoing packet
// buffer with its send queue, the receive buffer and its framing, and the
// queue of received messages waiting for dispatch.
//
// Reads run on a reader thread of the connection and writes on a writer
// thread, so no caller ever waits for the simulator; the process-wide send
// lock (gf_simConnectSendLock) is held by a caller from allocate() to flush()
// or release().

#include "simconnect/config.hpp"
#include "simconnect/framer.hpp"
#include "simconnect/simconnect.hpp"
#include "platform/stream_socket.hpp"

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

namespace tzo {

std::mutex& gf_simConnectSendLock();

enum class AllocateResult { Ok = 0, NoConnection = 1, Failed = 2, NoRoom = 3 };

class SimConnectConnection {
public:
    static constexpr std::size_t kOutgoingBufferSize = 41088;
    // A socket that has received nothing this long after connecting is dead.
    static constexpr std::chrono::seconds kLinkTestDelay{4};
    // What may wait for the writer before flush() refuses more.
    static constexpr std::size_t kSendQueueLimit = 8 * 1024 * 1024;
    enum class TransportKind { Pipe, Socket };

    // Reads the configuration of the index and opens the first transport that
    // answers. Null with failure 1 (nothing opened) or 3 (invalid index).
    static std::shared_ptr<SimConnectConnection> open(std::uint32_t configIndex, int& failure);
    // Takes an already open stream (used by open(); tests hand in their own).
    SimConnectConnection(platform::StreamSocket socket, TransportKind kind, std::uint32_t maxReceiveSize);
    ~SimConnectConnection();
    SimConnectConnection(const SimConnectConnection&) = delete;
    SimConnectConnection& operator=(const SimConnectConnection&) = delete;

    void setSignal(void* window, std::uint32_t userMessage, SimConnectSignal* event);

    // With the send lock held. Reserves size bytes and writes the send id at
    // offset 12. Failed: the connection failed, the packet is reserved all the
    // same (the caller decides by the stored status).
    AllocateResult allocate(std::uint32_t size, std::uint8_t*& packet, std::uint32_t& sendId);
    void release(std::uint32_t size);
    // Hands every byte reserved since the last flush to the stream: written
    // at once as far as the stream takes it without waiting, the rest by the
    // writer thread (see holdWrites for a burst).
    bool flush();
    // With the send lock held, for the length of a burst of packets (holds
    // nest): each flush still commits its packet (send id, result) or refuses
    // it as a flush without a hold would, but the packets wait in the
    // outgoing buffer, a full one put aside for another, and at the last
    // release all of them go in one gathered write. The bytes and their order
    // are those of packets sent one by one.
    void holdWrites();
    bool releaseWrites();
    // With the send lock held, after a flush that refused its packet: the
    // queue held all it may (the simulator reads too slowly), while the
    // stream itself is sound; the same packet may go later.
    bool refusedForRoom() const { return m_refusedForRoom; }
    // Gathered writes made so far, by the caller or by the writer thread.
    std::uint64_t writesMade() const { return m_writesMade.load(); }

    // Calls proc for every received message of 12 bytes or more; 0, or 2 when
    // the connection has failed (then every message received before the
    // failure has been handed over).
    int dispatch(SimConnectDispatchProc proc, void* context);

    // Flushes, ends the transport and joins the threads; E_FAIL when both failed.
    SimConnectResult close();

    bool failed() const { return m_failed.load(); }
    SimFailure failure() const;
    // Empty when the stream ended between messages (the simulator closed it);
    // otherwise what broke the protocol: a size no message has, a message
    // larger than any may be, a message cut short by the end of the stream.
    std::string streamFault() const;
    std::uint32_t lastError() const { return failure().status; }
    std::uint32_t lastSentPacketId() const { return m_lastSentPacketId; }
    TransportKind transportKind() const { return m_kind; }
    bool receivedAnything() const { return m_receivedAnything.load(); }
    std::size_t receiveBufferCapacity() const { return m_receiveCapacity.load(); }

    // The id the next packet will get (tests reach the wrap-around this way).
    void setNextSendId(std::uint32_t id) { m_sendIdCounter = id - 1; }

    // Tests the failed flag and, for a socket, the link test.
    bool testFailure()
    {
        if (m_failed.load())
            return true;
        return m_kind == TransportKind::Socket && !m_receivedAnything.load() && lf_testLink();
    }

private:
    void fail(SimFailure failure, std::string streamFault = {});
    void dispatchQueued(SimConnectDispatchProc proc, void* context);
    void readerLoop();
    void writerLoop();
    bool lf_testLink();
    // flush() where the bytes go to the stream now (or cannot go at all).
    bool lf_flushHandingOver();

    // Bytes of the send queue; a chunk written in part starts later.
    struct SendChunk {
        std::unique_ptr<std::uint8_t[]> bytes;
        std::size_t start = 0;
        std::size_t end = 0;
    };
    // With m_sendQueueMutex held: an empty chunk, a spare one when there is.
    SendChunk lf_newChunk();
    void lf_keepSpare(SendChunk chunk);
    // With the send lock held, under a hold: the full outgoing buffer is put
    // aside for the release and an empty one takes its place.
    bool lf_holdFullBuffer();
    // With the send lock held: whether bytes more may wait for the stream
    // besides every byte not yet written (queued, being written, held).
    bool lf_roomFor(std::size_t bytes) const
    {
        return m_sendQueueBytes.load(std::memory_order_relaxed) + m_writingBytes.load(std::memory_order_relaxed) +
                   m_heldBytes + bytes <=
               kSendQueueLimit;
    }
    // With the send lock held: every flushed byte of the outgoing buffer to
    // the stream, written at once when nothing else waits for it, else
    // queued for the writer thread. False when the stream takes no more.
    bool lf_handOver();
    // With m_sendQueueMutex held: the stream broke; nothing more is written.
    void lf_stopWriting();
    // With m_sendQueueMutex held: wakes close() once nothing waits or is written.
    void lf_tellIfIdle();
    // With m_sendQueueMutex held: something waits, and nobody writes.
    bool writerMayTake() const;
    SimFailure lf_failureOfError(const std::error_code& ec) const;

    platform::StreamSocket m_socket;
    TransportKind m_kind;
    std::chrono::steady_clock::time_point m_connectedAt;
    std::atomic<bool> m_connected{true};
    std::atomic<bool> m_receivedAnything{false};
    std::atomic<bool> m_closing{false};

    mutable std::mutex m_failureMutex;
    std::atomic<bool> m_failed{false};
    SimFailure m_failure;
    std::string m_streamFault;

    // Guarded by the process-wide send lock.
    SendChunk m_outgoing;
    std::size_t m_writePos = 0;   // end of what is reserved
    std::size_t m_flushedPos = 0; // end of what is flushed while writes are held
    int m_writeHolds = 0;
    std::vector<SendChunk> m_heldChunks; // full buffers of a hold, in order
    std::size_t m_heldBytes = 0;
    std::vector<std::span<const std::uint8_t>> m_handOverPieces;
    std::uint32_t m_sendIdCounter = 0;
    std::uint32_t m_lastSentPacketId = 0;
    std::uint32_t m_pendingSendId = 0;
    bool m_refusedForRoom = false;

    // The send queue: whatever the stream did not take at once, in order, for
    // the writer thread; emptied chunks are kept as spares for the next ones.
    std::mutex m_sendQueueMutex;
    std::condition_variable m_sendQueueChanged; // the writer thread waits on it
    std::condition_variable m_sendIdle;         // close() waits on it
    bool m_idleAwaited = false;
    std::vector<SendChunk> m_sendQueue;
    std::vector<SendChunk> m_spareChunks;
    // Written under m_sendQueueMutex; a flush under a hold reads them without it.
    std::atomic<std::size_t> m_sendQueueBytes{0};
    std::atomic<std::size_t> m_writingBytes{0}; // the writer thread's batch
    bool m_writerWaiting = false;
    bool m_writing = false; // the writer thread or a caller is writing to the stream
    bool m_stopWriter = false;
    std::atomic<bool> m_streamBroken{false};
    std::atomic<std::uint64_t> m_writesMade{0};

    std::uint32_t m_maxReceiveSize;
    std::atomic<std::size_t> m_receiveCapacity{0};
    std::mutex m_receivedMutex;
    std::deque<std::vector<std::uint8_t>> m_received;

    void* m_window = nullptr;
    std::uint32_t m_userMessage = 0;
    std::atomic<SimConnectSignal*> m_event{nullptr};

    std::thread m_reader;
    std::thread m_writer;
};

// What broke the protocol on the connection of the handle (see
// streamFault()); empty for a stream that ended cleanly or an unknown handle.
std::string gf_simConnectStreamFault(SimConnectHandle handle);

// A burst of packets on the connection behind a handle, from this thread,
// while it lives: it takes the send lock and holds the connection's writes
// (see SimConnectConnection::holdWrites), so that the packets leave in few
// gathered writes. Does nothing for a handle that is no open connection.
class SimConnectWriteBurst {
public:
    explicit SimConnectWriteBurst(SimConnectHandle handle);
    ~SimConnectWriteBurst();
    SimConnectWriteBurst(const SimConnectWriteBurst&) = delete;
    SimConnectWriteBurst& operator=(const SimConnectWriteBurst&) = delete;

    // The connection of this thread's burst, when it is the one behind the
    // handle; then the send lock is held already.
    static SimConnectConnection* current(SimConnectHandle handle);
    // Whether this thread holds the send lock for a burst.
    static bool active();

private:
    std::shared_ptr<SimConnectConnection> m_connection;
    std::unique_lock<std::mutex> m_sendLock;
    SimConnectConnection* m_outer = nullptr;
};

// Every packet passes here: the common cases are inline.
inline AllocateResult SimConnectConnection::allocate(std::uint32_t size, std::uint8_t*& packet, std::uint32_t& sendId)
{
    if (size < 16 || size > kOutgoingBufferSize)
        return AllocateResult::NoRoom;
    // A full buffer of packets flushed under a hold is put aside for the
    // release; this one starts the next.
    if (size > kOutgoingBufferSize - m_writePos && (m_writePos != m_flushedPos || !lf_holdFullBuffer()))
        return AllocateResult::NoRoom;
    const bool hasFailed = testFailure();
    packet = m_outgoing.bytes.get() + m_writePos;
    std::memset(packet, 0, size);
    m_writePos += size;
    if (++m_sendIdCounter == 0)
        m_sendIdCounter = 1; // 0 is never a send id
    sendId = m_sendIdCounter;
    m_pendingSendId = sendId;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(packet + 12, &sendId, 4);
    } else {
        for (int i = 0; i < 4; ++i)
            packet[12 + i] = static_cast<std::uint8_t>(sendId >> (8 * i));
    }
    return hasFailed ? AllocateResult::Failed : AllocateResult::Ok;
}

inline void SimConnectConnection::release(std::uint32_t size)
{
    m_writePos -= std::min<std::size_t>(size, m_writePos - m_flushedPos);
}

inline bool SimConnectConnection::flush()
{
    m_refusedForRoom = false;
    if (m_writeHolds > 0 ? m_writePos == m_flushedPos : m_writePos == 0)
        return true;
    if (m_writeHolds > 0 && m_connected.load() && !m_streamBroken.load()) {
        // A packet that would not fit the queue is refused now, as it would
        // be without the hold, not dropped with the others at the release.
        if (!lf_roomFor(m_writePos)) {
            m_writePos = m_flushedPos;
            m_refusedForRoom = true;
            return false;
        }
        m_flushedPos = m_writePos;
        m_lastSentPacketId = m_pendingSendId;
        return true;
    }
    return lf_flushHandingOver();
}

} // namespace tzo
