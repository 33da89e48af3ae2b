#include "simconnect/simconnect.hpp"

#include "simconnect/connection.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <mutex>
#include <vector>

using tzo::AllocateResult;
using tzo::SimConnectConnection;

namespace {

// Every open connection; a handle is only ever used after it is found here.
std::mutex g_connectionsMutex;
std::vector<std::shared_ptr<SimConnectConnection>> g_connections;

std::shared_ptr<SimConnectConnection> lf_find(SimConnectHandle handle)
{
    if (!handle)
        return nullptr;
    std::lock_guard lock(g_connectionsMutex);
    for (const auto& c : g_connections)
        if (c.get() == handle)
            return c;
    return nullptr;
}

// The connection of this thread's burst on that handle, which the burst keeps
// alive; else the open connection behind it, kept alive by kept.
SimConnectConnection* lf_connection(SimConnectHandle handle, std::shared_ptr<SimConnectConnection>& kept)
{
    if (SimConnectConnection* c = tzo::SimConnectWriteBurst::current(handle))
        return c;
    kept = lf_find(handle);
    return kept.get();
}

// The process-wide send lock, unless this thread's burst holds it already.
std::unique_lock<std::mutex> lf_sendLock()
{
    if (tzo::SimConnectWriteBurst::active())
        return {};
    return std::unique_lock(tzo::gf_simConnectSendLock());
}

thread_local SimConnectConnection* t_burstConnection = nullptr;

// Packet ids: 0xF0000000 plus the function number.
enum PacketId : std::uint32_t {
    kOpen = 0xF0000001,
    kMapClientEventToSimEvent = 0xF0000004,
    kTransmitClientEvent = 0xF0000005,
    kAddClientEventToNotificationGroup = 0xF0000007,
    kSetNotificationGroupPriority = 0xF0000009,
    kAddToDataDefinition = 0xF000000C,
    kClearDataDefinition = 0xF000000D,
    kRequestDataOnSimObject = 0xF000000E,
    kRequestDataOnSimObjectType = 0xF000000F,
    kSetDataOnSimObject = 0xF0000010,
    kSubscribeToSystemEvent = 0xF0000017,
    kUnsubscribeFromSystemEvent = 0xF0000018,
    kAICreateNonATCAircraft = 0xF0000029,
    kAIReleaseControl = 0xF000002B,
    kAIRemoveObject = 0xF000002C,
    kAISetAircraftFlightPlan = 0xF000002D,
};

// Fills one packet field by field at the offsets of the wire layout.
class PacketWriter {
public:
    PacketWriter(std::uint8_t* packet, std::uint32_t size) : m_packet(packet), m_size(size) {}

    void u32(std::uint32_t offset, std::uint32_t value)
    {
        // Little-endian on the wire; one store where the machine is too.
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(m_packet + offset, &value, 4);
        } else {
            for (int i = 0; i < 4; ++i)
                m_packet[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
        }
    }
    void f32(std::uint32_t offset, float value) { std::memcpy(m_packet + offset, &value, 4); }
    void f64(std::uint32_t offset, double value) { std::memcpy(m_packet + offset, &value, 8); }
    void bytes(std::uint32_t offset, const void* data, std::size_t n)
    {
        if (n)
            std::memcpy(m_packet + offset, data, n);
    }
    // A zero-terminated text in a field of fieldSize bytes; false when it does
    // not fit with its zero. A null text is sent empty.
    bool text(std::uint32_t offset, std::uint32_t fieldSize, const char* value)
    {
        std::memset(m_packet + offset, 0, fieldSize);
        if (!value)
            return true;
        const std::size_t length = strnlen(value, fieldSize);
        if (length >= fieldSize)
            return false;
        std::memcpy(m_packet + offset, value, length);
        return true;
    }
    void header(std::uint32_t id)
    {
        u32(0, m_size);
        u32(4, SIMCONNECT_PROTOCOL_VERSION);
        u32(8, id);
    }

private:
    std::uint8_t* m_packet;
    std::uint32_t m_size;
};

// Reserves, fills and flushes one packet under the process-wide send lock.
// fill returns false when a text did not fit.
template <typename Fill>
SimConnectResult lf_sendPacket(SimConnectConnection& connection, std::uint64_t size, std::uint32_t id, Fill&& fill)
{
    if (size > SimConnectConnection::kOutgoingBufferSize)
        return SIMCONNECT_E_FAIL;
    const auto lock = lf_sendLock();
    std::uint8_t* packet = nullptr;
    std::uint32_t sendId = 0;
    const auto size32 = static_cast<std::uint32_t>(size);
    SimConnectResult result = SIMCONNECT_S_OK;
    switch (connection.allocate(size32, packet, sendId)) {
    case AllocateResult::Ok:
        break;
    case AllocateResult::Failed:
        result = static_cast<SimConnectResult>(connection.lastError());
        if (result < 0) {
            connection.release(size32);
            return result;
        }
        break;
    case AllocateResult::NoConnection:
    case AllocateResult::NoRoom:
        return SIMCONNECT_E_FAIL;
    }
    PacketWriter writer(packet, size32);
    writer.header(id);
    if (!fill(writer)) {
        connection.release(size32);
        return SIMCONNECT_E_TEXT_TOO_LONG;
    }
    if (!connection.flush())
        return connection.refusedForRoom() ? SIMCONNECT_E_OUTOFMEMORY : SIMCONNECT_E_FAIL;
    return result;
}

} // namespace

