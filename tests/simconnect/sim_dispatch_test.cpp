// The dispatch procedure fed with messages directly: the protocol logic
// without sockets.

#include "sim_layer_fixture.hpp"

#include "foundation/exceptions.hpp"
#include "refdata/dbase.hpp"

#include <limits>
#include <tuple>

using namespace simtest;

namespace {

int userErrorCode(const MessageBytes& m)
{
    try {
        m.dispatch();
    } catch (const tzo::UserErrorException& e) {
        return e.code();
    }
    return 0;
}

std::string userErrorText(const MessageBytes& m)
{
    try {
        m.dispatch();
    } catch (const tzo::UserErrorException& e) {
        return e.what();
    }
    return {};
}

void answerUserState(double lat, double lon, std::uint32_t objectId = 1, double groundSpeed = 0.0,
                     std::int64_t zuluTime = 3600, std::int64_t day = 1, std::int64_t year = 2026)
{
    dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, tzo::REQUEST_USER_STATE, objectId, tzo::DEFINITION_USER_STATE,
                userStateData(lat, lon, 1000.0, groundSpeed, zuluTime, day, year))
        .dispatch();
}

void answerText(std::uint32_t requestId, const std::string& text, std::size_t field)
{
    DataBytes d;
    d.text(text, field);
    dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, requestId, 1, requestId == tzo::REQUEST_USER_TITLE ? 407 : 408,
                d.bytes)
        .dispatch();
}

} // namespace

class SimDispatch : public SimLayer {};

struct OpenCase {
    std::string name;
    std::uint32_t major;
    std::string installPath;
    int version;
    int expectedCode; // 0 accepted
};

TEST_F(SimDispatch, openIsAcceptedBySimulatorNameAndVersionSettings)
{
    const std::vector<OpenCase> cases = {
        {"Lockheed Martin Prepar3D v5", 5, "", 5, 0},
        {"Lockheed Martin Prepar3D v5", 5, "", 6, 78},
        {"Lockheed Martin Prepar3D v5", 5, "D:\\P3D v5\\", 6, 0},
        {"Lockheed Martin Prepar3D v5", 5, "D:\\P3DV5\\", 6, 0},
        {"Lockheed Martin Prepar3D v6", 6, "", 6, 0},
        {"Lockheed Martin Prepar3D v6", 6, "", 5, 78},
        {"Lockheed Martin Prepar3D v6", 6, "/opt/p3dv6/", 5, 0},
        {"Lockheed Martin Prepar3D V5", 5, "D:\\P3D V5\\", 5, 78}, // only the lower-case form counts
        {"Lockheed Martin Prepar3D v4", 4, "", 5, 78},
        {"KittyHawk", 11, "", 5, 78},
        {"Kitty-Hawk!", 11, "", 5, 78}, // cleaned first
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " / " + c.installPath);
        SIM_INSTALL_PATH.setValue(c.installPath);
        P3D_VERSION.setValue(c.version);
        Recorder::get().clear();
        EXPECT_EQ(userErrorCode(openMessage(c.name, c.major)), c.expectedCode);
        EXPECT_EQ(Recorder::get().clears(), c.expectedCode == 0 ? 1 : 0);
        EXPECT_TRUE(Recorder::get().hasWindow("connected true"));
    }
    EXPECT_EQ(userErrorText(openMessage("Kitty Hawk?")),
              "78: wrong P3D version \"Kitty Hawk (5.3.17.28)\" connects ... ?")
        << "white space is kept by the cleaning";
}

TEST_F(SimDispatch, openMessagesOfOtherNamesAndTheEmptyName)
{
    EXPECT_EQ(userErrorText(openMessage("Kitty-Hawk")), "78: KittyHawk, (MSFS 2020?) not being P3D connects ... ?");
    EXPECT_EQ(userErrorText(openMessage("Lockheed Martin Prepar3D v6", 6)),
              "78: wrong P3D version \"Lockheed Martin Prepar3D v6 (6.3.17.28)\" connects ... ?");
    EXPECT_TRUE(Recorder::get().hasWindow("install path enabled"));
    Recorder::get().clear();
    openMessage("").dispatch();
    EXPECT_TRUE(logHas("! Simulator name empty?"));
    EXPECT_FALSE(Recorder::get().hasWindow("connected true"));
}

