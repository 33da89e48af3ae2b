#pragma once
// The program's simulator layer against the stand-in: a private world per
// test (sim_fixture.hpp), the layer's state put back to its start, and the
// hooks of the upper layers replaced by recorders.

#include "foundation/app_hooks.hpp"
#include "foundation/log.hpp"
#include "foundation/run_state.hpp"
#include "foundation/settings.hpp"
#include "refdata/dbase.hpp"
#include "sim_fixture.hpp"
#include "simconnect/messages.hpp"
#include "simconnect/sim_client.hpp"
#include "simconnect/sim_creations.hpp"
#include "simconnect/sim_dispatch.hpp"
#include "simconnect/sim_hooks.hpp"
#include "simconnect/sim_ids.hpp"
#include "simconnect/sim_notifications.hpp"
#include "simconnect/sim_queues.hpp"

#include <algorithm>
#include <cstring>
#include <fmt/format.h>
#include <mutex>
#include <string>
#include <vector>

namespace simtest {

// What the layer told the shell and the window.
struct Recorder {
    std::mutex mutex;
    std::vector<std::string> statuses;
    std::vector<std::string> errors;
    std::vector<std::pair<ExitReason, int>> exits;
    std::vector<std::string> window; // "connected 1", "title X", ...
    std::string standAnswer;         // what standNameAt answers
    std::vector<std::string> rememberedStands;
    int statusClears = 0;

    static Recorder& get()
    {
        static Recorder r;
        return r;
    }
    void clear()
    {
        std::lock_guard lock(mutex);
        statuses.clear();
        errors.clear();
        exits.clear();
        window.clear();
        standAnswer.clear();
        rememberedStands.clear();
        statusClears = 0;
    }
    template <typename T>
    std::vector<T> copy(const std::vector<T>& v)
    {
        std::lock_guard lock(mutex);
        return v;
    }
    void add(std::vector<std::string>& v, std::string text)
    {
        std::lock_guard lock(mutex);
        v.push_back(std::move(text));
    }
    int clears()
    {
        std::lock_guard lock(mutex);
        return statusClears;
    }
    bool hasWindow(const std::string& text)
    {
        std::lock_guard lock(mutex);
        return std::find(window.begin(), window.end(), text) != window.end();
    }
};

inline void installRecorders()
{
    AppHooks app;
    app.showStatus = [](std::string_view t, bool log) {
        Recorder::get().add(Recorder::get().statuses, std::string(t));
        if (log)
            gf_logLine(t); // as the window's status line does
    };
    app.clearStatus = [] {
        std::lock_guard lock(Recorder::get().mutex);
        ++Recorder::get().statusClears;
    };
    app.showError = [](std::string_view t) { Recorder::get().add(Recorder::get().errors, std::string(t)); };
    app.requestExit = [](ExitReason reason, int seconds) {
        std::lock_guard lock(Recorder::get().mutex);
        Recorder::get().exits.emplace_back(reason, seconds);
    };
    gf_installAppHooks(app);

    SimLayerHooks sim;
    sim.simConnected = [](bool b) { Recorder::get().add(Recorder::get().window, fmt::format("connected {}", b)); };
    sim.flightRunning = [](bool b) { Recorder::get().add(Recorder::get().window, fmt::format("running {}", b)); };
    sim.simulatorText = [](std::string_view t) { Recorder::get().add(Recorder::get().window, fmt::format("sim {}", t)); };
    sim.userTitle = [](std::string_view t) { Recorder::get().add(Recorder::get().window, fmt::format("title {}", t)); };
    sim.userStand = [](std::string_view t) { Recorder::get().add(Recorder::get().window, fmt::format("stand {}", t)); };
    sim.wingspanKnown = [](bool b) { Recorder::get().add(Recorder::get().window, fmt::format("wingspan {}", b)); };
    sim.enableInstallPath = [] { Recorder::get().add(Recorder::get().window, "install path enabled"); };
    sim.standNameAt = [](double, double) {
        std::lock_guard lock(Recorder::get().mutex);
        return Recorder::get().standAnswer;
    };
    sim.rememberParkStand = [](std::string_view s) {
        Recorder::get().add(Recorder::get().rememberedStands, std::string(s));
    };
    gf_installSimLayerHooks(sim);
}

// Resets everything the layer keeps between runs, as a restart does.
inline void resetLayer()
{
    gf_stopSimClient();
    gf_resetSimConnection();
    gf_reserveSimContainers();
    tzo::gf_clearSimNotifications();
    simRequestErrorCount.store(0);
    exiting.store(false);
    userClosed.store(false);
    secondTick.store(false);
    rtProfessional.store(false);
    simTimeUnix.store(0);
    SIM_INSTALL_PATH.setValue("");
    P3D_VERSION.setValue(5);
    Recorder::get().clear();
}

class SimLayer : public SimWorld {
protected:
    void SetUp() override
    {
        gf_openLog(dir() / "Log.txt");
        installRecorders();
        resetLayer();
    }
    void TearDown() override
    {
        gf_stopSimClient();
        gf_closeLog();
    }

