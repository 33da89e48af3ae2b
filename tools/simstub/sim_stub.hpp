#pragma once
// The simulator's side of the SimConnect protocol, for tests and demos: it
// listens on the pipe (a Unix-domain socket) and on TCP loopback, decodes
// every packet with its own tables, checks it, records it with the frame in
// which it arrived, keeps what the client registers, and answers.

#include "packet_table.hpp"

#include "platform/stream_socket.hpp"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace simstub {

// A piece of terrain: inside the radius around its centre the ground lies at
// its height.
struct GroundArea {
    double latitude = 0.0;  // degrees
    double longitude = 0.0; // degrees
    double radiusNm = 0.0;
    double feet = 0.0;
};

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
    // Size words of 0 sent before every message, as the simulator may pad
    // its stream: each is a whole u32, never a stray byte.
    std::uint32_t paddingWords = 0;

    // The world: the user's aircraft has this object id; AI objects get ids
    // counting up from firstAiObjectId.
    std::uint32_t userObjectId = 1;
    std::uint32_t firstAiObjectId = 100;
    // Container titles whose creation fails (exception 22 naming the packet).
    std::vector<std::string> refusedTitles;
    // Answers to once-a-second data requests come at this interval (tests
    // make it short to cover long program time quickly); zero: only
    // answerSeconds() makes them.
    std::chrono::milliseconds secondInterval{1000};
    // The ground: flat at groundFt but for the areas; where areas overlap,
    // the one whose centre is nearest holds.
    double groundFt = 1416.0;
    std::vector<GroundArea> groundAreas;
    // On only where a test reads the history (every position and event of an
    // object, removed objects with their last state). Off, an object keeps
    // only its latest position and the last value of each event, and removed
    // objects are only counted, so the stand-in's own memory stays flat
    // however long it runs and however many objects come and go.
    bool keepHistory = false;
};

// One object of the simulated world: the user's aircraft or an AI aircraft.
// Simulation variables are kept by their upper-case names ("PLANE LATITUDE");
// data requests and SetData read and write them through the registered data
// definitions, units as the client asks for them.
struct SimObjectState {
    std::uint32_t id = 0;
    bool isUser = false;
    std::string title;    // TITLE
    std::string atcId;    // ATC ID: the tail number an AI aircraft was created with
    std::string atcModel; // ATC MODEL
    std::map<std::string, double> vars;
    bool aiControlled = true;
    std::uint32_t releases = 0;
    std::uint32_t createSendId = 0;
    // The connection that created it: the simulator removes a client's AI
    // objects when that client's connection ends.
    std::size_t connection = 0;
    // The plan assigned to it: the file read (the path given plus ".pln", as
    // the simulator adds it) and the codes it held.
    std::string flightPlan;
    std::string planType;
    std::string planDeparture;
    std::string planDestination;
    std::uint64_t dataSets = 0;
    // Client events applied to the object: the last value by simulator event
    // name, and every one in order (kept with the history only).
    std::map<std::string, std::uint32_t> events;
    std::vector<std::pair<std::string, std::uint32_t>> eventLog;
    // The same events with the frame count at which each arrived (lights,
    // engines, flaps, gear, spoilers, throttle, freezes, toggles).
    struct Change {
        std::string event;
        std::uint32_t value = 0;
        std::uint64_t frame = 0;
    };
    std::vector<Change> changes;
    // Every position the object had (with the history; else the latest),
    // with the frame count at which it was set: the creation's first, then
    // one per data set that carried a position. Angles in the units the
    // client set them in.
    struct Position {
        std::uint64_t frame = 0;
        double latitude = 0.0;
        double longitude = 0.0;
        double altitude = 0.0;
        double pitch = 0.0;
        double bank = 0.0;
        double heading = 0.0;
        bool onGround = false;
        double heightAboveGround = 0.0;
    };
    std::vector<Position> positions;
    // Where it was created, and when; when it was removed (removed objects
    // are kept apart, see removedObjects).
    double firstLatitude = 0.0;
    double firstLongitude = 0.0;
    double firstAltitude = 0.0;
    std::uint64_t createdFrame = 0;
    bool removed = false;
    std::uint64_t removedFrame = 0;
    // The same moments on the steady clock.
    std::chrono::steady_clock::time_point createdAt{};
    std::chrono::steady_clock::time_point removedAt{};
    // Removal asked for while removals are held: the object stays until released.
    bool removalHeld = false;

    double var(std::string_view name) const; // 0 when never set
    std::uint32_t event(std::string_view name) const; // 0 when never sent
    bool hasEvent(std::string_view name) const;
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
    // The send id of the last packet of the connection whose answers have
    // gone out (and which is recorded, when packets are); 0 before any. A
    // cheap wait for long runs, where copying every packet would not be.
    std::uint32_t handledSendId(std::size_t connection) const;
    static constexpr std::size_t lastConnection = static_cast<std::size_t>(-1);

