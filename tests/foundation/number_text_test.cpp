#include "foundation/number_text.hpp"
#include "platform/socket_errors.hpp"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

TEST(NumberText, numbersShowAFractionOnlyWhenTheyHaveOne)
{
    EXPECT_EQ(gf_formatNumber(24.0f), "24");
    EXPECT_EQ(gf_formatNumber(0.5f), "0.5");
    EXPECT_EQ(gf_formatNumber(-2.25f), "-2.2"); // one decimal, round half to even
    EXPECT_EQ(gf_formatNumber(1e9f), "1000000000");
}

TEST(NumberText, positionsWithSixDecimals)
{
    EXPECT_EQ(gf_formatLatLon(51.4706, -0.461941), "51.470600,-0.461941");
}

TEST(NumberText, socketErrorTexts)
{
    EXPECT_EQ(gf_socketErrorText(10061), "10061 Connection refused");
    EXPECT_EQ(gf_socketErrorText(12345), "12345 Unknown errror code");
    EXPECT_EQ(gf_socketErrorText(-1), "-1 Unknown errror code");
}

TEST(NumberText, errnoNamesMapToTheWindowsCodes)
{
    struct Case {
        int errnoValue;
        int code;
    };
    // Linux numbers are not the BSD ones, so adding 10000 would be wrong.
    const Case cases[] = {{EWOULDBLOCK, 10035}, {EAGAIN, 10035},     {EINPROGRESS, 10036},
                          {ECONNRESET, 10054},  {ETIMEDOUT, 10060},  {EHOSTUNREACH, 10065}};
    for (const auto& c : cases)
        EXPECT_EQ(platform::socketErrorCode(c.errnoValue), c.code) << c.errnoValue;
    EXPECT_EQ(platform::resolverErrorCode(EAI_NONAME), 11001);
    EXPECT_EQ(gf_socketErrorText(platform::resolverErrorCode(EAI_NONAME)), "11001 Host not found");
    EXPECT_EQ(gf_socketErrorText(platform::socketErrorCode(ENOMEM)).find("Unknown errror code") != std::string::npos,
              true);
}

TEST(NumberText, realLoopbackErrorsReadRight)
{
    // A port that is bound but not listening refuses connections.
    const int bound = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(bound, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    ASSERT_EQ(::bind(bound, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t length = sizeof address;
    ASSERT_EQ(::getsockname(bound, reinterpret_cast<sockaddr*>(&address), &length), 0);

    const int client = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(client, 0);
    ASSERT_NE(::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(gf_socketErrorText(platform::lastSocketError()), "10061 Connection refused");
    ::close(client);

    // The same port again: in use.
    const int second = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(second, 0);
    ASSERT_EQ(::listen(bound, 1), 0);
    ASSERT_NE(::bind(second, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(gf_socketErrorText(platform::lastSocketError()), "10048 Address already in use");
    ::close(second);
    ::close(bound);
}
