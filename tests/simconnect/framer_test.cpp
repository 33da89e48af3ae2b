// Framing of the received stream, without sockets: the socket adds nothing to
// how bytes are cut into messages.

#include "simconnect/framer.hpp"
#include "simconnect/messages.hpp"
#include "simconnect/simconnect.hpp"

#include <cstring>
#include <gtest/gtest.h>

using tzo::MessageFramer;
using tzo::SimFailure;
namespace simfail = tzo::simfail;

namespace {

std::vector<std::uint8_t> message(std::uint32_t size, std::uint32_t id, std::uint8_t fill = 0xAB)
{
    std::vector<std::uint8_t> m(size, fill);
    for (int i = 0; i < 4; ++i) {
        m[i] = static_cast<std::uint8_t>(size >> (8 * i));
        if (size >= 12) {
            m[4 + i] = static_cast<std::uint8_t>(35u >> (8 * i));
            m[8 + i] = static_cast<std::uint8_t>(id >> (8 * i));
        }
    }
    return m;
}

// Feeds the stream in pieces of at most chunk bytes, as reads would deliver it.
struct FeedResult {
    std::vector<std::vector<std::uint8_t>> messages;
    SimFailure failure;
};

FeedResult feed(MessageFramer& framer, const std::vector<std::uint8_t>& stream, std::size_t chunk)
{
    FeedResult r;
    std::size_t pos = 0;
    while (pos < stream.size()) {
        std::span<std::uint8_t> space;
        if ((r.failure = framer.freeSpace(space)))
            return r;
        const std::size_t n = std::min({chunk, space.size(), stream.size() - pos});
        std::memcpy(space.data(), stream.data() + pos, n);
        pos += n;
        if ((r.failure = framer.commit(n, r.messages)))
            return r;
    }
    return r;
}

std::vector<std::uint8_t> concat(std::initializer_list<std::vector<std::uint8_t>> parts)
{
    std::vector<std::uint8_t> all;
    for (const auto& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

TEST(Framer, messagesInOneReadComeOutOneByOne)
{
    MessageFramer framer(41088);
    const auto a = message(12, 3), b = message(36, 7), c = message(308, 2);
    const auto r = feed(framer, concat({a, b, c}), 4096);
    ASSERT_FALSE(r.failure);
    ASSERT_EQ(r.messages.size(), 3u);
    EXPECT_EQ(r.messages[0], a);
    EXPECT_EQ(r.messages[1], b);
    EXPECT_EQ(r.messages[2], c);
    EXPECT_EQ(framer.pending(), 0u);
}

TEST(Framer, messageSplitOverManyReadsIsJoined)
{
    for (std::size_t chunk : {1u, 3u, 5u, 307u}) {
        SCOPED_TRACE(chunk);
        MessageFramer framer(41088);
        const auto a = message(308, 2, 0x11), b = message(24, 1, 0x22);
        const auto r = feed(framer, concat({a, b}), chunk);
        ASSERT_FALSE(r.failure);
        ASSERT_EQ(r.messages.size(), 2u);
        EXPECT_EQ(r.messages[0], a);
        EXPECT_EQ(r.messages[1], b);
    }
}

TEST(Framer, zeroPaddingIsSkippedWhereverReadsEnd)
{
    for (std::size_t chunk : {1u, 2u, 3u, 5u, 4096u}) {
        SCOPED_TRACE(chunk);
        MessageFramer framer(41088);
        const std::vector<std::uint8_t> pad(8, 0);
        const auto a = message(12, 3), b = message(24, 1);
        const auto r = feed(framer, concat({pad, a, pad, pad, b, pad}), chunk);
        ASSERT_FALSE(r.failure);
        ASSERT_EQ(r.messages.size(), 2u);
        EXPECT_EQ(r.messages[0], a);
        EXPECT_EQ(r.messages[1], b);
        EXPECT_EQ(framer.pending(), 0u);
    }
}

// A size that is a multiple of 256 starts with a zero byte; padding before it
// must not swallow that byte.
TEST(Framer, sizesWithLowZeroBytesAfterPaddingAreReadWhole)
{
    for (std::uint32_t size : {256u, 512u, 0x10000u}) {
        for (std::size_t padWords : {1u, 3u}) {
            for (std::size_t chunk : {1u, 3u, 4u, 65536u}) {
                SCOPED_TRACE(testing::Message() << size << " after " << padWords << " words, reads of " << chunk);
                MessageFramer framer(200000);
                const std::vector<std::uint8_t> pad(4 * padWords, 0);
                const auto a = message(size, 5, 0x33), b = message(12, 6);
                const auto r = feed(framer, concat({pad, a, pad, b}), chunk);
                ASSERT_FALSE(r.failure) << "category " << r.failure.category;
                ASSERT_EQ(r.messages.size(), 2u);
                EXPECT_EQ(r.messages[0], a);
                EXPECT_EQ(r.messages[1], b);
            }
        }
    }
}

TEST(Framer, badSizesFailWithTheirCategory)
{
    struct Case {
        std::uint32_t size;
        std::uint32_t maxReceive;
        std::uint32_t category;
    };
    for (const Case c : {Case{1, 41088, simfail::kBadSize}, Case{2, 41088, simfail::kBadSize},
                         Case{3, 41088, simfail::kBadSize}, Case{41089, 41088, simfail::kTooLarge},
                         Case{5000, 4096 + 1, simfail::kTooLarge},
                         // Beyond the receive buffer's limit even when the configuration allows it.
                         Case{2 * 1024 * 1024, 0xFFFFFFFF, simfail::kTooLarge}}) {
        SCOPED_TRACE(c.size);
        MessageFramer framer(c.maxReceive);
        std::vector<std::uint8_t> stream = message(12, 3);
        const auto bad = message(4, 0);
        auto head = bad;
        for (int i = 0; i < 4; ++i)
            head[i] = static_cast<std::uint8_t>(c.size >> (8 * i));
        stream.insert(stream.end(), head.begin(), head.end());
        const auto r = feed(framer, stream, 4096);
        EXPECT_EQ(r.failure.category, c.category);
        EXPECT_EQ(r.failure.status, simfail::kStatusAbort);
        EXPECT_EQ(r.messages.size(), 1u) << "the message before the bad size is still delivered";
    }
}

TEST(Framer, longMessageGrowsTheBufferInSteps)
{
    MessageFramer framer(41088);
    EXPECT_EQ(framer.capacity(), 2048u);
    const auto big = message(41088, 8, 0x5A);
    const auto r = feed(framer, big, 1000);
    ASSERT_FALSE(r.failure);
    ASSERT_EQ(r.messages.size(), 1u);
    EXPECT_EQ(r.messages[0], big);
    EXPECT_EQ(framer.capacity() % 2048, 0u);
    EXPECT_GE(framer.capacity(), 41088u);
    EXPECT_LE(framer.capacity(), 41088u + 2048u);
}

TEST(Framer, largerConfiguredMaximumAcceptsLargerMessages)
{
    MessageFramer framer(200000);
    const auto big = message(150000, 8, 0x5A);
    const auto r = feed(framer, big, 65536);
    ASSERT_FALSE(r.failure);
    ASSERT_EQ(r.messages.size(), 1u);
}

// The readers of received messages take what they read and nothing beyond.
TEST(RecvMessages, readersRefuseShortMessagesAndAcceptLongerOnes)
{
    auto frame = message(36, SIMCONNECT_RECV_ID_EVENT_FRAME, 0);
    for (int i = 0; i < 4; ++i)
        frame[16 + i] = static_cast<std::uint8_t>(204u >> (8 * i));
    const float rate = 42.5f;
    std::memcpy(frame.data() + 24, &rate, 4);
    const auto f = tzo::gf_readRecvEventFrame(frame.data(), 36);
    ASSERT_TRUE(f.has_value());
    EXPECT_EQ(f->event.eventId, 204u);
    EXPECT_EQ(f->frameRate, 42.5f);
    EXPECT_TRUE(tzo::gf_readRecvEventFrame(frame.data(), 32).has_value()) << "no trailing flags needed";
    EXPECT_FALSE(tzo::gf_readRecvEventFrame(frame.data(), 31).has_value());

    EXPECT_TRUE(tzo::gf_readRecvEvent(frame.data(), 28).has_value());
    EXPECT_TRUE(tzo::gf_readRecvEvent(frame.data(), 24).has_value());
    EXPECT_FALSE(tzo::gf_readRecvEvent(frame.data(), 23).has_value());
    EXPECT_TRUE(tzo::gf_readRecvEventAddRemove(frame.data(), 28).has_value());
    EXPECT_FALSE(tzo::gf_readRecvEventAddRemove(frame.data(), 27).has_value());
    EXPECT_FALSE(tzo::gf_readRecvException(frame.data(), 23).has_value());
    EXPECT_FALSE(tzo::gf_readRecvHeader(frame.data(), 11).has_value());
    EXPECT_FALSE(tzo::gf_readRecvEvent(nullptr, 36).has_value());

    auto open = message(308, SIMCONNECT_RECV_ID_OPEN, 0);
    std::memset(open.data() + 12, 'x', 256); // a name without its zero stays inside its field
    open[268] = 5;
    const auto o = tzo::gf_readRecvOpen(open.data(), 308);
    ASSERT_TRUE(o.has_value());
    EXPECT_EQ(o->applicationName, std::string(256, 'x'));
    EXPECT_EQ(o->applicationVersionMajor, 5u);
    EXPECT_FALSE(tzo::gf_readRecvOpen(open.data(), 307).has_value());

    auto data = message(48, SIMCONNECT_RECV_ID_SIMOBJECT_DATA, 0);
    data[12] = 108;
    data[40] = 1;
    const auto d = tzo::gf_readRecvSimObjectData(data.data(), 48);
    ASSERT_TRUE(d.has_value());
    EXPECT_EQ(d->requestId, 108u);
    ASSERT_EQ(d->data.size(), 8u);
    EXPECT_EQ(d->data[0], 1);
    EXPECT_FALSE(tzo::gf_readRecvSimObjectData(data.data(), 39).has_value());
}

} // namespace