    // Answers and events, sent to every open connection.
    void stepFrames(int count = 1);
    // An EVENT to every connection subscribed to the system event.
    void sendSystemEvent(std::string_view systemEventName, std::uint32_t data);
    void sendException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index);
    void sendQuit();
    void sendRaw(const std::vector<std::uint8_t>& bytes);
    // An EVENT_FILENAME to every connection subscribed to the system event.
    void sendFilenameEvent(std::string_view systemEventName, const std::string& fileName);
    // Ends every connection in order, or abruptly (a reset where TCP allows it).
    void closeConnections();
    void dropConnections();

    // The world.
    SimObjectState user() const;
    void setUserVar(std::string_view name, double value);
    void setUserTitle(std::string title);
    void setUserModel(std::string model);
    std::vector<SimObjectState> aiObjects() const;
    std::optional<SimObjectState> object(std::uint32_t id) const;
    // Objects the client removed, in the order removed, with their last state.
    std::vector<SimObjectState> removedObjects() const;
    // Every removal, also those not kept (keepHistory off).
    std::uint64_t removedCount() const { return m_removedCount.load(); }
    // Every AI object created, also those removed since.
    std::uint64_t createdCount() const { return m_createdCount.load(); }
    // The positions held, of objects in the world and of removed ones.
    std::size_t storedPositions() const;
    // Feet: the ground at that place, as GROUND ALTITUDE reports it for an
    // aircraft there.
    double groundAltitudeAt(double latitude, double longitude) const;
    // Sets a variable of an AI object (or the user's, id 0); false when there
    // is no such object. "GROUND ALTITUDE" also moves the height above ground
    // (until the object moves on: its ground is then the ground where it is).
    // A position set on an AI object recomputes its on-ground state (the
    // altitude at most its static CG height and half a foot above its
    // ground) and its height over the ground.
    bool setObjectVar(std::uint32_t id, std::string_view name, double value);
    // Packets that aimed at the user's object (other than data requests) or
    // at an object id that does not exist.
    std::vector<Packet> misdirectedPackets() const;
    // Answers every once-a-second request count times, at once.
    void answerSeconds(int count = 1);

    // While on, no connection's packets are read (a simulator busy with
    // itself, or stalled): they wait in the stream, which fills, and go on
    // from where they stopped when it is off again. Answers and events are
    // still sent.
    void holdReading(bool hold);

    // While on, AIRemoveObject is recorded but left unanswered: the object
    // stays in the world (marked removalHeld) and no removal event is sent.
    void holdRemovals(bool hold);
    // Carries out the held removals, in the order asked, with their events.
    void releaseHeldRemovals();
    // While on, an AI creation makes its object (with its "ObjectAdded"
    // event) but the answer naming the object to the creation's request
    // waits, as from a simulator that is slow to answer. A held answer goes
    // only to the connection that asked; one whose connection ended is
    // never sent.
    void holdCreationAnswers(bool hold);
    // Sends the answers held back: in the order of the creations, or in an
    // order drawn from shuffleSeed (not 0); of them a share drawn from the
    // seed is never sent (a simulator that forgets to answer), and of those
    // sent a share names an object that the simulator removes by itself at
    // once, with its removal event.
    // Answers the objects whose answers are never sent.
    std::vector<std::uint32_t> releaseCreationAnswers(unsigned shuffleSeed = 0, double neverShare = 0.0,
                                                      double goneShare = 0.0);
    // The simulator removes an AI object by itself (a crash, its own
    // clean-up), with the removal event; false when there is no such object.
    bool removeObjectByItself(std::uint32_t id);
    // An AI aircraft of the simulator's own traffic (no client created it),
    // with its ObjectAdded event; answers its id.
    std::uint32_t addOwnTrafficObject(double latitude, double longitude, double altitude);
    // From now on, as a simulator may, the id of a removed AI object is
    // handed out again to a creation this many frames after its removal
    // (once no held creation answer names it); 0: ids only count up.
    void reuseIdsAfterFrames(std::uint64_t frames);
    // The objects whose creation answers are held back: no client can know
    // yet which creation each one answers.
    std::vector<std::uint32_t> heldCreationObjects() const;
    // The AI objects and their positions now (PLANE LATITUDE, PLANE LONGITUDE).
    struct ObjectPosition {
        std::uint32_t id = 0;
        std::string atcId;
        double latitude = 0.0;
        double longitude = 0.0;
        bool removalHeld = false;
    };
    std::vector<ObjectPosition> objectPositions() const;
    std::uint64_t secondsAnswered() const { return m_seconds.load(); }
    // RequestDataOnSimObject packets with that request id so far, on every
    // connection, recorded or not: how often the client asks shows its pace.
    std::uint64_t requestsMade(std::uint32_t requestId) const;