    std::string log() { return testsupport::readFile(dir() / "Log.txt"); }
    bool logHas(const std::string& text) { return log().find(text) != std::string::npos; }

    // A stand-in with frames stepped by the test and seconds given on demand.
    simstub::SimStub& startQuietStub(simstub::Options options = {})
    {
        options.frameInterval = std::chrono::milliseconds(0);
        if (options.secondInterval == std::chrono::milliseconds(1000))
            options.secondInterval = std::chrono::milliseconds(0);
        return startStub(std::move(options));
    }

    // Starts the connection thread and waits until the stand-in has seen the
    // whole registration.
    void startAndRegister()
    {
        gf_startSimClient();
        ASSERT_TRUE(testsupport::waitFor([&] { return !m_stub->packetsNamed("SetNotificationGroupPriority").empty(); }))
            << "the client never registered";
        ASSERT_TRUE(testsupport::waitFor([&] { return Recorder::get().clears() > 0; }))
            << "the OPEN answer was not accepted";
    }

    // Frames are handled in order with other messages: after a "Sim" event
    // sent behind the frame has been seen, the frame has been handled too.
    void frameAndSettle(int frames = 1)
    {
        m_stub->stepFrames(frames);
        settle();
    }
    // The client has handled everything the stand-in sent before, and the
    // stand-in has recorded every packet the client sent meanwhile (they
    // travel through the connection's writer thread, so the second needs its
    // own wait: for the packet the client sent last).
    void settle()
    {
        flightRunning.store(false);
        m_stub->sendSystemEvent("Sim", 1);
        ASSERT_TRUE(testsupport::waitFor([] { return flightRunning.load(); }));
        std::uint32_t last = 0;
        if (SimConnect_GetLastSentPacketID(simConnectHandle.load(), &last) != SIMCONNECT_S_OK)
            return;
        const std::size_t connection = m_stub->connectionCount() - 1;
        // Send ids rise by one per packet (a refused packet leaves a gap).
        ASSERT_TRUE(testsupport::waitFor(
            [&] { return m_stub->handledSendId(connection) - last < 0x80000000u; }));
    }

    // Puts the user's aircraft there in the stand-in and waits until the
    // program has its new state.
    void placeUserAndWait(double latitude, double longitude, double altitude)
    {
        m_stub->setUserVar("Plane Latitude", latitude);
        m_stub->setUserVar("Plane Longitude", longitude);
        m_stub->setUserVar("Plane Altitude", altitude);
        requestUserStateAndWait();
    }

    // Asks for the user's on-ground flag every simulator second, as the
    // program's start of operations does.
    void requestUserOnGroundEachSecond()
    {
        std::lock_guard lock(simQueueMutex);
        ASSERT_EQ(SimConnect_RequestDataOnSimObject(simConnectHandle.load(), tzo::REQUEST_USER_ON_GROUND,
                                                    tzo::DEFINITION_USER_ON_GROUND, SIMCONNECT_OBJECT_ID_USER,
                                                    SIMCONNECT_PERIOD_SECOND, 0, 0, 0, 0),
                  SIMCONNECT_S_OK);
    }

    // Asks for the user state and waits until its answer is in.
    // The stand-in records a packet only after sending its answers, so once the
    // request is recorded the answer is on the wire; one more "Sim" event sent
    // behind it is handled after it.
    void requestUserStateAndWait()
    {
        settle();
        gf_requestUserAircraftState();
        settle();
        settle();
    }

    std::vector<tzo::SimNotification> waitForNotifications(std::size_t count)
    {
        std::vector<tzo::SimNotification> all;
        testsupport::waitFor([&] {
            for (const auto& n : tzo::gf_takeSimNotifications())
                all.push_back(n);
            return all.size() >= count;
        });
        return all;
    }

