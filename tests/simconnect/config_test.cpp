// Where the client looks for the simulator: SimConnect.cfg in three folders,
// the registered ports, and the order of transports.

#include "foundation/log.hpp"
#include "simconnect/config.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

using tzo::SimConnectConfig;
using tzo::SimConnectProtocol;
using tzo::SimConnectRegisteredPorts;
using tzo::SimConnectTransport;
using Kind = tzo::SimConnectTransport::Kind;
using platform::IpFamily;
using testsupport::writeFile;
namespace fs = std::filesystem;

namespace {

class SimConnectCfg : public ::testing::Test {
protected:
    SimConnectCfg()
        : m_dir(true),
          m_public("NORVANE_PUBLIC_DOCUMENTS", (m_dir.path() / "public").string()),
          m_documents("XDG_DOCUMENTS_DIR", (m_dir.path() / "documents").string()),
          m_registry("NORVANE_REGISTRY", (m_dir.path() / "registry.ini").string())
    {
    }
    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_public;
    testsupport::ScopedEnv m_documents;
    testsupport::ScopedEnv m_registry;
};

TEST_F(SimConnectCfg, noFileGivesTheDefaults)
{
    SimConnectConfig c;
    c.port = "left over";
    ASSERT_TRUE(tzo::gf_loadSimConnectConfig(0, {}, c));
    EXPECT_EQ(c.protocol, SimConnectProtocol::Auto);
    EXPECT_EQ(c.address, "");
    EXPECT_EQ(c.port, "");
    EXPECT_EQ(c.maxReceiveSize, 41088u);
    EXPECT_FALSE(c.disableNagle);
}

TEST_F(SimConnectCfg, filesOfTheThreeFoldersApplyInOrder)
{
    writeFile(m_dir.path() / "public" / "SimConnect.cfg",
              "[SimConnect]\nProtocol=IPv4\nAddress=10.0.0.1\nPort=500\nMaxReceiveSize=50000\n");
    writeFile(m_dir.path() / "documents" / "SimConnect.cfg", "[SimConnect]\naddress=127.0.0.1\nDisableNagle=1\n");
    writeFile(m_dir.path() / "SimConnect.cfg", "[simconnect]\nPORT=501\nMaxReceiveSize=45000\n");
    SimConnectConfig c;
    ASSERT_TRUE(tzo::gf_loadSimConnectConfig(0, {}, c));
    EXPECT_EQ(c.protocol, SimConnectProtocol::IPv4) << "from the public documents";
    EXPECT_EQ(c.address, "127.0.0.1") << "the user's documents over the public ones";
    EXPECT_EQ(c.port, "501") << "the current folder last";
    EXPECT_EQ(c.maxReceiveSize, 50000u) << "a smaller size later is ignored";
    EXPECT_TRUE(c.disableNagle);
}

TEST_F(SimConnectCfg, oneThatIsNoSmallRegularFileIsSkippedWithALine)
{
    writeFile(m_dir.path() / "documents" / "SimConnect.cfg", "[SimConnect]\nPort=502\n");
    gf_openLog();
    for (const auto kind : testsupport::kOddFiles) {
        SCOPED_TRACE(testsupport::oddFileName(kind));
        testsupport::makeOddFile("SimConnect.cfg", kind);
        // As at every connection attempt.
        for (int attempt = 0; attempt < 3; ++attempt) {
            SimConnectConfig c;
            ASSERT_TRUE(tzo::gf_loadSimConnectConfig(0, {}, c));
            EXPECT_EQ(c.port, "502") << "the other files still count";
        }
    }
    gf_closeLog();
    // The first refusal at once, the others held back for the minute.
    EXPECT_EQ(testsupport::countLinesWith("Log.txt", "SimConnect.cfg is not a regular file: not read"), 1)
        << testsupport::readFile("Log.txt");
}

// What the wait for the simulator says after a while: where it looks, after
// which files, and what to check.
TEST_F(SimConnectCfg, theSearchTextNamesEveryPlaceTriedAndWhatSaysSo)
{
    const testsupport::ScopedEnv pipes("NORVANE_PIPE_DIR", (m_dir.path() / "pipes").string());
    const std::string cfg = "/SimConnect.cfg";
    const std::string folder = fs::canonical(m_dir.path()).string();
    struct Case {
        const char* what;
        const char* documentsFile;  // none when null
        std::string said;
    };
    const Case cases[] = {
        {"no file: the default pipe", nullptr,
         "tried the pipe " + (m_dir.path() / "pipes").string() +
             "/Lockheed Martin Prepar3D v5_SimConnect (the default: none of " + (m_dir.path() / "public").string() +
             cfg + ", " + (m_dir.path() / "documents").string() + cfg + " and " + folder + cfg +
             " exists). Is the simulator running? Check SimConnect.cfg and the pipe folder " +
             (m_dir.path() / "pipes").string() + " (NORVANE_PIPE_DIR names it)"},
        {"a file that names another machine", "[SimConnect]\nProtocol=IPv4\nAddress=192.0.2.7\nPort=700\n",
         "tried TCP 192.0.2.7 port 700 (as " + (m_dir.path() / "documents").string() + cfg +
             " says). Is the simulator running? Check SimConnect.cfg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(m_dir.path() / "documents" / "SimConnect.cfg");
        if (c.documentsFile)
            writeFile(m_dir.path() / "documents" / "SimConnect.cfg", c.documentsFile);
        EXPECT_EQ(tzo::gf_simConnectSearchText(0), c.said);
    }
}

TEST_F(SimConnectCfg, maxReceiveSizeBelowTheDefaultIsIgnored)
{
    for (const char* value : {"8192", "41087", "abc", "-1", ""}) {
        SCOPED_TRACE(value);
        writeFile(m_dir.path() / "SimConnect.cfg", std::string("[SimConnect]\nMaxReceiveSize=") + value + "\n");
        SimConnectConfig c;
        tzo::gf_loadSimConnectConfig(0, {}, c);
        EXPECT_EQ(c.maxReceiveSize, 41088u);
    }
    writeFile(m_dir.path() / "SimConnect.cfg", "[SimConnect]\nMaxReceiveSize=41089\n");
    SimConnectConfig c;
    tzo::gf_loadSimConnectConfig(0, {}, c);
    EXPECT_EQ(c.maxReceiveSize, 41089u);
}

TEST_F(SimConnectCfg, registeredPortReplacesTheFilesPortOfItsFamily)
{
    writeFile(m_dir.path() / "registry.ini",
              "[HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
              "SimConnect_Port_IPv4=52000\nSimConnect_Port_IPv6=52001\n");
    const SimConnectRegisteredPorts ports = tzo::gf_simConnectRegisteredPorts();
    EXPECT_EQ(ports.ipv4, "52000");
    EXPECT_EQ(ports.ipv6, "52001");

    struct Case {
        std::string text;
        std::string port;
    };
    for (const Case& c : {Case{"Protocol=IPv4\nPort=500\n", "52000"}, Case{"Protocol=IPv6\nPort=500\n", "52001"},
                          Case{"Protocol=Pipe\nPort=MyPipe\n", "MyPipe"},
                          Case{"Protocol=IPv4\n", ""} /* no port set: nothing to replace */}) {
        SCOPED_TRACE(c.text);
        writeFile(m_dir.path() / "SimConnect.cfg", "[SimConnect]\n" + c.text);
        SimConnectConfig config;
        tzo::gf_loadSimConnectConfig(0, ports, config);
        EXPECT_EQ(config.port, c.port);
    }
    // Without a registered port the file's port stays.
    writeFile(m_dir.path() / "SimConnect.cfg", "[SimConnect]\nProtocol=IPv4\nPort=500\n");
    SimConnectConfig config;
    tzo::gf_loadSimConnectConfig(0, {}, config);
    EXPECT_EQ(config.port, "500");
}

TEST_F(SimConnectCfg, nonZeroIndexNeedsItsSection)
{
    writeFile(m_dir.path() / "documents" / "SimConnect.cfg", "[SimConnect]\nPort=1\n[SimConnect.2]\nPort=2\n");
    SimConnectConfig c;
    EXPECT_TRUE(tzo::gf_loadSimConnectConfig(2, {}, c));
    EXPECT_EQ(c.port, "2");
    EXPECT_FALSE(tzo::gf_loadSimConnectConfig(3, {}, c));
    EXPECT_EQ(tzo::gf_simConnectSectionName(0), "SimConnect");
    EXPECT_EQ(tzo::gf_simConnectSectionName(3), "SimConnect.3");
}

TEST_F(SimConnectCfg, longValuesAreCutAt1023Characters)
{
    writeFile(m_dir.path() / "SimConnect.cfg", "[SimConnect]\nAddress=" + std::string(2000, 'a') + "\n");
    SimConnectConfig c;
    tzo::gf_loadSimConnectConfig(0, {}, c);
    EXPECT_EQ(c.address.size(), 1023u);
}

SimConnectTransport pipe(std::string name)
{
    return {Kind::Pipe, IpFamily::V4, std::move(name), {}};
}
SimConnectTransport tcp(IpFamily family, std::string address, std::string port)
{
    return {Kind::Tcp, family, std::move(address), std::move(port)};
}
const std::string kDefaultPipe = "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect";

TEST(SimConnectTransportPlan, followsTheOrderOfEachProtocol)
{
    const SimConnectRegisteredPorts both{"52000", "52001"};
    struct Case {
        std::string name;
        SimConnectConfig config;
        SimConnectRegisteredPorts ports;
        bool ipv6;
        std::vector<SimConnectTransport> plan;
    };
    auto cfg = [](SimConnectProtocol p, std::string address, std::string port) {
        SimConnectConfig c;
        c.protocol = p;
        c.address = std::move(address);
        c.port = std::move(port);
        return c;
    };
    const std::vector<Case> cases = {
        {"auto: pipe, IPv6, IPv4, pipe again", {}, both, true,
         {pipe(kDefaultPipe), tcp(IpFamily::V6, "::1", "52001"), tcp(IpFamily::V4, "127.0.0.1", "52000"),
          pipe(kDefaultPipe)}},
        {"auto without registered ports: only the pipe", {}, {}, true, {pipe(kDefaultPipe), pipe(kDefaultPipe)}},
        {"auto with only an IPv4 port", {}, {"52000", ""}, true,
         {pipe(kDefaultPipe), tcp(IpFamily::V4, "127.0.0.1", "52000"), pipe(kDefaultPipe)}},
        {"auto without IPv6 loopback", {}, both, false,
         {pipe(kDefaultPipe), tcp(IpFamily::V4, "127.0.0.1", "52000"), pipe(kDefaultPipe)}},
        {"auto with a named pipe", cfg(SimConnectProtocol::Auto, ".", "Other"), both, true,
         {pipe("\\\\.\\pipe\\Other"), tcp(IpFamily::V6, "::1", "52001"), tcp(IpFamily::V4, "127.0.0.1", "52000"),
          pipe(kDefaultPipe)}},
        {"auto on another machine: its pipe only", cfg(SimConnectProtocol::Auto, "simpc", ""), both, true,
         {pipe("\\\\simpc\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect")}},
        {"IPv6 loopback falls back to IPv4 and the pipe", cfg(SimConnectProtocol::IPv6, "::1", "600"), both, true,
         {tcp(IpFamily::V6, "::1", "600"), tcp(IpFamily::V4, "127.0.0.1", "52000"), pipe(kDefaultPipe)}},
        {"IPv6 elsewhere: no fallback", cfg(SimConnectProtocol::IPv6, "fd00::5", "600"), both, true,
         {tcp(IpFamily::V6, "fd00::5", "600")}},
        {"IPv6 without a port is not tried", cfg(SimConnectProtocol::IPv6, "::1", ""), both, true,
         {tcp(IpFamily::V4, "127.0.0.1", "52000"), pipe(kDefaultPipe)}},
        {"IPv4 loopback falls back to the default pipe", cfg(SimConnectProtocol::IPv4, "127.0.0.1", "700"), both, true,
         {tcp(IpFamily::V4, "127.0.0.1", "700"), pipe(kDefaultPipe)}},
        {"IPv4 elsewhere: no fallback", cfg(SimConnectProtocol::IPv4, "192.0.2.7", "700"), both, true,
         {tcp(IpFamily::V4, "192.0.2.7", "700")}},
        {"IPv4 elsewhere without a port: nothing", cfg(SimConnectProtocol::IPv4, "192.0.2.7", ""), both, true, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto plan = tzo::gf_simConnectTransportPlan(c.config, c.ports, c.ipv6);
        ASSERT_EQ(plan.size(), c.plan.size());
        for (std::size_t i = 0; i < plan.size(); ++i) {
            EXPECT_TRUE(plan[i] == c.plan[i]) << "step " << i << ": " << plan[i].address << " " << plan[i].port;
        }
    }
}

} // namespace
