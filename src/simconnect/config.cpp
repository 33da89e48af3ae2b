#include "simconnect/config.hpp"

#include "foundation/log.hpp"
#include "foundation/log_throttle.hpp"
#include "foundation/registry.hpp"
#include "platform/folders.hpp"
#include "platform/pipe.hpp"
#include "platform/registry.hpp"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <fmt/format.h>

namespace tzo {

namespace {

// The profile functions read into 1024-byte buffers: longer values arrive cut.
constexpr std::size_t kMaxValueLength = 1023;

std::string lf_cut(const std::string& value)
{
    return value.size() > kMaxValueLength ? value.substr(0, kMaxValueLength) : value;
}

bool lf_parseDecimal(std::string_view text, std::uint32_t& out)
{
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out, 10);
    return !text.empty() && ec == std::errc() && ptr == text.data() + text.size();
}

std::string lf_pipeName(const std::string& server, const std::string& name)
{
    return fmt::format("\\\\{}\\pipe\\{}", server.empty() ? "." : server, name);
}

} // namespace

SimConnectRegisteredPorts gf_simConnectRegisteredPorts()
{
    SimConnectRegisteredPorts ports;
    platform::registry::Key key;
    if (gf_tryOpenRegistryKey(platform::registry::Root::CurrentUser, kSimConnectRegistryKey, key) !=
        platform::registry::kSuccess)
        return ports;
    platform::registry::getString(key, "SimConnect_Port_IPv4", ports.ipv4);
    platform::registry::getString(key, "SimConnect_Port_IPv6", ports.ipv6);
    ports.ipv4 = lf_cut(ports.ipv4);
    ports.ipv6 = lf_cut(ports.ipv6);
    return ports;
}

std::string gf_simConnectSectionName(std::uint32_t index)
{
    return index == 0 ? std::string("SimConnect") : fmt::format("SimConnect.{}", index);
}

bool gf_applySimConnectSection(const platform::IniFile& file, std::string_view section,
                               const SimConnectRegisteredPorts& ports, SimConnectConfig& config)
{
    if (!file.findSection(section))
        return false;
    if (auto v = file.value(section, "Address"))
        config.address = lf_cut(*v);
    // The port is read before the protocol so that a port the simulator
    // registered for that family wins over the one written in the file.
    if (auto v = file.value(section, "Port"))
        config.port = lf_cut(*v);
    if (auto v = file.value(section, "Protocol")) {
        if (platform::equalsNoCase(*v, "Auto") || platform::equalsNoCase(*v, "Pipe")) {
            config.protocol = SimConnectProtocol::Auto;
        } else if (platform::equalsNoCase(*v, "IPv4")) {
            config.protocol = SimConnectProtocol::IPv4;
            if (!config.port.empty() && !ports.ipv4.empty())
                config.port = ports.ipv4;
        } else if (platform::equalsNoCase(*v, "IPv6")) {
            config.protocol = SimConnectProtocol::IPv6;
            if (!config.port.empty() && !ports.ipv6.empty())
                config.port = ports.ipv6;
        } else {
            gf_logLine(fmt::format("SimConnect.cfg: unknown Protocol \"{}\" ignored", *v));
        }
    }
    if (auto v = file.value(section, "MaxReceiveSize")) {
        std::uint32_t size = 0;
        if (!lf_parseDecimal(*v, size))
            gf_logLine(fmt::format("SimConnect.cfg: MaxReceiveSize \"{}\" is no number, ignored", *v));
        else if (size > config.maxReceiveSize)
            config.maxReceiveSize = size;
    }
    if (auto v = file.value(section, "DisableNagle")) {
        std::uint32_t flag = 0;
        if (!lf_parseDecimal(*v, flag))
            gf_logLine(fmt::format("SimConnect.cfg: DisableNagle \"{}\" is no number, ignored", *v));
        else if (flag != 0)
            config.disableNagle = true;
    }
    return true;
}

std::vector<std::filesystem::path> gf_simConnectCfgFiles()
{
    std::vector<std::filesystem::path> files;
    for (const auto& folder : {platform::publicDocumentsFolder(), platform::userDocumentsFolder()}) {
        if (!folder.empty())
            files.push_back(folder / kSimConnectCfgName);
    }
    files.emplace_back(kSimConnectCfgName);
    return files;
}

bool gf_loadSimConnectConfig(std::uint32_t index, const SimConnectRegisteredPorts& ports,
                             SimConnectConfig& config)
{
    config = SimConnectConfig{};
    const std::string section = gf_simConnectSectionName(index);
    bool sectionFound = false;
    // Read at every connection attempt: a refused file is said at once, then
    // once a minute.
    static tzo::LogThrottle refusals(1);
    for (const auto& path : gf_simConnectCfgFiles()) {
        platform::IniFile file;
        if (!file.load(path)) {
            if (const std::string refusal = platform::outsideFileRefusal(path, file.loadStatus()); !refusal.empty())
                refusals.log(refusal);
            continue;
        }
        if (gf_applySimConnectSection(file, section, ports, config))
            sectionFound = true;
    }
    return index == 0 || sectionFound;
}

