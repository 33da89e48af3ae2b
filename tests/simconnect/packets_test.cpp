// The bytes of every packet, read back by the stand-in, against the wire
// layout: offsets, sizes, header, and the edge cases of texts and counts.

#include "sim_fixture.hpp"
#include "simconnect/connection.hpp"

#include <functional>

using simtest::u32At;

namespace {

struct U32Field {
    std::uint32_t offset;
    std::uint32_t value;
};
struct TextField {
    std::uint32_t offset;
    std::uint32_t fieldSize;
    std::string value;
};

struct PacketCase {
    std::string name;
    std::uint32_t id;
    std::uint32_t size;
    std::function<SimConnectResult(SimConnectHandle)> call;
    std::vector<U32Field> u32s;
    std::vector<TextField> texts;
};

std::string textAt(const std::vector<std::uint8_t>& bytes, std::uint32_t offset, std::uint32_t fieldSize)
{
    const char* p = reinterpret_cast<const char*>(bytes.data() + offset);
    return std::string(p, strnlen(p, fieldSize));
}

bool zeroFrom(const std::vector<std::uint8_t>& bytes, std::uint32_t offset, std::uint32_t end)
{
    for (std::uint32_t i = offset; i < end; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

// Every function of the client once, with the fields the stand-in must see.
std::vector<PacketCase> lf_packetTable()
{
    SimConnectInitPosition pos;
    pos.Latitude = 47.5;
    pos.Longitude = 8.25;
    pos.Altitude = 1400.0;
    pos.Pitch = -2.0;
    pos.Bank = 0.5;
    pos.Heading = 270.0;
    pos.OnGround = 1;
    pos.Airspeed = 0;

    return {
        {"MapClientEventToSimEvent", 0xF0000004, 276,
         [](SimConnectHandle h) { return SimConnect_MapClientEventToSimEvent(h, 208, "NAV_LIGHTS_SET"); },
         {{16, 208}}, {{20, 256, "NAV_LIGHTS_SET"}}},
        {"TransmitClientEvent", 0xF0000005, 36,
         [](SimConnectHandle h) { return SimConnect_TransmitClientEvent(h, 77, 208, 1, 301, 0x10); },
         {{16, 77}, {20, 208}, {24, 1}, {28, 301}, {32, 0x10}}, {}},
        {"AddClientEventToNotificationGroup", 0xF0000007, 28,
         [](SimConnectHandle h) { return SimConnect_AddClientEventToNotificationGroup(h, 301, 208, true); },
         {{16, 301}, {20, 208}, {24, 1}}, {}},
        {"SetNotificationGroupPriority", 0xF0000009, 24,
         [](SimConnectHandle h) { return SimConnect_SetNotificationGroupPriority(h, 301, 1); },
         {{16, 301}, {20, 1}}, {}},
        {"AddToDataDefinition", 0xF000000C, 544,
         [](SimConnectHandle h) {
             return SimConnect_AddToDataDefinition(h, 402, "Plane Latitude", "degree", SIMCONNECT_DATATYPE_FLOAT64,
                                                   0.0f, SIMCONNECT_UNUSED);
         },
         {{16, 402}, {532, 4}, {536, 0}, {540, 0xFFFFFFFF}},
         {{20, 256, "Plane Latitude"}, {276, 256, "degree"}}},
        {"ClearDataDefinition", 0xF000000D, 20, [](SimConnectHandle h) { return SimConnect_ClearDataDefinition(h, 402); },
         {{16, 402}}, {}},
        {"RequestDataOnSimObject", 0xF000000E, 48,
         [](SimConnectHandle h) {
             return SimConnect_RequestDataOnSimObject(h, 108, 409, 0, SIMCONNECT_PERIOD_SECOND, 1, 2, 3, 4);
         },
         {{16, 108}, {20, 409}, {24, 0}, {28, 4}, {32, 1}, {36, 2}, {40, 3}, {44, 4}}, {}},
        {"RequestDataOnSimObjectType", 0xF000000F, 32,
         [](SimConnectHandle h) {
             return SimConnect_RequestDataOnSimObjectType(h, 101, 404, 185200, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
         },
         {{16, 101}, {20, 404}, {24, 185200}, {28, 2}}, {}},
        {"SubscribeToSystemEvent", 0xF0000017, 276,
         [](SimConnectHandle h) { return SimConnect_SubscribeToSystemEvent(h, 201, "Sim"); }, {{16, 201}},
         {{20, 256, "Sim"}}},
        {"UnsubscribeFromSystemEvent", 0xF0000018, 20,
         [](SimConnectHandle h) { return SimConnect_UnsubscribeFromSystemEvent(h, 201); }, {{16, 201}}, {}},
        {"AICreateNonATCAircraft", 0xF0000029, 344,
         [pos](SimConnectHandle h) { return SimConnect_AICreateNonATCAircraft(h, "Airbus A320 Livery", "SWR123", pos, 104); },
         {{332, 1}, {336, 0}, {340, 104}}, {{16, 256, "Airbus A320 Livery"}, {272, 12, "SWR123"}}},
        {"AIReleaseControl", 0xF000002B, 24, [](SimConnectHandle h) { return SimConnect_AIReleaseControl(h, 88, 103); },
         {{16, 88}, {20, 103}}, {}},
        {"AIRemoveObject", 0xF000002C, 24, [](SimConnectHandle h) { return SimConnect_AIRemoveObject(h, 88, 105); },
         {{16, 88}, {20, 105}}, {}},
        {"AISetAircraftFlightPlan", 0xF000002D, 284,
         [](SimConnectHandle h) { return SimConnect_AISetAircraftFlightPlan(h, 88, "C:\\plans\\SWR123", 110); },
         {{16, 88}, {280, 110}}, {{20, 260, "C:\\plans\\SWR123"}}},
    };

}

class Packets : public simtest::SimWorld {
protected:
    void SetUp() override
    {
        startStub();
        openAndAwaitOpen();
    }

    // Calls the function and answers the bytes the stand-in got.
    std::vector<std::uint8_t> sent(const std::function<SimConnectResult(SimConnectHandle)>& call)
    {
        EXPECT_EQ(call(m_handle), SIMCONNECT_S_OK);
        const auto p = packetWithSendId(lastSendId());
        EXPECT_TRUE(p.has_value());
        return p ? p->bytes : std::vector<std::uint8_t>{};
    }
};

TEST_F(Packets, openPacketCarriesNameAndClientTag)
{
    const auto p = packetWithSendId(1);
    ASSERT_TRUE(p.has_value()) << "the Open packet is the first, with send id 1";
    const auto& b = p->bytes;
    ASSERT_EQ(b.size(), 296u);
    EXPECT_EQ(u32At(b, 0), 296u);
    EXPECT_EQ(u32At(b, 4), 35u);
    EXPECT_EQ(u32At(b, 8), 0xF0000001u);
    EXPECT_EQ(u32At(b, 12), 1u);
    EXPECT_EQ(textAt(b, 16, 256), "Norvane_P3D");
    EXPECT_TRUE(zeroFrom(b, 16 + 11, 272));
    EXPECT_EQ(u32At(b, 272), 0u);
    EXPECT_EQ(b[276], 0x00);
    EXPECT_EQ(b[277], 'D');
    EXPECT_EQ(b[278], '3');
    EXPECT_EQ(b[279], 'P');
    EXPECT_EQ(u32At(b, 280), 5u);
    EXPECT_EQ(u32At(b, 284), 3u);
    EXPECT_EQ(u32At(b, 288), 0u);
    EXPECT_EQ(u32At(b, 292), 0u);
    EXPECT_EQ(m_stub->clientState().clientName, "Norvane_P3D");
}

TEST_F(Packets, everyPacketMatchesItsLayout)
{
    const std::vector<PacketCase> cases = lf_packetTable();
    std::uint32_t previousSendId = lastSendId();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto b = sent(c.call);
        ASSERT_EQ(b.size(), c.size);
        EXPECT_EQ(u32At(b, 0), c.size);
        EXPECT_EQ(u32At(b, 4), 35u);
        EXPECT_EQ(u32At(b, 8), c.id);
        EXPECT_EQ(u32At(b, 12), previousSendId + 1) << "one send id per packet";
        previousSendId = u32At(b, 12);
        for (const auto& f : c.u32s)
            EXPECT_EQ(u32At(b, f.offset), f.value) << "offset " << f.offset;
        for (const auto& t : c.texts) {
            EXPECT_EQ(textAt(b, t.offset, t.fieldSize), t.value) << "offset " << t.offset;
            EXPECT_TRUE(zeroFrom(b, t.offset + static_cast<std::uint32_t>(t.value.size()), t.offset + t.fieldSize))
                << "the rest of the text field is zero";
        }
    }

    // The doubles of the initial position, read back by the stand-in's own table.
    const auto creates = m_stub->packetsNamed("AICreateNonATCAircraft");
    ASSERT_EQ(creates.size(), 1u);
    EXPECT_EQ(creates[0].f64("latitude"), 47.5);
    EXPECT_EQ(creates[0].f64("longitude"), 8.25);
    EXPECT_EQ(creates[0].f64("altitude"), 1400.0);
    EXPECT_EQ(creates[0].f64("pitch"), -2.0);
    EXPECT_EQ(creates[0].f64("bank"), 0.5);
    EXPECT_EQ(creates[0].f64("heading"), 270.0);
    EXPECT_TRUE(m_stub->protocolErrors().empty()) << m_stub->protocolErrors().front();
}

// A frame of many positions among every other kind of packet, as the frame
// drain sends it: the packets held and written together arrive as the same
// bytes, in the same order, as when each one goes out alone.
TEST_F(Packets, aFrameOfManyPacketsArrivesTheSameWrittenTogetherAsOneByOne)
{
    const std::vector<PacketCase> table = lf_packetTable();
    std::vector<std::function<SimConnectResult(SimConnectHandle)>> frame;
    for (std::uint32_t round = 0; round < 40; ++round) {
        for (std::uint32_t k = 0; k < 50; ++k) {
            const std::uint32_t object = 100 + round * 50 + k;
            frame.push_back([object](SimConnectHandle h) {
                const double values[8] = {47.0 + object * 1e-4, 8.5, 0.01, -0.02, 1.5, 1400.0 + object, -3.0, 140.0};
                return SimConnect_SetDataOnSimObject(h, 402, object, 0, 0, sizeof values, values);
            });
            if (k % 10 == 0)
                frame.push_back([object](SimConnectHandle h) {
                    return SimConnect_TransmitClientEvent(h, object, 208, object % 2, 301, 0);
                });
        }
        for (const auto& c : table)
            frame.push_back(c.call);
    }

    // The bytes of the packets with send ids from first on, the send id blanked.
    const auto recorded = [this](std::uint32_t first) {
        std::vector<std::vector<std::uint8_t>> out;
        for (const auto& p : m_stub->packets())
            if (p.sendId >= first) {
                EXPECT_EQ(p.sendId, first + out.size()) << "in the order sent";
                out.push_back(p.bytes);
                simtest::putU32(out.back(), 12, 0);
            }
        return out;
    };

    const std::uint32_t aloneFrom = lastSendId() + 1;
    for (const auto& call : frame) {
        const std::size_t before = m_stub->packetCount();
        ASSERT_EQ(call(m_handle), SIMCONNECT_S_OK);
        ASSERT_TRUE(testsupport::waitFor([&] { return m_stub->packetCount() > before; }));
    }
    const auto alone = recorded(aloneFrom);

    auto* connection = static_cast<tzo::SimConnectConnection*>(m_handle);
    const std::uint64_t writesBefore = connection->writesMade();
    const std::uint32_t togetherFrom = lastSendId() + 1;
    {
        const tzo::SimConnectWriteBurst burst(m_handle);
        for (const auto& call : frame)
            ASSERT_EQ(call(m_handle), SIMCONNECT_S_OK);
    }
    const std::uint32_t last = lastSendId();
    ASSERT_TRUE(testsupport::waitFor([&] { return m_stub->handledSendId(0) == last; }));
    const auto together = recorded(togetherFrom);

    ASSERT_EQ(alone.size(), frame.size());
    ASSERT_EQ(together.size(), frame.size());
    for (std::size_t i = 0; i < frame.size(); ++i)
        ASSERT_EQ(together[i], alone[i]) << "packet " << i << " of the frame";
    EXPECT_LT(connection->writesMade() - writesBefore, frame.size() / 50) << "written together, not one by one";
    EXPECT_TRUE(m_stub->protocolErrors().empty()) << m_stub->protocolErrors().front();
}

TEST_F(Packets, setDataCarriesTheElementBytes)
{
    double values[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    const auto b = sent([&](SimConnectHandle h) { return SimConnect_SetDataOnSimObject(h, 402, 99, 0, 1, 64, values); });
    ASSERT_EQ(b.size(), 100u);
    EXPECT_EQ(u32At(b, 8), 0xF0000010u);
    EXPECT_EQ(u32At(b, 16), 402u);
    EXPECT_EQ(u32At(b, 20), 99u);
    EXPECT_EQ(u32At(b, 24), 0u);
    EXPECT_EQ(u32At(b, 28), 1u);
    EXPECT_EQ(u32At(b, 32), 64u);
    EXPECT_EQ(std::memcmp(b.data() + 36, values, 64), 0);

    const auto three = sent([&](SimConnectHandle h) { return SimConnect_SetDataOnSimObject(h, 7, 99, 0, 3, 8, values); });
    ASSERT_EQ(three.size(), 36u + 24u);
    EXPECT_EQ(u32At(three, 28), 3u);
    EXPECT_EQ(std::memcmp(three.data() + 36, values, 24), 0);

    // A count of 0 sends one element.
    const auto zero = sent([&](SimConnectHandle h) { return SimConnect_SetDataOnSimObject(h, 402, 99, 0, 0, 64, values); });
    ASSERT_EQ(zero.size(), 100u);
    EXPECT_EQ(u32At(zero, 28), 1u);
    EXPECT_TRUE(m_stub->protocolErrors().empty());
}

TEST_F(Packets, setDataLargerThanTheOutgoingBufferIsRefused)
{
    std::vector<std::uint8_t> data(41088);
    const std::uint32_t before = lastSendId();
    EXPECT_EQ(SimConnect_SetDataOnSimObject(m_handle, 1, 99, 0, 1, 41088 - 36 + 1, data.data()), SIMCONNECT_E_FAIL);
    // A count whose byte size wraps a 32-bit number must not become a small packet.
    EXPECT_EQ(SimConnect_SetDataOnSimObject(m_handle, 1, 99, 0, 0x40000001u, 4, data.data()), SIMCONNECT_E_FAIL);
    EXPECT_EQ(lastSendId(), before);
    // The largest that fits goes out.
    const auto b = sent([&](SimConnectHandle h) { return SimConnect_SetDataOnSimObject(h, 1, 99, 0, 1, 41088 - 36, data.data()); });
    EXPECT_EQ(b.size(), 41088u);
}

TEST_F(Packets, tailNumberOfElevenIsSentAndTwelveRefused)
{
    SimConnectInitPosition pos;
    const auto b = sent([&](SimConnectHandle h) { return SimConnect_AICreateNonATCAircraft(h, "T", "ABCDEFGHIJK", pos, 104); });
    ASSERT_EQ(b.size(), 344u);
    EXPECT_EQ(textAt(b, 272, 12), "ABCDEFGHIJK");
    EXPECT_EQ(b[283], 0);

    const std::uint32_t before = lastSendId();
    const std::size_t packetsBefore = m_stub->packetCount();
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(m_handle, "T", "ABCDEFGHIJKL", pos, 104), SIMCONNECT_E_TEXT_TOO_LONG);
    // The refused packet used a send id all the same: the next one skips it.
    const auto next = sent([](SimConnectHandle h) { return SimConnect_ClearDataDefinition(h, 1); });
    EXPECT_EQ(u32At(next, 12), before + 2);
    EXPECT_EQ(m_stub->packetCount(), packetsBefore + 1) << "nothing was sent for the refused packet";
    EXPECT_TRUE(m_stub->protocolErrors().empty()) << "a gap in send ids is no protocol error";
}

TEST_F(Packets, titleOf255IsSentAnd256Refused)
{
    SimConnectInitPosition pos;
    const std::string title255(255, 'A');
    const auto b = sent([&](SimConnectHandle h) { return SimConnect_AICreateNonATCAircraft(h, title255.c_str(), "X", pos, 104); });
    EXPECT_EQ(textAt(b, 16, 256), title255);
    EXPECT_EQ(b[271], 0);

    const std::string title256(256, 'A');
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(m_handle, title256.c_str(), "X", pos, 104), SIMCONNECT_E_TEXT_TOO_LONG);
    EXPECT_EQ(SimConnect_SubscribeToSystemEvent(m_handle, 1, title256.c_str()), SIMCONNECT_E_TEXT_TOO_LONG);
    const std::string path260(260, 'p');
    EXPECT_EQ(SimConnect_AISetAircraftFlightPlan(m_handle, 1, path260.c_str(), 110), SIMCONNECT_E_TEXT_TOO_LONG);
}

TEST_F(Packets, nullTextsAreSentEmpty)
{
    const auto b = sent([](SimConnectHandle h) {
        return SimConnect_AddToDataDefinition(h, 404, "ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32, 0.0f,
                                              SIMCONNECT_UNUSED);
    });
    EXPECT_EQ(textAt(b, 20, 256), "ATC ID");
    EXPECT_TRUE(zeroFrom(b, 276, 532));
    EXPECT_EQ(u32At(b, 532), 6u);
    const auto def = m_stub->clientState().dataDefinitions.at(404);
    ASSERT_EQ(def.size(), 1u);
    EXPECT_EQ(def[0].unitsName, "");
}

TEST_F(Packets, sendIdAfterFFFFFFFFIsOne)
{
    // Forward in two jumps, so that the stand-in's check of rising send ids holds.
    auto* connection = static_cast<tzo::SimConnectConnection*>(m_handle);
    connection->setNextSendId(0x80000000u);
    sent([](SimConnectHandle h) { return SimConnect_ClearDataDefinition(h, 1); });
    connection->setNextSendId(0xFFFFFFFFu);
    const auto a = sent([](SimConnectHandle h) { return SimConnect_ClearDataDefinition(h, 1); });
    EXPECT_EQ(u32At(a, 12), 0xFFFFFFFFu);
    const auto b = sent([](SimConnectHandle h) { return SimConnect_ClearDataDefinition(h, 2); });
    EXPECT_EQ(u32At(b, 12), 1u);
    EXPECT_EQ(lastSendId(), 1u);
    EXPECT_TRUE(m_stub->protocolErrors().empty()) << m_stub->protocolErrors().front();
}

TEST_F(Packets, lastSentPacketIdNeedsHandleAndOutPointer)
{
    std::uint32_t id = 0;
    EXPECT_EQ(SimConnect_GetLastSentPacketID(m_handle, nullptr), SIMCONNECT_E_FAIL);
    EXPECT_EQ(SimConnect_GetLastSentPacketID(nullptr, &id), SIMCONNECT_E_FAIL);
    int notAConnection = 0;
    EXPECT_EQ(SimConnect_ClearDataDefinition(&notAConnection, 1), SIMCONNECT_E_FAIL);
}

TEST_F(Packets, standInKeepsWhatTheClientRegisters)
{
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_handle, 201, "Sim"), 0);
    ASSERT_EQ(SimConnect_SubscribeToSystemEvent(m_handle, 204, "Frame"), 0);
    ASSERT_EQ(SimConnect_UnsubscribeFromSystemEvent(m_handle, 201), 0);
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(m_handle, 208, "NAV_LIGHTS_SET"), 0);
    ASSERT_EQ(SimConnect_MapClientEventToSimEvent(m_handle, 207, "BEACON_LIGHTS_SET"), 0);
    ASSERT_EQ(SimConnect_AddClientEventToNotificationGroup(m_handle, 301, 208, true), 0);
    ASSERT_EQ(SimConnect_AddClientEventToNotificationGroup(m_handle, 301, 207, false), 0);
    ASSERT_EQ(SimConnect_SetNotificationGroupPriority(m_handle, 301, SIMCONNECT_GROUP_PRIORITY_HIGHEST), 0);
    ASSERT_EQ(SimConnect_AddToDataDefinition(m_handle, 405, "Static CG to Ground", "feet", SIMCONNECT_DATATYPE_FLOAT64,
                                             0.0f, SIMCONNECT_UNUSED), 0);
    ASSERT_EQ(SimConnect_AddToDataDefinition(m_handle, 405, "Static Pitch", "radians", SIMCONNECT_DATATYPE_FLOAT64,
                                             0.5f, 7), 0);
    const std::uint32_t last = lastSendId();
    ASSERT_TRUE(packetWithSendId(last).has_value());

    const auto st = m_stub->clientState();
    EXPECT_EQ(st.subscriptions, (std::map<std::uint32_t, std::string>{{204, "Frame"}}));
    EXPECT_EQ(st.clientEvents.at(208), "NAV_LIGHTS_SET");
    const auto& group = st.groups.at(301);
    EXPECT_EQ(group.priority, 1u);
    ASSERT_EQ(group.events.size(), 2u);
    EXPECT_EQ(group.events[0], std::make_pair(208u, true));
    EXPECT_EQ(group.events[1], std::make_pair(207u, false));
    const auto& def = st.dataDefinitions.at(405);
    ASSERT_EQ(def.size(), 2u);
    EXPECT_EQ(def[1].datumName, "Static Pitch");
    EXPECT_EQ(def[1].unitsName, "radians");
    EXPECT_EQ(def[1].epsilon, 0.5f);
    EXPECT_EQ(def[1].datumId, 7u);

    // Clearing an unknown definition is answered with an exception naming the packet.
    ASSERT_EQ(SimConnect_ClearDataDefinition(m_handle, 999), 0);
    const std::uint32_t clearId = lastSendId();
    ASSERT_TRUE(dispatchUntil([](const simtest::Received& r) { return r.countOf(SIMCONNECT_RECV_ID_EXCEPTION) == 1; }));
    for (const auto& m : m_received.messages)
        if (u32At(m, 8) == SIMCONNECT_RECV_ID_EXCEPTION) {
            EXPECT_EQ(u32At(m, 12), SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID);
            EXPECT_EQ(u32At(m, 16), clearId);
        }
}

} // namespace