TEST_F(SimDispatch, exceptionsAreLoggedAndFailedCreationsReported)
{
    pendingCreations.push_back({41, 0x3C6444, "DLH1"});
    pendingCreations.push_back({42, 0, "ZERO"});
    pendingCreations.push_back({43, 12, "PARK12"});
    exceptionMessage(22, 43).dispatch();
    exceptionMessage(22, 42).dispatch();
    exceptionMessage(22, 99).dispatch();
    const auto n = tzo::gf_takeSimNotifications();
    ASSERT_EQ(n.size(), 1u) << "record id 0 and an unknown send id report nothing";
    EXPECT_EQ(n[0].kind, tzo::NOTIFY_CREATE_FAILED);
    EXPECT_EQ(n[0].info, 12u);
    ASSERT_EQ(pendingCreations.size(), 1u);
    EXPECT_EQ(pendingCreations[0].callsign, "DLH1");

    exceptionMessage(3, 1).dispatch(); // ignored: no user position yet
    exceptionMessage(23, 1).dispatch();
    exceptionMessage(19, 1).dispatch();
    exceptionMessage(24, 1).dispatch();
    exceptionMessage(31, 1).dispatch();
    exceptionMessage(11, 1).dispatch();
    const std::string text = log();
    EXPECT_EQ(text.find("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"), std::string::npos);
    EXPECT_NE(text.find("===> Simconnect Exception: load flight plan failed"), std::string::npos);
    EXPECT_NE(text.find("SIMCON EXCEP 19"), std::string::npos);
    EXPECT_NE(text.find("SIMCON EXCEP 24"), std::string::npos);
    EXPECT_NE(text.find("===> SIMCON EXCEP 31"), std::string::npos);
    EXPECT_EQ(Recorder::get().copy(Recorder::get().statuses).back(), "SimConnect: too many objects (max 1000)");

    answerUserState(47.0, 8.0);
    exceptionMessage(3, 1).dispatch();
    EXPECT_TRUE(logHas("===> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"));
    EXPECT_EQ(userErrorText(exceptionMessage(5, 1, 7)), "95: Simconnect Version Mismatch, dwindex: 7 ");
}

TEST_F(SimDispatch, objectsAddedAndRemoved)
{
    addRemoveMessage(tzo::EVENT_OBJECT_ADDED, 2).dispatch(); // at the user's id before the first answer
    addRemoveMessage(tzo::EVENT_OBJECT_ADDED, 150).dispatch();
    addRemoveMessage(tzo::EVENT_OBJECT_ADDED, 151).dispatch();
    addRemoveMessage(tzo::EVENT_OBJECT_ADDED, 152, 3).dispatch(); // not an aircraft
    EXPECT_EQ(addedObjectIds, (std::vector<std::uint32_t>{150, 151}));
    addRemoveMessage(tzo::EVENT_OBJECT_REMOVED, 150).dispatch();
    addRemoveMessage(tzo::EVENT_OBJECT_REMOVED, 1).dispatch(); // at or below the user: still reported
    EXPECT_EQ(addedObjectIds, std::vector<std::uint32_t>{151}) << "a removed object waits no more";
    const auto n = tzo::gf_takeSimNotifications();
    ASSERT_EQ(n.size(), 2u);
    EXPECT_EQ(n[0].kind, tzo::NOTIFY_REMOVED);
    EXPECT_EQ(n[0].objectId, 150u);
    EXPECT_EQ(n[1].objectId, 1u);
}

TEST_F(SimDispatch, inRangeAnswersOfKnownObjects)
{
    auto answer = [](std::uint32_t objectId, double aboveGround, bool onGround, const std::string& atcId) {
        dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, tzo::REQUEST_IN_RANGE, objectId,
                    tzo::DEFINITION_IN_RANGE, inRangeData(aboveGround, 400.0, onGround, atcId))
            .dispatch();
    };
    answer(200, 0.0, true, "SWR12");
    answer(201, 2500.0, false, "SWR13");
    answer(202, 2500.5, false, "SWR14");  // too high
    answer(203, 10.0, true, "SWR15*");    // marked
    answer(2, 0.0, true, "USER");         // the user's id
    const auto n = tzo::gf_takeSimNotifications();
    ASSERT_EQ(n.size(), 2u);
    EXPECT_EQ(n[0].kind, tzo::NOTIFY_IN_RANGE_DATA);
    EXPECT_EQ(n[0].objectId, 200u);
    EXPECT_EQ(n[0].info, 1u);
    EXPECT_DOUBLE_EQ(n[0].value1, 400.0);
    EXPECT_EQ(n[1].objectId, 201u);
    EXPECT_EQ(n[1].info, 0u);
    EXPECT_DOUBLE_EQ(n[1].value2, 2500.0);
}