    std::vector<std::pair<ExitReason, int>> exits() { return Recorder::get().copy(Recorder::get().exits); }
};

// Message builders for feeding lf_dispatch directly.
struct MessageBytes {
    std::vector<std::uint8_t> bytes;

    MessageBytes(std::uint32_t id, std::size_t size) : bytes(size, 0)
    {
        u32(0, static_cast<std::uint32_t>(size));
        u32(4, 4);
        u32(8, id);
    }
    MessageBytes& u32(std::size_t at, std::uint32_t v)
    {
        putU32(bytes, at, v);
        return *this;
    }
    template <typename T>
    MessageBytes& put(std::size_t at, T v)
    {
        std::memcpy(bytes.data() + at, &v, sizeof v);
        return *this;
    }
    MessageBytes& text(std::size_t at, const std::string& t)
    {
        std::memcpy(bytes.data() + at, t.data(), t.size());
        return *this;
    }
    void dispatch() const
    {
        // An exact-size copy on the heap, so that a read past its end is caught.
        std::vector<std::uint8_t> copy(bytes);
        lf_dispatch(reinterpret_cast<SimConnectRecv*>(copy.data()), static_cast<std::uint32_t>(copy.size()), nullptr);
    }
};

inline MessageBytes openMessage(const std::string& name, std::uint32_t major = 5, std::uint32_t minor = 3)
{
    MessageBytes m(SIMCONNECT_RECV_ID_OPEN, 308);
    m.text(12, name).u32(268, major).u32(272, minor).u32(276, 17).u32(280, 28);
    return m;
}

inline MessageBytes eventMessage(std::uint32_t eventId, std::uint32_t data)
{
    MessageBytes m(SIMCONNECT_RECV_ID_EVENT, 28);
    m.u32(12, 0xFFFFFFFFu).u32(16, eventId).u32(20, data);
    return m;
}

inline MessageBytes addRemoveMessage(std::uint32_t eventId, std::uint32_t objectId, std::uint32_t type = 2)
{
    MessageBytes m(SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE, 32);
    m.u32(12, 0xFFFFFFFFu).u32(16, eventId).u32(20, objectId).u32(24, type);
    return m;
}

inline MessageBytes exceptionMessage(std::uint32_t code, std::uint32_t sendId, std::uint32_t index = 0)
{
    MessageBytes m(SIMCONNECT_RECV_ID_EXCEPTION, 24);
    m.u32(12, code).u32(16, sendId).u32(20, index);
    return m;
}

inline MessageBytes dataMessage(std::uint32_t id, std::uint32_t requestId, std::uint32_t objectId,
                                std::uint32_t defineId, const std::vector<std::uint8_t>& data)
{
    MessageBytes m(id, 40 + data.size());
    m.u32(12, requestId).u32(16, objectId).u32(20, defineId).u32(28, 1).u32(32, 1).u32(36, 1);
    std::memcpy(m.bytes.data() + 40, data.data(), data.size());
    return m;
}

struct DataBytes {
    std::vector<std::uint8_t> bytes;
    template <typename T>
    DataBytes& add(T v)
    {
        const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
        bytes.insert(bytes.end(), p, p + sizeof v);
        return *this;
    }
    DataBytes& text(const std::string& t, std::size_t field)
    {
        std::vector<std::uint8_t> f(field, 0);
        std::memcpy(f.data(), t.data(), std::min(t.size(), field));
        bytes.insert(bytes.end(), f.begin(), f.end());
        return *this;
    }
};

inline std::vector<std::uint8_t> userStateData(double lat, double lon, double altitude = 1000.0,
                                               double groundSpeed = 0.0, std::int64_t zuluTime = 3600,
                                               std::int64_t day = 1, std::int64_t year = 2026)
{
    DataBytes d;
    d.add(lat).add(lon).add(0.0).add(0.0).add(1.0).add(altitude).add(0.0).add(groundSpeed);
    d.add(zuluTime).add(day).add(year).add(std::int64_t{0});
    return d.bytes;
}

inline std::vector<std::uint8_t> inRangeData(double aboveGround, double ground, bool onGround, const std::string& atcId)
{
    DataBytes d;
    d.add(aboveGround).add(ground).add(std::int64_t{onGround ? 1 : 0}).text(atcId, 32);
    return d.bytes;
}

} // namespace simtest