namespace tzo {

SimConnectWriteBurst::SimConnectWriteBurst(SimConnectHandle handle) : m_connection(lf_find(handle))
{
    if (!m_connection)
        return;
    if (t_burstConnection == nullptr)
        m_sendLock = std::unique_lock(gf_simConnectSendLock());
    m_outer = t_burstConnection;
    t_burstConnection = m_connection.get();
    m_connection->holdWrites();
}

SimConnectWriteBurst::~SimConnectWriteBurst()
{
    if (!m_connection)
        return;
    m_connection->releaseWrites();
    t_burstConnection = m_outer;
}

SimConnectConnection* SimConnectWriteBurst::current(SimConnectHandle handle)
{
    return t_burstConnection != nullptr && t_burstConnection == handle ? t_burstConnection : nullptr;
}

bool SimConnectWriteBurst::active()
{
    return t_burstConnection != nullptr;
}

} // namespace tzo

SimConnectResult SimConnect_Open(SimConnectHandle* phSimConnect, const char* szName, void* hWnd,
                                 std::uint32_t UserEventWin32, SimConnectSignal* hEventHandle,
                                 std::uint32_t ConfigIndex)
{
    if (!phSimConnect || !szName)
        return SIMCONNECT_E_INVALIDARG;
    *phSimConnect = nullptr;
    int failure = 0;
    auto connection = SimConnectConnection::open(ConfigIndex, failure);
    if (!connection)
        return failure == 3 ? SIMCONNECT_E_INVALIDARG : SIMCONNECT_E_FAIL;
    connection->setSignal(hWnd, UserEventWin32, hEventHandle);
    const SimConnectResult rc = lf_sendPacket(*connection, 296, kOpen, [&](PacketWriter& w) {
        if (!w.text(16, 256, szName))
            return false;
        w.u32(272, 0);
        const std::uint8_t tag[4] = {0x00, 'D', '3', 'P'};
        w.bytes(276, tag, 4);
        w.u32(280, 5);
        w.u32(284, 3);
        w.u32(288, 0);
        w.u32(292, 0);
        return true;
    });
    if (rc != SIMCONNECT_S_OK) {
        connection->close();
        return rc;
    }
    {
        std::lock_guard lock(g_connectionsMutex);
        g_connections.push_back(connection);
    }
    *phSimConnect = connection.get();
    return SIMCONNECT_S_OK;
}

SimConnectResult SimConnect_Close(SimConnectHandle hSimConnect)
{
    std::shared_ptr<SimConnectConnection> connection;
    {
        std::lock_guard lock(g_connectionsMutex);
        auto it = std::find_if(g_connections.begin(), g_connections.end(),
                               [&](const auto& c) { return c.get() == hSimConnect; });
        if (it == g_connections.end())
            return SIMCONNECT_E_FAIL;
        connection = *it;
        g_connections.erase(it);
    }
    return connection->close();
}

SimConnectResult SimConnect_CallDispatch(SimConnectHandle hSimConnect, SimConnectDispatchProc pfcnDispatch,
                                         void* pContext)
{
    auto connection = lf_find(hSimConnect);
    if (!connection)
        return SIMCONNECT_E_FAIL;
    if (connection->dispatch(pfcnDispatch, pContext) == 2)
        return static_cast<SimConnectResult>(connection->lastError());
    return SIMCONNECT_S_OK;
}

