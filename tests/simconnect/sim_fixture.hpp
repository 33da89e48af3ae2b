#pragma once
// A private world for each test: its own pipe folder, documents folders,
// registry file and current folder, so that tests running side by side never
// meet, and a stand-in simulator to talk to.

#include "simconnect/simconnect.hpp"
#include "sim_stub.hpp"
#include "support/test_support.hpp"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace simtest {

inline std::uint32_t u32At(const std::vector<std::uint8_t>& bytes, std::size_t offset)
{
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
        v |= std::uint32_t(bytes.at(offset + i)) << (8 * i);
    return v;
}

inline void putU32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.at(offset + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

// The messages a dispatch handed over, copied.
struct Received {
    std::vector<std::vector<std::uint8_t>> messages;

    static void collect(SimConnectRecv* pData, std::uint32_t cbData, void* context)
    {
        auto* self = static_cast<Received*>(context);
        const auto* p = reinterpret_cast<const std::uint8_t*>(pData);
        self->messages.emplace_back(p, p + cbData);
    }
    std::size_t countOf(std::uint32_t id) const
    {
        std::size_t n = 0;
        for (const auto& m : messages)
            n += u32At(m, 8) == id;
        return n;
    }
};

class SimWorld : public ::testing::Test {
protected:
    SimWorld()
        : m_dir(true),
          m_pipes("NORVANE_PIPE_DIR", (m_dir.path() / "pipes").string()),
          m_public("NORVANE_PUBLIC_DOCUMENTS", (m_dir.path() / "public").string()),
          m_documents("XDG_DOCUMENTS_DIR", (m_dir.path() / "documents").string()),
          m_registry("NORVANE_REGISTRY", (m_dir.path() / "registry.ini").string())
    {
    }

    ~SimWorld() override
    {
        if (m_handle)
            SimConnect_Close(m_handle);
        if (m_stub)
            m_stub->stop();
    }

    const std::filesystem::path& dir() const { return m_dir.path(); }

    void writeRegistryPorts(const std::string& ipv4, const std::string& ipv6)
    {
        std::string text = "[HKEY_CURRENT_USER\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n";
        if (!ipv4.empty())
            text += "SimConnect_Port_IPv4=" + ipv4 + "\n";
        if (!ipv6.empty())
            text += "SimConnect_Port_IPv6=" + ipv6 + "\n";
        testsupport::writeFile(m_dir.path() / "registry.ini", text);
    }

    simstub::SimStub& startStub(simstub::Options options = {})
    {
        m_stub = std::make_unique<simstub::SimStub>(std::move(options));
        std::string error;
        EXPECT_TRUE(m_stub->start(error)) << error;
        return *m_stub;
    }

    // Opens through the configuration and waits until the OPEN answer is dispatched.
    void openAndAwaitOpen()
    {
        ASSERT_EQ(SimConnect_Open(&m_handle, "Norvane_P3D", nullptr, 0, nullptr, 0), SIMCONNECT_S_OK);
        ASSERT_NE(m_handle, nullptr);
        ASSERT_TRUE(testsupport::waitFor([&] {
            SimConnect_CallDispatch(m_handle, &Received::collect, &m_received);
            return m_received.countOf(SIMCONNECT_RECV_ID_OPEN) == 1;
        }));
    }

    // Dispatches until pred holds for what was received.
    bool dispatchUntil(const std::function<bool(const Received&)>& pred,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        return testsupport::waitFor(
            [&] {
                m_lastDispatch = SimConnect_CallDispatch(m_handle, &Received::collect, &m_received);
                return pred(m_received);
            },
            timeout);
    }

    // The packet the stand-in recorded with this send id.
    std::optional<simstub::Packet> packetWithSendId(std::uint32_t sendId)
    {
        std::optional<simstub::Packet> found;
        testsupport::waitFor([&] {
            for (const auto& p : m_stub->packets())
                if (p.sendId == sendId)
                    found = p;
            return found.has_value();
        });
        return found;
    }

    std::uint32_t lastSendId()
    {
        std::uint32_t id = 0;
        EXPECT_EQ(SimConnect_GetLastSentPacketID(m_handle, &id), SIMCONNECT_S_OK);
        return id;
    }

    testsupport::TempDir m_dir;
    testsupport::ScopedEnv m_pipes;
    testsupport::ScopedEnv m_public;
    testsupport::ScopedEnv m_documents;
    testsupport::ScopedEnv m_registry;
    std::unique_ptr<simstub::SimStub> m_stub;
    SimConnectHandle m_handle = nullptr;
    Received m_received;
    SimConnectResult m_lastDispatch = 0;
};

} // namespace simtest