TEST_F(SimDispatch, emptyCallsignNeverMatchesAPendingCreation)
{
    pendingCreations.push_back({5, 0x3C6444, ""});
    addRemoveMessage(tzo::EVENT_OBJECT_ADDED, 300).dispatch();
    dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, tzo::REQUEST_IN_RANGE, 300, tzo::DEFINITION_IN_RANGE,
                inRangeData(0.0, 0.0, true, ""))
        .dispatch();
    EXPECT_TRUE(tzo::gf_takeSimNotifications().empty());
    EXPECT_EQ(pendingCreations.size(), 1u);
    EXPECT_TRUE(logHas("just created, but not by Norvane_P3D, oid: 300, callsign \"\" unknown"));
}

TEST_F(SimDispatch, firstOfTwoPendingCreationsWithTheSameCallsignIsTaken)
{
    pendingCreations.push_back({5, 20001, "TWIN"});
    pendingCreations.push_back({6, 20002, "TWIN"});
    EXPECT_EQ(lf_takePendingCreation("TWIN"), 20001u);
    EXPECT_EQ(lf_takePendingCreation("TWIN"), 20002u);
    EXPECT_EQ(lf_takePendingCreation("TWIN"), 0u);
}

TEST_F(SimDispatch, userTitleIsCutAt48WithoutSplittingACharacter)
{
    answerText(tzo::REQUEST_USER_TITLE, std::string(60, 'x'), 64);
    EXPECT_EQ(gf_userTitle(), std::string(48, 'x'));
    EXPECT_TRUE(Recorder::get().hasWindow("title " + std::string(48, 'x')));
    // "é" takes bytes 47 and 48: the cut leaves it out whole.
    answerText(tzo::REQUEST_USER_TITLE, std::string(47, 'a') + "\xC3\xA9" + "bbbb", 64);
    EXPECT_EQ(gf_userTitle(), std::string(47, 'a'));
    answerText(tzo::REQUEST_USER_TITLE, "", 4);
    EXPECT_TRUE(logHas("! title of your ac is empty?"));
    EXPECT_EQ(gf_userTitle(), std::string(47, 'a'));
    // A title without its terminating zero is read up to the message's end.
    DataBytes d;
    d.text("NOZERO", 6);
    dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, tzo::REQUEST_USER_TITLE, 1, 407, d.bytes).dispatch();
    EXPECT_EQ(gf_userTitle(), "NOZERO");
}

class SimUserModel : public SimDispatch {
protected:
    void SetUp() override
    {
        SimDispatch::SetUp();
        g_wingspans.clear();
        g_wingspans["B738"] = 17.9 / 1852.0;
        g_wingspans["A320"] = 17.0 / 1852.0;
        g_wingspans["E190"] = 14.3 / 1852.0;
        g_wingspans["A388"] = 39.9 / 1852.0;
        g_largestHalfSpanNm = 39.9 / 1852.0;
        g_largeModels = {"B738", "A320"};
    }
    void TearDown() override
    {
        g_wingspans.clear();
        g_largeModels.clear();
        g_largestHalfSpanNm = 0.0;
        SimDispatch::TearDown();
    }
};

TEST_F(SimUserModel, knownModelGivesItsWingspanAndCategory)
{
    answerText(tzo::REQUEST_USER_MODEL, "B738", 32);
    EXPECT_DOUBLE_EQ(*gf_userHalfWingspanNm(), 17.9 / 1852.0);
    EXPECT_TRUE(Recorder::get().hasWindow("wingspan true"));
    EXPECT_TRUE(logHas("SimConnect: User aircraft model: B738, half wing span: 17.9 meter, category: Large"));
}

