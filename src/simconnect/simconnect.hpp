#pragma once
// The program's own SimConnect client: the functions the program calls, with
// SimConnect's published names and argument order, and the published values
// the program sends. Every function builds one packet and sends it at once;
// answers come back as messages handed to the dispatch procedure.

#include <cstdint>

// The connection handle (SimConnect_Open writes it; it points to the connection).
using SimConnectHandle = void*;
// An HRESULT-style result: 0 success, negative failure.
using SimConnectResult = std::int32_t;

inline constexpr SimConnectResult SIMCONNECT_S_OK = 0;
inline constexpr SimConnectResult SIMCONNECT_E_FAIL = static_cast<std::int32_t>(0x80004005u);
inline constexpr SimConnectResult SIMCONNECT_E_INVALIDARG = static_cast<std::int32_t>(0x80070057u);
inline constexpr SimConnectResult SIMCONNECT_E_TEXT_TOO_LONG = static_cast<std::int32_t>(0x8007007Au);
inline constexpr SimConnectResult SIMCONNECT_E_ABORT = static_cast<std::int32_t>(0x80004004u);
// Also the answer when the connection's send queue holds all it may (a
// simulator that stopped reading): nothing was sent, and the stream is sound.
inline constexpr SimConnectResult SIMCONNECT_E_OUTOFMEMORY = static_cast<std::int32_t>(0x8007000Eu);

inline constexpr std::uint32_t SIMCONNECT_PROTOCOL_VERSION = 35;
inline constexpr std::uint32_t SIMCONNECT_UNUSED = 0xFFFFFFFFu;
inline constexpr std::uint32_t SIMCONNECT_OBJECT_ID_USER = 0;
inline constexpr std::uint32_t SIMCONNECT_GROUP_PRIORITY_HIGHEST = 1;

// SIMCONNECT_DATATYPE
inline constexpr std::uint32_t SIMCONNECT_DATATYPE_INT32 = 1;
inline constexpr std::uint32_t SIMCONNECT_DATATYPE_INT64 = 2;
inline constexpr std::uint32_t SIMCONNECT_DATATYPE_FLOAT32 = 3;
inline constexpr std::uint32_t SIMCONNECT_DATATYPE_FLOAT64 = 4;
inline constexpr std::uint32_t SIMCONNECT_DATATYPE_STRING32 = 6;
inline constexpr std::uint32_t SIMCONNECT_DATATYPE_STRING256 = 9;
inline constexpr std::uint32_t SIMCONNECT_DATATYPE_STRINGV = 11;

// SIMCONNECT_PERIOD
inline constexpr std::uint32_t SIMCONNECT_PERIOD_NEVER = 0;
inline constexpr std::uint32_t SIMCONNECT_PERIOD_ONCE = 1;
inline constexpr std::uint32_t SIMCONNECT_PERIOD_VISUAL_FRAME = 2;
inline constexpr std::uint32_t SIMCONNECT_PERIOD_SIM_FRAME = 3;
inline constexpr std::uint32_t SIMCONNECT_PERIOD_SECOND = 4;

// SIMCONNECT_SIMOBJECT_TYPE
inline constexpr std::uint32_t SIMCONNECT_SIMOBJECT_TYPE_USER = 0;
inline constexpr std::uint32_t SIMCONNECT_SIMOBJECT_TYPE_ALL = 1;
inline constexpr std::uint32_t SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT = 2;

// SIMCONNECT_RECV_ID: the message ids of what the simulator sends.
inline constexpr std::uint32_t SIMCONNECT_RECV_ID_NULL = 0;
inline constexpr std::uint32_t SIMCONNECT_RECV_ID_EXCEPTION = 1;
inline constexpr std::uint32_t SIMCONNECT_RECV_ID_OPEN = 2;
inline constexpr std::uint32_t SIMCONNECT_RECV_ID_QUIT = 3;
inline constexpr std::uint32_t SIMCONNECT_RECV_ID_EVENT = 4;
inline constexpr std::uint32_t SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE = 5;
inline constexpr std::uint32_t SIMCONNECT_RECV_ID_EVENT_FILENAME = 6;
inline constexpr std::uint32_t SIMCONNECT_RECV_ID_EVENT_FRAME = 7;
inline constexpr std::uint32_t SIMCONNECT_RECV_ID_SIMOBJECT_DATA = 8;
inline constexpr std::uint32_t SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE = 9;
inline constexpr std::uint32_t SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID = 12;
inline constexpr std::uint32_t SIMCONNECT_RECV_ID_CLIENT_DATA = 16;

// SIMCONNECT_EXCEPTION codes the program tells apart.
inline constexpr std::uint32_t SIMCONNECT_EXCEPTION_NONE = 0;
inline constexpr std::uint32_t SIMCONNECT_EXCEPTION_ERROR = 1;
inline constexpr std::uint32_t SIMCONNECT_EXCEPTION_SIZE_MISMATCH = 2;
inline constexpr std::uint32_t SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID = 3;
inline constexpr std::uint32_t SIMCONNECT_EXCEPTION_VERSION_MISMATCH = 5;
inline constexpr std::uint32_t SIMCONNECT_EXCEPTION_TOO_MANY_OBJECTS = 11;
inline constexpr std::uint32_t SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED = 22;
inline constexpr std::uint32_t SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED = 23;

