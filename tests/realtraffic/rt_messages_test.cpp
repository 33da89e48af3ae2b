// The messages to RealTraffic and the handshake, against the RealTraffic
// stand-in over real loopback TCP.

#include "rt_link_fixture.hpp"

#include "foundation/strings.hpp"
#include "platform/stream_socket.hpp"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <future>
#include <limits>
#include <numbers>

using namespace tzo;
using testsupport::RtLinkTest;
using testsupport::userState;
using testsupport::waitFor;

namespace {

using MessagesTest = RtLinkTest;

// Connections opened and closed again at once, as a port scan or a program
// that gave up leaves them (a web browser says something first), queued at
// the server before whatever comes next.
void queueDeadConnections(std::uint16_t port, int count, std::string_view said = {})
{
    for (int i = 0; i < count; ++i) {
        std::error_code ec;
        auto socket = platform::StreamSocket::connectTcp(platform::IpFamily::V4, "", std::to_string(port),
                                                         std::chrono::seconds(5), ec);
        ASSERT_TRUE(socket.valid()) << ec.message();
        if (!said.empty())
            ASSERT_TRUE(socket.sendAll(said.data(), said.size(), ec)) << ec.message();
        socket.close();
    }
}

constexpr std::string_view kHttpRequest = "GET / HTTP/1.0\r\n\r\n";

// Sends the position until the link is found gone (the first write after the
// peer's close may still be taken by the system).
bool sendUntilGone(const UserAircraftState& user)
{
    return waitFor([&] {
        gf_sendPositionToRealTraffic(user);
        return !rtConnected.load();
    });
}

} // namespace

TEST(RealTrafficMessages, positionIsWrittenInFixedPoint)
{
    const UserAircraftState user = userState(47.5, 8.5, 0.05, -0.1, 1.5, 3500.0, 250.5);
    EXPECT_EQ(gf_positionMessage(user), "Qs121=5000;-10000;1.500000;3500000;250500;0.829031;0.148353\r\n");
    const UserAircraftState high = userState(-33.9, -151.2, 0.0, 0.0, 6.283185, 41000.25, 480.123);
    EXPECT_EQ(gf_positionMessage(high), "Qs121=0;0;6.283185;41000250;480123;-0.591667;-2.638938\r\n");
    EXPECT_EQ(gf_timeMessage(1700000000), "Qs123=1700000000000\r\n");
}

TEST(RealTrafficMessages, positionNumbersAreNeverWrittenWithAnExponent)
{
    struct Case {
        const char* what;
        UserAircraftState user;
        const char* speedText;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {"tiny speed", userState(47.5, 8.5, 0.0, 0.0, 1.5, 3500.0, 1e-7), "0.00009999999999999999"},
        // All 304 digits of the double nearest 1e303.
        {"huge speed", userState(47.5, 8.5, 0.0, 0.0, 1.5, 3500.0, 1e300), nullptr},
        {"smallest speed", userState(47.5, 8.5, 0.0, 0.0, 1.5, 3500.0, std::numeric_limits<double>::denorm_min()),
         nullptr},
        {"huge and tiny angles and altitude", userState(1e-300, -1e-300, 1e300, -1e300, 1e-300, 1e300, -1e300),
         nullptr},
        {"not finite", userState(nan, inf, nan, -inf, nan, inf, nan), "0"},
    };
    for (const auto& c : cases) {
        const std::string message = gf_positionMessage(c.user);
        ASSERT_TRUE(message.starts_with("Qs121=") && message.ends_with("\r\n")) << c.what;
        const std::string_view body = std::string_view(message).substr(6, message.size() - 8);
        EXPECT_EQ(body.find_first_not_of("0123456789.-;"), std::string_view::npos) << c.what << ": " << message;
        const auto fields = gf_splitSemicolon(body);
        ASSERT_EQ(fields.size(), 7u) << c.what;
        if (c.speedText) {
            EXPECT_EQ(fields[4], c.speedText) << c.what;
        }
        // The shortest form still reads back as the same number.
        double speed = 0;
        std::from_chars(fields[4].data(), fields[4].data() + fields[4].size(), speed, std::chars_format::fixed);
        if (std::isfinite(c.user.groundSpeed)) {
            EXPECT_EQ(speed, c.user.groundSpeed * 1000.0) << c.what;
        }
    }
}