TEST_F(SimUserModel, textureNameIsShortenedToTheTypeCodeBeforeIt)
{
    answerText(tzo::REQUEST_USER_MODEL, "xB738.0.text", 32);
    EXPECT_DOUBLE_EQ(*gf_userHalfWingspanNm(), 17.9 / 1852.0);
    // A type code that would begin before the text's start is not tried.
    answerText(tzo::REQUEST_USER_MODEL, "738.0.text", 32);
    EXPECT_TRUE(logHas("SimConnect: User aircraft model: 738"));
}

TEST_F(SimUserModel, longUnknownModelTakesTheLargestSpanUnlessTheTitleTells)
{
    answerText(tzo::REQUEST_USER_MODEL, "LONGMODEL", 32);
    EXPECT_DOUBLE_EQ(*gf_userHalfWingspanNm(), g_largestHalfSpanNm);
    EXPECT_TRUE(Recorder::get().hasWindow("wingspan false"));
    EXPECT_EQ(Recorder::get().copy(Recorder::get().statuses).back(),
              "User aircraft wing span unknown, max is taken instead, please report in my Forum!");

    answerText(tzo::REQUEST_USER_TITLE, "Aerosoft A320 CFM Lufthansa", 64);
    answerText(tzo::REQUEST_USER_MODEL, "AIRBUS_LONG", 32);
    EXPECT_DOUBLE_EQ(*gf_userHalfWingspanNm(), 17.0 / 1852.0);
    EXPECT_TRUE(logHas("SimConnect: User aircraft model deduced from title: A320, half wing span: 17.0 meter"));
}

TEST_F(SimUserModel, vehiclesAndEmptyModels)
{
    answerText(tzo::REQUEST_USER_MODEL, "camerapod", 32);
    EXPECT_DOUBLE_EQ(*gf_userHalfWingspanNm(), 14.3 / 1852.0);
    DataBytes d;
    d.text("", 32);
    EXPECT_EQ(userErrorCode(dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, tzo::REQUEST_USER_MODEL, 1, 408, d.bytes)),
              71);
}

TEST_F(SimDispatch, onGroundAnswerCountsOnlyOnceThereIsAPosition)
{
    DataBytes onGround;
    onGround.add(std::int64_t{1});
    auto answer = [&] {
        dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, tzo::REQUEST_USER_ON_GROUND, 1, 409, onGround.bytes).dispatch();
    };
    answer();
    EXPECT_TRUE(secondTick.exchange(false));
    EXPECT_FALSE(userOnGroundKnown.load());
    answerUserState(0.0009, 0.05); // still the near-zero box, both ends included
    answer();
    EXPECT_FALSE(userOnGroundKnown.load());
    answerUserState(47.0, 8.0);
    answer();
    EXPECT_TRUE(secondTick.exchange(false));
    EXPECT_TRUE(userOnGroundKnown.load());
    EXPECT_TRUE(userOnGround.load());
}

TEST_F(SimDispatch, teleportEdgesAndTheFirstAnswer)
{
    answerUserState(47.0, 8.0); // the first answer never restarts
    answerUserState(47.0 + 9.99 / 60.0, 8.0);
    EXPECT_TRUE(exits().empty());
    answerUserState(47.0 + 9.99 / 60.0 + 10.01 / 60.0, 8.0);
    EXPECT_EQ(exits().size(), 1u);
    EXPECT_EQ(userObjectId.load(), 1u);
}

TEST_F(SimDispatch, userStandIsShownWhenItChanges)
{
    Recorder::get().standAnswer = "GATE A12";
    answerUserState(47.0, 8.0);
    answerUserState(47.0, 8.0);
    Recorder::get().standAnswer = "";
    answerUserState(47.0, 8.0);
    std::vector<std::string> stands;
    for (const auto& w : Recorder::get().copy(Recorder::get().window))
        if (w.starts_with("stand"))
            stands.push_back(w);
    EXPECT_EQ(stands, (std::vector<std::string>{"stand GATE A12", "stand "}));
    EXPECT_EQ(gf_userStandName(), "");
}

TEST_F(SimDispatch, userStandIsRememberedWhenStandingStill)
{
    Recorder::get().standAnswer = "GATE B3";
    answerUserState(47.0, 8.0, 1, 1.5);
    lf_rememberUserStand();
    EXPECT_TRUE(Recorder::get().copy(Recorder::get().rememberedStands).empty()) << "ground state not known yet";
    userOnGroundKnown.store(true);
    lf_rememberUserStand();
    answerUserState(47.0, 8.0, 1, 2.5); // rolling
    lf_rememberUserStand();
    EXPECT_EQ(Recorder::get().copy(Recorder::get().rememberedStands), std::vector<std::string>{"GATE B3"});
}