// The head of every received message (12 bytes: size, version, id). The rest
// of a message is read through simconnect/messages.hpp, never by casting.
struct SimConnectRecv {
    std::uint32_t dwSize;
    std::uint32_t dwVersion;
    std::uint32_t dwID;
};
static_assert(sizeof(SimConnectRecv) == 12);

// SIMCONNECT_DATA_INITPOSITION as it travels: six f64 and two u32, 56 bytes.
struct SimConnectInitPosition {
    double Latitude = 0.0;
    double Longitude = 0.0;
    double Altitude = 0.0; // feet
    double Pitch = 0.0;
    double Bank = 0.0;
    double Heading = 0.0;
    std::uint32_t OnGround = 0;
    std::uint32_t Airspeed = 0;
};
static_assert(sizeof(SimConnectInitPosition) == 56);

// Called once for every received message of 12 bytes or more. pData points to
// the whole message (cbData bytes); it is valid only during the call.
using SimConnectDispatchProc = void (*)(SimConnectRecv* pData, std::uint32_t cbData, void* pContext);

// Something to be told of every received message (the event handle of
// SimConnect_Open). The program itself never gives one.
class SimConnectSignal {
public:
    virtual ~SimConnectSignal() = default;
    virtual void signal() = 0;
};

SimConnectResult SimConnect_Open(SimConnectHandle* phSimConnect, const char* szName, void* hWnd,
                                 std::uint32_t UserEventWin32, SimConnectSignal* hEventHandle,
                                 std::uint32_t ConfigIndex);
SimConnectResult SimConnect_Close(SimConnectHandle hSimConnect);
SimConnectResult SimConnect_CallDispatch(SimConnectHandle hSimConnect, SimConnectDispatchProc pfcnDispatch,
                                         void* pContext);
SimConnectResult SimConnect_GetLastSentPacketID(SimConnectHandle hSimConnect, std::uint32_t* pdwSendID);

SimConnectResult SimConnect_MapClientEventToSimEvent(SimConnectHandle hSimConnect, std::uint32_t EventID,
                                                     const char* EventName);
SimConnectResult SimConnect_TransmitClientEvent(SimConnectHandle hSimConnect, std::uint32_t ObjectID,
                                                std::uint32_t EventID, std::uint32_t dwData,
                                                std::uint32_t GroupID, std::uint32_t Flags);
SimConnectResult SimConnect_AddClientEventToNotificationGroup(SimConnectHandle hSimConnect,
                                                              std::uint32_t GroupID, std::uint32_t EventID,
                                                              bool bMaskable);
SimConnectResult SimConnect_SetNotificationGroupPriority(SimConnectHandle hSimConnect, std::uint32_t GroupID,
                                                         std::uint32_t uPriority);
SimConnectResult SimConnect_AddToDataDefinition(SimConnectHandle hSimConnect, std::uint32_t DefineID,
                                                const char* DatumName, const char* UnitsName,
                                                std::uint32_t DatumType, float fEpsilon, std::uint32_t DatumID);
SimConnectResult SimConnect_ClearDataDefinition(SimConnectHandle hSimConnect, std::uint32_t DefineID);
SimConnectResult SimConnect_RequestDataOnSimObject(SimConnectHandle hSimConnect, std::uint32_t RequestID,
                                                   std::uint32_t DefineID, std::uint32_t ObjectID,
                                                   std::uint32_t Period, std::uint32_t Flags,
                                                   std::uint32_t origin, std::uint32_t interval,
                                                   std::uint32_t limit);
SimConnectResult SimConnect_RequestDataOnSimObjectType(SimConnectHandle hSimConnect, std::uint32_t RequestID,
                                                       std::uint32_t DefineID, std::uint32_t dwRadiusMeters,
                                                       std::uint32_t type);
SimConnectResult SimConnect_SetDataOnSimObject(SimConnectHandle hSimConnect, std::uint32_t DefineID,
                                               std::uint32_t ObjectID, std::uint32_t Flags,
                                               std::uint32_t ArrayCount, std::uint32_t cbUnitSize,
                                               const void* pDataSet);
SimConnectResult SimConnect_SubscribeToSystemEvent(SimConnectHandle hSimConnect, std::uint32_t EventID,
                                                   const char* SystemEventName);
SimConnectResult SimConnect_UnsubscribeFromSystemEvent(SimConnectHandle hSimConnect, std::uint32_t EventID);
SimConnectResult SimConnect_AICreateNonATCAircraft(SimConnectHandle hSimConnect, const char* szContainerTitle,
                                                   const char* szTailNumber, SimConnectInitPosition InitPos,
                                                   std::uint32_t RequestID);
SimConnectResult SimConnect_AIReleaseControl(SimConnectHandle hSimConnect, std::uint32_t ObjectID,
                                             std::uint32_t RequestID);
SimConnectResult SimConnect_AIRemoveObject(SimConnectHandle hSimConnect, std::uint32_t ObjectID,
                                           std::uint32_t RequestID);
SimConnectResult SimConnect_AISetAircraftFlightPlan(SimConnectHandle hSimConnect, std::uint32_t ObjectID,
                                                    const char* szFlightPlanPath, std::uint32_t RequestID);