private:
    struct Session {
        std::size_t index = 0;
        platform::StreamSocket socket;
        bool tcp = false;
        std::thread reader;
        std::mutex writeMutex;
        std::atomic<bool> ending{false};
        bool ended = false; // guarded by the stub's mutex
        ClientState state;  // guarded by the stub's mutex
        bool hasSendId = false;
        std::uint32_t lastSendId = 0;
        std::uint32_t handledSendId = 0; // guarded by the stub's mutex
    };
    struct Periodic {
        Session* session;
        std::uint32_t requestId;
        std::uint32_t defineId;
        std::uint32_t objectId;
        std::uint32_t period;
    };
    using Messages = std::vector<std::vector<std::uint8_t>>;
    using ObjectEvents = std::vector<std::pair<std::string, std::uint32_t>>; // system event, object id

    void secondLoop();
    void initWorld();
    // Under m_mutex: the id of the next AI object.
    std::uint32_t takeObjectId();
    // Answers the periodic requests of one second (or of one frame).
    void answerPeriodic(bool second);
    // The packets that act on the world; under m_mutex.
    void handleWorldPacket(Session& session, const DecodeResult& d, Messages& answers, ObjectEvents& objectEvents,
                           bool& misdirected);
    SimObjectState* findObject(std::uint32_t id); // 0 is the user
    std::vector<std::uint8_t> dataMessage(std::uint32_t messageId, const Session& session, std::uint32_t requestId,
                                          std::uint32_t defineId, const SimObjectState& object,
                                          std::uint32_t entry, std::uint32_t outOf) const;
    void sendObjectEvents(const ObjectEvents& events);
    // Takes the object out of the world with its removal event; under m_mutex.
    void removeObject(std::uint32_t id, ObjectEvents& objectEvents);
    // The AI objects a connection created go with it, as in the simulator.
    void removeObjectsOf(const Session& session);

    void acceptLoop(platform::StreamListener* listener);
    void sessionLoop(Session* session);
    void frameLoop();
    void handlePacket(Session& session, std::vector<std::uint8_t> bytes);
    void send(Session& session, const std::vector<std::uint8_t>& message);
    void sendToAll(const std::vector<std::uint8_t>& message);
    // The live sessions subscribed to this system event, each with its own event id;
    // collected under m_mutex so that the sending happens outside it.
    std::vector<std::pair<Session*, std::uint32_t>> subscribers(std::string_view systemEventName) const;
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
    std::mutex m_readingMutex;
    std::condition_variable m_readingChanged;
    bool m_holdReading = false; // guarded by m_readingMutex

    mutable std::mutex m_mutex; // sessions, records and client states
    std::vector<std::unique_ptr<Session>> m_sessions;
    std::vector<Packet> m_packets;
    std::vector<std::string> m_errors;
    std::atomic<std::size_t> m_packetCount{0};
    std::atomic<std::uint64_t> m_frame{0};
    std::mutex m_frameMutex; // one frame at a time

    // Under m_mutex.
    SimObjectState m_user;
    std::map<std::uint32_t, SimObjectState> m_objects;
    std::vector<SimObjectState> m_removedObjects;
    std::atomic<std::uint64_t> m_removedCount{0};
    std::atomic<std::uint64_t> m_createdCount{0};
    std::uint32_t m_nextObjectId = 0;
    std::uint64_t m_reuseIdsAfterFrames = 0;
    std::vector<std::pair<std::uint32_t, std::uint64_t>> m_freedIds; // id, frame of its removal
    std::vector<Periodic> m_periodic;
    std::vector<Packet> m_misdirected;
    bool m_holdRemovals = false;
    std::vector<std::uint32_t> m_heldRemovals;
    bool m_holdCreationAnswers = false;
    struct HeldAnswer {
        std::size_t connection = 0;
        std::uint32_t objectId = 0;
        std::vector<std::uint8_t> message;
    };
    std::vector<HeldAnswer> m_heldCreationAnswers;
    std::map<std::uint32_t, std::uint64_t> m_requestCounts;

    std::thread m_secondThread;
    std::atomic<std::uint64_t> m_seconds{0};
    std::mutex m_secondMutex; // one second at a time
};

// Tells every connection that has subscribed to "Sim" and was not told yet
// (told holds those told) that the flight runs, as the simulator does for a
// loaded flight.
void announceRunningFlight(SimStub& stub, std::set<std::size_t>& told);

} // namespace simstub