std::vector<SimConnectTransport> gf_simConnectTransportPlan(const SimConnectConfig& config,
                                                            const SimConnectRegisteredPorts& ports,
                                                            bool ipv6LoopbackAvailable)
{
    using Kind = SimConnectTransport::Kind;
    std::vector<SimConnectTransport> plan;
    const SimConnectTransport defaultPipe{Kind::Pipe, platform::IpFamily::V4, std::string(kDefaultPipeName), {}};
    auto addTcp = [&](platform::IpFamily family, const std::string& address, const std::string& port) {
        if (!port.empty())
            plan.push_back({Kind::Tcp, family, address, port});
    };
    // The local tries after a failed pipe or IPv6 connection, from the IPv4 step on.
    auto localFromIpv4 = [&] {
        addTcp(platform::IpFamily::V4, "127.0.0.1", ports.ipv4);
        plan.push_back(defaultPipe);
    };

    switch (config.protocol) {
    case SimConnectProtocol::IPv6:
        if (ipv6LoopbackAvailable)
            addTcp(platform::IpFamily::V6, config.address, config.port);
        if (config.address == "::1")
            localFromIpv4();
        break;
    case SimConnectProtocol::IPv4:
        addTcp(platform::IpFamily::V4, config.address, config.port);
        if (config.address == "127.0.0.1")
            plan.push_back(defaultPipe);
        break;
    case SimConnectProtocol::Auto:
        if (config.port.empty())
            plan.push_back({Kind::Pipe, platform::IpFamily::V4, lf_pipeName(config.address, "Lockheed Martin Prepar3D v5\\SimConnect"), {}});
        else
            plan.push_back({Kind::Pipe, platform::IpFamily::V4, lf_pipeName(config.address, config.port), {}});
        if (config.address.empty() || config.address == ".") {
            if (ipv6LoopbackAvailable)
                addTcp(platform::IpFamily::V6, "::1", ports.ipv6);
            localFromIpv4();
        }
        break;
    }
    return plan;
}

std::string gf_simConnectSearchText(std::uint32_t index)
{
    const SimConnectRegisteredPorts ports = gf_simConnectRegisteredPorts();
    SimConnectConfig config;
    if (!gf_loadSimConnectConfig(index, ports, config))
        return fmt::format("no SimConnect.cfg has a section [{}]: add it", gf_simConnectSectionName(index));
    const bool ipv6 = platform::resolvesAsStream(platform::IpFamily::V6, "::1");
    std::vector<std::string> tried;
    bool pipe = false;
    for (const SimConnectTransport& t : gf_simConnectTransportPlan(config, ports, ipv6)) {
        std::string where;
        if (t.kind == SimConnectTransport::Kind::Pipe) {
            pipe = true;
            const auto path = platform::pipeSocketPathAnyLength(t.address);
            where = "the pipe " + (path ? path->string() : t.address);
        } else {
            where = fmt::format("TCP {} port {}", t.address.empty() ? "localhost" : t.address, t.port);
        }
        if (std::find(tried.begin(), tried.end(), where) == tried.end())
            tried.push_back(std::move(where));
    }
    std::string text = tried.empty() ? std::string("nothing to try") : "tried " + tried.front();
    for (std::size_t i = 1; i < tried.size(); ++i)
        text += (i + 1 == tried.size() ? " and " : ", ") + tried[i];

    std::vector<std::string> found;
    std::vector<std::string> searched;
    for (const auto& file : gf_simConnectCfgFiles()) {
        std::error_code ec;
        const std::string name = std::filesystem::absolute(file, ec).string();
        (std::filesystem::exists(file, ec) ? found : searched).push_back(ec ? file.string() : name);
    }
    const auto list = [](const std::vector<std::string>& names, const char* last) {
        std::string joined;
        for (std::size_t i = 0; i < names.size(); ++i)
            joined += (i == 0 ? "" : i + 1 == names.size() ? last : ", ") + names[i];
        return joined;
    };
    if (found.empty())
        text += " (the default: none of " + list(searched, " and ") + " exists)";
    else
        text += " (as " + list(found, " and ") + (found.size() == 1 ? " says)" : " say)");
    text += ". Is the simulator running? Check SimConnect.cfg";
    if (pipe)
        text += fmt::format(" and the pipe folder {} (NORVANE_PIPE_DIR names it)", platform::pipeFolder().string());
    return text;
}

} // namespace tzo