TEST_F(SimDispatch, simulatorTimeIsKeptForTheRealTrafficPartner)
{
    answerUserState(47.0, 8.0, 1, 0.0, 3723, 60, 2024);
    EXPECT_EQ(simTimeUnix.load(), 0);
    rtProfessional.store(true);
    answerUserState(47.0, 8.0, 1, 0.0, 3723, 60, 2024); // 29 February 2024, 01:02:03
    EXPECT_EQ(simTimeUnix.load(), 1709168523);
    answerUserState(47.0, 8.0, 1, 0.0, 3723, 60, -5); // nonsense leaves the last value
    EXPECT_EQ(simTimeUnix.load(), 1709168523);
}

TEST_F(SimDispatch, frameRateIsSampledEvery30Frames)
{
    MessageBytes frame(SIMCONNECT_RECV_ID_EVENT_FRAME, 36);
    frame.u32(16, tzo::EVENT_FRAME).put(24, 48.5f).put(28, 1.0f);
    for (int i = 0; i < 29; ++i)
        frame.dispatch();
    EXPECT_EQ(simFrameRate.load(), 0.0f);
    frame.dispatch();
    EXPECT_EQ(simFrameRate.load(), 48.5f);
}

TEST_F(SimDispatch, unknownAndIgnoredMessageIds)
{
    MessageBytes(SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID, 20).dispatch();
    MessageBytes(SIMCONNECT_RECV_ID_CLIENT_DATA, 40).dispatch();
    MessageBytes(77, 12).dispatch();
    const std::string text = log();
    EXPECT_NE(text.find("! Unknown Dispatch dwID 77"), std::string::npos);
    EXPECT_EQ(text.find("! Unknown Dispatch dwID 12"), std::string::npos);
    EXPECT_EQ(text.find("! Unknown Dispatch dwID 16"), std::string::npos);
    lf_dispatch(nullptr, 0, nullptr);

    // A simulator that sends nothing else costs one line a minute.
    for (int i = 0; i < 200000; ++i)
        MessageBytes(78, 12).dispatch();
    EXPECT_EQ(log().find("! Unknown Dispatch dwID 78"), std::string::npos) << "held back within the minute";
    EXPECT_LT(log().size(), 1000u);
}

TEST_F(SimDispatch, numbersNoAircraftHasAreNotTakenFromTheSimulator)
{
    answerUserState(47.0, 8.0);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const auto& [lat, lon, speed] : {std::tuple{1e308, 8.0, 0.0}, {47.5, nan, 0.0}, {47.5, 8.5, inf}})
        answerUserState(lat, lon, 1, speed);
    EXPECT_EQ(gf_receivedUserState().latitude, 47.0) << "the last usable state stays";
    EXPECT_TRUE(logHas("holds a number that is not finite or a position off the world, ignored"));

    for (const double bad : {nan, 1e300, -1e5})
        dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, tzo::REQUEST_IN_RANGE, 200, tzo::DEFINITION_IN_RANGE,
                    inRangeData(100.0, bad, false, "SWR12"))
            .dispatch();
    dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, tzo::REQUEST_STATIC_CG, 200, tzo::DEFINITION_STATIC_CG,
                DataBytes().add(5.0).add(nan).bytes)
        .dispatch();
    EXPECT_TRUE(tzo::gf_takeSimNotifications().empty());
}