std::string tzo::gf_simConnectStreamFault(SimConnectHandle handle)
{
    const auto connection = lf_find(handle);
    return connection ? connection->streamFault() : std::string();
}

SimConnectResult SimConnect_GetLastSentPacketID(SimConnectHandle hSimConnect, std::uint32_t* pdwSendID)
{
    std::shared_ptr<SimConnectConnection> kept;
    SimConnectConnection* const connection = lf_connection(hSimConnect, kept);
    if (!connection || !pdwSendID)
        return SIMCONNECT_E_FAIL;
    const auto lock = lf_sendLock();
    *pdwSendID = connection->lastSentPacketId();
    return SIMCONNECT_S_OK;
}

#define NORVANE_CONNECTION_OR_FAIL(handle)                                                                            \
    std::shared_ptr<SimConnectConnection> keptAlive;                                                                   \
    SimConnectConnection* const connection = lf_connection(handle, keptAlive);                                        \
    if (!connection)                                                                                                   \
    return SIMCONNECT_E_FAIL

SimConnectResult SimConnect_MapClientEventToSimEvent(SimConnectHandle hSimConnect, std::uint32_t EventID,
                                                     const char* EventName)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 276, kMapClientEventToSimEvent, [&](PacketWriter& w) {
        w.u32(16, EventID);
        return w.text(20, 256, EventName);
    });
}

SimConnectResult SimConnect_TransmitClientEvent(SimConnectHandle hSimConnect, std::uint32_t ObjectID,
                                                std::uint32_t EventID, std::uint32_t dwData,
                                                std::uint32_t GroupID, std::uint32_t Flags)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 36, kTransmitClientEvent, [&](PacketWriter& w) {
        w.u32(16, ObjectID);
        w.u32(20, EventID);
        w.u32(24, dwData);
        w.u32(28, GroupID);
        w.u32(32, Flags);
        return true;
    });
}

SimConnectResult SimConnect_AddClientEventToNotificationGroup(SimConnectHandle hSimConnect,
                                                              std::uint32_t GroupID, std::uint32_t EventID,
                                                              bool bMaskable)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 28, kAddClientEventToNotificationGroup, [&](PacketWriter& w) {
        w.u32(16, GroupID);
        w.u32(20, EventID);
        w.u32(24, bMaskable ? 1 : 0);
        return true;
    });
}

SimConnectResult SimConnect_SetNotificationGroupPriority(SimConnectHandle hSimConnect, std::uint32_t GroupID,
                                                         std::uint32_t uPriority)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 24, kSetNotificationGroupPriority, [&](PacketWriter& w) {
        w.u32(16, GroupID);
        w.u32(20, uPriority);
        return true;
    });
}

SimConnectResult SimConnect_AddToDataDefinition(SimConnectHandle hSimConnect, std::uint32_t DefineID,
                                                const char* DatumName, const char* UnitsName,
                                                std::uint32_t DatumType, float fEpsilon, std::uint32_t DatumID)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 544, kAddToDataDefinition, [&](PacketWriter& w) {
        w.u32(16, DefineID);
        if (!w.text(20, 256, DatumName) || !w.text(276, 256, UnitsName))
            return false;
        w.u32(532, DatumType);
        w.f32(536, fEpsilon);
        w.u32(540, DatumID);
        return true;
    });
}

SimConnectResult SimConnect_ClearDataDefinition(SimConnectHandle hSimConnect, std::uint32_t DefineID)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 20, kClearDataDefinition, [&](PacketWriter& w) {
        w.u32(16, DefineID);
        return true;
    });
}

SimConnectResult SimConnect_RequestDataOnSimObject(SimConnectHandle hSimConnect, std::uint32_t RequestID,
                                                   std::uint32_t DefineID, std::uint32_t ObjectID,
                                                   std::uint32_t Period, std::uint32_t Flags,
                                                   std::uint32_t origin, std::uint32_t interval,
                                                   std::uint32_t limit)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 48, kRequestDataOnSimObject, [&](PacketWriter& w) {
        w.u32(16, RequestID);
        w.u32(20, DefineID);
        w.u32(24, ObjectID);
        w.u32(28, Period);
        w.u32(32, Flags);
        w.u32(36, origin);
        w.u32(40, interval);
        w.u32(44, limit);
        return true;
    });
}