TEST(RealTrafficMessages, jsonObjectIsWholeOnlyWhenItsBracesClose)
{
    struct Case {
        std::string_view text;
        JsonObjectState state;
    };
    const Case cases[] = {
        {"", JsonObjectState::Incomplete},
        {"  \r\n", JsonObjectState::Incomplete},
        {"{\"version\": \"9.0", JsonObjectState::Incomplete},
        {"{\"version\": \"a}\"", JsonObjectState::Incomplete}, // a brace inside a text
        {"{\"v\": \"\\\"}\"", JsonObjectState::Incomplete},    // an escaped quote
        {"{\"v\": {\"w\": [1, {}]}", JsonObjectState::Incomplete},
        {"{\"v\": {\"w\": [1, {}]}}", JsonObjectState::Complete},
        {" {\"version\": \"9\", \"level\": 2}\r\n", JsonObjectState::Complete},
        {"hello", JsonObjectState::NotAnObject},
        {"[1, 2]", JsonObjectState::NotAnObject},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_jsonObjectState(c.text), c.state) << c.text;
}

TEST_F(MessagesTest, handshakeLearnsVersionAndEdition)
{
    struct Case {
        const char* name;
        rtstub::VersionReply reply;
        int level;
        std::string raw;
        std::string text; // empty: no version known
    };
    using rtstub::VersionReply;
    const Case cases[] = {
        {"standard", VersionReply::Whole, 1, "", "RT stnd edition: 9.0.1234, archive: week 7"},
        {"professional", VersionReply::Whole, 2, "", "RT prof edition: 9.0.1234, archive: week 7"},
        {"no level", VersionReply::Whole, -1, "", "RT prof edition: 9.0.1234, archive: week 7"},
        {"split", VersionReply::Split, 2, "", "RT prof edition: 9.0.1234, archive: week 7"},
        {"delayed", VersionReply::Delayed, 1, "", "RT stnd edition: 9.0.1234, archive: week 7"},
        {"no version", VersionReply::Raw, 0, "{\"level\": 2}\r\n", "RT prof edition: ?, archive: week 7"},
        {"null level", VersionReply::Raw, 0, "{\"version\": \"8\", \"level\": null}", "RT prof edition: 8, archive: week 7"},
        {"text after a zero byte", VersionReply::Raw, 0, std::string("{\"version\": \"8\"}\0junk", 21),
         "RT prof edition: 8, archive: week 7"},
        {"level as text", VersionReply::Raw, 0, "{\"version\": \"8\", \"level\": \"2\"}", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        rtProfessional = !c.text.empty() ? false : true;
        {
            std::lock_guard lock(capture.mutex);
            capture.realTrafficText.clear();
            capture.statusLines.clear();
        }
        rtstub::TcpOptions options = stubOptions(c.level);
        options.reply = c.reply;
        options.rawReply = c.raw;
        rtstub::TcpLink link(options);
        link.start();
        gf_connectRealTraffic();

        EXPECT_EQ(link.versionQueries(), 1);
        EXPECT_TRUE(rtConnected.load());
        EXPECT_TRUE(realTrafficConnected.load());
        EXPECT_TRUE(statusShown("Waiting for RealTraffic to connect to Norvane_P3D ..."));
        EXPECT_EQ(realTrafficText(), c.text);
        EXPECT_EQ(rtProfessional.load(), c.text.starts_with("RT prof"));
        EXPECT_EQ(statusShown("No RealTraffic version received?"), c.text.empty());
        if (c.text.empty()) {
            EXPECT_TRUE(logHas("RealTraffic version reply refused"));
        }

        closeServer();
        EXPECT_TRUE(waitFor([&] { return link.exits() == 1; }));
        link.stop();
        createServer(std::to_string(port));
    }
    EXPECT_TRUE(logHas("RealTraffic connected"));
}

TEST_F(MessagesTest, aMissingOrCutReplyDoesNotBlockTheStart)
{
    for (const auto& [reply, raw] :
         {std::pair{rtstub::VersionReply::None, ""}, {rtstub::VersionReply::Raw, "{\"version\": \"9"}}) {
        SCOPED_TRACE(raw);
        rtstub::TcpOptions options = stubOptions(2);
        options.reply = reply;
        options.rawReply = raw;
        rtstub::TcpLink link(options);
        link.start();
        rtProfessional = true;
        gf_connectRealTraffic(std::chrono::milliseconds(200));
        EXPECT_TRUE(statusShown("No RealTraffic version received?"));
        EXPECT_FALSE(rtProfessional.load()) << "the standard edition's behaviour";
        EXPECT_TRUE(rtConnected.load());
        EXPECT_EQ(realTrafficText(), "");
        closeServer();
        link.stop();
        createServer(std::to_string(port));
    }
    EXPECT_TRUE(logHas("RealTraffic version reply refused"));
}

TEST_F(MessagesTest, anAnswerThatIsNoJsonObjectIsNotRealTrafficEvenWhileItStaysOpen)
{
    rtstub::TcpOptions options = stubOptions(2);
    options.reply = rtstub::VersionReply::Raw;
    options.rawReply = "hello there\r\n";
    rtstub::TcpLink link(options);
    link.start();
    auto handshake = std::async(std::launch::async, [] { gf_connectRealTraffic(std::chrono::minutes(5)); });
    // Dropped, the stand-in connects again and is asked again.
    const bool askedAgain = waitFor([&] { return link.versionQueries() >= 2; });
    link.setReply(rtstub::VersionReply::Whole);
    const bool done = handshake.wait_for(std::chrono::seconds(30)) == std::future_status::ready;
    if (!done)
        closeServer(); // ends the handshake, so that the test can end
    ASSERT_TRUE(askedAgain);
    ASSERT_TRUE(done);
    EXPECT_EQ(realTrafficText(), "RT prof edition: 9.0.1234, archive: week 7");
    EXPECT_TRUE(logHas("with no JSON object: not RealTraffic, dropped: hello there"));
}

TEST_F(MessagesTest, exitDuringTheHandshakeEndsIt)
{
    rtstub::TcpOptions options = stubOptions(2);
    options.reply = rtstub::VersionReply::None;
    rtstub::TcpLink link(options);
    link.start();
    auto handshake = std::async(std::launch::async, [] { gf_connectRealTraffic(std::chrono::minutes(5)); });
    ASSERT_TRUE(waitFor([&] { return link.versionQueries() == 1; }));
    closeServer();
    ASSERT_EQ(handshake.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(waitFor([&] { return link.exits() == 1; }));
}

TEST_F(MessagesTest, nothingIsSentNearZeroZero)
{
    auto link = connectedStub();
    for (const auto& [lat, lon] : {std::pair{0.0, 0.0}, {0.0009, 0.05}, {0.0005, 0.01}})
        gf_sendPositionToRealTraffic(userState(lat, lon));
    gf_sendPositionToRealTraffic(userState(0.0, 0.0501)); // just outside: this one goes
    // The lines keep their order: had one near 0,0 gone out, it would be here first.
    ASSERT_TRUE(waitFor([&] { return !link->positions().empty(); }));
    EXPECT_EQ(link->positions().size(), 1u);
    EXPECT_NEAR(link->positions()[0].longitude, 0.0501 * std::numbers::pi / 180.0, 1e-6);
}

TEST_F(MessagesTest, tinySpeedAndPositionsThatAreNoNumberReachRealTrafficReadable)
{
    auto link = connectedStub();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    gf_sendPositionToRealTraffic(userState(nan, 8.5));
    gf_sendPositionToRealTraffic(userState(47.5, nan));
    gf_sendPositionToRealTraffic(userState(47.5, 8.5, nan, 0.0, 1.5, 3500.0, 1e-7));
    ASSERT_TRUE(waitFor([&] { return !link->positions().empty() || !link->badLines().empty(); }));
    EXPECT_TRUE(link->badLines().empty()) << link->badLines()[0];
    ASSERT_EQ(link->positions().size(), 1u) << "a position that is no number went out";
    EXPECT_EQ(link->positions()[0].groundSpeed, 1e-7 * 1000.0);
    EXPECT_EQ(link->positions()[0].pitch, 0.0);
}

TEST_F(MessagesTest, timeGoesOnlyToTheProfessionalEdition)
{
    {
        auto professional = connectedStub(2);
        gf_sendTimeToRealTraffic(0);
        gf_sendTimeToRealTraffic(-5);
        gf_sendTimeToRealTraffic(1700000000);
        ASSERT_TRUE(waitFor([&] { return professional->times().size() == 1; }));
        EXPECT_EQ(professional->times()[0], 1700000000000);
        closeServer();
        EXPECT_TRUE(waitFor([&] { return professional->exits() == 1; }));
    }
    createServer(std::to_string(port));
    auto standard = connectedStub(1);
    gf_sendTimeToRealTraffic(1700000000);
    gf_sendPositionToRealTraffic(user); // a marker behind it
    ASSERT_TRUE(waitFor([&] { return standard->positions().size() == 1; }));
    EXPECT_TRUE(standard->times().empty());
}

TEST_F(MessagesTest, exitIsSaidAtExitAndAtEveryRestart)
{
    rtstub::TcpLink link(stubOptions(2));
    link.start();
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        // A restart listens on the same port; the stand-in comes back by itself.
        if (run > 1)
            createServer(std::to_string(port));
        gf_connectRealTraffic();
        ASSERT_TRUE(rtConnected.load());
        closeServer();
        EXPECT_TRUE(waitFor([&] { return link.exits() == run; }));
        EXPECT_FALSE(rtConnected.load());
    }
    EXPECT_EQ(link.connections(), 2);
    EXPECT_EQ(link.lines().back(), "exit");
}

TEST_F(MessagesTest, goneRealTrafficIsDroppedAndTakenBackWithoutBlocking)
{
    auto link = connectedStub();
    ASSERT_TRUE(realTrafficConnected.load());
    link->disconnect();
    ASSERT_TRUE(sendUntilGone(user));
    EXPECT_FALSE(realTrafficConnected.load());
    EXPECT_EQ(capture.drops.load(), 1) << "the live traffic went with it";
    EXPECT_TRUE(logHas("sendDataPacket to RealTraffic failed: "));
    EXPECT_TRUE(logHas("RealTraffic client socket closed"));
    EXPECT_TRUE(statusShown(" RealTraffic gone? Wait for RealTraffic to re-connect ..."));
    EXPECT_TRUE(logHas(" RealTraffic gone? Wait for RealTraffic to re-connect ..."));

    // While RealTraffic is away the once-a-second call returns at once.
    auto call = std::async(std::launch::async, [&] { gf_sendPositionToRealTraffic(user); });
    ASSERT_EQ(call.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(rtConnected.load());

    const int clearsBefore = statusClears();
    const auto before = link->positions().size();
    link->start();
    ASSERT_TRUE(waitFor([&] {
        gf_sendPositionToRealTraffic(user);
        return realTrafficConnected.load();
    }));
    EXPECT_TRUE(rtConnected.load());
    EXPECT_TRUE(logHas(" RealTraffic re-connected"));
    EXPECT_EQ(statusClears(), clearsBefore + 1) << "only the log keeps the line";
    EXPECT_EQ(link->versionQueries(), 2) << "a re-connect asks for the version again";
    gf_sendPositionToRealTraffic(user);
    EXPECT_TRUE(waitFor([&] { return link->positions().size() == before + 1; }))
        << "the call that took RealTraffic back sent nothing, the next one the position";
    EXPECT_EQ(capture.drops.load(), 1);
}

TEST_F(MessagesTest, deadConnectionsBeforeRealTrafficAreDroppedWithoutTouchingTheTraffic)
{
    using Clock = std::chrono::steady_clock;
    // At the start three connections that asked for a web page and forty
    // dead ones wait before RealTraffic's.
    queueDeadConnections(port, 3, kHttpRequest);
    queueDeadConnections(port, 40);
    rtstub::TcpLink link(stubOptions(2));
    link.start();
    ASSERT_TRUE(waitFor([&] { return link.connected(); }));
    auto begin = Clock::now();
    gf_connectRealTraffic();
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(10));
    EXPECT_EQ(link.versionQueries(), 1) << "RealTraffic itself was asked";
    EXPECT_EQ(realTrafficText(), "RT prof edition: 9.0.1234, archive: week 7");
    EXPECT_TRUE(logHas("with no JSON object: not RealTraffic, dropped: GET / HTTP/1.0"));
    gf_sendPositionToRealTraffic(user);
    ASSERT_TRUE(waitFor([&] { return link.positions().size() == 1; })) << "RealTraffic is served";

    // RealTraffic goes away and comes back behind forty more: the live
    // traffic went once, with RealTraffic, and never for a dead connection.
    link.disconnect();
    ASSERT_TRUE(sendUntilGone(user));
    queueDeadConnections(port, 40);
    queueDeadConnections(port, 3, kHttpRequest);
    link.start();
    ASSERT_TRUE(waitFor([&] { return link.connected(); }));
    begin = Clock::now();
    ASSERT_TRUE(waitFor([&] {
        gf_sendPositionToRealTraffic(user);
        return realTrafficConnected.load();
    }));
    EXPECT_LT(Clock::now() - begin, std::chrono::seconds(10));
    EXPECT_EQ(link.versionQueries(), 2);
    gf_sendPositionToRealTraffic(user);
    EXPECT_TRUE(waitFor([&] { return link.positions().size() == 2; }));
    EXPECT_EQ(capture.drops.load(), 1);
}

TEST_F(MessagesTest, noReconnectNearZeroOrDuringAnExit)
{
    auto link = connectedStub();
    link->disconnect();
    ASSERT_TRUE(sendUntilGone(user));
    link->start();
    ASSERT_TRUE(waitFor([&] { return link->connected(); }));

    gf_sendPositionToRealTraffic(userState(0.0, 0.0));
    EXPECT_FALSE(rtConnected.load()) << "near 0,0 nothing is tried";
    exiting = true;
    gf_sendPositionToRealTraffic(user);
    EXPECT_FALSE(rtConnected.load()) << "no re-connect while the program exits";
    exiting = false;
    EXPECT_TRUE(waitFor([&] {
        gf_sendPositionToRealTraffic(user);
        return rtConnected.load();
    }));
}

TEST_F(MessagesTest, failedSendDuringAnExitLeavesTheTrafficToTheExit)
{
    auto link = connectedStub();
    link->disconnect();
    exiting = true;
    EXPECT_TRUE(sendUntilGone(user));
    exiting = false;
    EXPECT_EQ(capture.drops.load(), 0);
    EXPECT_FALSE(statusShown("RealTraffic gone?"));
}

TEST_F(MessagesTest, aerowinxModeAndRealTrafficElsewhereStartNoServer)
{
    closeServer();
    PORT_NUMBER.setValue(std::to_string(port)); // free again, and a port the setting may name
    struct Case {
        bool onThisPc;
        bool aerowinx;
        bool server;
    };
    for (const auto& c : {Case{true, true, false}, Case{false, false, false}, Case{true, false, true}}) {
        SCOPED_TRACE(::testing::Message() << "on this PC " << c.onThisPc << ", Aerowinx " << c.aerowinx);
        rtOnThisPc = c.onThisPc;
        AEROWINX.setValue(c.aerowinx);
        realTrafficConnected = false;
        EXPECT_EQ(gf_startRealTrafficServer(), c.server);
        EXPECT_EQ(serverListening(), c.server);
        // Without a server the UDP link is the only one and counts as up.
        EXPECT_EQ(realTrafficConnected.load(), !c.server);
        if (!c.server) {
            gf_connectRealTraffic(); // returns at once: nobody to wait for
            EXPECT_FALSE(rtConnected.load());
            gf_sendPositionToRealTraffic(user);
            EXPECT_FALSE(rtConnected.load());
        }
        closeServer();
    }
    AEROWINX.setValue(false);
    rtOnThisPc = true;
}