// Every handled message cut short at every length: nothing is read past the
// end (the asan preset catches a single byte too far) and nothing is acted on.
TEST_F(SimDispatch, truncatedMessagesOfEveryIdReadNothingPastTheirEnd)
{
    answerUserState(47.0, 8.0);
    tzo::gf_takeSimNotifications();
    const std::vector<MessageBytes> messages = {
        exceptionMessage(22, 5),
        openMessage("Lockheed Martin Prepar3D v5"),
        MessageBytes(SIMCONNECT_RECV_ID_QUIT, 12),
        eventMessage(tzo::EVENT_POSITION_CHANGED, 0),
        addRemoveMessage(tzo::EVENT_OBJECT_REMOVED, 200),
        [] {
            MessageBytes m(SIMCONNECT_RECV_ID_EVENT_FILENAME, 288);
            m.u32(16, tzo::EVENT_FLIGHT_LOADED).text(24, "flight.fxml");
            return m;
        }(),
        [] {
            MessageBytes m(SIMCONNECT_RECV_ID_EVENT_FRAME, 36);
            m.u32(16, tzo::EVENT_FRAME).put(24, 30.0f);
            return m;
        }(),
        dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, tzo::REQUEST_USER_STATE, 1, 403,
                    userStateData(60.0, 8.0)),
        dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, tzo::REQUEST_STATIC_CG, 200, 405,
                    DataBytes().add(5.0).add(0.1).bytes),
        dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, tzo::REQUEST_USER_ON_GROUND, 1, 409,
                    DataBytes().add(std::int64_t{1}).bytes),
        dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, tzo::REQUEST_USER_TITLE, 1, 407,
                    DataBytes().text("A title that fills its field", 32).bytes),
        dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA, tzo::REQUEST_USER_MODEL, 1, 408,
                    DataBytes().text("B738", 32).bytes),
        dataMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, tzo::REQUEST_IN_RANGE, 200, 404,
                    inRangeData(0.0, 0.0, true, "SWR12")),
    };
    for (const auto& full : messages) {
        const std::uint32_t id = u32At(full.bytes, 8);
        for (std::size_t size = 0; size < full.bytes.size(); ++size) {
            SCOPED_TRACE(fmt::format("id {} cut to {} bytes", id, size));
            std::vector<std::uint8_t> cut(full.bytes.begin(), full.bytes.begin() + static_cast<std::ptrdiff_t>(size));
            try {
                lf_dispatch(reinterpret_cast<SimConnectRecv*>(cut.data()), static_cast<std::uint32_t>(cut.size()),
                            nullptr);
            } catch (const tzo::UserErrorException&) {
                // A model or title cut to nothing is the simulator's answer of an empty one.
            }
        }
    }
    // Events and file names are complete without their trailing flags word
    // (4 bytes each): only those cuts may act, one exit request each.
    EXPECT_EQ(exits().size(), 8u);
    for (const auto& n : tzo::gf_takeSimNotifications())
        EXPECT_NE(n.kind, tzo::NOTIFY_STATIC_CG) << "no cut centre of gravity";
    EXPECT_EQ(gf_receivedUserState().latitude, 47.0) << "no cut user state stored";
    // Thousands of cut messages, one line: the others of the minute are counted.
    const std::string text = log();
    const auto first = text.find("is too short, ignored");
    EXPECT_NE(first, std::string::npos);
    EXPECT_EQ(text.find("is too short, ignored", first + 1), std::string::npos);
}

TEST_F(SimDispatch, restartResetPutsTheLayerBackToItsStart)
{
    answerUserState(47.0, 8.0, 7);
    answerText(tzo::REQUEST_USER_TITLE, "Some Title", 16);
    addRemoveMessage(tzo::EVENT_OBJECT_ADDED, 150).dispatch();
    addRemoveMessage(tzo::EVENT_OBJECT_REMOVED, 151).dispatch();
    pendingCreations.push_back({5, 20001, "TWIN"});
    gf_queueNavLights(150, 1);
    simRequestErrorCount.store(2);
    userOnGroundKnown.store(true);

    gf_resetSimConnection();
    EXPECT_EQ(userObjectId.load(), 2u);
    EXPECT_EQ(simRequestErrorCount.load(), 0);
    EXPECT_EQ(simConnectHandle.load(), nullptr);
    EXPECT_TRUE(addedObjectIds.empty());
    EXPECT_TRUE(pendingCreations.empty());
    EXPECT_TRUE(eventQueue.empty());
    EXPECT_TRUE(tzo::gf_takeSimNotifications().empty());
    EXPECT_EQ(gf_userTitle(), "");
    EXPECT_FALSE(userOnGroundKnown.load());
    EXPECT_EQ(gf_receivedUserState().latitude, 0.0);
    // The next first position is a first one again: no teleport.
    answerUserState(10.0, 10.0);
    EXPECT_TRUE(exits().empty());
}
