// The QNH reader over real loopback UDP.

#include "reader_fixture.hpp"

#include "realtraffic/link_state.hpp"
#include "realtraffic/qnh.hpp"
#include "rtstub/rtstub.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

using namespace tzo;
using testsupport::RunningReader;
using testsupport::waitFor;

namespace {

struct QnhReaderTest : testsupport::LoggedTest {
    QnhReader reader;
    std::unique_ptr<RunningReader> running;
    std::unique_ptr<rtstub::RtStub> stub;

    QnhReaderTest()
    {
        rtOnThisPc = true;
        qnhValue = 0;
        qnh = 0;
        running = std::make_unique<RunningReader>(reader, false);
        stub = std::make_unique<rtstub::RtStub>(1, running->port());
    }
};

} // namespace

TEST_F(QnhReaderTest, aDatagramsQnhIsStoredEverywhere)
{
    // The values a datagram may hold are tested without sockets below.
    ASSERT_TRUE(running->started);
    stub->sendQnh(1020);
    EXPECT_TRUE(waitFor([&] { return qnhValue.load() == 1020; }));
    EXPECT_EQ(qnh.load(), 1020);
    EXPECT_EQ(reader.lastQnh(), 1020);
}

TEST_F(QnhReaderTest, garbageAndStrangeValuesChangeNothing)
{
    ASSERT_TRUE(running->started);
    stub->sendQnh(1020);
    ASSERT_TRUE(waitFor([&] { return qnhValue.load() == 1020; }));

    for (const char* bad : {"garbage", "{\"QNH\": 1081}", "{\"QNH\": 929}", "{\"QNH\": 1e300}",
                            "{\"QNH\": 99999999999999999999}", "{\"QNH\": -5000000000}",
                            "{\"QNH\": \"1081\"}", "[1,2", ""})
        stub->sendWeather(bad);
    // A marker value after the bad ones: once it is stored, the others were handled.
    stub->sendQnh(1030);
    ASSERT_TRUE(waitFor([&] { return qnhValue.load() == 1030; }));
    EXPECT_TRUE(logHas("QNH datagram is no JSON: garbage"));
    EXPECT_TRUE(logHas("? Strange QNH 366 found in {\"QNH\": 1081}"));
    EXPECT_TRUE(logHas("? Strange QNH 929 found in"));
    EXPECT_TRUE(logHas("? Strange QNH 1e+300 found in"));
}

TEST_F(QnhReaderTest, datagramWithoutQnhSets1013)
{
    ASSERT_TRUE(running->started);
    for (const auto& [datagram, logged] :
         {std::pair{R"({"ICAO": "LSZH"})", "no QNH {\"ICAO\": \"LSZH\"}"},
          {R"({"QNH": "high"})", "QNH string invalid arg: high"},
          {R"({"QNH": "99999999999"})", "QNH string out of range: 99999999999"}}) {
        stub->sendQnh(1020);
        ASSERT_TRUE(waitFor([&] { return qnhValue.load() == 1020; }));
        stub->sendWeather(datagram);
        EXPECT_TRUE(waitFor([&] { return qnhValue.load() == 1013; })) << datagram;
        EXPECT_TRUE(logHas(logged)) << datagram;
    }
}

TEST_F(QnhReaderTest, standardPressureIsStoredAgainAndRevivesASilentReader)
{
    ASSERT_TRUE(running->started);
    stub->sendQnh(1013);
    ASSERT_TRUE(waitFor([&] { return qnhValue.load() == 1013; }));
    qnhValue = 0;
    weatherReaderState = kReaderSilent;
    stub->sendQnh(1013);
    EXPECT_TRUE(waitFor([&] { return qnhValue.load() == 1013; })) << "1013 is stored even when unchanged";
    EXPECT_EQ(weatherReaderState.load(), kReaderReceiving);
}

TEST_F(QnhReaderTest, floodOfBadDatagramsIsLoggedWithinABudget)
{
    ASSERT_TRUE(running->started);
    // 300 large datagrams without a usable QNH, sent in batches so that the
    // socket's receive buffer never overflows; a marker value after each batch
    // shows that the batch has been handled.
    const std::string garbage = "not json\n===> a forged line " + std::string(4000, 'x');
    const std::string noQnh = R"({"ICAO": ")" + std::string(4000, 'y') + R"("})";
    int marker = 1000;
    for (int batch = 0; batch < 30; ++batch) {
        for (int i = 0; i < 5; ++i) {
            stub->sendWeather(garbage);
            stub->sendWeather(noQnh);
        }
        marker = marker == 1000 ? 1001 : 1000;
        stub->sendQnh(marker);
        ASSERT_TRUE(waitFor([&] { return qnhValue.load() == marker; }));
    }
    const std::string text = log();
    std::size_t problems = 0;
    std::size_t longest = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string_view line(text.data() + start, end - start);
        if (line.find("QNH datagram is no JSON") != std::string_view::npos ||
            line.find("no QNH") != std::string_view::npos)
            ++problems;
        longest = std::max(longest, line.size());
        start = end + 1;
    }
    EXPECT_GE(problems, 1u);
    EXPECT_LE(problems, 20u) << "300 bad datagrams in a few seconds";
    EXPECT_LT(longest, 400u) << "a logged datagram is cut";
    EXPECT_EQ(text.find("\n===> a forged line"), std::string::npos) << "a datagram stays on its own line";
}

TEST(QnhParse, valuesOfTheDatagram)
{
    const std::pair<const char*, int> cases[] = {
        {R"({"QNH": 1020})", 1020},     {R"({"QNH": "1020"})", 1020},   {R"({"QNH": 2992})", 1013},
        {R"({"QNH": 1081})", 366},      {R"({"QNH": " 998x"})", 998},   {R"({"QNH": "+1005"})", 1005},
        {R"({"QNH": "+-1005"})", 1013}, {R"({"QNH": null})", 1013},     {R"({"QNH": true})", 1013},
        {R"([1013])", 1013},            {R"({"QNH": -1001.7})", -1001},
    };
    tzo::LogThrottle log;
    for (const auto& [datagram, expected] : cases) {
        const auto q = gf_qnhFromDatagram(datagram, log);
        ASSERT_TRUE(q.has_value()) << datagram;
        EXPECT_EQ(*q, expected) << datagram;
    }
    EXPECT_FALSE(gf_qnhFromDatagram("{", log).has_value());
    EXPECT_FALSE(gf_qnhFromDatagram(R"({"QNH": 3e9})", log).has_value());
    EXPECT_FALSE(gf_qnhFromDatagram(R"({"QNH": 18446744073709551615})", log).has_value());
}