SimConnectResult SimConnect_RequestDataOnSimObjectType(SimConnectHandle hSimConnect, std::uint32_t RequestID,
                                                       std::uint32_t DefineID, std::uint32_t dwRadiusMeters,
                                                       std::uint32_t type)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 32, kRequestDataOnSimObjectType, [&](PacketWriter& w) {
        w.u32(16, RequestID);
        w.u32(20, DefineID);
        w.u32(24, dwRadiusMeters);
        w.u32(28, type);
        return true;
    });
}

SimConnectResult SimConnect_SetDataOnSimObject(SimConnectHandle hSimConnect, std::uint32_t DefineID,
                                               std::uint32_t ObjectID, std::uint32_t Flags,
                                               std::uint32_t ArrayCount, std::uint32_t cbUnitSize,
                                               const void* pDataSet)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    const std::uint32_t count = ArrayCount == 0 ? 1 : ArrayCount;
    // 64-bit so that a huge count cannot wrap into a small packet.
    const std::uint64_t dataSize = std::uint64_t(count) * cbUnitSize;
    if (dataSize != 0 && !pDataSet)
        return SIMCONNECT_E_FAIL;
    return lf_sendPacket(*connection, 36 + dataSize, kSetDataOnSimObject, [&](PacketWriter& w) {
        w.u32(16, DefineID);
        w.u32(20, ObjectID);
        w.u32(24, Flags);
        w.u32(28, count);
        w.u32(32, cbUnitSize);
        w.bytes(36, pDataSet, static_cast<std::size_t>(dataSize));
        return true;
    });
}

SimConnectResult SimConnect_SubscribeToSystemEvent(SimConnectHandle hSimConnect, std::uint32_t EventID,
                                                   const char* SystemEventName)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 276, kSubscribeToSystemEvent, [&](PacketWriter& w) {
        w.u32(16, EventID);
        return w.text(20, 256, SystemEventName);
    });
}

SimConnectResult SimConnect_UnsubscribeFromSystemEvent(SimConnectHandle hSimConnect, std::uint32_t EventID)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 20, kUnsubscribeFromSystemEvent, [&](PacketWriter& w) {
        w.u32(16, EventID);
        return true;
    });
}

SimConnectResult SimConnect_AICreateNonATCAircraft(SimConnectHandle hSimConnect, const char* szContainerTitle,
                                                   const char* szTailNumber, SimConnectInitPosition InitPos,
                                                   std::uint32_t RequestID)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 344, kAICreateNonATCAircraft, [&](PacketWriter& w) {
        if (!w.text(16, 256, szContainerTitle) || !w.text(272, 12, szTailNumber))
            return false;
        w.f64(284, InitPos.Latitude);
        w.f64(292, InitPos.Longitude);
        w.f64(300, InitPos.Altitude);
        w.f64(308, InitPos.Pitch);
        w.f64(316, InitPos.Bank);
        w.f64(324, InitPos.Heading);
        w.u32(332, InitPos.OnGround);
        w.u32(336, InitPos.Airspeed);
        w.u32(340, RequestID);
        return true;
    });
}

SimConnectResult SimConnect_AIReleaseControl(SimConnectHandle hSimConnect, std::uint32_t ObjectID,
                                             std::uint32_t RequestID)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 24, kAIReleaseControl, [&](PacketWriter& w) {
        w.u32(16, ObjectID);
        w.u32(20, RequestID);
        return true;
    });
}

SimConnectResult SimConnect_AIRemoveObject(SimConnectHandle hSimConnect, std::uint32_t ObjectID,
                                           std::uint32_t RequestID)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 24, kAIRemoveObject, [&](PacketWriter& w) {
        w.u32(16, ObjectID);
        w.u32(20, RequestID);
        return true;
    });
}

SimConnectResult SimConnect_AISetAircraftFlightPlan(SimConnectHandle hSimConnect, std::uint32_t ObjectID,
                                                    const char* szFlightPlanPath, std::uint32_t RequestID)
{
    NORVANE_CONNECTION_OR_FAIL(hSimConnect);
    return lf_sendPacket(*connection, 284, kAISetAircraftFlightPlan, [&](PacketWriter& w) {
        w.u32(16, ObjectID);
        if (!w.text(20, 260, szFlightPlanPath))
            return false;
        w.u32(280, RequestID);
        return true;
    });
}
