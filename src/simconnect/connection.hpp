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

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
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
    // Hands every byte reserved since the last flush to the writer.
    bool flush();

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
    bool testFailure();

private:
    void fail(SimFailure failure, std::string streamFault = {});
    void dispatchQueued(SimConnectDispatchProc proc, void* context);
    void readerLoop();
    void writerLoop();
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
    std::vector<std::uint8_t> m_outgoing;
    std::size_t m_writePos = 0;
    std::uint32_t m_sendIdCounter = 0;
    std::uint32_t m_lastSentPacketId = 0;
    std::uint32_t m_pendingSendId = 0;

    std::mutex m_sendQueueMutex;
    std::condition_variable m_sendQueueChanged;
    std::deque<std::vector<std::uint8_t>> m_sendQueue;
    std::size_t m_sendQueueBytes = 0;
    bool m_writerBusy = false;
    bool m_stopWriter = false;

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

} // namespace tzo
