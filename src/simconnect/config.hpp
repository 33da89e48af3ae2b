#pragma once
// Where the simulator is: "SimConnect.cfg" from three folders, the ports the
// simulator registered, and the order in which transports are tried.

#include "platform/ini_file.hpp"
#include "platform/stream_socket.hpp"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tzo {

enum class SimConnectProtocol : std::uint32_t { Auto = 1, IPv4 = 2, IPv6 = 23 };

struct SimConnectConfig {
    SimConnectProtocol protocol = SimConnectProtocol::Auto;
    std::string address; // host or pipe server
    std::string port;    // port or pipe name
    std::uint32_t maxReceiveSize = 41088;
    bool disableNagle = false;
};

// The string values "SimConnect_Port_IPv4" and "SimConnect_Port_IPv6" the
// simulator leaves in the registry; empty when absent.
struct SimConnectRegisteredPorts {
    std::string ipv4;
    std::string ipv6;
};

inline constexpr std::string_view kSimConnectCfgName = "SimConnect.cfg";
inline constexpr std::string_view kSimConnectRegistryKey = "SOFTWARE\\Lockheed Martin\\Prepar3D v5";
inline constexpr std::string_view kDefaultPipeName = "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect";

SimConnectRegisteredPorts gf_simConnectRegisteredPorts();

// "SimConnect" for index 0, "SimConnect.<index>" otherwise.
std::string gf_simConnectSectionName(std::uint32_t index);

// Applies the section of one file over config; false when the file has no such section.
bool gf_applySimConnectSection(const platform::IniFile& file, std::string_view section,
                               const SimConnectRegisteredPorts& ports, SimConnectConfig& config);

// The files of the public documents folder, the user's documents folder and
// the current folder, in that order (missing ones left out).
std::vector<std::filesystem::path> gf_simConnectCfgFiles();

// Defaults, then every file found applied in order. False for a non-zero
// index whose section is in none of the files.
bool gf_loadSimConnectConfig(std::uint32_t index, const SimConnectRegisteredPorts& ports,
                             SimConnectConfig& config);

struct SimConnectTransport {
    enum class Kind { Pipe, Tcp };
    Kind kind = Kind::Pipe;
    platform::IpFamily family = platform::IpFamily::V4; // Tcp only
    std::string address;                                // Tcp: host; Pipe: the full pipe name
    std::string port;                                   // Tcp only

    bool operator==(const SimConnectTransport&) const = default;
};

// Every transport to try, first to last; the first that opens is used.
std::vector<SimConnectTransport> gf_simConnectTransportPlan(const SimConnectConfig& config,
                                                            const SimConnectRegisteredPorts& ports,
                                                            bool ipv6LoopbackAvailable);

// Where a connection with this index looks for the simulator and what to
// check when it is not found: every transport tried (a pipe by its socket
// path), the SimConnect.cfg files that say so or that none does, and the
// pipe folder when a pipe is tried.
std::string gf_simConnectSearchText(std::uint32_t index);

} // namespace tzo
